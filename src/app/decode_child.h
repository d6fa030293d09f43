#pragma once

#include <opencv2/core.hpp>
#include <string>

// The picture at path as cv::imread(path, IMREAD_COLOR) reads it, decoded in a
// short-lived child process, so that a crash in a decoder costs only this input; empty
// when the child failed or the picture could not be decoded. On Windows, whose build
// holds none of the decoders this guards against, decoded in this process.
cv::Mat decodeInChild(const std::string& path);
