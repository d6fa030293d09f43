// SPDX-License-Identifier: Apache-2.0
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "animated/animation_stream.h"
#include "animated/display_matrix.h"
#include "animated/readers.h"
#include "animated/video_clock.h"
#include "animated/video_parts.h"

namespace {

struct Closers {
    void operator()(AVFormatContext* format) const { avformat_close_input(&format); }
    void operator()(AVCodecContext* codec) const { avcodec_free_context(&codec); }
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
    void operator()(SwsContext* scaler) const { sws_freeContext(scaler); }
};
template <typename T>
using Owned = std::unique_ptr<T, Closers>;

std::string averror(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// A decoded frame as a BGR canvas: formats with alpha through RGBA, flattened, then
// turned as shown. Writes into canvas, whose samples are kept when the size does not
// change.
struct Converter {
    Turn turn;
    Owned<SwsContext> scaler;
    std::vector<uint8_t> rgba, turned;

    bool convert(const AVFrame* frame, int background, Canvas& canvas) {
        const AVPixelFormat format = AVPixelFormat(frame->format);
        const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
        const bool alpha = descriptor && (descriptor->flags &
                                          (AV_PIX_FMT_FLAG_ALPHA | AV_PIX_FMT_FLAG_PAL));
        const AVPixelFormat target = alpha ? AV_PIX_FMT_RGBA : AV_PIX_FMT_BGR24;
        scaler.reset(sws_getCachedContext(scaler.release(), frame->width, frame->height,
                                          format, frame->width, frame->height, target,
                                          SWS_BICUBIC, nullptr, nullptr, nullptr));
        if (!scaler) return false;
        canvas.width = frame->width;
        canvas.height = frame->height;
        const size_t pixels = size_t(frame->width) * size_t(frame->height);
        std::vector<uint8_t>& out = alpha ? rgba : canvas.bgr;
        out.resize(pixels * (alpha ? 4 : 3));
        uint8_t* planes[4] = {out.data(), nullptr, nullptr, nullptr};
        int strides[4] = {frame->width * (alpha ? 4 : 3), 0, 0, 0};
        sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height, planes,
                  strides);
        if (alpha) {
            canvas.bgr.resize(pixels * 3);
            flattenOver(rgba.data(), pixels, false, background, canvas.bgr.data());
        }
        turnCanvas(turn, canvas, turned);
        return true;
    }
};

// Decoded frames turned into canvases and handed to the sink on a thread of their own,
// so that decoding goes on meanwhile. At most SLOTS frames wait (each holding its
// decoder's buffers, not a copy).
struct Conversions {
    static constexpr std::size_t SLOTS = 8;
    const CanvasSink& sink;
    int background = 0;
    int part = 0;  // the part of the file its canvases come from
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::pair<Owned<AVFrame>, int>> waiting;  // frames and their durations
    bool closing = false;
    bool stopped = false;        // the sink said stop, or a frame was not converted
    bool unconvertible = false;  // a frame could not be converted to colour
    std::thread thread;
    Turn turn;  // how the pictures are shown
    Converter here;  // converts in push when no thread can be started (a single-threaded build)
    Canvas hereCanvas;

    Conversions(const CanvasSink& to, int behind, int from, const Turn& shown)
        : sink(to), background(behind), part(from), turn(shown) {
        here.turn = shown;
        try {
            thread = std::thread([this] { convertWaiting(); });
        } catch (const std::system_error&) {
        }
    }
    ~Conversions() { finish(); }

