// SPDX-License-Identifier: Apache-2.0
#include "packed/frame_code.h"

#include <algorithm>
#include <array>
#include <map>
#include <stdexcept>

#include "packed/match_history.h"
#include "packed/row_cycles.h"

namespace {

constexpr int ROWS = PACKED_FRAME_BYTES / PACKED_ROW_BYTES;
constexpr int COUNT_LIMIT = 64;                 // bytes in a same or run code
constexpr int LITERAL_LIMIT = 32;               // bytes in a literal code
constexpr int PAIR_SAME = 6, PAIR_LITERAL = 8;  // most bytes of each part of a pair
constexpr int ROWS_LIMIT = 16;                  // rows in a rows code
constexpr unsigned char SAME = 0x00, LITERAL = 0x40, MATCH = 0x60, RUN = 0x80,
                        ROW_CALL = 0xBF, PAIR = 0xC0, WHOLE = 0xF0;
constexpr unsigned char KIND_RAW = 'R', KIND_KEY = 'K', KIND_DELTA = 'D';

using Bytes = std::vector<unsigned char>;

// Sources far enough back that every record of the frame (at most 8,161 bytes) still
// reaches them.
constexpr size_t MATCH_REACH = MATCH_DISTANCE_MAX - 8192;

// The longest match at each byte of each row of a frame, in the set before the frame.
using FrameMatches = std::vector<std::array<Match, PACKED_ROW_BYTES>>;

FrameMatches matchesBefore(const PackedFrame& frame, const MatchHistory& history,
                           size_t firstRecord) {
    const size_t size = history.bytes.size();
    const size_t lowest =
        std::max(firstRecord, size > MATCH_REACH ? size - MATCH_REACH : 0);
    FrameMatches matches(ROWS);
    for (int y = 0; y < ROWS; ++y)
        for (int i = 0; i < PACKED_ROW_BYTES; ++i)
            matches[y][i] =
                longestMatch(history, frame.data() + y * PACKED_ROW_BYTES + i,
                             std::min(MATCH_MAX, PACKED_ROW_BYTES - i), lowest, 0);
    return matches;
}

// The codes that make row from ref (nullptr: none, every byte written) with the fewest
// bytes plus weight times the decoder's cycles; of codes that cost the same, the one
// that covers more bytes. The codes start at byte `at` of the set; matches are the
// longest copies of the row's bytes before it.
Bytes rowCodes(const unsigned char* row, const unsigned char* ref, double weight,
               const std::array<Match, PACKED_ROW_BYTES>& matches, size_t at) {
    struct Step {
        double cost = 1e30;
        unsigned char code = 0;
        int same = 0, length = 0;  // bytes as in ref, then bytes of the code's kind
    };
    Step best[PACKED_ROW_BYTES + 1];
    best[PACKED_ROW_BYTES].cost = 0;
    for (int i = PACKED_ROW_BYTES - 1; i >= 0; --i) {
        const int left = PACKED_ROW_BYTES - i;
        Step& step = best[i];
        auto consider = [&](unsigned char code, int same, int length, int bytes,
                            double cycles) {
            const double cost = bytes + weight * cycles + best[i + same + length].cost;
            if (cost < step.cost) step = {cost, code, same, length};
        };
        int matching = 0;
        while (ref && matching < left && ref[i + matching] == row[i + matching])
            ++matching;

        for (int n = std::min(matching, COUNT_LIMIT); n >= 1; --n)
            consider(SAME, n, 0, 1, SAME_CODE_CYCLES);
        for (int n = std::min(matching, PAIR_SAME); n >= 1; --n)
            for (int k = std::min(left - n, PAIR_LITERAL); k >= 1; --k)
                consider(PAIR, n, k, 1 + k, PAIR_CODE_CYCLES + PAIR_BYTE_CYCLES * k);
        for (int n = matches[i].length; n >= MATCH_MIN; --n)
            consider(MATCH, 0, n, 3, MATCH_CODE_CYCLES + MATCH_BYTE_CYCLES * n);
        int equal = 1;
        while (equal < std::min(left, COUNT_LIMIT) && row[i + equal] == row[i]) ++equal;
        for (int n = equal; n >= 1; --n)
            consider(RUN, 0, n, 2, RUN_CODE_CYCLES + RUN_BYTE_CYCLES * n);
        for (int n = std::min(left, LITERAL_LIMIT); n >= 1; --n)
            consider(LITERAL, 0, n, 1 + n, LITERAL_CODE_CYCLES + LITERAL_BYTE_CYCLES * n);
    }
    Bytes codes;
    for (int i = 0; i < PACKED_ROW_BYTES;) {
        const Step& step = best[i];
        const int start = i + step.same;
        if (step.code == SAME)
            codes.push_back(static_cast<unsigned char>(step.same - 1));
        else if (step.code == PAIR)
            codes.push_back(static_cast<unsigned char>(PAIR | (step.same - 1) << 3 |
                                                       (step.length - 1)));
        else if (step.code == MATCH) {
            const size_t distance = at + codes.size() - matches[start].source;
            codes.insert(codes.end(),
                         {static_cast<unsigned char>(MATCH | (step.length - MATCH_MIN)),
                          static_cast<unsigned char>(distance & 0xFF),
                          static_cast<unsigned char>(distance >> 8)});
        } else
            codes.push_back(static_cast<unsigned char>(step.code | (step.length - 1)));
        if (step.code == RUN) codes.push_back(row[start]);
        if (step.code == LITERAL || step.code == PAIR)
            codes.insert(codes.end(), row + start, row + start + step.length);
        i = start + step.length;
    }
    return codes;
}

// The codes of rows coded so far, each at the last place in the set it starts.
using RowsSeen = std::map<Bytes, size_t>;

// The codes of a row, or a call of the same codes before when that saves more bytes than
// weight times its cycles: where they start in the set, in seen or in mine (this
// record's rows so far).
Bytes callOrCodes(const Bytes& codes, size_t at, double weight, const RowsSeen& seen,
                  RowsSeen& mine) {
    if (codes.size() > 3 + weight * CALL_CYCLES) {
        size_t from = 0;
        for (const RowsSeen* rows : {&seen, static_cast<const RowsSeen*>(&mine)}) {
            const auto found = rows->find(codes);
            if (found != rows->end()) from = std::max(from, found->second);
        }
        if (from && at - from <= MATCH_DISTANCE_MAX)
            return {ROW_CALL, static_cast<unsigned char>((at - from) & 0xFF),
                    static_cast<unsigned char>((at - from) >> 8)};
    }
    mine[codes] = at;
    return codes;
}

// A frame's record, and where its rows' codes start in the set (calls not included),
// for later rows to call.
struct Record {
    Bytes bytes;
    RowsSeen rows;
};

// The record of frame of kind KIND_KEY (its rows against the row above) or KIND_DELTA
// (against the same row of old), appended to the history as the set's next bytes and
// taken back out. Each row's codes are weighed as rowCodes does; rows that are whole as
// their reference share a rows code.
Record frameRecord(unsigned char kind, const PackedFrame& frame, const PackedFrame* old,
                   double weight, MatchHistory& history, const FrameMatches& before,
                   const RowsSeen& seen) {
    const size_t start = history.bytes.size();
    Record record{{kind}, {}};
    Bytes& out = record.bytes;

    size_t written = 0;  // of out, in the history
    int wholeRows = 0;   // in the rows code at out.back()
    for (int y = 0; y < ROWS; ++y) {
        const unsigned char* row = frame.data() + y * PACKED_ROW_BYTES;
        const unsigned char* ref = old     ? old->data() + y * PACKED_ROW_BYTES
                                   : y > 0 ? row - PACKED_ROW_BYTES
                                           : nullptr;
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
        appendHistory(history, out.data() + written, out.data() + out.size());
        written = out.size();
        std::array<Match, PACKED_ROW_BYTES> matches = before[y];
        for (int i = 0; i < PACKED_ROW_BYTES; ++i) {
            const Match inRecord =
                longestMatch(history, row + i, std::min(MATCH_MAX, PACKED_ROW_BYTES - i),
                             start, start);
            if (inRecord.length > matches[i].length) matches[i] = inRecord;
        }
        const Bytes codes =
            callOrCodes(rowCodes(row, ref, weight, matches, history.bytes.size()),
                        history.bytes.size(), weight, seen, record.rows);
        out.insert(out.end(), codes.begin(), codes.end());
        wholeRows = 0;
    }
    truncateHistory(history, start);
    return record;
}

// Weights of the decoder's cycles against bytes: the first breaks ties between codings
// of a row with the same bytes; the others, in turn, when a key frame would take longer
// than the budget to decode row by row.
constexpr double TIE_WEIGHT = 1e-6;
constexpr double SPEED_WEIGHTS[] = {TIE_WEIGHT, 0.0025, 0.005, 0.01, 0.02, 0.04,
                                    0.08,       0.16,   0.32,  0.64, 1.28};

// The record of frame on its own: a key frame with the fewest bytes that decodes within
// the budget row by row, or raw when that is smaller or no key frame does.
Record aloneRecord(const PackedFrame& frame, MatchHistory& history,
                   const FrameMatches& before, const RowsSeen& seen) {
    Record raw{{KIND_RAW}, {}};
    raw.bytes.insert(raw.bytes.end(), frame.begin(), frame.end());
    for (const double weight : SPEED_WEIGHTS) {
        Record key = frameRecord(KIND_KEY, frame, nullptr, weight, history, before, seen);
        if (key.bytes.size() >= raw.bytes.size()) break;
        if (rowCyclesAlone({key.bytes, history.bytes, history.bytes.size()}) <=
            CYCLES_BUDGET)
            return key;
    }
    return raw;
}

}  // namespace

