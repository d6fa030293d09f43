// SPDX-License-Identifier: Apache-2.0
#include "packed/array_frame_set.h"

#include <algorithm>

#include "packed/frame_code.h"
#include "packed/set_text.h"

namespace {

// What follows an array's declarator in NAME.c: the attribute, if any, and the
// initializer's opening brace.
std::string initializer(const FrameSet& set) {
    return (set.attribute.empty() ? "" : " ") + set.attribute + " = {\n";
}

// How to decode a compressed set, for NAME.h's comment.
std::string decoding(const FrameSet& set) {
    if (!set.compressed) return {};
    const std::string macro = upper(set.name);
    const std::string open =
        "grayframe_open(&decoder, " + set.name + "_code, " + macro + "_CODE_BYTES);";
    return " * Compressed: " + set.name + "_code holds the frames in the code of\n" +
           " * grayframe_decode.h (version " + std::to_string(int(FRAME_CODE_VERSION)) +
           "), " + macro + "_CODE_BYTES bytes.\n" +
           " * Compile grayframe_decode.c with it and take a frame, for instance row "
           "by\n * row:\n" +
           decodingExample(set, open) +
           ". On AVR\n * the decoder reads the set from program memory (PROGMEM).\n" +
           budgetLine(set);
}

std::string declarations(const FrameSet& set) {
    const std::string macro = upper(set.name);
    std::string text =
        "extern const unsigned char " + set.name +
        (set.compressed ? "_code[" + macro + "_CODE_BYTES];\n"
                        : "[" + macro + "_FRAME_COUNT][" + macro + "_FRAME_BYTES];\n");
    if (!set.durations.empty())
        text += "extern const unsigned short " + set.name + "_durations_ms[" + macro +
                "_FRAME_COUNT];\n";
    return text + "\n";
}

void writeDurations(std::ostream& out, const FrameSet& set) {
    if (set.durations.empty()) return;
    out << "\nconst unsigned short " << set.name << "_durations_ms[" << upper(set.name)
        << "_FRAME_COUNT]" << initializer(set);
    for (size_t i = 0; i < set.durations.size(); i += 10) {
        out << "   ";
        for (size_t k = i; k < std::min(i + 10, set.durations.size()); ++k)
            out << " " << set.durations[k] << (k + 1 < set.durations.size() ? "," : "");
        out << "\n";
    }
    out << "};\n";
}

}  // namespace

void writeArrayFrameSetHeader(std::ostream& out, const FrameSet& set,
                              const std::vector<unsigned char>& code) {
    writeSetHeader(
        out, set, code,
        {decoding(set), set.name + "_durations_ms[f]",
         set.compressed ? "#include \"grayframe_decode.h\"\n\n" : "", declarations(set)});
}

void writeArrayFrameSetSource(std::ostream& out, const FrameSet& set,
                              const FrameRowsWriter& rows,
                              const std::vector<unsigned char>& code) {
    const std::string macro = upper(set.name);
    writeSourceStart(out, set, "");
    if (set.compressed) {
        out << "const unsigned char " << set.name << "_code[" << macro << "_CODE_BYTES]"
            << initializer(set);
        for (size_t i = 0; i < code.size(); i += 16)
            out << "    "
                << hexBytes(&code[i], std::min<size_t>(16, code.size() - i), ", ")
                << (i + 16 < code.size() ? ",\n" : "\n");
    } else {
        out << "const unsigned char " << set.name << "[" << macro << "_FRAME_COUNT]["
            << macro << "_FRAME_BYTES]" << initializer(set);
        for (size_t i = 0; i < frameCount(set); ++i) {
            out << "    /* [" << i << "] " << commentText(set.labels[i])
                << " */\n    {\n";
            rows(out, i);
            out << (i + 1 < frameCount(set) ? "    },\n" : "    }\n");
        }
    }
    out << "};\n";
    writeDurations(out, set);
}