    void convertWaiting() {
        Converter converter;
        converter.turn = turn;
        Canvas canvas;
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [&] { return closing || !waiting.empty(); });
            if (waiting.empty()) return;
            std::pair<Owned<AVFrame>, int> next = std::move(waiting.front());
            waiting.pop_front();
            const bool going = !stopped;
            lock.unlock();
            changed.notify_all();
            bool converted = true, taken = true;
            if (going) {
                converted = converter.convert(next.first.get(), background, canvas);
                canvas.durationMs = next.second;
                canvas.part = part;
                taken = converted && sink(canvas);
            }
            next.first.reset();
            lock.lock();
            unconvertible = unconvertible || !converted;
            stopped = stopped || !taken;
        }
    }

    // Queues frame (a new reference to it) shown for durationMs, waiting while SLOTS
    // frames wait: false once the sink said stop or a frame was not converted.
    bool push(const AVFrame* frame, int durationMs) {
        if (!thread.joinable()) {
            if (stopped) return false;
            unconvertible = !here.convert(frame, background, hereCanvas);
            hereCanvas.durationMs = durationMs;
            hereCanvas.part = part;
            stopped = unconvertible || !sink(hereCanvas);
            return !stopped;
        }
        Owned<AVFrame> reference(av_frame_clone(frame));
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return stopped || waiting.size() < SLOTS; });
        if (!reference) stopped = unconvertible = true;
        if (stopped) return false;
        waiting.emplace_back(std::move(reference), durationMs);
        lock.unlock();
        changed.notify_all();
        return true;
    }

    // Converts what waits and ends the thread.
    void finish() {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            closing = true;
        }
        changed.notify_all();
        if (thread.joinable()) thread.join();
    }
};

// Turns decoded frames, with their timestamps, into canvases with durations, as
// readMedia promises for video.
struct Timeline {
    VideoClock clock;
    Owned<AVFrame> held;  // the latest frame at or before the next sampling time
    int64_t heldStamp = 0;
    int64_t sample = 0;  // with fps: the index of the next sampling time
    bool stopped = false;

    bool emit(const AVFrame* frame, int64_t fromMs, int64_t toMs,
              Conversions& conversions) {
        stopped = !conversions.push(frame, clampDuration(double(toMs - fromMs)));
        return !stopped;
    }

    // Sends the samples before until (a timestamp), each showing frame.
    bool sampleUntil(const AVFrame* frame, int64_t until, Conversions& conversions) {
        const int64_t count = sampleCount(clock);
        for (; sample < count && sampleStamp(clock, sample) < until; ++sample)
            if (!emit(frame, sampleMs(clock, sample), sampleMs(clock, sample + 1),
                      conversions))
                return false;
        return true;
    }

    // Sends what frame at timestamp now ends: false once the sink or the cut says stop.
    bool next(const AVFrame* frame, int64_t now, Conversions& conversions) {
        if (clock.fps.num > 0) {
            if (!sampleUntil(held ? held.get() : frame, now, conversions)) return false;
        } else if (held && now > startStamp(clock)) {
            if (!emit(held.get(), stampMs(clock, heldStamp), stampMs(clock, now),
                      conversions))
                return false;
        }
        held.reset(av_frame_clone(frame));
        heldStamp = now;
        return held && now < endStamp(clock);
    }

    void finish(int64_t lastEnd, Conversions& conversions) {
        if (!held || stopped) return;
        if (clock.fps.num > 0)
            sampleUntil(held.get(), lastEnd, conversions);
        else if (lastEnd > heldStamp && lastEnd > startStamp(clock) &&
                 heldStamp < endStamp(clock))
            emit(held.get(), stampMs(clock, heldStamp), stampMs(clock, lastEnd),
                 conversions);
    }
};

// What the parts of a video read at once may hold, about, and what one holds for each
// pixel of the picture: the pictures its decoder keeps and those that wait for
// Conversions (both 1.5 bytes a pixel, mostly), and the canvas being converted.
constexpr int64_t PARTS_BYTES = int64_t(512) << 20;
constexpr int64_t PART_BYTES_A_PIXEL = 32;

// An opened video: its first video stream and a decoder for it.
struct Media {
    Owned<AVFormatContext> format;
    int stream = -1;
    const AVCodec* decoder = nullptr;
    Owned<AVCodecContext> codec;
};

// Opens path's first video stream, not yet its decoder; "" or the problem.
std::string openMedia(const std::string& path, const std::string& kind, Media& media) {
    AVFormatContext* opened = nullptr;
    if (const int code = avformat_open_input(&opened, path.c_str(), nullptr, nullptr);
        code < 0)
        return "not a readable " + kind + " (" + averror(code) + ")";
    media.format.reset(opened);
    media.format->error_recognition = AV_EF_CRCCHECK | AV_EF_EXPLODE;
    if (const int code = avformat_find_stream_info(media.format.get(), nullptr); code < 0)
        return "damaged " + kind + " (" + averror(code) + ")";
    media.stream = av_find_best_stream(media.format.get(), AVMEDIA_TYPE_VIDEO, -1, -1,
                                       &media.decoder, 0);
    if (media.stream < 0 || !media.decoder)
        return "holds no video stream this program decodes";
    return {};
}

