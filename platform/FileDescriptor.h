// The one owner of an open file descriptor (a file or a socket).

#pragma once

#include <unistd.h>

namespace qv {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd)
        : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closes now so that a failing close (delayed write error) can be reported.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

} // namespace qv
