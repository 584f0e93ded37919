#pragma once
// The playback run behind the play button: asks the sources for their members,
// then sounds them one by one, handling pending window messages once per note.
#include <cstdint>
#include <string>

// What the run needs from the window that hosts it. Every call reads the
// controls as they are at that moment.
class IPlaybackHost {
public:
    virtual ~IPlaybackHost() = default;
    // Index of the instrument box, 0..127.
    virtual int InstrumentProgram() = 0;
    // The raw text of the note frame's source, after asking a formula or
    // lookup source for its members where one is selected.
    virtual std::string ReadNoteSource() = 0;
    // Whether "Für Tempo eigene Folge verwenden" is ticked, and that frame's raw text.
    virtual bool TempoSequenceUsed() = 0;
    virtual std::string ReadTempoSource() = 0;
    // kind 0: key number of a note member; kind 1: duration in ms of a tempo member.
    virtual int32_t GetKeyOrTempo(int kind, int32_t value) = 0;
    // "Melodie auf Klaviatur anzeigen", and the keyboard window.
    virtual bool KeyboardWanted() = 0;
    virtual void ShowKeyboard() = 0;
    virtual void MarkKey(int32_t keyNumber) = 0;
    virtual void UnmarkKey(int32_t keyNumber) = 0;
    // The six source controls ("Los!" of both sub-frames and the explicit list, in both frames).
    virtual void SetSourceControlsEnabled(bool enabled) = 0;
    virtual void SetPlayCaption(const std::string& caption) = 0;
    virtual void ProcessPendingMessages() = 0;
};

class TPlaybackRun {
public:
    explicit TPlaybackRun(IPlaybackHost& host) : host_(host) {}

    // The play button: starts a run, or while one is active asks it to stop at
    // its next check. A failure ends the run and leaves it idle, then propagates.
    void Press();
    // Clears the playing flag ("&Beenden"); the active run ends at its next check.
    void Stop();
    bool Playing() const { return playing_; }

private:
    void Play();

    IPlaybackHost& host_;
    bool playing_ = false;
};

inline const char* const kCaptionPlay = "Abspielen";
inline const char* const kCaptionStop = "Stopp";
