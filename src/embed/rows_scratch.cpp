// SPDX-License-Identifier: Apache-2.0
#include "embed/rows_scratch.h"

#include "output/scratch_file.h"
#include "packed/frame_set.h"

RowsScratch::~RowsScratch() { closeRows(*this); }

void openRows(RowsScratch& rows, const std::string& folder) {
    rows.fd = openScratchFile(folder);
}

void writeRows(RowsScratch& rows, std::size_t slot, const PackedFrame& frame) {
    char text[FRAME_ROWS_TEXT_BYTES];
    formatFrameRows(frame, text);
    if (!writeScratchAt(rows.fd, text, sizeof text, slot * FRAME_ROWS_TEXT_BYTES))
        rows.failed = true;
}

bool copyRows(std::ostream& out, const RowsScratch& rows, std::size_t slot) {
    return copyScratchTo(out, rows.fd, slot * FRAME_ROWS_TEXT_BYTES,
                         FRAME_ROWS_TEXT_BYTES);
}

void closeRows(RowsScratch& rows) {
    closeScratchFile(rows.fd);
    rows.fd = -1;
}
