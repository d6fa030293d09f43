// Runs grayframe-embed as a process and builds programs from what it writes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <algorithm>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>

#include "support.h"

namespace {

namespace fs = std::filesystem;

test::RunResult runEmbed(const std::vector<std::string>& args, const std::string& dir) {
    return test::runProgram(EMBED_PATH, args, dir);
}

// Compiles sources in dir with flags, warnings as errors, and links them into
// "program" unless flags hold "-c".
void build(const std::string& compiler, std::vector<std::string> flags,
           const std::vector<std::string>& sources, const std::string& dir) {
    if (std::find(flags.begin(), flags.end(), "-c") == flags.end())
        flags.insert(flags.end(), {"-o", "program"});
    flags.insert(flags.end(), {"-Wall", "-Wextra", "-Wpedantic", "-Werror"});
    flags.insert(flags.end(), sources.begin(), sources.end());
    const test::RunResult compile = test::runProgram(compiler, flags, dir);
    ASSERT_EQ(compile.status, 0) << compiler << ":\n" << compile.err;
}

std::string runBuilt(const std::string& dir) {
    const test::RunResult run = test::runProgram(dir + "/program", {}, dir);
    EXPECT_EQ(run.status, 0);
    return run.out;
}

std::string rawStream(const std::string& mode, const std::vector<std::string>& inputs,
                      const std::string& dir) {
    std::vector<std::string> args = {"-resizemode", mode, "-printdata"};
    for (const std::string& input : inputs) args.insert(args.end(), {"-i", input});
    return test::runGrayframe(args, dir).out;
}

const char* const printSets =
    "#include <stdio.h>\n"
    "#include \"logo.h\"\n"
    "#include \"walk.h\"\n"
    "int main(void) {\n"
    "    fwrite(logo, 1, sizeof logo, stdout);\n"
    "    fwrite(walk, LOGO_FRAME_BYTES, WALK_FRAME_COUNT, stdout);\n"
    "    return sizeof logo == LOGO_FRAME_COUNT * 4080u && WALK_FRAME_COUNT == 4 ? 0 : "
    "1;\n"
    "}\n";

// Pictures in several formats and sizes, a three-page TIFF among them, and each of
// its later pages alone as a PNG, so that grayframe can make the same frames.
void writePictures(const test::TempDir& dir) {
    cv::imwrite(dir / "a.png", test::makePicture(300, 200, 1));
    cv::imwrite(dir / "b.jpg", test::makePicture(90, 160, 2));
    const std::vector<cv::Mat> pages = {test::makePicture(120, 90, 3),
                                        test::makePicture(64, 200, 4),
                                        test::makePicture(203, 81, 5)};
    cv::imwritemulti(dir / "pages.tif", pages);
    cv::imwrite(dir / "page2.png", pages[1]);
    cv::imwrite(dir / "page3.png", pages[2]);
}

TEST(Embed, FramesAreTheRawStreamsBytesInEveryModeAsC89C99AndCxx17) {
    const test::TempDir dir;
    writePictures(dir);
    test::writeFile(dir / "main.c", printSets);
    test::writeFile(dir / "main.cpp", printSets);
    for (const std::string mode : {"fitin", "fitout", "stretch"}) {
        SCOPED_TRACE(mode);
        ASSERT_EQ(runEmbed({"--name", "logo", "--mode", mode, "a.png"}, dir.path).status,
                  0);
        const test::RunResult walk =
            runEmbed({"-n", "walk", "-m", mode, "--attribute",
                      "__attribute__((aligned(4)))", "b.jpg", "pages.tif"},
                     dir.path);
        ASSERT_EQ(walk.status, 0) << walk.err;
        EXPECT_EQ(walk.out + walk.err, "");
        const std::string expected = rawStream(
            mode, {"a.png", "b.jpg", "pages.tif", "page2.png", "page3.png"}, dir.path);
        ASSERT_EQ(expected.size(), 5 * 4080u);

        build(C_COMPILER, {"-std=c89"}, {"main.c", "logo.c", "walk.c"}, dir.path);
        EXPECT_EQ(runBuilt(dir.path), expected);
        if (mode != "fitin") continue;
        // C sets in a C++ program, and the same files compiled as C++.
        build(C_COMPILER, {"-std=c99", "-c"}, {"logo.c", "walk.c"}, dir.path);
        build(CXX_COMPILER, {"-std=c++17"}, {"main.cpp", "logo.o", "walk.o"}, dir.path);
        EXPECT_EQ(runBuilt(dir.path), expected);
        build(CXX_COMPILER, {"-std=c++17"}, {"main.cpp", "-x", "c++", "logo.c", "walk.c"},
              dir.path);
        EXPECT_EQ(runBuilt(dir.path), expected);
    }
}

// Two sets whose names differ only in case build into one program.
TEST(Embed, NamesDifferingInCaseGiveSetsThatBuildTogether) {
    const test::TempDir dir;
    writePictures(dir);
    ASSERT_EQ(runEmbed({"--name", "logo", "a.png"}, dir.path).status, 0);
    ASSERT_EQ(runEmbed({"--name", "Logo", "b.jpg"}, dir.path).status, 0);
    test::writeFile(dir / "main.c",
                    "#include <stdio.h>\n#include \"logo.h\"\n#include \"Logo.h\"\n"
                    "int main(void) {\n"
                    "    fwrite(logo, 1, sizeof logo, stdout);\n"
                    "    fwrite(Logo, 1, sizeof Logo, stdout);\n"
                    "    return 0;\n}\n");
    build(C_COMPILER, {"-std=c99"}, {"main.c", "logo.c", "Logo.c"}, dir.path);
    EXPECT_EQ(runBuilt(dir.path), rawStream("fitin", {"a.png", "b.jpg"}, dir.path));
}

// --files-from adds the images it lists (a line each, LF or CR LF, from a file or
// standard input) after those on the command line: the same files as all on it.
TEST(Embed, ImagesListedInAFileAreTakenAsGiven) {
    const test::TempDir dir;
    writePictures(dir);
    fs::rename(dir / "b.jpg", dir / "b c.jpg");
    ASSERT_EQ(runEmbed({"-n", "set", "a.png", "b c.jpg", "pages.tif"}, dir.path).status,
              0);
    const std::string header = test::readFile(dir / "set.h");
    const std::string source = test::readFile(dir / "set.c");
    test::writeFile(dir / "list.txt", "b c.jpg\r\n\npages.tif\n");
    for (const std::string list : {"list.txt", "-"}) {
        SCOPED_TRACE(list);
        fs::remove(dir / "set.h");
        fs::remove(dir / "set.c");
        const test::RunResult run = test::runProgram(
            "/bin/sh",
            {"-c", "exec \"$0\" -n set a.png --files-from " + list + " <list.txt",
             EMBED_PATH},
            dir.path);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(test::readFile(dir / "set.h"), header);
        EXPECT_EQ(test::readFile(dir / "set.c"), source);
    }
}

// A compressed set, made without a word, compiled with the decoder: every frame, decoded
// alone, is the raw stream's; a picture repeated costs next to nothing.
TEST(Embed, CompressedSetDecodesToTheRawStream) {
    const test::TempDir dir;
    writePictures(dir);
    test::writeFile(dir / "main.c",
                    "#include <stdio.h>\n"
                    "#include \"grayframe_decode.h\"\n"
                    "#include \"walk.h\"\n"
                    "typedef char small[WALK_CODE_BYTES < 5 * 4096 ? 1 : -1];\n"
                    "int main(void) {\n"
                    "    static unsigned char frame[WALK_FRAME_BYTES];\n"
                    "    grayframe_decoder d;\n"
                    "    unsigned k = WALK_FRAME_COUNT;\n"
                    "    if (grayframe_open(&d, walk_code, WALK_CODE_BYTES)) return 1;\n"
                    "    while (k--)  /* last first: each frame alone */\n"
                    "        if (grayframe_decode_frame(&d, k, frame, 0)\n"
                    "            || fwrite(frame, 1, sizeof frame, stdout) != sizeof frame)\n"
                    "            return 1;\n"
                    "    return 0;\n"
                    "}\n");
    const std::vector<std::string> pictures = {"a.png", "a.png", "b.jpg", "pages.tif"};
    std::vector<std::string> args = {"--name", "walk", "--compress"};
    args.insert(args.end(), pictures.begin(), pictures.end());
    const test::RunResult embed = runEmbed(args, dir.path);
    ASSERT_EQ(embed.status, 0) << embed.err;
    EXPECT_EQ(embed.out + embed.err, "") << "quiet";
    build(C_COMPILER, {"-std=c89", "-I" + std::string(FIRMWARE_DIR)},
          {"main.c", "walk.c", std::string(FIRMWARE_DIR) + "/grayframe_decode.c"}, dir.path);
    const test::RunResult run = test::runProgram(dir / "program", {}, dir.path);
    ASSERT_EQ(run.status, 0);
    const std::string expected = rawStream(
        "fitin", {"a.png", "a.png", "b.jpg", "pages.tif", "page2.png", "page3.png"}, dir.path);
    ASSERT_EQ(expected.size(), 6 * 4080u);
    std::string reversed;
    for (size_t k = 6; k-- > 0;) reversed += expected.substr(k * 4080, 4080);
    EXPECT_EQ(run.out, reversed);
    // Without --target the set is coded with no limit on a frame's cycles, for AVR
    // within 32000 unless asked; the header says which.
    const auto says = [&](const std::vector<std::string>& more, const std::string& text) {
        std::vector<std::string> again = {"--name", "walk", "--compress", "a.png"};
        again.insert(again.end(), more.begin(), more.end());
        EXPECT_EQ(runEmbed(again, dir.path).status, 0);
        return test::readFile(dir / "walk.h").find(text) != std::string::npos;
    };
    EXPECT_TRUE(says({}, "no limit on the cycles"));
    EXPECT_TRUE(says({"--cycles", "40000"}, "within 40000 CPU cycles"));
    EXPECT_TRUE(says({"--target", "avr", "--cycles", "0"}, "no limit on the cycles"));
    EXPECT_TRUE(says({"--target", "avr"}, "within 32000 CPU cycles"));
}

struct Snapshot {
    std::vector<std::string> names, contents;
    std::vector<long> mtimes;
    bool operator==(const Snapshot& other) const {
        return names == other.names && contents == other.contents &&
               mtimes == other.mtimes;
    }
};

Snapshot snapshot(const test::TempDir& dir) {
    Snapshot shot;
    std::vector<fs::path> paths(fs::directory_iterator(dir.path), {});
    std::sort(paths.begin(), paths.end());
    for (const fs::path& path : paths) {
        struct stat status {};
        ::stat(path.c_str(), &status);
        shot.names.push_back(path.filename());
        shot.contents.push_back(test::readFile(path));
        shot.mtimes.push_back(status.st_mtim.tv_sec * 1000000000L +
                              status.st_mtim.tv_nsec);
    }
    return shot;
}

void ageOutputs(const test::TempDir& dir) {
    const utimbuf past{1000000000, 1000000000};
    for (const std::string name : {"set.h", "set.c"})
        ::utime((dir / name).c_str(), &past);
}

TEST(Embed, AnyFailureExitsWithOneLineAndChangesNoFile) {
    const test::TempDir dir;
    writePictures(dir);
    const std::string png = test::readFile(dir / "a.png");
    test::writeFile(dir / "cut.png", png.substr(0, png.size() / 2));
    ASSERT_EQ(runEmbed({"--name", "set", "a.png", "b.jpg"}, dir.path).status, 0);
    ageOutputs(dir);
    const Snapshot before = snapshot(dir);

    const std::string prefix = "grayframe-embed: ";
    const struct {
        std::vector<std::string> args;
        std::string message;
    } failures[] = {
        {{"--name", "set", "a.png", "cut.png", "b.jpg"},
         "cannot read image 'cut.png': damaged, too large, or not a picture format this "
         "program reads\n"},
        {{"--name", "set", "a.png", "gone.png"},
         "cannot read image 'gone.png': No such file or directory\n"},
        {{"--name", "set", "-o", "nowhere", "a.png"},
         "cannot write into 'nowhere': No such file or directory\n"},
        {{"--name", "2set", "a.png"},
         "'2set' cannot name a C array (letters, digits and _, not first a digit, not a "
         "keyword)\n"},
        {{"--name", "__attribute__", "a.png"},
         "'__attribute__' cannot name a C array (letters, digits and _, not first a "
         "digit, not a keyword)\n"},
        {{"--name", "_Set", "a.png"},
         "'_Set' cannot name a C array (letters, digits and _, not first a digit, not a "
         "keyword)\n"},
        {{"--name", "set", "--files-from", "gone.txt"},
         "cannot read the list 'gone.txt': No such file or directory\n"},
        {{"--name", "set", "--colour", "a.png"},
         "unknown option '--colour' (see grayframe-embed --help)\n"},
        {{"--name", "set", "--target", "arm", "a.png"},
         "unknown target 'arm' (see grayframe-embed --help)\n"},
        {{"--name", "set", "--target", "avr", "--attribute", "PROGMEM", "a.png"},
         "--attribute cannot be used with --target avr (see grayframe-embed --help)\n"},
        {{"--name", "set", "--compress", "--cycles", "20000", "a.png"},
         "--cycles takes 0 (no limit) or a whole number of cycles from 32000, not "
         "'20000' (see grayframe-embed --help)\n"},
        {{"--name", "set", "--cycles", "0", "a.png"},
         "--cycles needs --compress (see grayframe-embed --help)\n"},
        {{"--name", "set", "--dither", "random", "a.png"},
         "--dither takes ordered or diffusion, not 'random' (see grayframe-embed "
         "--help)\n"},
        {{"--name", "set", "--gamma", "1/0", "a.png"},
         "--gamma takes a number from 0.1 to 10 such as 2.2 or 1/2.2, not '1/0' (see "
         "grayframe-embed --help)\n"},
    };
    for (const auto& failure : failures) {
        const test::RunResult run = runEmbed(failure.args, dir.path);
        EXPECT_EQ(run.status, 1) << failure.message;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, prefix + failure.message);
        EXPECT_TRUE(snapshot(dir) == before) << failure.message;
    }
    // Unchanged bytes leave the files alone; a changed picture changes only NAME.c.
    EXPECT_EQ(runEmbed({"--name", "set", "a.png", "b.jpg"}, dir.path).status, 0);
    EXPECT_TRUE(snapshot(dir) == before);
    cv::imwrite(dir / "a.png", test::makePicture(300, 200, 6));
    EXPECT_EQ(runEmbed({"--name", "set", "a.png", "b.jpg"}, dir.path).status, 0);
    const Snapshot after = snapshot(dir);
    ASSERT_EQ(after.names, before.names);
    for (size_t i = 0; i < after.names.size(); ++i) {
        const bool changed = after.names[i] == "set.c" || after.names[i] == "a.png";
        EXPECT_EQ(after.mtimes[i] != before.mtimes[i], changed) << after.names[i];
    }
    // The files depend on the pictures and options only, not on where they lie.
    fs::create_directory(dir.path / "elsewhere");
    EXPECT_EQ(runEmbed({"--name", "set", dir / "a.png", dir / "b.jpg"}, dir / "elsewhere")
                  .status,
              0);
    for (const std::string name : {"set.h", "set.c"})
        EXPECT_EQ(test::readFile(dir / ("elsewhere/" + name)),
                  test::readFile(dir / name));
    // Another mode or other picture names change NAME.c, not what includes NAME.h.
    const std::string sourceBefore = test::readFile(dir / "set.c");
    const fs::file_time_type headerTime = fs::last_write_time(dir / "set.h");
    fs::copy_file(dir / "b.jpg", dir / "c.jpg");
    EXPECT_EQ(runEmbed({"-n", "set", "-m", "stretch", "a.png", "c.jpg"}, dir.path).status,
              0);
    EXPECT_NE(test::readFile(dir / "set.c"), sourceBefore);
    EXPECT_EQ(fs::last_write_time(dir / "set.h"), headerTime);
}

