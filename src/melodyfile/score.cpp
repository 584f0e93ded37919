#include "melodyfile/score.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <map>
#include <string_view>

#include "common/messages.h"
#include "common/text.h"
#include "midi/midinote.h"
#include "playback/maps.h"

namespace {
constexpr int kMiddleC = 60;

// An element on the 1024th grid; midi < 0 is a rest.
struct Span {
    int64_t start, end;
    int midi;
    std::optional<uint8_t> velocity{};
    std::optional<int8_t> pan{};
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
            spans.push_back({start, stop, midi, e.Velocity, e.Pan});
        }
        pos = end;
    }
    return spans;
}

// The General MIDI instruments that read the bass clef: the basses, cello,
// contrabass, trombone, tuba, baritone saxophone and bassoon.
bool BassInstrument(int program) {
    return (program >= 32 && program <= 39) || program == 42 || program == 43 || program == 57 ||
           program == 58 || program == 67 || program == 70;
}

// By the instrument and the written range (the notes shifted up by shift semitones).
Clef ChooseClef(const std::vector<Span>& spans, bool percussion, int shift, int program) {
    if (percussion) return Clef::Percussion;
    int low = 200, high = 0;
    for (const Span& s : spans)
        if (s.midi >= 0) low = std::min(low, s.midi + shift), high = std::max(high, s.midi + shift);
    if (low > high) return Clef::Treble;  // only rests
    // A bass instrument keeps its clef unless the melody lies wholly from middle C up.
    if (BassInstrument(program)) return low >= 60 ? Clef::Treble : Clef::Bass;
    if (low >= 57) return Clef::Treble;  // A3 and above
    if (high <= 64) return Clef::Bass;   // E4 and below
    // Either clef needs ledger lines: one that needs at most three, else both staves.
    if (low >= 53) return Clef::Treble;
    if (high <= 67) return Clef::Bass;
    return Clef::Grand;
}

bool Crosses(int start, int end, int level) { return start / level != (end - 1) / level; }

// The middle of a bar of an even number of beats, four or more; 0 for none.
int Middle(const TimeSignature& m) {
    const int beats = BarUnits(m) / BeatUnits(m);
    return beats >= 4 && beats % 2 == 0 ? BarUnits(m) / 2 : 0;
}

// Whether one value may stand for the whole of [start, end) in a bar.
bool OneValue(int start, int end, bool rest, bool dotted, const TimeSignature& m) {
    const int units = end - start;
    const int base = dotted ? units / 3 * 2 : units;
    const int beat = BeatUnits(m);
    if (rest) {
        if (start == 0 && end == BarUnits(m)) return true;  // a bar's rest
        if (dotted) return m.Compound() && start % beat == 0 && units % beat == 0;
        return start % base == 0 && (!m.Compound() || !Crosses(start, end, beat));
    }
    // On a beat: whatever fits the bar; in compound meters a plain value
    // within its beat (a quarter and an eighth, not a half across the beat).
    if (start % beat == 0) return dotted || !m.Compound() || !Crosses(start, end, beat);
    // Off the beat: never across the middle of the bar; across a beat only as
    // a syncopated beat (eighth, quarter, eighth in 4/4).
    const int middle = Middle(m);
    if (middle && start < middle && end > middle) return false;
    if (!dotted && start % base == 0 && !Crosses(start, end, beat)) return true;
    return base > 1 && start % (base / 2) == 0 &&
           ((!m.Compound() && !dotted && base == beat) || !Crosses(start, end, beat));
}

// Where a note is split, strongest first: the middle, the beats, then their
// halves (thirds in compound meters) and halves of those.
std::vector<int> SplitLevels(const TimeSignature& m) {
    std::vector<int> levels;
    if (Middle(m)) levels.push_back(Middle(m));
    const int beat = BeatUnits(m);
    if (beat < BarUnits(m)) levels.push_back(beat);
    for (int level = m.Compound() ? beat / 3 : beat / 2; level >= 1; level /= 2)
        levels.push_back(level);
    return levels;
}

