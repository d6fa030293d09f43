#include "input/picture_size.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdlib>
#include <fstream>

namespace {

using Pixels = std::optional<std::uint64_t>;

// The size bytes of the file at offset, zeros past its end.
std::string bytesAt(std::istream& file, std::uint64_t offset, std::size_t size) {
    std::string bytes(size, '\0');
    file.clear();
    if (offset < (std::uint64_t{1} << 62) &&
        file.seekg(static_cast<std::streamoff>(offset)))
        file.read(bytes.data(), static_cast<std::streamsize>(size));
    return bytes;
}

std::uint32_t number(const std::string& bytes, std::size_t at, int size, bool bigEndian) {
    std::uint32_t value = 0;
    for (int i = 0; i < size; ++i) {
        const auto byte =
            static_cast<unsigned char>(bytes[at + (bigEndian ? i : size - 1 - i)]);
        value = value << 8 | byte;
    }
    return value;
}

Pixels area(std::uint64_t width, std::uint64_t height) { return width * height; }

Pixels jpegPixels(std::istream& file) {
    std::uint64_t offset = 2;
    for (int segments = 0; segments < 1000; ++segments) {
        const std::string marker = bytesAt(file, offset, 9);
        if (static_cast<unsigned char>(marker[0]) != 0xFF) return {};
        const int code = static_cast<unsigned char>(marker[1]);
        if (code == 0xFF) {  // a fill byte
            ++offset;
            continue;
        }
        const bool frame =
            code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
        if (frame) return area(number(marker, 7, 2, true), number(marker, 5, 2, true));
        if (code == 0xDA || code == 0xD9) return {};
        offset += 2 + number(marker, 2, 2, true);
    }
    return {};
}

Pixels tiffPixels(std::istream& file, bool bigEndian) {
    const std::uint32_t directory = number(bytesAt(file, 4, 4), 0, 4, bigEndian);
    const std::string count = bytesAt(file, directory, 2);
    const std::string entries =
        bytesAt(file, directory + 2, 12 * std::size_t{number(count, 0, 2, bigEndian)});
    std::uint64_t width = 0, height = 0;
    for (std::size_t at = 0; at + 12 <= entries.size(); at += 12) {
        const std::uint32_t tag = number(entries, at, 2, bigEndian);
        const std::uint32_t type = number(entries, at + 2, 2, bigEndian);
        const std::uint32_t value = number(entries, at + 8, type == 3 ? 2 : 4, bigEndian);
        if (tag == 256) width = value;
        if (tag == 257) height = value;
    }
    return width && height ? area(width, height) : Pixels();
}

Pixels webpPixels(const std::string& start) {
    const std::string chunk = start.substr(12, 4);
    if (chunk == "VP8X")
        return area(number(start, 24, 3, false) + 1, number(start, 27, 3, false) + 1);
    if (chunk == "VP8 ")
        return area(number(start, 26, 2, false) & 0x3FFF,
                    number(start, 28, 2, false) & 0x3FFF);
    if (chunk != "VP8L") return {};
    const std::uint32_t bits = number(start, 21, 4, false);
    return area((bits & 0x3FFF) + 1, (bits >> 14 & 0x3FFF) + 1);
}

// P1 to P6: the width and height after the magic number, past blanks and comments.
Pixels pnmPixels(const std::string& start) {
    std::size_t at = 2;
    std::uint64_t sides[2] = {};
    for (std::uint64_t& side : sides) {
        while (at < start.size() &&
               (std::isspace(static_cast<unsigned char>(start[at])) || start[at] == '#'))
            at = start[at] == '#' ? start.find('\n', at) : at + 1;
        if (at >= start.size() || !std::isdigit(static_cast<unsigned char>(start[at])))
            return {};
        side = std::strtoull(start.c_str() + at, nullptr, 10);
        while (at < start.size() && std::isdigit(static_cast<unsigned char>(start[at])))
            ++at;
    }
    return area(sides[0], sides[1]);
}

Pixels headerPixels(std::istream& file) {
    const std::string start = bytesAt(file, 0, 512);
    const auto startsWith = [&](const std::string& prefix) {
        return start.compare(0, prefix.size(), prefix) == 0;
    };
    if (startsWith("\x89PNG\r\n\x1a\n"))
        return area(number(start, 16, 4, true), number(start, 20, 4, true));
    if (startsWith("\xFF\xD8")) return jpegPixels(file);
    if (startsWith("BM")) {
        if (number(start, 14, 4, false) == 12)
            return area(number(start, 18, 2, false), number(start, 20, 2, false));
        const auto height = static_cast<std::int32_t>(number(start, 22, 4, false));
        return area(number(start, 18, 4, false), std::abs(std::int64_t{height}));
    }
    if (startsWith(std::string("II*\0", 4))) return tiffPixels(file, false);
    if (startsWith(std::string("MM\0*", 4))) return tiffPixels(file, true);
    if (startsWith("RIFF") && start.compare(8, 4, "WEBP") == 0) return webpPixels(start);
    if (start[0] == 'P' && start[1] >= '1' && start[1] <= '6') return pnmPixels(start);
    return {};
}

}  // namespace

std::optional<std::uint64_t> declaredPixels(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return 0;
    std::ifstream file(path, std::ios::binary);
    if (!file) return {};
    return headerPixels(file);
}
