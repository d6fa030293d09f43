// SPDX-License-Identifier: Apache-2.0
#include "embed/animation_options.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <locale>
#include <sstream>

#include "batch/pipeline.h"

namespace {

enum Code { Background = 1900, StillMs, Fps, Start, Duration, MaxFrames, Preview, End };

// value as a number from low to high (a whole one when whole), or nothing.
std::optional<double> numberIn(const std::string& value, double low, double high,
                               bool whole) {
    std::istringstream text(value);
    text.imbue(std::locale::classic());
    double number = 0;
    if (value.empty() || value[0] == ' ' || !(text >> number) || !text.eof()) return {};
    if (!std::isfinite(number) || number < low || number > high) return {};
    if (whole && number != std::floor(number)) return {};
    return number;
}

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() > end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

std::vector<option> animationLongOptions() {
    return {{"background", required_argument, nullptr, Background},
            {"still-ms", required_argument, nullptr, StillMs},
            {"fps", required_argument, nullptr, Fps},
            {"start", required_argument, nullptr, Start},
            {"duration", required_argument, nullptr, Duration},
            {"max-frames", required_argument, nullptr, MaxFrames},
            {"preview", required_argument, nullptr, Preview}};
}

bool isAnimationOption(int code) { return code >= Background && code < End; }

std::string setAnimationOption(AnimationOptions& options, int code,
                               const std::string& value) {
    const auto bad = [&](const std::string& name, const std::string& what) {
        return "--" + name + " takes " + what + ", not '" + value + "'";
    };
    std::optional<double> number;
    switch (code) {
        case Background:
            if (!(number = numberIn(value, 0, 255, true)))
                return bad("background", "a gray level from 0 to 255");
            options.background = int(*number);
            return {};
        case StillMs:
            if (!(number = numberIn(value, 0, 65535, true)))
                return bad("still-ms", "milliseconds from 0 to 65535");
            options.stillMs = int(*number);
            return {};
        case Fps:
            if (!(number = numberIn(value, 0.001, 1000, false)) || *number <= 0)
                return bad("fps", "frames a second, above 0 and at most 1000");
            options.fps = *number;
            return {};
        case Start:
            if (!(number = numberIn(value, 0, 1e9, false)))
                return bad("start", "seconds, 0 or more");
            options.start = *number;
            return {};
        case Duration:
            if (!(number = numberIn(value, 0, 1e9, false)) || *number <= 0)
                return bad("duration", "seconds, more than 0");
            options.duration = *number;
            return {};
        case MaxFrames:
            if (!(number = numberIn(value, 1, 1e9, true)))
                return bad("max-frames", "a whole number from 1");
            options.maxFrames = long(*number);
            return {};
        default:
            if (!endsWith(value, ".png") && !endsWith(value, ".gif"))
                return "--preview takes a file name ending in .png or .gif, not '" +
                       value + "'";
            options.preview = value;
            return {};
    }
}

std::string animationUsage() {
    return "\n"
           "GIF, animated WebP, APNG and video files (MP4, WebM, MKV, AVI, ...) give all\n"
           "their frames; NAME_durations_ms then says how long each is shown:\n"
           "      --background GRAY      the gray level (0-255) behind transparent pixels\n"
           "                             (default: 0, black)\n"
           "      --still-ms N           a still picture's frame lasts N ms (default: 0);\n"
           "                             also makes NAME_durations_ms for stills alone\n"
           "      --fps N                sample videos at N frames a second (default:\n"
           "                             every frame)\n"
           "      --start SECONDS        skip the first SECONDS of videos\n"
           "      --duration SECONDS     take only SECONDS of videos\n"
           "      --max-frames N         refuse a set of more than N frames (default:\n"
           "                             " +
           std::to_string(DEFAULT_MAX_FRAMES) +
           ")\n"
           "      --preview FILE         also write FILE.png, a contact sheet of the\n"
           "                             frames, or FILE.gif, an animation of them\n";
}

int animationParts() {
    const char* text = std::getenv("GRAYFRAME_ANIMATION_PARTS");
    const std::optional<double> parts =
        text ? numberIn(text, 1, 256, true) : std::optional<double>();
    return parts ? int(*parts) : int(std::min(256u, usableProcessors()));
}

int animationTimeoutSeconds() {
    const char* text = std::getenv("GRAYFRAME_ANIMATION_TIMEOUT");
    const std::optional<double> seconds =
        text ? numberIn(text, 1, 86400, true) : std::optional<double>();
    return seconds ? int(*seconds) : 30;
}
