#include "help/chm_file.h"

#include <chm_lib.h>
#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

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

// The first bytes of a file and the bytes at an offset, as far as the file reaches.
std::string ReadAt(std::FILE* f, uint64_t offset, size_t count) {
    std::string data(count, '\0');
    if (fseeko(f, static_cast<off_t>(offset), SEEK_SET) != 0) return "";
    data.resize(std::fread(data.data(), 1, count, f));
    return data;
}

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

std::unique_ptr<HelpFile> HelpFile::Open(const std::string& path) {
    if (!LoadChmLibrary().loaded) return nullptr;
    {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        if (!f) return nullptr;
        std::string start = ReadAt(f, 0, kItsfV3Size);
        const bool sound = [&] {
            if (fseeko(f, 0, SEEK_END) != 0) return false;
            const off_t size = ftello(f);
            if (size < 0 || start.size() < kItsfV2Size) return false;
            const std::string directory = ReadAt(f, ReadLE64(start, 0x48), kItspSize);
            return ChmHeadersSound(start, directory, static_cast<uint64_t>(size));
        }();
        std::fclose(f);
        if (!sound) return nullptr;
    }
    chmFile* handle = EntryPoints().open(path.c_str());
    if (!handle) return nullptr;
    std::unique_ptr<HelpFile> file(new HelpFile(handle));
    const auto ivb = file->Read("/#IVB");
    const auto strings = file->Read("/#STRINGS");
    if (ivb && strings) file->contexts_ = ParseContextMap(*ivb, *strings);
    return file;
}

HelpFile::HelpFile(chmFile* handle) : handle_(handle) {}

HelpFile::~HelpFile() { EntryPoints().close(handle_); }

bool HelpFile::Exists(const std::string& objectPath) const {
    if (objectPath.empty() || objectPath.size() > CHM_MAX_PATHLEN) return false;
    chmUnitInfo info{};
    return EntryPoints().resolve(handle_, objectPath.c_str(), &info) == CHM_RESOLVE_SUCCESS;
}

std::optional<std::string> HelpFile::Read(const std::string& objectPath) const {
    if (objectPath.empty() || objectPath.size() > CHM_MAX_PATHLEN) return std::nullopt;
    chmUnitInfo info{};
    if (EntryPoints().resolve(handle_, objectPath.c_str(), &info) != CHM_RESOLVE_SUCCESS)
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
