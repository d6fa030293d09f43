// SPDX-License-Identifier: Apache-2.0
#include <io.h>

#include <algorithm>

#include "platform/process.h"

bool readAll(int fd, void* bytes, std::size_t size) {
    char* data = static_cast<char*>(bytes);
    while (size > 0) {
        const int chunk = static_cast<int>(std::min<std::size_t>(size, 1 << 30));
        const int n = ::_read(fd, data, static_cast<unsigned>(chunk));
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool writeAll(int fd, const void* bytes, std::size_t size) {
    const char* data = static_cast<const char*>(bytes);
    while (size > 0) {
        const int chunk = static_cast<int>(std::min<std::size_t>(size, 1 << 30));
        const int n = ::_write(fd, data, static_cast<unsigned>(chunk));
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}
