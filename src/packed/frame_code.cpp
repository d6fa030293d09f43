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
Bytes cheapestCodes(const unsigned char* row, const unsigned char* ref, double weight,
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
// than the budget to decode row by row, up to a heaviest.
constexpr double TIE_WEIGHT = 1e-6;
constexpr double SPEED_WEIGHTS[] = {TIE_WEIGHT, 0.0025, 0.005, 0.01, 0.02, 0.04, 0.08,
                                    0.16,       0.32,   0.64,  1.28, 2.56, 5.12, 10.24};

// What the record of a frame is coded from: the frame, of kind GRAYFRAME_KIND_KEY (its
// rows against the row above) or GRAYFRAME_KIND_DELTA (against the same row of old); the
// weights of the decoder's cycles against bytes, as cheapestCodes takes them; the longest
// matches of its rows before it, and the rows coded so far; for a key frame, the key
// frames so far to call rows of, and the frame before (nullptr for the first frame).
struct Coding {
    unsigned char kind;
    const PackedFrame& frame;
    const PackedFrame* old;
    double weight, wholeWeight;
    const FrameMatches& before;
    const RowsSeen& seen;
    const std::vector<KeyRows>& keys;
    const PackedFrame* previous;
};

// A record as its rows are coded: where it starts in the set, how much of it is in the
// history, the rows in the whole code at its end, and the rows of the frame made by codes
// of their own, by their bytes and their reference's: where the codes start.
struct Draft {
    Record record;
    size_t start;
    size_t written = 0;
    int wholeRows = 0;
    std::map<Bytes, size_t> madeHere;
};

// Row y of the frame: its bytes, its reference (nullptr: none), and where its codes
// start in the set.
struct RowPlace {
    int y;
    const unsigned char* row;
    const unsigned char* ref;
    size_t at;
};

RowPlace placeOf(const Coding& coding, const Draft& draft, int y) {
    const unsigned char* row = coding.frame.data() + y * PACKED_ROW_BYTES;
    const unsigned char* ref = coding.old ? coding.old->data() + y * PACKED_ROW_BYTES
                               : y > 0    ? row - PACKED_ROW_BYTES
                                          : nullptr;
    return {y, row, ref, draft.start + draft.record.bytes.size()};
}

// The rows from place's on that are whole as their reference.
int heldRows(const RowPlace& place) {
    int held = 0;
    while (place.ref && place.y + held < GRAYFRAME_ROWS &&
           std::equal(place.row + held * PACKED_ROW_BYTES,
                      place.row + (held + 1) * PACKED_ROW_BYTES,
                      place.ref + held * PACKED_ROW_BYTES))
        ++held;
    return held;
}

// Whether a rows call of callable's rows from place's on costs less, bytes plus weight
// times cycles, than those rows coded afresh against the rows above (estimated row by
// row).
bool rowsCallPays(const Coding& coding, const RowPlace& place, const Callable& callable) {
    const double weight = coding.weight;
    if (weight <= TIE_WEIGHT) return true;
    double calling = 4 + weight * CYCLES.rows.rowsCall, afresh = 0;
    for (int k = place.y; k < place.y + callable.rows; ++k) {
        calling += weight * callable.from->cycles[k];
        const unsigned char* row = coding.frame.data() + k * PACKED_ROW_BYTES;
        const unsigned char* above = k ? row - PACKED_ROW_BYTES : nullptr;
        if (above && std::equal(row, row + PACKED_ROW_BYTES, above)) {
            afresh += 1.0 / GRAYFRAME_WHOLE_MAX + weight * CYCLES.rows.heldRow;
            continue;
        }
        const Bytes codes = cheapestCodes(row, above, weight, coding.before[k], place.at);
        afresh += codes.size() + weight * rowCodesCycles(codes, 0);
    }
    return calling <= afresh;
}

// Appends a rows call of callable's rows from place's on.
void appendRowsCall(Draft& draft, const RowPlace& place, const Callable& callable) {
    Bytes call =
        distanceCode(callable.before ? GRAYFRAME_ROWS_BEFORE : GRAYFRAME_ROWS_CALL,
                     place.at - callable.from->start[place.y]);
    call.insert(call.begin() + 1, static_cast<unsigned char>(callable.rows - 1));
    draft.record.bytes.insert(draft.record.bytes.end(), call.begin(), call.end());
    for (int y = place.y; y < place.y + callable.rows; ++y) {
        draft.record.key.kind[y] = RowKind::Called;
        draft.record.key.origin[y] = callable.from->origin[y];
    }
    draft.wholeRows = 0;
}

// Appends row y, whole as its reference: to the whole code at the record's end, or in a
// whole code of its own.
void appendHeldRow(Draft& draft, int y) {
    Bytes& out = draft.record.bytes;
    if (draft.wholeRows > 0 && draft.wholeRows < GRAYFRAME_WHOLE_MAX) {
        ++out.back();
        ++draft.wholeRows;
        draft.record.key.kind[y] = RowKind::Held;
    } else {
        out.push_back(GRAYFRAME_WHOLE);
        draft.wholeRows = 1;
        draft.record.key.kind[y] = RowKind::HoldStart;
    }
}

using RowMatches = std::array<Match, PACKED_ROW_BYTES>;

// The longest match at each byte of row: before the frame, or in the history from start
// on (the record so far) when that is longer.
RowMatches rowMatches(const MatchHistory& history, const RowMatches& before,
                      const unsigned char* row, size_t start) {
    RowMatches matches = before;
    for (int i = 0; i < PACKED_ROW_BYTES; ++i) {
        const Match inRecord = longestMatch(
            history, row + i, std::min(GRAYFRAME_MATCH_MAX, PACKED_ROW_BYTES - i), start,
            start);
        if (inRecord.length > matches[i].length) matches[i] = inRecord;
    }
    return matches;
}

// A way to make a row: its codes, their bytes plus weight times their cycles row by row,
// and where codes of a row's own that make the row start (0: none, after a changed
// call).
struct Choice {
    Bytes codes;
    double cost;
    size_t origin;
};

// A call of the codes at from, which make place's row there, when it costs less.
void callWhenCheaper(Choice& choice, const RowPlace& place, size_t from, double weight,
                     const Bytes& set) {
    const double calling = 3 + weight * (CYCLES.rows.call + rowCodesCycles(set, from));
    if (calling < choice.cost)
        choice = {distanceCode(GRAYFRAME_ROW_CALL, place.at - from), calling, from};
}

// The row an earlier key frame's codes make at place, changed by codes after the call,
// when it costs less; the frame before's row when it is that.
void changedCallWhenCheaper(Choice& choice, const Coding& coding, const RowPlace& place,
                            const RowMatches& matches, const Bytes& set) {
    for (size_t k = coding.keys.size(), looked = 0; k-- > 0 && looked < CHANGED_LOOKED_AT;
         ++looked) {
        const size_t from = coding.keys[k].origin[place.y];
        Row made;
        if (!from || place.at - from > GRAYFRAME_DISTANCE_MAX ||
            !decodeRow(set, from, place.ref, made))
            continue;
        const Bytes change =
            cheapestCodes(place.row, made.data(), coding.weight, matches, place.at + 3);
        const double changing =
            3 + change.size() +
            coding.weight * (CYCLES.rows.call + CYCLES.rows.change +
                             rowCodesCycles(set, from) + rowCodesCycles(change, 0));
        if (changing >= choice.cost) continue;
        const bool asBefore =
            coding.previous &&
            std::equal(made.begin(), made.end(),
                       coding.previous->begin() + place.y * PACKED_ROW_BYTES);
        choice = {
            distanceCode(asBefore ? GRAYFRAME_CHANGED_BEFORE : GRAYFRAME_CHANGED_CALL,
                         place.at - from),
            changing, 0};
        choice.codes.insert(choice.codes.end(), change.begin(), change.end());
    }
}

// Codes of a row's own, or a call of the same codes before when that saves more bytes
// than weight times its cycles and they make the row there too (a match in them reads
// bytes at its own distance): where they start in set, in the rows seen or in mine (the
// record's so far), which then holds these.
void callSameCodes(Choice& choice, const Coding& coding, RowsSeen& mine,
                   const RowPlace& place, const Bytes& set) {
    if (choice.codes.size() > 3 + coding.weight * CYCLES.rows.call) {
        size_t from = 0;
        for (const RowsSeen* rows : {&coding.seen, static_cast<const RowsSeen*>(&mine)}) {
            const auto found = rows->find(choice.codes);
            if (found != rows->end()) from = std::max(from, found->second);
        }
        Row made;
        if (from && place.at - from <= GRAYFRAME_DISTANCE_MAX &&
            decodeRow(set, from, place.ref, made) &&
            std::equal(made.begin(), made.end(), place.row)) {
            choice = {distanceCode(GRAYFRAME_ROW_CALL, place.at - from), choice.cost,
                      from};
            return;
        }
    }
    mine[choice.codes] = place.at;
}

// How place's row is made at the least cost: by its cheapest codes, a call of codes
// before that make it, or a call of codes that make a row a change makes it of. The
// history holds the record so far.
Choice rowChoice(const Coding& coding, const MatchHistory& history, Draft& draft,
                 const RowPlace& place, const Callable& callable) {
    const RowMatches matches =
        rowMatches(history, coding.before[place.y], place.row, draft.start);
    const Bytes& set = history.bytes;
    const Bytes codes = cheapestCodes(place.row, place.ref, coding.weight, matches,
                                      place.at, coding.wholeWeight);
    Choice choice{codes, codes.size() + coding.weight * rowCodesCycles(codes, 0),
                  place.at};
    if (callable.rows == 1 && callable.from->kind[place.y] == RowKind::Own)
        callWhenCheaper(choice, place, callable.from->start[place.y], coding.weight, set);
    // An earlier row of this frame, the same over the same reference: its codes, matches
    // included, make the same bytes here.
    const auto earlier = place.ref
                             ? draft.madeHere.find(rowAndReference(place.row, place.ref))
                             : draft.madeHere.end();
    if (earlier != draft.madeHere.end() &&
        place.at - earlier->second <= GRAYFRAME_DISTANCE_MAX)
        callWhenCheaper(choice, place, earlier->second, coding.weight, set);
    if (coding.kind == GRAYFRAME_KIND_KEY)
        changedCallWhenCheaper(choice, coding, place, matches, set);
    if (choice.origin == place.at)
        callSameCodes(choice, coding, draft.record.rows, place, set);
    return choice;
}

// Appends place's row, made as choice says.
void appendRow(Draft& draft, const RowPlace& place, const Choice& choice) {
    if (choice.origin == place.at && place.ref)
        draft.madeHere.emplace(rowAndReference(place.row, place.ref), place.at);
    draft.record.key.kind[place.y] = choice.origin == place.at ? RowKind::Own
                                     : choice.origin           ? RowKind::Call
                                                               : RowKind::Changed;
    draft.record.key.origin[place.y] = choice.origin;
    draft.record.bytes.insert(draft.record.bytes.end(), choice.codes.begin(),
                              choice.codes.end());
    draft.wholeRows = 0;
}

// Appends the record's bytes that the history does not hold yet to it.
void updateHistory(MatchHistory& history, Draft& draft) {
    const Bytes& out = draft.record.bytes;
    appendHistory(history, out.data() + draft.written, out.data() + out.size());
    draft.written = out.size();
}

// The record of a frame, its rows coded in turn, appended to the history as the set's
// next bytes and taken back out: each row's codes weighed as cheapestCodes does, rows
// that are whole as their reference in whole codes, and in a key frame rows the same as
// in an earlier key frame in a rows call when that pays.
Record frameRecord(const Coding& coding, MatchHistory& history) {
    Draft draft{{{coding.kind}, {}, {}}, history.bytes.size(), 0, 0, {}};
    draft.record.key.frame = &coding.frame;
    for (int y = 0; y < GRAYFRAME_ROWS; ++y) {
        const RowPlace place = placeOf(coding, draft, y);
        draft.record.key.start[y] = place.at;
        const Callable callable =
            coding.kind == GRAYFRAME_KIND_KEY
                ? callableRows(coding.frame, coding.previous, y, coding.keys, place.at)
                : Callable{};
        const int held = heldRows(place);
        if (callable.rows >= 2 && callable.rows > held &&
            rowsCallPays(coding, place, callable)) {
            appendRowsCall(draft, place, callable);
            y += callable.rows - 1;
        } else if (held) {
            appendHeldRow(draft, y);
        } else {
            updateHistory(history, draft);
            appendRow(draft, place, rowChoice(coding, history, draft, place, callable));
        }
    }
    truncateHistory(history, draft.start);
    return draft.record;
}

// Most modelled cycles for a frame row by row and whole, for frames that are to decode
// within cycles (0: no limit): the margins of the 32,000 budgets kept. A key frame that
// calls no earlier rows leaves spare cycles row by row unspent, so that later frames
// that call its rows and change a few of them fit too.
struct Budgets {
    long rows, whole;
    long spare = 0;
    // Once a key frame fast enough row by row is too slow whole, the weights count this
    // share of its whole cycles as well.
    double wholeShare = 1;
    double heaviest = 1.28;  // of SPEED_WEIGHTS
};
Budgets budgetsFor(long cycles) {
    if (cycles == 0) return {LONG_MAX, LONG_MAX};
    if (cycles < FRAME_CODE_CYCLES)
        throw std::invalid_argument("fewer cycles a frame than a raw frame takes");
    const long more = cycles - FRAME_CODE_CYCLES;
    return {CYCLES_BUDGET + more, WHOLE_CYCLES_BUDGET + more};
}

// The record of frame on its own: a key frame with the fewest bytes that decodes within
// the budgets row by row (less the spare cycles, unless it calls earlier rows) and whole
// over the frame before (from nothing for the first), or raw when that is smaller or no
// key frame does.
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
        bool wholeToo = false;
        for (const double weight : SPEED_WEIGHTS) {
            if (weight > budgets.heaviest) break;
            Record key = frameRecord({GRAYFRAME_KIND_KEY, frame, nullptr, weight,
                                      wholeToo ? weight * budgets.wholeShare : 0, before,
                                      seen, *callable, previous},
                                     history);
            if (key.bytes.size() >= best.bytes.size()) break;
            const FrameCycles cycles = frameCycles(
                {{key.bytes, history.bytes, history.bytes.size()}}, previous != nullptr);
            const bool calls =
                std::count(key.key.kind.begin(), key.key.kind.end(), RowKind::Called) > 0;
            const bool rows = cycles.rows <= budgets.rows - (calls ? 0 : budgets.spare),
                       whole = cycles.whole <= budgets.whole;
            if (rows && whole) {
                best = std::move(key);
                break;
            }
            wholeToo = wholeToo || (cycles.rows <= budgets.rows && !whole);
        }
        if (keys.empty()) break;
    }
    return best;
}

