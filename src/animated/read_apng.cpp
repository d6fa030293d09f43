// SPDX-License-Identifier: Apache-2.0
#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <opencv2/imgcodecs.hpp>

#include "animated/animation_stream.h"
#include "animated/readers.h"

namespace {

const std::string SIGNATURE = "\x89PNG\r\n\x1a\n";

// The most image data one frame may hold.
constexpr size_t MAX_FRAME_DATA = size_t(1) << 30;

uint32_t bigEndian(const std::string& bytes, size_t at, int count = 4) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i) value = value << 8 | uint8_t(bytes[at + size_t(i)]);
    return value;
}

void putBigEndian(std::string& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + size_t(i)] = char(value >> (24 - 8 * i));
}

uint32_t crc32(const std::string& bytes) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> entries{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320u ^ (c >> 1) : c >> 1;
            entries[n] = c;
        }
        return entries;
    }();
    uint32_t crc = 0xffffffffu;
    for (const char byte : bytes) crc = table[(crc ^ uint8_t(byte)) & 0xff] ^ (crc >> 8);
    return ~crc;
}

// Appends the chunk of type holding data, with its length and CRC, to png.
void appendChunk(std::string& png, const std::string& type, const std::string& data) {
    std::string chunk(4, '\0');
    putBigEndian(chunk, 0, uint32_t(data.size()));
    const std::string typed = type + data;
    png += chunk + typed + std::string(4, '\0');
    putBigEndian(png, png.size() - 4, crc32(typed));
}

// The file's chunks one after another, each whole and its CRC checked.
struct Chunks {
    std::ifstream file;
    uint64_t left = 0;  // the bytes not read yet
    std::string type, data;

    // "" with the next chunk in type and data, or the problem.
    std::string next() {
        std::string head(8, '\0'), crc(4, '\0');
        if (left < 12 || !file.read(&head[0], 8)) return "damaged or cut APNG";
        const uint32_t length = bigEndian(head, 0);
        if (length > INT32_MAX || length > left - 12) return "damaged or cut APNG";
        type = head.substr(4);
        for (const char c : type)
            if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')))
                return "damaged APNG (a chunk of no valid type)";
        data.assign(length, '\0');
        if (!file.read(&data[0], length) || !file.read(&crc[0], 4))
            return "damaged or cut APNG";
        left -= 12 + uint64_t(length);
        if (crc32(type + data) != bigEndian(crc, 0))
            return "damaged APNG (the CRC of a chunk " + type + " is wrong)";
        return {};
    }
};

// What a frame control says: where its frame goes, how long it shows, what then.
struct FrameControl {
    uint32_t width = 0, height = 0, x = 0, y = 0;
    int durationMs = 0;
    int dispose = 0;  // 0 none, 1 to transparent, 2 back to what it was
    bool over = false;
};

// The canvas as the frames build it up: BGRA samples of the file's depth (0 to max).
struct Board {
    int width = 0, height = 0;
    uint32_t max = 255;
    std::vector<uint16_t> bgra;
    std::vector<uint8_t> bgra8;  // reused for each canvas handed over
};

// The header's checks, each a problem: "" when the file's picture can be read.
std::string headerProblem(const std::string& ihdr) {
    if (ihdr.size() != 13)
        return "damaged APNG (its IHDR is " + std::to_string(ihdr.size()) + " bytes)";
    const uint32_t width = bigEndian(ihdr, 0), height = bigEndian(ihdr, 4);
    const int depth = uint8_t(ihdr[8]), colour = uint8_t(ihdr[9]);
    if (width < 1 || height < 1) return "the APNG's canvas has no pixels";
    if (uint64_t(width) * height > uint64_t(MAX_CANVAS_PIXELS))
        return "the APNG's canvas of " + std::to_string(width) + " x " +
               std::to_string(height) + " pixels is too large";
    const bool depthFits =
        depth == 8 || (depth == 16 && colour != 3) ||
        ((depth == 1 || depth == 2 || depth == 4) && (colour == 0 || colour == 3));
    if (!depthFits || colour == 1 || colour == 5 || colour > 6)
        return "damaged APNG (colour type " + std::to_string(colour) + " at " +
               std::to_string(depth) + " bits)";
    if (ihdr[10] != 0 || ihdr[11] != 0 || uint8_t(ihdr[12]) > 1)
        return "APNG not supported (compression, filter or interlace method " +
               std::to_string(uint8_t(ihdr[10])) + ", " +
               std::to_string(uint8_t(ihdr[11])) + ", " +
               std::to_string(uint8_t(ihdr[12])) + ")";
    return {};
}

