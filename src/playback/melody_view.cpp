#include "playback/melody_view.h"

#include <algorithm>
#include <cmath>

#include "formula/arithmetic.h"
#include "playback/maps.h"

namespace {
constexpr int32_t kLowestKey = 1, kHighestKey = 88;
// Keys above the root box's last entry, which ends at 77.
const char* const kTopKeyNames[] = {"d''''",   "dis''''", "e''''",   "f''''", "fis''''", "g''''",
                                    "gis''''", "a''''",   "ais''''", "h''''", "c'''''"};
}  // namespace

DescribedMelody DescribeMelody(IPlaybackHost& host, int noteMapRows) {
    DescribedMelody described;
    described.Modulus = noteMapRows;
    described.Timeline = BuildTimeline(host, &described.Members);
    return described;
}

std::string KeyName(int32_t key) {
    if (key < kLowestKey) return "Pause";
    if (key > kHighestKey) return "jenseits der Klaviatur";
    if (key >= static_cast<int32_t>(kGrundtonEntries.size()))
        return kTopKeyNames[key - kGrundtonEntries.size()];
    const std::string name = kGrundtonEntries[key];
    return name.substr(0, name.find('/'));
}

std::string LengthName(std::optional<int32_t> L, int32_t durationMs) {
    static const char* const kNames[] = {"Ganze",
                                         "Halbe",
                                         "Viertel",
                                         "Achtel",
                                         "Sechzehntel",
                                         "Zweiunddreißigstel",
                                         "Vierundsechzigstel"};
    if (!L) return std::to_string(durationMs) + " ms";
    if (*L >= 0 && *L < static_cast<int32_t>(std::size(kNames))) return kNames[*L];
    if (*L < 0 && *L >= -30) return std::to_string(int64_t{1} << -*L) + " Ganze";
    if (*L > 0 && *L <= 62) return "1/" + std::to_string(int64_t{1} << *L);
    return std::to_string(durationMs) + " ms";
}

std::string KeyCaption(int32_t key) {
    return key < kLowestKey ? "Pause" : "Taste " + std::to_string(key) + " (" + KeyName(key) + ")";
}

std::string NoteLine(size_t index, std::string_view member, int modulus, int32_t key,
                     std::optional<int32_t> lengthExponent, int32_t durationMs) {
    const std::string sound = KeyCaption(key);
    return "Glied " + std::to_string(index + 1) + ": " + std::string(member) + " → Rest " +
           std::to_string(DecimalRemainder(member, modulus)) + " (mod " + std::to_string(modulus) +
           ") → " + sound + " · " + LengthName(lengthExponent, durationMs);
}

std::string NoteLine(const DescribedMelody& melody, size_t index) {
    const NoteEvent& e = melody.Timeline.Events().at(index);
    std::string line = NoteLine(index, melody.Members.at(index), melody.Modulus, e.Key,
                                e.LengthExponent, e.DurationMs);
    // What the expression maps give the note, where they are on.
    if (e.Velocity) line += " · Anschlag " + std::to_string(*e.Velocity);
    if (e.Pan)
        line += " · Panorama " + std::to_string(*e.Pan) +
                (*e.Pan < 0   ? " (links)"
                 : *e.Pan > 0 ? " (rechts)"
                              : " (Mitte)");
    return line;
}

std::string MelodyCsv(const DescribedMelody& melody) {
    std::string csv = "Glied,Wert,Rest,Taste,Länge (ms)\n";
    const auto& events = melody.Timeline.Events();
    for (size_t i = 0; i < events.size(); ++i)
        csv += std::to_string(i + 1) + "," + melody.Members[i] + "," +
               std::to_string(DecimalRemainder(melody.Members[i], melody.Modulus)) + "," +
               std::to_string(events[i].Key) + "," + std::to_string(events[i].DurationMs) + "\n";
    return csv;
}

