#include <QApplication>
#include <QFont>
#include <filesystem>
#include <string>
#include <vector>

#include "help/d6onhelpfix.h"
#include "help/hh_funcs.h"
#include "midi/midi.h"
#include "midi/port_list.h"
#include "ui/error_box.h"
#include "ui/main_window.h"
#include "ui/setup_files.h"
#include "ui/signal_ending.h"
#include "ui/translations.h"

int main(int argc, char** argv) {
    // Help detection first of all, before the synthesizer and before
    // QApplication takes its own options out of argv: the log lists the
    // parameters as they were given.
    std::error_code ec;
    const std::string self = std::filesystem::read_symlink("/proc/self/exe", ec).string();
    HHDetect(self.empty() ? std::string(argv[0]) : self, argv[0],
             std::vector<std::string>(argv + 1, argv + argc));
    // The synthesizer sets itself up while the window is built.
    // Released last, when it goes out of scope after the window.
    MidiUnit midi(CreateDefaultMidiOutService());
    QApplication app(argc, argv);
    QApplication::setApplicationName("Sonavix");
    LoadQtGermanTranslations(app);
    QFont font("Liberation Sans");
    font.setPixelSize(11);
    QApplication::setFont(font);
    HelpRouting helpRouting;
    SignalEnding signalEnding(midi);
    int result = 0;
    {
        TfrmMain frmMain(midi);
        frmMain.show();
        // One file to open may stand beside the debug switches.
        const QStringList args = QApplication::arguments().mid(1);
        for (const QString& arg : args) {
            if (arg.compare("/debug", Qt::CaseInsensitive) == 0 ||
                arg.compare("-debug", Qt::CaseInsensitive) == 0)
                continue;
            Guarded(&frmMain, [&] { frmMain.Files->Open(arg); });
            break;
        }
        result = app.exec();
    }
    // Last of all: silence what still sounds and close the device.
    midi.ReleaseMidiOut();
    return result;
}
