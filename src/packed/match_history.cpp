// SPDX-License-Identifier: Apache-2.0
#include "packed/match_history.h"

#include <algorithm>

namespace {

constexpr int TRIES = 64;

unsigned prefix(const unsigned char* s) {
    const unsigned word = s[0] | s[1] << 8 | s[2] << 16 | unsigned(s[3]) << 24;
    return (word * 2654435761u) >> 16;
}

}  // namespace

void appendHistory(MatchHistory& history, const unsigned char* begin,
                   const unsigned char* end) {
    history.bytes.insert(history.bytes.end(), begin, end);
    const int size = static_cast<int>(history.bytes.size());
    for (int at = static_cast<int>(history.older.size());
         at + GRAYFRAME_MATCH_MIN <= size; ++at) {
        int& newest = history.head[prefix(&history.bytes[at])];
        history.older.push_back(newest);
        newest = at;
    }
}

void truncateHistory(MatchHistory& history, size_t size) {
    const size_t keep = size >= GRAYFRAME_MATCH_MIN ? size - GRAYFRAME_MATCH_MIN + 1 : 0;
    while (history.older.size() > keep) {
        const size_t at = history.older.size() - 1;
        history.head[prefix(&history.bytes[at])] = history.older[at];
        history.older.pop_back();
    }
    history.bytes.resize(size);
}

Match longestMatch(const MatchHistory& history, const unsigned char* s, int limit,
                   size_t lowest, size_t stop) {
    Match best;
    if (limit < GRAYFRAME_MATCH_MIN) return best;
    const size_t size = history.bytes.size();
    int at = history.head[prefix(s)];
    for (int tries = 0;
         at >= 0 && size_t(at) >= lowest && size_t(at) >= stop && tries < TRIES;
         at = history.older[at], ++tries) {
        const unsigned char* from = &history.bytes[at];
        int length = 0;
        const int most = static_cast<int>(std::min<size_t>(limit, size - at));
        while (length < most && from[length] == s[length]) ++length;
        if (length > best.length) best = {length, size_t(at)};
        if (length == limit) break;
    }
    if (best.length < GRAYFRAME_MATCH_MIN) best = {};
    return best;
}
