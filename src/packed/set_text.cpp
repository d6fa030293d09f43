// SPDX-License-Identifier: Apache-2.0
#include "packed/set_text.h"

#include <cctype>

namespace {

// " * options " and the options, each with its value, wrapped before column 80; no
// line end.
std::string optionLines(const std::string& options) {
    std::string text = " * options";
    size_t lineStart = 0, start = 0;
    while (start < options.size()) {
        size_t end = options.find(" --", start + 1);
        if (end == std::string::npos) end = options.size();
        const std::string option = commentText(options.substr(start, end - start));
        if (text.size() - lineStart + 1 + option.size() > 78) {
            lineStart = text.size() + 1;
            text += "\n *  ";
        }
        text += " " + option;
        start = end + 1;
    }
    return text;
}

// The packing, for the comments: lines after " * ", the last ending with a line end.
std::string packingNote(const FrameSet& set) {
    return std::string(
               "Each frame is 102 x 80 pixels of 16 gray levels in 4080 bytes: 80 rows\n"
               " * from the top, 51 bytes a row from the left, two pixels a byte, the "
               "left\n * pixel's level (0 to 15) in the ") +
           (set.nibbles == NibbleOrder::LowFirst ? "low" : "high") + " nibble.\n";
}

// "NAME: N frames made by grayframe-embed", with one frame as "1 frame".
std::string madeBy(const FrameSet& set) {
    const size_t count = frameCount(set);
    return set.name + ": " + std::to_string(count) + (count == 1 ? " frame" : " frames") +
           " made by grayframe-embed";
}

void writeMacros(std::ostream& out, const FrameSet& set,
                 const std::vector<unsigned char>& code) {
    const std::string macro = upper(set.name);
    out << "#define " << macro << "_FRAME_WIDTH 102\n"
        << "#define " << macro << "_FRAME_HEIGHT 80\n"
        << "#define " << macro << "_ROW_BYTES 51\n"
        << "#define " << macro << "_FRAME_BYTES 4080\n"
        << "#define " << macro << "_FRAME_COUNT " << frameCount(set) << "\n";
    if (set.compressed)
        out << "#define " << macro << "_CODE_BYTES " << code.size() << "\n";
}

}  // namespace

std::string upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string commentText(const std::string& label) {
    std::string text;
    for (const char c : label) {
        const bool plain = c >= ' ' && c <= '~' && c != '\\' && c != '?';
        const bool closes = c == '/' && !text.empty() && text.back() == '*';
        text += plain && !closes ? c : '_';
    }
    return text;
}

std::string hexBytes(const unsigned char* bytes, std::size_t count,
                     const std::string& separator) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t k = 0; k < count; ++k) {
        text += k == 0 ? "0x" : separator + "0x";
        text += digits[bytes[k] >> 4];
        text += digits[bytes[k] & 0xF];
    }
    return text;
}

void writeSetHeader(std::ostream& out, const FrameSet& set,
                    const std::vector<unsigned char>& code, const HeaderParts& parts) {
    const std::string guard = "GRAYFRAME_SET_" + set.name;
    out << "/* " << madeBy(set) << "; " << set.name << ".c defines "
        << (frameCount(set) == 1 ? "it" : "them") << " and names the\n"
        << " * pictures, the mode and the options.\n * " << packingNote(set)
        << parts.decoding
        << (set.durations.empty() ? ""
                                  : " * " + parts.duration +
                                        ": how long frame f is shown, in milliseconds.\n")
        << " * Made from pictures: change them, not this file. */\n"
        << "#ifndef " << guard << "\n#define " << guard << "\n\n"
        << parts.includes;
    writeMacros(out, set, code);
    out << "\n#ifdef __cplusplus\nextern \"C\" {\n#endif\n\n"
        << parts.declarations << "#ifdef __cplusplus\n}\n#endif\n\n"
        << "#endif /* " << guard << " */\n";
}

void writeSourceStart(std::ostream& out, const FrameSet& set,
                      const std::string& includes) {
    out << "/* " << madeBy(set) << ", mode " << set.modeName
        << (set.displayOptions.empty() ? "" : ",\n" + optionLines(set.displayOptions))
        << ", from:\n";
    for (size_t i = 0; i < set.labels.size(); ++i)
        out << " *   [" << i << "] " << commentText(set.labels[i]) << "\n";
    out << " * " << packingNote(set)
        << " * Made from the pictures above: change them, not this file. */\n"
        << includes << "#include \"" << set.name << ".h\"\n\n";
}

std::string budgetLine(const FrameSet& set) {
    if (set.cycles == 0)
        return " * Coded in the fewest bytes: no limit on the cycles a frame takes to "
               "decode.\n";
    return " * Each frame decodes within " + std::to_string(set.cycles) +
           " CPU cycles on an ATmega328P's core.\n";
}

std::string decodingExample(const FrameSet& set, const std::string& open) {
    return " *     grayframe_decoder decoder;\n"
           " *     unsigned char row[" +
           upper(set.name) + "_ROW_BYTES];\n *     " + open +
           "\n"
           " *     grayframe_rows_begin(&decoder, frame);\n"
           " *     while (grayframe_rows_next(&decoder, row) == GRAYFRAME_MORE)\n"
           " *         send the row;\n"
           " * or whole (grayframe_decode_frame), or only the spans that changed since\n"
           " * the frame before (grayframe_spans_begin, grayframe_spans_next)";
}
