// SPDX-License-Identifier: Apache-2.0
#include "animated/canvas_gray.h"

namespace {

// 0.299, 0.587 and 0.114 in 15-bit fixed point, summing to 1 << 15.
constexpr uint32_t WEIGHT_0299 = 9798, WEIGHT_0587 = 19235, WEIGHT_0114 = 3735;

inline __attribute__((always_inline)) void grayLoop(const uint8_t* bgr,
                                                    std::size_t pixels, uint32_t wb,
                                                    uint32_t wr, uint8_t* gray) {
    for (std::size_t i = 0; i < pixels; ++i, bgr += 3)
        gray[i] = uint8_t(
            (wb * bgr[0] + WEIGHT_0587 * bgr[1] + wr * bgr[2] + (1u << 14)) >> 15);
}

// The loop is one the compiler vectorizes well for AVX2 and poorly for the x86-64
// baseline: a version for each, chosen on the first call.
#if defined(__x86_64__) && defined(__GNUC__)
#define GRAY_WITH_AVX2 1
__attribute__((target("avx2"))) void grayLoopAvx2(const uint8_t* bgr, std::size_t pixels,
                                                  uint32_t wb, uint32_t wr,
                                                  uint8_t* gray) {
    grayLoop(bgr, pixels, wb, wr, gray);
}
#endif

}  // namespace

void grayOfBgr(const uint8_t* bgr, std::size_t pixels, CanvasGray weights,
               uint8_t* gray) {
    const bool luma = weights == CanvasGray::Luma;
    const uint32_t wb = luma ? WEIGHT_0114 : WEIGHT_0299;
    const uint32_t wr = luma ? WEIGHT_0299 : WEIGHT_0114;
#ifdef GRAY_WITH_AVX2
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2) return grayLoopAvx2(bgr, pixels, wb, wr, gray);
#endif
    grayLoop(bgr, pixels, wb, wr, gray);
}
