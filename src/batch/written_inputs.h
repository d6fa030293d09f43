#pragma once

#include <cstddef>
#include <string>
#include <vector>

// For each input (names as typed, in order), the index of the latest earlier input
// that writes the file it names, or -1 when none does: an input is written by an
// earlier input whose outputs (name + "_out.bmp", name + "_out.h"; none under
// printData) are the same file, and by the input just before it when it is the regular
// file behind one of streams (open descriptors that every input may write to). Two
// names are the same file when they lead to the same place (see placeOf: on POSIX once
// symbolic links, dangling ones too, "." and ".." are followed; on Windows as full path
// names told apart without case), or when both exist and are one file (device and
// inode; volume serial number and file index). Call before anything is written.
std::vector<std::ptrdiff_t> latestWriters(const std::vector<std::string>& inputs,
                                          bool printData,
                                          const std::vector<int>& streams);