// Opens media's decoder, on one thread (FFmpeg's frame threads report damage in some
// runs and not in others); "" or the problem.
std::string openDecoder(Media& media) {
    const AVStream* video = media.format->streams[media.stream];
    media.codec.reset(avcodec_alloc_context3(media.decoder));
    if (!media.codec ||
        avcodec_parameters_to_context(media.codec.get(), video->codecpar) < 0)
        return "cannot decode its video stream";
    AVCodecContext& codec = *media.codec;
    codec.err_recognition = AV_EF_CRCCHECK | AV_EF_EXPLODE;
    codec.thread_count = 1;
    if (codec.width < 1 || codec.height < 1) return "its video has no pixels";
    if (int64_t(codec.width) * codec.height > MAX_CANVAS_PIXELS)
        return "its picture of " + std::to_string(codec.width) + " x " +
               std::to_string(codec.height) + " pixels is too large";
    if (const int code = avcodec_open2(media.codec.get(), media.decoder, nullptr);
        code < 0)
        return "cannot decode its video stream (" + averror(code) + ")";
    return {};
}

// Seeks media to part's first packet and reads it into packet: false when not found.
bool seekPart(Media& media, const VideoPart& part, AVPacket* packet) {
    const bool decodingTimes = part.firstDts != AV_NOPTS_VALUE;
    const int64_t time = decodingTimes ? part.firstDts : part.firstPts;
    if (av_seek_frame(media.format.get(), media.stream, time, AVSEEK_FLAG_BACKWARD) < 0)
        return false;
    while (av_read_frame(media.format.get(), packet) >= 0) {
        const bool ours = packet->stream_index == media.stream;
        if (ours && packet->pts == part.firstPts && packet->dts == part.firstDts &&
            (part.firstPos < 0 || packet->pos == part.firstPos))
            return true;
        const bool past = ours && decodingTimes && packet->dts != AV_NOPTS_VALUE &&
                          packet->dts > part.firstDts;
        av_packet_unref(packet);
        if (past) return false;
    }
    return false;
}

// True when media's decoder, from part's first packet (in packet), gives first a whole
// frame at the part's first time, as it does within the whole video. The decoder is
// then as new and packet holds that first packet again.
bool startsInTime(Media& media, const VideoPart& part, AVPacket* packet) {
    const Owned<AVFrame> frame(av_frame_alloc());
    bool read = true, given = false, inTime = false;
    for (int packets = 0; frame && read && !given && packets < 64; ++packets) {
        if (packets > 0)
            while ((read = av_read_frame(media.format.get(), packet) >= 0) &&
                   packet->stream_index != media.stream)
                av_packet_unref(packet);
        if (read && avcodec_send_packet(media.codec.get(), packet) < 0) break;
        av_packet_unref(packet);
        given = avcodec_receive_frame(media.codec.get(), frame.get()) == 0;
        inTime = given && frame->best_effort_timestamp == part.firstPts &&
                 !(frame->flags & AV_FRAME_FLAG_CORRUPT) && !frame->decode_error_flags;
    }
    avcodec_flush_buffers(media.codec.get());
    return inTime && seekPart(media, part, packet);
}

// One part of the file read by decodePart.
struct PartRead {
    ReadResult result;
    bool anyFrame = false;  // a frame was decoded (within the cut or not)
};

