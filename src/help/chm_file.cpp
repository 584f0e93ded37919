#include "help/chm_file.h"

#include <chm_lib.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/quote.h"

namespace {

// The library's entry points, looked up by name so that the program starts without it.
struct ChmEntryPoints {
    decltype(&chm_open) open = nullptr;
    decltype(&chm_close) close = nullptr;
    decltype(&chm_resolve_object) resolve = nullptr;
    decltype(&chm_retrieve_object) retrieve = nullptr;
};

ChmEntryPoints& EntryPoints() {
    static ChmEntryPoints fns;
    return fns;
}

uint32_t ReadLE32(const std::string& s, size_t at) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data()) + at;
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

uint64_t ReadLE64(const std::string& s, size_t at) {
    return ReadLE32(s, at) | (static_cast<uint64_t>(ReadLE32(s, at + 4)) << 32);
}

// Header sizes and limits of the format.
constexpr size_t kItsfV2Size = 0x58, kItsfV3Size = 0x60, kItspSize = 0x54;
constexpr uint32_t kMinDirectoryBlock = 0x100, kMaxDirectoryBlock = 0x10000;

uint16_t ReadLE16(const std::string& s, size_t at) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data()) + at;
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// The zero-terminated text at an offset; nothing when no terminator follows inside the stream.
std::optional<std::string> TextAt(const std::string& s, size_t at) {
    if (at >= s.size()) return std::nullopt;
    const size_t end = s.find('\0', at);
    if (end == std::string::npos) return std::nullopt;
    return s.substr(at, end - at);
}

}  // namespace

const ChmLibrary& LoadChmLibrary() {
    static const ChmLibrary lib = [] {
        ChmLibrary l;
        void* handle = dlopen("libchm.so.1", RTLD_NOW | RTLD_LOCAL);
        if (!handle) return l;
        ChmEntryPoints& f = EntryPoints();
        f.open = reinterpret_cast<decltype(f.open)>(dlsym(handle, "chm_open"));
        f.close = reinterpret_cast<decltype(f.close)>(dlsym(handle, "chm_close"));
        f.resolve = reinterpret_cast<decltype(f.resolve)>(dlsym(handle, "chm_resolve_object"));
        f.retrieve = reinterpret_cast<decltype(f.retrieve)>(dlsym(handle, "chm_retrieve_object"));
        if (!f.open || !f.close || !f.resolve || !f.retrieve) {
            f = {};
            dlclose(handle);
            return l;
        }
        Dl_info info{};
        if (dladdr(reinterpret_cast<void*>(f.open), &info) && info.dli_fname)
            l.path = info.dli_fname;
        l.loaded = true;
        return l;
    }();
    return lib;
}

std::map<uint32_t, std::string> ParseContextMap(const std::string& ivb,
                                                const std::string& strings) {
    std::map<uint32_t, std::string> map;
    if (ivb.size() < 4) return map;
    // A length field larger than the stream is read only as far as the stream goes.
    const uint64_t declared = ReadLE32(ivb, 0);
    const uint64_t available = std::min<uint64_t>(declared, ivb.size() - 4);
    for (uint64_t at = 4; at + 8 <= 4 + available; at += 8) {
        const uint32_t context = ReadLE32(ivb, at);
        const uint32_t offset = ReadLE32(ivb, at + 4);
        if (auto text = TextAt(strings, offset); text && !text->empty())
            map.emplace(context, *text);
    }
    return map;
}

std::string ParseDefaultTopic(const std::string& system) {
    // A version word, then entries of code, length and data.
    for (size_t at = 4; at + 4 <= system.size();) {
        const uint16_t code = ReadLE16(system, at);
        const uint16_t length = ReadLE16(system, at + 2);
        at += 4;
        if (length > system.size() - at) break;
        if (code == 2) {
            const std::string data = system.substr(at, length);
            return data.substr(0, data.find('\0'));
        }
        at += length;
    }
    return "";
}

