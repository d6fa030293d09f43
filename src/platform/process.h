// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

// platform: starting the program's companion processes (POSIX only) and moving bytes
// through descriptors (everywhere).

// The companion program found relative to the running program (programDirectory):
// beside it, else at installed (a path relative to its directory); "" when neither is
// an executable file.
std::string findCompanion(const char* beside, const char* installed);

// Starts arguments[0] with arguments (posix_spawn, never fork): its standard output on
// fd, its standard input /dev/null, standard error inherited, every other descriptor
// closed and no signal blocked. The child's id, or -1.
pid_t spawnCompanion(const std::vector<std::string>& arguments, int fd);

// All size bytes read from (or written to) fd, going on after short reads or writes
// and EINTR; false on an error or an early end.
bool readAll(int fd, void* bytes, std::size_t size);
bool writeAll(int fd, const void* bytes, std::size_t size);
