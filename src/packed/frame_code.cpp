// SPDX-License-Identifier: Apache-2.0
#include "packed/frame_code.h"

#include <algorithm>
#include <array>
#include <climits>
#include <map>
#include <stdexcept>

#include "grayframe_decode.h"
#include "packed/match_history.h"
#include "packed/row_cycles.h"

namespace {

using Bytes = std::vector<unsigned char>;

// Sources far enough back that every record of the frame (at most 8,161 bytes) still
// reaches them.
constexpr size_t MATCH_REACH = GRAYFRAME_DISTANCE_MAX - 8192;

// The longest match at each byte of each row of a frame, in the set before the frame.
using FrameMatches = std::vector<std::array<Match, PACKED_ROW_BYTES>>;

FrameMatches matchesBefore(const PackedFrame& frame, const MatchHistory& history,
                           size_t firstRecord) {
    const size_t size = history.bytes.size();
    const size_t lowest =
        std::max(firstRecord, size > MATCH_REACH ? size - MATCH_REACH : 0);
    FrameMatches matches(GRAYFRAME_ROWS);
    for (int y = 0; y < GRAYFRAME_ROWS; ++y)
        for (int i = 0; i < PACKED_ROW_BYTES; ++i)
            matches[y][i] = longestMatch(
                history, frame.data() + y * PACKED_ROW_BYTES + i,
                std::min(GRAYFRAME_MATCH_MAX, PACKED_ROW_BYTES - i), lowest, 0);
    return matches;
}

// A code of its first byte and a distance back of 2 bytes (a match or a call).
Bytes distanceCode(unsigned char first, size_t distance) {
    return {first, static_cast<unsigned char>(distance & 0xFF),
            static_cast<unsigned char>(distance >> 8)};
}

// The codes that make row from ref (nullptr: none, every byte written) with the fewest
// bytes plus weight times the decoder's cycles row by row and wholeWeight times its
// cycles whole; of codes that cost the same, the one that covers more bytes. The codes
// start at byte `at` of the set; matches are the longest copies of the row's bytes before
// it.
Bytes rowCodes(const unsigned char* row, const unsigned char* ref, double weight,
               const std::array<Match, PACKED_ROW_BYTES>& matches, size_t at,
               double wholeWeight = 0) {
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
        auto consider = [&](unsigned char code, int same, int length, int bytes) {
            const double cost =
                bytes + weight * codeCycles(CYCLES.rows.code, code, same, length) +
                (wholeWeight
                     ? wholeWeight * codeCycles(CYCLES.whole.code, code, same, length)
                     : 0) +
                best[i + same + length].cost;
            if (cost < step.cost) step = {cost, code, same, length};
        };
        int matching = 0;
        while (ref && matching < left && ref[i + matching] == row[i + matching])
            ++matching;

        for (int n = std::min(matching, GRAYFRAME_SAME_MAX); n >= 1; --n)
            consider(GRAYFRAME_SAME, n, 0, 1);
        for (int n = std::min(matching, GRAYFRAME_PAIR_SAME_MAX); n >= 1; --n)
            for (int k = std::min(left - n, GRAYFRAME_PAIR_LITERAL_MAX); k >= 1; --k)
                consider(GRAYFRAME_PAIR, n, k, 1 + k);
        for (int n = matches[i].length; n >= GRAYFRAME_MATCH_MIN; --n)
            consider(GRAYFRAME_MATCH, 0, n, 3);
        int equal = 1;
        while (equal < std::min(left, GRAYFRAME_RUN_MAX) && row[i + equal] == row[i])
            ++equal;
        for (int n = equal; n >= 1; --n) consider(GRAYFRAME_RUN, 0, n, 2);
        for (int n = std::min(left, GRAYFRAME_LITERAL_MAX); n >= 1; --n)
            consider(GRAYFRAME_LITERAL, 0, n, 1 + n);
    }
    Bytes codes;
    for (int i = 0; i < PACKED_ROW_BYTES;) {
        const Step& step = best[i];
        const int start = i + step.same;
        if (step.code == GRAYFRAME_SAME)
            codes.push_back(static_cast<unsigned char>(step.same - 1));
        else if (step.code == GRAYFRAME_PAIR)
            codes.push_back(static_cast<unsigned char>(
                GRAYFRAME_PAIR | (step.same - 1) << 3 | (step.length - 1)));
        else if (step.code == GRAYFRAME_MATCH) {
            const Bytes match =
                distanceCode(static_cast<unsigned char>(
                                 GRAYFRAME_MATCH | (step.length - GRAYFRAME_MATCH_MIN)),
                             at + codes.size() - matches[start].source);
            codes.insert(codes.end(), match.begin(), match.end());
        } else
            codes.push_back(static_cast<unsigned char>(step.code | (step.length - 1)));
        if (step.code == GRAYFRAME_RUN) codes.push_back(row[start]);
        if (step.code == GRAYFRAME_LITERAL || step.code == GRAYFRAME_PAIR)
            codes.insert(codes.end(), row + start, row + start + step.length);
        i = start + step.length;
    }
    return codes;
}

