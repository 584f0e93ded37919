#pragma once
// What the windows that the main window opens need of it: the play lock, the
// keyboard, the picture, the MIDI unit and the setup it holds. The main
// window implements it; the voices window knows nothing else of it.
#include <QString>

#include "setup/setup.h"

class MidiUnit;
class PictureWindow;
class TfrmKlavier;

class IWindowHost {
public:
    virtual ~IWindowHost() = default;
    // The MIDI unit, once its devices are decided and its output opened.
    virtual MidiUnit& ReadyMidi() = 0;
    // Whether the main window's run plays, and resting its play button while
    // another window plays on the same output.
    virtual bool MainPlaying() const = 0;
    virtual void LockMainPlay(bool locked) = 0;
    // The keyboard window, and whether a melody is to be shown on it.
    virtual TfrmKlavier& Keyboard() = 0;
    virtual bool MelodyOnKeyboard() const = 0;
    // The picture window while it exists, else null.
    virtual PictureWindow* OpenPicture() = 0;
    // What the main window holds, as a setup file keeps it.
    virtual MelodySetup CurrentSetup() = 0;
    // A file opened or saved, for "Zuletzt geöffnet".
    virtual void RememberFile(const QString& path) = 0;
    // A voice of the voices window to edit: the main window shows setup (one
    // voice) as one step of its own and comes to the front. EInvalidInput
    // while its run plays.
    virtual void EditVoice(const MelodySetup& setup) = 0;
};
