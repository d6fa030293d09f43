// SPDX-License-Identifier: Apache-2.0
#include "output/frame_files.h"

#include <opencv2/imgcodecs.hpp>
#include <vector>

#include "output/output_file.h"
#include "packed/packed.h"

bool writeHeaderFile(const std::string& path, const cv::Mat& frame) {
    const std::string text = withTextFileLineEnds(headerText(packFrame(frame)));
    return writeOutputFile(path, text.data(), text.size());
}

bool writeBmpFile(const std::string& path, const cv::Mat& frame) {
    std::vector<unsigned char> bytes;
    return cv::imencode(".bmp", frame, bytes) &&
           writeOutputFile(path, bytes.data(), bytes.size());
}