std::string MelodyText(const DescribedMelody& melody) {
    std::string text;
    for (size_t i = 0; i < melody.Members.size(); ++i) text += NoteLine(melody, i) + "\n";
    return text;
}

EnsembleRoll RollOf(const std::vector<EnsembleVoice>& voices) {
    EnsembleRoll roll;
    for (size_t v = 0; v < voices.size(); ++v) {
        const EnsembleVoice& voice = voices[v];
        roll.Names.push_back(voice.Name);
        if (!VoiceAudible(voices, v)) continue;
        const int64_t offsetMs = std::llround(static_cast<double>(voice.OffsetUs) / 1000);
        roll.EndMs = std::max(roll.EndMs, offsetMs + voice.Melody.EndMs());
        const std::vector<NoteEvent>& melody = voice.Melody.Events();
        for (size_t m = 0; m < melody.size(); ++m) {
            const NoteEvent& e = melody[m];
            if (VoiceNote(voice, e.Key) < 0) continue;
            roll.Notes.push_back({offsetMs + e.StartMs, e.DurationMs, e.Key + voice.Transpose,
                                  static_cast<int>(v), static_cast<int>(m), e.LengthExponent});
            roll.LongestMs = std::max(roll.LongestMs, e.DurationMs);
        }
    }
    std::stable_sort(roll.Notes.begin(), roll.Notes.end(),
                     [](const RollNote& a, const RollNote& b) { return a.StartMs < b.StartMs; });
    return roll;
}

std::string RollNoteLine(const EnsembleRoll& roll, size_t index) {
    const RollNote& n = roll.Notes.at(index);
    // A transposed key may leave the keyboard and still sound.
    const std::string name =
        n.Key >= kLowestKey && n.Key <= kHighestKey ? " (" + KeyName(n.Key) + ")" : std::string();
    return VoiceLabel(n.Voice, roll.Names.at(static_cast<size_t>(n.Voice))) + "Glied " +
           std::to_string(n.Member + 1) + " → Taste " + std::to_string(n.Key) + name + " · " +
           LengthName(n.LengthExponent, n.DurationMs);
}

RangeSpans::RangeSpans(std::vector<double> values) : values_(std::move(values)) {
    blocks_ = (values_.size() + kBlock - 1) / kBlock;
    tree_.assign(2 * blocks_, {});
    for (size_t i = 0; i < values_.size(); ++i) tree_[blocks_ + i / kBlock].Add(values_[i]);
    for (size_t i = blocks_; i-- > 1;) {
        tree_[i] = tree_[2 * i];
        tree_[i].Add(tree_[2 * i + 1]);
    }
}

ColumnSpan RangeSpans::Of(size_t from, size_t to) const {
    to = std::min(to, values_.size());
    ColumnSpan span;
    if (from >= to) return span;
    // The partial blocks at either end directly, the whole ones between from the tree.
    size_t blockFrom = (from + kBlock - 1) / kBlock, blockTo = to / kBlock;
    if (blockFrom >= blockTo) {
        for (size_t i = from; i < to; ++i) span.Add(values_[i]);
        return span;
    }
    for (size_t i = from; i < blockFrom * kBlock; ++i) span.Add(values_[i]);
    for (size_t i = blockTo * kBlock; i < to; ++i) span.Add(values_[i]);
    for (size_t l = blockFrom + blocks_, r = blockTo + blocks_; l < r; l /= 2, r /= 2) {
        if (l % 2 == 1) span.Add(tree_[l++]);
        if (r % 2 == 1) span.Add(tree_[--r]);
    }
    return span;
}

std::vector<ColumnSpan> PlotColumns(const RangeSpans& values, double x0, double width,
                                    int columns) {
    std::vector<ColumnSpan> spans(static_cast<size_t>(std::max(0, columns)));
    const auto firstFrom = [&](int c) {
        // Members i with i + 0.5 >= the column's left edge.
        const double at = std::ceil(x0 + c * width - 0.5);
        return at <= 0 ? size_t{0} : static_cast<size_t>(std::min(at, 1e18));
    };
    size_t from = firstFrom(0);
    for (int c = 0; c < columns; ++c) {
        const size_t to = firstFrom(c + 1);
        spans[static_cast<size_t>(c)] = values.Of(from, to);
        from = to;
    }
    return spans;
}