bool ChmHeadersSound(const std::string& start, const std::string& directory, uint64_t fileSize) {
    if (start.size() < kItsfV2Size || start.compare(0, 4, "ITSF") != 0) return false;
    const uint32_t version = ReadLE32(start, 4);
    if (version != 2 && version != 3) return false;
    if (version == 3 && start.size() < kItsfV3Size) return false;
    const uint64_t dirOffset = ReadLE64(start, 0x48), dirLength = ReadLE64(start, 0x50);
    if (dirOffset > fileSize || dirLength > fileSize - dirOffset || dirLength < kItspSize)
        return false;
    const uint64_t dataOffset = version == 3 ? ReadLE64(start, 0x58) : dirOffset + dirLength;
    if (dataOffset > fileSize) return false;

    if (directory.size() < kItspSize || directory.compare(0, 4, "ITSP") != 0) return false;
    if (ReadLE32(directory, 8) != kItspSize) return false;
    const uint32_t blockLength = ReadLE32(directory, 0x10);
    const int32_t root = static_cast<int32_t>(ReadLE32(directory, 0x1C));
    const int32_t head = static_cast<int32_t>(ReadLE32(directory, 0x20));
    const uint32_t blocks = ReadLE32(directory, 0x2C);
    if (blockLength < kMinDirectoryBlock || blockLength > kMaxDirectoryBlock) return false;
    if (static_cast<uint64_t>(blocks) * blockLength > dirLength - kItspSize) return false;
    if (head < 0 || static_cast<uint32_t>(head) >= blocks) return false;
    if (root < -1 || (root >= 0 && static_cast<uint32_t>(root) >= blocks)) return false;
    return true;
}

namespace {
// Control data: size, "LZXC", version, reset interval, window size, windows per reset.
bool LzxControlSound(const std::string& control) {
    if (control.size() < 24 || control.compare(4, 4, "LZXC") != 0) return false;
    const uint32_t version = ReadLE32(control, 8);
    uint64_t interval = ReadLE32(control, 12), window = ReadLE32(control, 16);
    const uint32_t windowsPerReset = ReadLE32(control, 20);
    if (version == 2) {
        interval *= 0x8000;
        window *= 0x8000;
    } else if (version != 1) {
        return false;
    }
    // LZX windows are powers of two from 32 KiB to 2 MiB.
    if (window < (1u << 15) || window > (1u << 21) || (window & (window - 1)) != 0) return false;
    if (interval == 0 || interval % (window / 2) != 0 || windowsPerReset == 0) return false;
    return interval / (window / 2) * windowsPerReset <= (1u << 16);
}

// A number of the directory: seven bits a byte, the high bit says more follow.
bool ReadEncInt(const std::string& s, size_t& at, size_t end, uint64_t& value) {
    value = 0;
    for (int i = 0; i < 9 && at < end; ++i) {
        const auto b = static_cast<unsigned char>(s[at++]);
        value = (value << 7) | (b & 0x7F);
        if (!(b & 0x80)) return true;
    }
    return false;
}

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

constexpr const char* kControlDataName = "::DataSpace/Storage/MSCompressed/ControlData";
}  // namespace

bool ControlDataSound(const std::string& file) {
    // The headers were checked: the directory and its blocks lie inside the file.
    const uint32_t version = ReadLE32(file, 4);
    const uint64_t dirOffset = ReadLE64(file, 0x48), dirLength = ReadLE64(file, 0x50);
    const uint64_t dataOffset = version == 3 ? ReadLE64(file, 0x58) : dirOffset + dirLength;
    const uint32_t blockLength = ReadLE32(file, dirOffset + 0x10);
    const uint32_t blocks = ReadLE32(file, dirOffset + 0x2C);
    for (uint32_t b = 0; b < blocks; ++b) {
        const size_t block = dirOffset + kItspSize + static_cast<size_t>(b) * blockLength;
        if (file.compare(block, 4, "PMGL") != 0) continue;  // an index block
        const uint32_t freeSpace = ReadLE32(file, block + 4);
        if (freeSpace > blockLength - 20) return false;
        const size_t end = block + blockLength - freeSpace;
        for (size_t at = block + 20; at < end;) {
            uint64_t nameLength, section, offset, length;
            if (!ReadEncInt(file, at, end, nameLength) || nameLength > end - at) return false;
            const std::string name = file.substr(at, nameLength);
            at += nameLength;
            if (!ReadEncInt(file, at, end, section) || !ReadEncInt(file, at, end, offset) ||
                !ReadEncInt(file, at, end, length))
                return false;
            // The format has two sections; the library takes any other number for
            // the compressed one and divides by parameters it has not read yet.
            if (section > 1) return false;
            if (!SameNameIgnoringCase(name, kControlDataName)) continue;
            // The library reads this entry at open and divides by what it holds.
            if (section != 0 || offset > file.size() || dataOffset > file.size() - offset ||
                length > file.size() - dataOffset - offset)
                return false;
            if (!LzxControlSound(file.substr(dataOffset + offset, length))) return false;
        }
    }
    return true;
}

