#pragma once
// Files the program writes replace what is at their path only once they are
// complete: the bytes go to a new file in the same folder, which is flushed to
// the disk and then renamed over the target. A failed write leaves the old
// file, a symbolic link or anything else at the path untouched. The new file
// has no name until it is complete where the file system allows that, so a
// write killed midway leaves nothing; elsewhere it is a hidden
// ".sonavix-PID-...tmp", and a later write in that folder removes such files
// of writers no longer running once they are ten minutes old.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/errors.h"

// "Die Datei "…" kann nicht geschrieben werden: " and the cause.
class EFileWriteError : public EInvalidInput {
    using EInvalidInput::EInvalidInput;
};

// The error for path with cause ("der Ordner existiert nicht"), for writers
// that report their own failures in the same words.
EFileWriteError FileWriteError(const std::string& path, const std::string& cause);

// Hands the next piece of the file to the writer; throws EFileWriteError.
using FileChunkWriter = std::function<void(const void* data, std::size_t size)>;

// Writes what produce hands to its argument as the file at path. A symbolic
// link at path is followed and its target replaced; a target that exists and
// is not a regular file, or is not writable, is refused before anything is
// written. A file that is replaced keeps its permissions; a new one gets the
// usual ones. Whatever produce throws leaves the target untouched and passes on.
void WriteFileAtomically(const std::string& path,
                         const std::function<void(const FileChunkWriter& put)>& produce);
void WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes);
// The same for a writer that goes back in its file (an encoder that fills in
// its header at the end): produce writes the new file through its descriptor,
// open for reading and writing at offset 0, and leaves it open.
void WriteFileAtomicallyThrough(const std::string& path,
                                const std::function<void(int fd)>& produce);

// Whether a write starts its file unnamed where the file system allows it (the
// default). false makes every write name its file from the start, as on file
// systems without unnamed files; for tests of that way.
void UseUnnamedTemporaryFiles(bool use);
