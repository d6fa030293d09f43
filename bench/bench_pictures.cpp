// Writes the benchmark's pictures into DIR: photo.png and drawing.png (512 x 512), the
// photo also as photo.exr (float samples) and photo.jp2, big.jpg (6000 x 4000) and
// batch/NNN.jpg|png, a few hundred photo-like pictures from thumbnails to 6000 x 4000,
// listed with absolute paths in batch.txt, smallest first; mixed.txt lists 38 of them,
// of every size, in a shuffled order, five times over.
// Usage: bench_pictures DIR
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

namespace {

struct Batch {
    int count, width, height;
    const char* extension;
};

// Upscaled random samples: smooth fields when cells is small, texture when large.
cv::Mat field(int width, int height, int cells, int amplitude, cv::RNG& rng) {
    cv::Mat coarse(std::max(2, height * cells / width), cells, CV_8UC3);
    rng.fill(coarse, cv::RNG::UNIFORM, 0, amplitude);
    cv::Mat smooth;
    cv::resize(coarse, smooth, {width, height}, 0, 0, cv::INTER_CUBIC);
    return smooth;
}

// Broad colour areas, texture, a few shapes and sensor-like noise: compresses and
// decodes about like a photo of the same size.
cv::Mat photoLike(int width, int height, cv::RNG& rng) {
    cv::Mat picture = field(width, height, 6, 200, rng);
    picture += field(width, height, std::max(2, width / 8), 56, rng);
    for (int i = 0; i < 12; ++i) {
        const cv::Point centre(rng.uniform(0, width), rng.uniform(0, height));
        const int radius = rng.uniform(1, std::max(2, std::min(width, height) / 6));
        cv::circle(
            picture, centre, radius,
            cv::Scalar(rng.uniform(0, 256), rng.uniform(0, 256), rng.uniform(0, 256)), 3,
            cv::LINE_AA);
    }
    cv::Mat noise(height, width, CV_8UC3);
    rng.fill(noise, cv::RNG::NORMAL, 0, 8);
    cv::add(picture, noise, picture);
    return picture;
}

// Flat colours, outlines and text, as in a logo or an interface graphic.
cv::Mat drawing(int width, int height) {
    cv::Mat picture(height, width, CV_8UC3, cv::Scalar(240, 236, 230));
    cv::rectangle(picture, cv::Rect(0, 0, width, height / 5), cv::Scalar(120, 60, 20),
                  cv::FILLED);
    cv::circle(picture, {width / 3, height / 2}, width / 5, cv::Scalar(30, 30, 210),
               cv::FILLED, cv::LINE_AA);
    cv::rectangle(picture, cv::Rect(width / 2, height / 3, width / 3, height / 3),
                  cv::Scalar(40, 170, 60), 6, cv::LINE_AA);
    cv::putText(picture, "grayframe", {width / 10, height * 9 / 10},
                cv::FONT_HERSHEY_SIMPLEX, width / 300.0, cv::Scalar(20, 20, 20), 3,
                cv::LINE_AA);
    return picture;
}

const Batch batches[] = {{150, 160, 120, "jpg"},  {20, 256, 256, "png"},
                         {80, 640, 480, "jpg"},   {30, 1920, 1080, "jpg"},
                         {12, 4032, 3024, "jpg"}, {8, 6000, 4000, "jpg"}};

bool write(const std::string& path, const cv::Mat& picture) {
    return cv::imwrite(path, picture, {cv::IMWRITE_JPEG_QUALITY, 90});
}

// How many of each size of the batch (in its order) the mixed set takes.
const int mixedCounts[] = {12, 4, 8, 7, 4, 3};

bool writeMixed(const std::filesystem::path& dir) {
    std::ifstream batch(dir / "batch.txt");
    std::vector<std::string> files;
    for (std::string file; std::getline(batch, file);) files.push_back(file);
    std::vector<std::string> chosen;
    size_t first = 0, size = 0;
    for (const Batch& kind : batches) {
        for (int i = 0; i < mixedCounts[size] && first + i < files.size(); ++i)
            chosen.push_back(files[first + i]);
        first += kind.count;
        ++size;
    }
    std::shuffle(chosen.begin(), chosen.end(), std::mt19937(7));
    std::ofstream mixed(dir / "mixed.txt");
    for (int round = 0; round < 5; ++round)
        for (const std::string& file : chosen) mixed << file << '\n';
    return chosen.size() == 38 && mixed.good();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_pictures DIR\n");
        return 2;
    }
    const std::filesystem::path dir = std::filesystem::absolute(argv[1]);
    std::filesystem::create_directories(dir / "batch");
    cv::RNG rng(2024);
    const cv::Mat photo = photoLike(512, 512, rng);
    cv::Mat floatPhoto;
    photo.convertTo(floatPhoto, CV_32F, 1 / 255.0);
    bool ok = write((dir / "photo.png").string(), photo) &&
              write((dir / "photo.exr").string(), floatPhoto) &&
              write((dir / "photo.jp2").string(), photo) &&
              write((dir / "drawing.png").string(), drawing(512, 512)) &&
              write((dir / "big.jpg").string(), photoLike(6000, 4000, rng));
    std::ofstream list(dir / "batch.txt");
    int number = 0;
    for (const Batch& batch : batches) {
        for (int i = 0; i < batch.count && ok; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "%03d.%s", number++, batch.extension);
            const std::filesystem::path path = dir / "batch" / name;
            ok = write(path.string(), photoLike(batch.width, batch.height, rng));
            list << path.string() << '\n';
        }
    }
    list.close();
    return ok && list.good() && writeMixed(dir) ? 0 : 1;
}
