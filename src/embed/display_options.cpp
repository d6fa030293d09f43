// SPDX-License-Identifier: Apache-2.0
#include "embed/display_options.h"

#include <cmath>
#include <cstdlib>

namespace {

enum Code {
    Gray = DISPLAY_OPTION_CODES,
    Levels,
    Gamma,
    Dither,
    Invert,
    Rotate,
    Mirrored,
    Nibbles
};

// A plain decimal number, or a fraction of two ("1/2.2"); NaN when text is neither.
double parseRatio(const std::string& text) {
    const auto number = [](const std::string& digits) {
        char* end = nullptr;
        const bool plain = !digits.empty() &&
                           digits.find_first_not_of("0123456789.") == std::string::npos;
        const double value = plain ? std::strtod(digits.c_str(), &end) : NAN;
        return plain && *end == '\0' ? value : NAN;
    };
    const size_t slash = text.find('/');
    if (slash == std::string::npos) return number(text);
    return number(text.substr(0, slash)) / number(text.substr(slash + 1));
}

std::string unknown(const std::string& option, const std::string& value,
                    const std::string& known) {
    return "--" + option + " takes " + known + ", not '" + value + "'";
}

}  // namespace

std::vector<option> displayLongOptions() {
    return {{"gray", required_argument, nullptr, Gray},
            {"levels", required_argument, nullptr, Levels},
            {"gamma", required_argument, nullptr, Gamma},
            {"dither", required_argument, nullptr, Dither},
            {"invert", no_argument, nullptr, Invert},
            {"rotate", required_argument, nullptr, Rotate},
            {"mirror", required_argument, nullptr, Mirrored},
            {"nibbles", required_argument, nullptr, Nibbles}};
}

std::string takeDisplayOption(int c, const std::string& value, EmbedDisplay& display) {
    DisplayOptions& steps = display.steps;
    switch (c) {
        case Gray:
            if (value != "luma") return unknown("gray", value, "luma");
            steps.gray = GrayWeights::Luma;
            return {};
        case Levels:
            if (value != "round") return unknown("levels", value, "round");
            if (steps.quantizer == Quantizer::UpperBits)
                steps.quantizer = Quantizer::Round;
            return {};
        case Gamma: {
            const double gamma = parseRatio(value);
            if (!(gamma >= 0.1 && gamma <= 10))
                return unknown("gamma", value,
                               "a number from 0.1 to 10 such as 2.2 or 1/2.2");
            steps.gamma = gamma;
            display.gammaText = gamma == 1 ? "" : value;
            return {};
        }
        case Dither:
            if (value != "ordered" && value != "diffusion")
                return unknown("dither", value, "ordered or diffusion");
            steps.quantizer =
                value == "ordered" ? Quantizer::Ordered : Quantizer::Diffusion;
            return {};
        case Invert:
            steps.invert = true;
            return {};
        case Rotate:
            if (value != "180") return unknown("rotate", value, "180");
            steps.rotate180 = true;
            return {};
        case Mirrored:
            if (value != "horizontal" && value != "vertical")
                return unknown("mirror", value, "horizontal or vertical");
            steps.mirror = value == "horizontal" ? Mirror::Horizontal : Mirror::Vertical;
            return {};
        case Nibbles:
            if (value != "low-first") return unknown("nibbles", value, "low-first");
            display.nibbles = NibbleOrder::LowFirst;
            return {};
        default:
            return "unknown option";
    }
}

std::string describeDisplay(const EmbedDisplay& display) {
    const DisplayOptions& steps = display.steps;
    std::string text;
    const auto add = [&text](const std::string& words) {
        text += (text.empty() ? "" : " ") + words;
    };
    if (steps.gray == GrayWeights::Luma) add("--gray luma");
    if (steps.quantizer == Quantizer::Round) add("--levels round");
    if (!display.gammaText.empty()) add("--gamma " + display.gammaText);
    if (steps.quantizer == Quantizer::Ordered) add("--dither ordered");
    if (steps.quantizer == Quantizer::Diffusion) add("--dither diffusion");
    if (steps.invert) add("--invert");
    if (steps.rotate180) add("--rotate 180");
    if (steps.mirror == Mirror::Horizontal) add("--mirror horizontal");
    if (steps.mirror == Mirror::Vertical) add("--mirror vertical");
    if (display.nibbles == NibbleOrder::LowFirst) add("--nibbles low-first");
    return text;
}

std::string displayOptionsUsage() {
    return "Display options, in the order they act; all off by default, and with any of\n"
           "them the frames are no longer grayframe's:\n"
           "      --gray luma            gray from red 0.299, green 0.587, blue 0.114\n"
           "                             (grayframe's own weighs blue 0.299, red 0.114)\n"
           "      --gamma G              the panel's response relative to the "
           "pictures',\n"
           "                             such as 2.2 or 1/2.2: a sample v is sent as\n"
           "                             255 * (v / 255)^(1 / G)\n"
           "      --levels round         level = round(v * 15 / 255), not v >> 4\n"
           "      --dither ordered       rounding with a 4 x 4 Bayer matrix, the same "
           "at\n"
           "                             each position in every frame (animations)\n"
           "      --dither diffusion     rounding with serpentine Floyd-Steinberg "
           "(stills)\n"
           "      --invert               level 15 - level, for panels that light level "
           "0\n"
           "      --rotate 180           the frame turned, then\n"
           "      --mirror horizontal|vertical  left and right, or top and bottom, "
           "swapped\n"
           "      --nibbles low-first    the left pixel in each byte's low nibble\n";
}
