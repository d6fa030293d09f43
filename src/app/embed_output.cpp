#include "app/embed_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>

#include "packed/packed.h"

namespace {

bool holds(const std::string& path, const void* data, std::size_t size) {
    std::ifstream file(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(file), {}};
    return file.good() || file.eof()
               ? bytes == std::string(static_cast<const char*>(data), size)
               : false;
}

std::string hiddenBeside(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    static std::mt19937 random{std::random_device{}()};
    return path.substr(0, start) + "." + path.substr(start) + "." +
           std::to_string(random() % 1000000) + ".tmp";
}

}  // namespace

std::optional<StagedFile> stageOutputFile(const std::string& path, const void* data,
                                          std::size_t size, SameContent same) {
    struct stat status {};
    const bool regular = ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
    if (regular && holds(path, data, size))
        return StagedFile{path, same == SameContent::Keep ? "" : path};
    for (int attempt = 0; attempt < 100; ++attempt) {
        StagedFile staged{path, hiddenBeside(path)};
        const int fd = ::open(staged.temporary.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) return std::nullopt;
        const bool written = writeAll(fd, data, size);
        if (::close(fd) == 0 && written) return staged;
        ::unlink(staged.temporary.c_str());
        return std::nullopt;
    }
    return std::nullopt;
}

bool commitOutputFile(const StagedFile& staged) {
    if (staged.temporary.empty()) return true;
    if (staged.temporary == staged.target)
        return ::utimensat(AT_FDCWD, staged.target.c_str(), nullptr, 0) == 0;
    return std::rename(staged.temporary.c_str(), staged.target.c_str()) == 0;
}

void discardOutputFile(const StagedFile& staged) {
    if (!staged.temporary.empty() && staged.temporary != staged.target)
        ::unlink(staged.temporary.c_str());
}