bool LzxParametersSound(const std::string& control, const std::string& reset) {
    if (!LzxControlSound(control)) return false;
    // Reset table: version, block count, entry size, table offset, lengths, block length.
    if (reset.size() < 40) return false;
    const uint64_t blocks = ReadLE32(reset, 4), tableOffset = ReadLE32(reset, 12);
    const uint64_t compressedLength = ReadLE64(reset, 24), blockLength = ReadLE64(reset, 32);
    if (blockLength == 0 || blockLength > (1u << 21)) return false;
    if (tableOffset > reset.size() || blocks > (reset.size() - tableOffset) / 8) return false;
    // The library reads each compressed block, from its table entry to the next
    // (the last to the compressed length), into a buffer of the block length
    // and 6144 bytes more.
    const uint64_t largestBlock = blockLength + 6144;
    for (uint64_t b = 0; b < blocks; ++b) {
        const uint64_t start = ReadLE64(reset, tableOffset + 8 * b);
        const uint64_t end =
            b + 1 < blocks ? ReadLE64(reset, tableOffset + 8 * (b + 1)) : compressedLength;
        if (end < start || end - start > largestBlock) return false;
    }
    return true;
}

std::unique_ptr<HelpFile> HelpFile::Open(const std::string& path, HelpFileFault* fault) {
    HelpFileFault ignored;
    HelpFileFault& why = fault ? *fault : ignored;
    why = HelpFileFault::kDamaged;
    if (!LoadChmLibrary().loaded) return nullptr;
    // Only a regular file, and never waiting on one: a pipe or a device in the
    // help file's place would hold the window for as long as nobody writes.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        why = errno == ENOENT ? HelpFileFault::kMissing : HelpFileFault::kUnreadable;
        return nullptr;
    }
    struct FdCloser {
        int fd;
        ~FdCloser() { close(fd); }
    } closer{fd};
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        why = HelpFileFault::kUnreadable;
        return nullptr;
    }
    {
        // The whole file is checked before the library sees it.
        std::string whole;
        char buffer[65536];
        for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) != 0;) {
            if (n < 0) {
                if (errno == EINTR) continue;
                why = HelpFileFault::kUnreadable;
                return nullptr;
            }
            whole.append(buffer, static_cast<size_t>(n));
            if (whole.size() > kMaxHelpFileBytes) break;
        }
        if (whole.size() > kMaxHelpFileBytes || whole.size() < kItsfV3Size) return nullptr;
        const uint64_t dirOffset = ReadLE64(whole, 0x48);
        if (dirOffset > whole.size()) return nullptr;
        if (!ChmHeadersSound(whole.substr(0, kItsfV3Size), whole.substr(dirOffset, kItspSize),
                             whole.size()) ||
            !ControlDataSound(whole))
            return nullptr;
    }
    // The library opens the file that was checked, even if the name has been
    // given to another one since.
    const std::string checked = "/proc/self/fd/" + std::to_string(fd);
    chmFile* handle =
        EntryPoints().open(access(checked.c_str(), R_OK) == 0 ? checked.c_str() : path.c_str());
    if (!handle) return nullptr;
    std::unique_ptr<HelpFile> file(new HelpFile(handle));
    // The compressed section's parameters are read as stored, never through
    // the decompressor they configure.
    const char* const kSection = "::DataSpace/Storage/MSCompressed/";
    const auto control = file->Read(std::string(kSection) + "ControlData", true);
    const auto reset =
        file->Read(std::string(kSection) +
                       "Transform/{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/InstanceData/ResetTable",
                   true);
    if (!control || !reset || !LzxParametersSound(*control, *reset)) return nullptr;
    file->compressedCapacity_ = uint64_t{ReadLE32(*reset, 4)} * ReadLE64(*reset, 32);
    const auto ivb = file->Read("/#IVB");
    const auto strings = file->Read("/#STRINGS");
    if (ivb && strings) file->contexts_ = ParseContextMap(*ivb, *strings);
    why = HelpFileFault::kNone;
    return file;
}

