// Writes a corpus of hostile inputs into a directory (made when missing), from good
// pictures it makes there. Usage: make_hostile_corpus DIR
//
// The start of each name tells what to expect of it:
//   good     pictures the library loads;
//   bad      inputs grayframe cannot load (cut headers, wrong signatures, declared
//            sizes of zero or beyond the library's limits, empty, a directory, a FIFO,
//            no picture at all; JPEGs cut anywhere, cut and followed by a marker the
//            decoder refuses there, or declaring more than their data holds, which the
//            library would fill with gray);
//   damaged  cut or bit-flipped files that the library may still decode in part.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

#include "support.h"

namespace {

using Bytes = std::string;

Bytes encode(const std::string& extension, const cv::Mat& image,
             const std::vector<int>& parameters = {}) {
    std::vector<uchar> bytes;
    cv::imencode(extension, image, bytes, parameters);
    return {bytes.begin(), bytes.end()};
}

void write(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), bytes.size());
}

void putBigEndian(Bytes& bytes, size_t at, uint32_t value, int width) {
    for (int i = 0; i < width; ++i)
        bytes.at(at + i) = static_cast<char>(value >> (8 * (width - 1 - i)));
}

void putLittleEndian(Bytes& bytes, size_t at, uint32_t value, int width) {
    for (int i = 0; i < width; ++i)
        bytes.at(at + i) = static_cast<char>(value >> (8 * i));
}

// The IHDR chunk follows the 8-byte signature: length, "IHDR", width, height, ...
Bytes pngSized(Bytes png, uint32_t width, uint32_t height) {
    putBigEndian(png, 16, width, 4);
    putBigEndian(png, 20, height, 4);
    putBigEndian(png, 29, test::crc32(png, 12, 29), 4);
    return png;
}

// Height and width in the first start-of-frame segment (baseline or progressive).
Bytes jpegSized(Bytes jpeg, uint16_t width, uint16_t height) {
    for (size_t i = 2; i + 9 < jpeg.size(); ++i) {
        const uint8_t marker = static_cast<uint8_t>(jpeg[i + 1]);
        if (static_cast<uint8_t>(jpeg[i]) == 0xFF && (marker == 0xC0 || marker == 0xC2)) {
            putBigEndian(jpeg, i + 5, height, 2);
            putBigEndian(jpeg, i + 7, width, 2);
            break;
        }
    }
    return jpeg;
}

Bytes bmpSized(Bytes bmp, int32_t width, int32_t height) {
    putLittleEndian(bmp, 18, static_cast<uint32_t>(width), 4);
    putLittleEndian(bmp, 22, static_cast<uint32_t>(height), 4);
    return bmp;
}

// Image width (tag 256) and length (257) in the first directory of a little-endian TIFF.
Bytes tiffSized(Bytes tiff, uint32_t width, uint32_t height) {
    const auto at = [&](size_t i, int n) {
        uint32_t value = 0;
        for (int k = n - 1; k >= 0; --k)
            value = value << 8 | static_cast<uint8_t>(tiff[i + k]);
        return value;
    };
    const size_t directory = at(4, 4);
    for (uint32_t entry = 0; entry < at(directory, 2); ++entry) {
        const size_t e = directory + 2 + 12 * entry;
        const uint32_t tag = at(e, 2);
        if (tag != 256 && tag != 257) continue;
        putLittleEndian(tiff, e + 2, 4, 2);  // LONG, so that any value fits
        putLittleEndian(tiff, e + 8, tag == 256 ? width : height, 4);
    }
    return tiff;
}

Bytes flipBit(Bytes bytes, size_t bit) {
    bytes.at(bit / 8) = static_cast<char>(bytes.at(bit / 8) ^ (1 << (bit % 8)));
    return bytes;
}

Bytes invertEvery(Bytes bytes, size_t from, size_t every) {
    for (size_t i = from; i < bytes.size(); i += every)
        bytes[i] = static_cast<char>(~bytes[i]);
    return bytes;
}

