#pragma once
// The program's persistent settings, all in one place: the MIDI output chosen
// in the menu, the recently opened files and the folder used last.
#include <QSettings>

inline const char* const kMidiOutSetting = "MIDI-Ausgang";
// The MIDI input whose keys step through the melody; absent: none.
inline const char* const kMidiInSetting = "MIDI-Eingang";
inline const char* const kRecentSetting = "Zuletzt geöffnet";
inline const char* const kFolderSetting = "Letzter Ordner";

inline QSettings SonavixSettings() { return QSettings("Sonavix", "Sonavix"); }