// Decodes part of media (its first packet in first when not the whole), hands its
// canvases, numbered index, to sink as readMedia promises, and stops early once stop
// is set (setting it itself when it fails or the sink says stop).
PartRead decodePart(Media& media, Owned<AVPacket> first, const VideoPart& part, int index,
                    const ReadOptions& options, const CanvasSink& sink,
                    std::atomic<bool>& stop) {
    const std::string kind = "video";
    const AVStream* video = media.format->streams[media.stream];
    const AVRational rate =
        video->avg_frame_rate.num ? video->avg_frame_rate : video->r_frame_rate;
    const AVRational frameTime =
        rate.num > 0 && rate.den > 0 ? av_inv_q(rate) : AVRational{1, 10};
    const int64_t frameStamps =
        std::max<int64_t>(1, av_rescale_q(1, frameTime, video->time_base));
    const bool last = part.packets < 0, whole = part.firstPacket == 0 && last;
    Timeline timeline;
    timeline.clock = videoClock(options, video->time_base.num, video->time_base.den);
    if (timeline.clock.fps.num > 0 && part.firstPacket > 0)
        timeline.sample = firstSampleFrom(timeline.clock, part.firstPts);
    const CanvasSink partSink = [&](const Canvas& canvas) {
        return !stop && sink(canvas);
    };
    Conversions conversions(partSink, options.background, index, streamTurn(*video));
    PartRead read;
    // What the part gave, once every frame queued is converted and handed over.
    const auto ended = [&](ReadResult result) {
        conversions.finish();
        if (conversions.unconvertible)
            result = {"its frames cannot be converted to colour"};
        if (!result.problem.empty() || conversions.stopped) stop = true;
        read.result = result;
        return read;
    };
    AVCodecContext* codec = media.codec.get();
    const Owned<AVPacket> packet(first ? std::move(first)
                                       : Owned<AVPacket>(av_packet_alloc()));
    const Owned<AVFrame> frame(av_frame_alloc());
    long frames = 0, packets = 0;
    int64_t lastEnd = 0;
    bool going = true, pending = part.firstPacket > 0;
    std::string problem;
    // Takes every frame the decoder has ready; false to stop.
    const auto drain = [&]() {
        for (;;) {
            const int code = avcodec_receive_frame(codec, frame.get());
            if (code == AVERROR(EAGAIN) || code == AVERROR_EOF) return true;
            if (code < 0 || (frame->flags & AV_FRAME_FLAG_CORRUPT) ||
                frame->decode_error_flags) {
                problem = "damaged " + kind + " (" +
                          averror(code < 0 ? code : AVERROR_INVALIDDATA) + ")";
                return false;
            }
            if (int64_t(frame->width) * frame->height > MAX_CANVAS_PIXELS) {
                problem = "a frame of " + std::to_string(frame->width) + " x " +
                          std::to_string(frame->height) + " pixels is too large";
                return false;
            }
            read.anyFrame = true;
            const int64_t stamp = frame->best_effort_timestamp;
            if (!whole &&
                (stamp < part.firstPts || stamp >= part.endPts ||
                 (frames++ == 0 && part.firstPacket > 0 && stamp != part.firstPts))) {
                problem = "damaged video (its frames are not shown in the order stored)";
                return false;
            }
            const int64_t now = stamp == AV_NOPTS_VALUE ? lastEnd : stamp;
            const int64_t length =
                frame->pkt_duration > 0 ? frame->pkt_duration : frameStamps;
            lastEnd = now > INT64_MAX - length ? INT64_MAX : now + length;
            if (!timeline.next(frame.get(), now, conversions)) return false;
        }
    };
    while (going && !stop && (last || packets < part.packets)) {
        if (!pending) {
            const int code = av_read_frame(media.format.get(), packet.get());
            if (code == AVERROR_EOF) break;
            if (code < 0)
                return ended({"damaged or cut " + kind + " (" + averror(code) + ")"});
        }
        pending = false;
        if (packet->stream_index == media.stream) {
            ++packets;
            if (packet->flags & AV_PKT_FLAG_CORRUPT)
                return ended({"damaged or cut " + kind});
            const int sent = avcodec_send_packet(codec, packet.get());
            if (sent < 0 && sent != AVERROR(EAGAIN))
                return ended({"damaged " + kind + " (" + averror(sent) + ")"});
            going = drain();
        }
        av_packet_unref(packet.get());
    }
    if (!problem.empty()) return ended({problem});
    if (going && !stop) {
        avcodec_send_packet(codec, nullptr);
        going = drain();
        if (!problem.empty()) return ended({problem});
    }
    if (stop || timeline.stopped) return ended({});
    timeline.finish(last ? lastEnd : part.endPts, conversions);
    return ended({});
}