std::vector<unsigned char> encodeFrameSet(const std::vector<PackedFrame>& frames) {
    const size_t count = frames.size();
    if (count > 0xFFFF) throw std::length_error("too many frames for the code");
    Bytes out{'G', 'F', FRAME_CODE_VERSION, static_cast<unsigned char>(count & 0xFF),
              static_cast<unsigned char>(count >> 8)};
    out.resize(out.size() + 3 * count);
    const size_t firstRecord = out.size();
    // The records of the chain so far, its raw or key frame first, and where they start.
    std::vector<Bytes> chain;
    std::vector<size_t> starts;
    MatchHistory history;
    RowsSeen seen;
    appendHistory(history, out.data(), out.data() + out.size());
    for (size_t k = 0; k < count; ++k) {
        const FrameMatches before = matchesBefore(frames[k], history, firstRecord);
        Record record = aloneRecord(frames[k], history, before, seen);
        const size_t start = out.size();
        if (k > 0 && chain.size() < FRAME_CODE_CHAIN_MAX) {
            // Against the frame before when that is smaller, and either decodes within
            // the budget row by row with its chain or is at most half the size.
            Record delta = frameRecord(KIND_DELTA, frames[k], &frames[k - 1], TIE_WEIGHT,
                                       history, before, seen);
            chain.push_back(delta.bytes);
            starts.push_back(start);
            std::vector<PlacedRecord> placed;
            for (size_t i = 0; i < chain.size(); ++i)
                placed.push_back({chain[i], history.bytes, starts[i]});
            const size_t size = delta.bytes.size(), alone = record.bytes.size();
            if (size < alone &&
                (2 * size <= alone || rowCyclesOfChain(placed) <= CYCLES_BUDGET))
                record = std::move(delta);
            chain.pop_back();
            starts.pop_back();
        }
        const Bytes& bytes = record.bytes;
        if (bytes[0] != KIND_DELTA) {
            chain.clear();
            starts.clear();
        }
        chain.push_back(bytes);
        starts.push_back(start);
        if (start > 0xFFFFFF) throw std::length_error("frame set too large for the code");
        for (int b = 0; b < 3; ++b)
            out[5 + 3 * k + b] = static_cast<unsigned char>(start >> (8 * b));
        out.insert(out.end(), bytes.begin(), bytes.end());
        appendHistory(history, bytes.data(), bytes.data() + bytes.size());
        for (const auto& row : record.rows) seen[row.first] = row.second;
    }
    return out;
}
