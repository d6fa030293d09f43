// SPDX-License-Identifier: Apache-2.0
// The list of images grayframe-embed reads with --files-from.
#pragma once

#include <istream>
#include <optional>
#include <string>
#include <vector>

// The image names in in, one a line, in order: a line ends with LF or CR LF, and empty
// lines are skipped. Nothing when the stream fails before its end.
std::optional<std::vector<std::string>> readImageList(std::istream& in);
