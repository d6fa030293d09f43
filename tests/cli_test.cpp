// Runs the built program as a process on real files in a temporary directory.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <opencv2/imgcodecs.hpp>

#include "frame/frame.h"
#include "packed/packed.h"
#include "support.h"

namespace {

namespace fs = std::filesystem;

std::string cannotOpen(const std::string& name) {
    return "image '" + name + "'kann nicht ge\xF6" "ffnet werden.\n";
}

// The frame the program must make of a file, decoded here with the library directly.
cv::Mat expectedFrame(const std::string& path, ResizeMode mode) {
    return reduceToFrame(cv::imread(path, cv::IMREAD_COLOR), mode);
}

std::string expectedBmp(const cv::Mat& frame) {
    std::vector<uchar> bytes;
    cv::imencode(".bmp", frame, bytes);
    return {bytes.begin(), bytes.end()};
}

std::string expectedHeader(const cv::Mat& frame) {
    std::ostringstream text;
    writeHeaderText(text, frame);
    return text.str();
}

std::string packedBytes(const cv::Mat& frame) {
    const PackedFrame packed = packFrame(frame);
    return {packed.begin(), packed.end()};
}

void expectFiles(const std::string& input, ResizeMode mode) {
    const cv::Mat frame = expectedFrame(input, mode);
    EXPECT_EQ(test::readFile(input + "_out.bmp"), expectedBmp(frame)) << input;
    EXPECT_EQ(test::readFile(input + "_out.h"), expectedHeader(frame)) << input;
}

TEST(Cli, RefusedLinesProcessNothing) {
    const test::TempDir dir;
    cv::imwrite(dir / "a.png", test::makePicture(64, 48));
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"-i", "a.png", "-bogus"}, {"a.png"}, {"-i", "a.png", "-i"},
          {"-i", "a.png", "-resizemode"}, {"-i", "a.png", "-resizemode", "STRETCH"}}) {
        const test::RunResult run = test::runGrayframe(args, dir.path);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, "wrong commandline\n");
        EXPECT_EQ(run.out, "");
    }
    EXPECT_FALSE(fs::exists(dir / "a.png_out.bmp"));
    EXPECT_FALSE(fs::exists(dir / "a.png_out.h"));

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"-show", "-printdata"}}) {
        const test::RunResult run = test::runGrayframe(args, dir.path);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err + run.out, "");
    }
}

TEST(Cli, WritesBesideEachInputInEveryMode) {
    const test::TempDir dir;
    fs::create_directory(dir / "pics");
    cv::imwrite(dir / "pics/a.png", test::makePicture(640, 480, 1));
    cv::imwrite(dir / "pics/b c\xC3\xBC.jpg", test::makePicture(300, 500, 2));
    cv::imwrite(dir / "gray.png", cv::Mat(90, 120, CV_8UC1, cv::Scalar(77)));
    const std::vector<std::string> inputs{"pics/a.png", "pics/b c\xC3\xBC.jpg", "gray.png"};
    for (const auto& [word, mode] : {std::pair{"fitin", FitIn}, {"fitout", FitOut},
                                     {"stretch", Stretch}}) {
        SCOPED_TRACE(word);
        std::vector<std::string> args{"-resizemode", word};
        for (const std::string& input : inputs) args.insert(args.end(), {"-i", input});
        const test::RunResult run = test::runGrayframe(args, dir.path);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err + run.out, "");
        for (const std::string& input : inputs) expectFiles(dir / input, mode);
    }
    // The last mode word counts for all inputs, wherever it stands.
    const test::RunResult run = test::runGrayframe(
        {"-i", "gray.png", "-resizemode", "stretch", "-i", "pics/a.png", "-resizemode",
         "fitout"}, dir.path);
    EXPECT_EQ(run.status, 0);
    expectFiles(dir / "pics/a.png", FitOut);
}

TEST(Cli, PrintDataStreamsFramesBackToBack) {
    const test::TempDir dir;
    cv::imwrite(dir / "a.png", test::makePicture(200, 100, 3));
    cv::imwrite(dir / "b.bmp", test::makePicture(50, 170, 4));
    const test::RunResult run = test::runGrayframe(
        {"-printdata", "-i", "a.png", "-i", "missing.png", "-i", "b.bmp", "-i", "a.png",
         "-resizemode", "fitout"}, dir.path);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, cannotOpen("missing.png"));
    const std::string a = packedBytes(expectedFrame(dir / "a.png", FitOut));
    const std::string b = packedBytes(expectedFrame(dir / "b.bmp", FitOut));
    EXPECT_EQ(run.out, a + b + a);
    EXPECT_FALSE(fs::exists(dir / "a.png_out.bmp"));
    EXPECT_FALSE(fs::exists(dir / "a.png_out.h"));
}

