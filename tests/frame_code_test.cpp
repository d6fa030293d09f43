// SPDX-License-Identifier: Apache-2.0
// The frame set code: the encoder's sets through the firmware decoder, in every mode.
#include "packed/frame_code.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <random>
#include <stdexcept>

#include "packed/row_cycles.h"
#include "support.h"
#include "../bench/plasma.h"

extern "C" {
#include "grayframe_decode.h"
}

namespace {

using Code = std::vector<unsigned char>;

PackedFrame blank(unsigned char byte = 0) {
    PackedFrame frame;
    frame.fill(byte);
    return frame;
}

void box(PackedFrame& frame, int x, int y, int width, int height, unsigned char byte) {
    for (int row = y; row < y + height; ++row)
        for (int k = x; k < x + width; ++k) frame[row * PACKED_ROW_BYTES + k] = byte;
}

PackedFrame noise(unsigned seed) {
    std::mt19937 random(seed);
    PackedFrame frame;
    for (unsigned char& byte : frame) byte = static_cast<unsigned char>(random());
    return frame;
}

// UI-like: runs, rows as the row above, short edits beside them (pairs).
PackedFrame screen() {
    PackedFrame frame = blank(0x11);
    box(frame, 0, 0, 51, 10, 0xF0);
    box(frame, 4, 20, 30, 40, 0x8F);
    for (int y = 22; y < 58; y += 3) frame[y * PACKED_ROW_BYTES + 10] = 0x3C;
    for (int x = 0; x < 51; ++x)
        frame[70 * PACKED_ROW_BYTES + x] = static_cast<unsigned char>(x);
    return frame;
}

char kindOf(const Code& code, unsigned frame) {
    const size_t at = 5 + 3 * frame;
    return static_cast<char>(code.at(code[at] | code[at + 1] << 8 | code[at + 2] << 16));
}

size_t recordBytes(const Code& code, unsigned frame, unsigned count) {
    auto start = [&](unsigned k) {
        const size_t at = 5 + 3 * k;
        return k == count ? code.size()
                          : size_t(code[at] | code[at + 1] << 8 | code[at + 2] << 16);
    };
    return start(frame + 1) - start(frame);
}

// Frame k of code in each mode, each checked against want: whole on its own, whole
// over the frame before, row by row, and the changed spans over the frame before.
void expectEveryMode(const Code& code, unsigned k, const PackedFrame& want,
                     const PackedFrame* before) {
    SCOPED_TRACE("frame " + std::to_string(k));
    grayframe_decoder d;
    ASSERT_EQ(grayframe_open(&d, code.data(), code.size()), GRAYFRAME_OK);
    PackedFrame out = noise(k);
    ASSERT_EQ(grayframe_decode_frame(&d, k, out.data(), 0), GRAYFRAME_OK);
    EXPECT_EQ(out, want) << "whole";

    std::vector<unsigned char> row(PACKED_ROW_BYTES);  // exactly 51: ASan sees overruns
    ASSERT_EQ(grayframe_rows_begin(&d, k), GRAYFRAME_OK);
    int rows = 0, result;
    while ((result = grayframe_rows_next(&d, row.data())) == GRAYFRAME_MORE && rows < 80)
        std::memcpy(out.data() + rows++ * PACKED_ROW_BYTES, row.data(), row.size());
    EXPECT_EQ(result, GRAYFRAME_OK);
    EXPECT_EQ(rows, 80);
    EXPECT_EQ(out, want) << "rows";
    if (!before) return;

    out = *before;
    ASSERT_EQ(grayframe_decode_frame(&d, k, out.data(), 1), GRAYFRAME_OK);
    EXPECT_EQ(out, want) << "whole over the frame before";
    out = *before;
    ASSERT_EQ(grayframe_spans_begin(&d, k), GRAYFRAME_OK);
    grayframe_span span;
    size_t changed = 0;
    while ((result = grayframe_spans_next(&d, &span, row.data())) == GRAYFRAME_MORE) {
        ASSERT_LT(span.row, 80);
        ASSERT_GE(span.length, 1);
        ASSERT_LE(span.first + span.length, PACKED_ROW_BYTES);
        std::memcpy(out.data() + span.row * PACKED_ROW_BYTES + span.first,
                    row.data() + span.first, span.length);
        changed += span.length;
    }
    EXPECT_EQ(result, GRAYFRAME_OK);
    EXPECT_EQ(out, want) << "spans";
    if (grayframe_is_delta(&d, k) == 1) {
        EXPECT_LT(changed, recordBytes(code, k, grayframe_frame_count(&d)) * 64);
    }
}

void expectRoundTrip(const std::vector<PackedFrame>& frames, const Code& code) {
    for (unsigned k = frames.size(); k-- > 0;)
        expectEveryMode(code, k, frames[k], k ? &frames[k - 1] : nullptr);
}

// Rows of five kinds in turn, none as the row above, then black: later rows call the
// codes of the first five.
PackedFrame stripes() {
    PackedFrame frame = blank();
    for (int y = 0; y < 40; ++y) box(frame, 3 * (y % 5), y, 5 + y % 5, 1, 0x5A);
    return frame;
}

// A band of noise rows on black, from row y.
PackedFrame band(int y) {
    PackedFrame frame = blank();
    const PackedFrame bytes = noise(5);
    std::copy(bytes.begin(), bytes.begin() + 6 * PACKED_ROW_BYTES,
              frame.begin() + y * PACKED_ROW_BYTES);
    return frame;
}

TEST(FrameCode, EachKindOfFrameRoundTripsInEveryMode) {
    PackedFrame moved = screen();
    box(moved, 30, 40, 3, 2, 0x00);
    const std::vector<PackedFrame> frames = {screen(), moved,     moved,    noise(1),
                                             blank(),  stripes(), band(10), band(50)};
    const Code code = encodeFrameSet(frames);
    EXPECT_EQ(std::string(code.begin(), code.begin() + 3), "GF\x03");
    EXPECT_EQ(kindOf(code, 0), 'K');
    EXPECT_EQ(kindOf(code, 1), 'D');
    EXPECT_LE(recordBytes(code, 2, 8), 6u) << "a repeated frame costs a few bytes";
    EXPECT_EQ(kindOf(code, 3), 'R');
    EXPECT_EQ(recordBytes(code, 3, 8), 4081u) << "a photograph costs raw and its kind";
    EXPECT_LE(recordBytes(code, 4, 8), 8u) << "a blank frame is a run and whole rows";
    EXPECT_LT(recordBytes(code, 0, 8), 400u);
    EXPECT_LT(recordBytes(code, 5, 8), 150u) << "rows coded before cost a call each";
    EXPECT_LT(recordBytes(code, 7, 8), 80u) << "bytes met before cost a match each";
    expectRoundTrip(frames, code);
}

// Two rows of noise in turn: each row is an earlier row's codes, which decode more
// slowly than raw bytes.
PackedFrame twoRowsInTurn() {
    PackedFrame frame = noise(3);
    for (int y = 2; y < 80; ++y)
        std::copy_n(frame.begin() + (y % 2) * PACKED_ROW_BYTES, PACKED_ROW_BYTES,
                    frame.begin() + y * PACKED_ROW_BYTES);
    return frame;
}

TEST(FrameCode, MoreCyclesAFrameOrNoLimitTakeFewerBytes) {
    PackedFrame moved = twoRowsInTurn();
    box(moved, 20, 30, 4, 3, 0x00);
    const std::vector<PackedFrame> frames = {twoRowsInTurn(), moved};
    const Code quick = encodeFrameSet(frames), slower = encodeFrameSet(frames, 48000),
               unlimited = encodeFrameSet(frames, 0);
    EXPECT_EQ(kindOf(quick, 0), 'R');
    EXPECT_LT(slower.size(), quick.size() / 4);
    EXPECT_LE(unlimited.size(), slower.size());
    expectRoundTrip(frames, slower);
    expectRoundTrip(frames, unlimited);
    EXPECT_THROW(encodeFrameSet(frames, FRAME_CODE_CYCLES - 1), std::invalid_argument);
}

TEST(FrameCode, LongAnimationsKeepTheirChainsShort) {
    std::vector<PackedFrame> frames;
    for (int k = 0; k < 20; ++k) {
        PackedFrame frame = screen();
        box(frame, k, 30, 2, 2, 0xFF);
        frames.push_back(frame);
    }
    const Code code = encodeFrameSet(frames);
    int chain = 0;
    for (unsigned k = 0; k < frames.size(); ++k) {
        chain = kindOf(code, k) == 'D' ? chain + 1 : 1;
        EXPECT_LE(chain, GRAYFRAME_CHAIN_MAX) << "frame " << k;
    }
    expectRoundTrip(frames, code);
}

// A box moving over a background too slow to decode with a chain of delta frames: each
// frame takes the rows it shares with earlier frames from their codes, changes them
// where the box is, and is sent as the rows the box moved in.
TEST(FrameCode, AMovingBoxOverABusyBackgroundCallsEarlierRows) {
    PackedFrame background;
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < PACKED_ROW_BYTES; ++x)
            background[y * PACKED_ROW_BYTES + x] =
                static_cast<unsigned char>((x / 4 + y / 4) % 3 * 0x11);
    std::vector<PackedFrame> frames;
    for (int k = 0; k < 8; ++k) {
        PackedFrame frame = background;
        box(frame, 5 + 4 * k, 10 + 6 * k, 6, 12, 0xF0);
        frames.push_back(frame);
    }
    const Code code = encodeFrameSet(frames);
    for (unsigned k = 1; k < frames.size(); ++k) {
        EXPECT_LT(recordBytes(code, k, 8) * 3, recordBytes(code, 0, 8)) << "frame " << k;
        grayframe_decoder d;
        ASSERT_EQ(grayframe_open(&d, code.data(), code.size()), GRAYFRAME_OK);
        ASSERT_EQ(grayframe_spans_begin(&d, k), GRAYFRAME_OK);
        grayframe_span span;
        std::vector<unsigned char> row(PACKED_ROW_BYTES);
        size_t sent = 0;
        while (grayframe_spans_next(&d, &span, row.data()) == GRAYFRAME_MORE)
            sent += span.length;
        EXPECT_LE(sent, 24u * PACKED_ROW_BYTES) << "frame " << k;
    }
    expectRoundTrip(frames, code);
}

