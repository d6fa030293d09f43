// SPDX-License-Identifier: Apache-2.0
#include <gif_lib.h>

#include <algorithm>
#include <memory>
#include <optional>

#include "animated/animation_stream.h"
#include "animated/readers.h"

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

// The canvas as the frames build it up: RGBA, and whether its alpha counts. Alpha
// counts from the first image on when that has a transparent colour, and from the first
// disposal to the background on; until then what no image covers shows the GIF's
// background colour, as the format describes.
struct Board {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;
    bool alphaCounts = false;
};

int transparentIndex(const GraphicsControlBlock& control, const ColorMapObject* palette) {
    return control.TransparentColor >= 0 && control.TransparentColor < palette->ColorCount
               ? control.TransparentColor
               : NO_TRANSPARENT_COLOR;
}

// Decodes the image that follows its descriptor straight onto the board. Pixels of the
// transparent index leave the board as it was, except on the first image, where they
// take their colour with alpha 0. False when the data is cut or damaged.
bool drawImage(GifFileType* gif, const Image& image, int transparent, bool first,
               Board& board) {
    const GifImageDesc& desc = image.desc;
    std::vector<GifPixelType> line(size_t(std::max(desc.Width, 1)));
    for (const int row : rowOrder(desc.Height, desc.Interlace)) {
        if (DGifGetLine(gif, line.data(), desc.Width) == GIF_ERROR) return false;
        const int y = desc.Top + row;
        if (y >= board.height) continue;
        for (int x = 0; x < desc.Width && desc.Left + x < board.width; ++x) {
            const int index = line[size_t(x)];
            if (index == transparent && !first) continue;
            uint8_t* pixel =
                &board
                     .rgba[(size_t(y) * size_t(board.width) + size_t(desc.Left + x)) * 4];
            const GifColorType colour = index < image.palette->ColorCount
                                            ? image.palette->Colors[index]
                                            : GifColorType{0, 0, 0};
            pixel[0] = colour.Red;
            pixel[1] = colour.Green;
            pixel[2] = colour.Blue;
            pixel[3] = index == transparent ? 0 : 255;
        }
    }
    return true;
}

// The board as the first image finds it: the background colour, alpha 0.
Board emptyBoard(const GifFileType* gif, const Image& first, int transparent) {
    Board board{gif->SWidth, gif->SHeight, {}, transparent != NO_TRANSPARENT_COLOR};
    const ColorMapObject* palette = first.palette;
    const GifColorType colour =
        palette->Colors[std::min(gif->SBackGroundColor, palette->ColorCount - 1)];
    board.rgba.resize(size_t(board.width) * size_t(board.height) * 4);
    for (size_t i = 0; i < board.rgba.size(); i += 4) {
        board.rgba[i] = colour.Red;
        board.rgba[i + 1] = colour.Green;
        board.rgba[i + 2] = colour.Blue;
        board.rgba[i + 3] = 0;
    }
    return board;
}

// Disposal to the background: the image's rectangle becomes transparent, and from now
// on alpha counts (where it did not, everything else becomes opaque as it showed).
void clearRect(Board& board, const GifImageDesc& desc) {
    if (!board.alphaCounts)
        for (size_t i = 3; i < board.rgba.size(); i += 4) board.rgba[i] = 255;
    board.alphaCounts = true;
    for (int y = std::max(desc.Top, 0);
         y < std::min(desc.Top + desc.Height, board.height); ++y)
        for (int x = std::max(desc.Left, 0);
             x < std::min(desc.Left + desc.Width, board.width); ++x)
            board.rgba[(size_t(y) * size_t(board.width) + size_t(x)) * 4 + 3] = 0;
}

Canvas boardCanvas(const Board& board, int background, int durationMs) {
    if (board.alphaCounts)
        return flattenedCanvas(board.rgba.data(), board.width, board.height, false,
                               background, durationMs);
    Canvas canvas{board.width, board.height, {}, durationMs};
    canvas.bgr.resize(size_t(board.width) * size_t(board.height) * 3);
    for (size_t i = 0, o = 0; i < board.rgba.size(); i += 4, o += 3) {
        canvas.bgr[o] = board.rgba[i + 2];
        canvas.bgr[o + 1] = board.rgba[i + 1];
        canvas.bgr[o + 2] = board.rgba[i];
    }
    return canvas;
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
    Board board, saved;
    const GraphicsControlBlock noControl{DISPOSAL_UNSPECIFIED, false, 0,
                                         NO_TRANSPARENT_COLOR};
    GraphicsControlBlock control = noControl;
    std::optional<Canvas>
        held;  // the latest canvas, sent once it is known not to be the only one
    int images = 0;
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR)
            return {"damaged or cut GIF (" + gifError(gif->Error) + ")"};
        if (type == TERMINATE_RECORD_TYPE) break;
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR)
                return {"damaged or cut GIF (" + gifError(gif->Error) + ")"};
            if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4)
                DGifExtensionToGCB(block[0], block + 1, &control);
            while (block)
                if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR)
                    return {"damaged or cut GIF (" + gifError(gif->Error) + ")"};
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE)
            return {"damaged or cut GIF (unknown record)"};
        if (DGifGetImageDesc(gif.get()) == GIF_ERROR)
            return {"damaged or cut GIF (" + gifError(gif->Error) + ")"};
        const Image image{gif->Image,
                          gif->Image.ColorMap ? gif->Image.ColorMap : gif->SColorMap};
        if (!image.palette) return {"damaged or cut GIF (an image without colours)"};
        const int transparent = transparentIndex(control, image.palette);
        if (images == 0) board = emptyBoard(gif.get(), image, transparent);
        if (control.DisposalMode == DISPOSE_PREVIOUS) saved = board;
        if (!drawImage(gif.get(), image, transparent, images == 0, board))
            return {"damaged or cut GIF (" + gifError(gif->Error) + ")"};
        if (held && !sink(*held)) return {};
        held = boardCanvas(board, options.background, delayMs(control));
        ++images;
        if (control.DisposalMode == DISPOSE_BACKGROUND) clearRect(board, image.desc);
        if (control.DisposalMode == DISPOSE_PREVIOUS) std::swap(board, saved);
        control = noControl;
    }
    if (!held) return {"the GIF holds no image"};
    ReadResult result;
    result.animated = images > 1;
    if (!result.animated) held->durationMs = 0;  // a still's delay is not its duration
    sink(*held);
    return result;
}
