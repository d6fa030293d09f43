// SPDX-License-Identifier: Apache-2.0
#include "packed/row_cycles.h"

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

// One row of a record as the decoder meets it, and what its codes cost.
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

// A pair code makes at most this many bytes; with fewer left, whole costs more.
constexpr int PAIR_BYTES = GRAYFRAME_PAIR_SAME_MAX + GRAYFRAME_PAIR_LITERAL_MAX;

// Adds the cycles of the codes of one row from at (a call followed back) to row; *at
// past them.
template <typename Byte>
void addCodeCycles(Row& row, size_t& at, size_t end, Byte byte,
                   const CodeCycles& whole = CYCLES.whole.code) {
    RowCode code;
    for (int x = 0; x < GRAYFRAME_ROW_BYTES && at < end && readRowCode(at, byte, code);
         at = code.next) {
        const unsigned char c = code.first;
        if (code.same) {
            ++row.sameCodes;
            row.sameBytes += code.same;
        }
        row.codes += codeCycles(CYCLES.rows.code, c, code.same, code.length);
        row.whole += codeCycles(whole, c, code.same, code.length) +
                     (c >= GRAYFRAME_PAIR && GRAYFRAME_ROW_BYTES - x < PAIR_BYTES
                          ? CYCLES.whole.pairNearEnd
                          : 0);
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
            row.codes += CYCLES.rows.rowsCall;
            row.whole += CYCLES.whole.rowsCall;
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
            addCodeCycles(row, from, at, byte, CYCLES.whole.calledCode);
            row.codes += CYCLES.rows.call;
            row.called = true;
            row.whole += CYCLES.whole.call;
            if (first == GRAYFRAME_CHANGED_BEFORE && !called)
                row.notOver = row.whole - made;
            at += 3;
            if (first != GRAYFRAME_ROW_CALL) {
                Row change;
                addCodeCycles(change, at, end, byte);
                row.codes += CYCLES.rows.change + change.codes;
                // the change is made in place: bytes as the reference stay as they are
                row.whole += CYCLES.whole.change + change.codes;
            }
            continue;
        }
        addCodeCycles(row, at, end, byte);
        if (after || called) row.whole += CYCLES.whole.rowAgain;
        again = called != 0;
    }
    return rows;
}

long roundUp(double cycles) { return static_cast<long>(cycles) + 1; }

// Each row's cycles row by row, of a raw or key frame alone.
std::vector<double> eachRow(const std::vector<Row>& rows) {
    const CycleTable::Rows& cost = CYCLES.rows;
    std::vector<double> each;
    for (const Row& row : rows)
        each.push_back(row.raw          ? cost.rawRow
                       : row.holdStarts ? cost.holdStart
                       : row.held       ? cost.heldRow
                                        : cost.codesRow + row.codes +
                                        (row.called ? cost.calledRow : 0));
    return each;
}

long rowsAlone(const std::vector<double>& each) {
    double cycles = CYCLES.rows.frame;
    for (const double row : each) cycles += row;
    return roundUp(cycles);
}

long whole(const PlacedRecord& record, const std::vector<Row>& rows, bool over) {
    const CycleTable::Whole& cost = CYCLES.whole;
    if (!record.bytes.empty() && record.bytes[0] == GRAYFRAME_KIND_RAW)
        return roundUp(cost.rawFrame);
    double cycles = cost.frame;
    for (const Row& row : rows)
        cycles += over && row.skipped ? cost.skippedRow
                  : row.held ? cost.heldRow + (row.holdStarts ? cost.holdStart : 0)
                             : cost.codesRow + row.whole - (over ? row.notOver : 0);
    return roundUp(cycles);
}

// frames[0] the base, then the delta frames of the chain.
long rowsOfChain(const std::vector<std::vector<Row>>& frames) {
    const CycleTable::Chain& cost = CYCLES.chain;
    const double deltas = frames.size() - 1.0;
    double cycles = CYCLES.rows.frame + cost.frame * deltas;
    bool kept = false;  // the row before was changed by a delta frame
    for (int y = 0; y < GRAYFRAME_ROWS; ++y) {
        const Row& base = frames[0][y];
        if (base.raw)
            cycles += cost.rawRow;
        else if (base.held)
            cycles += cost.heldRow + (base.holdStarts ? cost.holdStart : 0) +
                      (kept ? cost.heldCopy : 0);
        else
            cycles +=
                cost.codesRow + base.codes +
                (kept ? cost.keptCode * base.sameCodes + cost.keptByte * base.sameBytes
                      : 0);
        bool changed = false;
        for (size_t k = 1; k < frames.size(); ++k) {
            const Row& delta = frames[k][y];
            if (delta.holdStarts) cycles += cost.deltaHold;
            if (delta.held) continue;
            changed = true;
            cycles += cost.deltaRow + delta.codes;
        }
        if (changed)
            cycles += (base.raw ? cost.rawChanged : cost.keepRow) + cost.keepDelta * deltas;
        kept = changed;
    }
    return roundUp(cycles);
}

}  // namespace

double rowCodesCycles(const std::vector<unsigned char>& set, size_t at) {
    Row row;
    addCodeCycles(row, at, set.size(), [&](size_t k) { return set[k]; });
    return CYCLES.rows.codesRow + row.codes;
}

FrameCycles frameCycles(const std::vector<PlacedRecord>& chain, bool over) {
    FrameCycles cycles;
    std::vector<std::vector<Row>> frames;
    for (const PlacedRecord& record : chain) frames.push_back(rowsOf(record));
    if (chain.size() > 1) {
        cycles.rows = rowsOfChain(frames);
        return cycles;
    }
    cycles.each = eachRow(frames[0]);
    cycles.rows = rowsAlone(cycles.each);
    cycles.whole = whole(chain[0], frames[0], over);
    return cycles;
}
