// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>

// A file without a name in the folder dir, for text made ahead of the output it goes
// into: it is gone once closed, or however the process ends, so that nothing is ever
// left behind. Its descriptor, or -1 when the folder or the platform gives none.
int openScratchFile(const std::string& dir);

// Writes the size bytes at data at offset of the scratch file fd; several threads may
// write at once (at offsets of their own). False when not all were written.
bool writeScratchAt(int fd, const void* data, std::size_t size, std::uint64_t offset);

// Writes the size bytes at offset of the scratch file fd to out; false when they could
// not all be read.
bool copyScratchTo(std::ostream& out, int fd, std::uint64_t offset, std::size_t size);

// Closes (and so removes) the scratch file fd; nothing for -1.
void closeScratchFile(int fd);
