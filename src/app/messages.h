#pragma once

#include <string>

// The tool's messages, each one whole line. The German one carries the Latin-1 byte
// 0xF6; the quotes and missing blanks are part of the text.
std::string wrongCommandLineMessage();
std::string cannotOpenMessage(const std::string& input);
std::string cannotWriteMessage(const std::string& path);
std::string previewUnavailableMessage();
std::string previewModuleMessage(const std::string& problem);

// Writes one message line to standard error at once, unbuffered.
void report(const std::string& message);

// From here on, descriptor 2 leads to /dev/null, so that nothing a library prints (a
// decoder's warnings, the window toolkit's notes, a helper process that inherits it)
// reaches standard error; report() keeps writing to the real standard error through a
// private descriptor. Call once, before any library work.
void keepLibrariesOffStandardError();