// The frames grayframe -printdata makes of pictures, in order.
std::vector<PackedFrame> printedFrames(const std::vector<cv::Mat>& pictures) {
    const test::TempDir dir;
    std::vector<std::string> args = {"-resizemode", "stretch", "-printdata"};
    for (size_t k = 0; k < pictures.size(); ++k) {
        cv::imwrite(dir / (std::to_string(k) + ".png"), pictures[k]);
        args.insert(args.end(), {"-i", std::to_string(k) + ".png"});
    }
    const std::string out = test::runGrayframe(args, dir.path).out;
    std::vector<PackedFrame> frames(out.size() / PACKED_FRAME_BYTES);
    for (size_t k = 0; k < frames.size(); ++k)
        std::copy_n(out.begin() + k * PACKED_FRAME_BYTES, PACKED_FRAME_BYTES,
                    frames[k].begin());
    EXPECT_EQ(frames.size(), pictures.size());
    return frames;
}

// A photograph's fine detail: a plasma with noise of every pixel on it, unblurred.
cv::Mat busy(unsigned seed) {
    cv::Mat picture = plasma(seed, 0), grain(picture.size(), CV_8UC3);
    cv::RNG(seed).fill(grain, cv::RNG::NORMAL, 0, 60);
    picture += grain;
    return picture;
}

