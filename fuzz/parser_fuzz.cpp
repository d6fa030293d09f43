// Arbitrary command lines, arguments separated by NUL bytes. The parser must agree
// with a small model of the matching rules, and a refused line must process nothing.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "grayframe/command_line.h"
#include "grayframe/run.h"

namespace {

using Args = std::vector<std::string>;

// The rules restated: the first option word an argument contains decides.
enum Kind { Show, Input, Mode, Print, Unknown };

Kind kindOf(const std::string& arg) {
    const char* const words[] = {"-show", "-i", "-resizemode", "-printdata"};
    for (int kind = Show; kind < Unknown; ++kind)
        if (std::strstr(arg.c_str(), words[kind])) return static_cast<Kind>(kind);
    return Unknown;
}

int modeOf(const std::string& word) {
    const char* const words[] = {"fitin", "fitout", "stretch"};
    for (int mode = 0; mode < 3; ++mode)
        if (std::strstr(word.c_str(), words[mode])) return mode;
    return -1;
}

std::optional<RunOptions> model(const Args& args) {
    RunOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const Kind kind = kindOf(args[i]);
        if (kind == Unknown) return std::nullopt;
        options.show |= kind == Show;
        options.printData |= kind == Print;
        if (kind != Input && kind != Mode) continue;
        if (i + 1 == args.size()) return std::nullopt;
        const std::string& value = args[++i];
        if (kind == Input) options.inputs.push_back(value);
        if (kind == Mode && modeOf(value) < 0) return std::nullopt;
        if (kind == Mode) options.mode = static_cast<ResizeMode>(modeOf(value));
    }
    return options;
}

Args splitAtNul(const uint8_t* data, size_t size) {
    Args args;
    if (size == 0) return args;
    const std::string text(reinterpret_cast<const char*>(data), size);
    size_t start = 0;
    for (size_t end; (end = text.find('\0', start)) != std::string::npos; start = end + 1)
        args.push_back(text.substr(start, end - start));
    args.push_back(text.substr(start));
    return args;
}

std::optional<RunOptions> parse(Args args) {
    std::vector<const char*> argv{"grayframe"};
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    return parseCommandLine(static_cast<int>(argv.size()), argv.data());
}

using fuzz::check;

std::string picture;

// The whole program on "-i picture" followed by a refused line: it must fail with
// status 1 and write nothing.
void checkRefusedRunProcessesNothing(const Args& args) {
    std::vector<const char*> argv{"grayframe", "-i", picture.c_str()};
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    const int saved = ::dup(STDERR_FILENO);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDERR_FILENO);
    const int status = runConversion(static_cast<int>(argv.size()), argv.data());
    ::dup2(saved, STDERR_FILENO);
    ::close(null);
    ::close(saved);
    check(status == 1);
    check(!std::filesystem::exists(picture + "_out.bmp"));
    check(!std::filesystem::exists(picture + "_out.h"));
}

}  // namespace

// The picture lies in a fresh directory that is removed at exit.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    picture = fuzz::makeScratchDirectory("parser-fuzz") + "/picture.png";
    cv::imwrite(picture, cv::Mat(8, 8, CV_8UC3, cv::Scalar(1, 2, 3)));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Args args = splitAtNul(data, size);
    const std::optional<RunOptions> parsed = parse(args);
    const std::optional<RunOptions> expected = model(args);
    check(parsed.has_value() == expected.has_value());
    if (!parsed) {
        checkRefusedRunProcessesNothing(args);
        return 0;
    }
    check(parsed->show == expected->show && parsed->printData == expected->printData);
    check(parsed->mode == expected->mode && parsed->inputs == expected->inputs);
    check(parsed->inputs.size() <= args.size() / 2);
    return 0;
}
