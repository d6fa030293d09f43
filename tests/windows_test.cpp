// SPDX-License-Identifier: Apache-2.0
// Runs the Windows build (grayframe.exe) under wine beside the Linux build on the same
// pictures: the frames, BMPs and raw streams must be the same bytes, the headers and
// messages too but for their CR LF line ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <thread>

#include "support.h"
#include "xserver.h"

namespace {

namespace fs = std::filesystem;

const test::Environment WINE_ENV{"WINEPREFIX=" GRAYFRAME_WINE_PREFIX, "WINEDEBUG=-all",
                                 "DISPLAY"};

std::string withCrLf(const std::string& text) {
    std::string result;
    for (const char c : text)
        result += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return result;
}

std::string cannotOpen(const std::string& name) {
    return "image '" + name +
           "'kann nicht ge\xF6"
           "ffnet werden.\n";
}

test::RunResult runWindows(const std::vector<std::string>& args, const std::string& dir,
                           const test::Environment& env = WINE_ENV) {
    std::vector<std::string> wineArgs{GRAYFRAME_WINDOWS_EXE};
    wineArgs.insert(wineArgs.end(), args.begin(), args.end());
    return test::runProgram("/usr/bin/wine", wineArgs, dir, 120, env);
}

// A 102 x 80 picture whose frame under "stretch" is the byte 0x0A throughout: levels 0
// and 10 in alternate columns.
cv::Mat lineFeedPicture() {
    cv::Mat picture(80, 102, CV_8UC3, cv::Scalar::all(0));
    for (int x = 1; x < picture.cols; x += 2) picture.col(x).setTo(cv::Scalar::all(0xA7));
    return picture;
}

// The pictures of the batch, a missing and a damaged file among them; names with
// blanks and with characters beyond any single-byte code page (UTF-8, as in the
// program's manifest).
std::vector<std::string> writePictures(const test::TempDir& dir) {
    const cv::Mat photo = test::makePicture(640, 480, 21);
    const std::vector<std::pair<std::string, cv::Mat>> pictures{
        {"photo.png", photo},
        {"photo.jpg", photo},
        {"photo.webp", photo},
        {"photo.tif", photo},
        {"tall.bmp", test::makePicture(90, 700, 22)},
        {"line feeds.png", lineFeedPicture()},
        {"gr\xC3\xB6\xC3\x9F\x65 \xE6\x97\xA5\xE6\x9C\xAC.png",
         test::makePicture(50, 50, 24)}};
    std::vector<std::string> names;
    for (const auto& [name, picture] : pictures) {
        EXPECT_TRUE(cv::imwrite(dir / name, picture)) << name;
        names.push_back(name);
    }
    test::writeFile(dir / "damaged.png", "\x89PNG\r\n\x1a\nnot a picture at all");
    names.insert(names.begin() + 2, {"missing \xC3\xB1.png", "damaged.png"});
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
    const std::string messages =
        cannotOpen("missing \xC3\xB1.png") + cannotOpen("damaged.png");
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
        if (std::string(mode) == "stretch") {
            EXPECT_GE(std::count(windows.out.begin(), windows.out.end(), '\n'), 4080);
        }

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
    const test::RunResult run =
        runWindows({"-resizemode", "sideways", "-i", "a.png"}, dir.path);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "wrong commandline\r\n");
    EXPECT_EQ(run.out, "");
}

