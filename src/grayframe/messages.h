#pragma once

#include <string>

#include "output/standard_streams.h"

// The tool's messages, each one whole line. The German one carries the Latin-1 byte
// 0xF6; the quotes and missing blanks are part of the text.
std::string wrongCommandLineMessage();
std::string cannotOpenMessage(const std::string& input);
std::string cannotWriteMessage(const std::string& path);
std::string previewUnavailableMessage();
std::string previewModuleMessage(const std::string& problem);
