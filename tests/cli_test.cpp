// Runs the built program as a process on real files in a temporary directory.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <random>

#include "expected.h"
#include "frame/frame.h"
#include "packed/packed.h"
#include "support.h"

namespace {

namespace fs = std::filesystem;

using test::cannotOpen;
using test::expectedBmp;
using test::expectedFrame;
using test::expectedHeader;
using test::packedBytes;

void expectFiles(const std::string& input, ResizeMode mode) {
    const cv::Mat frame = expectedFrame(input, mode);
    EXPECT_EQ(test::readFile(input + "_out.bmp"), expectedBmp(frame)) << input;
    EXPECT_EQ(test::readFile(input + "_out.h"), expectedHeader(frame)) << input;
}

TEST(Cli, RefusedLinesProcessNothing) {
    const test::TempDir dir;
    cv::imwrite(dir / "a.png", test::makePicture(64, 48));
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"-i", "a.png", "-bogus"},
          {"a.png"},
          {"-i", "a.png", "-i"},
          {"-i", "a.png", "-resizemode"},
          {"-i", "a.png", "-resizemode", "STRETCH"}}) {
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
    const std::vector<std::string> inputs{"pics/a.png", "pics/b c\xC3\xBC.jpg",
                                          "gray.png"};
    for (const auto& [word, mode] :
         {std::pair{"fitin", FitIn}, {"fitout", FitOut}, {"stretch", Stretch}}) {
        SCOPED_TRACE(word);
        std::vector<std::string> args{"-resizemode", word};
        for (const std::string& input : inputs) args.insert(args.end(), {"-i", input});
        const test::RunResult run = test::runGrayframe(args, dir.path);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err + run.out, "");
        for (const std::string& input : inputs) expectFiles(dir / input, mode);
    }
    // The last mode word counts for all inputs, wherever it stands.
    const test::RunResult run =
        test::runGrayframe({"-i", "gray.png", "-resizemode", "stretch", "-i",
                            "pics/a.png", "-resizemode", "fitout"},
                           dir.path);
    EXPECT_EQ(run.status, 0);
    expectFiles(dir / "pics/a.png", FitOut);
}

TEST(Cli, PrintDataStreamsFramesBackToBack) {
    const test::TempDir dir;
    cv::imwrite(dir / "a.png", test::makePicture(200, 100, 3));
    cv::imwrite(dir / "b.bmp", test::makePicture(50, 170, 4));
    const test::RunResult run =
        test::runGrayframe({"-printdata", "-i", "a.png", "-i", "missing.png", "-i",
                            "b.bmp", "-i", "a.png", "-resizemode", "fitout"},
                           dir.path);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, cannotOpen("missing.png"));
    const std::string a = packedBytes(expectedFrame(dir / "a.png", FitOut));
    const std::string b = packedBytes(expectedFrame(dir / "b.bmp", FitOut));
    EXPECT_EQ(run.out, a + b + a);
    EXPECT_FALSE(fs::exists(dir / "a.png_out.bmp"));
    EXPECT_FALSE(fs::exists(dir / "a.png_out.h"));
}

bool libraryLoads(const std::string& path) {
    try {
        return fs::is_regular_file(path) && !cv::imread(path, cv::IMREAD_COLOR).empty();
    } catch (...) {
        return false;
    }
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// The corpus from make_hostile_corpus, a missing file and one good file twice, mixed.
std::vector<std::string> hostileBatch(const test::TempDir& dir) {
    const test::RunResult made = test::runProgram(HOSTILE_CORPUS_PATH, {dir.path});
    EXPECT_EQ(made.status, 0) << made.err;
    std::vector<std::string> names{"bad-missing.png", "good.png"};
    for (const fs::directory_entry& entry : fs::directory_iterator(dir.path))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    std::shuffle(names.begin(), names.end(), std::mt19937(5));
    return names;
}

TEST(Cli, DamagedInputsNeverCostTheBatch) {
    const test::TempDir dir;
    const std::vector<std::string> names = hostileBatch(dir);
    ASSERT_GT(names.size(), 150u);
    std::vector<std::string> args{"-resizemode", "fitout"};
    std::string expectedErr;
    for (const std::string& name : names) {
        const bool loads = libraryLoads(dir / name) && !startsWith(name, "bad");
        if (startsWith(name, "good")) {
            ASSERT_TRUE(loads) << name;
        }
        args.insert(args.end(), {"-i", name});
        if (!loads) expectedErr += cannotOpen(name);
    }
    const test::RunResult run = test::runGrayframe(args, dir.path, 300);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, expectedErr);
    EXPECT_EQ(run.out, "");
    for (const std::string& name : names) {
        if (libraryLoads(dir / name) && !startsWith(name, "bad")) {
            expectFiles(dir / name, FitOut);
        } else {
            EXPECT_FALSE(fs::exists(dir / (name + "_out.bmp"))) << name;
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
    ASSERT_EQ(::mkfifo((dir / "fine.png_out.h").c_str(), 0600), 0);  // nobody reads it
    const test::RunResult run = test::runGrayframe(
        {"-i", "full.png", "-i", "blocked.png", "-i", "fine.png"}, dir.path);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err,
              "could not write to file'full.png_out.bmp\n"
              "could not write to file'full.png_out.h\n"
              "could not write to file'blocked.png_out.bmp\n"
              "could not write to file'fine.png_out.h\n");
    const cv::Mat frame = expectedFrame(dir / "blocked.png", FitIn);
    EXPECT_EQ(test::readFile(dir / "blocked.png_out.h"), expectedHeader(frame));
    EXPECT_EQ(test::readFile(dir / "fine.png_out.bmp"), expectedBmp(frame));
}

// Rarely used formats are decoded by the decode helper: the same pixels, whatever type
// the library returns (a gray PFM comes back with one channel and is taken as a gray
// PGM is), and a decoder that aborts (the DICOM reader does on this file) costs only its
// own input.
TEST(Cli, DecoderCrashCostsOnlyItsInput) {
    const test::TempDir dir;
    const cv::Mat picture = test::makePicture(150, 90, 10);
    cv::Mat gray, grayFloat;
    cv::cvtColor(picture, gray, cv::COLOR_BGR2GRAY);
    gray.convertTo(grayFloat, CV_32F);
    cv::imwrite(dir / "a.ras", picture);
    cv::imwrite(dir / "b.png", picture);
    cv::imwrite(dir / "gray.pfm", grayFloat);
    cv::imwrite(dir / "gray.pgm", gray);
    test::writeFile(dir / "crash.dcm", std::string(128, '\0') + "DICM");
    const test::RunResult run = test::runGrayframe(
        {"-i", "a.ras", "-i", "crash.dcm", "-i", "gray.pfm", "-i", "b.png", "-printdata"},
        dir.path);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, cannotOpen("crash.dcm"));
    const std::string expected = packedBytes(expectedFrame(dir / "a.ras", FitIn)) +
                                 packedBytes(expectedFrame(dir / "gray.pgm", FitIn)) +
                                 packedBytes(expectedFrame(dir / "b.png", FitIn));
    EXPECT_TRUE(run.out == expected);
}