// The bytes of the first frame in a set's NAME.c.
std::string firstFrame(const std::string& source) {
    std::string bytes;
    for (size_t at = source.find("0x", source.find("= {")); bytes.size() < 4080;
         at = source.find("0x", at + 4))
        bytes += static_cast<char>(std::stoi(source.substr(at + 2, 2), nullptr, 16));
    return bytes;
}

TEST(Embed, DisplayOptionsActInTheirOrderAndAreListed) {
    // Red left, black right, at the frame's size: nothing is resized.
    const test::TempDir dir;
    cv::Mat picture(80, 102, CV_8UC3, cv::Scalar(0, 0, 0));
    picture.colRange(0, 51).setTo(cv::Scalar(0, 0, 255));
    cv::imwrite(dir / "half.png", picture);
    const test::RunResult run = runEmbed(
        {"--name", "panel", "-m", "stretch", "--nibbles", "low-first", "--rotate", "180",
         "--invert", "--levels", "round", "--gray", "luma", "half.png"},
        dir.path);
    ASSERT_EQ(run.status, 0) << run.err;
    // Red: 76 -> round(4.47) = 4 -> inverted 11; black -> 15; turned: black left. The
    // pair of x = 50 and 51 is black (15) left, red (11) right, low nibble first.
    std::string row(25, '\xff');
    row += '\xbf';
    row += std::string(25, '\xbb');
    std::string expected;
    for (int y = 0; y < 80; ++y) expected += row;
    EXPECT_TRUE(firstFrame(test::readFile(dir / "panel.c")) == expected);
    const std::string source = test::readFile(dir / "panel.c");
    EXPECT_NE(source.find("mode stretch,\n * options --gray luma --levels round --invert "
                          "--rotate 180\n *   --nibbles low-first, from:\n"),
              std::string::npos)
        << source;
    for (const std::string file : {"panel.h", "panel.c"})
        EXPECT_NE(test::readFile(dir / file).find("level (0 to 15) in the low nibble."),
                  std::string::npos)
            << file;

    // --gamma 1/2.2 darkens the middle: round(15 * (76 / 255)^2.2) = 1.
    ASSERT_EQ(runEmbed({"--name", "dark", "--gray", "luma", "--levels", "round",
                        "--gamma", "1/2.2", "-m", "stretch", "half.png"},
                       dir.path)
                  .status,
              0);
    EXPECT_EQ(firstFrame(test::readFile(dir / "dark.c"))[0], '\x11');
}

