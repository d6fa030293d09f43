// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <opencv2/core.hpp>
#include <string>

// The decode helper, grayframe-decode: a program of its own, built on the system's
// OpenCV, that reads one picture with cv::imread(path, cv::IMREAD_COLOR) and sends
// back whatever the library returns. grayframe starts it (posix_spawn, never fork) for
// the files it does not decode itself, so that a decoder crash costs only that input
// and formats its own OpenCV lacks are still read.
//
// What the helper writes to its standard output, in the machine's byte order: the four
// bytes "GFD1", then the rows, columns and OpenCV type of the picture as 32-bit
// integers, then its samples row by row without padding. Exit status 0 once all of it
// is written, 1 when the picture cannot be read, 2 for a refused command line.

// The picture at path as the helper's library returned it (8-bit or deeper samples,
// 1 to 4 channels, within the library's size limits), through the helper found beside
// the running program or where it is installed. Empty when the helper cannot be
// started, cannot read the picture, crashes, or sends anything else. The helper's
// standard input is /dev/null and its standard error the program's. Never throws;
// safe to call from several threads at once. On Windows and in the browser, which
// have no helper, the picture is read in this process.
cv::Mat decodeInHelper(const std::string& path);

// The helper's program: its command line is [--help] [--version] FILE. Returns the
// exit status. Whatever the library prints on standard output goes to /dev/null. Only
// where the helper is built (Linux).
int runDecodeHelper(int argc, char** argv);
