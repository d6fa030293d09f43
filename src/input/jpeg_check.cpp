#include "input/jpeg_check.h"

#include <algorithm>
#include <cstring>

namespace {

// The file's bytes one at a time; -1 at their end.
struct ByteReader {
    const unsigned char* data;
    size_t size;
    size_t at = 0;

    int next() { return at < size ? data[at++] : -1; }
    bool skip(size_t count) {
        if (count > size - at) return false;
        at += count;
        return true;
    }
    // Moves to just past the next 0xFF byte; false at the end.
    bool skipPastFF() {
        const void* ff = std::memchr(data + at, 0xFF, size - at);
        at = ff ? static_cast<size_t>(static_cast<const unsigned char*>(ff) - data) + 1
                : size;
        return ff != nullptr;
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
    const size_t start = bytes.at;
    int marker = -1;
    do marker = nextMarker(bytes);
    while (marker >= 0 && isRestart(marker));
    length += static_cast<long long>(bytes.at - start);
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

// Start of frame, of any coding process (0xC4 is DHT, 0xC8 reserved, 0xCC DAC).
bool isFrame(int marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
           marker != 0xCC;
}

bool isProgressiveFrame(int marker) {
    return marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
}

// Markers with a segment that the decoder reads or passes over anywhere: DHT, DAC,
// DQT, DRI, DNL, APPn and COM.
bool isTableOrMiscellany(int marker) {
    return marker == 0xC4 || marker == 0xCC || marker == 0xDB || marker == 0xDD ||
           marker == 0xDC || (marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE;
}

// What has been read so far of the markers that decide what may come next.
struct Progress {
    bool frame = false;
    int components = 0;        // in the frame
    bool progressive = false;
    int scans = 0;
    bool multipleScans = false;  // as the decoder decides on the first scan
    long long blocks = 0;        // the fewest a Huffman-coded frame's data must cover
    long long scanBytes = 0;
};

// Whether the decoder takes the segment of marker (its length bytes after the two
// length bytes), given what came before; records it.
bool acceptSegment(int marker, const unsigned char* segment, size_t length,
                   Progress& progress) {
    if (isFrame(marker)) {
        if (progress.frame) return false;
        progress.frame = true;
        progress.components = length >= 6 ? segment[5] : 0;
        progress.progressive = isProgressiveFrame(marker);
        if (isHuffmanFrame(marker))
            progress.blocks = leastBlocks(
                segment, static_cast<int>(std::min<size_t>(length, 6 + 3 * 255)));
        return true;
    }
    if (marker != 0xDA) return isTableOrMiscellany(marker);
    if (!progress.frame || (progress.scans > 0 && !progress.multipleScans)) return false;
    if (progress.scans++ == 0)
        progress.multipleScans =
            progress.progressive || (length >= 1 && segment[0] < progress.components);
    return true;
}

bool reachesEnd(ByteReader& bytes) {
    if (bytes.next() != 0xFF || bytes.next() != 0xD8) return false;
    Progress progress;
    int marker = nextMarker(bytes);
    while (marker >= 0 && marker != 0xD9) {
        if (marker == 0xD8) return false;
        if (marker == 0x01 || isRestart(marker)) {
            marker = nextMarker(bytes);
            continue;
        }
        const int high = bytes.next();
        const int low = bytes.next();
        if (high < 0 || low < 0 || high * 256 + low < 2) return false;
        const size_t length = static_cast<size_t>(high * 256 + low - 2);
        const unsigned char* segment = bytes.data + bytes.at;
        if (!bytes.skip(length) || !acceptSegment(marker, segment, length, progress))
            return false;
        marker = marker == 0xDA ? markerAfterScan(bytes, progress.scanBytes)
                                : nextMarker(bytes);
    }
    return marker == 0xD9 && progress.scanBytes * 8 >= progress.blocks;
}

}  // namespace

bool jpegIsWhole(const std::string& bytes) {
    ByteReader reader{reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()};
    return reachesEnd(reader);
}
