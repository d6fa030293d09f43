// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstddef>
#include <vector>

#include "grayframe_format.h"

// The bytes of a frame set written so far, indexed by their 4-byte prefixes, so that the
// encoder finds earlier copies of a row's bytes to point back at (matches).

struct MatchHistory {
    std::vector<unsigned char> bytes;
    std::vector<int> head = std::vector<int>(1 << 16, -1);  // newest position of a prefix
    std::vector<int> older;  // the position before with the same prefix, per position
};

struct Match {
    int length = 0;  // 0: none
    size_t source = 0;
};

// Appends bytes to the history.
void appendHistory(MatchHistory& history, const unsigned char* begin,
                   const unsigned char* end);

// Takes the history back to its first size bytes.
void truncateHistory(MatchHistory& history, size_t size);

// The longest earlier copy (at most limit bytes, limit <= GRAYFRAME_MATCH_MAX) of s, its
// source from lowest on, and stopping at sources below stop (the newest copies are tried
// first, a bounded number of them); length 0 when there is none of GRAYFRAME_MATCH_MIN
// bytes.
Match longestMatch(const MatchHistory& history, const unsigned char* s, int limit,
                   size_t lowest, size_t stop);
