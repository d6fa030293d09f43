// SPDX-License-Identifier: Apache-2.0
#include "animated/animation_stream.h"

#include <algorithm>

int64_t maxFilePixels(int64_t fileBytes) {
    const int64_t least = int64_t(1) << 28, most = int64_t(1) << 31;
    return fileBytes >= most >> 16 ? most : std::max(least, fileBytes << 16);
}

std::string frameCapText(long maxFrames) {
    return "more than " + std::to_string(maxFrames) + " frames (see --max-frames)";
}

bool plausibleFrame(const RecordHead& head) {
    return (head.kind == RecordKind::Frame || head.kind == RecordKind::GrayFrame) &&
           head.rows > 0 && head.cols > 0 &&
           int64_t(head.rows) * head.cols <= MAX_CANVAS_PIXELS && head.value >= 0 &&
           head.value <= MAX_DURATION_MS;
}
