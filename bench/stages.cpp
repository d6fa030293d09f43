// Times grayframe's stages on each file, with the program's own functions: load,
// reduce, write the raw stream (to standard output) and write the two files (beside
// the input), and the whole input as the program converts it to files. Prints the
// median of RUNS runs per stage as a Markdown table on standard error.
// Usage: stages RUNS FILE... >/dev/null
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "frame/frame.h"
#include "grayframe/run.h"
#include "output/frame_files.h"
#include "packed/packed.h"

namespace {

double medianMs(int runs, const std::function<void()>& stage) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        stage();
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        times.push_back(took.count());
    }
    std::nth_element(times.begin(), times.begin() + runs / 2, times.end());
    return times[runs / 2];
}

void timeFile(int runs, const std::string& path) {
    cv::Mat image = loadColourImage(path);
    if (image.empty()) {
        std::fprintf(stderr, "| %s | cannot be loaded ||||||\n", path.c_str());
        return;
    }
    const cv::Mat frame = reduceToFrame(image, FitIn);
    const double load = medianMs(runs, [&] { image = loadColourImage(path); });
    const double reduce = medianMs(runs, [&] { reduceToFrame(image, FitIn); });
    const double raw = medianMs(runs, [&] { writePackedBytes(std::cout, frame); });
    const double files = medianMs(runs, [&] {
        writeBmpFile(path + "_out.bmp", frame);
        writeHeaderFile(path + "_out.h", frame);
    });
    const double whole =
        medianMs(runs, [&] { convertInput(path, FitIn, false, nullptr, std::cout); });
    std::fprintf(stderr, "| %s | %d x %d | %.2f | %.2f | %.3f | %.3f | %.2f |\n",
                 path.substr(path.find_last_of('/') + 1).c_str(), image.cols, image.rows,
                 load, reduce, raw, files, whole);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 2 ? std::atoi(argv[1]) : 0;
    if (runs < 1) {
        std::fprintf(stderr, "usage: stages RUNS FILE... >/dev/null\n");
        return 2;
    }
    std::fprintf(stderr,
                 "| file | size | load ms | reduce ms | raw write ms | file write ms | "
                 "whole input ms |\n|---|---|---:|---:|---:|---:|---:|\n");
    for (int i = 2; i < argc; ++i) timeFile(runs, argv[i]);
    return 0;
}
