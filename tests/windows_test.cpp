// Runs the Windows build (grayframe.exe) under wine beside the Linux build on the same
// pictures: the frames, BMPs and raw streams must be the same bytes, the headers and
// messages too but for their CR LF line ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>

#include "support.h"
#include "xserver.h"

namespace {

namespace fs = std::filesystem;

const test::Environment WINE_ENV{"WINEPREFIX=" GRAYFRAME_WINE_PREFIX, "WINEDEBUG=-all",
                                 "DISPLAY"};

std::string withCrLf(const std::string& text) {
    std::string result;
    for (const char c : text) result += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return result;
}

std::string cannotOpen(const std::string& name) {
    return "image '" + name + "'kann nicht ge\xF6" "ffnet werden.\n";
}

test::RunResult runWindows(const std::vector<std::string>& args, const std::string& dir,
                           const test::Environment& env = WINE_ENV) {
    std::vector<std::string> wineArgs{GRAYFRAME_WINDOWS_EXE};
    wineArgs.insert(wineArgs.end(), args.begin(), args.end());
    return test::runProgram("/usr/bin/wine", wineArgs, dir, 120, env);
}

// A 102 x 80 picture whose frame is the byte 0x0A throughout: levels 0 and 10 in
// alternate columns, which no mode resamples.
cv::Mat lineFeedPicture() {
    cv::Mat picture(80, 102, CV_8UC3, cv::Scalar::all(0));
    for (int x = 1; x < picture.cols; x += 2) picture.col(x).setTo(cv::Scalar::all(0xA7));
    return picture;
}

// The pictures of the batch, a missing and a damaged file among them.
std::vector<std::string> writePictures(const test::TempDir& dir) {
    const cv::Mat photo = test::makePicture(640, 480, 21);
    const std::vector<std::pair<std::string, cv::Mat>> pictures{
        {"photo.png", photo},          {"photo.jpg", photo},
        {"photo.webp", photo},         {"photo.tif", photo},
        {"tall.bmp", test::makePicture(90, 700, 22)},
        {"line feeds.png", lineFeedPicture()}};
    std::vector<std::string> names;
    for (const auto& [name, picture] : pictures) {
        EXPECT_TRUE(cv::imwrite(dir / name, picture)) << name;
        names.push_back(name);
    }
    test::writeFile(dir / "damaged.png", "\x89PNG\r\n\x1a\nnot a picture at all");
    names.insert(names.begin() + 2, {"missing.png", "damaged.png"});
    return names;
}

std::vector<std::string> withInputs(std::vector<std::string> args,
                                    const std::vector<std::string>& names) {
    for (const std::string& name : names) args.insert(args.end(), {"-i", name});
    return args;
}

// The outputs written beside names, removed once read.
std::map<std::string, std::string> takeOutputs(const test::TempDir& dir,
                                               const std::vector<std::string>& names) {
    std::map<std::string, std::string> outputs;
    for (const std::string& name : names) {
        for (const char* suffix : {"_out.bmp", "_out.h"}) {
            const std::string path = dir / (name + suffix);
            if (fs::exists(path)) outputs[name + suffix] = test::readFile(path);
            fs::remove(path);
        }
    }
    return outputs;
}

TEST(Windows, SameBytesAsLinuxInEveryMode) {
    ASSERT_TRUE(fs::exists(GRAYFRAME_WINDOWS_EXE)) << "make windows first";
    const test::TempDir dir;
    const std::vector<std::string> names = writePictures(dir);
    const std::string messages = cannotOpen("missing.png") + cannotOpen("damaged.png");
    for (const char* mode : {"fitin", "fitout", "stretch"}) {
        SCOPED_TRACE(mode);
        const auto args = withInputs({"-resizemode", mode, "-printdata"}, names);
        const test::RunResult linux = test::runProgram(GRAYFRAME_PATH, args, dir.path);
        const test::RunResult windows = runWindows(args, dir.path);
        EXPECT_EQ(linux.status, 0);
        EXPECT_EQ(linux.err, messages);
        EXPECT_EQ(windows.status, 0);
        EXPECT_EQ(windows.err, withCrLf(messages));
        EXPECT_EQ(linux.out.size(), 4080 * (names.size() - 2));
        EXPECT_TRUE(windows.out == linux.out) << "the raw streams differ";
        EXPECT_GE(std::count(windows.out.begin(), windows.out.end(), '\n'), 4080);

        // Without a display "-show" is reported once and the files are written.
        const auto fileArgs = withInputs({"-show", "-resizemode", mode}, names);
        const test::RunResult linuxFiles =
            test::runProgram(GRAYFRAME_PATH, fileArgs, dir.path, 60, {"DISPLAY"});
        const auto expected = takeOutputs(dir, names);
        const test::RunResult windowsFiles = runWindows(fileArgs, dir.path);
        const auto actual = takeOutputs(dir, names);
        EXPECT_EQ(windowsFiles.status, 0);
        EXPECT_EQ(windowsFiles.err, withCrLf(linuxFiles.err));
        EXPECT_EQ(expected.size(), 2 * (names.size() - 2));
        ASSERT_EQ(actual.size(), expected.size());
        for (const auto& [output, bytes] : expected) {
            const bool header = output.back() == 'h';
            EXPECT_TRUE(actual.at(output) == (header ? withCrLf(bytes) : bytes))
                << output << " differs";
        }
    }
}

TEST(Windows, RefusedCommandLine) {
    const test::TempDir dir;
    const test::RunResult run = runWindows({"-resizemode", "sideways", "-i", "a.png"},
                                           dir.path);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "wrong commandline\r\n");
    EXPECT_EQ(run.out, "");
}

}  // namespace
