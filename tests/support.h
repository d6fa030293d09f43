#pragma once

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
    std::string operator/(const std::string& name) const { return (path / name).string(); }
};

struct RunResult {
    int status = -1;  // exit status, or -1 when killed (time-out or signal)
    std::string out;
    std::string err;
};

// Runs program with args in dir, with no standard input, collecting both output
// streams; kills it after timeoutSeconds.
RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& dir = ".", int timeoutSeconds = 60);

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

}  // namespace test
