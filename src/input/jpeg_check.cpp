#include "input/jpeg_check.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// The file's bytes one at a time, read in blocks; -1 at its end.
struct ByteReader {
    std::FILE* file;
    unsigned char block[1 << 16];
    size_t at = 0;
    size_t size = 0;
    long long before = 0;  // bytes of the file before block

    long long offset() const { return before + static_cast<long long>(at); }
    bool refill() {
        before += static_cast<long long>(size);
        at = 0;
        size = std::fread(block, 1, sizeof block, file);
        return size > 0;
    }
    int next() {
        if (at == size && !refill()) return -1;
        return block[at++];
    }
    bool skip(long count) {
        while (count > 0) {
            if (at == size && !refill()) return false;
            const size_t step = std::min(static_cast<size_t>(count), size - at);
            at += step;
            count -= static_cast<long>(step);
        }
        return true;
    }
    // Moves to just past the next 0xFF byte; false at the end of the file.
    bool skipPastFF() {
        for (;;) {
            if (at == size && !refill()) return false;
            const void* ff = std::memchr(block + at, 0xFF, size - at);
            if (ff) {
                at = static_cast<size_t>(static_cast<const unsigned char*>(ff) - block) +
                     1;
                return true;
            }
            at = size;
        }
    }
};

bool isRestart(int marker) { return marker >= 0xD0 && marker <= 0xD7; }

// The code of the next marker, past any stray bytes and 0xFF fill bytes; -1 at the end.
int nextMarker(ByteReader& bytes) {
    int byte = 0;
    do {
        if (!bytes.skipPastFF()) return -1;
        do byte = bytes.next();
        while (byte == 0xFF);
    } while (byte == 0x00);
    return byte;
}

// Passes over entropy-coded data (where 0xFF 0x00 is a data byte and restart markers
// belong to the data) to the marker that ends it; its code, or -1 at the end. Adds the
// data's length to length.
int markerAfterScan(ByteReader& bytes, long long& length) {
    const long long start = bytes.offset();
    int marker = -1;
    do marker = nextMarker(bytes);
    while (marker >= 0 && isRestart(marker));
    length += bytes.offset() - start;
    return marker;
}

// The fewest 8 x 8 blocks one component of the frame has: every block costs at least
// one bit of Huffman-coded data (its DC code). 0 when unknown.
long long leastBlocks(const unsigned char* frame, int length) {
    if (length < 6) return 0;
    const long long height = frame[1] << 8 | frame[2], width = frame[3] << 8 | frame[4];
    const int components = frame[5];
    if (length < 6 + 3 * components) return 0;
    int hMax = 1, vMax = 1;
    for (int c = 0; c < components; ++c) {
        hMax = std::max(hMax, frame[7 + 3 * c] >> 4);
        vMax = std::max(vMax, frame[7 + 3 * c] & 15);
    }
    long long least = 0;
    for (int c = 0; c < components; ++c) {
        const int h = std::max(1, frame[7 + 3 * c] >> 4),
                  v = std::max(1, frame[7 + 3 * c] & 15);
        const long long columns = (width * h + hMax - 1) / hMax,
                        rows = (height * v + vMax - 1) / vMax;
        least = std::max(least, ((columns + 7) / 8) * ((rows + 7) / 8));
    }
    return least;
}

bool isHuffmanFrame(int marker) {
    return marker == 0xC0 || marker == 0xC1 || marker == 0xC2;
}

bool reachesEnd(ByteReader& bytes) {
    if (bytes.next() != 0xFF || bytes.next() != 0xD8) return false;
    long long blocks = 0, scanBytes = 0;
    int marker = nextMarker(bytes);
    while (marker >= 0 && marker != 0xD9) {
        if (marker == 0x01 || marker == 0xD8 || isRestart(marker)) {
            marker = nextMarker(bytes);
            continue;
        }
        const int high = bytes.next();
        const int low = bytes.next();
        if (high < 0 || low < 0 || high * 256 + low < 2) return false;
        const int length = high * 256 + low - 2;
        if (isHuffmanFrame(marker)) {
            unsigned char frame[6 + 3 * 255];
            const int kept = std::min(length, static_cast<int>(sizeof frame));
            for (int i = 0; i < kept; ++i)
                frame[i] = static_cast<unsigned char>(bytes.next());
            blocks = leastBlocks(frame, kept);
            if (!bytes.skip(length - kept)) return false;
        } else if (!bytes.skip(length)) {
            return false;
        }
        marker = marker == 0xDA ? markerAfterScan(bytes, scanBytes) : nextMarker(bytes);
    }
    return marker == 0xD9 && scanBytes * 8 >= blocks;
}

}  // namespace

bool jpegReachesItsEnd(const std::string& path) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(
        std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) return false;
    const auto bytes = std::make_unique<ByteReader>();
    bytes->file = file.get();
    return reachesEnd(*bytes);
}
