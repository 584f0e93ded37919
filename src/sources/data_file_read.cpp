// Reading a data file from the disk; data_file.cpp reads its text.
#include <utility>

#include "common/file_read.h"
#include "common/quote.h"
#include "sources/data_file.h"

namespace {
// Enough of a long path to name the file.
constexpr std::size_t kPathBytesMax = 160;
}  // namespace

std::string DataFileMessage(const std::string& path, const std::string& cause) {
    return "Die Datei \"" + QuotedTail(path, kPathBytesMax) +
           "\" lässt sich nicht als Liste lesen: " + cause;
}

std::string ReadDataFile(const std::string& path) {
    const auto fail = [&](const std::string& cause) {
        throw EDataFileError(DataFileMessage(path, cause));
    };
    BoundedFile file = ReadBoundedFile(path, kDataFileBytesMax);
    if (file.Failure == BoundedFile::Fault::TooBig)
        fail("sie ist größer als " + std::to_string(kDataFileBytesMax >> 20) + " MiB");
    if (file.Failure != BoundedFile::Fault::None) fail(file.Cause);
    std::string text = std::move(file.Text);
    try {
        text.erase(0, text.size() - CheckedDataText(text).size());  // the byte order mark
    } catch (const EDataFileError& e) {
        fail(e.Message());
    }
    return text;
}
