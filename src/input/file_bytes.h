// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <optional>
#include <string>

// The content of the regular file at path (links followed), read through one open
// handle: all of it when wanted(its first bytes, up to 16) is true, else only those
// first bytes. nullopt when path is not a regular file or cannot be opened or read. On
// Windows the name is taken in the active code page, as the command line gives it, and
// may be longer than 260 characters.
std::optional<std::string> readRegularFile(const std::string& path,
                                           bool (*wanted)(const std::string& start));

// False when the image library cannot open path by its name although readRegularFile
// can: on Windows, a name of MAX_PATH (260) characters or more once made absolute.
// True elsewhere.
bool libraryOpensByName(const std::string& path);
