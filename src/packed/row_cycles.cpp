// SPDX-License-Identifier: Apache-2.0
#include "packed/row_cycles.h"

#include "packed/packed.h"

namespace {

// One code that makes bytes of a row: its first byte, `same` bytes as the reference,
// then `length` bytes of its kind; where the code after it starts.
struct RowCode {
    unsigned char first = 0;
    int same = 0, length = 0;
    size_t next = 0;
};

// Reads the code at `at` (byte(k) is the set's byte at k): false when the byte there
// does not start a code that makes bytes of a row.
template <typename Byte>
bool readRowCode(size_t at, Byte byte, RowCode& code) {
    const unsigned char c = byte(at);
    code = {c, 0, 0, at + 1};
    if (c < GRAYFRAME_LITERAL) {
        code.same = c + 1;
    } else if (c < GRAYFRAME_MATCH) {
        code.length = (c & 0x1F) + 1;
        code.next += code.length;
    } else if (c < GRAYFRAME_RUN) {
        code.length = (c & 0x1F) + GRAYFRAME_MATCH_MIN;
        code.next += 2;
    } else if (c < GRAYFRAME_RUN + GRAYFRAME_RUN_MAX) {
        code.length = (c & 0x3F) + 1;
        code.next += 1;
    } else if (c >= GRAYFRAME_PAIR && c < GRAYFRAME_WHOLE) {
        code.same = ((c >> 3) & 7) + 1;
        code.length = (c & 7) + 1;
        code.next += code.length;
    } else {
        return false;
    }
    return true;
}

// The fitted costs of the rest, rounded up. Row by row, alone:
constexpr long FRAME = 60;        // opening a frame
constexpr long CODES_ROW = 143;   // a row with codes
constexpr long HOLD_START = 318;  // a row whose rows code starts a hold
constexpr long RAW_ROW = 393;     // a raw row
// A row that calls the codes of a row before, or starts a rows call, costs this more
// (the decoder's quick path takes only rows of codes and held rows).
constexpr long CALLED_ROW = 36;
// Row by row, in a chain:
constexpr long CHAIN_FRAME = 211;       // each delta frame of the chain, opened
constexpr long CHAIN_ROW = 156;         // a row held in the base frame
constexpr long CHAIN_CODES = 234;       // a row with codes in the base frame
constexpr long CHAIN_RAW = 442;         // a raw row of the base frame
constexpr long CHAIN_HOLD_START = 230;  // and more, for one whose rows code starts a hold
constexpr long HELD_COPY = 300;         // a held row copied from the state
constexpr double KEPT_CODE = 2, KEPT_BYTE = 8.7;  // bytes as the reference from the state
constexpr long KEEP_ROW = 349;   // the base's row kept, when a delta frame changes it
constexpr long KEEP_DELTA = 24;  // and each delta frame of the chain looked at then
constexpr long DELTA_ROW = 173;  // a delta frame's row with codes
constexpr long DELTA_HOLD = 38;  // a delta frame's rows code

struct Row {
    bool raw = false, held = false, holdStarts = false;
    bool called = false;  // made by a call, or the first of a rows call
    double codes = 0;     // the codes' own cost, bytes as the reference not included
    int sameCodes = 0;    // codes with bytes as the reference
    int sameBytes = 0;
    double whole = 0;  // the codes' cost decoded whole from nothing
    // Over the frame before: the row is left as it is (a rows call of the frame before's
    // rows), or this much of its cost is not spent (a changed call of its row).
    bool skipped = false;
    double notOver = 0;
};

// The codes of one row from at (a call followed back): their cost, *at past them.
template <typename Byte>
void rowCodes(Row& row, size_t& at, size_t end, Byte byte,
              const CodeCycles& whole = WHOLE_CODE) {
    RowCode code;
    for (int x = 0; x < PACKED_ROW_BYTES && at < end && readRowCode(at, byte, code);
         at = code.next) {
        const unsigned char c = code.first;
        if (code.same) {
            ++row.sameCodes;
            row.sameBytes += code.same;
        }
        row.codes += codeCycles(ROW_CODE, c, code.same, code.length);
        row.whole +=
            codeCycles(whole, c, code.same, code.length) +
            (c >= GRAYFRAME_PAIR && PACKED_ROW_BYTES - x < 14 ? WHOLE_PAIR_NEAR_END : 0);
        x += code.same + code.length;
    }
}

// The rows of a record as the decoder meets them.
std::vector<Row> rowsOf(const PlacedRecord& placed) {
    const std::vector<unsigned char>& record = placed.bytes;
    std::vector<Row> rows(GRAYFRAME_ROWS);
    if (record.empty()) return rows;
    if (record[0] == GRAYFRAME_KIND_RAW) {
        for (Row& row : rows) row.raw = true;
        return rows;
    }
    // Bytes by their place in the set.
    auto byte = [&](size_t at) -> unsigned char {
        if (at >= placed.start)
            return at - placed.start < record.size() ? record[at - placed.start] : 0;
        return at < placed.set.size() ? placed.set[at] : 0;
    };
    size_t at = placed.start + 1, back = 0;
    const size_t end = placed.start + record.size();
    int hold = 0, called = 0;  // rows left in a rows code, and in a rows call
    bool before = false;       // the rows call is of the frame before's rows
    bool again = true;         // the row before was not a row of codes of its own
    for (Row& row : rows) {
        if (called && !--called) {
            at = back;
            hold = 0;
        }
        const bool after = again;
        again = true;
        if (hold) {
            --hold;
            row.held = true;
            continue;
        }
        if (!called && at + 3 < end &&
            (byte(at) == GRAYFRAME_ROWS_CALL || byte(at) == GRAYFRAME_ROWS_BEFORE)) {
            called = byte(at + 1) + 1;
            before = byte(at) == GRAYFRAME_ROWS_BEFORE;
            back = at + 4;
            at -= byte(at + 2) | byte(at + 3) << 8;
            row.codes += ROWS_CALL_CYCLES;
            row.whole += WHOLE_ROWS_CALL;
            row.called = true;
        }
        row.skipped = called && before;
        const unsigned char first = byte(at);
        if (at < end && first >= GRAYFRAME_WHOLE) {
            hold = first & 0x0F;
            ++at;
            row.held = row.holdStarts = true;
            continue;
        }
        if (at + 2 < end &&
            (first == GRAYFRAME_ROW_CALL || first == GRAYFRAME_CHANGED_CALL ||
             first == GRAYFRAME_CHANGED_BEFORE)) {
            size_t from = at - (byte(at + 1) | byte(at + 2) << 8);
            const double made = row.whole;
            rowCodes(row, from, at, byte, WHOLE_CALLED_CODE);
            row.codes += CALL_CYCLES;
            row.called = true;
            row.whole += WHOLE_CALL;
            if (first == GRAYFRAME_CHANGED_BEFORE && !called)
                row.notOver = row.whole - made;
            at += 3;
            if (first != GRAYFRAME_ROW_CALL) {
                Row change;
                rowCodes(change, at, end, byte);
                row.codes += CHANGE_CYCLES + change.codes;
                // the change is made in place: bytes as the reference stay as they are
                row.whole += WHOLE_CHANGE + change.codes;
            }
            continue;
        }
        rowCodes(row, at, end, byte);
        if (after || called) row.whole += WHOLE_ROW_AGAIN;
        again = called != 0;
    }
    return rows;
}

long roundUp(double cycles) { return static_cast<long>(cycles) + 1; }

}  // namespace

