// SPDX-License-Identifier: Apache-2.0
#include <fcntl.h>
#include <io.h>

#include "output/output_file.h"
#include "output/standard_streams.h"
#include "platform/process.h"

namespace {

int messageDescriptor = 2;

}  // namespace

void report(const std::string& message) {
    writeAll(messageDescriptor, message.data(), message.size());
}

// The private descriptor keeps standard error's text mode; _dup2 on descriptor 2 also
// points the process's standard error handle at NUL.
void keepLibrariesOffStandardError() {
    const int own = ::_dup(2);
    const int null = ::_open("NUL", _O_WRONLY);
    if (own < 0 || null < 0) {
        if (own >= 0) ::_close(own);
        if (null >= 0 && null != 2) ::_close(null);
        return;
    }
    messageDescriptor = own;
    ::_dup2(null, 2);
    if (null != 2) ::_close(null);
}

void keepStandardOutputBinary() { ::_setmode(1, _O_BINARY); }
