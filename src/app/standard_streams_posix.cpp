#include <fcntl.h>
#include <unistd.h>

#include "app/standard_streams.h"
#include "packed/output_file.h"

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

void keepStandardOutputBinary() {}
