#pragma once
// The tool's standard output and error, written straight to their descriptors
// so that a failed write is seen with its cause (a full disk, a closed output).
#include <ostream>
#include <streambuf>
#include <string>

class FdStreamBuf : public std::streambuf {
public:
    explicit FdStreamBuf(int fd) : fd_(fd) { setp(buffer_, buffer_ + sizeof buffer_); }
    ~FdStreamBuf() override { sync(); }
    // errno of the first write that failed, or 0; later writes are dropped.
    int Error() const { return error_; }

protected:
    int_type overflow(int_type c) override;
    int sync() override;

private:
    bool Drain();

    int fd_;
    int error_ = 0;
    char buffer_[16384];
};

// Descriptors 0 to 2 that were closed get a placeholder that refuses writes,
// so that no file the tool opens takes their number and receives its output.
void OccupyClosedStandardDescriptors();

// Flushes out; when it lost output, says so on err ("Die Standardausgabe lässt
// sich nicht schreiben: kein Platz mehr auf dem Datenträger") and returns true.
bool OutputLost(std::ostream& out, std::ostream& err);
