// SPDX-License-Identifier: Apache-2.0
#include "animated/readers.h"

ReadResult readMedia(const std::string&, const ReadOptions&, const CanvasSink&) {
    ReadResult result;
    result.problem = VIDEO_NOT_READ;
    return result;
}
