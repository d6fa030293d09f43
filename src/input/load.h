// input: file -> picture. Loads a picture file (or one page of it) as 8-bit colour,
// checking JPEGs whole and reading declared sizes first; rare formats go through the
// decode helper's process. Includes no program folder.
#pragma once

#include <opencv2/core.hpp>
#include <string>

// The picture at path as 8-bit BGR (or BGRA), or an empty image when path is not a
// regular file or cannot be decoded; a JPEG cut before its end, or with a marker the
// decoder refuses, counts as one that cannot be decoded (see jpegIsWhole). The file is
// read once, and the bytes checked are the bytes decoded (files beyond 2 GiB, which the
// library does not decode from memory, are decoded from the file after the check). Files that are not PNG, JPEG, BMP, TIFF,
// WebP or PNM are decoded by the decode helper (input/decode_helper.h), so that a crash
// in a rarely used decoder costs only this input and every format of the system's OpenCV
// is read; its picture is then taken exactly as one decoded here. May throw what the
// library throws (for example for a declared size beyond its limits).
cv::Mat loadColourImage(const std::string& path);
