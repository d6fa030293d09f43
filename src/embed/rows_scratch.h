// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <atomic>
#include <cstddef>
#include <ostream>
#include <string>

#include "packed/packed.h"

// The frames' rows text (formatFrameRows) made as each frame is packed, in a scratch
// file (output/scratch_file.h) of the output folder, so that a long uncompressed set's
// NAME.c is written without holding its frames: the text of the frame at slot s at
// s * FRAME_ROWS_TEXT_BYTES. The file is closed, and so gone, by closeRows or when the
// object ends, whichever comes first.
struct RowsScratch {
    int fd = -1;  // -1 when there is no file: none could be opened, or it is closed
    std::atomic<bool> failed{false};  // set once a frame's rows could not be written

    RowsScratch() = default;
    RowsScratch(const RowsScratch&) = delete;
    RowsScratch& operator=(const RowsScratch&) = delete;
    ~RowsScratch();
};

// Opens rows' file in the folder folder; rows.fd stays -1 when none can be opened.
void openRows(RowsScratch& rows, const std::string& folder);

// Writes frame's rows text at slot; sets rows.failed when it cannot. Several threads
// may write at once, each at slots of its own.
void writeRows(RowsScratch& rows, std::size_t slot, const PackedFrame& frame);

// Writes the rows text at slot to out; false when it cannot be read (or there is no
// file).
bool copyRows(std::ostream& out, const RowsScratch& rows, std::size_t slot);

// Closes rows' file now, giving back its room; nothing when there is none.
void closeRows(RowsScratch& rows);
