#include "melodyfile/score.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <map>

#include "common/messages.h"
#include "common/text.h"
#include "midi/midinote.h"
#include "playback/maps.h"

namespace {
// Per entry of the scale box: semitones from the root down to the tonic of the
// major scale whose signature the scale is written in; -1 for none (no preset,
// chromatic, whole tone, own steps). The minor scales and the blues take the
// natural minor's signature, as they are commonly written.
constexpr int kParentShift[] = {-1, 0, 2, 4, 5, 7, 9, -1, 11, 9, 9, 0, 9, 9, -1, -1};
// Key signature of the major scale on each pitch class; F sharp rather than
// G flat, as the root box names the sharp first.
constexpr int kMajorFifths[12] = {0, -5, 2, -3, 4, -1, 6, 1, -4, 3, -2, 5};
constexpr char kSteps[7] = {'C', 'D', 'E', 'F', 'G', 'A', 'B'};
constexpr int kStepPitch[7] = {0, 2, 4, 5, 7, 9, 11};
// Position of each step in the order sharps are added (F C G D A E B).
constexpr int kStepFifthsOrder[7] = {1, 3, 5, 0, 2, 4, 6};
constexpr int kMiddleC = 60;

int KeyAlter(int step, int fifths) {
    const int order = kStepFifthsOrder[step];
    if (fifths > 0) return order < fifths ? 1 : 0;
    if (fifths < 0) return 6 - order < -fifths ? -1 : 0;
    return 0;
}

int StepIndex(char step) { return static_cast<int>(std::find(kSteps, kSteps + 7, step) - kSteps); }

// A name before the ending, too: ".xml" alone names no score.
bool EndsWith(const std::string& path, std::string_view ending) {
    return path.size() > ending.size() && EndsWithIgnoringCase(path, ending);
}

// An element on the 1024th grid; midi < 0 is a rest.
struct Span {
    int64_t start, end;
    int midi;
};

std::vector<Span> Quantize(const ScoreVoice& voice, int tempo) {
    const long double limit = static_cast<long double>(kScoreMaxBars) * kUnitsPerWhole;
    // A note value of the voice's own tempo, in the score's.
    const long double scale =
        voice.Tempo > 0 ? static_cast<long double>(tempo) / voice.Tempo : 1.0L;
    std::vector<Span> spans;
    spans.reserve(voice.Melody.Events().size() + 1);
    long double pos = static_cast<long double>(voice.OffsetUs) * tempo * kUnitsPerWhole / 240e6L;
    if (pos > limit) pos = limit + 1;
    for (const NoteEvent& e : voice.Melody.Events()) {
        long double length;
        if (e.LengthExponent) {
            // 2^40 whole notes lie far beyond any limit; ldexp would not overflow,
            // but 10 - L could.
            if (*e.LengthExponent < -40) pos = limit + 1;
            length = std::ldexp(1.0L, 10 - std::max(*e.LengthExponent, -40)) * scale;
        } else {
            length = static_cast<long double>(e.DurationMs) * tempo * kUnitsPerWhole / 240000;
        }
        const long double end = pos + length;
        if (end > limit)
            throw EScoreError("Die Melodie ist für eine Partitur zu lang (höchstens " +
                              std::to_string(kScoreMaxBars) + " Takte)");
        // Start and end on the nearest 1024th: the score keeps time over the
        // whole melody, and an element shorter than half a 1024th vanishes.
        const int64_t start = static_cast<int64_t>(std::nearbyint(pos));
        const int64_t stop = static_cast<int64_t>(std::nearbyint(end));
        int midi = -1;
        if (e.Sounds()) {
            midi = KeyNote(e.Key) + voice.Transpose;
            if (midi < 0 || midi > 127) midi = -1;
        }
        if (stop > start) {
            // The offset as rests before the first element.
            if (spans.empty() && start > 0) spans.push_back({0, start, -1});
            spans.push_back({start, stop, midi});
        }
        pos = end;
    }
    return spans;
}

Clef ChooseClef(const std::vector<Span>& spans, bool percussion) {
    if (percussion) return Clef::Percussion;
    int low = 127, high = 0;
    for (const Span& s : spans)
        if (s.midi >= 0) low = std::min(low, s.midi), high = std::max(high, s.midi);
    if (low > high) return Clef::Treble;  // only rests
    if (low >= 57) return Clef::Treble;   // A3 and above
    if (high <= 64) return Clef::Bass;    // E4 and below
    // Either clef needs ledger lines: one that needs at most three, else both staves.
    if (low >= 53) return Clef::Treble;
    if (high <= 67) return Clef::Bass;
    return Clef::Grand;
}

void AddPieces(StaffBars& bars, int64_t start, int64_t end, const ScoreItem& kind) {
    bool first = true;
    while (start < end) {
        const int64_t bar = start / kUnitsPerWhole;
        const int64_t barEnd = std::min(end, (bar + 1) * kUnitsPerWhole);
        int64_t length = barEnd - start;
        int piece = kUnitsPerWhole;
        while (piece > length) piece /= 2;
        ScoreItem item = kind;
        item.Units = piece;
        if (!kind.Rest) {
            item.TieStop = !first;
            item.TieStart = start + piece < end;
        }
        bars[bar].push_back(item);
        start += piece;
        first = false;
    }
}

void MarkAccidentals(StaffBars& bars, int fifths, bool percussion) {
    for (auto& bar : bars) {
        std::map<std::pair<char, int>, int> current;  // what a note of this line means now
        for (ScoreItem& item : bar) {
            if (item.Rest) continue;
            const auto line = std::pair{item.Pitch.Step, item.Pitch.Octave};
            const auto it = current.find(line);
            const int meant =
                it != current.end() ? it->second : KeyAlter(StepIndex(item.Pitch.Step), fifths);
            // A drum sound is its line: no accidental belongs to it.
            item.ShowAccidental = !percussion && !item.TieStop && item.Pitch.Alter != meant;
            current[line] = item.Pitch.Alter;
        }
    }
}
}  // namespace

