// SPDX-License-Identifier: Apache-2.0
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "batch/file_place.h"

namespace {

std::string realPath(const std::string& path) {
    const std::unique_ptr<char, void (*)(void*)> real(::realpath(path.c_str(), nullptr),
                                                      std::free);
    return real ? std::string(real.get()) : std::string();
}

std::string directory(const std::string& path, PlaceCache& cache) {
    const auto known = cache.directories.find(path);
    if (known != cache.directories.end()) return known->second;
    return cache.directories[path] = realPath(path);
}

FileIdentity identityOf(const struct stat& status) {
    return {static_cast<std::uint64_t>(status.st_dev),
            static_cast<std::uint64_t>(status.st_ino)};
}

}  // namespace

// Follows links (dangling ones too) to the name that is not one, then resolves that
// name's directory; names such as "." and ".." are resolved whole.
Place placeOf(const std::string& name, PlaceCache& cache) {
    std::string path = name;
    Place place;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat status {};
        const bool exists = ::lstat(path.c_str(), &status) == 0;
        const size_t slash = path.rfind('/');
        const std::string within =
            slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
        if (exists && S_ISLNK(status.st_mode)) {
            std::string link(PATH_MAX, '\0');
            const ssize_t length = ::readlink(path.c_str(), link.data(), link.size());
            if (length <= 0 || length == static_cast<ssize_t>(link.size())) break;
            link.resize(static_cast<size_t>(length));
            path = link[0] == '/' ? link : within + "/" + link;
            continue;
        }
        place.exists = exists;
        place.identity = identityOf(status);
        const std::string last = path.substr(slash == std::string::npos ? 0 : slash + 1);
        if (last.empty() || last == "." || last == "..") {
            place.path = realPath(path);
            return place;
        }
        const std::string base = directory(within, cache);
        if (!base.empty()) place.path = base == "/" ? "/" + last : base + "/" + last;
        return place;
    }
    return place;  // links that go round in circles
}

std::optional<FileIdentity> regularFileOf(int fd) {
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
    return identityOf(status);
}
