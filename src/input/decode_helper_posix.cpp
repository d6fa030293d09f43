// SPDX-License-Identifier: Apache-2.0
#include <fcntl.h>
#include <getopt.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <opencv2/core/utils/logger.hpp>
#include <opencv2/imgcodecs.hpp>

#include "input/decode_helper.h"
#include "platform/process.h"

namespace {

struct Header {
    char tag[4] = {'G', 'F', 'D', '1'};
    int32_t rows = 0;
    int32_t cols = 0;
    int32_t type = 0;
};

// One of the library's picture size limits: its environment variable, read as the
// library reads it (digits, optionally followed by KB or MB), or its default.
uint64_t libraryLimit(const char* name, uint64_t fallback) {
    const char* text = std::getenv(name);
    if (!text || *text < '0' || *text > '9') return fallback;
    char* end = nullptr;
    const uint64_t value = std::strtoull(text, &end, 10);
    const std::string unit(end);
    if (unit.empty()) return value;
    if (unit == "KB" || unit == "Kb" || unit == "kb") return value << 10;
    if (unit == "MB" || unit == "Mb" || unit == "mb") return value << 20;
    return fallback;
}

// True when header announces a picture the library could have returned.
bool plausible(const Header& header) {
    static const uint64_t maxWidth = libraryLimit("OPENCV_IO_MAX_IMAGE_WIDTH", 1 << 20);
    static const uint64_t maxHeight = libraryLimit("OPENCV_IO_MAX_IMAGE_HEIGHT", 1 << 20);
    static const uint64_t maxPixels = libraryLimit("OPENCV_IO_MAX_IMAGE_PIXELS", 1 << 30);
    const Header expected;
    const int channels = CV_MAT_CN(header.type);
    return std::equal(header.tag, header.tag + 4, expected.tag) && header.rows > 0 &&
           header.cols > 0 && uint64_t(header.rows) <= maxHeight &&
           uint64_t(header.cols) <= maxWidth &&
           uint64_t(header.rows) * uint64_t(header.cols) <= maxPixels &&
           header.type == (header.type & CV_MAT_TYPE_MASK) &&
           CV_MAT_DEPTH(header.type) <= CV_16F && channels >= 1 && channels <= 4;
}

cv::Mat receiveImage(int fd) {
    Header header;
    if (!readAll(fd, &header, sizeof header) || !plausible(header)) return {};
    cv::Mat image(header.rows, header.cols, header.type);
    if (!readAll(fd, image.data, image.total() * image.elemSize())) return {};
    char extra = 0;
    return readAll(fd, &extra, 1) ? cv::Mat() : image;
}

bool sendImage(int fd, const cv::Mat& image) {
    Header header;
    header.rows = image.rows;
    header.cols = image.cols;
    header.type = image.type();
    bool sent = image.dims == 2 && writeAll(fd, &header, sizeof header);
    for (int y = 0; sent && y < image.rows; ++y)
        sent = writeAll(fd, image.ptr(y), image.cols * image.elemSize());
    return sent;
}

// True when the child exited with status 0, or cannot be waited for because the
// program's parent left SIGCHLD ignored (then the complete message has to do).
bool endedCleanly(pid_t child) {
    int status = 0;
    pid_t waited;
    while ((waited = ::waitpid(child, &status, 0)) < 0 && errno == EINTR) {
    }
    if (waited < 0) return errno == ECHILD;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

const char usage[] =
    "Usage: grayframe-decode [--help] [--version] FILE\n"
    "Reads the picture FILE with OpenCV (cv::imread, colour) for grayframe and writes\n"
    "it, as the library returned it, to standard output in grayframe's own form.\n"
    "Exit status: 0 when written, 1 when FILE cannot be read, 2 for a wrong command "
    "line.\n";

}  // namespace

cv::Mat decodeInHelper(const std::string& path) {
    static const std::string helper =
        findCompanion(DECODE_HELPER_BESIDE, DECODE_HELPER_INSTALLED);
    int fds[2];
    if (helper.empty() || ::pipe2(fds, O_CLOEXEC) != 0) return {};
    const pid_t child = spawnCompanion({helper, "--", path}, fds[1]);
    ::close(fds[1]);
    cv::Mat image;
    try {
        if (child > 0) image = receiveImage(fds[0]);
    } catch (...) {
    }
    ::close(fds[0]);
    return child > 0 && endedCleanly(child) ? image : cv::Mat();
}

int runDecodeHelper(int argc, char** argv) {
    static const option options[] = {{"help", no_argument, nullptr, 'h'},
                                     {"version", no_argument, nullptr, 'V'},
                                     {nullptr, 0, nullptr, 0}};
    for (int option; (option = ::getopt_long(argc, argv, "", options, nullptr)) != -1;) {
        if (option == 'h') return std::fputs(usage, stdout) < 0;
        if (option == 'V') return std::puts("grayframe-decode " GRAYFRAME_VERSION) < 0;
        std::fputs(usage, stderr);
        return 2;
    }
    if (optind + 1 != argc) {
        std::fputs(usage, stderr);
        return 2;
    }
    const int out = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (out < 0 || null < 0 || ::dup2(null, STDOUT_FILENO) < 0) return 1;
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_ERROR);
    cv::Mat image;
    try {
        image = cv::imread(argv[optind], cv::IMREAD_COLOR);
    } catch (...) {
    }
    return !image.empty() && sendImage(out, image) && ::close(out) == 0 ? 0 : 1;
}