// For avr-gcc: raw and compressed sets past an AVR's 32 KiB object limit compile clean
// as C89, C99 and C++ for a part with far program memory and one without, and no
// array is declared that a plain C read could take from RAM instead.
TEST(Embed, AvrSetsOfAnyLengthCompileCleanAndDeclareNoArray) {
    const std::string avrGcc = AVR_GCC;
    if (avrGcc.find("NOTFOUND") != std::string::npos) GTEST_SKIP() << "no avr-gcc";
    const test::TempDir dir;
    writePictures(dir);
    std::vector<std::string> pictures;
    for (int i = 0; i < 3; ++i)
        pictures.insert(pictures.end(), {"a.png", "b.jpg", "pages.tif"});  // 15 frames
    for (const bool compressed : {false, true}) {
        SCOPED_TRACE(compressed ? "compressed" : "raw");
        std::vector<std::string> args = {"--name", "walk", "--target", "avr"};
        // Compressed, with durations too: they compile as cleanly.
        if (compressed) args.insert(args.end(), {"--compress", "--still-ms", "1000"});
        args.insert(args.end(), pictures.begin(), pictures.end());
        const test::RunResult made = runEmbed(args, dir.path);
        ASSERT_EQ(made.status, 0) << made.err;
        const std::string include = "-I" + std::string(FIRMWARE_DIR);
        for (const std::string mcu : {"-mmcu=atmega2560", "-mmcu=atmega328p"})
            for (const std::string language : {"-std=c89", "-std=c99", "-xc++"})
                build(avrGcc, {mcu, language, "-Os", include, "-c"}, {"walk.c"}, dir.path);
        test::writeFile(dir / "reads_ram.c",
                        "#include \"walk.h\"\n"
                        "unsigned char first(void) { return walk[0][0]; }\n");
        const test::RunResult plain = test::runProgram(
            avrGcc, {"-mmcu=atmega2560", include, "-c", "reads_ram.c"}, dir.path);
        EXPECT_NE(plain.status, 0) << "a plain read of the set compiles";
    }
}

}  // namespace
