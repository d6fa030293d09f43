// Writes a picture of the given size (the tests' gradients, disc and noise) in the
// format that the file name's extension names. Usage: make_picture WIDTH HEIGHT OUTPUT
#include <cstdio>
#include <cstdlib>
#include <opencv2/imgcodecs.hpp>

#include "support.h"

int main(int argc, char** argv) {
    const int width = argc == 4 ? std::atoi(argv[1]) : 0;
    const int height = argc == 4 ? std::atoi(argv[2]) : 0;
    if (width <= 0 || height <= 0) {
        std::fprintf(stderr, "usage: make_picture WIDTH HEIGHT OUTPUT\n");
        return 2;
    }
    return cv::imwrite(argv[3], test::makePicture(width, height)) ? 0 : 1;
}
