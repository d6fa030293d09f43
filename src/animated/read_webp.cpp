// SPDX-License-Identifier: Apache-2.0
#include <webp/demux.h>

#include <fstream>
#include <iterator>
#include <memory>

#include "animated/readers.h"
#include "animated/animation_stream.h"

namespace {

struct DecoderDeleter {
    void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};

// The largest WebP file read whole.
constexpr std::streamoff MAX_FILE_BYTES = std::streamoff(1) << 30;

}  // namespace

ReadResult readWebP(const std::string& path, const ReadOptions& options,
                    const CanvasSink& sink) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    const std::streamoff size = file ? std::streamoff(file.tellg()) : -1;
    if (size < 0 || size > MAX_FILE_BYTES || !file.seekg(0)) return {"cannot be read"};
    std::string bytes(static_cast<size_t>(size), '\0');
    if (!file.read(&bytes[0], size)) return {"cannot be read"};
    const WebPData data{reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()};
    WebPAnimDecoderOptions decoderOptions;
    if (!WebPAnimDecoderOptionsInit(&decoderOptions))
        return {"the WebP library is unusable"};
    decoderOptions.color_mode = MODE_RGBA;
    decoderOptions.use_threads = 0;
    // The demuxer refuses canvases beyond the format's limits and frames outside them.
    std::unique_ptr<WebPAnimDecoder, DecoderDeleter> decoder(
        WebPAnimDecoderNew(&data, &decoderOptions));
    if (!decoder) return {"damaged or cut WebP"};
    WebPAnimInfo info;
    if (!WebPAnimDecoderGetInfo(decoder.get(), &info)) return {"damaged WebP"};
    const int width = int(info.canvas_width), height = int(info.canvas_height);
    if (width < 1 || height < 1) return {"the WebP's canvas has no pixels"};
    if (int64_t(width) * height > MAX_CANVAS_PIXELS)
        return {"the WebP's canvas of " + std::to_string(width) + " x " +
                std::to_string(height) + " pixels is too large"};
    if (info.frame_count < 1) return {"the WebP holds no frame"};
    int previous = 0;
    while (WebPAnimDecoderHasMoreFrames(decoder.get())) {
        uint8_t* rgba = nullptr;
        int timestamp = 0;
        if (!WebPAnimDecoderGetNext(decoder.get(), &rgba, &timestamp))
            return {"damaged or cut WebP"};
        const Canvas canvas =
            flattenedCanvas(rgba, width, height, false, options.background,
                            clampDuration(timestamp - previous));
        previous = timestamp;
        if (!sink(canvas)) return {};
    }
    return {};
}
