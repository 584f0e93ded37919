#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QFont>
#include <QSettings>
#include <QStandardPaths>
#include <filesystem>
#include <string>

#include "help/d6onhelpfix.h"
#include "help/hh_funcs.h"

int main(int argc, char** argv) {
    // Widgets are tested without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The window's setting goes to a test folder, not to the user's own.
    QStandardPaths::setTestModeEnabled(true);
    // ctest runs each test as a process of its own, several at a time: each
    // gets settings of its own, so one test's clearing never meets another's.
    const std::filesystem::path settings = std::filesystem::temp_directory_path() /
                                           ("sonavix-ui-settings-" + std::to_string(getpid()));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString(settings.string()));
    QFont font("Liberation Sans");
    font.setPixelSize(11);
    QApplication::setFont(font);
    // As at program start: the help detection, then the routing of F1.
    HHDetect(std::filesystem::read_symlink("/proc/self/exe").string(), argv[0], {});
    HelpRouting helpRouting;
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(settings, ignored);
    return result;
}
