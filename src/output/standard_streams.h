// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <string>

// Writes one message line to standard error at once, unbuffered. On Windows standard
// error is in text mode: the line ends in CR LF there.
void report(const std::string& message);

// From here on, descriptor 2 leads to the null device, so that nothing a library prints
// (a decoder's warnings, the window toolkit's notes, a helper process that inherits it)
// reaches standard error; report() keeps writing to the real standard error through a
// private descriptor. Call once, before any library work.
void keepLibrariesOffStandardError();

// Standard output takes bytes as they are: on Windows it is switched to binary mode, so
// that a byte 0x0A of the raw stream is not turned into CR LF. Nothing to do elsewhere.
// Call before anything is written to it.
void keepStandardOutputBinary();
