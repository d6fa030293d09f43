// Writes a picture of the given size (the tests' gradients, disc and noise) in the
// format that the file name's extension names (OpenEXR with float samples from 0 to 1).
// Usage: make_picture WIDTH HEIGHT OUTPUT
#include <cstdio>
#include <cstdlib>
#include <opencv2/imgcodecs.hpp>
#include <string>

#include "support.h"

int main(int argc, char** argv) {
    const int width = argc == 4 ? std::atoi(argv[1]) : 0;
    const int height = argc == 4 ? std::atoi(argv[2]) : 0;
    if (width <= 0 || height <= 0) {
        std::fprintf(stderr, "usage: make_picture WIDTH HEIGHT OUTPUT\n");
        return 2;
    }
    const std::string output = argv[3];
    cv::Mat picture = test::makePicture(width, height);
    if (output.size() > 4 && output.compare(output.size() - 4, 4, ".exr") == 0)
        picture.convertTo(picture, CV_32F, 1 / 255.0);
    return cv::imwrite(output, picture) ? 0 : 1;
}