double rowCodesCycles(const std::vector<unsigned char>& set, size_t at) {
    Row row;
    rowCodes(row, at, set.size(), [&](size_t k) { return set[k]; });
    return CODES_ROW + row.codes;
}

std::vector<double> rowCyclesEach(const PlacedRecord& record) {
    std::vector<double> each;
    for (const Row& row : rowsOf(record))
        each.push_back(row.raw          ? RAW_ROW
                       : row.holdStarts ? HOLD_START
                       : row.held
                           ? HELD_ROW_CYCLES
                           : CODES_ROW + row.codes + (row.called ? CALLED_ROW : 0));
    return each;
}

long wholeCycles(const PlacedRecord& record, bool over) {
    if (!record.bytes.empty() && record.bytes[0] == GRAYFRAME_KIND_RAW)
        return roundUp(WHOLE_RAW_FRAME);
    double cycles = WHOLE_FRAME;
    for (const Row& row : rowsOf(record))
        cycles += over && row.skipped ? WHOLE_SKIPPED_ROW
                  : row.held ? WHOLE_HELD_ROW + (row.holdStarts ? WHOLE_HOLD_START : 0)
                             : WHOLE_ROW + row.whole - (over ? row.notOver : 0);
    return roundUp(cycles);
}

long rowCyclesAlone(const PlacedRecord& record) {
    double cycles = FRAME;
    for (const double row : rowCyclesEach(record)) cycles += row;
    return roundUp(cycles);
}

long rowCyclesOfChain(const std::vector<PlacedRecord>& chain) {
    if (chain.size() == 1) return rowCyclesAlone(chain[0]);
    std::vector<std::vector<Row>> frames;
    for (const PlacedRecord& record : chain) frames.push_back(rowsOf(record));
    double cycles = FRAME + CHAIN_FRAME * (chain.size() - 1.0);
    bool kept = false;  // the row before was changed by a delta frame
    for (int y = 0; y < GRAYFRAME_ROWS; ++y) {
        const Row& base = frames[0][y];
        if (base.raw)
            cycles += CHAIN_RAW;
        else if (base.held)
            cycles += CHAIN_ROW + (base.holdStarts ? CHAIN_HOLD_START : 0) +
                      (kept ? HELD_COPY : 0);
        else
            cycles +=
                CHAIN_CODES + base.codes +
                (kept ? KEPT_CODE * base.sameCodes + KEPT_BYTE * base.sameBytes : 0);
        bool changed = false;
        for (size_t k = 1; k < frames.size(); ++k) {
            const Row& delta = frames[k][y];
            if (delta.holdStarts) cycles += DELTA_HOLD;
            if (delta.held) continue;
            changed = true;
            cycles += DELTA_ROW + delta.codes;
        }
        if (changed) cycles += KEEP_ROW + KEEP_DELTA * (chain.size() - 1.0);
        kept = changed;
    }
    return roundUp(cycles);
}
