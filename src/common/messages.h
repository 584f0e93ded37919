#pragma once
// The messages the core gives in more than one place, and that the tests
// compare against, written once. Every other message stays beside its throw.
#include <cstddef>
#include <string>

#include "common/quote.h"

namespace msg {

// The run-time library's texts, word for word.
inline std::string InvalidInteger(const std::string& text) {
    return "'" + QuotedText(text) + "' ist kein gültiger Integerwert";
}
inline std::string ListIndexTooLarge(long long index) {
    return "Listenindex überschreitet das Maximum (" + std::to_string(index) + ")";
}
inline const char* const DivisionByZero = "Division durch Null";
inline const char* const FloatDivisionByZero = "Gleitkommadivision durch Null";
inline const char* const InvalidFloatOp = "Ungültige Gleitkommaoperation";
inline const char* const FloatOverflow = "Gleitkommaüberlauf";
inline const char* const MemoCapacity = "Text überschreitet Memo-Kapazität";

// Formulas.
inline const char* const SemicolonOutsideArguments =
    "';' steht außerhalb der Argumentliste einer Funktion";
inline const char* const UnclosedParenthesis = "eine öffnende Klammer wird nicht geschlossen";

// Notes and their files.
inline std::string InvalidNoteDuration(long long durationMs) {
    return "Ungültige Notendauer: " + std::to_string(durationMs) + " ms";
}
inline std::string InvalidInstrument(long long program) {
    return "Ungültiges Instrument: " + std::to_string(program) + " (erlaubt sind 0 bis 127)";
}
inline std::string InvalidTempo(long long tempo, long long least, long long most) {
    return "Ungültiges Tempo: " + std::to_string(tempo) + " (erlaubt sind " +
           std::to_string(least) + " bis " + std::to_string(most) + ")";
}
inline const char* const NoNoteLength =
    "Bitte mindestens eine Notenlänge angeben, z. B. 2 für Viertel";
inline const char* const SynthSetupFailed = "Der Synthesizer lässt sich nicht einrichten";
inline const char* const NoVoiceToSave = "Es gibt keine Stimme zu speichern";
inline const char* const NoVoiceAudible =
    "Alle Stimmen sind stumm geschaltet; es gibt nichts zu speichern";

// Setups and the command line that plays them.
inline std::string NotOneVoice(std::size_t voices) {
    return "Die Einstellungen enthalten " + std::to_string(voices) +
           " Stimmen; gespielt wird genau eine";
}
inline std::string SurplusArgument(const std::string& argument) {
    return "Überzähliges Argument \"" + QuotedText(argument) + "\"";
}
// option as typed: "--out".
inline std::string NeedsFileName(const std::string& option) {
    return option + " braucht einen Dateinamen";
}

// Fetching from the network and the OEIS.
inline const char* const OnlyHttpAddresses = "nur http- und https-Adressen werden abgerufen";
inline std::string AnswerLargerThan(std::size_t bytes) {
    return "die Antwort ist größer als " + std::to_string(bytes) + " Bytes";
}
// seconds as the fetch writes them: "2 s".
inline std::string NoCompleteAnswerWithin(const std::string& seconds) {
    return "Zeitüberschreitung: keine vollständige Antwort innerhalb von " + seconds;
}
inline const char* const UnknownAnswerFormat = "die Antwort hat ein unbekanntes Format";
inline const char* const UnknownResultPage = "die Ergebnisseite hat ein unbekanntes Format";
// Notices of a lookup that succeeded.
inline std::string NoBFile(const std::string& aNumber, int status) {
    return "Zu " + aNumber + " gibt es keine b-Datei (der Server antwortete mit dem Status " +
           std::to_string(status) + "); geladen ist die kurze Liste der Glieder";
}
inline std::string SignsNotRead(const std::string& aNumber) {
    return aNumber +
           " hat negative Glieder; ihre Vorzeichen werden nicht gelesen, es zählen nur die Beträge";
}
// The start of every message of a failed search.
inline std::string OeisSearchFor(const std::string& query) {
    return "Die OEIS-Suche nach \"" + QuotedText(query) + "\"";
}

}  // namespace msg
