// Runs this build's grayframe and a reference build (built on another OpenCV) on the
// same pictures and requires the same bytes from both: raw stream, BMP, header,
// messages and exit status.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "support.h"

namespace {

namespace fs = std::filesystem;

// A JPEG whose EXIF block asks for a quarter turn, as cameras write them.
std::string turnedJpeg(const cv::Mat& picture) {
    std::vector<uchar> jpeg;
    cv::imencode(".jpg", picture, jpeg);
    const std::string exif(
        "Exif\0\0II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0\x06\0\0\0\0\0\0\0", 32);
    const std::string segment =
        std::string("\xFF\xE1\0", 3) + static_cast<char>(exif.size() + 2) + exif;
    const std::string bytes(jpeg.begin(), jpeg.end());
    return bytes.substr(0, 2) + segment + bytes.substr(2);
}

// Writes the pictures into dir and returns their names: every format both builds
// read, odd shapes, gray, alpha and 16-bit samples, a damaged and a missing file.
std::vector<std::string> writePictures(const test::TempDir& dir) {
    const cv::Mat photo = test::makePicture(640, 480, 11);
    cv::Mat gray, alpha, deep;
    cv::cvtColor(photo, gray, cv::COLOR_BGR2GRAY);
    cv::cvtColor(photo, alpha, cv::COLOR_BGR2BGRA);
    photo.convertTo(deep, CV_16UC3, 257.0, 3.0);
    const std::vector<std::pair<std::string, cv::Mat>> plain{
        {"photo.png", photo},
        {"photo.jpg", photo},
        {"gray.jpg", gray},
        {"alpha.png", alpha},
        {"deep.png", deep},
        {"deep.tif", deep},
        {"photo.tif", photo},
        {"photo.webp", photo},
        {"photo.bmp", photo},
        {"photo.ppm", photo},
        {"gray.pgm", gray},
        {"photo.ras", photo},
        {"photo.hdr", photo},
        {"wide.png", test::makePicture(1000, 9, 12)},
        {"tall.jpg", test::makePicture(7, 900, 13)},
        {"dot.png", test::makePicture(1, 1, 14)},
        {"big.jpg", test::makePicture(3000, 2000, 15)}};
    std::vector<std::string> names;
    for (const auto& [name, picture] : plain) {
        EXPECT_TRUE(cv::imwrite(dir / name, picture)) << name;
        names.push_back(name);
    }
    cv::imwrite(dir / "progressive.jpg", photo, {cv::IMWRITE_JPEG_PROGRESSIVE, 1});
    cv::imwrite(dir / "lossless.webp", photo, {cv::IMWRITE_WEBP_QUALITY, 101});
    test::writeFile(dir / "turned.jpg", turnedJpeg(photo));
    const std::string jpg = test::readFile(dir / "photo.jpg");
    test::writeFile(dir / "cut.jpg", jpg.substr(0, jpg.size() * 2 / 3));
    fs::copy_file(fs::path(EXAMPLES_DIR) / "chart.png", dir / "chart.png");
    names.insert(names.end(), {"progressive.jpg", "lossless.webp", "turned.jpg",
                               "cut.jpg", "chart.png", "missing.png"});
    return names;
}

std::vector<std::string> withInputs(std::vector<std::string> args,
                                    const std::vector<std::string>& names) {
    for (const std::string& name : names) args.insert(args.end(), {"-i", name});
    return args;
}

// Runs program in dir and collects its result and the outputs it left beside names.
std::map<std::string, std::string> runAndCollect(const std::string& program,
                                                 const std::vector<std::string>& args,
                                                 const test::TempDir& dir,
                                                 const std::vector<std::string>& names) {
    const test::RunResult run = test::runProgram(program, args, dir.path.string(), 120);
    std::map<std::string, std::string> result{
        {"status", std::to_string(run.status)}, {"stdout", run.out}, {"stderr", run.err}};
    for (const std::string& name : names) {
        for (const char* suffix : {"_out.bmp", "_out.h"}) {
            const std::string path = dir / (name + suffix);
            if (fs::exists(path)) result[name + suffix] = test::readFile(path);
            fs::remove(path);
        }
    }
    return result;
}

TEST(SameBytes, BothBuildsWriteIdenticalOutputs) {
    ASSERT_TRUE(fs::exists(REFERENCE_PATH))
        << "build the reference first: " REFERENCE_PATH;
    ASSERT_NE(fs::canonical(REFERENCE_PATH), fs::canonical(GRAYFRAME_PATH));
    const test::TempDir dir;
    const std::vector<std::string> names = writePictures(dir);
    for (const char* mode : {"fitin", "fitout", "stretch"}) {
        for (const bool printData : {true, false}) {
            SCOPED_TRACE(std::string(mode) + (printData ? " -printdata" : " files"));
            std::vector<std::string> args{"-resizemode", mode};
            if (printData) args.push_back("-printdata");
            args = withInputs(args, names);
            const auto expected = runAndCollect(REFERENCE_PATH, args, dir, names);
            const auto actual = runAndCollect(GRAYFRAME_PATH, args, dir, names);
            EXPECT_EQ(expected.at("status"), "0");
            const size_t frames = printData ? expected.at("stdout").size() / 4080
                                            : (expected.size() - 3) / 2;
            EXPECT_GE(frames, names.size() - 2);
            for (const auto& [what, bytes] : expected) {
                const auto found = actual.find(what);
                ASSERT_NE(found, actual.end()) << what;
                EXPECT_TRUE(found->second == bytes) << what << " differs";
            }
            EXPECT_EQ(actual.size(), expected.size());
        }
    }
}

}  // namespace
