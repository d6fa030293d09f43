// SPDX-License-Identifier: Apache-2.0
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <cstdint>
#include <vector>

// A stretch of a video stream's packets that decodes on its own, the same as within the
// whole: it begins at a picture that no later one needs those before it for (see
// freshStart in the source), every packet before it is shown before it and every packet
// from it on is shown at or after it.
struct VideoPart {
    long firstPacket = 0;        // its first packet's place among the stream's packets
    long packets = -1;           // how many it holds; -1: all to the end of the stream
    int64_t firstPts = 0;        // when its first frame is shown (the stream's time base)
    int64_t endPts = INT64_MAX;  // when the next part's first frame is shown
    int64_t firstDts = 0;        // its first packet's decoding time (or AV_NOPTS_VALUE)
    int64_t firstPos = -1;       // and place in the file (or -1), to find it again
};

// The video stream of format (just opened, read here from its start to its end, or to a
// little past the first packet shown after untilPts) split at key packets into at most
// count parts of about as many bytes each, all cuts at or before untilPts (the last part
// runs to the end). One part, the whole stream, when count is 1, when the stream lacks
// times, when a read fails, or when no key packet has the property above.
std::vector<VideoPart> splitVideo(AVFormatContext* format, int stream, int count,
                                  int64_t untilPts = INT64_MAX);
