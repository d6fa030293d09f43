// SPDX-License-Identifier: Apache-2.0
// platform (Windows): file names as the wide-character calls take them.
#pragma once

#include <string>

// path, a name in the active code page as the command line gives it, in UTF-16; one of
// 248 characters or more made absolute and given the "\\?\" prefix (or "\\?\UNC\"), so
// that it opens whatever the system's limit on path lengths.
std::wstring widePath(const std::string& path);