HelpFile::HelpFile(chmFile* handle) : handle_(handle) {}

HelpFile::~HelpFile() { EntryPoints().close(handle_); }

bool HelpFile::Exists(const std::string& objectPath) const {
    if (objectPath.empty() || objectPath.size() > CHM_MAX_PATHLEN) return false;
    chmUnitInfo info{};
    return EntryPoints().resolve(handle_, objectPath.c_str(), &info) == CHM_RESOLVE_SUCCESS;
}

std::optional<std::string> HelpFile::Read(const std::string& objectPath,
                                          bool uncompressedOnly) const {
    if (objectPath.empty() || objectPath.size() > CHM_MAX_PATHLEN) return std::nullopt;
    chmUnitInfo info{};
    if (EntryPoints().resolve(handle_, objectPath.c_str(), &info) != CHM_RESOLVE_SUCCESS)
        return std::nullopt;
    if (uncompressedOnly && info.space != CHM_UNCOMPRESSED) return std::nullopt;
    if (info.space != CHM_UNCOMPRESSED &&
        (info.start > compressedCapacity_ || info.length > compressedCapacity_ - info.start))
        return std::nullopt;
    if (info.length > kMaxHelpObjectBytes) return std::nullopt;
    std::string data(static_cast<size_t>(info.length), '\0');
    if (data.empty()) return data;
    const LONGINT64 got =
        EntryPoints().retrieve(handle_, &info, reinterpret_cast<unsigned char*>(data.data()), 0,
                               static_cast<LONGINT64>(data.size()));
    if (got != static_cast<LONGINT64>(data.size())) return std::nullopt;
    return data;
}

std::optional<std::string> HelpFile::ResolveStoredPath(const std::string& stored) const {
    std::string path = stored;
    for (char& c : path)
        if (c == '\\') c = '/';
    // A topic in another file ("other.chm::/page.htm") is not ours to show.
    if (path.find("::") != std::string::npos) return std::nullopt;
    if (path.empty() || path[0] != '/') path.insert(path.begin(), '/');
    for (;;) {
        if (Exists(path)) return path;
        const size_t next = path.find('/', 1);
        if (next == std::string::npos) return std::nullopt;
        path.erase(0, next);
    }
}

std::optional<std::string> HelpFile::TopicOfContext(uint32_t context) const {
    const auto it = contexts_.find(context);
    if (it == contexts_.end()) return std::nullopt;
    return ResolveStoredPath(it->second);
}

std::optional<std::string> HelpFile::DefaultTopic() const {
    const auto system = Read("/#SYSTEM");
    if (!system) return std::nullopt;
    const std::string topic = ParseDefaultTopic(*system);
    if (topic.empty()) return std::nullopt;
    return ResolveStoredPath(topic);
}

std::string HelpFileFaultText(HelpFileFault fault, const std::string& path, uint32_t context) {
    const std::string file = "Die Hilfedatei \"" + QuotedText(path, kShownPathChars) + "\" ";
    switch (fault) {
        case HelpFileFault::kNone:
            return "";
        case HelpFileFault::kMissing:
            return file + "fehlt.";
        case HelpFileFault::kUnreadable:
            return file + "lässt sich nicht lesen (keine gewöhnliche Datei oder kein Zugriff).";
        case HelpFileFault::kNoTopic:
            return file + "enthält kein Thema zur Hilfenummer " + std::to_string(context) + ".";
        case HelpFileFault::kDamaged:
            break;
    }
    return file + "ist beschädigt.";
}
