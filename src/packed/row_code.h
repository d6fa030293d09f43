// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstddef>

#include "grayframe_format.h"
#include "packed/packed.h"

// The codes of a row in the compressed code of a frame set (grayframe_format.h), as the
// encoder's model of the decoder reads them.

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
    if (c < GRAYFRAME_LITERAL) {
        code.same = c + 1;
    } else if (c < GRAYFRAME_MATCH) {
        code.length = (c & 0x1F) + 1;
        code.next += code.length;
    } else if (c < GRAYFRAME_RUN) {
        code.length = (c & 0x1F) + GRAYFRAME_MATCH_MIN;
        code.data = at - (byte(at + 1) | byte(at + 2) << 8);
        code.next += 2;
    } else if (c < GRAYFRAME_RUN + PACKED_ROW_BYTES) {
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