void AppendBarValues(std::vector<BarValue>& values, int start, int end, bool rest,
                     const TimeSignature& m, const std::vector<int>& levels) {
    const int units = end - start;
    const bool plain = (units & (units - 1)) == 0;
    const bool dotted = units % 3 == 0 && units >= 3 && ((units / 3) & (units / 3 - 1)) == 0;
    if ((plain || dotted) && OneValue(start, end, rest, !plain, m)) {
        values.push_back({start, units, !plain});
        return;
    }
    // Split at the strongest beat inside.
    for (const int level : levels) {
        const int split = (start / level + 1) * level;
        if (split < end) {
            AppendBarValues(values, start, split, rest, m, levels);
            AppendBarValues(values, split, end, rest, m, levels);
            return;
        }
    }
}

// A note's velocity and pan where they change from the staff's note before,
// and its dynamic mark where the band changes; last becomes what now holds.
void MarkExpression(ScoreItem& note, const Span& s, ScoreItem& last) {
    if (s.velocity && *s.velocity != last.Velocity) {
        note.Velocity = *s.velocity;
        const char* mark = DynamicMark(*s.velocity);
        if (!last.Dynamic || std::string_view(mark) != last.Dynamic) note.Dynamic = mark;
        last.Velocity = note.Velocity;
        last.Dynamic = mark;
    }
    if (s.pan && *s.pan != last.Pan) last.Pan = note.Pan = *s.pan;
}

void AddPieces(StaffBars& bars, int64_t start, int64_t end, const ScoreItem& kind,
               const TimeSignature& meter) {
    bool first = true;
    const int barUnits = BarUnits(meter);
    while (start < end) {
        const int64_t bar = start / barUnits;
        const int64_t barStart = bar * barUnits;
        const int64_t barEnd = std::min(end, barStart + barUnits);
        for (const BarValue& v : BarValues(static_cast<int>(start - barStart),
                                           static_cast<int>(barEnd - barStart), kind.Rest, meter)) {
            ScoreItem item = kind;
            item.Units = v.Units;
            item.Dotted = v.Dotted;
            if (!kind.Rest) {
                item.TieStop = !first;
                item.TieStart = barStart + v.Start + v.Units < end;
            }
            if (!first) {
                item.Velocity.reset();
                item.Pan.reset();
                item.Dynamic = nullptr;
            }
            bars[bar].push_back(item);
            first = false;
        }
        start = barEnd;
    }
}

// Each note's spelling (a rest's is unused): the direction is the melody's
// step to it, and a repeated note keeps its spelling.
std::vector<SpelledPitch> SpellVoice(const std::vector<Span>& spans, const ScoreKey& key,
                                     bool percussion) {
    std::vector<SpelledPitch> pitches(spans.size(), {'C', 0, 4});
    int previous = -1;
    SpelledPitch last{};
    for (size_t i = 0; i < spans.size(); ++i) {
        const int midi = spans[i].midi;
        if (midi < 0) continue;
        const int direction = percussion || previous < 0 ? 0 : midi - previous;
        if (midi != previous) last = SpellNote(midi, key, direction);
        pitches[i] = last;
        previous = midi;
    }
    return pitches;
}

void MarkAccidentals(StaffBars& bars, int fifths, bool percussion) {
    for (auto& bar : bars) {
        std::map<std::pair<char, int>, int> current;  // what a note of this line means now
        for (ScoreItem& item : bar) {
            if (item.Rest) continue;
            const auto line = std::pair{item.Pitch.Step, item.Pitch.Octave};
            const auto it = current.find(line);
            const int meant = it != current.end() ? it->second : KeyAlter(item.Pitch.Step, fifths);
            // A drum sound is its line: no accidental belongs to it.
            item.ShowAccidental = !percussion && !item.TieStop && item.Pitch.Alter != meant;
            current[line] = item.Pitch.Alter;
        }
    }
}
}  // namespace

const char* DynamicMark(int velocity) {
    // Bands of about equal width, ff from 102 up (the voice's velocity, 110).
    struct Band {
        int from;
        const char* mark;
    };
    static constexpr Band kBands[] = {{102, "ff"}, {86, "f"}, {70, "mf"},
                                      {54, "mp"},  {38, "p"}, {0, "pp"}};
    for (const Band& band : kBands)
        if (velocity >= band.from) return band.mark;
    return "pp";
}

