// SPDX-License-Identifier: Apache-2.0
#include "input/animation_stream.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

bool readBytes(int fd, void* bytes, std::size_t size) {
    char* data = static_cast<char*>(bytes);
    while (size > 0) {
        const ssize_t n = ::read(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool writeBytes(int fd, const void* bytes, std::size_t size) {
    const char* data = static_cast<const char*>(bytes);
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

int64_t maxFilePixels(int64_t fileBytes) {
    const int64_t least = int64_t(1) << 28, most = int64_t(1) << 31;
    return fileBytes >= most >> 16 ? most : std::max(least, fileBytes << 16);
}

bool plausibleFrame(const RecordHead& head) {
    return head.kind == RecordKind::Frame && head.rows > 0 && head.cols > 0 &&
           int64_t(head.rows) * head.cols <= MAX_CANVAS_PIXELS && head.value >= 0 &&
           head.value <= 65535;
}
