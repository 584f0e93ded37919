#pragma once
// Reading the compiled help file: the CHM library is loaded at run time (the
// help viewer counts as present only when it loads), topics are found through
// the file's own context tables. The file is input like any other: every
// offset and length in it is checked before use.
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

struct chmFile;

// The CHM library, loaded once.
struct ChmLibrary {
    bool loaded = false;
    std::string path;  // the library's file
};
const ChmLibrary& LoadChmLibrary();

// Context number -> topic path as stored in #STRINGS, from the #IVB and
// #STRINGS streams. Entries whose offsets fall outside #STRINGS are skipped;
// a #IVB whose length field disagrees with the stream is read only as far as both reach.
std::map<uint32_t, std::string> ParseContextMap(const std::string& ivb, const std::string& strings);
// The default topic from the #SYSTEM stream (entry code 2), or empty.
std::string ParseDefaultTopic(const std::string& system);

// Whether the file's two headers describe a file of this size: the CHM
// library takes their sizes on trust (a block length of gigabytes is
// allocated as it stands), so a file is handed to it only after this check.
// `start` holds the file's first bytes, `directory` the bytes at the directory offset.
bool ChmHeadersSound(const std::string& start, const std::string& directory, uint64_t fileSize);

// Whether every LZX control data entry of the directory is in the format's
// range; the library divides by its values while it opens the file. `file`
// holds the whole file, whose headers ChmHeadersSound accepted.
bool ControlDataSound(const std::string& file);

// Whether the compressed section's parameters (the LZX control data and reset
// table) are in the format's range: the library allocates by them as well.
bool LzxParametersSound(const std::string& controlData, const std::string& resetTable);

// Objects larger than this are refused rather than read.
inline constexpr uint64_t kMaxHelpObjectBytes = uint64_t{16} * 1024 * 1024;
// Larger files are not taken for help files.
inline constexpr uint64_t kMaxHelpFileBytes = uint64_t{64} * 1024 * 1024;

// Why a help request found no topic to show.
enum class HelpFileFault { kNone, kMissing, kUnreadable, kDamaged, kNoTopic };
// The user's warning for a fault, naming the file: "Die Hilfedatei "…" fehlt.";
// "" for kNone.
std::string HelpFileFaultText(HelpFileFault fault, const std::string& path, uint32_t context);
inline constexpr std::size_t kShownPathChars = 240;

class HelpFile {
public:
    // nullptr when the library is missing or the file cannot be opened; fault
    // then says why.
    static std::unique_ptr<HelpFile> Open(const std::string& path, HelpFileFault* fault = nullptr);
    ~HelpFile();
    HelpFile(const HelpFile&) = delete;
    HelpFile& operator=(const HelpFile&) = delete;

    // The object's bytes; nothing when it is missing, too large or unreadable.
    std::optional<std::string> Read(const std::string& objectPath) const {
        return Read(objectPath, false);
    }
    // The object path ("/page.htm") of a context number's topic, or nothing.
    std::optional<std::string> TopicOfContext(uint32_t context) const;
    // The file's default topic as an object path, or nothing.
    std::optional<std::string> DefaultTopic() const;
    const std::map<uint32_t, std::string>& ContextMap() const { return contexts_; }

private:
    explicit HelpFile(chmFile* handle);
    // The help compiler stores build-folder paths; the object is found by
    // dropping leading folders until a stored name matches.
    std::optional<std::string> ResolveStoredPath(const std::string& stored) const;
    bool Exists(const std::string& objectPath) const;
    std::optional<std::string> Read(const std::string& objectPath, bool uncompressedOnly) const;

    chmFile* handle_;
    std::map<uint32_t, std::string> contexts_;
    // Bytes the compressed section's blocks can hold: the library looks up a
    // block past the reset table's end without a check, so nothing beyond is read.
    uint64_t compressedCapacity_ = 0;
};
