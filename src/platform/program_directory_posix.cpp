// SPDX-License-Identifier: Apache-2.0
#include <unistd.h>

#include "platform/program_directory.h"

std::string programDirectory() {
    std::string path(4096, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || static_cast<size_t>(length) == path.size()) return {};
    path.resize(static_cast<size_t>(length));
    return path.substr(0, path.rfind('/') + 1);
}