using Row = std::array<unsigned char, PACKED_ROW_BYTES>;

// The row that the codes of a row's own at `at` in set make against ref (nullptr: none),
// by the firmware decoder; false when they take bytes of a reference and there is none,
// or do not make a row.
bool decodeRow(const Bytes& set, size_t at, const unsigned char* ref, Row& row) {
    grayframe_decoder decoder;
    auto decode = [&](const unsigned char* reference, Row& made) {
        return grayframe_open(&decoder, set.data(), set.size()) == GRAYFRAME_OK &&
               grayframe_decode_row_codes(&decoder, at, made.data(), reference) ==
                   GRAYFRAME_OK;
    };
    if (ref) return decode(ref, row);
    // Against two references that differ in every byte, codes that take none make the
    // same row.
    Row zeros{}, ones, other;
    ones.fill(0xFF);
    return decode(zeros.data(), row) && decode(ones.data(), other) && row == other;
}

// The codes of rows coded so far, each at the last place in the set it starts.
using RowsSeen = std::map<Bytes, size_t>;

// The codes of a row, or a call of the same codes before when that saves more bytes than
// weight times its cycles and they make the row there too (a match in them reads bytes
// at its own distance): where they start in set, in seen or in mine (this record's rows
// so far). row is made against ref.
Bytes callOrCodes(const Bytes& codes, size_t at, double weight, const RowsSeen& seen,
                  RowsSeen& mine, const Bytes& set, const unsigned char* row,
                  const unsigned char* ref) {
    if (codes.size() > 3 + weight * CYCLES.rows.call) {
        size_t from = 0;
        for (const RowsSeen* rows : {&seen, static_cast<const RowsSeen*>(&mine)}) {
            const auto found = rows->find(codes);
            if (found != rows->end()) from = std::max(from, found->second);
        }
        Row made;
        if (from && at - from <= GRAYFRAME_DISTANCE_MAX &&
            decodeRow(set, from, ref, made) && std::equal(made.begin(), made.end(), row))
            return distanceCode(GRAYFRAME_ROW_CALL, at - from);
    }
    mine[codes] = at;
    return codes;
}

// How a row of a key frame's record is made, for later key frames to call it.
enum class RowKind : unsigned char {
    Own,        // by codes of its own
    Call,       // by a call of a row's codes before
    HoldStart,  // by a rows code that starts at it
    Held,       // by a rows code that started above it
    Called,     // by a rows call: no later rows call may start or run through it
    Changed,    // by a call and codes that change the row it makes
};

// The rows of a key frame's record: how each is made, where its codes start in the set
// (for Own, Call and HoldStart rows), and where codes of a row's own start that make it
// as it is in this frame (0: none).
struct KeyRows {
    const PackedFrame* frame = nullptr;
    std::array<size_t, GRAYFRAME_ROWS> start{};
    std::array<RowKind, GRAYFRAME_ROWS> kind{};
    std::array<size_t, GRAYFRAME_ROWS> origin{};
    std::array<double, GRAYFRAME_ROWS> cycles{};  // each row's, row by row
};