// Twelve frames of a small thing moving across a still background: a white ball, or a
// sprite (a dark box holding a light disc) of width x height (in the picture, a frame
// pixel 4 x 4).
std::vector<PackedFrame> movingOver(const cv::Mat& background, bool ball, int width = 40,
                                    int height = 50) {
    std::vector<cv::Mat> pictures;
    for (int k = 0; k < 12; ++k) {
        cv::Mat picture = background.clone();
        const int x = 40 + 28 * k;
        if (ball) {
            cv::circle(picture, {x, 60 + k % 6 * 30}, 24, cv::Scalar::all(255),
                       cv::FILLED);
        } else {
            cv::rectangle(picture, {x, 120, width, height}, cv::Scalar::all(0), cv::FILLED);
            cv::circle(picture, {x + width / 2, 120 + width / 2}, width * 3 / 10,
                       cv::Scalar::all(255), cv::FILLED);
        }
        pictures.push_back(picture);
    }
    return printedFrames(pictures);
}

// Each frame's modelled cycles: row by row with its chain, and for a raw or key frame
// whole over the frame before (from nothing for the first).
std::vector<FrameCycles> modelledCycles(const Code& code, unsigned count) {
    std::vector<Code> records;
    std::vector<size_t> starts;
    for (unsigned k = 0; k < count; ++k) {
        const size_t at = 5 + 3 * k;
        starts.push_back(code[at] | code[at + 1] << 8 | code[at + 2] << 16);
        records.emplace_back(code.begin() + starts[k],
                             code.begin() + starts[k] + recordBytes(code, k, count));
    }
    std::vector<FrameCycles> cycles;
    for (unsigned k = 0; k < count; ++k) {
        unsigned base = k;
        while (base > 0 && records[base][0] == GRAYFRAME_KIND_DELTA) --base;
        std::vector<PlacedRecord> chain;
        for (unsigned j = base; j <= k; ++j)
            chain.push_back({records[j], code, starts[j]});
        cycles.push_back(frameCycles(chain, k > 0));
    }
    return cycles;
}

