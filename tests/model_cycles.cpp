// SPDX-License-Identifier: Apache-2.0
// Prints what the encoder's model of the firmware decoder says each frame of a compressed
// set costs, in CPU cycles, a line a frame: "N W", N row by row with its chain, W whole
// over the frame before (the first frame from nothing) for a raw or key frame, or "-"
// for a delta frame, which the model does not weigh whole.
// Usage: model_cycles SET_FILE   (exits 1 when the file is not a set)
#include <fstream>
#include <iostream>
#include <iterator>

#include "packed/row_cycles.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: model_cycles SET_FILE\n";
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    const std::vector<unsigned char> set(std::istreambuf_iterator<char>(file), {});
    const size_t count = set.size() < GRAYFRAME_HEADER_BYTES ? 0 : set[3] | set[4] << 8;
    const size_t first = GRAYFRAME_HEADER_BYTES + GRAYFRAME_INDEX_ENTRY_BYTES * count;
    if (!count || set.size() < first || set[0] != GRAYFRAME_SIGNATURE_0 ||
        set[1] != GRAYFRAME_SIGNATURE_1 || set[2] != GRAYFRAME_CODE_VERSION) {
        std::cerr << argv[1] << ": not a set\n";
        return 1;
    }
    // The records lie in frame order: each up to where the next starts.
    std::vector<size_t> starts;
    for (size_t k = 0; k < count; ++k) {
        const unsigned char* entry = &set[GRAYFRAME_HEADER_BYTES + 3 * k];
        starts.push_back(entry[0] | entry[1] << 8 | entry[2] << 16);
    }
    starts.push_back(set.size());
    std::vector<std::vector<unsigned char>> records;
    for (size_t k = 0; k < count; ++k) {
        if (starts[k] < first || starts[k + 1] <= starts[k] || starts[k + 1] > set.size()) {
            std::cerr << argv[1] << ": frame " << k << " out of order\n";
            return 1;
        }
        records.emplace_back(set.begin() + starts[k], set.begin() + starts[k + 1]);
    }
    for (size_t k = 0; k < count; ++k) {
        size_t base = k;
        while (base > 0 && records[base][0] == GRAYFRAME_KIND_DELTA) --base;
        std::vector<PlacedRecord> chain;
        for (size_t j = base; j <= k; ++j) chain.push_back({records[j], set, starts[j]});
        const FrameCycles cycles = frameCycles(chain, k > 0);
        std::cout << cycles.rows << ' ';
        if (base == k)
            std::cout << cycles.whole << '\n';
        else
            std::cout << "-\n";
    }
    return 0;
}
