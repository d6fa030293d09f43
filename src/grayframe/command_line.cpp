#include "grayframe/command_line.h"

#include <string_view>

namespace {

bool contains(std::string_view text, std::string_view literal) {
    return text.find(literal) != std::string_view::npos;
}

std::optional<ResizeMode> parseMode(std::string_view word) {
    if (contains(word, "fitin")) return FitIn;
    if (contains(word, "fitout")) return FitOut;
    if (contains(word, "stretch")) return Stretch;
    return std::nullopt;
}

}  // namespace

std::optional<RunOptions> parseCommandLine(int argc, const char* const* argv) {
    RunOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasNext = i + 1 < argc;
        if (contains(arg, "-show")) {
            options.show = true;
        } else if (contains(arg, "-i")) {
            if (!hasNext) return std::nullopt;
            options.inputs.emplace_back(argv[++i]);
        } else if (contains(arg, "-resizemode")) {
            if (!hasNext) return std::nullopt;
            const std::optional<ResizeMode> mode = parseMode(argv[++i]);
            if (!mode) return std::nullopt;
            options.mode = *mode;
        } else if (contains(arg, "-printdata")) {
            options.printData = true;
        } else {
            return std::nullopt;
        }
    }
    return options;
}
