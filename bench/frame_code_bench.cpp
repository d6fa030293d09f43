// SPDX-License-Identifier: Apache-2.0
// Bytes per frame of the frame set code beside zlib -9 and LZ4-HC (level 12) on each
// frame alone, for groups of frames given as grayframe raw streams, coded for the AVR's
// 32,000 cycles a frame ("compressed"), 48,000 and no limit; prints a Markdown table.
// Every set is decoded back (whole frames) and checked against its frames.
// Usage: frame_code_bench KIND:GROUP=FILE.raw ...   (KIND: still, anim or photo)
#include <lz4hc.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "packed/frame_code.h"

extern "C" {
#include "grayframe_decode.h"
}

namespace {

size_t zlibBytes(const PackedFrame& frame) {
    uLongf size = compressBound(frame.size());
    std::vector<Bytef> out(size);
    compress2(out.data(), &size, frame.data(), frame.size(), 9);
    return size;
}

size_t lz4Bytes(const PackedFrame& frame) {
    std::vector<char> out(LZ4_compressBound(static_cast<int>(frame.size())));
    return static_cast<size_t>(LZ4_compress_HC(
        reinterpret_cast<const char*>(frame.data()), out.data(),
        static_cast<int>(frame.size()), static_cast<int>(out.size()), 12));
}

bool decodesBack(const std::vector<unsigned char>& code,
                 const std::vector<PackedFrame>& frames) {
    grayframe_decoder decoder;
    if (grayframe_open(&decoder, code.data(), code.size()) != GRAYFRAME_OK) return false;
    PackedFrame out;
    for (size_t k = 0; k < frames.size(); ++k)
        if (grayframe_decode_frame(&decoder, static_cast<unsigned>(k), out.data(), 0) !=
                GRAYFRAME_OK ||
            out != frames[k])
            return false;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::printf(
        "| kind | group | frames | raw | compressed | zlib -9 | LZ4-HC | "
        "compressed / zlib | compressed / LZ4-HC | compressed / raw | "
        "48,000 cycles / zlib | no limit / zlib |\n"
        "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const size_t colon = arg.find(':'), equals = arg.find('=');
        if (colon == std::string::npos || equals == std::string::npos || equals < colon) {
            std::fprintf(stderr, "frame_code_bench: bad argument '%s'\n", argv[i]);
            return 2;
        }
        std::ifstream in(arg.substr(equals + 1), std::ios::binary);
        const std::vector<unsigned char> raw((std::istreambuf_iterator<char>(in)), {});
        std::vector<PackedFrame> frames(raw.size() / PACKED_FRAME_BYTES);
        if (frames.empty()) {
            std::fprintf(stderr, "frame_code_bench: no frames in '%s'\n", argv[i]);
            return 2;
        }
        for (size_t k = 0; k < frames.size(); ++k)
            std::memcpy(frames[k].data(), raw.data() + k * PACKED_FRAME_BYTES,
                        PACKED_FRAME_BYTES);
        const std::vector<unsigned char> code = encodeFrameSet(frames, FRAME_CODE_CYCLES),
                                         slower = encodeFrameSet(frames, 48000),
                                         unlimited = encodeFrameSet(frames, 0);
        size_t zlib = 0, lz4 = 0;
        for (const PackedFrame& frame : frames) {
            zlib += zlibBytes(frame);
            lz4 += lz4Bytes(frame);
        }
        const double n = static_cast<double>(frames.size());
        const double coded = static_cast<double>(code.size());
        std::printf(
            "| %s | %s | %zu | %d | %.0f | %.0f | %.0f | %.2f | %.2f | %.4f | %.2f | "
            "%.2f |\n",
            arg.substr(0, colon).c_str(),
            arg.substr(colon + 1, equals - colon - 1).c_str(), frames.size(),
            PACKED_FRAME_BYTES, coded / n, zlib / n, lz4 / n, coded / zlib, coded / lz4,
            coded / (n * PACKED_FRAME_BYTES), static_cast<double>(slower.size()) / zlib,
            static_cast<double>(unlimited.size()) / zlib);
        if (!decodesBack(code, frames) || !decodesBack(slower, frames) ||
            !decodesBack(unlimited, frames)) {
            std::fprintf(stderr, "frame_code_bench: '%s' does not decode back\n",
                         argv[i]);
            status = 1;
        }
    }
    return status;
}
