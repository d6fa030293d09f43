// SPDX-License-Identifier: Apache-2.0
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>

#include "input/file_bytes.h"

namespace {

struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

// Reads until bytes holds limit bytes or the file ends, into the room bytes has
// reserved first; false on an error.
bool readInto(int fd, std::string& bytes, std::size_t limit) {
    for (;;) {
        const std::size_t got = bytes.size();
        if (got == limit) return true;
        const std::size_t room = std::min(limit - got, bytes.capacity() - got);
        char more[1 << 12];
        ssize_t n = 0;
        if (room > 0) {
            bytes.resize(got + room);
            n = ::read(fd, &bytes[got], room);
            bytes.resize(got + static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
        } else {
            n = ::read(fd, more, std::min(limit - got, sizeof more));
            if (n > 0) bytes.append(more, static_cast<std::size_t>(n));
        }
        if (n < 0 && errno != EINTR) return false;
        if (n == 0) return true;
    }
}

}  // namespace

// O_NONBLOCK: a FIFO named as an input must not hold the run; reads of regular files
// are not affected.
std::optional<std::string> readRegularFile(const std::string& path,
                                           bool (*wanted)(const std::string& start)) {
    const Descriptor file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    struct stat status {};
    if (file.fd < 0 || ::fstat(file.fd, &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    std::string bytes;
    bytes.reserve(16);
    if (!readInto(file.fd, bytes, 16)) return std::nullopt;
    if (!wanted(bytes)) return bytes;
    bytes.reserve(static_cast<std::size_t>(status.st_size) + 1);
    if (!readInto(file.fd, bytes, std::numeric_limits<std::size_t>::max()))
        return std::nullopt;
    return bytes;
}

bool libraryOpensByName(const std::string&) { return true; }
