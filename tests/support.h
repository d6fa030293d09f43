#pragma once

#include <sys/types.h>

#include <filesystem>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

namespace test {

// A fresh directory under the system's temporary folder, removed with its contents.
struct TempDir {
    std::filesystem::path path;
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string operator/(const std::string& name) const {
        return (path / name).string();
    }
};

struct RunResult {
    int status = -1;  // exit status, or -1 when killed (time-out or signal)
    std::string out;
    std::string err;
};

// Changes to a child's environment: "NAME=VALUE" sets NAME, a bare "NAME" removes it.
using Environment = std::vector<std::string>;

// A program started in dir with args, no standard input and env applied, running in
// the background; killed and reaped on destruction if it is still running.
struct Child {
    Child(const std::string& program, const std::vector<std::string>& args,
          const std::string& dir = ".", const Environment& env = {});
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // True until the program has ended.
    bool running();
    // Both output streams so far, reading what has arrived without waiting.
    const RunResult& peek();
    // Collects both streams until the program ends, killing it after timeoutSeconds.
    RunResult finish(int timeoutSeconds = 60);

    pid_t pid = -1;
    int fds[2] = {-1, -1};  // its standard output and standard error, -1 once closed
    bool reaped = false;
    int waitStatus = 0;  // from waitpid once reaped
    RunResult result;
};

// Runs program with args in dir, with no standard input, collecting both output
// streams; kills it after timeoutSeconds.
RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& dir = ".", int timeoutSeconds = 60,
                     const Environment& env = {});

// The built grayframe program.
RunResult runGrayframe(const std::vector<std::string>& args, const std::string& dir = ".",
                       int timeoutSeconds = 60);

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);

// The warning lines of compiler diagnostics, but for the one about the label behind
// "#endif" that every generated header causes.
std::string unexpectedWarnings(const std::string& diagnostics);

// A BGR picture with gradients, shapes and noise, reproducible from seed.
cv::Mat makePicture(int width, int height, unsigned seed = 1);

// The CRC of bytes[from, to) as PNG chunks carry it.
uint32_t crc32(const std::string& bytes, size_t from, size_t to);

}  // namespace test
