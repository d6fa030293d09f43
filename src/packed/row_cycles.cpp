// SPDX-License-Identifier: Apache-2.0
#include "packed/row_cycles.h"

#include <algorithm>

#include "packed/packed.h"

namespace {

constexpr int ROWS = PACKED_FRAME_BYTES / PACKED_ROW_BYTES;

// The fitted costs of the rest, rounded up.
constexpr long FRAME = 10;          // opening a frame
constexpr long ALONE_ROW = 185;     // a row with codes, no chain
constexpr long ALONE_HELD = 65;     // a row held whole as the row above, no chain
constexpr long ALONE_RAW = 395;     // a raw row, no chain
constexpr long STEP = 130;          // a row of a chain
constexpr long ROW_CALL = 150;      // the row decoder on one frame's row, in a chain
constexpr long RAW_IN_CHAIN = 330;  // a raw row's copy in a chain
constexpr long HOLD_CHECK = 26;     // a delta frame's row checked for a hold
constexpr long KEEP_ROW = 605;      // the base frame's row kept in the state
constexpr long HELD_COPY = 435;     // a held row copied from the state
constexpr double COPIED_BYTE = 7;   // a byte as the reference, copied from the state

struct Row {
    bool raw = false, held = false, holdStarts = false;
    long codes = 0;     // the codes' own cost, bytes as the reference not included
    int sameBytes = 0;  // bytes as the reference
};

// The rows of a record as the decoder meets them.
std::vector<Row> rowsOf(const std::vector<unsigned char>& record) {
    std::vector<Row> rows(ROWS);
    if (record.empty()) return rows;
    if (record[0] == 'R') {
        for (Row& row : rows) row.raw = true;
        return rows;
    }
    size_t at = 1;
    int hold = 0;
    auto next = [&]() { return at < record.size() ? record[at++] : 0; };
    for (Row& row : rows) {
        if (hold) {
            --hold;
            row.held = true;
            continue;
        }
        if (at < record.size() && record[at] >= 0xF0) {
            hold = next() & 0x0F;
            row.held = row.holdStarts = true;
            continue;
        }
        double cycles = 0;
        for (int x = 0; x < PACKED_ROW_BYTES && at < record.size();) {
            const unsigned char c = next();
            const int n = (c & 0x3F) + 1;
            if (c < 0x40) {
                cycles += SAME_CODE_CYCLES;
                row.sameBytes += n;
                x += n;
            } else if (c < 0x60) {
                const int k = (c & 0x1F) + 1;
                cycles += LITERAL_CODE_CYCLES + LITERAL_BYTE_CYCLES * k;
                at += k;
                x += k;
            } else if (c < 0x80) {
                const int k = (c & 0x1F) + 4;
                cycles += MATCH_CODE_CYCLES + MATCH_BYTE_CYCLES * k;
                at += 2;
                x += k;
            } else if (c < 0xC0) {
                cycles += RUN_CODE_CYCLES + RUN_BYTE_CYCLES * n;
                ++at;
                x += n;
            } else {
                const int same = ((c >> 3) & 7) + 1, literal = (c & 7) + 1;
                row.sameBytes += same;
                cycles += SAME_CODE_CYCLES + LITERAL_CODE_CYCLES +
                          LITERAL_BYTE_CYCLES * literal;
                at += literal;
                x += same + literal;
            }
        }
        row.codes = static_cast<long>(cycles + 0.5);
    }
    return rows;
}

}  // namespace

long rowCyclesAlone(const std::vector<unsigned char>& record) {
    long cycles = FRAME;
    for (const Row& row : rowsOf(record))
        cycles += row.raw                       ? ALONE_RAW
                  : row.held && !row.holdStarts ? ALONE_HELD
                                                : ALONE_ROW + row.codes;
    return cycles;
}

long rowCyclesOfChain(const std::vector<std::vector<unsigned char>>& chain) {
    if (chain.size() == 1) return rowCyclesAlone(chain[0]);
    std::vector<std::vector<Row>> frames;
    for (const auto& record : chain) frames.push_back(rowsOf(record));
    long cycles = FRAME;
    bool keptBefore = false;  // the row before was changed by a delta frame
    for (int y = 0; y < ROWS; ++y) {
        const Row& base = frames[0][y];
        cycles += STEP + ROW_CALL;
        if (base.raw)
            cycles += RAW_IN_CHAIN;
        else if (base.held)
            cycles += keptBefore ? HELD_COPY : 0;
        else
            cycles += base.codes +
                      (keptBefore ? static_cast<long>(COPIED_BYTE * base.sameBytes) : 0);
        bool changed = false;
        for (size_t k = 1; k < frames.size(); ++k) {
            const Row& delta = frames[k][y];
            cycles += HOLD_CHECK;
            if (delta.held) continue;
            changed = true;
            cycles += ROW_CALL + delta.codes;
        }
        if (changed) cycles += KEEP_ROW;
        keptBefore = changed;
    }
    return cycles;
}