// A frame's record; where its rows' codes start in the set (calls not included), for
// later rows to call; and for a key frame, how each row is made.
struct Record {
    Bytes bytes;
    RowsSeen rows;
    KeyRows key;
};

// A row's bytes and then its reference's.
Bytes rowAndReference(const unsigned char* row, const unsigned char* ref) {
    Bytes both(2 * PACKED_ROW_BYTES);
    std::copy_n(row, PACKED_ROW_BYTES, both.begin());
    std::copy_n(ref, PACKED_ROW_BYTES, both.begin() + PACKED_ROW_BYTES);
    return both;
}

bool sameRow(const PackedFrame& a, const PackedFrame& b, int y) {
    return std::equal(a.begin() + y * PACKED_ROW_BYTES,
                      a.begin() + (y + 1) * PACKED_ROW_BYTES,
                      b.begin() + y * PACKED_ROW_BYTES);
}

// Rows of an earlier key frame that a rows call (or a call) could take from row y of
// frame on: as many rows as are the same in both and made there in a way the call can
// follow, row y - 1 the same too (row y's codes may lean on it), and all of them the
// same as in the frame before or none.
struct Callable {
    int rows = 0;
    const KeyRows* from = nullptr;
    bool before = false;  // the rows are the frame before's
};

// Earlier key frames looked at for rows to call, newest first, and for rows to call and
// change.
constexpr size_t KEYS_LOOKED_AT = 32, CHANGED_LOOKED_AT = 4;

Callable callableRows(const PackedFrame& frame, const PackedFrame* previous, int y,
                      const std::vector<KeyRows>& keys, size_t at) {
    auto asBefore = [&](int row) { return previous && sameRow(frame, *previous, row); };
    Callable best;
    best.before = asBefore(y);
    for (size_t k = keys.size(), looked = 0; k-- > 0 && looked < KEYS_LOOKED_AT;
         ++looked) {
        const KeyRows& key = keys[k];
        const RowKind first = key.kind[y];
        if (first == RowKind::Held || first == RowKind::Called ||
            at - key.start[y] > GRAYFRAME_DISTANCE_MAX ||
            (y > 0 && !sameRow(frame, *key.frame, y - 1)))
            continue;
        int n = 0;
        while (y + n < GRAYFRAME_ROWS && key.kind[y + n] != RowKind::Called &&
               sameRow(frame, *key.frame, y + n) && asBefore(y + n) == best.before)
            ++n;
        if (n > best.rows) {
            best.rows = n;
            best.from = &key;
        }
    }
    return best;
}

// Weights of the decoder's cycles against bytes: the first breaks ties between codings
// of a row with the same bytes; the others, in turn, when a key frame would take longer
// than the budget to decode row by row.
constexpr double TIE_WEIGHT = 1e-6;
constexpr double SPEED_WEIGHTS[] = {TIE_WEIGHT, 0.0025, 0.005, 0.01, 0.02, 0.04,
                                    0.08,       0.16,   0.32,  0.64, 1.28};

// Whether a rows call of rows y to y + n - 1 costs less, bytes plus weight times
// cycles, than those rows coded afresh against the rows above (estimated row by row).
bool rowsCallPays(const PackedFrame& frame, int y, const Callable& callable,
                  double weight, const FrameMatches& before, size_t at) {
    if (weight <= TIE_WEIGHT) return true;
    double calling = 4 + weight * CYCLES.rows.rowsCall, afresh = 0;
    for (int k = y; k < y + callable.rows; ++k) {
        calling += weight * callable.from->cycles[k];
        const unsigned char* row = frame.data() + k * PACKED_ROW_BYTES;
        const unsigned char* above = k ? row - PACKED_ROW_BYTES : nullptr;
        if (above && std::equal(row, row + PACKED_ROW_BYTES, above)) {
            afresh += 1.0 / GRAYFRAME_WHOLE_MAX + weight * CYCLES.rows.heldRow;
            continue;
        }
        const Bytes codes = rowCodes(row, above, weight, before[k], at);
        afresh += codes.size() + weight * rowCodesCycles(codes, 0);
    }
    return calling <= afresh;
}

