// SPDX-License-Identifier: Apache-2.0
#include "animated/canvas.h"

#include <algorithm>
#include <climits>
#include <cmath>

void flattenOver(const uint8_t* rgba, std::size_t pixels, bool bgra, int background,
                 uint8_t* bgr) {
    const unsigned behind = unsigned(background);
    for (std::size_t i = 0; i < pixels; ++i, rgba += 4, bgr += 3) {
        const unsigned alpha = rgba[3];
        const auto over = [&](uint8_t colour) {
            return uint8_t((colour * alpha + behind * (255 - alpha)) / 255);
        };
        bgr[0] = over(rgba[bgra ? 0 : 2]);
        bgr[1] = over(rgba[1]);
        bgr[2] = over(rgba[bgra ? 2 : 0]);
    }
}

Canvas flattenedCanvas(const uint8_t* rgba, int width, int height, bool bgra,
                       int background, int durationMs) {
    Canvas canvas{width, height, {}, durationMs};
    canvas.bgr.resize(std::size_t(width) * std::size_t(height) * 3);
    flattenOver(rgba, std::size_t(width) * std::size_t(height), bgra, background,
                canvas.bgr.data());
    return canvas;
}

int clampDuration(double milliseconds) {
    if (!(milliseconds > 0)) return 0;
    return int(std::min(double(INT_MAX), std::round(milliseconds)));
}