// The frame control in data on a canvas of board's size, or the problem.
std::string readControl(const std::string& data, const Board& board,
                        FrameControl& control) {
    if (data.size() != 26) return "damaged APNG (an fcTL chunk of the wrong size)";
    control.width = bigEndian(data, 4);
    control.height = bigEndian(data, 8);
    control.x = bigEndian(data, 12);
    control.y = bigEndian(data, 16);
    const double numerator = bigEndian(data, 20, 2), denominator = bigEndian(data, 22, 2);
    control.durationMs =
        clampDuration(numerator * 1000 / (denominator == 0 ? 100 : denominator));
    control.dispose = uint8_t(data[24]);
    control.over = data[25] == 1;
    if (control.width < 1 || control.height < 1 ||
        uint64_t(control.x) + control.width > uint64_t(board.width) ||
        uint64_t(control.y) + control.height > uint64_t(board.height))
        return "damaged APNG (a frame outside its canvas)";
    if (control.dispose > 2 || uint8_t(data[25]) > 1)
        return "damaged APNG (a frame's disposal or blending is unknown)";
    return {};
}

// The frame of control whose image data is data, as the still PNG it would be on its
// own: the file's header at the frame's size, its palette and transparency chunks.
std::string framePng(const std::string& ihdr, const std::string& colourChunks,
                     const FrameControl& control, const std::string& data) {
    std::string header = ihdr, png = SIGNATURE;
    putBigEndian(header, 0, control.width);
    putBigEndian(header, 4, control.height);
    appendChunk(png, "IHDR", header);
    png += colourChunks;
    appendChunk(png, "IDAT", data);
    appendChunk(png, "IEND", "");
    return png;
}

// Draws the decoded picture of control onto board, replacing or blended over what is
// there. A gray picture's pixels of the value key (-1 for none) are transparent.
void draw(const cv::Mat& picture, const FrameControl& control, long key, Board& board) {
    const uint64_t max = board.max;
    const int channels = picture.channels();
    const bool wide = picture.depth() == CV_16U;
    for (int y = 0; y < picture.rows; ++y) {
        uint16_t* to =
            &board.bgra[(size_t(control.y + uint32_t(y)) * size_t(board.width) +
                         control.x) *
                        4];
        for (int x = 0; x < picture.cols; ++x, to += 4) {
            uint64_t from[4];
            for (int k = 0; k < 4; ++k) {
                const int c = channels == 1 ? 0 : std::min(k, channels - 1);
                const size_t at = size_t(x) * size_t(channels) + size_t(c);
                from[k] =
                    wide ? picture.ptr<uint16_t>(y)[at] : picture.ptr<uint8_t>(y)[at];
            }
            if (channels < 4) from[3] = long(from[0]) == key && channels == 1 ? 0 : max;
            const uint64_t alpha = from[3], under = to[3];
            if (!control.over || alpha == max) {
                for (int k = 0; k < 4; ++k) to[k] = uint16_t(from[k]);
                continue;
            }
            if (alpha == 0) continue;
            const uint64_t out = alpha + ((max - alpha) * under + max / 2) / max;
            for (int k = 0; k < 3; ++k)
                to[k] = uint16_t(
                    under == max
                        ? (alpha * from[k] + (max - alpha) * to[k] + max / 2) / max
                        : (max * alpha * from[k] + (max - alpha) * under * to[k]) /
                              (max * out));
            to[3] = uint16_t(out);
        }
    }
}

// The rectangle of control on board, row by row (to save or clear it).
template <typename Visit>
void eachRow(Board& board, const FrameControl& control, Visit visit) {
    for (uint32_t y = 0; y < control.height; ++y)
        visit(
            &board.bgra[((size_t(control.y) + y) * size_t(board.width) + control.x) * 4],
            size_t(control.width) * 4);
}

Canvas boardCanvas(Board& board, int background, int durationMs) {
    board.bgra8.resize(board.bgra.size());
    const int shift = board.max == 255 ? 0 : 8;
    for (size_t i = 0; i < board.bgra.size(); ++i)
        board.bgra8[i] = uint8_t(board.bgra[i] >> shift);
    return flattenedCanvas(board.bgra8.data(), board.width, board.height, true,
                           background, durationMs);
}

// The transparent gray of a gray PNG's tRNS chunk trns as the decoder gives its
// samples (those of 1, 2 and 4 bits widened to 8), or -1.
long grayKey(const std::string& ihdr, const std::string& trns) {
    const int depth = uint8_t(ihdr[8]);
    if (uint8_t(ihdr[9]) != 0 || trns.size() != 2) return -1;
    const long value = long(bigEndian(trns, 0, 2));
    if (depth >= 8) return value;
    return value > (1 << depth) - 1 ? -1 : value * (255 / ((1 << depth) - 1));
}

}  // namespace

