// SPDX-License-Identifier: Apache-2.0
#include "animated/video_parts.h"

#include <algorithm>
#include <memory>

namespace {

struct Packet {
    int64_t pts, dts, pos, bytes;
    bool key;
};

// The types of the NAL units in packet, as H.264 (hevc false) or HEVC numbers them,
// in length-prefixed form when the stream's extradata says so, else between start codes.
std::vector<int> nalTypes(const AVCodecParameters& codec, const AVPacket& packet,
                          bool hevc) {
    const uint8_t* data = packet.data;
    const long size = packet.size;
    const uint8_t* extra = codec.extradata;
    const int extraSize = codec.extradata_size;
    const long lengthAt = hevc ? 21 : 4;
    std::vector<int> types;
    const auto type = [&](uint8_t head) {
        return hevc ? (head >> 1) & 0x3f : head & 0x1f;
    };
    if (extra && extraSize > lengthAt && extra[0] == 1) {
        const long lengthSize = (extra[lengthAt] & 3) + 1;
        for (long at = 0; at + lengthSize < size;) {
            long length = 0;
            for (long i = 0; i < lengthSize; ++i) length = length << 8 | data[at + i];
            at += lengthSize;
            if (length < 1 || length > size - at) break;
            types.push_back(type(data[at]));
            at += length;
        }
        return types;
    }
    for (long at = 0; at + 3 < size; ++at)
        if (data[at] == 0 && data[at + 1] == 0 && data[at + 2] == 1)
            types.push_back(type(data[at += 3]));
    return types;
}

// True when decoding may start afresh at packet, a key packet of the stream, and give
// what decoding from the start gives from there on: a picture that every later one may
// refer to without those before it (a key frame of these codecs; an IDR picture of
// H.264 or HEVC; any picture of intra-only codecs).
bool freshStart(const AVCodecParameters& codec, const AVPacket& packet) {
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(codec.codec_id);
    if (descriptor && (descriptor->props & AV_CODEC_PROP_INTRA_ONLY)) return true;
    switch (codec.codec_id) {
        case AV_CODEC_ID_VP8:
        case AV_CODEC_ID_VP9:
        case AV_CODEC_ID_AV1:
        case AV_CODEC_ID_MPEG4:
        case AV_CODEC_ID_MPEG1VIDEO:
        case AV_CODEC_ID_MPEG2VIDEO:
            return true;
        case AV_CODEC_ID_H264:
            for (const int type : nalTypes(codec, packet, false))
                if (type == 5) return true;
            return false;
        case AV_CODEC_ID_HEVC:
            for (const int type : nalTypes(codec, packet, true))
                if (type == 19 || type == 20) return true;
            return false;
        default:
            return false;
    }
}

// Packets read past the first one shown after the time asked for: more than any
// decoder keeps back to reorder frames, so that no packet after them is shown before
// a cut among those before.
constexpr long PACKETS_PAST_END = 64;

}  // namespace

std::vector<VideoPart> splitVideo(AVFormatContext* format, int stream, int count,
                                  int64_t untilPts) {
    const std::vector<VideoPart> whole(1);
    if (count < 2) return whole;
    const std::unique_ptr<AVPacket, void (*)(AVPacket*)> read(
        av_packet_alloc(), [](AVPacket* packet) { av_packet_free(&packet); });
    if (!read) return whole;
    std::vector<Packet> packets;
    long pastEnd = 0;  // packets read since one shown after untilPts
    for (int code; pastEnd < PACKETS_PAST_END &&
                   (code = av_read_frame(format, read.get())) != AVERROR_EOF;) {
        if (code < 0) return whole;
        const AVPacket& packet = *read;
        const bool ours = packet.stream_index == stream;
        Packet taken{packet.pts, packet.dts, packet.pos, packet.size,
                     ours && (packet.flags & AV_PKT_FLAG_KEY) &&
                         freshStart(*format->streams[stream]->codecpar, packet)};
        const bool corrupt = (packet.flags & AV_PKT_FLAG_CORRUPT) != 0;
        av_packet_unref(read.get());
        if (!ours) continue;
        if (corrupt || taken.pts == AV_NOPTS_VALUE) return whole;
        if (pastEnd > 0 || taken.pts > untilPts) {
            ++pastEnd;
            taken.key = false;
        }
        packets.push_back(taken);
    }
    const long n = long(packets.size());
    // before[i]: the latest time shown by packets 0 ... i-1; from[i]: the earliest by i
    // ...
    std::vector<int64_t> before(size_t(n) + 1, INT64_MIN), from(size_t(n) + 1, INT64_MAX);
    for (long i = 0; i < n; ++i)
        before[size_t(i) + 1] = std::max(before[size_t(i)], packets[size_t(i)].pts);
    for (long i = n - 1; i >= 0; --i)
        from[size_t(i)] = std::min(from[size_t(i) + 1], packets[size_t(i)].pts);
    // bytes[i]: the bytes of packets 0 ... i-1, what decoding them takes, roughly
    std::vector<int64_t> bytes(size_t(n) + 1, 0);
    for (long i = 0; i < n; ++i)
        bytes[size_t(i) + 1] = bytes[size_t(i)] + packets[size_t(i)].bytes;
    std::vector<long> starts = {0};
    for (int k = 1; k < count; ++k) {
        long best = -1;
        const int64_t goal = bytes[size_t(n)] / count * k;
        const auto off = [&](long i) { return std::abs(bytes[size_t(i)] - goal); };
        for (long i = starts.back() + 1; i < n; ++i) {
            const Packet& p = packets[size_t(i)];
            if (!p.key || before[size_t(i)] >= p.pts || from[size_t(i)] < p.pts) continue;
            if (best < 0 || off(i) < off(best)) best = i;
            if (bytes[size_t(i)] > goal) break;
        }
        if (best > 0 && (starts.size() < 2 || best != starts.back()))
            starts.push_back(best);
    }
    if (starts.size() < 2) return whole;
    std::vector<VideoPart> parts;
    for (size_t k = 0; k < starts.size(); ++k) {
        VideoPart part;
        const Packet& first = packets[size_t(starts[k])];
        part.firstPacket = starts[k];
        part.firstPts = first.pts;
        part.firstDts = first.dts;
        part.firstPos = first.pos;
        if (k + 1 < starts.size()) {
            part.packets = starts[k + 1] - starts[k];
            part.endPts = packets[size_t(starts[k + 1])].pts;
        }
        parts.push_back(part);
    }
    return parts;
}