// True for the containers that index their packets (MP4 and QuickTime, Matroska and
// WebM, AVI): a part begins at a packet the index finds, and a damaged packet is one
// packet damaged, decoded alike in a part and in the whole. Streams without an index
// (MPEG-TS, raw H.264) may lose a packet unnoticed, and what a decoder shows then
// depends on where it began.
bool indexedContainer(const AVInputFormat& format) {
    const std::string name = format.name;
    return name == "mov,mp4,m4a,3gp,3g2,mj2" || name == "matroska,webm" || name == "avi";
}

// The parts of media's video to decode at once, at most parts of them, each opened and
// at its first packet: the whole (media itself) when it is not split.
std::vector<VideoPart> plannedParts(const std::string& path, int parts,
                                    const ReadOptions& options, Media& media,
                                    std::vector<Media>& others,
                                    std::vector<Owned<AVPacket>>& firsts) {
    const std::vector<VideoPart> whole(1);
    if (!indexedContainer(*media.format->iformat)) return whole;
    Media scan;
    if (parts < 2 || !openMedia(path, "video", scan).empty() ||
        scan.stream != media.stream)
        return whole;
    const double timeBase = av_q2d(scan.format->streams[scan.stream]->time_base);
    const double until = (options.start + options.duration) / timeBase;
    const std::vector<VideoPart> split = splitVideo(
        scan.format.get(), scan.stream, parts,
        options.duration >= 0 && timeBase > 0 && until < 9e18 ? int64_t(until) + 1
                                                              : INT64_MAX);
    others.resize(split.size() - 1);
    firsts.resize(split.size() - 1);
    for (size_t k = 1; k < split.size(); ++k) {
        firsts[k - 1].reset(av_packet_alloc());
        if (!firsts[k - 1] || !openMedia(path, "video", others[k - 1]).empty() ||
            others[k - 1].stream != media.stream ||
            !seekPart(others[k - 1], split[k], firsts[k - 1].get()) ||
            !openDecoder(others[k - 1]).empty() ||
            !startsInTime(others[k - 1], split[k], firsts[k - 1].get()))
            return whole;
    }
    return split;
}

}  // namespace

ReadResult readMedia(const std::string& path, const ReadOptions& options,
                     const CanvasSink& sink) {
    av_log_set_level(AV_LOG_QUIET);
    const std::string kind = "video";
    Media media;
    if (std::string problem = openMedia(path, kind, media); !problem.empty())
        return {problem};
    std::vector<Media> others;
    std::vector<Owned<AVPacket>> firsts;
    const AVCodecParameters& codec = *media.format->streams[media.stream]->codecpar;
    const int64_t partBytes =
        std::max<int64_t>(1, int64_t(codec.width) * codec.height * PART_BYTES_A_PIXEL);
    const int atOnce = int(std::min<int64_t>(options.parts, PARTS_BYTES / partBytes));
    const std::vector<VideoPart> parts =
        atOnce < 2 ? std::vector<VideoPart>(1)
                   : plannedParts(path, atOnce, options, media, others, firsts);
    if (std::string problem = openDecoder(media); !problem.empty()) return {problem};
    std::atomic<bool> stop{false};
    std::vector<PartRead> reads(parts.size());
    std::vector<std::thread> threads;
    for (size_t k = 1; k < parts.size(); ++k)
        threads.emplace_back([&, k] {
            reads[k] = decodePart(others[k - 1], std::move(firsts[k - 1]), parts[k],
                                  int(k), options, sink, stop);
        });
    reads[0] = decodePart(media, nullptr, parts[0], 0, options, sink, stop);
    for (std::thread& thread : threads) thread.join();
    bool anyFrame = false;
    for (const PartRead& read : reads) {
        if (!read.result.problem.empty()) return read.result;
        anyFrame = anyFrame || read.anyFrame;
    }
    if (!anyFrame) return {"holds no decodable frame"};
    return {};
}