// The record of frame of kind GRAYFRAME_KIND_KEY (its rows against the row above) or
// GRAYFRAME_KIND_DELTA (against the same row of old), appended to the history as the
// set's next bytes and taken back out. Each row's codes are weighed as rowCodes does;
// rows that are whole as their reference share a rows code.
Record frameRecord(unsigned char kind, const PackedFrame& frame, const PackedFrame* old,
                   double weight, MatchHistory& history, const FrameMatches& before,
                   const RowsSeen& seen, const std::vector<KeyRows>& keys,
                   const PackedFrame* previous, double wholeWeight = 0) {
    const size_t start = history.bytes.size();
    Record record{{kind}, {}, {}};
    Bytes& out = record.bytes;
    record.key.frame = &frame;

    size_t written = 0;  // of out, in the history
    int wholeRows = 0;   // in the rows code at out.back()
    // Rows of this frame made by codes of their own, with their reference: where the
    // codes start.
    std::map<Bytes, size_t> madeHere;
    for (int y = 0; y < GRAYFRAME_ROWS; ++y) {
        const unsigned char* row = frame.data() + y * PACKED_ROW_BYTES;
        const unsigned char* ref = old     ? old->data() + y * PACKED_ROW_BYTES
                                   : y > 0 ? row - PACKED_ROW_BYTES
                                           : nullptr;
        const size_t at = start + out.size();
        record.key.start[y] = at;
        const Callable callable = kind == GRAYFRAME_KIND_KEY
                                      ? callableRows(frame, previous, y, keys, at)
                                      : Callable{};
        int held = 0;  // rows from y on as the row above
        while (ref && y + held < GRAYFRAME_ROWS &&
               std::equal(row + held * PACKED_ROW_BYTES,
                          row + (held + 1) * PACKED_ROW_BYTES,
                          ref + held * PACKED_ROW_BYTES))
            ++held;
        if (callable.rows >= 2 && callable.rows > held &&
            rowsCallPays(frame, y, callable, weight, before, at)) {
            Bytes call = distanceCode(
                callable.before ? GRAYFRAME_ROWS_BEFORE : GRAYFRAME_ROWS_CALL,
                at - callable.from->start[y]);
            call.insert(call.begin() + 1, static_cast<unsigned char>(callable.rows - 1));
            out.insert(out.end(), call.begin(), call.end());
            for (int k = 0; k < callable.rows; ++k) {
                record.key.kind[y + k] = RowKind::Called;
                record.key.origin[y + k] = callable.from->origin[y + k];
            }
            y += callable.rows - 1;
            wholeRows = 0;
            continue;
        }
        if (held) {
            if (wholeRows > 0 && wholeRows < GRAYFRAME_WHOLE_MAX) {
                ++out.back();
                ++wholeRows;
                record.key.kind[y] = RowKind::Held;
            } else {
                out.push_back(GRAYFRAME_WHOLE);
                wholeRows = 1;
                record.key.kind[y] = RowKind::HoldStart;
            }
            continue;
        }
        appendHistory(history, out.data() + written, out.data() + out.size());
        written = out.size();
        std::array<Match, PACKED_ROW_BYTES> matches = before[y];
        for (int i = 0; i < PACKED_ROW_BYTES; ++i) {
            const Match inRecord = longestMatch(
                history, row + i, std::min(GRAYFRAME_MATCH_MAX, PACKED_ROW_BYTES - i),
                start, start);
            if (inRecord.length > matches[i].length) matches[i] = inRecord;
        }
        const Bytes& set = history.bytes;
        Bytes codes = rowCodes(row, ref, weight, matches, at, wholeWeight);
        double cost = codes.size() + weight * rowCodesCycles(codes, 0);
        size_t origin = at;
        // A call of the codes at from, which make this row here, when it costs less.
        auto callWhenCheaper = [&](size_t from) {
            const double calling =
                3 + weight * (CYCLES.rows.call + rowCodesCycles(set, from));
            if (calling >= cost) return;
            codes = distanceCode(GRAYFRAME_ROW_CALL, at - from);
            cost = calling;
            origin = from;
        };
        if (callable.rows == 1 && callable.from->kind[y] == RowKind::Own)
            callWhenCheaper(callable.from->start[y]);
        // An earlier row of this frame, the same over the same reference: its codes,
        // matches included, make the same bytes here.
        const Bytes rowOverRef = ref ? rowAndReference(row, ref) : Bytes();
        const auto earlier = ref ? madeHere.find(rowOverRef) : madeHere.end();
        if (earlier != madeHere.end() && at - earlier->second <= GRAYFRAME_DISTANCE_MAX)
            callWhenCheaper(earlier->second);
        if (kind == GRAYFRAME_KIND_KEY) {
            // The row an earlier key frame's codes make here, changed by codes after the
            // call; the frame before's row when it is that.
            for (size_t k = keys.size(), looked = 0;
                 k-- > 0 && looked < CHANGED_LOOKED_AT; ++looked) {
                const size_t from = keys[k].origin[y];
                Row made;
                if (!from || at - from > GRAYFRAME_DISTANCE_MAX ||
                    !decodeRow(set, from, ref, made))
                    continue;
                const Bytes change = rowCodes(row, made.data(), weight, matches, at + 3);
                const double changing =
                    3 + change.size() +
                    weight * (CYCLES.rows.call + CYCLES.rows.change +
                              rowCodesCycles(set, from) + rowCodesCycles(change, 0));
                if (changing < cost) {
                    const bool asBefore =
                        previous && std::equal(made.begin(), made.end(),
                                               previous->begin() + y * PACKED_ROW_BYTES);
                    codes = distanceCode(
                        asBefore ? GRAYFRAME_CHANGED_BEFORE : GRAYFRAME_CHANGED_CALL,
                        at - from);
                    codes.insert(codes.end(), change.begin(), change.end());
                    cost = changing;
                    origin = 0;
                }
            }
        }
        if (origin == at) {
            codes = callOrCodes(codes, at, weight, seen, record.rows, set, row, ref);
            if (codes[0] == GRAYFRAME_ROW_CALL) origin = at - (codes[1] | codes[2] << 8);
        }
        if (origin == at && ref) madeHere.emplace(rowOverRef, at);
        record.key.kind[y] = origin == at ? RowKind::Own
                             : origin     ? RowKind::Call
                                          : RowKind::Changed;
        record.key.origin[y] = origin;
        out.insert(out.end(), codes.begin(), codes.end());
        wholeRows = 0;
    }
    truncateHistory(history, start);
    return record;
}

