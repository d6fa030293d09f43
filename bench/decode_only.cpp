// The floor: decodes every file named on the command line as 8-bit colour, as
// grayframe loads its inputs, and does nothing else. Usage: decode_only FILE...
#include <cstdio>
#include <opencv2/imgcodecs.hpp>

int main(int argc, char** argv) {
    int failed = 0;
    for (int i = 1; i < argc; ++i) {
        if (cv::imread(argv[i], cv::IMREAD_COLOR).empty()) ++failed;
    }
    if (failed) std::fprintf(stderr, "%d files could not be decoded\n", failed);
    return failed ? 1 : 0;
}
