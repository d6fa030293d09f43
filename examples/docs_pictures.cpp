// Image steps for the README's pictures (see scripts/make-pictures.sh):
//   docs_pictures crop INPUT OUTPUT X Y WIDTH HEIGHT   cut a rectangle out of a picture
//   docs_pictures enlarge INPUT OUTPUT FACTOR          scale up, nearest neighbour
#include <cstdio>
#include <cstdlib>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: docs_pictures crop INPUT OUTPUT X Y WIDTH HEIGHT\n"
                 "       docs_pictures enlarge INPUT OUTPUT FACTOR\n");
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

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) return usage();
    const cv::Mat picture = cv::imread(argv[2], cv::IMREAD_UNCHANGED);
    if (picture.empty()) {
        std::fprintf(stderr, "docs_pictures: cannot read %s\n", argv[2]);
        return 1;
    }
    const cv::Mat result = transform(argv[1], picture, argv + 4, argc - 4);
    if (result.empty()) return usage();
    return cv::imwrite(argv[3], result) ? 0 : 1;
}
