// SPDX-License-Identifier: Apache-2.0
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <random>

#include "output/output_file.h"
#include "output/scratch_file.h"

namespace {

// A fresh name in dir, for the moment between creating the file and unlinking it.
std::string scratchName(const std::string& dir) {
    static std::mt19937_64 random{std::random_device{}()};
    static const char letters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string name = dir + "/.grayframe-scratch-";
    for (int i = 0; i < 8; ++i) name += letters[random() % (sizeof letters - 1)];
    return name;
}

}  // namespace

int openScratchFile(const std::string& dir) {
#ifdef O_TMPFILE
    const int anonymous = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (anonymous >= 0) return anonymous;
#endif
    int fd = -1;
    withEndingSignalsHeld([&] {  // no signal between creating and unlinking
        for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
            const std::string name = scratchName(dir);
            fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                        0600);
            if (fd < 0 && errno != EEXIST) break;
            if (fd >= 0 && ::unlink(name.c_str()) != 0) {
                ::close(fd);
                fd = -1;
                break;
            }
        }
    });
    return fd;
}

bool writeScratchAt(int fd, const void* data, std::size_t size, std::uint64_t offset) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, bytes, size, off_t(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        size -= size_t(n);
        offset += uint64_t(n);
    }
    return true;
}

bool copyScratchTo(std::ostream& out, int fd, std::uint64_t offset, std::size_t size) {
    char chunk[1 << 15];
    while (size > 0) {
        const ssize_t n = ::pread(fd, chunk, std::min(size, sizeof chunk), off_t(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        out.write(chunk, n);
        size -= size_t(n);
        offset += uint64_t(n);
    }
    return bool(out);
}

void closeScratchFile(int fd) {
    if (fd >= 0) ::close(fd);
}