int KeyFifths(int scaleIndex, int rootIndex) {
    if (scaleIndex < 0 || scaleIndex >= static_cast<int>(std::size(kParentShift)) ||
        kParentShift[scaleIndex] < 0 || rootIndex < 1)
        return 0;
    const int rootPitch = KeyPitchClass(rootIndex);
    return kMajorFifths[(rootPitch - kParentShift[scaleIndex] + 12) % 12];
}

SpelledPitch SpellMidiNote(int midiNote, int fifths) {
    const int pitchClass = midiNote % 12;
    int best = -1, bestAlter = 0, bestRank = 99;
    for (int step = 0; step < 7; ++step) {
        int alter = (pitchClass - kStepPitch[step] + 12) % 12;
        if (alter > 6) alter -= 12;
        if (alter < -1 || alter > 1) continue;
        // The key's own spelling first; else the natural; else a sharp in
        // sharp keys and C, a flat in flat keys.
        const int rank = alter == KeyAlter(step, fifths) ? 0
                         : alter == 0                    ? 1
                         : (alter > 0) == (fifths >= 0)  ? 2
                                                         : 3;
        if (rank < bestRank) best = step, bestAlter = alter, bestRank = rank;
    }
    return {kSteps[best], bestAlter, (midiNote - kStepPitch[best] - bestAlter) / 12 - 1};
}