// A ball over a plasma, a sprite over a photo-like picture and a small sprite over a
// busy one, each the frames grayframe prints: every frame decodes back within its budget
// (the AVR's, and no limit) by the model; a plasma's frames are too slow to decode other
// than raw for the AVR, while with no limit the ball costs a few bytes a frame; a
// sprite's frames over a plasma blurred by a frame pixel, a photo-like picture, call the
// rows of a key frame before them, which leaves them cycles to do so; a busy picture
// goes raw for the AVR, and the small sprite's frames are delta frames over it.
TEST(FrameCode, AThingMovingOverAStillPictureWithinEachBudget) {
    const std::vector<PackedFrame> ball = movingOver(plasma(1, 0), true),
                                   sprite = movingOver(plasma(2, 4), false),
                                   small = movingOver(busy(3), false, 16, 16);
    const size_t raw = 12 * PACKED_FRAME_BYTES;
    for (const long cycles : {FRAME_CODE_CYCLES, 0L}) {
        SCOPED_TRACE("cycles " + std::to_string(cycles));
        const Code balls = encodeFrameSet(ball, cycles),
                   sprites = encodeFrameSet(sprite, cycles),
                   smalls = encodeFrameSet(small, cycles);
        if (cycles) {
            EXPECT_LE(sprites.size() * 3, raw) << "a third of the raw frames at most";
            EXPECT_EQ(kindOf(smalls, 0), 'R');
            EXPECT_EQ(kindOf(smalls, 1), 'D');
            EXPECT_LT(smalls.size() * 3, raw * 2);
        } else {
            EXPECT_LE(balls.size() * 10, raw);
        }
        for (const auto& [frames, code] :
             {std::pair{&ball, &balls}, {&sprite, &sprites}, {&small, &smalls}}) {
            expectRoundTrip(*frames, *code);
            const std::vector<FrameCycles> each = modelledCycles(*code, 12);
            for (unsigned k = 0; k < 12 && cycles; ++k) {
                if (kindOf(*code, k) == 'R') continue;
                EXPECT_LE(each[k].rows, CYCLES_BUDGET) << "frame " << k;
                EXPECT_LE(each[k].whole, WHOLE_CYCLES_BUDGET) << "frame " << k;
            }
        }
    }
}

