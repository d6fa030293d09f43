#include "grayframe/messages.h"

std::string wrongCommandLineMessage() { return "wrong commandline\n"; }

std::string cannotOpenMessage(const std::string& input) {
    return "image '" + input +
           "'kann nicht ge\xF6"
           "ffnet werden.\n";
}

std::string cannotWriteMessage(const std::string& path) {
    return "could not write to file'" + path + "\n";
}

std::string previewUnavailableMessage() {
    return "cannot show the preview: no usable display\n";
}

std::string previewModuleMessage(const std::string& problem) {
    return "cannot load the preview module: " + problem + "\n";
}