Bytes encodeWithin(const std::vector<PackedFrame>& frames, const Budgets& budgets) {
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
            Record delta = frameRecord({GRAYFRAME_KIND_DELTA, frames[k], &frames[k - 1],
                                        TIE_WEIGHT, 0, before, seen, keys, nullptr},
                                       history);
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

bool anyRaw(const Bytes& set) {
    const size_t count = set[3] | set[4] << 8;
    for (size_t k = 0; k < count; ++k) {
        const unsigned char* entry =
            &set[GRAYFRAME_HEADER_BYTES + GRAYFRAME_INDEX_ENTRY_BYTES * k];
        if (set[entry[0] | entry[1] << 8 | entry[2] << 16] == GRAYFRAME_KIND_RAW)
            return true;
    }
    return false;
}

// Spare cycles tried in turn when a set within a budget has raw frames, which leave
// later frames nothing to call, with whole cycles weighed at half and heavier weights.
constexpr long SPARE_CYCLES[] = {0, 500, 1000, 2000, 4000};

}  // namespace

std::vector<unsigned char> encodeFrameSet(const std::vector<PackedFrame>& frames,
                                          long cycles) {
    Budgets budgets = budgetsFor(cycles);
    Bytes best = encodeWithin(frames, budgets);
    if (cycles == 0 || !anyRaw(best)) return best;
    for (const long spare : SPARE_CYCLES) {
        budgets.spare = spare;
        budgets.wholeShare = 0.5;
        budgets.heaviest = 10.24;
        Bytes set = encodeWithin(frames, budgets);
        if (set.size() < best.size()) best = std::move(set);
    }
    return best;
}
