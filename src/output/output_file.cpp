// SPDX-License-Identifier: Apache-2.0
#include "output/output_file.h"

// What both platforms share; the rest is in output_file_posix.cpp and
// output_file_windows.cpp.
bool writeOutputFile(const std::string& path, const void* data, std::size_t size,
                     SameContent same) {
    const std::optional<StagedFile> staged = stageOutputFile(path, data, size, same);
    return staged && commitOutputFile(*staged);
}
