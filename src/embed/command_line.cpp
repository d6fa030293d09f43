#include "embed/command_line.h"

#include <getopt.h>

namespace {

std::optional<ResizeMode> modeNamed(const std::string& name) {
    if (name == "fitin") return FitIn;
    if (name == "fitout") return FitOut;
    if (name == "stretch") return Stretch;
    return std::nullopt;
}

// 0, or a number of cycles from FRAME_CODE_CYCLES up, in decimal digits only.
std::optional<long> cyclesNamed(const std::string& text) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const long cycles = std::stol(text);
    if (cycles != 0 && cycles < FRAME_CODE_CYCLES) return std::nullopt;
    return cycles;
}

EmbedCommand refused(const std::string& problem) {
    EmbedCommand command;
    command.problem = problem;
    return command;
}

}  // namespace

EmbedCommand parseEmbedCommandLine(int argc, char** argv) {
    std::vector<option> longOptions = {{"name", required_argument, nullptr, 'n'},
                                       {"mode", required_argument, nullptr, 'm'},
                                       {"output-dir", required_argument, nullptr, 'o'},
                                       {"attribute", required_argument, nullptr, 'a'},
                                       {"compress", no_argument, nullptr, 'c'},
                                       {"cycles", required_argument, nullptr, 'C'},
                                       {"files-from", required_argument, nullptr, 'F'},
                                       {"target", required_argument, nullptr, 't'},
                                       {"help", no_argument, nullptr, 'h'},
                                       {"version", no_argument, nullptr, 'V'}};
    for (const option& entry : displayLongOptions()) longOptions.push_back(entry);
    for (const option& more : animationLongOptions()) longOptions.push_back(more);
    longOptions.push_back({nullptr, 0, nullptr, 0});
    EmbedCommand command;
    EmbedOptions& options = command.options;
    bool named = false, cyclesGiven = false;
    optind = 0;  // start afresh: the parser keeps state between calls
    opterr = 0;
    int c;
    while ((c = getopt_long(argc, argv, ":n:m:o:a:ct:hV", longOptions.data(), nullptr)) !=
           -1) {
        const std::string value = optarg ? optarg : "";
        const std::string given =
            c == '?' && optopt != 0 ? std::string("-") + char(optopt) : argv[optind - 1];
        switch (c) {
            case 'n':
                options.name = value;
                named = true;
                break;
            case 'm':
                if (!modeNamed(value)) return refused("unknown mode '" + value + "'");
                options.mode = *modeNamed(value);
                options.modeName = value;
                break;
            case 'o':
                options.outputDir = value;
                break;
            case 'a':
                if (value.find_first_of("\r\n") != std::string::npos)
                    return refused("the attribute must be one line");
                options.attribute = value;
                break;
            case 'c':
                options.compress = true;
                break;
            case 'C': {  // --cycles, which has no short form
                const std::optional<long> cycles = cyclesNamed(value);
                if (!cycles)
                    return refused(
                        "--cycles takes 0 (no limit) or a whole number of cycles from " +
                        std::to_string(FRAME_CODE_CYCLES) + ", not '" + value + "'");
                options.cycles = *cycles;
                cyclesGiven = true;
                break;
            }
            case 'F':  // --files-from, which has no short form
                options.imageList = value;
                break;
            case 't':
                if (value != "avr") return refused("unknown target '" + value + "'");
                options.target = FrameSetTarget::Avr;
                break;
            case 'h':
                command.action = EmbedCommand::Help;
                return command;
            case 'V':
                command.action = EmbedCommand::Version;
                return command;
            case ':':
                return refused("option '" + given + "' needs a value");
            default: {
                if (isAnimationOption(c)) {
                    const std::string problem =
                        setAnimationOption(options.animation, c, value);
                    if (!problem.empty()) return refused(problem);
                    break;
                }
                if (c < DISPLAY_OPTION_CODES)
                    return refused("unknown option '" + given + "'");
                const std::string problem = takeDisplayOption(c, value, options.display);
                if (!problem.empty()) return refused(problem);
            }
        }
    }
    options.images.assign(argv + optind, argv + argc);
    if (!named) return refused("no --name given");
    if (options.images.empty() && options.imageList.empty())
        return refused("no image given");
    if (options.target == FrameSetTarget::Avr && !options.attribute.empty())
        return refused("--attribute cannot be used with --target avr");
    if (cyclesGiven && !options.compress) return refused("--cycles needs --compress");
    if (!cyclesGiven && options.target == FrameSetTarget::Avr)
        options.cycles = FRAME_CODE_CYCLES;
    command.action = EmbedCommand::Run;
    return command;
}

std::string embedUsage() {
    return "Usage: grayframe-embed --name NAME [--mode fitin|fitout|stretch]\n"
           "                       [--output-dir DIR] [--attribute TEXT | --target avr]\n"
           "                       [--compress [--cycles N]] [--files-from LIST] "
           "IMAGE...\n"
           "Makes one 102 x 80 frame of 4-bit gray levels from each IMAGE (one per page\n"
           "of a multi-page TIFF), exactly as grayframe does, and writes them as the C\n"
           "array NAME into DIR/NAME.h (declaration and NAME_UPPER_FRAME_* macros) and\n"
           "DIR/NAME.c (definition).\n"
           "\n"
           "  -n, --name NAME        the array's name, a C identifier; also names the "
           "files\n"
           "  -m, --mode MODE        fitin (default): whole picture, black bars; "
           "fitout:\n"
           "                         frame filled, centre cropped; stretch: distorted\n"
           "  -o, --output-dir DIR   an existing folder for the two files (default: .)\n"
           "  -a, --attribute TEXT   placed after the array's declarator in NAME.c, for\n"
           "                         example PROGMEM or "
           "__attribute__((section(\".x\")))\n"
           "  -c, --compress         the frames compressed, as NAME_code, for the "
           "decoder\n"
           "                         grayframe_decode.c\n"
           "      --cycles N         compressed: each frame decodes within N CPU cycles\n"
           "                         on an ATmega328P's core (at least 32000, 2 ms at\n"
           "                         16 MHz), or 0: no limit, fewest bytes (default;\n"
           "                         32000 with --target avr)\n"
           "      --files-from LIST  also the images named in the file LIST (- for\n"
           "                         standard input), one a line, after any IMAGE\n"
           "  -t, --target avr       for avr-gcc: the frames in program memory (past\n"
           "                         64 KiB too), read through NAME_byte() and\n"
           "                         NAME_row(), or compressed, opened by NAME_open()\n"
           "  -h, --help             this text\n"
           "  -V, --version          the version\n"
           "\n"
           "Any failure (a bad option or name, an image that cannot be read, a file "
           "that\n"
           "cannot be written) prints one line and exits with status 1, and both files\n"
           "stay as they were. Files whose content would not change are not touched.\n"
           "\n" +
           displayOptionsUsage() + animationUsage();
}
