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

// Every track of the file, each as a Smf with the header's fields.
inline std::vector<Smf> ReadSmfTracks(const std::vector<uint8_t>& file) {
    size_t pos = 0;
    const auto need = [&](size_t n) {
        if (file.size() - pos < n)
            throw std::runtime_error("file ends early at byte " + std::to_string(pos));
    };
    const auto byte = [&]() -> uint8_t {
        need(1);
        return file[pos++];
    };
    const auto number = [&](int bytes) {
        uint32_t value = 0;
        while (bytes--) value = (value << 8) | byte();
        return value;
    };
    const auto varLength = [&]() {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const uint8_t b = byte();
            value = (value << 7) | (b & 0x7F);
            if (!(b & 0x80)) return value;
        }
        throw std::runtime_error("variable-length number longer than four bytes");
    };
    const auto chunk = [&](const char* id) {
        need(8);
        if (std::string(file.begin() + pos, file.begin() + pos + 4) != id)
            throw std::runtime_error(std::string("expected chunk ") + id);
        pos += 4;
        return number(4);
    };

    Smf header;
    if (chunk("MThd") != 6) throw std::runtime_error("header length is not 6");
    header.format = number(2);
    header.trackCount = number(2);
    header.division = number(2);
    std::vector<Smf> tracks;
    for (int t = 0; t < header.trackCount; ++t) {
        Smf smf = header;
        const uint32_t length = chunk("MTrk");
        need(length);
        const size_t end = pos + length;
        int64_t tick = 0;
        uint8_t status = 0;
        while (pos < end) {
            tick += varLength();
            uint8_t first = byte();
            SmfEvent event{tick, {}};
            if (first == 0xFF) {
                const uint8_t type = byte();
                const uint32_t size = varLength();
                need(size);
                event.bytes = {0xFF, type};
                event.bytes.insert(event.bytes.end(), file.begin() + pos,
                                   file.begin() + pos + size);
                pos += size;
            } else if (first == 0xF0 || first == 0xF7) {
                throw std::runtime_error("system exclusive: not expected here");
            } else {
                if (first & 0x80) {
                    status = first;
                } else {
                    if (!status) throw std::runtime_error("data byte without a status");
                    --pos;  // running status: this was the first data byte
                }
                const int dataBytes = (status & 0xE0) == 0xC0 ? 1 : 2;
                event.bytes = {status};
                for (int i = 0; i < dataBytes; ++i) {
                    const uint8_t data = byte();
                    if (data & 0x80) throw std::runtime_error("data byte above 127");
                    event.bytes.push_back(data);
                }
            }
            smf.events.push_back(event);
        }
        if (pos != end) throw std::runtime_error("event runs past the track's end");
        tracks.push_back(std::move(smf));
    }
    if (pos != file.size()) throw std::runtime_error("bytes after the last track");
    return tracks;
}

// A file of one track.
inline Smf ReadSmf(const std::vector<uint8_t>& file) {
    std::vector<Smf> tracks = ReadSmfTracks(file);
    if (tracks.size() != 1) throw std::runtime_error("not a file of one track");
    return tracks.front();
}