ScoreLayout LayOutScore(const Score& score) {
    if (score.Tempo < kTempoMin || score.Tempo > kTempoMax)
        throw EScoreError(msg::InvalidTempo(score.Tempo, kTempoMin, kTempoMax));
    ScoreLayout layout{KeyFifths(score.ScaleIndex, score.RootIndex), {}};
    std::vector<std::vector<Span>> voices;
    int64_t bars = 1;
    for (const ScoreVoice& voice : score.Voices) {
        if (voice.Program < 0 || voice.Program > 127)
            throw EScoreError(msg::InvalidInstrument(voice.Program));
        if (voice.Channel < 0 || voice.Channel > 16)
            throw EScoreError("Ungültiger MIDI-Kanal: " + std::to_string(voice.Channel) +
                              " (erlaubt sind 1 bis 16)");
        if (voice.OffsetUs < 0 || voice.Tempo < 0)
            throw EScoreError("Eine Stimme beginnt vor dem Anfang der Partitur");
        voices.push_back(Quantize(voice, score.Tempo));
        if (!voices.back().empty())
            bars = std::max(bars, (voices.back().back().end + kUnitsPerWhole - 1) / kUnitsPerWhole);
    }
    const ScoreItem rest{true, {'C', 0, 4}, 0, false, false, false};
    for (size_t v = 0; v < voices.size(); ++v) {
        const std::vector<Span>& spans = voices[v];
        const int channel = score.Voices[v].Channel ? score.Voices[v].Channel
                                                    : DefaultVoiceChannel(static_cast<int>(v));
        const bool percussion = channel == kPercussionChannel;
        VoiceLayout voice{ChooseClef(spans, percussion), channel, {}};
        const size_t staves = voice.VoiceClef == Clef::Grand ? 2 : 1;
        voice.Staves.assign(staves, StaffBars(static_cast<size_t>(bars)));
        int64_t end = 0;
        for (const Span& s : spans) {
            // On the grand staff, middle C and above go to the treble staff;
            // the other staff rests meanwhile.
            const size_t home = staves == 2 && s.midi >= 0 && s.midi < kMiddleC ? 1 : 0;
            for (size_t staff = 0; staff < staves; ++staff) {
                ScoreItem item = rest;
                if (s.midi >= 0 && staff == home) {
                    item.Rest = false;
                    item.Pitch = SpellMidiNote(s.midi, percussion ? 0 : layout.Fifths);
                }
                AddPieces(voice.Staves[staff], s.start, s.end, item);
            }
            end = s.end;
        }
        for (StaffBars& staff : voice.Staves) {
            AddPieces(staff, end, bars * kUnitsPerWhole, rest);  // the last bar filled with rests
            MarkAccidentals(staff, percussion ? 0 : layout.Fifths, percussion);
        }
        layout.Voices.push_back(std::move(voice));
    }
    return layout;
}

Score EnsembleScore(const std::vector<EnsembleVoice>& voices, int tempo, int scaleIndex,
                    int rootIndex) {
    Score score{"", tempo, scaleIndex, rootIndex, {}};
    for (size_t v = 0; v < voices.size(); ++v) {
        const EnsembleVoice& e = voices[v];
        if (!e.Name.empty()) score.Title += (score.Title.empty() ? "" : ", ") + e.Name;
        ScoreVoice voice{{}, e.Program, e.Name, e.Channel, e.Transpose, e.OffsetUs, e.Tempo};
        if (VoiceAudible(voices, v)) voice.Melody = e.Melody;
        score.Voices.push_back(std::move(voice));
    }
    if (score.Title.empty()) score.Title = "Stimmen";
    return score;
}

bool IsMusicXmlPath(const std::string& path) {
    return EndsWith(path, ".musicxml") || EndsWith(path, ".xml");
}
bool IsLilyPondPath(const std::string& path) { return EndsWith(path, ".ly"); }

std::string ScoreText(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            out += byte < 0x20 || byte == 0x7F ? ' ' : static_cast<char>(byte);
            ++i;
            continue;
        }
        // The length a lead byte announces, and the smallest code it may carry.
        const int length = byte >= 0xC2 && byte < 0xE0   ? 2
                           : byte >= 0xE0 && byte < 0xF0 ? 3
                           : byte >= 0xF0 && byte < 0xF5 ? 4
                                                         : 0;
        char32_t code = length == 2 ? byte & 0x1F : length == 3 ? byte & 0x0F : byte & 0x07;
        bool valid = length > 0 && i + length <= text.size();
        for (int k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        valid = valid && !(length == 3 && code < 0x800) && !(length == 4 && code < 0x10000) &&
                code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF) &&
                !(code >= 0x80 && code < 0xA0);
        if (valid) {
            out.append(text, i, length);
            i += length;
        } else {
            out += '?';
            ++i;
        }
    }
    return out;
}

std::string ScoreSoftware() { return std::string("Sonavix ") + SONAVIX_VERSION; }
