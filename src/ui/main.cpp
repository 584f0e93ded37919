#include <QApplication>
#include <QFont>

#include "midi/midi.h"
#include "midi/rtmidi_service.h"
#include "ui/main_window.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Sonavix");
    QFont font("Liberation Sans");
    font.setPixelSize(11);
    QApplication::setFont(font);
    SetMidiOutService(CreateDefaultMidiOutService());
    int result = 0;
    {
        TfrmMain frmMain;
        frmMain.show();
        result = app.exec();
    }
    // Last of all: silence what still sounds and close the device.
    ReleaseMidiOut();
    return result;
}
