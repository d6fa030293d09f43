// SPDX-License-Identifier: Apache-2.0
#include <fcntl.h>
#include <unistd.h>

#include "output/output_file.h"
#include "output/standard_streams.h"
#include "platform/process.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define GRAYFRAME_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define GRAYFRAME_SANITIZED 1
#endif
#endif
#ifdef GRAYFRAME_SANITIZED
#include <sanitizer/common_interface_defs.h>

#include <cstdint>
#endif

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
#ifdef GRAYFRAME_SANITIZED
    // Sanitizer builds: AddressSanitizer's and ThreadSanitizer's reports go where the
    // tool's own lines go.
    __sanitizer_set_report_fd(reinterpret_cast<void*>(static_cast<std::intptr_t>(own)));
#endif
    ::dup2(null, STDERR_FILENO);
    if (null != STDERR_FILENO) ::close(null);
}

void keepStandardOutputBinary() {}