// A row changed at every other byte has the most spans a row can have (26), the last
// ending at the row's end: a raw frame, then a delta frame that codes row 0 as one
// literal byte and 25 pairs of one byte as before and one literal byte.
TEST(FrameCode, ARowChangedAtEveryOtherByteComesAsItsSpans) {
    const PackedFrame before = noise(4);
    PackedFrame after = before;
    Code code = {'G', 'F', GRAYFRAME_CODE_VERSION, 2, 0, 11, 0, 0, 0xFC, 0x0F,
                 0,   'R'};  // frame 1 at 4092
    code.insert(code.end(), before.begin(), before.end());
    code.push_back('D');
    for (int x = 0; x < PACKED_ROW_BYTES; x += 2) {
        after[x] = static_cast<unsigned char>(x);
        code.push_back(x ? 0xC0 : 0x40);
        code.push_back(static_cast<unsigned char>(x));
    }
    code.insert(code.end(), {0xFF, 0xFF, 0xFF, 0xFF, 0xFE});  // rows 1 to 79 as before
    expectRoundTrip({before, after}, code);
    grayframe_decoder d;
    ASSERT_EQ(grayframe_open(&d, code.data(), code.size()), GRAYFRAME_OK);
    ASSERT_EQ(grayframe_spans_begin(&d, 1), GRAYFRAME_OK);
    unsigned char row[PACKED_ROW_BYTES];
    grayframe_span span;
    int spans = 0;
    while (grayframe_spans_next(&d, &span, row) == GRAYFRAME_MORE && spans < 30) {
        EXPECT_EQ(span.row, 0);
        EXPECT_EQ(span.first, 2 * spans);
        EXPECT_EQ(span.length, 1);
        ++spans;
    }
    EXPECT_EQ(spans, 26);
}

// Every decoding mode of every frame on code: none may write outside its buffer (guard
// bytes here, AddressSanitizer in test-asan) or fail to end; the results.
std::vector<int> decodeAll(const Code& code) {
    std::vector<int> results;
    grayframe_decoder d;
    const int opened = grayframe_open(&d, code.data(), code.size());
    if (opened != GRAYFRAME_OK) return {opened};
    std::vector<unsigned char> frame(PACKED_FRAME_BYTES + 2, 0xA5);
    std::vector<unsigned char> row(PACKED_ROW_BYTES + 2, 0xA5);
    for (unsigned k = 0; k < grayframe_frame_count(&d); ++k) {
        for (int previous = 0; previous < 2; ++previous)
            results.push_back(grayframe_decode_frame(&d, k, frame.data() + 1, previous));
        int result = grayframe_rows_begin(&d, k), calls = 0;
        if (result == GRAYFRAME_OK) {
            while ((result = grayframe_rows_next(&d, row.data() + 1)) == GRAYFRAME_MORE)
                if (++calls > 80) break;
            EXPECT_LE(calls, 80) << "rows of frame " << k;
        }
        results.push_back(result);
        result = grayframe_spans_begin(&d, k);
        grayframe_span span;
        calls = 0;
        if (result == GRAYFRAME_OK) {
            while ((result = grayframe_spans_next(&d, &span, row.data() + 1)) ==
                   GRAYFRAME_MORE) {
                EXPECT_TRUE(span.row < 80 && span.length > 0 &&
                            span.first + span.length <= PACKED_ROW_BYTES);
                if (++calls > 80 * 26) break;
            }
            EXPECT_LE(calls, 80 * 26) << "spans of frame " << k;
        }
        results.push_back(result);
    }
    EXPECT_EQ(frame.front(), 0xA5);
    EXPECT_EQ(frame.back(), 0xA5);
    EXPECT_EQ(row.front(), 0xA5);
    EXPECT_EQ(row.back(), 0xA5);
    return results;
}

TEST(FrameCode, DamagedOrCutSetsEndInAnErrorWithinTheBuffers) {
    PackedFrame moved = screen();
    box(moved, 12, 50, 20, 3, 0x21);
    const Code code = encodeFrameSet({screen(), moved, noise(2), moved});
    for (size_t size = 0; size < code.size(); ++size) {
        const Code cut(code.begin(), code.begin() + size);
        const std::vector<int> results = decodeAll(cut);
        ASSERT_FALSE(results.empty());
        EXPECT_LT(results.back(), 0) << "cut to " << size << " bytes";
    }
    std::mt19937 random(3);
    for (size_t at = 0; at < code.size(); at += 1 + random() % 7) {
        Code damaged = code;
        damaged[at] ^= static_cast<unsigned char>(1 + random() % 255);
        decodeAll(damaged);
    }
}