// Most modelled cycles for a frame row by row and whole, for frames that are to decode
// within cycles (0: no limit): the margins of the 32,000 budgets kept.
struct Budgets {
    long rows, whole;
};
Budgets budgetsFor(long cycles) {
    if (cycles == 0) return {LONG_MAX, LONG_MAX};
    if (cycles < FRAME_CODE_CYCLES)
        throw std::invalid_argument("fewer cycles a frame than a raw frame takes");
    const long more = cycles - FRAME_CODE_CYCLES;
    return {CYCLES_BUDGET + more, WHOLE_CYCLES_BUDGET + more};
}

// The record of frame on its own: a key frame with the fewest bytes that decodes within
// the budgets row by row and whole over the frame before (from nothing for the first), or
// raw when that is smaller or no key frame does.
Record aloneRecord(const PackedFrame& frame, const PackedFrame* previous,
                   MatchHistory& history, const FrameMatches& before,
                   const RowsSeen& seen, const std::vector<KeyRows>& keys,
                   const Budgets& budgets) {
    Record raw{{GRAYFRAME_KIND_RAW}, {}, {}};
    raw.bytes.insert(raw.bytes.end(), frame.begin(), frame.end());
    // Rows calls take the rows' codes as they are, which may be too slow: the smaller of
    // the frame with them and the frame coded afresh.
    const std::vector<KeyRows> none;
    Record best = raw;
    for (const std::vector<KeyRows>* callable : {&keys, &none}) {
        // Once a key frame fast enough row by row is too slow whole, the weights count
        // whole cycles as well.
        bool wholeToo = false;
        for (const double weight : SPEED_WEIGHTS) {
            Record key =
                frameRecord(GRAYFRAME_KIND_KEY, frame, nullptr, weight, history, before,
                            seen, *callable, previous, wholeToo ? weight : 0);
            if (key.bytes.size() >= best.bytes.size()) break;
            const FrameCycles cycles = frameCycles(
                {{key.bytes, history.bytes, history.bytes.size()}}, previous != nullptr);
            const bool rows = cycles.rows <= budgets.rows,
                       whole = cycles.whole <= budgets.whole;
            if (rows && whole) {
                best = std::move(key);
                break;
            }
            wholeToo = wholeToo || (rows && !whole);
        }
        if (keys.empty()) break;
    }
    return best;
}

}  // namespace