KeyTrack::KeyTrack(const std::vector<NoteEvent>& events) {
    std::vector<double> keys;
    starts_.reserve(events.size());
    ends_.reserve(events.size());
    keys.reserve(events.size());
    for (const NoteEvent& e : events) {
        starts_.push_back(e.StartMs);
        ends_.push_back(e.EndMs());
        keys.push_back(e.Key > 0 ? e.Key : NAN);
    }
    keys_ = RangeSpans(std::move(keys));
}

KeyTrack::KeyTrack(std::vector<int64_t> starts, std::vector<int64_t> ends, std::vector<double> keys)
    : starts_(std::move(starts)), ends_(std::move(ends)), keys_(std::move(keys)) {}

std::pair<size_t, size_t> KeyTrack::During(double fromMs, double toMs) const {
    const size_t first =
        std::partition_point(ends_.begin(), ends_.end(),
                             [fromMs](int64_t end) { return static_cast<double>(end) <= fromMs; }) -
        ends_.begin();
    const size_t last =
        std::partition_point(starts_.begin() + static_cast<ptrdiff_t>(first), starts_.end(),
                             [toMs](int64_t start) { return static_cast<double>(start) < toMs; }) -
        starts_.begin();
    return {first, std::max(first, last)};
}

namespace {
// The first index from `from` on whose time is not below t (or not at or
// below it). Galloping from the previous column's answer keeps neighbouring
// columns' searches short and in the cache.
size_t FirstNotBelow(const std::vector<int64_t>& times, size_t from, double t, bool orAt) {
    const auto below = [t, orAt](int64_t time) {
        const auto x = static_cast<double>(time);
        return x < t || (orAt && x == t);
    };
    size_t low = from, high = from, step = 1;
    while (high < times.size() && below(times[high])) {
        low = high + 1;
        high += step;
        step *= 2;
    }
    high = std::min(high, times.size());
    return static_cast<size_t>(std::partition_point(times.begin() + static_cast<ptrdiff_t>(low),
                                                    times.begin() + static_cast<ptrdiff_t>(high),
                                                    below) -
                               times.begin());
}
}  // namespace

std::vector<ColumnSpan> KeyTrack::Columns(double x0, double width, int columns) const {
    std::vector<ColumnSpan> spans(static_cast<size_t>(std::max(0, columns)));
    size_t first = 0, last = 0;
    for (int c = 0; c < columns; ++c) {
        // The notes ending after the column's start and starting before its end.
        first = FirstNotBelow(ends_, first, x0 + c * width, true);
        last = FirstNotBelow(starts_, std::max(first, last), x0 + (c + 1) * width, false);
        ColumnSpan& span = spans[static_cast<size_t>(c)];
        span = keys_.Of(first, last);
        if (!span.Empty()) span.LatestStartMs = starts_[last - 1];
    }
    return spans;
}

std::vector<KeyTrack> TracksOf(const EnsembleRoll& roll) {
    const size_t voices = roll.Names.size();
    std::vector<std::vector<int64_t>> starts(voices), ends(voices);
    std::vector<std::vector<double>> keys(voices);
    for (const RollNote& n : roll.Notes) {
        const auto v = static_cast<size_t>(n.Voice);
        if (v >= voices) continue;
        starts[v].push_back(n.StartMs);
        ends[v].push_back(n.EndMs());
        keys[v].push_back(n.Key);
    }
    std::vector<KeyTrack> tracks;
    tracks.reserve(voices);
    for (size_t v = 0; v < voices; ++v)
        tracks.emplace_back(std::move(starts[v]), std::move(ends[v]), std::move(keys[v]));
    return tracks;
}