// A key frame whose row 0 is a match of 35 bytes then a literal of 16, or a call: a
// match that overlaps its own code (distance 9) or reaches back before the set, and a
// call of no codes before it, are damaged, whole and row by row.
TEST(FrameCode, AMatchOrCallOutsideTheBytesBeforeItIsDamaged) {
    for (const unsigned distance : {9u, 10u, 0xFFFFu, 0x100u}) {
        const unsigned char low = distance & 0xFF, high = distance >> 8;
        Code code = {'G', 'F', GRAYFRAME_CODE_VERSION, 1, 0, 8, 0, 0, 'K'};
        if (distance == 0x100u)
            code.insert(code.end(), {0xBF, 0, 0});  // a call of itself
        else
            code.insert(code.end(), {0x7F, low, high, 0x4F});
        code.resize(code.size() + 16, 0x11);
        code.insert(code.end(), {0xFF, 0xFF, 0xFF, 0xFF, 0xFE});  // rows 1 to 79 as row 0
        SCOPED_TRACE("distance " + std::to_string(distance));
        grayframe_decoder d;
        ASSERT_EQ(grayframe_open(&d, code.data(), code.size()), GRAYFRAME_OK);
        PackedFrame out;
        EXPECT_EQ(grayframe_decode_frame(&d, 0, out.data(), 0), GRAYFRAME_DAMAGED);
        ASSERT_EQ(grayframe_rows_begin(&d, 0), GRAYFRAME_OK);
        EXPECT_EQ(grayframe_rows_next(&d, out.data()), GRAYFRAME_DAMAGED);
    }
}

// Rows calls that run past the frame's rows, into another rows call or before the set,
// a changed call before the set, and a rows call in a delta frame: damaged, in every
// mode.
TEST(FrameCode, ARowsCallOutsideItsRowsIsDamaged) {
    const std::vector<Code> frames = {
        {0xB2, 0x11, 0xFF, 0xFF, 0xFF, 0xFF, 0xFD, 0xBE, 1, 7, 0},  // rows 79 and 80
        {0xB2, 0x11, 0xBE, 1, 2, 0},      // rows 0 and 1: row 1 is this rows call
        {0xB2, 0x11, 0xBE, 1, 12, 0},     // before the set
        {0xB2, 0x11, 0xBC, 12, 0, 0x32},  // a changed call before the set
        {0xBE, 1, 6, 0}};                 // in a delta frame, of frame 0's rows
    for (size_t k = 0; k < frames.size(); ++k) {
        SCOPED_TRACE("case " + std::to_string(k));
        const unsigned frame = k == frames.size() - 1;
        // frame 0 at 11 (or at 8 alone): row 0 a run, then rows 1 to 79 as row 0
        Code code = {'G', 'F', GRAYFRAME_CODE_VERSION,
                     static_cast<unsigned char>(1 + frame), 0};
        const unsigned char first = 8 + 3 * frame;
        code.insert(code.end(), {first, 0, 0});
        if (frame) code.insert(code.end(), {static_cast<unsigned char>(first + 8), 0, 0});
        if (frame)
            code.insert(code.end(), {'K', 0xB2, 0x11, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE});
        code.push_back(frame ? 'D' : 'K');
        code.insert(code.end(), frames[k].begin(), frames[k].end());
        code.resize(code.size() + 60, 0xFF);  // rows codes to the end of the frame
        grayframe_decoder d;
        ASSERT_EQ(grayframe_open(&d, code.data(), code.size()), GRAYFRAME_OK);
        PackedFrame out{};
        EXPECT_EQ(grayframe_decode_frame(&d, frame, out.data(), 0), GRAYFRAME_DAMAGED);
        EXPECT_EQ(grayframe_decode_frame(&d, frame, out.data(), 1), GRAYFRAME_DAMAGED);
        int result = grayframe_rows_begin(&d, frame);
        while (result == GRAYFRAME_OK || result == GRAYFRAME_MORE)
            result = grayframe_rows_next(&d, out.data());
        EXPECT_EQ(result, GRAYFRAME_DAMAGED) << "rows";
        grayframe_span span;
        result = grayframe_spans_begin(&d, frame);
        while (result == GRAYFRAME_OK || result == GRAYFRAME_MORE)
            result = grayframe_spans_next(&d, &span, out.data());
        EXPECT_EQ(result, GRAYFRAME_DAMAGED) << "spans";
    }
}

