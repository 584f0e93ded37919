#pragma once
// Writing a file so that nothing half-written is ever left under its name:
// the bytes go to a new file beside the target, which is renamed over the
// target only when complete. Kept in one place so that a shared helper can
// take its place.
#include <cstddef>
#include <cstdio>
#include <string>

#include "common/errors.h"

// A file that cannot be written; the message names the file and the reason.
class EFileWriteError : public EInvalidInput {
    using EInvalidInput::EInvalidInput;
};

class TReplacingFile {
public:
    // Creates the new file beside path; throws EFileWriteError.
    explicit TReplacingFile(std::string path);
    // Without Commit the new file is removed and the target stays as it was.
    ~TReplacingFile();
    TReplacingFile(const TReplacingFile&) = delete;
    TReplacingFile& operator=(const TReplacingFile&) = delete;

    void Write(const void* data, size_t size);
    // Puts the complete file in the target's place.
    void Commit();

private:
    [[noreturn]] void Fail(int error);

    std::string path_, temp_;
    std::FILE* file_ = nullptr;
};
