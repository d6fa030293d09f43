#include "app/messages.h"

#include <fcntl.h>
#include <unistd.h>

#include "packed/output_file.h"

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

namespace {

int messageDescriptor = STDERR_FILENO;

}  // namespace

void report(const std::string& message) {
    writeAll(messageDescriptor, message.data(), message.size());
}

void keepLibrariesOffStandardError() {
    const int own = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (own < 0 || null < 0) {
        if (own >= 0) ::close(own);
        if (null >= 0 && null != STDERR_FILENO) ::close(null);
        return;
    }
    messageDescriptor = own;
    ::dup2(null, STDERR_FILENO);
    if (null != STDERR_FILENO) ::close(null);
}
