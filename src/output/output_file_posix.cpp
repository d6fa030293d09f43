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
constexpr int SLOTS = MAX_STAGED_FILES;
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

// Where streamed text goes: compared with the file already at target while the bytes
// are the same, and into a temporary file from the first chunk that differs on (the
// equal bytes before it copied from the old file).
struct TextSink {
    std::string target;
    const struct stat* old = nullptr;  // the file at target, or null
    int oldFd = -1;                    // open on it while the bytes are the same so far
    std::size_t equal = 0;             // how many bytes are
    std::vector<char> chunk;           // the old file's bytes, for comparing
    std::string temporary;
    int fd = -1;  // the temporary file, once made
    int slot = -1;
    int error = 0;  // errno of the first failure
};

bool failed(TextSink& sink) {
    if (sink.error == 0) sink.error = errno ? errno : EIO;
    return false;
}

// Reads size bytes at offset of fd into bytes; false when fewer are there.
bool readAt(int fd, char* bytes, std::size_t size, std::size_t offset) {
    while (size > 0) {
        const ssize_t n = ::pread(fd, bytes, size, off_t(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        size -= size_t(n);
        offset += size_t(n);
    }
    return true;
}

// Makes sink's temporary file, with the old file's permission bits (and, where allowed,
// owner), and copies the old file's first sink.equal bytes into it.
bool startTemporary(TextSink& sink) {
    withEndingSignalsHeld([&] {  // until the handler knows the file
        sink.fd = createTemporary(sink.target, sink.temporary);
        if (sink.fd >= 0) sink.slot = claimSlot(sink.temporary);
    });
    if (sink.fd < 0 || sink.slot < 0) return failed(sink);
    if (sink.old) {
        if (::fchown(sink.fd, sink.old->st_uid, sink.old->st_gid) != 0) {
            // Not ours to give away: the new file stays ours, as a fresh output would.
        }
        if (::fchmod(sink.fd, sink.old->st_mode & 07777) != 0) return failed(sink);
    }
    sink.chunk.resize(std::size_t(1) << 20);
    for (std::size_t at = 0; at < sink.equal; at += sink.chunk.size()) {
        const std::size_t size = std::min(sink.chunk.size(), sink.equal - at);
        if (!readAt(sink.oldFd, sink.chunk.data(), size, at) ||
            !writeAll(sink.fd, sink.chunk.data(), size))
            return failed(sink);
    }
    return true;
}

// Takes the next size bytes of the text; false on a failure.
bool takeText(TextSink& sink, const char* bytes, std::size_t size) {
    if (sink.fd < 0 && sink.oldFd >= 0) {
        sink.chunk.resize(std::max(sink.chunk.size(), size));
        if (readAt(sink.oldFd, sink.chunk.data(), size, sink.equal) &&
            std::memcmp(sink.chunk.data(), bytes, size) == 0) {
            sink.equal += size;
            return true;
        }
    }
    if (sink.fd < 0 && !startTemporary(sink)) return false;
    return writeAll(sink.fd, bytes, size) || failed(sink);
}

// After the last bytes: true with same when the old file holds exactly the text, else
// the temporary file holds it all.
bool finishText(TextSink& sink, bool& same) {
    struct stat now {};
    same = sink.fd < 0 && sink.oldFd >= 0 && ::fstat(sink.oldFd, &now) == 0 &&
           std::size_t(now.st_size) == sink.equal;
    return same || sink.fd >= 0 || startTemporary(sink);
}

// The stream's bytes into a TextSink, a megabyte at a time.
class TextBuffer : public std::streambuf {
  public:
    explicit TextBuffer(TextSink& sink) : sink_(sink), bytes_(std::size_t(1) << 20) {
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
        const bool taken = takeText(sink_, pbase(), std::size_t(pptr() - pbase()));
        setp(bytes_.data(), bytes_.data() + bytes_.size());
        return taken ? 0 : -1;
    }

  private:
    TextSink& sink_;
    std::vector<char> bytes_;
};

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
    TextSink sink;
    sink.target = staged.target;
    sink.old = exists ? &old : nullptr;
    if (exists)
        sink.oldFd = ::open(staged.target.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    bool written = false, unchanged = false;
    {
        TextBuffer buffer(sink);
        std::ostream out(&buffer);
        written = write(out) && out.flush() && finishText(sink, unchanged);
    }
    if (!written) failed(sink);
    if (sink.oldFd >= 0) ::close(sink.oldFd);
    if (sink.fd >= 0 && ::close(sink.fd) != 0 && written) {
        written = false;
        failed(sink);
    }
    if (!written) {
        if (sink.fd >= 0) ::unlink(sink.temporary.c_str());
        if (sink.slot >= 0) releaseSlot(sink.temporary);
        errno = sink.error;
        return std::nullopt;
    }
    if (unchanged)
        staged.touch = same == SameContent::Touch;
    else
        staged.temporary = sink.temporary;
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