// grayframe-embed.exe beside grayframe.exe writes the Linux program's frame set, also
// given Windows paths: an output folder with a trailing separator, and pictures named
// with backslashes and a drive, whose folders stay out of the files.
TEST(Windows, EmbedWritesTheSameFrameSet) {
    const test::TempDir dir;
    fs::create_directory(dir / "sub");
    cv::imwrite(dir / "sub/a.png", test::makePicture(320, 200, 25));
    cv::imwrite(dir / "sub/b.jpg", test::makePicture(64, 96, 26));
    std::string driveB = "Z:" + dir / "sub/b.jpg";
    std::replace(driveB.begin(), driveB.end(), '/', '\\');
    const std::string windowsEmbed =
        (fs::path(GRAYFRAME_WINDOWS_EXE).parent_path() / "grayframe-embed.exe").string();
    const std::vector<std::string> args{"--name", "pics", "--mode", "fitout"};
    for (const std::string output : {"windows\\", "windows/"}) {
        SCOPED_TRACE(output);
        fs::remove_all(dir / "linux");
        fs::remove_all(dir / "windows");
        fs::create_directory(dir / "linux");
        fs::create_directory(dir / "windows");
        std::vector<std::string> linuxArgs = args, windowsArgs{windowsEmbed};
        linuxArgs.insert(linuxArgs.end(),
                         {"--output-dir", "linux", "sub/a.png", "sub/b.jpg"});
        windowsArgs.insert(windowsArgs.end(), args.begin(), args.end());
        windowsArgs.insert(windowsArgs.end(),
                           {"--output-dir", output, "sub\\a.png", driveB});
        EXPECT_EQ(test::runProgram(GRAYFRAME_EMBED_PATH, linuxArgs, dir.path).status, 0);
        const test::RunResult run =
            test::runProgram("/usr/bin/wine", windowsArgs, dir.path, 120, WINE_ENV);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "");
        for (const char* file : {"pics.h", "pics.c"})
            EXPECT_EQ(test::readFile(dir / ("windows/" + std::string(file))),
                      withCrLf(test::readFile(dir / ("linux/" + std::string(file)))))
                << file;
    }
}

// Animations are read in the program on Windows: a GIF, an animated WebP and an APNG
// give the Linux build's frames, durations and GIF preview; a video gets one line.
TEST(Windows, EmbedReadsAnimationsAsLinuxDoes) {
    const test::TempDir dir;
    std::vector<std::string> frames;
    for (int i = 0; i < 3; ++i) {
        frames.push_back(dir / ("f" + std::to_string(i) + ".png"));
        cv::imwrite(frames.back(), test::makePicture(90, 60, unsigned(30 + i)));
    }
    std::vector<std::string> gif{"-delay", "7", "-loop", "0"}, webp = gif;
    gif.insert(gif.end(), frames.begin(), frames.end());
    gif.push_back(dir / "a.gif");
    webp.insert(webp.end(), frames.begin(), frames.end());
    webp.push_back(dir / "a.webp");
    ASSERT_EQ(test::runProgram("/usr/bin/convert", gif, dir.path).status, 0);
    ASSERT_EQ(test::runProgram("/usr/bin/convert", webp, dir.path).status, 0);
    ASSERT_EQ(test::runProgram("/usr/bin/ffmpeg",
                               {"-v", "error", "-framerate", "8", "-i", "f%d.png", "-plays",
                                "0", "-f", "apng", "spin.png"},
                               dir.path)
                  .status,
              0);
    const std::string windowsEmbed =
        (fs::path(GRAYFRAME_WINDOWS_EXE).parent_path() / "grayframe-embed.exe").string();
    const std::vector<std::string> args{"--name", "anim", "--background", "40",
                                        "--preview", "sheet.gif", "a.gif", "a.webp", "spin.png"};
    EXPECT_EQ(test::runProgram(GRAYFRAME_EMBED_PATH, args, dir.path).status, 0);
    for (const char* file : {"anim.h", "anim.c", "sheet.gif"})
        fs::rename(dir / file, dir / ("linux-" + std::string(file)));
    std::vector<std::string> windowsArgs{windowsEmbed};
    windowsArgs.insert(windowsArgs.end(), args.begin(), args.end());
    const test::RunResult run =
        test::runProgram("/usr/bin/wine", windowsArgs, dir.path, 120, WINE_ENV);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    for (const char* file : {"anim.h", "anim.c"})
        EXPECT_EQ(test::readFile(dir / file),
                  withCrLf(test::readFile(dir / ("linux-" + std::string(file)))))
            << file;
    EXPECT_TRUE(test::readFile(dir / "sheet.gif") == test::readFile(dir / "linux-sheet.gif"));

    std::ofstream(dir / "clip.mp4", std::ios::binary)
        .write("\0\0\0\x18" "ftypmp42\0\0\0\0mp42isom", 24);
    const test::RunResult video = test::runProgram(
        "/usr/bin/wine", {windowsEmbed, "--name", "v", "clip.mp4"}, dir.path, 120, WINE_ENV);
    EXPECT_EQ(video.status, 1);
    EXPECT_EQ(video.err, "grayframe-embed: cannot read image 'clip.mp4': a video, which the "
                         "Windows build does not read: use the Linux build\r\n");
}