ReadResult readApng(const std::string& path, const ReadOptions& options,
                    const CanvasSink& sink) {
    Chunks chunks;
    chunks.file.open(path, std::ios::binary | std::ios::ate);
    const std::streamoff size = chunks.file ? std::streamoff(chunks.file.tellg()) : -1;
    std::string signature(8, '\0');
    if (size < 8 || !chunks.file.seekg(0) || !chunks.file.read(&signature[0], 8) ||
        signature != SIGNATURE)
        return {"cannot be read"};
    chunks.left = uint64_t(size) - 8;
    if (std::string problem = chunks.next(); !problem.empty()) return {problem};
    if (chunks.type != "IHDR") return {"damaged APNG (it does not begin with IHDR)"};
    const std::string ihdr = chunks.data;
    if (std::string problem = headerProblem(ihdr); !problem.empty()) return {problem};
    Board board;
    board.width = int(bigEndian(ihdr, 0));
    board.height = int(bigEndian(ihdr, 4));
    board.max = ihdr[8] == 16 ? 65535 : 255;
    board.bgra.assign(size_t(board.width) * size_t(board.height) * 4, 0);
    std::string colourChunks, frameData;
    std::vector<uint16_t> saved;
    long key = -1;
    FrameControl control;
    uint32_t sequence = 0;
    int frames = 0;
    bool controlled = false;       // a frame control waits for its frame's data
    bool imageSeen = false;        // the IDAT chunks were met
    bool frameChunksSeen = false;  // an fdAT chunk was met
    bool stopped = false;          // the sink said stop
    // Decodes the frame waiting, if any, hands its canvas over (setting stopped when
    // the sink says stop) and disposes of it: "" or the problem.
    const auto finishFrame = [&]() -> std::string {
        if (!controlled) return {};
        controlled = false;
        if (frameData.empty()) return "damaged APNG (a frame without image data)";
        const std::string png = framePng(ihdr, colourChunks, control, frameData);
        frameData.clear();
        cv::Mat picture;
        try {
            picture = cv::imdecode(
                cv::Mat(1, int(png.size()), CV_8U, const_cast<char*>(png.data())),
                cv::IMREAD_UNCHANGED);
        } catch (const cv::Exception&) {
        }
        if (picture.empty() || picture.cols != int(control.width) ||
            picture.rows != int(control.height) ||
            (picture.depth() == CV_16U) != (board.max == 65535))
            return "damaged APNG (frame " + std::to_string(frames + 1) +
                   " cannot be decoded)";
        const int dispose = frames == 0 && control.dispose == 2 ? 1 : control.dispose;
        if (dispose == 2) {
            saved.clear();
            eachRow(board, control, [&](uint16_t* row, size_t count) {
                saved.insert(saved.end(), row, row + count);
            });
        }
        draw(picture, control, key, board);
        ++frames;
        stopped = !sink(boardCanvas(board, options.background, control.durationMs));
        size_t at = 0;
        if (dispose == 1)
            eachRow(board, control,
                    [](uint16_t* row, size_t count) { std::fill(row, row + count, 0); });
        if (dispose == 2)
            eachRow(board, control, [&](uint16_t* row, size_t count) {
                std::copy(saved.begin() + long(at), saved.begin() + long(at + count),
                          row);
                at += count;
            });
        return {};
    };
    for (;;) {
        if (std::string problem = chunks.next(); !problem.empty()) return {problem};
        const std::string& type = chunks.type;
        std::string problem;
        if (type == "IEND") {
            problem = finishFrame();
            if (problem.empty() && frames == 0) problem = "the APNG holds no frame";
            return {stopped ? "" : problem};
        }
        if (type == "fcTL" || type == "fdAT") {
            if (chunks.data.size() < 4 || bigEndian(chunks.data, 0) != sequence++)
                return {"damaged APNG (its chunks are out of sequence)"};
        }
        if (type == "fcTL") {
            problem = finishFrame();
            if (problem.empty() && !stopped)
                problem = readControl(chunks.data, board, control);
            controlled = true;
        } else if (type == "IDAT") {
            if (frameChunksSeen) problem = "damaged APNG (IDAT chunks among its frames)";
            imageSeen = true;
            if (controlled) frameData += chunks.data;
        } else if (type == "fdAT") {
            if (!controlled || !imageSeen)
                problem = "damaged APNG (frame data without a frame control)";
            frameChunksSeen = true;
            frameData.append(chunks.data, 4, std::string::npos);
        } else if (type == "PLTE" || type == "tRNS") {
            if (!imageSeen) appendChunk(colourChunks, type, chunks.data);
            if (!imageSeen && type == "tRNS") key = grayKey(ihdr, chunks.data);
        } else if (type == "IHDR") {
            problem = "damaged APNG (a second IHDR)";
        } else if (!(type[0] & 0x20)) {
            problem = "APNG not supported (its chunk " + type + ")";
        }
        if (frameData.size() > MAX_FRAME_DATA)
            problem = "damaged APNG (a frame of more than 1 GiB)";
        if (stopped) return {};
        if (!problem.empty()) return {problem};
    }
}
