// SPDX-License-Identifier: Apache-2.0
#include "packed/frame_code.h"

#include <algorithm>
#include <stdexcept>

namespace {

constexpr int ROWS = PACKED_FRAME_BYTES / PACKED_ROW_BYTES;
constexpr int COUNT_LIMIT = 64;                   // bytes in a same, literal or run code
constexpr int PAIR_SAME = 6, PAIR_LITERAL = 8;     // most bytes of each part of a pair
constexpr int ROWS_LIMIT = 16;                    // rows in a rows code
constexpr unsigned char SAME = 0x00, LITERAL = 0x40, RUN = 0x80, PAIR = 0xC0, WHOLE = 0xF0;
constexpr unsigned char KIND_RAW = 'R', KIND_KEY = 'K', KIND_DELTA = 'D';

using Bytes = std::vector<unsigned char>;

// The fewest codes that make row from ref (nullptr: none, every byte written); of codes
// that cost the same, the one that covers more bytes.
Bytes rowCodes(const unsigned char* row, const unsigned char* ref) {
    struct Step {
        int cost = 1 << 30;
        unsigned char code = 0;
        int same = 0, length = 0;  // bytes as in ref, then bytes of the code's kind
    };
    Step best[PACKED_ROW_BYTES + 1];
    best[PACKED_ROW_BYTES].cost = 0;
    for (int i = PACKED_ROW_BYTES - 1; i >= 0; --i) {
        const int left = PACKED_ROW_BYTES - i;
        Step& step = best[i];
        auto consider = [&](unsigned char code, int same, int length, int bytes) {
            const int cost = bytes + best[i + same + length].cost;
            if (cost < step.cost) step = {cost, code, same, length};
        };
        int matching = 0;
        while (ref && matching < left && ref[i + matching] == row[i + matching]) ++matching;
        for (int n = std::min(matching, COUNT_LIMIT); n >= 1; --n) consider(SAME, n, 0, 1);
        for (int n = std::min(matching, PAIR_SAME); n >= 1; --n)
            for (int k = std::min(left - n, PAIR_LITERAL); k >= 1; --k)
                consider(PAIR, n, k, 1 + k);
        int equal = 1;
        while (equal < std::min(left, COUNT_LIMIT) && row[i + equal] == row[i]) ++equal;
        for (int n = equal; n >= 1; --n) consider(RUN, 0, n, 2);
        for (int n = std::min(left, COUNT_LIMIT); n >= 1; --n) consider(LITERAL, 0, n, 1 + n);
    }
    Bytes codes;
    for (int i = 0; i < PACKED_ROW_BYTES;) {
        const Step& step = best[i];
        if (step.code == SAME)
            codes.push_back(static_cast<unsigned char>(step.same - 1));
        else if (step.code == PAIR)
            codes.push_back(
                static_cast<unsigned char>(PAIR | (step.same - 1) << 3 | (step.length - 1)));
        else
            codes.push_back(static_cast<unsigned char>(step.code | (step.length - 1)));
        const int start = i + step.same;
        if (step.code == RUN) codes.push_back(row[start]);
        if (step.code == LITERAL || step.code == PAIR)
            codes.insert(codes.end(), row + start, row + start + step.length);
        i = start + step.length;
    }
    return codes;
}

// The rows of frame as codes: against the row above (old nullptr, a key frame) or the
// same row of old. Rows that are whole as their reference share a rows code.
Bytes frameCodes(const PackedFrame& frame, const PackedFrame* old) {
    Bytes out;
    int wholeRows = 0;  // in the rows code at out.back()
    for (int y = 0; y < ROWS; ++y) {
        const unsigned char* row = frame.data() + y * PACKED_ROW_BYTES;
        const unsigned char* ref = old ? old->data() + y * PACKED_ROW_BYTES
                                       : y > 0 ? row - PACKED_ROW_BYTES : nullptr;
        if (ref && std::equal(row, row + PACKED_ROW_BYTES, ref)) {
            if (wholeRows > 0 && wholeRows < ROWS_LIMIT) {
                ++out.back();
                ++wholeRows;
            } else {
                out.push_back(WHOLE);
                wholeRows = 1;
            }
            continue;
        }
        const Bytes codes = rowCodes(row, ref);
        out.insert(out.end(), codes.begin(), codes.end());
        wholeRows = 0;
    }
    return out;
}

// The record of frame: its kind byte and body, the smallest of the ways allowed.
Bytes frameRecord(const PackedFrame& frame, const PackedFrame* previous) {
    Bytes best{KIND_RAW};
    best.insert(best.end(), frame.begin(), frame.end());
    Bytes key{KIND_KEY};
    const Bytes keyCodes = frameCodes(frame, nullptr);
    key.insert(key.end(), keyCodes.begin(), keyCodes.end());
    if (key.size() < best.size()) best = key;
    if (previous) {
        Bytes delta{KIND_DELTA};
        const Bytes deltaCodes = frameCodes(frame, previous);
        delta.insert(delta.end(), deltaCodes.begin(), deltaCodes.end());
        if (delta.size() < best.size()) best = delta;
    }
    return best;
}

}  // namespace

std::vector<unsigned char> encodeFrameSet(const std::vector<PackedFrame>& frames) {
    const size_t count = frames.size();
    if (count > 0xFFFF) throw std::length_error("too many frames for the code");
    Bytes out{'G', 'F', FRAME_CODE_VERSION, static_cast<unsigned char>(count & 0xFF),
              static_cast<unsigned char>(count >> 8)};
    out.resize(out.size() + 3 * count);
    int chain = 0;
    for (size_t k = 0; k < count; ++k) {
        const bool mayLean = k > 0 && chain < FRAME_CODE_CHAIN_MAX;
        const Bytes record = frameRecord(frames[k], mayLean ? &frames[k - 1] : nullptr);
        chain = record[0] == KIND_DELTA ? chain + 1 : 1;
        const size_t start = out.size();
        if (start > 0xFFFFFF) throw std::length_error("frame set too large for the code");
        for (int b = 0; b < 3; ++b)
            out[5 + 3 * k + b] = static_cast<unsigned char>(start >> (8 * b));
        out.insert(out.end(), record.begin(), record.end());
    }
    return out;
}
