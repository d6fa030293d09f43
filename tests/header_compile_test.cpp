// Compiles a generated header as C and as C++ and checks that a program built from
// it sees the same 4080 bytes as the raw stream.
#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include "support.h"

namespace {

const char* const program =
    "#include <stdio.h>\n"
    "#include \"chart.png_out.h\"\n"
    "int main(void) {\n"
    "    if (sizeof c_imgData != 4080) return 3;\n"
    "    return fwrite(c_imgData, 1, sizeof c_imgData, stdout) == 4080 ? 0 : 4;\n"
    "}\n";

TEST(HeaderCompiles, AsCAndCxxWithTheRawBytes) {
    const test::TempDir dir;
    cv::imwrite(dir / "chart.png", test::makePicture(333, 250, 9));
    ASSERT_EQ(test::runGrayframe({"-i", "chart.png"}, dir.path).status, 0);
    const test::RunResult raw = test::runGrayframe({"-i", "chart.png", "-printdata"}, dir.path);
    ASSERT_EQ(raw.out.size(), 4080u);
    test::writeFile(dir / "main.c", program);
    test::writeFile(dir / "main.cpp", program);

    const struct {
        std::string compiler, standard, source;
    } builds[] = {{C_COMPILER, "-std=c99", "main.c"}, {CXX_COMPILER, "-std=c++17", "main.cpp"}};
    for (const auto& build : builds) {
        SCOPED_TRACE(build.compiler + " " + build.standard);
        const test::RunResult compile = test::runProgram(
            build.compiler,
            {build.standard, "-Wall", "-Wextra", "-pedantic", build.source, "-o", "reader"},
            dir.path);
        ASSERT_EQ(compile.status, 0) << compile.err;
        EXPECT_EQ(test::unexpectedWarnings(compile.err), "");
        const test::RunResult read = test::runProgram(dir / "reader", {}, dir.path);
        EXPECT_EQ(read.status, 0);
        EXPECT_EQ(read.out, raw.out);
    }
}

// The two ways docs/frame-sets.md gives to put several such headers into one program.
TEST(HeaderCompiles, SeveralInOneProgramBothWays) {
    const test::TempDir dir;
    cv::imwrite(dir / "logo.png", test::makePicture(200, 150, 3));
    cv::imwrite(dir / "walk.png", test::makePicture(80, 120, 4));
    ASSERT_EQ(test::runGrayframe({"-i", "logo.png", "-i", "walk.png"}, dir.path).status, 0);
    const std::string raw =
        test::runGrayframe({"-printdata", "-i", "logo.png", "-i", "walk.png"}, dir.path).out;
    const std::string print =
        "int main(void) {\n"
        "    fwrite(logo, 1, 4080, stdout);\n"
        "    return fwrite(walk, 1, 4080, stdout) == 4080 ? 0 : 1;\n"
        "}\n";
    test::writeFile(dir / "extern.c",
                    "#include <stdio.h>\n"
                    "extern const unsigned char logo[4080];\n"
                    "extern const unsigned char walk[4080];\n" + print);
    test::writeFile(dir / "renamed.c",
                    "#include <stdio.h>\n"
                    "#define c_imgData logo\n"
                    "#include \"logo.png_out.h\"\n"
                    "#undef c_imgData\n"
                    "#undef _IMAGE_DATA_\n"
                    "#define c_imgData walk\n"
                    "#include \"walk.png_out.h\"\n"
                    "#undef c_imgData\n" + print);
    const std::vector<std::vector<std::string>> steps = {
        {"-x", "c", "-Dc_imgData=logo", "-c", "logo.png_out.h", "-o", "logo.o"},
        {"-x", "c", "-Dc_imgData=walk", "-c", "walk.png_out.h", "-o", "walk.o"},
        {"extern.c", "logo.o", "walk.o", "-o", "extern"},
        {"renamed.c", "-o", "renamed"}};
    for (std::vector<std::string> args : steps) {
        args.insert(args.begin(), {"-std=c99", "-Wall", "-Wextra", "-pedantic"});
        const test::RunResult compile = test::runProgram(C_COMPILER, args, dir.path);
        ASSERT_EQ(compile.status, 0) << compile.err;
        EXPECT_EQ(test::unexpectedWarnings(compile.err), "");
    }
    EXPECT_EQ(test::runProgram(dir / "extern", {}, dir.path).out, raw);
    EXPECT_EQ(test::runProgram(dir / "renamed", {}, dir.path).out, raw);
}

// A compressed set's header alone, as its comment says to take a frame, declares the
// decoder too, in C and C++.
TEST(HeaderCompiles, ACompressedSetsHeaderAlone) {
    const test::TempDir dir;
    cv::imwrite(dir / "logo.png", test::makePicture(200, 150, 3));
    ASSERT_EQ(test::runProgram(EMBED_PATH, {"--name", "logo", "--compress", "logo.png"},
                               dir.path)
                  .status,
              0);
    const std::string source =
        "#include \"logo.h\"\n"
        "int first_row(unsigned char *row) {\n"
        "    grayframe_decoder decoder;\n"
        "    grayframe_open(&decoder, logo_code, LOGO_CODE_BYTES);\n"
        "    grayframe_rows_begin(&decoder, 0);\n"
        "    return grayframe_rows_next(&decoder, row);\n"
        "}\n";
    test::writeFile(dir / "first.c", source);
    test::writeFile(dir / "first.cpp", source);
    for (const auto& build : {std::pair<std::string, std::string>{C_COMPILER, "first.c"},
                              {CXX_COMPILER, "first.cpp"}}) {
        const test::RunResult compile = test::runProgram(
            build.first,
            {"-Wall", "-Wextra", "-pedantic", "-I", FIRMWARE_DIR, "-c", build.second},
            dir.path);
        EXPECT_EQ(compile.status, 0) << build.first << ":\n" << compile.err;
    }
}

}  // namespace
