#pragma once
// Stand-in for packed/output_file.h (same declarations) until that is shared by both
// programs; replace the include of this file by that one and delete this pair.

#include <cstddef>
#include <optional>
#include <string>

// How an output that already holds exactly the new bytes is treated.
enum class SameContent { Touch, Keep };

// A file staged for replacement: its bytes wait in the hidden file temporary beside
// target ("" when target already holds them).
struct StagedFile {
    std::string target;
    std::string temporary;
};

// Writes the size bytes at data to a new hidden file beside path, closed and checked,
// without touching path. Empty when that failed (nothing is left behind). A path that
// already holds these bytes gets no temporary file (Keep), or is only touched at the
// commit (Touch).
std::optional<StagedFile> stageOutputFile(const std::string& path, const void* data,
                                          std::size_t size, SameContent same);
// Renames the temporary file over the target (or touches it). False when that failed.
bool commitOutputFile(const StagedFile& staged);
// Removes the temporary file, if any.
void discardOutputFile(const StagedFile& staged);