// The file in dir named name but for case (wine keeps the case a name is created
// with); empty when there is none.
std::string findIgnoringCase(const test::TempDir& dir, std::string name) {
    const auto lower = [](std::string text) {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return text;
    };
    for (const auto& entry : fs::directory_iterator(dir.path))
        if (lower(entry.path().filename().string()) == lower(name))
            return entry.path().string();
    return {};
}

// An input naming an earlier input's output in another spelling (another case, "."
// or "..", a full path with the drive) reads that output as the run writes it, with
// no old output and with an old one present, as grayframe reads a.png_out.bmp on Linux.
TEST(Windows, EarlierOutputUnderAnotherSpellingIsReadOnceWritten) {
    const test::TempDir dir;
    cv::imwrite(dir / "a.png", test::makePicture(320, 200, 27));
    fs::create_directory(dir / "sub");
    ASSERT_EQ(test::runProgram(GRAYFRAME_PATH, {"-i", "a.png", "-i", "a.png_out.bmp"},
                               dir.path)
                  .status,
              0);
    const std::string expected = test::readFile(dir / "a.png_out.bmp_out.bmp");
    std::string full = "Z:" + dir.path.string() + "/a.png_out.bmp";
    std::replace(full.begin(), full.end(), '/', '\\');
    const cv::Mat old = test::makePicture(64, 64, 28);
    for (const bool stale : {false, true}) {
        for (const std::string& name : {std::string(".\\a.png_out.bmp"),
                                        std::string("sub\\..\\a.png_out.bmp"),
                                        std::string("A.PNG_OUT.BMP"), full}) {
            SCOPED_TRACE(name + (stale ? ", old output present" : ""));
            for (const auto& entry : fs::directory_iterator(dir.path))
                if (entry.path().string().find("_out.") != std::string::npos)
                    fs::remove(entry.path());
            if (stale) cv::imwrite(dir / "a.png_out.bmp", old);
            const test::RunResult run = runWindows({"-i", "a.png", "-i", name}, dir.path);
            EXPECT_EQ(run.status, 0);
            EXPECT_EQ(run.err, "");
            const std::string output = findIgnoringCase(dir, "a.png_out.bmp_out.bmp");
            ASSERT_FALSE(output.empty());
            EXPECT_TRUE(test::readFile(output) == expected) << "not the new output read";
        }
    }
}

