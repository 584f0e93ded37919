#include <gtest/gtest.h>

#include <QApplication>
#include <QFont>
#include <QStandardPaths>
#include <filesystem>

#include "help/d6onhelpfix.h"
#include "help/hh_funcs.h"

int main(int argc, char** argv) {
    // Widgets are tested without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The window's setting goes to a test folder, not to the user's own.
    QStandardPaths::setTestModeEnabled(true);
    QFont font("Liberation Sans");
    font.setPixelSize(11);
    QApplication::setFont(font);
    // As at program start: the help detection, then the routing of F1.
    HHDetect(std::filesystem::read_symlink("/proc/self/exe").string(), argv[0], {});
    HelpRouting helpRouting;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
