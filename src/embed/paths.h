// SPDX-License-Identifier: Apache-2.0
// Paths as grayframe-embed is given them, split at this platform's separators: '/'
// here, '/' and '\' and a drive prefix ("C:") on Windows.
#pragma once

#include <string>

// True when path ends with a separator, as in "sub/" (or "sub\" on Windows).
bool endsWithSeparator(const std::string& path);

// The path of name in the folder dir, with one separator between them.
std::string inFolder(const std::string& dir, const std::string& name);

// The last part of path: the file's name without its folders (or drive).
std::string fileNameOf(const std::string& path);
