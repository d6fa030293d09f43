// SPDX-License-Identifier: Apache-2.0
// An uncompressed set's NAME.c made from rows formatted ahead into a scratch file is the
// text made whole, and streaming it into its output keeps the outputs' safety.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <random>
#include <sstream>
#include <thread>

#include "output/output_file.h"
#include "output/scratch_file.h"
#include "packed/frame_set.h"
#include "support.h"

namespace {

namespace fs = std::filesystem;

FrameSet setOf(int frames, FrameSetTarget target, bool durations) {
    FrameSet set;
    set.name = "clip";
    set.modeName = "fitin";
    set.target = target;
    for (int i = 0; i < frames; ++i) {
        PackedFrame frame;
        std::mt19937 random{unsigned(i)};
        for (unsigned char& byte : frame) byte = static_cast<unsigned char>(random());
        set.frames.push_back(frame);
        set.labels.push_back("clip.gif, frame " + std::to_string(i + 1));
        if (durations) set.durations.push_back(static_cast<unsigned short>(40 * i));
    }
    return set;
}

std::vector<std::string> namesIn(const fs::path& dir) {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(StreamedSource, RowsFormattedAheadGiveTheWholeTextsBytes) {
    const test::TempDir dir;
    for (const FrameSetTarget target : {FrameSetTarget::Any, FrameSetTarget::Avr})
        for (const int frames : {1, 7}) {
            FrameSet set = setOf(frames, target, frames > 1);
            set.attribute = target == FrameSetTarget::Any ? "PROGMEM" : "";
            const int fd = openScratchFile(dir.path.string());
            ASSERT_GE(fd, 0);
            // Two threads, each frame's rows written out of order, as the workers do.
            auto writeFrom = [&](int start) {
                for (int i = frames - 1 - start; i >= 0; i -= 2) {
                    char text[FRAME_ROWS_TEXT_BYTES];
                    formatFrameRows(set.frames[size_t(i)], text);
                    EXPECT_TRUE(writeScratchAt(fd, text, sizeof text,
                                               size_t(i) * FRAME_ROWS_TEXT_BYTES));
                }
            };
            std::thread other(writeFrom, 1);
            writeFrom(0);
            other.join();
            std::ostringstream whole, streamed;
            writeFrameSetSource(whole, set);
            writeFrameSetSource(streamed, set, [&](std::ostream& out, std::size_t frame) {
                EXPECT_TRUE(copyScratchTo(out, fd, frame * FRAME_ROWS_TEXT_BYTES,
                                          FRAME_ROWS_TEXT_BYTES));
            });
            closeScratchFile(fd);
            EXPECT_TRUE(streamed.str() == whole.str()) << frames << " frames";
            std::ostringstream rows;
            writeFrameRows(rows, set.frames[0]);
            EXPECT_EQ(rows.str().size(), FRAME_ROWS_TEXT_BYTES);
        }
    EXPECT_EQ(namesIn(dir.path),
              std::vector<std::string>{});  // the scratch files are gone
}

TEST(StreamedSource, StagedTextKeepsEqualFilesAndLeavesNothingWhenItFails) {
    const test::TempDir dir;
    const std::string path = dir / "set.c";
    const std::string text(3 << 20, 'x');  // more than the stream's buffer
    auto writeText = [&](const std::string& bytes) {
        return [bytes](std::ostream& out) { return bool(out << bytes); };
    };
    auto staged = stageOutputText(path, writeText(text), SameContent::Keep);
    ASSERT_TRUE(staged && commitOutputFile(*staged));
    EXPECT_TRUE(test::readFile(path) == text);

    const auto old = fs::last_write_time(path) - std::chrono::hours(1);
    fs::last_write_time(path, old);
    staged = stageOutputText(path, writeText(text), SameContent::Keep);
    ASSERT_TRUE(staged);
    EXPECT_EQ(staged->temporary, "");
    EXPECT_TRUE(commitOutputFile(*staged));
    EXPECT_EQ(fs::last_write_time(path), old);
    EXPECT_EQ(namesIn(dir.path), std::vector<std::string>{"set.c"});

    // Same length, one byte apart; a prefix of the old bytes; the old bytes a prefix.
    for (const std::string& other :
         {text.substr(0, text.size() - 1) + "y", text.substr(0, text.size() / 2), text}) {
        staged = stageOutputText(path, writeText(other), SameContent::Keep);
        ASSERT_TRUE(staged && commitOutputFile(*staged));
        EXPECT_TRUE(test::readFile(path) == other);
    }

    // A writer that gives up after a part of its bytes reached the file.
    const std::string before = test::readFile(path);
    staged = stageOutputText(
        path, [&](std::ostream& out) { return out << text << text && false; },
        SameContent::Keep);
    EXPECT_FALSE(staged);
    EXPECT_TRUE(test::readFile(path) == before);
    EXPECT_EQ(namesIn(dir.path), std::vector<std::string>{"set.c"});
}

TEST(StreamedSource, AFullDiskGivesWhatItGaveWithoutTheScratchFile) {
    const test::TempDir dir;
    const std::string disk = dir / "disk";
    fs::create_directory(disk);
    if (::geteuid() != 0 || ::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=2m") != 0)
        GTEST_SKIP() << "needs root and a tmpfs mount to make a full disk";
    std::vector<std::string> args = {"--name", "set"};
    for (int i = 0; i < 50; ++i) {
        const std::string name = "p" + std::to_string(i) + ".png";
        cv::imwrite(disk + "/" + name, test::makePicture(40, 30, unsigned(i)));
        args.push_back(name);
    }
    // 30 frames' NAME.c (some 750 KB) fits once, not beside their rows made ahead; 50
    // frames' not at all.
    const std::vector<std::string> thirty(args.begin(), args.begin() + 32);
    const test::RunResult roomy = test::runProgram(EMBED_PATH, thirty, disk);
    const std::string header = test::readFile(disk + "/set.h");
    const std::string source = test::readFile(disk + "/set.c");
    fs::remove(disk + "/set.c");
    const fs::space_info space = fs::space(disk);
    test::writeFile(disk + "/filler", std::string(space.available - (900 << 10), 'x'));
    const test::RunResult fits = test::runProgram(EMBED_PATH, thirty, disk);
    const std::vector<std::string> names = namesIn(disk);
    const bool made = test::readFile(disk + "/set.c") == source;
    const test::RunResult fitsNever = test::runProgram(EMBED_PATH, args, disk);
    const bool kept = test::readFile(disk + "/set.h") == header &&
                      test::readFile(disk + "/set.c") == source;
    const std::vector<std::string> left = namesIn(disk);
    ::umount2(disk.c_str(), MNT_DETACH);
    EXPECT_EQ(roomy.status, 0);
    EXPECT_EQ(fits.status, 0);
    EXPECT_TRUE(made);
    EXPECT_EQ(fitsNever.status, 1);
    EXPECT_EQ(fitsNever.err,
              "grayframe-embed: cannot write './set.c': No space left on device\n");
    EXPECT_TRUE(kept);
    EXPECT_EQ(left, names);
}

}  // namespace
