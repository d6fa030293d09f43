// Image steps for the README's pictures (see scripts/make-pictures.sh):
//   docs_pictures crop INPUT OUTPUT X Y WIDTH HEIGHT   cut a rectangle out of a picture
//   docs_pictures enlarge INPUT OUTPUT FACTOR          scale up, nearest neighbour
//   docs_pictures unpack SET.c OUTPUT                  the first frame of a frame set
//                                                      as gray, samples level * 16
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <sstream>
#include <string>

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: docs_pictures crop INPUT OUTPUT X Y WIDTH HEIGHT\n"
                 "       docs_pictures enlarge INPUT OUTPUT FACTOR\n"
                 "       docs_pictures unpack SET.c OUTPUT\n");
    return 2;
}

// The picture cut or enlarged as the arguments after INPUT OUTPUT say; empty on error.
cv::Mat transform(const std::string& step, const cv::Mat& picture, char** args,
                  int count) {
    if (step == "crop" && count == 4) {
        const cv::Rect rect(std::atoi(args[0]), std::atoi(args[1]), std::atoi(args[2]),
                            std::atoi(args[3]));
        if ((rect & cv::Rect({}, picture.size())) != rect || rect.empty()) return {};
        return picture(rect).clone();
    }
    if (step == "enlarge" && count == 1) {
        const int factor = std::atoi(args[0]);
        if (factor < 1) return {};
        cv::Mat large;
        cv::resize(picture, large, {}, factor, factor, cv::INTER_NEAREST);
        return large;
    }
    return {};
}

// The first 102 x 80 frame written in a grayframe-embed NAME.c (left pixel in the high
// nibble); empty when the text holds fewer bytes.
cv::Mat unpack(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    const std::string source = text.str();
    cv::Mat frame(80, 102, CV_8UC1);
    size_t at = source.find("= {");
    for (int i = 0; i < 4080; ++i) {
        at = source.find("0x", at);
        if (at == std::string::npos) return {};
        const int byte = std::stoi(source.substr(at + 2, 2), nullptr, 16);
        frame.at<uchar>(2 * i) = static_cast<uchar>(byte & 0xF0);
        frame.at<uchar>(2 * i + 1) = static_cast<uchar>(byte << 4);
        at += 2;
    }
    return frame;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) return usage();
    if (std::string(argv[1]) == "unpack") {
        const cv::Mat frame = unpack(argv[2]);
        if (argc != 4 || frame.empty()) return usage();
        return cv::imwrite(argv[3], frame) ? 0 : 1;
    }
    const cv::Mat picture = cv::imread(argv[2], cv::IMREAD_UNCHANGED);
    if (picture.empty()) {
        std::fprintf(stderr, "docs_pictures: cannot read %s\n", argv[2]);
        return 1;
    }
    const cv::Mat result = transform(argv[1], picture, argv + 4, argc - 4);
    if (result.empty()) return usage();
    return cv::imwrite(argv[3], result) ? 0 : 1;
}