// Inputs whose names run past 260 characters open in every format, by a relative
// name and by a "\\?\" one, as on Linux.
TEST(Windows, LongInputNamesOpen) {
    const test::TempDir dir;
    const std::string folder = std::string(120, 'f') + "/" + std::string(120, 'g');
    fs::create_directories(dir / folder);
    const cv::Mat photo = test::makePicture(300, 200, 29);
    std::vector<std::string> names;
    for (const char* extension : {"png", "jpg", "bmp", "tif", "webp"}) {
        names.push_back(folder + "/" + std::string(40, 'p') + "." + extension);
        ASSERT_TRUE(cv::imwrite(dir / names.back(), photo)) << names.back();
    }
    const test::RunResult linux =
        test::runProgram(GRAYFRAME_PATH, withInputs({"-printdata"}, names), dir.path);
    ASSERT_EQ(linux.status, 0);
    ASSERT_EQ(linux.out.size(), 4080 * names.size());
    std::vector<std::string> windowsNames = names;
    std::string prefixed = "\\\\?\\Z:" + (dir / names[0]);
    std::replace(prefixed.begin(), prefixed.end(), '/', '\\');
    windowsNames.push_back(prefixed);
    const test::RunResult windows =
        runWindows(withInputs({"-printdata"}, windowsNames), dir.path);
    EXPECT_EQ(windows.status, 0);
    EXPECT_EQ(windows.err, "");
    EXPECT_TRUE(windows.out == linux.out + linux.out.substr(0, 4080))
        << "the raw streams differ";

    // A multi-page TIFF whose later pages the library cannot reach under such a name
    // fails in grayframe-embed.exe; it never gives its first page alone.
    const std::string pages = folder + "/" + std::string(40, 'm') + ".tif";
    ASSERT_TRUE(cv::imwritemulti(dir / pages, std::vector<cv::Mat>{photo, photo}));
    const std::string windowsEmbed =
        (fs::path(GRAYFRAME_WINDOWS_EXE).parent_path() / "grayframe-embed.exe").string();
    const test::RunResult embed = test::runProgram(
        "/usr/bin/wine", {windowsEmbed, "--name", "pages", pages}, dir.path, 120, WINE_ENV);
    if (embed.status == 0)
        EXPECT_NE(test::readFile(dir / "pages.h").find("_FRAME_COUNT 2"), std::string::npos);
    else
        EXPECT_NE(embed.err.find("its pages cannot be read under a name this long"),
                  std::string::npos)
            << embed.err;
}

// Starts grayframe.exe with args in dir on x's display and waits until its window
// titled title shows. Wine's desktop process, started by an earlier call without a
// display, outlives that call by a second or two, and a call in that time has no
// display either: such a call is made again, its outputs removed. Null when no window
// came up.
std::unique_ptr<test::Child> startWithWindow(test::XServer& x, const std::string& dir,
                                             const std::vector<std::string>& args,
                                             const std::string& title) {
    test::Environment env = WINE_ENV;
    env.back() = "DISPLAY=" + x.name;
    std::vector<std::string> wineArgs{GRAYFRAME_WINDOWS_EXE};
    wineArgs.insert(wineArgs.end(), args.begin(), args.end());
    for (int attempt = 0; attempt < 5; ++attempt) {
        auto run = std::make_unique<test::Child>("/usr/bin/wine", wineArgs, dir, env);
        for (int tries = 0; tries < 600 && run->running(); ++tries) {
            if (test::findWindow(x, title)) return run;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        const test::RunResult ended = run->finish();
        if (ended.err != "cannot show the preview: no usable display\r\n") return nullptr;
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.path().string().find("_out.") != std::string::npos)
                fs::remove(entry.path());
        std::this_thread::sleep_for(std::chrono::seconds(2));
    }
    return nullptr;
}

// The preview on wine's X11 driver: both windows come up by name, the frame is drawn,
// a key ends the preview and only then are the outputs written.
TEST(Windows, PreviewEndsOnKey) {
    const test::TempDir dir;
    cv::imwrite(dir / "a.png", test::makePicture(320, 200, 23));
    test::XServer x;
    const auto run = startWithWindow(x, dir.path, {"-show", "-i", "a.png"}, "a.png");
    ASSERT_TRUE(run);
    const test::WindowId output = test::waitForWindow(x, "output", 60);
    ASSERT_NE(output, 0u);
    cv::Mat shown;
    for (int tries = 0; tries < 500 && cv::countNonZero(shown) == 0; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const cv::Mat picture = test::windowPicture(x, output);
        if (!picture.empty()) cv::cvtColor(picture, shown, cv::COLOR_BGR2GRAY);
    }
    ASSERT_GT(cv::countNonZero(shown), 0) << "the frame is not drawn";
    EXPECT_FALSE(fs::exists(dir / "a.png_out.bmp"));
    test::pressKey(x, output);
    const test::RunResult result = run->finish(60);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(fs::exists(dir / "a.png_out.bmp") && fs::exists(dir / "a.png_out.h"));
}

}  // namespace
