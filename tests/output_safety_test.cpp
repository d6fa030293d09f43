// Outputs are whole whatever happens to the run, failed writes of the raw stream are
// reported, and cut JPEGs are refused.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "expected.h"
#include "support.h"

namespace {

namespace fs = std::filesystem;

// The outputs grayframe writes for picture as a.png, in a directory of their own.
std::vector<std::string> outputsOf(const cv::Mat& picture) {
    const test::TempDir dir;
    cv::imwrite(dir / "a.png", picture);
    test::runGrayframe({"-i", "a.png"}, dir.path);
    return {test::readFile(dir / "a.png_out.bmp"), test::readFile(dir / "a.png_out.h")};
}

// The names in dir that grayframe's temporary files have.
std::vector<std::string> temporaryFiles(const fs::path& dir) {
    std::vector<std::string> found;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir))
        if (entry.path().filename().string().find(".grayframe-") != std::string::npos)
            found.push_back(entry.path().filename());
    return found;
}

// Inputs a0.png ... a19.png, copies of one picture, whose outputs hold an older
// picture's frame; old and fresh are the bytes of output 0 (BMP) and 1 (header).
struct Overwrite {
    static constexpr int INPUTS = 20;
    test::TempDir dir;
    std::vector<std::string> old = outputsOf(test::makePicture(300, 200, 1));
    std::vector<std::string> fresh = outputsOf(test::makePicture(300, 200, 2));
    std::vector<std::string> args;
    Overwrite() {
        for (int i = 0; i < INPUTS; ++i) {
            cv::imwrite(dir / name(i), test::makePicture(300, 200, 2));
            args.insert(args.end(), {"-i", name(i)});
        }
        putOld();
    }
    static std::string name(int input) { return "a" + std::to_string(input) + ".png"; }
    std::string output(int input, int which) const {
        return dir / (name(input) + (which == 0 ? "_out.bmp" : "_out.h"));
    }
    void putOld() const {
        for (int i = 0; i < INPUTS; ++i)
            for (int which = 0; which < 2; ++which)
                test::writeFile(output(i, which), old[which]);
    }
    // How many outputs hold the new bytes; fails on any that is neither old nor new.
    int countNew() const {
        int count = 0;
        for (int i = 0; i < INPUTS; ++i)
            for (int which = 0; which < 2; ++which) {
                const std::string now = test::readFile(output(i, which));
                EXPECT_TRUE(now == old[which] || now == fresh[which]) << output(i, which);
                count += now == fresh[which];
            }
        return count;
    }
};

TEST(Outputs, KilledRunsLeaveEachFileOldOrNew) {
    const Overwrite run;
    // Kills land anywhere in the time a whole run takes on this machine.
    const auto start = std::chrono::steady_clock::now();
    test::runGrayframe(run.args, run.dir.path);
    const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(
                           std::chrono::steady_clock::now() - start)
                           .count();
    std::mt19937 random(7);
    int written = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (int round = 0; std::chrono::steady_clock::now() < end; ++round) {
        run.putOld();
        test::Child child(GRAYFRAME_PATH, run.args, run.dir.path);
        std::this_thread::sleep_for(std::chrono::microseconds(random() % whole));
        const bool term = round % 2 == 0;
        ::kill(child.pid, term ? SIGTERM : SIGKILL);
        child.finish();
        written += run.countNew();
        if (term) {
            EXPECT_EQ(temporaryFiles(run.dir.path), std::vector<std::string>{});
        }
        for (const std::string& name : temporaryFiles(run.dir.path))
            fs::remove(run.dir / name);
    }
    EXPECT_GT(written, 0) << "no kill came after the first write";
    // A file size limit fails every header's write (the BMPs fit): reported, old kept.
    run.putOld();
    const test::RunResult limited = test::runProgram(
        "/bin/bash", {"-c", "ulimit -f 16 && exec \"$0\" -i a0.png", GRAYFRAME_PATH},
        run.dir.path);
    EXPECT_EQ(limited.status, 0);
    EXPECT_EQ(limited.err, "could not write to file'a0.png_out.h\n");
    EXPECT_TRUE(test::readFile(run.output(0, 0)) == run.fresh[0]);
    EXPECT_TRUE(test::readFile(run.output(0, 1)) == run.old[1]);
    EXPECT_EQ(temporaryFiles(run.dir.path), std::vector<std::string>{});
}

