// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstddef>

#include "packed/packed.h"

// The codes of a row in the compressed code of a frame set, as the encoder writes them
// and its model of the decoder reads them; firmware/grayframe_decode.h draws the code.

// First bytes: SAME to RUN + 50 and PAIR to WHOLE - 1 make bytes of a row; the others
// stand only where a row starts.
constexpr unsigned char SAME = 0x00, LITERAL = 0x40, MATCH = 0x60, RUN = 0x80,
                        CHANGED_BEFORE = 0xBB, CHANGED_CALL = 0xBC, ROWS_BEFORE = 0xBD,
                        ROWS_CALL = 0xBE, ROW_CALL = 0xBF, PAIR = 0xC0, WHOLE = 0xF0;
constexpr int MATCH_MIN = 4, MATCH_MAX = 35;  // bytes in a match code

// One code that makes bytes of a row: `same` bytes as the reference, then `length`
// bytes: a literal's from `data` on, a match's from the set's `data` on, or a run's
// byte at `data`, repeated.
struct RowCode {
    unsigned char first = 0;
    int same = 0, length = 0;
    size_t data = 0;
    size_t next = 0;  // where the code after it starts
};

// Reads the code at `at` (byte(k) is the set's byte at k): false when the byte there
// does not start a code that makes bytes of a row.
template <typename Byte>
bool readRowCode(size_t at, Byte byte, RowCode& code) {
    const unsigned char c = byte(at);
    code = {c, 0, 0, at + 1, at + 1};
    if (c < LITERAL) {
        code.same = c + 1;
    } else if (c < MATCH) {
        code.length = (c & 0x1F) + 1;
        code.next += code.length;
    } else if (c < RUN) {
        code.length = (c & 0x1F) + MATCH_MIN;
        code.data = at - (byte(at + 1) | byte(at + 2) << 8);
        code.next += 2;
    } else if (c < RUN + PACKED_ROW_BYTES) {
        code.length = (c & 0x3F) + 1;
        code.next += 1;
    } else if (c >= PAIR && c < WHOLE) {
        code.same = ((c >> 3) & 7) + 1;
        code.length = (c & 7) + 1;
        code.next += code.length;
    } else {
        return false;
    }
    return true;
}
