#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <mutex>
#include <random>
#include <sstream>
#include <streambuf>
#include <vector>

#include "output/output_file.h"
#include "platform/process.h"

namespace {

// The temporary files in flight, for the signal handler: a path is published by setting
// its slot's flag after the path is stored, and withdrawn before the slot is reused.
constexpr int SLOTS = 8;
std::array<std::array<char, PATH_MAX>, SLOTS> inFlightPaths;
std::array<std::atomic<bool>, SLOTS> inFlight;
std::mutex slotClaims;

int claimSlot(const std::string& path) {
    if (path.size() >= PATH_MAX) return -1;
    const std::lock_guard<std::mutex> lock(slotClaims);
    for (int i = 0; i < SLOTS; ++i) {
        if (inFlight[i].load()) continue;
        std::memcpy(inFlightPaths[i].data(), path.c_str(), path.size() + 1);
        inFlight[i].store(true);
        return i;
    }
    return -1;
}

void releaseSlot(const std::string& temporary) {
    const std::lock_guard<std::mutex> lock(slotClaims);
    for (int i = 0; i < SLOTS; ++i)
        if (inFlight[i].load() && temporary == inFlightPaths[i].data()) {
            inFlight[i].store(false);
            return;
        }
}

extern "C" void removeInFlightAndEnd(int signal) {
    for (int i = 0; i < SLOTS; ++i)
        if (inFlight[i].load()) ::unlink(inFlightPaths[i].data());
    ::raise(signal);  // the handler was reset: the default action ends the process
}

void catchUnlessIgnored(int signal) {
    struct sigaction current {};
    if (::sigaction(signal, nullptr, &current) != 0 || current.sa_handler == SIG_IGN)
        return;
    struct sigaction action {};
    action.sa_handler = removeInFlightAndEnd;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
}

std::string directoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The file path leads to after following symbolic links (a dangling link leads to the
// file it names); path itself when it is not a link or the links go round in circles.
std::string followLinks(const std::string& path) {
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat status {};
        if (::lstat(current.c_str(), &status) != 0 || !S_ISLNK(status.st_mode))
            return current;
        std::string link(PATH_MAX, '\0');
        const ssize_t length = ::readlink(current.c_str(), link.data(), link.size());
        if (length <= 0 || length == static_cast<ssize_t>(link.size())) return current;
        link.resize(static_cast<size_t>(length));
        current = link[0] == '/' ? link : directoryOf(current) + link;
    }
    return path;
}

bool sameBytes(const std::string& path, const struct stat& status, const void* data,
               std::size_t size) {
    if (static_cast<std::size_t>(status.st_size) != size) return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    std::vector<char> chunk(std::min(size + 1, std::size_t(1) << 20));
    const char* expected = static_cast<const char*>(data);
    size_t got = 0;
    bool same = true;
    while (same) {
        const ssize_t n = ::read(fd, chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        same = got + size_t(n) <= size &&
               std::memcmp(chunk.data(), expected + got, size_t(n)) == 0;
        got += size_t(n);
    }
    ::close(fd);
    return same && got == size;
}

// An existing output that is not a regular file: written in place, never blocking on a
// FIFO nobody reads.
bool writeDirectly(const std::string& path, const void* data, std::size_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    const bool written = ::fcntl(fd, F_SETFL, 0) == 0 && writeAll(fd, data, size);
    return ::close(fd) == 0 && written;
}

std::string temporaryName(const std::string& target) {
    static std::mt19937_64 random{std::random_device{}()};
    static const char letters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    const size_t slash = target.rfind('/') + 1;  // npos + 1 == 0
    std::string name = "." + target.substr(slash, 200) + ".grayframe-";
    for (int i = 0; i < 6; ++i) name += letters[random() % (sizeof letters - 1)];
    return target.substr(0, slash) + name;
}

// Creates a fresh temporary file beside target; its descriptor, or -1 (errno set).
int createTemporary(const std::string& target, std::string& temporary) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = temporaryName(target);
        const int fd = ::open(temporary.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// The new bytes in a fresh temporary file beside target, with the permission bits (and,
// where allowed, the owner) of the file it replaces. Its name, or empty.
std::string writeTemporary(const std::string& target, const struct stat* old,
                           const void* data, std::size_t size) {
    std::string temporary;
    int fd = -1;
    int slot = -1;
    withEndingSignalsHeld([&] {  // until the handler knows the file
        fd = createTemporary(target, temporary);
        if (fd >= 0) slot = claimSlot(temporary);
    });
    if (fd < 0) return {};
    bool written = slot >= 0;
    if (written && old) {
        if (::fchown(fd, old->st_uid, old->st_gid) != 0) {
            // Not ours to give away: the new file stays ours, as a fresh output would.
        }
        written = ::fchmod(fd, old->st_mode & 07777) == 0;
    }
    written = written && writeAll(fd, data, size);
    written = ::close(fd) == 0 && written;
    if (written) return temporary;
    ::unlink(temporary.c_str());
    if (slot >= 0) releaseSlot(temporary);
    return {};
}

// The stream's bytes into a descriptor, a megabyte at a time.
class DescriptorBuffer : public std::streambuf {
  public:
    explicit DescriptorBuffer(int fd) : fd_(fd), bytes_(std::size_t(1) << 20) {
        setp(bytes_.data(), bytes_.data() + bytes_.size());
    }

  protected:
    int_type overflow(int_type c) override {
        if (sync() != 0) return traits_type::eof();
        if (traits_type::eq_int_type(c, traits_type::eof()))
            return traits_type::not_eof(c);
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
        return c;
    }
    int sync() override {
        const bool written = writeAll(fd_, pbase(), std::size_t(pptr() - pbase()));
        setp(bytes_.data(), bytes_.data() + bytes_.size());
        return written ? 0 : -1;
    }

  private:
    int fd_;
    std::vector<char> bytes_;
};

// True when the files at a and b hold the same bytes (b has size bytes).
bool sameFiles(const std::string& a, const std::string& b, std::size_t size) {
    const int fa = ::open(a.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    const int fb = ::open(b.c_str(), O_RDONLY | O_CLOEXEC);
    std::vector<char> chunkA(std::size_t(1) << 20), chunkB(chunkA.size());
    size_t got = 0;
    bool same = fa >= 0 && fb >= 0;
    while (same) {
        const ssize_t n = ::read(fb, chunkB.data(), chunkB.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        size_t filled = 0;
        while (same && filled < size_t(n)) {
            const ssize_t m = ::read(fa, chunkA.data() + filled, size_t(n) - filled);
            if (m < 0 && errno == EINTR) continue;
            same = m > 0;
            filled += same ? size_t(m) : 0;
        }
        same = same && std::memcmp(chunkA.data(), chunkB.data(), size_t(n)) == 0;
        got += size_t(n);
    }
    char extra;
    same = same && got == size && ::read(fa, &extra, 1) == 0;
    if (fa >= 0) ::close(fa);
    if (fb >= 0) ::close(fb);
    return same;
}

// Like writeTemporary, with the bytes that write streams.
std::string streamTemporary(const std::string& target, const struct stat* old,
                            const std::function<bool(std::ostream&)>& write,
                            std::size_t& size) {
    std::string temporary;
    int fd = -1;
    int slot = -1;
    withEndingSignalsHeld([&] {
        fd = createTemporary(target, temporary);
        if (fd >= 0) slot = claimSlot(temporary);
    });
    if (fd < 0) return {};
    bool written = slot >= 0;
    if (written && old) {
        if (::fchown(fd, old->st_uid, old->st_gid) != 0) {
            // As in writeTemporary.
        }
        written = ::fchmod(fd, old->st_mode & 07777) == 0;
    }
    if (written) {
        DescriptorBuffer buffer(fd);
        std::ostream out(&buffer);
        written = write(out) && out.flush();
    }
    struct stat made {};
    written = written && ::fstat(fd, &made) == 0;
    size = std::size_t(made.st_size);
    written = ::close(fd) == 0 && written;
    if (written) return temporary;
    const int error = errno;
    ::unlink(temporary.c_str());
    if (slot >= 0) releaseSlot(temporary);
    errno = error;
    return {};
}

}  // namespace

void withEndingSignalsHeld(const std::function<void()>& start) {
    sigset_t ending, before;
    sigemptyset(&ending);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&ending, signal);
    ::pthread_sigmask(SIG_BLOCK, &ending, &before);
    start();
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

void protectOutputFiles() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (const int signal : {SIGINT, SIGTERM, SIGHUP}) catchUnlessIgnored(signal);
        std::signal(SIGXFSZ, SIG_IGN);
    });
}

std::optional<StagedFile> stageOutputFile(const std::string& path, const void* data,
                                          std::size_t size, SameContent same) {
    protectOutputFiles();
    StagedFile staged{followLinks(path), {}, false};
    struct stat old {};
    const bool exists = ::stat(staged.target.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) {
        if (!writeDirectly(staged.target, data, size)) return std::nullopt;
        return staged;
    }
    if (exists && sameBytes(staged.target, old, data, size)) {
        staged.touch = same == SameContent::Touch;
        return staged;
    }
    staged.temporary = writeTemporary(staged.target, exists ? &old : nullptr, data, size);
    if (staged.temporary.empty()) return std::nullopt;
    return staged;
}

std::optional<StagedFile> stageOutputText(const std::string& path,
                                          const std::function<bool(std::ostream&)>& write,
                                          SameContent same) {
    protectOutputFiles();
    StagedFile staged{followLinks(path), {}, false};
    struct stat old {};
    const bool exists = ::stat(staged.target.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) {
        std::ostringstream text;
        if (!write(text) || !text) return std::nullopt;
        const std::string bytes = text.str();
        if (!writeDirectly(staged.target, bytes.data(), bytes.size()))
            return std::nullopt;
        return staged;
    }
    std::size_t size = 0;
    staged.temporary =
        streamTemporary(staged.target, exists ? &old : nullptr, write, size);
    if (staged.temporary.empty()) return std::nullopt;
    if (exists && std::size_t(old.st_size) == size &&
        sameFiles(staged.target, staged.temporary, size)) {
        discardOutputFile(staged);
        staged.temporary.clear();
        staged.touch = same == SameContent::Touch;
    }
    return staged;
}

bool commitOutputFile(const StagedFile& staged) {
    if (staged.temporary.empty())
        return !staged.touch ||
               ::utimensat(AT_FDCWD, staged.target.c_str(), nullptr, 0) == 0;
    const bool renamed = ::rename(staged.temporary.c_str(), staged.target.c_str()) == 0;
    if (!renamed) ::unlink(staged.temporary.c_str());
    releaseSlot(staged.temporary);
    return renamed;
}

void discardOutputFile(const StagedFile& staged) {
    if (staged.temporary.empty()) return;
    ::unlink(staged.temporary.c_str());
    releaseSlot(staged.temporary);
}

std::string withTextFileLineEnds(const std::string& text) { return text; }
