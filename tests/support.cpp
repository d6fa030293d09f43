#include "support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <opencv2/imgproc.hpp>
#include <sstream>
#include <stdexcept>

namespace test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "grayframe-XXXXXX");
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

namespace {

void applyEnvironment(const Environment& env) {
    for (const std::string& change : env) {
        const size_t equals = change.find('=');
        if (equals == std::string::npos) {
            ::unsetenv(change.c_str());
        } else {
            ::setenv(change.substr(0, equals).c_str(), change.c_str() + equals + 1, 1);
        }
    }
}

[[noreturn]] void execChild(const std::string& program,
                            const std::vector<std::string>& args, const std::string& dir,
                            const Environment& env, int out, int err) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    const int null = ::open("/dev/null", O_RDONLY);
    ::dup2(null, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    if (::chdir(dir.c_str()) != 0) ::_exit(127);
    applyEnvironment(env);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
}

// Reads once from each stream that is ready within waitMs; true when anything came.
bool readSome(Child& child, int waitMs) {
    pollfd fds[2] = {{child.fds[0], POLLIN, 0}, {child.fds[1], POLLIN, 0}};
    std::string* sinks[2] = {&child.result.out, &child.result.err};
    if (::poll(fds, 2, waitMs) <= 0) return false;
    for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
        char buffer[65536];
        const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
        if (n > 0) {
            sinks[i]->append(buffer, static_cast<size_t>(n));
        } else {
            ::close(child.fds[i]);
            child.fds[i] = -1;
        }
    }
    return true;
}

}  // namespace

Child::Child(const std::string& program, const std::vector<std::string>& args,
             const std::string& dir, const Environment& env) {
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) execChild(program, args, dir, env, out[1], err[1]);
    ::close(out[1]);
    ::close(err[1]);
    fds[0] = out[0];
    fds[1] = err[0];
}

Child::~Child() {
    if (running()) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    for (int fd : fds)
        if (fd >= 0) ::close(fd);
}

bool Child::running() {
    if (reaped) return false;
    reaped = ::waitpid(pid, &waitStatus, WNOHANG) != 0;
    return !reaped;
}

const RunResult& Child::peek() {
    while (readSome(*this, 0)) {
    }
    return result;
}

RunResult Child::finish(int timeoutSeconds) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    while (fds[0] >= 0 || fds[1] >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            ::kill(pid, SIGKILL);
            break;
        }
        readSome(*this, static_cast<int>(left.count()));
    }
    if (!reaped) ::waitpid(pid, &waitStatus, 0);
    reaped = true;
    result.status = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1;
    return result;
}

RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& dir, int timeoutSeconds, const Environment& env) {
    return Child(program, args, dir, env).finish(timeoutSeconds);
}

RunResult runGrayframe(const std::vector<std::string>& args, const std::string& dir,
                       int timeoutSeconds) {
    return runProgram(GRAYFRAME_PATH, args, dir, timeoutSeconds);
}

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string unexpectedWarnings(const std::string& diagnostics) {
    std::istringstream lines(diagnostics);
    std::string line, unexpected;
    while (std::getline(lines, line))
        if (line.find("warning:") != std::string::npos &&
            line.find("extra tokens at end of #endif") == std::string::npos)
            unexpected += line + "\n";
    return unexpected;
}

cv::Mat makePicture(int width, int height, unsigned seed) {
    cv::Mat picture(height, width, CV_8UC3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.at<cv::Vec3b>(y, x) = {static_cast<uchar>(x * 255 / width),
                                           static_cast<uchar>(y * 255 / height),
                                           static_cast<uchar>((x + y) * 3)};
    cv::RNG rng(seed);
    cv::Mat noise(height, width, CV_8UC3);
    rng.fill(noise, cv::RNG::UNIFORM, 0, 40);
    picture += noise;
    cv::circle(picture, {width / 3, height / 2}, std::max(1, std::min(width, height) / 4),
               cv::Scalar(30, 200, 90), cv::FILLED);
    return picture;
}

uint32_t crc32(const std::string& bytes, size_t from, size_t to) {
    uint32_t crc = 0xFFFFFFFF;
    for (size_t i = from; i < to; ++i) {
        crc ^= static_cast<uint8_t>(bytes[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

}  // namespace test
