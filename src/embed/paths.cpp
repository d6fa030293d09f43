// SPDX-License-Identifier: Apache-2.0
#include "embed/paths.h"

namespace {

#ifdef _WIN32
const char* const separators = "/\\";
#else
const char* const separators = "/";
#endif

bool isSeparator(char c) { return std::string(separators).find(c) != std::string::npos; }

// The length of a drive prefix at the start of path: 2 for "C:" on Windows, else 0.
size_t driveLength(const std::string& path) {
#ifdef _WIN32
    if (path.size() < 2 || path[1] != ':') return 0;
    const char drive = path[0];
    return (drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z') ? 2 : 0;
#else
    (void)path;
#endif
    return 0;
}

}  // namespace

bool endsWithSeparator(const std::string& path) {
    return !path.empty() && isSeparator(path.back());
}

std::string inFolder(const std::string& dir, const std::string& name) {
    return endsWithSeparator(dir) ? dir + name : dir + "/" + name;
}

std::string fileNameOf(const std::string& path) {
    const size_t separator = path.find_last_of(separators);
    if (separator != std::string::npos) return path.substr(separator + 1);
    return path.substr(driveLength(path));
}