// What the helper sends is taken only when it is a whole picture within the library's
// limits and the helper ends cleanly; anything else costs only that input.
TEST(Cli, AHelperThatLiesCostsOnlyItsInput) {
    const test::TempDir dir;
    fs::copy_file(GRAYFRAME_PATH, dir / "grayframe");
    test::writeFile(
        dir / "grayframe-decode",
        "#!/bin/sh\n"
        "head='GFD1\\001\\0\\0\\0\\002\\0\\0\\0\\020\\0\\0\\0'\n"
        "case \"$2\" in\n"
        "huge*) printf 'GFD1\\377\\377\\377\\177\\1\\0\\0\\0\\020\\0\\0\\0' ;;\n"
        "short*) printf \"$head\\1\\2\\3\" ;;\n"
        "long*) printf \"$head\\1\\2\\3\\4\\5\\6\\7\" ;;\n"
        "failing*) printf \"$head\\1\\2\\3\\4\\5\\6\"; exit 1 ;;\n"
        "*) printf \"$head\\1\\2\\3\\4\\5\\6\" ;;\n"
        "esac\n");
    fs::permissions(dir / "grayframe-decode", fs::perms::owner_all);
    std::vector<std::string> args{"-printdata"};
    for (const char* name : {"huge", "short", "long", "failing", "fine"}) {
        test::writeFile(dir / name, "not a common format");
        args.insert(args.end(), {"-i", name});
    }
    const test::RunResult run = test::runProgram(dir / "grayframe", args, dir.path);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, cannotOpen("huge") + cannotOpen("short") + cannotOpen("long") +
                           cannotOpen("failing"));
    const cv::Mat fine =
        (cv::Mat_<cv::Vec3b>(1, 2) << cv::Vec3b(1, 2, 3), cv::Vec3b(4, 5, 6));
    EXPECT_TRUE(run.out == packedBytes(reduceToFrame(fine, FitIn)));
}

// The preview module is looked up only on "-show", beside the program or where it is
// installed; a program without it says why and converts all the same.
TEST(Cli, ShowWithoutThePreviewModuleSaysWhyAndConverts) {
    const test::TempDir dir;
    cv::imwrite(dir / "a.png", test::makePicture(64, 48, 9));
    fs::copy_file(GRAYFRAME_PATH, dir / "grayframe");
    const test::RunResult plain = test::runProgram(dir / "grayframe", {"-i", "a.png"},
                                                   dir.path.string(), 60, {"DISPLAY"});
    EXPECT_EQ(plain.err + plain.out, "");
    const test::RunResult run = test::runProgram(
        dir / "grayframe", {"-show", "-printdata", "-i", "a.png", "-i", "a.png"},
        dir.path.string(), 60, {"DISPLAY"});
    EXPECT_EQ(run.status, 0);
    const std::string reason = "cannot load the preview module: ";
    ASSERT_EQ(run.err.rfind(reason, 0), 0u) << run.err;
    EXPECT_NE(run.err.find("grayframe_preview.so not found\n"), std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find(reason, 1), std::string::npos) << "reported once";
    const std::string frame = packedBytes(expectedFrame(dir / "a.png", FitIn));
    EXPECT_EQ(run.out, frame + frame);
}

}  // namespace
