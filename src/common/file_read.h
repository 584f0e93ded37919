#pragma once
// Reading a whole file that is to hold at most a given size, without hanging
// on a FIFO and without trusting the size the file had when it was opened.
// The caller words the failure, so its messages name its own kind of file.
#include <cstddef>
#include <string>

struct BoundedFile {
    enum class Fault { None, Open, Read, TooBig };
    Fault Failure = Fault::None;
    std::string Cause;  // for Open and Read: German, e.g. "das ist ein Ordner"
    std::string Text;   // the bytes, when nothing failed
};

BoundedFile ReadBoundedFile(const std::string& path, std::size_t maxBytes);
