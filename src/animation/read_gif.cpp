// SPDX-License-Identifier: Apache-2.0
#include <gif_lib.h>

#include <algorithm>
#include <memory>
#include <optional>

#include "animation/readers.h"
#include "input/animation_stream.h"

namespace {

struct GifCloser {
    void operator()(GifFileType* gif) const { DGifCloseFile(gif, nullptr); }
};
using Gif = std::unique_ptr<GifFileType, GifCloser>;

std::string gifError(int code) {
    const char* text = GifErrorString(code);
    return text ? text : "unknown error";
}

// The rows of an image of height rows in the order its data holds them.
std::vector<int> rowOrder(int height, bool interlaced) {
    std::vector<int> rows;
    if (!interlaced) {
        for (int y = 0; y < height; ++y) rows.push_back(y);
        return rows;
    }
    const int starts[] = {0, 4, 2, 1}, steps[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int y = starts[pass]; y < height; y += steps[pass]) rows.push_back(y);
    return rows;
}

struct Image {
    GifImageDesc desc;
    const ColorMapObject* palette;
};

// Decodes the image that follows its descriptor straight onto canvas (RGBA, width x
// height), leaving the transparent index's pixels as they were; false when cut.
bool drawImage(GifFileType* gif, const Image& image, const GraphicsControlBlock& control,
               std::vector<uint8_t>& canvas, int width, int height) {
    const GifImageDesc& desc = image.desc;
    std::vector<GifPixelType> line(size_t(std::max(desc.Width, 1)));
    for (const int row : rowOrder(desc.Height, desc.Interlace)) {
        if (DGifGetLine(gif, line.data(), desc.Width) == GIF_ERROR) return false;
        const int y = desc.Top + row;
        if (y >= height) continue;
        for (int x = 0; x < desc.Width && desc.Left + x < width; ++x) {
            const int index = line[size_t(x)];
            if (index == control.TransparentColor) continue;
            uint8_t* pixel = &canvas[(size_t(y) * size_t(width) + size_t(desc.Left + x)) * 4];
            const GifColorType colour = index < image.palette->ColorCount
                                            ? image.palette->Colors[index]
                                            : GifColorType{0, 0, 0};
            pixel[0] = colour.Red;
            pixel[1] = colour.Green;
            pixel[2] = colour.Blue;
            pixel[3] = 255;
        }
    }
    return true;
}

void clearRect(std::vector<uint8_t>& canvas, int width, int height, const GifImageDesc& desc) {
    for (int y = std::max(desc.Top, 0); y < std::min(desc.Top + desc.Height, height); ++y) {
        const int from = std::min(desc.Left, width), to = std::min(desc.Left + desc.Width, width);
        std::fill(canvas.begin() + (ptrdiff_t(y) * width + from) * 4,
                  canvas.begin() + (ptrdiff_t(y) * width + to) * 4, uint8_t(0));
    }
}

int delayMs(const GraphicsControlBlock& control) {
    return control.DelayTime <= 1 ? 100 : clampDuration(control.DelayTime * 10.0);
}

}  // namespace

ReadResult readGif(const std::string& path, const ReadOptions& options,
                   const CanvasSink& sink) {
    int error = 0;
    const Gif gif(DGifOpenFileName(path.c_str(), &error));
    if (!gif) return {"not a readable GIF (" + gifError(error) + ")"};
    const int width = gif->SWidth, height = gif->SHeight;
    if (width < 1 || height < 1) return {"the GIF's canvas has no pixels"};
    if (int64_t(width) * height > MAX_CANVAS_PIXELS)
        return {"the GIF's canvas of " + std::to_string(width) + " x " +
                std::to_string(height) + " pixels is too large"};
    std::vector<uint8_t> canvas(size_t(width) * size_t(height) * 4, 0), saved;
    const GraphicsControlBlock noControl{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
    GraphicsControlBlock control = noControl;
    std::optional<Canvas> held;  // the latest canvas, sent once it is known not to be the only one
    int images = 0;
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR) {
            if (images > 0 && gif->Error == D_GIF_ERR_READ_FAILED) break;  // no trailer
            return {"damaged GIF (" + gifError(gif->Error) + ")"};
        }
        if (type == TERMINATE_RECORD_TYPE) break;
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR)
                return {"damaged GIF (" + gifError(gif->Error) + ")"};
            if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4)
                DGifExtensionToGCB(block[0], block + 1, &control);
            while (block)
                if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR)
                    return {"damaged GIF (" + gifError(gif->Error) + ")"};
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE) return {"damaged GIF (unknown record)"};
        if (DGifGetImageDesc(gif.get()) == GIF_ERROR)
            return {"damaged GIF (" + gifError(gif->Error) + ")"};
        const Image image{gif->Image, gif->Image.ColorMap ? gif->Image.ColorMap : gif->SColorMap};
        if (!image.palette) return {"damaged GIF (an image without colours)"};
        if (control.DisposalMode == DISPOSE_PREVIOUS) saved = canvas;
        if (!drawImage(gif.get(), image, control, canvas, width, height))
            return {"damaged or cut GIF (" + gifError(gif->Error) + ")"};
        if (held && !sink(*held)) return {};
        held = flattenedCanvas(canvas.data(), width, height, false, options.background,
                               delayMs(control));
        ++images;
        if (control.DisposalMode == DISPOSE_BACKGROUND) clearRect(canvas, width, height, image.desc);
        if (control.DisposalMode == DISPOSE_PREVIOUS) canvas.swap(saved);
        control = noControl;
    }
    if (!held) return {"the GIF holds no image"};
    ReadResult result;
    result.animated = images > 1;
    sink(*held);
    return result;
}
