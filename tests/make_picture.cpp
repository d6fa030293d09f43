// Writes a picture of the given size, gradients and noise, in the format that the
// file name's extension names. Usage: make_picture WIDTH HEIGHT OUTPUT
#include <cstdio>
#include <cstdlib>
#include <opencv2/imgcodecs.hpp>

int main(int argc, char** argv) {
    const int width = argc == 4 ? std::atoi(argv[1]) : 0;
    const int height = argc == 4 ? std::atoi(argv[2]) : 0;
    if (width <= 0 || height <= 0) {
        std::fprintf(stderr, "usage: make_picture WIDTH HEIGHT OUTPUT\n");
        return 2;
    }
    cv::Mat picture(height, width, CV_8UC3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.at<cv::Vec3b>(y, x) = {static_cast<uchar>(x * 255 / width),
                                           static_cast<uchar>(y * 255 / height),
                                           static_cast<uchar>((x + y) * 3)};
    cv::Mat noise(height, width, CV_8UC3);
    cv::randu(noise, 0, 40);
    picture += noise;
    return cv::imwrite(argv[3], picture) ? 0 : 1;
}
