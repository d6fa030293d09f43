#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The number of pixels the picture file at path declares in its header, read without
// decoding it, for PNG, JPEG, BMP, TIFF, WebP and PNM files: what the library will
// allocate for it (a damaged file may declare far more than it holds). 0 when path is
// not a regular file (nothing will be decoded); empty when it cannot be opened, for any
// other format and for a header that cannot be read.
std::optional<std::uint64_t> declaredPixels(const std::string& path);
