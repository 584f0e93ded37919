// Feeds arbitrary bytes to the help-file reader as a file on disk, the way the
// help window opens it: open, look up every context the file maps, the default
// topic, and read each topic. Also feeds the context-table parser directly,
// with the input split into its two streams. Any crash or leak stops the fuzzer.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "help/chm_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const size_t split = bytes.empty() ? 0 : static_cast<uint8_t>(bytes[0]) * size / 256;
    (void)ParseContextMap(bytes.substr(0, split), bytes.substr(split));
    (void)ParseDefaultTopic(bytes);

    static const int fd = memfd_create("helpfile", 0);
    if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        return 0;
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (const auto file = HelpFile::Open(path)) {
        for (const auto& entry : file->ContextMap())
            if (const auto topic = file->TopicOfContext(entry.first)) (void)file->Read(*topic);
        (void)file->DefaultTopic();
    }
    return 0;
}