TEST(FrameCode, RefusesWhatIsNotASetAndCallsOutOfOrder) {
    const Code code = encodeFrameSet({screen()});
    grayframe_decoder d;
    for (size_t at : {0, 1, 2}) {
        Code other = code;
        ++other[at];
        EXPECT_EQ(grayframe_open(&d, other.data(), other.size()), GRAYFRAME_NOT_A_SET);
    }
    ASSERT_EQ(grayframe_open(&d, code.data(), code.size()), GRAYFRAME_OK);
    unsigned char row[PACKED_ROW_BYTES];
    EXPECT_EQ(grayframe_rows_begin(&d, 1), GRAYFRAME_NO_FRAME);
    EXPECT_EQ(grayframe_rows_next(&d, row), GRAYFRAME_ORDER);
}

// The decoder is C89 and C99, warning-free under the strictest common flags, with the
// build's C compiler and with clang where it is installed, reading memory itself or
// through the GRAYFRAME_READ_BYTE hook.
TEST(FrameCode, DecoderCompilesCleanAsC89AndC99) {
    const test::TempDir dir;
    for (const std::string compiler : {C_COMPILER, CLANG_COMPILER}) {
        if (compiler.empty()) continue;
        for (const std::string standard : {"-std=c89", "-std=c99"}) {
            for (const std::string read :
                 {"-DGRAYFRAME_NO_MACRO",
                  "-DGRAYFRAME_READ_BYTE(a)=(*(const unsigned char *)(a))"}) {
                const test::RunResult compile = test::runProgram(
                    compiler,
                    {standard, "-Wall", "-Wextra", "-Wpedantic", "-Werror", "-Os", read,
                     "-c", std::string(FIRMWARE_DIR) + "/grayframe_decode.c", "-o",
                     "d.o"},
                    dir.path);
                EXPECT_EQ(compile.status, 0)
                    << compiler << " " << standard << " " << read << ":\n"
                    << compile.err;
            }
        }
    }
}

// Compiled for the small targets whose compilers are installed, as C and as C++, the
// decoder with its loops of assembler (nothing off AVR) calls nothing that it does not
// hold: no library function (memset, memcpy), no helper routine.
TEST(FrameCode, DecoderCallsNothingOnItsTargets) {
    const test::TempDir dir;
    const std::vector<std::vector<std::string>> targets = {
        {AVR_GCC, "-mmcu=atmega328p"},
        {AVR_GCC, "-mmcu=atmega2560"},
        {ARM_GCC, "-mcpu=cortex-m0", "-mthumb"}};
    int compiled = 0;
    for (const std::vector<std::string>& target : targets) {
        const std::string compiler = target[0];
        if (compiler.find("NOTFOUND") != std::string::npos) continue;
        for (const std::vector<std::string>& language :
             {std::vector<std::string>{"-Os", "-std=c89"},
              {"-O2", "-std=c89"},
              {"-Os", "-x", "c++", "-std=c++11"}}) {
            std::vector<std::string> args(target.begin() + 1, target.end());
            args.insert(args.end(), language.begin(), language.end());
            args.insert(
                args.end(),
                {"-c", std::string(FIRMWARE_DIR) + "/grayframe_decode.c", "-o", "d.o"});
            ASSERT_EQ(test::runProgram(compiler, args, dir.path).status, 0) << compiler;
            std::vector<std::string> loops(target.begin() + 1, target.end());
            loops.insert(loops.end(),
                         {"-c", std::string(FIRMWARE_DIR) + "/grayframe_decode_avr.S",
                          "-o", "s.o"});
            ASSERT_EQ(test::runProgram(compiler, loops, dir.path).status, 0) << compiler;
            std::vector<std::string> both(target.begin() + 1, target.end());
            both.insert(both.end(), {"-nostdlib", "-r", "d.o", "s.o", "-o", "both.o"});
            ASSERT_EQ(test::runProgram(compiler, both, dir.path).status, 0) << compiler;
            const std::string nm = compiler.substr(0, compiler.size() - 3) + "nm";
            const test::RunResult undefined =
                test::runProgram(nm, {"-u", "both.o"}, dir.path);
            EXPECT_EQ(undefined.status, 0);
            EXPECT_EQ(undefined.out, "")
                << compiler << " " << target[1] << " " << language.back();
            ++compiled;
        }
    }
    if (!compiled) GTEST_SKIP() << "no avr-gcc or arm-none-eabi-gcc";
}

}  // namespace