struct Good {
    std::string name;  // its file is good.NAME; what is derived from it ends in .NAME
    Bytes bytes;
    size_t headerEnd;  // cuts before this offset leave no loadable picture
};

std::vector<Good> goodPictures() {
    const cv::Mat image = test::makePicture(320, 240, 5);
    cv::Mat gray;
    cv::cvtColor(test::makePicture(97, 203, 6), gray, cv::COLOR_BGR2GRAY);
    return {{"png", encode(".png", image), 33},
            {"jpg", encode(".jpg", image), 160},
            {"progressive.jpg", encode(".jpg", image, {cv::IMWRITE_JPEG_PROGRESSIVE, 1}),
             160},
            {"bmp", encode(".bmp", image), 54},
            {"tiff", encode(".tiff", image), 8},
            {"webp", encode(".webp", image), 30},
            {"pgm", encode(".pgm", gray), 15}};
}

void writeCuts(const std::string& dir, const Good& good) {
    const size_t size = good.bytes.size();
    for (size_t cut :
         {size_t{1}, size_t{2}, size_t{4}, size_t{7}, size_t{8}, size_t{12}, size_t{16},
          size_t{26}, size_t{33}, size_t{54}, size_t{100}, size_t{300}, size / 4,
          size / 2, size * 3 / 4, size - 10, size - 1}) {
        if (cut >= size) continue;
        const bool jpeg = good.bytes.compare(0, 2, "\xFF\xD8") == 0;
        const std::string kind = cut < good.headerEnd || jpeg ? "bad" : "damaged";
        write(dir + "/" + kind + "-cut" + std::to_string(cut) + "." + good.name,
              good.bytes.substr(0, cut));
    }
}

void writeFlips(const std::string& dir, const Good& good) {
    const size_t bits = good.bytes.size() * 8;
    for (size_t bit : {size_t{3}, size_t{70}, size_t{130}, size_t{400}, bits / 3,
                       bits / 2, bits - 20}) {
        write(dir + "/damaged-bit" + std::to_string(bit) + "." + good.name,
              flipBit(good.bytes, bit));
    }
    write(dir + "/damaged-inverted." + good.name, invertEvery(good.bytes, 90, 97));
}

void writeSignatures(const std::string& dir, const Good& good) {
    write(dir + "/bad-signature." + good.name, invertEvery(good.bytes, 0, 1024));
}

void writeDeclaredSizes(const std::string& dir, const std::vector<Good>& good) {
    const Bytes& png = good[0].bytes;
    const Bytes& jpg = good[1].bytes;
    const Bytes& bmp = good[3].bytes;
    const Bytes& tiff = good[4].bytes;
    write(dir + "/bad-zero-width.png", pngSized(png, 0, 240));
    write(dir + "/bad-zero-height.png", pngSized(png, 320, 0));
    write(dir + "/bad-huge.png", pngSized(png, 0x7FFFFFFF, 0x7FFFFFFF));
    write(dir + "/bad-too-many-pixels.png", pngSized(png, 40000, 40000));
    write(dir + "/bad-too-wide.png", pngSized(png, (1 << 20) + 1, 1));
    write(dir + "/bad-taller-than-data.png", pngSized(png, 320, 30000));
    write(dir + "/bad-zero.jpg", jpegSized(jpg, 0, 0));
    write(dir + "/bad-huge.jpg", jpegSized(jpg, 65535, 65535));
    write(dir + "/bad-larger-than-data.jpg", jpegSized(jpg, 8000, 6000));
    write(dir + "/bad-zero.bmp", bmpSized(bmp, 0, 0));
    write(dir + "/bad-huge.bmp", bmpSized(bmp, 0x7FFFFFFF, 0x7FFFFFFF));
    write(dir + "/bad-negative-width.bmp", bmpSized(bmp, -320, 240));
    write(dir + "/bad-zero.tiff", tiffSized(tiff, 0, 0));
    write(dir + "/bad-huge.tiff", tiffSized(tiff, 0xFFFFFFFF, 0xFFFFFFFF));
    write(dir + "/bad-zero.ppm", "P6\n0 0\n255\n");
    write(dir + "/bad-huge.ppm", "P6\n100000 100000\n255\n");
    write(dir + "/bad-wide.pgm", "P5\n1048577 1\n255\n" + std::string(1048577, 'x'));
}

