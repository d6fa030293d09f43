// SPDX-License-Identifier: Apache-2.0
// How close the frames of each display option come to the ideal frame (the 8-bit gray
// frame before quantization, red weighed as red), as seen from arm's length: both
// blurred by a Gaussian of sigma 1 frame pixel, then compared as PSNR over the frame
// (fitout, so the picture fills it). Prints a Markdown table.
// Usage: display_quality PICTURE...
#include <cmath>
#include <cstdio>
#include <iterator>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

#include "frame/display_steps.h"

namespace {

struct Variant {
    const char* name;
    DisplayOptions options;
};

DisplayOptions withSteps(GrayWeights gray, Quantizer quantizer) {
    DisplayOptions options;
    options.gray = gray;
    options.quantizer = quantizer;
    return options;
}

const std::vector<Variant> variants = {
    {"default", {}},
    {"--gray luma", withSteps(GrayWeights::Luma, Quantizer::UpperBits)},
    {"--gray luma --levels round", withSteps(GrayWeights::Luma, Quantizer::Round)},
    {"--gray luma --dither ordered", withSteps(GrayWeights::Luma, Quantizer::Ordered)},
    {"--gray luma --dither diffusion",
     withSteps(GrayWeights::Luma, Quantizer::Diffusion)},
};

// What the table compares: a variant's gain in dB over another, and the gain wanted.
struct Gain {
    const char* name;
    int variant, over;
    double wanted;
};

const Gain gains[] = {
    {"rounding (luma round over luma)", 2, 1, 5},
    {"ordered over luma round", 3, 2, 4},
    {"diffusion over luma round", 4, 2, 8},
    {"luma round over default", 2, 0, 0},
};

cv::Mat seen(const cv::Mat& samples) {
    cv::Mat blurred;
    cv::GaussianBlur(samples, blurred, {0, 0}, 1.0, 1.0, cv::BORDER_REFLECT);
    return blurred;
}

// The light of each level, 0 to 255, as floats.
cv::Mat light(const cv::Mat& levels) {
    cv::Mat out;
    cv::Mat(levels / 16).convertTo(out, CV_32F, 255.0 / 15);
    return out;
}

double psnr(const cv::Mat& a, const cv::Mat& b) {
    const double mse = cv::norm(a, b, cv::NORM_L2SQR) / a.total();
    return 10 * std::log10(255.0 * 255.0 / mse);
}

std::string baseName(const std::string& path) {
    return path.substr(path.find_last_of('/') + 1);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: display_quality PICTURE...\n");
        return 2;
    }
    std::printf("| picture |");
    for (const Variant& variant : variants) std::printf(" `%s` |", variant.name);
    for (const Gain& gain : gains) std::printf(" %s |", gain.name);
    std::printf("\n|---|");
    for (size_t i = 0; i < variants.size() + std::size(gains); ++i) std::printf("---:|");
    std::printf("\n");
    std::vector<double> means(variants.size());
    for (int i = 1; i < argc; ++i) {
        const cv::Mat image = cv::imread(argv[i], cv::IMREAD_COLOR);
        if (image.empty()) {
            std::fprintf(stderr, "display_quality: cannot read %s\n", argv[i]);
            return 1;
        }
        cv::Mat ideal;
        reduceToGray(image, fitRegions(image.cols, image.rows, FitOut), GrayWeights::Luma)
            .convertTo(ideal, CV_32F);
        ideal = seen(ideal);
        std::vector<double> db;
        for (const Variant& variant : variants)
            db.push_back(psnr(
                ideal, seen(light(makeDisplayFrame(image, FitOut, variant.options)))));
        std::printf("| %s |", baseName(argv[i]).c_str());
        for (size_t v = 0; v < db.size(); ++v) {
            std::printf(" %.1f dB |", db[v]);
            means[v] += db[v] / (argc - 1);
        }
        for (const Gain& gain : gains)
            std::printf(" %+.1f dB |", db[gain.variant] - db[gain.over]);
        std::printf("\n");
    }
    std::printf("| **mean** |");
    for (double mean : means) std::printf(" %.1f dB |", mean);
    bool met = true;
    for (const Gain& gain : gains) {
        const double value = means[gain.variant] - means[gain.over];
        std::printf(" **%+.1f dB**", value);
        if (gain.wanted > 0)
            std::printf(" (target %+.0f dB: %s)", gain.wanted,
                        value >= gain.wanted ? "met" : "NOT MET");
        std::printf(" |");
        met = met && value >= gain.wanted;
    }
    std::printf("\n");
    return met ? 0 : 1;
}
