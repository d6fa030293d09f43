#pragma once

#include <cstddef>
#include <opencv2/core.hpp>
#include <string>

// How many pictures the file at path holds: the number of pages of a TIFF (at least
// 1), 1 for anything else; 0 for a TIFF whose pages the library cannot reach by its
// name (on Windows, a name longer than 260 characters), so that no page is silently
// left out. Reads only the TIFF's page directories; never throws.
std::size_t countPages(const std::string& path);

// Page index (< countPages(path)) of the file at path as 8-bit BGR, or an empty image
// when it cannot be loaded. Page 0 is exactly what loadColourImage gives, so that a
// single picture makes the same frame as in grayframe; later pages come from the
// library's multi-page reader with the same colour conversion. May throw what the
// library throws.
cv::Mat loadPage(const std::string& path, std::size_t index);