TEST(Outputs, FullDiskKeepsOldOutputs) {
    const Overwrite run;
    const std::string disk = run.dir / "disk";
    fs::create_directory(disk);
    if (::geteuid() != 0 || ::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "needs root and a tmpfs mount to make a full disk";
    test::writeFile(disk + "/a.png", test::readFile(run.dir / Overwrite::name(0)));
    test::writeFile(disk + "/a.png_out.bmp", run.old[0]);
    test::writeFile(disk + "/a.png_out.h", run.old[1]);
    test::writeFile(disk + "/filler", std::string(1 << 20, 'x'));  // as much as fits
    const test::RunResult files = test::runGrayframe({"-i", "a.png"}, disk);
    const test::RunResult stream = test::runProgram(
        "/bin/sh",
        {"-c", "exec \"$0\" -printdata -i a.png -i a.png -i a.png > raw", GRAYFRAME_PATH},
        disk);
    EXPECT_TRUE(test::readFile(disk + "/a.png_out.bmp") == run.old[0]);
    EXPECT_TRUE(test::readFile(disk + "/a.png_out.h") == run.old[1]);
    const std::vector<std::string> left = temporaryFiles(disk);
    ::umount2(disk.c_str(), MNT_DETACH);
    EXPECT_EQ(files.status, 0);
    EXPECT_EQ(
        files.err,
        "could not write to file'a.png_out.bmp\ncould not write to file'a.png_out.h\n");
    EXPECT_EQ(stream.err, "could not write to file'-\n");
    EXPECT_EQ(left, std::vector<std::string>{});
}

TEST(Outputs, FailedRawStreamIsReportedOnce) {
    const test::TempDir dir;
    cv::imwrite(dir / "a.png", test::makePicture(64, 48, 3));
    for (const char* redirect : {"> /dev/full", ">&-"}) {
        const std::string script =
            std::string("exec \"$0\" -printdata -i a.png -i gone.png -i a.png ") +
            redirect;
        const test::RunResult run =
            test::runProgram("/bin/sh", {"-c", script, GRAYFRAME_PATH}, dir.path);
        EXPECT_EQ(run.status, 0) << redirect;
        EXPECT_EQ(run.err, test::cannotOpen("gone.png") + "could not write to file'-\n")
            << redirect;
    }
}

// Links are followed to the file they name, which is replaced with its permission bits
// kept; /dev/null takes its bytes as before.
TEST(Outputs, LinksAndDevicesAsOutputNames) {
    const Overwrite run;
    fs::rename(run.output(0, 0), run.dir / "kept.bmp");
    fs::create_symlink("kept.bmp", run.output(0, 0));
    fs::permissions(run.dir / "kept.bmp", fs::perms(0640));
    fs::remove(run.output(0, 1));
    fs::create_symlink("/dev/null", run.output(0, 1));
    const test::RunResult result = test::runGrayframe({"-i", "a0.png"}, run.dir.path);
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(fs::is_symlink(run.output(0, 0)));
    EXPECT_TRUE(test::readFile(run.dir / "kept.bmp") == run.fresh[0]);
    EXPECT_EQ(fs::status(run.dir / "kept.bmp").permissions(), fs::perms(0640));
    EXPECT_TRUE(fs::is_symlink(run.output(0, 1)));
}

// A JPEG cut anywhere would be decoded with its missing part gray; stray bytes between
// its segments, as some cameras write, are harmless.
TEST(Outputs, CutJpegsAreRefusedStrayBytesAreNot) {
    const test::TempDir dir;
    const cv::Mat picture = test::makePicture(320, 240, 4);
    std::vector<std::string> args{"-printdata"};
    std::string expectedErr;
    for (const bool progressive : {false, true}) {
        std::vector<uchar> bytes;
        cv::imencode(".jpg", picture, bytes, {cv::IMWRITE_JPEG_PROGRESSIVE, progressive});
        const std::string whole(bytes.begin(), bytes.end());
        for (const size_t cut :
             {whole.size() / 3, whole.size() - 100, whole.size() - 2}) {
            const std::string name =
                std::to_string(progressive) + "-" + std::to_string(cut);
            test::writeFile(dir / name, whole.substr(0, cut));
            args.insert(args.end(), {"-i", name});
            expectedErr += test::cannotOpen(name);
        }
        if (progressive) continue;
        const size_t app0End = 4 + (static_cast<uchar>(whole[4]) << 8 | whole[5]);
        const std::string stray("\x00\x12junk", 6);
        test::writeFile(dir / "stray.jpg",
                        whole.substr(0, app0End) + stray + whole.substr(app0End));
        test::writeFile(dir / "whole.jpg", whole);
    }
    args.insert(args.end(), {"-i", "stray.jpg"});
    const test::RunResult run = test::runGrayframe(args, dir.path);
    EXPECT_EQ(run.err, expectedErr);
    EXPECT_TRUE(run.out ==
                test::packedBytes(test::expectedFrame(dir / "whole.jpg", FitIn)));
}

}  // namespace
