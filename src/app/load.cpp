#include "app/load.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <opencv2/imgcodecs.hpp>

#include "app/jpeg_check.h"
#include "packed/output_file.h"

namespace {

bool isRegularFile(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

std::string fileStart(const std::string& path) {
    char bytes[16] = {};
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    const ssize_t n = ::read(fd, bytes, sizeof bytes);
    ::close(fd);
    return std::string(bytes, n > 0 ? static_cast<size_t>(n) : 0);
}

bool readAll(int fd, void* bytes, size_t size) {
    char* data = static_cast<char*>(bytes);
    while (size > 0) {
        const ssize_t n = ::read(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// In the child: whatever the decoder does on its way out must not flush the parent's
// buffered output a second time, so standard output leads nowhere here.
[[noreturn]] void decodeToPipe(const std::string& path, int fd) {
    const int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0) ::dup2(null, STDOUT_FILENO);
    cv::Mat image;
    try {
        image = cv::imread(path, cv::IMREAD_COLOR);
    } catch (...) {
    }
    const int size[2] = {image.rows, image.cols};
    bool sent = writeAll(fd, size, sizeof size);
    for (int y = 0; sent && y < image.rows; ++y)
        sent = writeAll(fd, image.ptr(y), image.cols * image.elemSize());
    ::_exit(sent ? 0 : 1);
}

cv::Mat receiveImage(int fd) {
    int size[2] = {};
    if (!readAll(fd, size, sizeof size) || size[0] <= 0 || size[1] <= 0) return {};
    cv::Mat image(size[0], size[1], CV_8UC3);
    return readAll(fd, image.data, image.total() * image.elemSize()) ? image : cv::Mat();
}

cv::Mat decodeInChild(const std::string& path) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        decodeToPipe(path, fds[1]);
    }
    ::close(fds[1]);
    cv::Mat image;
    try {
        if (child > 0) image = receiveImage(fds[0]);
    } catch (...) {
    }
    ::close(fds[0]);
    int status = 0;
    if (child > 0) ::waitpid(child, &status, 0);
    const bool clean = child > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return clean ? image : cv::Mat();
}

// True when bytes (the start of a file) carry the signature of PNG, JPEG, BMP, TIFF,
// WebP or PNM.
bool hasCommonSignature(const std::string& bytes) {
    const auto startsWith = [&](const std::string& prefix) {
        return bytes.compare(0, prefix.size(), prefix) == 0;
    };
    const bool pnm =
        bytes.size() >= 2 && bytes[0] == 'P' && bytes[1] >= '1' && bytes[1] <= '7';
    const bool webp =
        startsWith("RIFF") && bytes.size() >= 12 && bytes.compare(8, 4, "WEBP") == 0;
    return pnm || webp || startsWith("\x89PNG\r\n\x1a\n") || startsWith("\xFF\xD8\xFF") ||
           startsWith("BM") || startsWith(std::string("II*\0", 4)) ||
           startsWith(std::string("MM\0*", 4)) || startsWith(std::string("II+\0", 4)) ||
           startsWith(std::string("MM\0+", 4));
}

}  // namespace

cv::Mat loadColourImage(const std::string& path) {
    if (!isRegularFile(path)) return {};
    const std::string start = fileStart(path);
    if (!hasCommonSignature(start)) return decodeInChild(path);
    if (start.compare(0, 3, "\xFF\xD8\xFF") == 0 && !jpegReachesItsEnd(path)) return {};
    return cv::imread(path, cv::IMREAD_COLOR);
}
