// SPDX-License-Identifier: Apache-2.0
#include "animated/animation_kind.h"

#include <sys/stat.h>

#include <cstdint>
#include <fstream>

namespace {

uint32_t bigEndian32(const std::string& bytes, size_t at) {
    return uint32_t(uint8_t(bytes[at])) << 24 | uint32_t(uint8_t(bytes[at + 1])) << 16 |
           uint32_t(uint8_t(bytes[at + 2])) << 8 | uint32_t(uint8_t(bytes[at + 3]));
}

// True when the PNG in file has an acTL chunk before its first IDAT.
bool pngAnimated(std::ifstream& file) {
    std::streamoff at = 8;
    for (int chunks = 0; chunks < 1000; ++chunks) {
        std::string head(8, '\0');
        file.clear();
        if (!file.seekg(at) || !file.read(&head[0], 8)) return false;
        const std::string type = head.substr(4, 4);
        if (type == "acTL") return true;
        if (type == "IDAT" || type == "IEND") return false;
        at += 12 + std::streamoff(bigEndian32(head, 0));
    }
    return false;
}

bool isVideoContainer(const std::string& bytes) {
    const auto at = [&](size_t offset, const std::string& text) {
        return bytes.size() >= offset + text.size() &&
               bytes.compare(offset, text.size(), text) == 0;
    };
    const bool transportStream =
        bytes.size() > 188 && bytes[0] == 0x47 && bytes[188] == 0x47;
    return at(4, "ftyp") || at(0, "\x1a\x45\xdf\xa3") ||
           (at(0, "RIFF") && at(8, "AVI ")) || at(0, "FLV\x01") || at(0, "OggS") ||
           at(0, std::string("\0\0\x01\xba", 4)) || transportStream;
}

}  // namespace

AnimationKind animationKind(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return AnimationKind::None;
    std::ifstream file(path, std::ios::binary);
    std::string bytes(200, '\0');
    file.read(&bytes[0], std::streamsize(bytes.size()));
    bytes.resize(size_t(file.gcount()));
    const auto starts = [&](const std::string& text) {
        return bytes.compare(0, text.size(), text) == 0;
    };
    if (starts("GIF87a") || starts("GIF89a")) return AnimationKind::Gif;
    if (starts("RIFF") && bytes.size() >= 21 && bytes.compare(8, 8, "WEBPVP8X") == 0)
        return (uint8_t(bytes[20]) & 0x02) ? AnimationKind::WebP : AnimationKind::None;
    if (starts("\x89PNG\r\n\x1a\n"))
        return pngAnimated(file) ? AnimationKind::Apng : AnimationKind::None;
    return isVideoContainer(bytes) ? AnimationKind::Video : AnimationKind::None;
}
