#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <opencv2/imgcodecs.hpp>

#include "app/decode_child.h"
#include "packed/output_file.h"

namespace {

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

}  // namespace

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
