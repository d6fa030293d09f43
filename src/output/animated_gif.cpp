// SPDX-License-Identifier: Apache-2.0
#include <gif_lib.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "frame/frame.h"
#include "output/frame_preview.h"

namespace {

constexpr int SCALE = 3;

int appendBytes(GifFileType* gif, const GifByteType* bytes, int size) {
    static_cast<std::string*>(gif->UserData)
        ->append(reinterpret_cast<const char*>(bytes), size_t(size));
    return size;
}

int level(const PackedFrame& frame, int x, int y) {
    const unsigned char byte = frame[size_t(y * PACKED_ROW_BYTES + x / 2)];
    return x % 2 == 0 ? byte >> 4 : byte & 0xF;
}

bool putLoopForever(GifFileType* gif) {
    static const GifByteType application[] = {'N', 'E', 'T', 'S', 'C', 'A',
                                              'P', 'E', '2', '.', '0'};
    static const GifByteType loop[] = {1, 0, 0};
    return EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
           EGifPutExtensionBlock(gif, sizeof application, application) == GIF_OK &&
           EGifPutExtensionBlock(gif, sizeof loop, loop) == GIF_OK &&
           EGifPutExtensionTrailer(gif) == GIF_OK;
}

bool putFrame(GifFileType* gif, const PackedFrame& frame, int durationMs) {
    GraphicsControlBlock control{DISPOSE_DO_NOT, false, 0, NO_TRANSPARENT_COLOR};
    control.DelayTime = int(std::min(65535L, std::lround(durationMs / 10.0)));
    GifByteType extension[4];
    EGifGCBToExtension(&control, extension);
    const int width = FRAME_WIDTH * SCALE, height = FRAME_HEIGHT * SCALE;
    if (EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension) != GIF_OK ||
        EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr) != GIF_OK)
        return false;
    std::vector<GifPixelType> line(static_cast<size_t>(width));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            line[size_t(x)] = GifPixelType(level(frame, x / SCALE, y / SCALE));
        if (EGifPutLine(gif, line.data(), width) != GIF_OK) return false;
    }
    return true;
}

}  // namespace

std::string animatedGif(const FrameSet& set) {
    std::string bytes;
    int error = 0;
    GifFileType* gif = EGifOpen(&bytes, appendBytes, &error);
    if (!gif) return {};
    GifColorType grays[16];
    for (int i = 0; i < 16; ++i)
        grays[i] = {GifByteType(i * 17), GifByteType(i * 17), GifByteType(i * 17)};
    ColorMapObject* palette = GifMakeMapObject(16, grays);
    EGifSetGifVersion(gif, true);
    bool good =
        palette && EGifPutScreenDesc(gif, FRAME_WIDTH * SCALE, FRAME_HEIGHT * SCALE, 4, 0,
                                     palette) == GIF_OK;
    GifFreeMapObject(palette);
    good = good && putLoopForever(gif);
    for (size_t i = 0; good && i < set.frames.size(); ++i)
        good =
            putFrame(gif, set.frames[i], set.durations.empty() ? 100 : set.durations[i]);
    if (EGifCloseFile(gif, &error) != GIF_OK) good = false;
    return good ? bytes : std::string();
}