std::vector<BarValue> BarValues(int start, int end, bool rest, const TimeSignature& meter) {
    std::vector<BarValue> values;
    if (meter.Beats < 1 || meter.Beats > kMaxMeterBeats || meter.BeatType < 1 ||
        kUnitsPerWhole % meter.BeatType != 0)
        return values;
    if (start >= 0 && start < end && end <= BarUnits(meter))
        AppendBarValues(values, start, end, rest, meter, SplitLevels(meter));
    return values;
}

ScoreLayout LayOutScore(const Score& score) {
    if (score.Tempo < kTempoMin || score.Tempo > kTempoMax)
        throw EScoreError(msg::InvalidTempo(score.Tempo, kTempoMin, kTempoMax));
    // A meter the command line and the setups would refuse.
    try {
        ParseTimeSignature(TimeSignatureText(score.Meter));
    } catch (const EInvalidInput& e) {
        throw EScoreError(e.Message());
    }
    const int barUnits = BarUnits(score.Meter);
    ScoreLayout layout{KeyOfScore(score), {}};
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
            bars = std::max(bars, (voices.back().back().end + barUnits - 1) / barUnits);
    }
    const ScoreItem rest{true, {'C', 0, 4}, 0, false, false, false, false};
    for (size_t v = 0; v < voices.size(); ++v) {
        const std::vector<Span>& spans = voices[v];
        const int channel = score.Voices[v].Channel ? score.Voices[v].Channel
                                                    : DefaultVoiceChannel(static_cast<int>(v));
        const bool percussion = channel == kPercussionChannel;
        // A drum sound keeps its line whatever the key.
        const ScoreKey& key = percussion ? ScoreKey{} : layout.Key;
        const std::vector<SpelledPitch> pitches = SpellVoice(spans, key, percussion);
        const bool lower = std::any_of(pitches.begin(), pitches.end(),
                                       [](const SpelledPitch& p) { return p.Octave < 0; });
        const int shift = lower ? 12 : 0;
        VoiceLayout voice{
            ChooseClef(spans, percussion, shift, score.Voices[v].Program), channel, lower, {}};
        const size_t staves = voice.VoiceClef == Clef::Grand ? 2 : 1;
        voice.Staves.assign(staves, StaffBars(static_cast<size_t>(bars)));
        // Where each staff's rest began: rests in a row are written as one.
        std::vector<int64_t> restFrom(staves, 0);
        std::vector<ScoreItem> lastNote(staves, rest);  // for the expression's changes
        for (size_t i = 0; i < spans.size(); ++i) {
            const Span& s = spans[i];
            if (s.midi < 0) continue;
            // On the grand staff, the notes written from middle C up go to the
            // treble staff; the other staff rests meanwhile.
            const size_t home = staves == 2 && s.midi + shift < kMiddleC ? 1 : 0;
            ScoreItem note = rest;
            note.Rest = false;
            note.Pitch = pitches[i];
            MarkExpression(note, s, lastNote[home]);
            AddPieces(voice.Staves[home], restFrom[home], s.start, rest, score.Meter);
            AddPieces(voice.Staves[home], s.start, s.end, note, score.Meter);
            restFrom[home] = s.end;
        }
        for (size_t staff = 0; staff < staves; ++staff) {
            // The last bar filled with rests.
            AddPieces(voice.Staves[staff], restFrom[staff], bars * barUnits, rest, score.Meter);
            MarkAccidentals(voice.Staves[staff], key.Fifths, percussion);
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
        if (!VoiceAudible(voices, v)) continue;  // the score holds what is heard
        if (!e.Name.empty()) score.Title += (score.Title.empty() ? "" : ", ") + e.Name;
        score.Voices.push_back(
            {e.Melody, e.Program, e.Name, e.Channel, e.Transpose, e.OffsetUs, e.Tempo});
    }
    if (score.Title.empty()) score.Title = "Stimmen";
    return score;
}

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
