#pragma once
// A minimal reader of Standard MIDI Files, written from the file format alone,
// to check what the program writes: header, one track's events with absolute
// times (running status understood), notes paired up.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

struct SmfEvent {
    int64_t tick;                // from the start of the track
    std::vector<uint8_t> bytes;  // status and data; meta events as FF type data (no length)
};

struct SmfNote {
    int note;
    int onVelocity, offVelocity;
    int64_t onTick, offTick;
    bool operator==(const SmfNote&) const = default;
};

struct Smf {
    int format = -1, trackCount = -1, division = -1;
    std::vector<SmfEvent> events;  // of the first track

    // Microseconds per quarter note of the first tempo event, -1 without one.
    int64_t TempoUs() const {
        for (const auto& e : events)
            if (e.bytes.size() == 5 && e.bytes[0] == 0xFF && e.bytes[1] == 0x51)
                return (int64_t{e.bytes[2]} << 16) | (e.bytes[3] << 8) | e.bytes[4];
        return -1;
    }
    // Channel and program of every program change.
    std::vector<std::pair<int, int>> Programs() const {
        std::vector<std::pair<int, int>> programs;
        for (const auto& e : events)
            if ((e.bytes[0] & 0xF0) == 0xC0)
                programs.push_back({(e.bytes[0] & 0x0F) + 1, e.bytes[1]});
        return programs;
    }
    // Note On (velocity > 0) paired with the next Note Off of that note (or a
    // Note On with velocity 0), in the order they started.
    std::vector<SmfNote> Notes() const {
        std::vector<SmfNote> notes;
        for (const auto& e : events) {
            const int kind = e.bytes[0] & 0xF0;
            if (kind == 0x90 && e.bytes[2] > 0) {
                notes.push_back({e.bytes[1], e.bytes[2], -1, e.tick, -1});
            } else if (kind == 0x80 || kind == 0x90) {
                for (auto& n : notes)
                    if (n.note == e.bytes[1] && n.offTick < 0) {
                        n.offTick = e.tick;
                        n.offVelocity = kind == 0x80 ? e.bytes[2] : 0;
                        break;
                    }
            }
        }
        return notes;
    }
    // The time of the end-of-track event, which must close the track.
    int64_t EndTick() const {
        if (events.empty() || events.back().bytes != std::vector<uint8_t>{0xFF, 0x2F})
            throw std::runtime_error("track does not end with end-of-track");
        return events.back().tick;
    }
};

// Reads the file's bytes in order; every read past the end throws.
class SmfCursor {
public:
    explicit SmfCursor(const std::vector<uint8_t>& file) : file_(file) {}

    size_t Pos() const { return pos_; }
    bool AtEnd() const { return pos_ == file_.size(); }
    void Need(size_t n) const {
        if (file_.size() - pos_ < n)
            throw std::runtime_error("file ends early at byte " + std::to_string(pos_));
    }
    uint8_t Byte() {
        Need(1);
        return file_[pos_++];
    }
    void Back() { --pos_; }
    uint32_t Number(int bytes) {
        uint32_t value = 0;
        while (bytes--) value = (value << 8) | Byte();
        return value;
    }
    uint32_t VarLength() {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const uint8_t b = Byte();
            value = (value << 7) | (b & 0x7F);
            if (!(b & 0x80)) return value;
        }
        throw std::runtime_error("variable-length number longer than four bytes");
    }
    std::vector<uint8_t> Bytes(uint32_t n) {
        Need(n);
        std::vector<uint8_t> bytes(file_.begin() + pos_, file_.begin() + pos_ + n);
        pos_ += n;
        return bytes;
    }
    uint32_t Chunk(const char* id) {
        Need(8);
        if (std::string(file_.begin() + pos_, file_.begin() + pos_ + 4) != id)
            throw std::runtime_error(std::string("expected chunk ") + id);
        pos_ += 4;
        return Number(4);
    }

private:
    const std::vector<uint8_t>& file_;
    size_t pos_ = 0;
};

// One event's bytes after its delta time; status is the running status.
inline std::vector<uint8_t> ReadSmfEvent(SmfCursor& in, uint8_t& status) {
    const uint8_t first = in.Byte();
    if (first == 0xFF) {
        const uint8_t type = in.Byte();
        std::vector<uint8_t> bytes{0xFF, type};
        const std::vector<uint8_t> data = in.Bytes(in.VarLength());
        bytes.insert(bytes.end(), data.begin(), data.end());
        return bytes;
    }
    if (first == 0xF0 || first == 0xF7)
        throw std::runtime_error("system exclusive: not expected here");
    if (first & 0x80) {
        status = first;
    } else {
        if (!status) throw std::runtime_error("data byte without a status");
        in.Back();  // running status: this was the first data byte
    }
    const int dataBytes = (status & 0xE0) == 0xC0 ? 1 : 2;
    std::vector<uint8_t> bytes{status};
    for (int i = 0; i < dataBytes; ++i) {
        const uint8_t data = in.Byte();
        if (data & 0x80) throw std::runtime_error("data byte above 127");
        bytes.push_back(data);
    }
    return bytes;
}

// Every track of the file, each as a Smf with the header's fields.
inline std::vector<Smf> ReadSmfTracks(const std::vector<uint8_t>& file) {
    SmfCursor in(file);
    Smf header;
    if (in.Chunk("MThd") != 6) throw std::runtime_error("header length is not 6");
    header.format = in.Number(2);
    header.trackCount = in.Number(2);
    header.division = in.Number(2);
    std::vector<Smf> tracks;
    for (int t = 0; t < header.trackCount; ++t) {
        Smf smf = header;
        const uint32_t length = in.Chunk("MTrk");
        in.Need(length);
        const size_t end = in.Pos() + length;
        int64_t tick = 0;
        uint8_t status = 0;
        while (in.Pos() < end) {
            tick += in.VarLength();
            smf.events.push_back({tick, ReadSmfEvent(in, status)});
        }
        if (in.Pos() != end) throw std::runtime_error("event runs past the track's end");
        tracks.push_back(std::move(smf));
    }
    if (!in.AtEnd()) throw std::runtime_error("bytes after the last track");
    return tracks;
}

// A file of one track.
inline Smf ReadSmf(const std::vector<uint8_t>& file) {
    std::vector<Smf> tracks = ReadSmfTracks(file);
    if (tracks.size() != 1) throw std::runtime_error("not a file of one track");
    return tracks.front();
}