std::string corrupt(std::string bytes, size_t from, size_t every) {
    for (size_t i = from; i < bytes.size(); i += every) bytes[i] = static_cast<char>(~bytes[i]);
    return bytes;
}

bool libraryLoads(const std::string& path) {
    try {
        return fs::is_regular_file(path) && !cv::imread(path, cv::IMREAD_COLOR).empty();
    } catch (...) {
        return false;
    }
}

TEST(Cli, DamagedInputsNeverCostTheBatch) {
    const test::TempDir dir;
    cv::imwrite(dir / "good.png", test::makePicture(320, 240, 5));
    cv::imwrite(dir / "good.jpg", test::makePicture(401, 299, 6));
    const std::string png = test::readFile(dir / "good.png");
    const std::string jpg = test::readFile(dir / "good.jpg");
    test::writeFile(dir / "cut.png", png.substr(0, png.size() / 2));
    test::writeFile(dir / "cut.jpg", jpg.substr(0, jpg.size() / 3));
    test::writeFile(dir / "flipped.png", corrupt(png, 200, 97));
    test::writeFile(dir / "flipped.jpg", corrupt(jpg, jpg.size() / 2, 101));
    test::writeFile(dir / "huge.ppm", "P6\n100000 100000\n255\n");
    test::writeFile(dir / "wide.pgm", "P5\n1048577 1\n255\n" + std::string(1048577, 'x'));
    test::writeFile(dir / "text.png", "this is not a picture\n");
    test::writeFile(dir / "empty.png", "");
    fs::create_directory(dir / "folder.png");
    ASSERT_EQ(::mkfifo((dir / "fifo.png").c_str(), 0600), 0);

    const std::vector<std::string> names{
        "good.png", "cut.png", "flipped.png", "good.jpg", "cut.jpg", "flipped.jpg",
        "huge.ppm", "wide.pgm", "text.png", "empty.png", "folder.png", "fifo.png",
        "missing.png", "good.png"};
    for (const char* mustFail : {"cut.png", "huge.ppm", "wide.pgm", "text.png", "empty.png",
                                 "folder.png", "fifo.png", "missing.png"})
        ASSERT_FALSE(libraryLoads(dir / mustFail)) << mustFail;

    std::vector<std::string> args{"-resizemode", "fitout"};
    std::string expectedErr;
    for (const std::string& name : names) {
        args.insert(args.end(), {"-i", name});
        if (!libraryLoads(dir / name)) expectedErr += cannotOpen(name);
    }
    const test::RunResult run = test::runGrayframe(args, dir.path, 120);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, expectedErr);
    for (const std::string& name : names) {
        if (libraryLoads(dir / name)) {
            expectFiles(dir / name, FitOut);
        } else {
            EXPECT_FALSE(fs::exists(dir / (name + "_out.h"))) << name;
        }
    }
}

TEST(Cli, FailedWritesAreReportedAndTheRunGoesOn) {
    const test::TempDir dir;
    for (const char* name : {"full.png", "blocked.png", "fine.png"})
        cv::imwrite(dir / name, test::makePicture(100, 60, 8));
    fs::create_symlink("/dev/full", dir / "full.png_out.bmp");
    fs::create_symlink("/dev/full", dir / "full.png_out.h");
    fs::create_directory(dir / "blocked.png_out.bmp");
    const test::RunResult run = test::runGrayframe(
        {"-i", "full.png", "-i", "blocked.png", "-i", "fine.png"}, dir.path);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err,
              "could not write to file'full.png_out.bmp\n"
              "could not write to file'full.png_out.h\n"
              "could not write to file'blocked.png_out.bmp\n");
    const cv::Mat frame = expectedFrame(dir / "blocked.png", FitIn);
    EXPECT_EQ(test::readFile(dir / "blocked.png_out.h"), expectedHeader(frame));
    expectFiles(dir / "fine.png", FitIn);
}

}  // namespace