std::vector<unsigned char> encodeFrameSet(const std::vector<PackedFrame>& frames,
                                          long cycles) {
    const Budgets budgets = budgetsFor(cycles);
    const size_t count = frames.size();
    if (count > GRAYFRAME_COUNT_MAX)
        throw std::length_error("too many frames for the code");
    Bytes out{GRAYFRAME_SIGNATURE_0, GRAYFRAME_SIGNATURE_1, GRAYFRAME_CODE_VERSION,
              static_cast<unsigned char>(count & 0xFF),
              static_cast<unsigned char>(count >> 8)};
    out.resize(out.size() + GRAYFRAME_INDEX_ENTRY_BYTES * count);
    const size_t firstRecord = out.size();
    // The records of the chain so far, its raw or key frame first, and where they start.
    std::vector<Bytes> chain;
    std::vector<size_t> starts;
    MatchHistory history;
    RowsSeen seen;
    std::vector<KeyRows> keys;  // of the key frames so far
    appendHistory(history, out.data(), out.data() + out.size());
    for (size_t k = 0; k < count; ++k) {
        const FrameMatches before = matchesBefore(frames[k], history, firstRecord);
        Record record = aloneRecord(frames[k], k ? &frames[k - 1] : nullptr, history,
                                    before, seen, keys, budgets);
        const size_t start = out.size();
        if (k > 0 && chain.size() < GRAYFRAME_CHAIN_MAX) {
            // Against the frame before when that is smaller and decodes within the budget
            // row by row with its chain.
            Record delta = frameRecord(GRAYFRAME_KIND_DELTA, frames[k], &frames[k - 1],
                                       TIE_WEIGHT, history, before, seen, keys, nullptr);
            chain.push_back(delta.bytes);
            starts.push_back(start);
            std::vector<PlacedRecord> placed;
            for (size_t i = 0; i < chain.size(); ++i)
                placed.push_back({chain[i], history.bytes, starts[i]});
            const size_t size = delta.bytes.size(), alone = record.bytes.size();
            if (size < alone && frameCycles(placed, false).rows <= budgets.rows)
                record = std::move(delta);
            chain.pop_back();
            starts.pop_back();
        }
        const Bytes& bytes = record.bytes;
        if (bytes[0] != GRAYFRAME_KIND_DELTA) {
            chain.clear();
            starts.clear();
        }
        chain.push_back(bytes);
        starts.push_back(start);
        if (start > GRAYFRAME_OFFSET_MAX)
            throw std::length_error("frame set too large for the code");
        for (int b = 0; b < GRAYFRAME_INDEX_ENTRY_BYTES; ++b)
            out[GRAYFRAME_HEADER_BYTES + GRAYFRAME_INDEX_ENTRY_BYTES * k + b] =
                static_cast<unsigned char>(start >> (8 * b));
        out.insert(out.end(), bytes.begin(), bytes.end());
        appendHistory(history, bytes.data(), bytes.data() + bytes.size());
        for (const auto& row : record.rows) seen[row.first] = row.second;
        if (bytes[0] == GRAYFRAME_KIND_KEY) {
            const std::vector<double> cycles =
                frameCycles({{bytes, history.bytes, start}}, false).each;
            std::copy(cycles.begin(), cycles.end(), record.key.cycles.begin());
            keys.push_back(record.key);
        }
    }
    return out;
}
