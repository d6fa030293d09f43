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

}  // namespace
