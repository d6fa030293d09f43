#include "app/written_inputs.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <unordered_map>
#include <utility>

namespace {

using Inode = std::pair<dev_t, ino_t>;

std::string realPath(const std::string& path) {
    const std::unique_ptr<char, void (*)(void*)> real(::realpath(path.c_str(), nullptr),
                                                      std::free);
    return real ? std::string(real.get()) : std::string();
}

// Where path leads, absolute, with every link followed; a name that does not exist (yet)
// is resolved through its directory. Empty when that directory does not exist either.
std::string resolvedPath(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        const std::string real = realPath(path);
        if (!real.empty()) return real;
        const size_t slash = path.rfind('/');
        const std::string directory =
            slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
        std::string link(PATH_MAX, '\0');
        const ssize_t length = ::readlink(path.c_str(), link.data(), link.size());
        if (length <= 0 || length == static_cast<ssize_t>(link.size())) {
            const std::string base = realPath(directory);
            if (base.empty()) return {};
            const std::string name =
                path.substr(slash == std::string::npos ? 0 : slash + 1);
            return base == "/" ? "/" + name : base + "/" + name;
        }
        link.resize(static_cast<size_t>(length));
        path = link[0] == '/' ? link : directory + "/" + link;
    }
    return {};
}

bool inodeOf(const std::string& path, Inode& inode) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return false;
    inode = {status.st_dev, status.st_ino};
    return true;
}

// The latest writers seen so far, by place and by inode.
struct Writers {
    std::unordered_map<std::string, std::ptrdiff_t> byPath;
    std::map<Inode, std::ptrdiff_t> byInode;

    void add(const std::string& path, std::ptrdiff_t writer) {
        const std::string place = resolvedPath(path);
        if (!place.empty()) byPath[place] = writer;
        Inode inode;
        if (inodeOf(path, inode)) byInode[inode] = writer;
    }
    std::ptrdiff_t of(const std::string& path) const {
        std::ptrdiff_t writer = -1;
        if (byPath.empty() && byInode.empty()) return writer;
        const auto place = byPath.find(resolvedPath(path));
        if (place != byPath.end()) writer = place->second;
        Inode inode;
        const auto same = inodeOf(path, inode) ? byInode.find(inode) : byInode.end();
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
        latest.push_back(writers.of(inputs[i]));
        Inode inode;
        for (const Inode& stream : streamFiles)
            if (i > 0 && inodeOf(inputs[i], inode) && inode == stream)
                latest.back() = i - 1;
        if (printData) continue;
        writers.add(inputs[i] + "_out.bmp", i);
        writers.add(inputs[i] + "_out.h", i);
    }
    return latest;
}
