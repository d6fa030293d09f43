#include "batch/written_inputs.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <unordered_map>
#include <utility>

namespace {

using Inode = std::pair<dev_t, ino_t>;

// Where a name leads, and the file there if it exists.
struct Place {
    std::string path;  // absolute, links followed; empty when its directory is missing
    bool exists = false;
    Inode inode;
};

#ifdef _WIN32
// Windows: where a name leads as the standard library resolves it (no inodes).
struct Resolver {
    Place place(const std::string& path) {
        std::error_code error;
        Place place;
        const std::filesystem::path resolved =
            std::filesystem::weakly_canonical(path, error);
        if (!error) place.path = resolved.string();
        return place;
    }
};
#else
std::string realPath(const std::string& path) {
    const std::unique_ptr<char, void (*)(void*)> real(::realpath(path.c_str(), nullptr),
                                                      std::free);
    return real ? std::string(real.get()) : std::string();
}

// Resolves names, each directory once.
struct Resolver {
    std::unordered_map<std::string, std::string> directories;

    std::string directory(const std::string& path) {
        const auto known = directories.find(path);
        if (known != directories.end()) return known->second;
        return directories[path] = realPath(path);
    }

    // Follows links (dangling ones too) to the name that is not one, then resolves
    // that name's directory; names such as "." and ".." are resolved whole.
    Place place(std::string path) {
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
            place.inode = {status.st_dev, status.st_ino};
            const std::string name =
                path.substr(slash == std::string::npos ? 0 : slash + 1);
            if (name.empty() || name == "." || name == "..") {
                place.path = realPath(path);
                return place;
            }
            const std::string base = directory(within);
            if (!base.empty()) place.path = base == "/" ? "/" + name : base + "/" + name;
            return place;
        }
        return place;  // links that go round in circles
    }
};
#endif

// The latest writers seen so far, by place and by inode.
struct Writers {
    Resolver resolver;
    std::unordered_map<std::string, std::ptrdiff_t> byPath;
    std::map<Inode, std::ptrdiff_t> byInode;

    void add(const std::string& path, std::ptrdiff_t writer) {
        const Place place = resolver.place(path);
        if (!place.path.empty()) byPath[place.path] = writer;
        if (place.exists) byInode[place.inode] = writer;
    }
    std::ptrdiff_t of(const Place& place) const {
        std::ptrdiff_t writer = -1;
        const auto named = byPath.find(place.path);
        if (named != byPath.end()) writer = named->second;
        const auto same = place.exists ? byInode.find(place.inode) : byInode.end();
        if (same != byInode.end()) writer = std::max(writer, same->second);
        return writer;
    }
};

}  // namespace

std::vector<std::ptrdiff_t> latestWriters(const std::vector<std::string>& inputs,
                                          bool printData,
                                          const std::vector<int>& streams) {
    std::vector<Inode> streamFiles;
    for (const int fd : streams) {
        struct stat status {};
        if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode))
            streamFiles.push_back({status.st_dev, status.st_ino});
    }
    Writers writers;
    std::vector<std::ptrdiff_t> latest;
    for (std::ptrdiff_t i = 0; i < static_cast<std::ptrdiff_t>(inputs.size()); ++i) {
        latest.push_back(-1);
        if (!printData || !streamFiles.empty()) {
            const Place place = writers.resolver.place(inputs[i]);
            latest.back() = writers.of(place);
            const bool stream =
                place.exists && std::find(streamFiles.begin(), streamFiles.end(),
                                          place.inode) != streamFiles.end();
            if (stream && i > 0) latest.back() = i - 1;
        }
        if (printData) continue;
        writers.add(inputs[i] + "_out.bmp", i);
        writers.add(inputs[i] + "_out.h", i);
    }
    return latest;
}
