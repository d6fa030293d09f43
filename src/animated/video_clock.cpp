// SPDX-License-Identifier: Apache-2.0
#include "animated/video_clock.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

__extension__ typedef __int128 Wide;

constexpr int64_t STAMP_LIMIT = int64_t(1) << 52;
constexpr int64_t SAMPLE_LIMIT = int64_t(1) << 40;

Fraction millionths(double value) {
    const int64_t num = std::llround(std::clamp(value, 0.0, 1e9) * 1e6);
    const int64_t common = std::gcd(num, int64_t(1000000));
    return {num / common, 1000000 / common};
}

int64_t narrowed(Wide value) {
    return int64_t(std::clamp<Wide>(value, INT64_MIN, INT64_MAX));
}

int64_t floorDiv(Wide num, Wide den) {
    Wide q = num / den;
    if (num % den != 0 && num < 0) --q;
    return narrowed(q);
}

int64_t ceilDiv(Wide num, Wide den) { return narrowed(-Wide(floorDiv(-num, den))); }

// num / den rounded half away from zero, as std::round does.
int64_t roundDiv(Wide num, Wide den) {
    return num < 0 ? -int64_t(floorDiv(-2 * num + den, 2 * den))
                   : floorDiv(2 * num + den, 2 * den);
}

int64_t withinStamps(int64_t stamp) {
    return std::clamp(stamp, -STAMP_LIMIT, STAMP_LIMIT);
}

}  // namespace

VideoClock videoClock(const ReadOptions& options, int unitNum, int unitDen) {
    VideoClock clock;
    if (unitNum > 0 && unitDen > 0) clock.unitNum = unitNum, clock.unitDen = unitDen;
    clock.start = millionths(options.start);
    clock.cut = options.duration >= 0;
    if (clock.cut) clock.duration = millionths(options.duration);
    if (options.fps > 0) clock.fps = millionths(options.fps);
    return clock;
}

int64_t sampleStamp(const VideoClock& clock, int64_t k) {
    // (start + k / fps) / unit, over the common denominator start.den * fps.num
    if (clock.fps.num == 0) return INT64_MAX;
    k = std::clamp<int64_t>(k, 0, SAMPLE_LIMIT);
    const Fraction &start = clock.start, &fps = clock.fps;
    return floorDiv(
        (Wide(start.num) * fps.num + Wide(k) * fps.den * start.den) * clock.unitDen,
        Wide(start.den) * fps.num * clock.unitNum);
}

int64_t firstSampleFrom(const VideoClock& clock, int64_t stamp) {
    if (clock.fps.num == 0) return 0;
    const double seconds = double(stamp) * double(clock.unitNum) / double(clock.unitDen);
    const double estimate =
        (seconds - double(clock.start.num) / double(clock.start.den)) *
        double(clock.fps.num) / double(clock.fps.den);
    int64_t k = int64_t(std::clamp(std::ceil(estimate), 0.0, double(SAMPLE_LIMIT)));
    while (k > 0 && sampleStamp(clock, k - 1) >= stamp) --k;
    while (k < SAMPLE_LIMIT && sampleStamp(clock, k) < stamp) ++k;
    return k;
}

int64_t sampleCount(const VideoClock& clock) {
    if (!clock.cut) return INT64_MAX;
    return ceilDiv(Wide(clock.duration.num) * clock.fps.num,
                   Wide(clock.duration.den) * clock.fps.den);
}

int64_t sampleMs(const VideoClock& clock, int64_t k) {
    if (clock.fps.num == 0) return 0;
    return roundDiv(Wide(std::clamp<int64_t>(k, 0, SAMPLE_LIMIT)) * 1000 * clock.fps.den,
                    clock.fps.num);
}

int64_t startStamp(const VideoClock& clock) {
    return floorDiv(Wide(clock.start.num) * clock.unitDen,
                    Wide(clock.start.den) * clock.unitNum);
}

int64_t endStamp(const VideoClock& clock) {
    if (!clock.cut) return INT64_MAX;
    const Fraction &start = clock.start, &duration = clock.duration;
    return ceilDiv(
        (Wide(start.num) * duration.den + Wide(duration.num) * start.den) * clock.unitDen,
        Wide(start.den) * duration.den * clock.unitNum);
}

int64_t stampMs(const VideoClock& clock, int64_t stamp) {
    if (stamp <= startStamp(clock)) return 0;
    if (stamp >= endStamp(clock))
        return roundDiv(Wide(clock.duration.num) * 1000, clock.duration.den);
    stamp = withinStamps(stamp);
    const Fraction& start = clock.start;
    return roundDiv(
        (Wide(stamp) * clock.unitNum * start.den - Wide(start.num) * clock.unitDen) *
            1000,
        Wide(clock.unitDen) * start.den);
}
