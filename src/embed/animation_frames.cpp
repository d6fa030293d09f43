// SPDX-License-Identifier: Apache-2.0
#include "embed/animation_frames.h"

#include <algorithm>
#include <numeric>
#include <utility>

#include "animated/animation_helper.h"
#include "batch/frame_stream.h"
#include "batch/pipeline.h"
#include "frame/display_steps.h"

namespace {

// What the canvases waiting for a worker may hold: a few dozen small canvases, a few
// large ones, or one huge one.
constexpr std::size_t WAITING_BYTES = std::size_t(32) << 20;

// items in the order order gives (items[order[0]] first).
template <typename T>
void reorder(std::vector<T>& items, const std::vector<std::size_t>& order) {
    std::vector<T> placed;
    placed.reserve(order.size());
    for (const std::size_t i : order) placed.push_back(std::move(items[i]));
    items = std::move(placed);
}

// Puts frames (when given) and durations, which came in the order parts says, each
// part's after those of every part numbered below it, and records in slots the slot
// each of them came in (from first) unless every one came in its place (the slots of
// the frames before first are then filled in as their places).
void placeParts(const std::vector<int>& parts, std::size_t first,
                std::vector<PackedFrame>* frames, std::vector<unsigned short>& durations,
                std::vector<std::size_t>& slots) {
    if (std::is_sorted(parts.begin(), parts.end())) return;
    std::vector<std::size_t> order(parts.size());
    std::iota(order.begin(), order.end(), std::size_t(0));
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return parts[a] < parts[b]; });
    reorder(durations, order);
    if (frames) reorder(*frames, order);
    for (std::size_t i = slots.size(); i < first; ++i) slots.push_back(i);
    for (const std::size_t slot : order) slots.push_back(first + slot);
}

// The problem of a set that would hold more than maxFrames frames, path's among them.
std::string overCap(const std::string& path, long maxFrames) {
    return "cannot read image '" + path + "': " + frameCapText(maxFrames);
}

std::string baseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string addAnimation(FrameSet& set, bool& timed, const std::string& path,
                         const EmbedOptions& options, std::vector<std::size_t>& slots,
                         const FrameReduced& made, bool keep) {
    const AnimationOptions& animation = options.animation;
    AnimationRequest request{animation.background,
                             animation.fps,
                             animation.start,
                             animation.duration,
                             animation.maxFrames - long(frameCount(set)),
                             options.display.steps.gray == GrayWeights::Luma
                                 ? CanvasGray::Luma
                                 : CanvasGray::Converter,
                             animationTimeoutSeconds(),
                             animationParts()};
    std::vector<unsigned short> durations;
    std::vector<int> parts;  // of each canvas, in the order they came
    AnimationRead read;
    const std::size_t first = frameCount(set);
    const unsigned cores = usableProcessors();
    std::vector<PackedFrame> frames = reduceCanvases(
        [&](const CanvasPush& push) {
            read = readAnimation(
                path, request, [&](cv::Mat canvas, int durationMs, int part) {
                    durations.push_back(static_cast<unsigned short>(durationMs));
                    parts.push_back(part);
                    push(std::move(canvas));
                });
        },
        [&](const cv::Mat& canvas) {
            return packFrame(
                makeDisplayFrame(canvas, options.mode, options.display.steps),
                set.nibbles);
        },
        cores, WAITING_BYTES,
        made ? [&](std::size_t index,
                   const PackedFrame& frame) { made(first + index, frame); }
             : FrameReduced(),
        keep);
    if (read.kind == AnimationProblem::FrameCap)
        return overCap(path, animation.maxFrames);
    if (!read.problem.empty()) return "cannot read image '" + path + "': " + read.problem;
    placeParts(parts, first, keep ? &frames : nullptr, durations, slots);
    const std::string name = baseName(path);
    const size_t count = keep ? frames.size() : durations.size();  // one per canvas
    if (keep && set.frames.empty())
        set.frames = std::move(frames);  // no second copy of a long clip's frames
    else if (keep)
        set.frames.insert(set.frames.end(), frames.begin(), frames.end());
    for (size_t i = 0; i < count; ++i)
        set.labels.push_back(read.animated ? name + ", frame " + std::to_string(i + 1) +
                                                 " of " + std::to_string(count)
                                           : name);
    if (read.animated) {
        timed = true;
        set.durations.insert(set.durations.end(), durations.begin(), durations.end());
    } else {
        addStillDurations(set, options);
    }
    return frameCapProblem(set, path, options);
}

void addStillDurations(FrameSet& set, const EmbedOptions& options) {
    set.durations.resize(frameCount(set), static_cast<unsigned short>(
                                              options.animation.stillMs.value_or(0)));
}

std::string frameCapProblem(const FrameSet& set, const std::string& path,
                            const EmbedOptions& options) {
    if (long(frameCount(set)) <= options.animation.maxFrames) return {};
    return overCap(path, options.animation.maxFrames);
}