// The first segment of a JPEG with marker code (its marker, length and content).
Bytes jpegSegment(const Bytes& jpeg, uint8_t code) {
    for (size_t i = 2; i + 4 < jpeg.size(); ++i) {
        if (static_cast<uint8_t>(jpeg[i]) != 0xFF ||
            static_cast<uint8_t>(jpeg[i + 1]) != code)
            continue;
        const size_t length =
            static_cast<uint8_t>(jpeg[i + 2]) << 8 | static_cast<uint8_t>(jpeg[i + 3]);
        return jpeg.substr(i, 2 + length);
    }
    return {};
}

// A cut JPEG followed by markers the decoder refuses there, which it would otherwise
// reach only after filling the rest with gray: a second start of image (alone, and
// with a whole JPEG behind it), a second frame header, an unknown marker, and in a
// picture coded in one scan a second scan.
void writeCutsWithMarkers(const std::string& dir, const Good& jpeg, bool oneScan) {
    const Bytes cut = jpeg.bytes.substr(0, jpeg.bytes.size() / 2);
    const Bytes end = "\xFF\xD9";
    const Bytes frame = jpegSegment(jpeg.bytes, oneScan ? 0xC0 : 0xC2);
    const Bytes scan = jpegSegment(jpeg.bytes, 0xDA);
    const std::string name = "." + jpeg.name;
    write(dir + "/bad-cut-second-start" + name, cut + "\xFF\xD8" + end);
    write(dir + "/bad-cut-then-whole" + name, cut + jpeg.bytes);
    write(dir + "/bad-cut-second-frame" + name, cut + frame + end);
    write(dir + "/bad-cut-unknown-marker" + name,
          cut + Bytes("\xFF\x02\x00\x02", 4) + end);
    if (oneScan)
        write(dir + "/bad-cut-second-scan" + name,
              cut + scan + jpeg.bytes.substr(jpeg.bytes.size() / 2));
}

void writeOddFiles(const std::string& dir, const std::vector<Good>& good) {
    write(dir + "/bad-empty.png", "");
    write(dir + "/bad-text.png", "this is not a picture\n");
    write(dir + "/bad-jpeg-body.png", "\x89PNG\r\n\x1a\n" + good[1].bytes.substr(2));
    write(dir + "/bad-png-body.jpg", "\xFF\xD8\xFF" + good[0].bytes.substr(8));
    write(dir + "/bad name \xC3\xBC\xE9.png", good[0].bytes.substr(0, 20));
    write(dir + "/good name \xC3\xBC\xE9.png", good[0].bytes);
    write(dir + "/good-png-named.jpg", good[0].bytes);
    std::filesystem::create_directory(dir + "/bad-folder.png");
    ::mkfifo((dir + "/bad-fifo.png").c_str(), 0600);
}

}  // namespace

int main(int argc, char** argv) {
    std::error_code error;
    if (argc == 2) std::filesystem::create_directories(argv[1], error);
    if (argc != 2 || !std::filesystem::is_directory(argv[1])) {
        std::fprintf(stderr, "usage: make_hostile_corpus DIR (made when missing)\n");
        return 2;
    }
    const std::string dir = argv[1];
    const std::vector<Good> good = goodPictures();
    for (const Good& picture : good) {
        write(dir + "/good." + picture.name, picture.bytes);
        writeCuts(dir, picture);
        writeFlips(dir, picture);
        writeSignatures(dir, picture);
        if (picture.name == "jpg" || picture.name == "progressive.jpg")
            writeCutsWithMarkers(dir, picture, picture.name == "jpg");
    }
    writeDeclaredSizes(dir, good);
    writeOddFiles(dir, good);
    return 0;
}
