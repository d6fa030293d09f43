#include "packed/frame_set.h"

#include <algorithm>
#include <cctype>

#include "packed/avr_frame_set.h"
#include "packed/frame_code.h"

namespace {

// The keywords of C (to C23) and C++ (to C++20), each between blanks.
const std::string keywords =
    " alignas alignof and and_eq asm auto bitand bitor bool break case catch "
    "char char8_t char16_t char32_t class compl concept const consteval "
    "constexpr constinit const_cast continue co_await co_return co_yield "
    "decltype default delete do double dynamic_cast else enum explicit export "
    "extern false float for friend goto if inline int long mutable namespace new "
    "noexcept not not_eq nullptr operator or or_eq private protected public "
    "register reinterpret_cast requires restrict return short signed sizeof "
    "static static_assert static_cast struct switch template this thread_local "
    "throw true try typedef typeid typename typeof typeof_unqual union unsigned "
    "using virtual void volatile wchar_t while xor xor_eq _Alignas _Alignof "
    "_Atomic _BitInt _Bool _Complex _Decimal32 _Decimal64 _Decimal128 _Generic "
    "_Imaginary _Noreturn _Static_assert _Thread_local ";

bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

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

// How to decode a compressed set, for its comment.
void writeDecodingComment(std::ostream& out, const FrameSet& set) {
    const std::string macro = upper(set.name);
    out << " * Compressed: " << set.name << "_code holds the frames in the code of\n"
        << " * grayframe_decode.h (version " << int(FRAME_CODE_VERSION) << "), " << macro
        << "_CODE_BYTES bytes.\n"
           " * Compile grayframe_decode.c with it and take a frame, for instance row by\n"
           " * row:\n"
           " *     grayframe_decoder decoder;\n"
           " *     unsigned char row["
        << macro << "_ROW_BYTES];\n"
        << " *     grayframe_open(&decoder, " << set.name << "_code, " << macro
        << "_CODE_BYTES);\n"
           " *     grayframe_rows_begin(&decoder, frame);\n"
           " *     while (grayframe_rows_next(&decoder, row) == GRAYFRAME_MORE)\n"
           " *         send the row;\n"
           " * or whole (grayframe_decode_frame), or only the spans that changed since\n"
           " * the frame before (grayframe_spans_begin, grayframe_spans_next). On AVR\n"
           " * the decoder reads the set from program memory (PROGMEM).\n";
}

}  // namespace

namespace {

// The packing, for the comments: lines after " * ", the last ending with a line end.
std::string packingNote(const FrameSet& set) {
    return std::string(
               "Each frame is 102 x 80 pixels of 16 gray levels in 4080 bytes: 80 rows\n"
               " * from the top, 51 bytes a row from the left, two pixels a byte, the "
               "left\n * pixel's level (0 to 15) in the ") +
           (set.nibbles == NibbleOrder::LowFirst ? "low" : "high") + " nibble.\n";
}

}  // namespace

void writeFrameSetComment(std::ostream& out, const FrameSet& set) {
    const size_t count = frameCount(set);
    out << "/* " << set.name << ": " << count << (count == 1 ? " frame" : " frames")
        << " made by grayframe-embed, mode " << set.modeName
        << (set.displayOptions.empty() ? "" : ",\n" + optionLines(set.displayOptions))
        << ", from:\n";
    for (size_t i = 0; i < set.labels.size(); ++i)
        out << " *   [" << i << "] " << commentText(set.labels[i]) << "\n";
    out << " * " << packingNote(set)
        << " * Made from the pictures above: change them, not this file. */\n";
}

void writeFrameSetHeaderComment(std::ostream& out, const FrameSet& set) {
    const size_t count = frameCount(set);
    out << "/* " << set.name << ": " << count << (count == 1 ? " frame" : " frames")
        << " made by grayframe-embed; " << set.name << ".c defines "
        << (count == 1 ? "it" : "them") << " and names the\n"
        << " * pictures, the mode and the options.\n * " << packingNote(set);
    if (set.compressed && set.target == FrameSetTarget::Avr)
        writeAvrDecodingComment(out, set);
    else if (set.compressed)
        writeDecodingComment(out, set);
    if (!set.durations.empty() && set.target == FrameSetTarget::Avr)
        out << " * " << set.name << "_duration_ms(f): how long frame f is shown, in "
            << "milliseconds.\n";
    else if (!set.durations.empty())
        out << " * " << set.name << "_durations_ms[f]: how long frame f is shown, in "
            << "milliseconds.\n";
    out << " * Made from pictures: change them, not this file. */\n";
}

std::string frameSetGuard(const FrameSet& set) { return "GRAYFRAME_SET_" + set.name; }

namespace {

void writeByteLines(std::ostream& out, const std::vector<unsigned char>& bytes) {
    static const char digits[] = "0123456789abcdef";
    for (size_t i = 0; i < bytes.size(); i += 16) {
        std::string line = "    ";
        for (size_t k = i; k < std::min(bytes.size(), i + 16); ++k) {
            line += k == i ? "0x" : ", 0x";
            line += digits[bytes[k] >> 4];
            line += digits[bytes[k] & 0xF];
        }
        out << line << (i + 16 < bytes.size() ? ",\n" : "\n");
    }
}

// Row row of frame into text; returns where the row ends.
char* formatRow(const PackedFrame& frame, int row, char* text) {
    static const char digits[] = "0123456789abcdef";
    char* at = std::fill_n(text, 8, ' ');
    for (int k = 0; k < PACKED_ROW_BYTES; ++k) {
        const unsigned char byte = frame[row * PACKED_ROW_BYTES + k];
        if (k > 0) at = std::copy_n(", ", 2, at);
        at = std::copy_n("0x", 2, at);
        *at++ = digits[byte >> 4];
        *at++ = digits[byte & 0xF];
    }
    if (row + 1 < PACKED_FRAME_BYTES / PACKED_ROW_BYTES) *at++ = ',';
    *at++ = '\n';
    return at;
}

}  // namespace

void writeDurationsDeclaration(std::ostream& out, const FrameSet& set) {
    if (!set.durations.empty())
        out << "extern const unsigned short " << set.name << "_durations_ms["
            << upper(set.name) << "_FRAME_COUNT];\n";
}

void writeDurationsDefinition(std::ostream& out, const FrameSet& set,
                              const std::string& attribute) {
    if (set.durations.empty()) return;
    out << "\nconst unsigned short " << set.name << "_durations_ms[" << upper(set.name)
        << "_FRAME_COUNT]" << (attribute.empty() ? "" : " ") << attribute << " = {\n";
    for (size_t i = 0; i < set.durations.size(); i += 10) {
        out << "   ";
        for (size_t k = i; k < std::min(i + 10, set.durations.size()); ++k)
            out << " " << set.durations[k] << (k + 1 < set.durations.size() ? "," : "");
        out << "\n";
    }
    out << "};\n";
}

void formatFrameRows(const PackedFrame& frame, char* text) {
    for (int row = 0; row < PACKED_FRAME_BYTES / PACKED_ROW_BYTES; ++row)
        text = formatRow(frame, row, text);
}

void writeFrameRows(std::ostream& out, const PackedFrame& frame) {
    char text[FRAME_ROWS_TEXT_BYTES];
    formatFrameRows(frame, text);
    out.write(text, FRAME_ROWS_TEXT_BYTES);
}

bool isArrayName(const std::string& name) {
    if (name.empty() || !(isAsciiLetter(name[0]) || name[0] == '_')) return false;
    const bool plain = std::all_of(name.begin(), name.end(), [](char c) {
        return isAsciiLetter(c) || (c >= '0' && c <= '9') || c == '_';
    });
    const bool reserved = name.size() > 1 && name[0] == '_' &&
                          (name[1] == '_' || (name[1] >= 'A' && name[1] <= 'Z'));
    return plain && !reserved && keywords.find(" " + name + " ") == std::string::npos;
}

std::vector<unsigned char> frameSetCode(const FrameSet& set) {
    return set.compressed ? encodeFrameSet(set.frames, set.cycles)
                          : std::vector<unsigned char>();
}

void writeFrameSetHeader(std::ostream& out, const FrameSet& set) {
    writeFrameSetHeader(out, set, frameSetCode(set));
}

void writeFrameSetHeader(std::ostream& out, const FrameSet& set,
                         const std::vector<unsigned char>& code) {
    if (set.target == FrameSetTarget::Avr) return writeAvrFrameSetHeader(out, set, code);
    const std::string macro = upper(set.name);
    const std::string guard = frameSetGuard(set);
    writeFrameSetHeaderComment(out, set);
    out << "#ifndef " << guard << "\n#define " << guard << "\n\n"
        << "#define " << macro << "_FRAME_WIDTH 102\n"
        << "#define " << macro << "_FRAME_HEIGHT 80\n"
        << "#define " << macro << "_ROW_BYTES 51\n"
        << "#define " << macro << "_FRAME_BYTES 4080\n"
        << "#define " << macro << "_FRAME_COUNT " << frameCount(set) << "\n";
    if (set.compressed)
        out << "#define " << macro << "_CODE_BYTES " << code.size() << "\n";
    out << "\n#ifdef __cplusplus\nextern \"C\" {\n#endif\n\n";
    if (set.compressed)
        out << "extern const unsigned char " << set.name << "_code[" << macro
            << "_CODE_BYTES];\n";
    else
        out << "extern const unsigned char " << set.name << "[" << macro
            << "_FRAME_COUNT][" << macro << "_FRAME_BYTES];\n";
    writeDurationsDeclaration(out, set);
    out << "\n#ifdef __cplusplus\n}\n#endif\n\n"
        << "#endif /* " << guard << " */\n";
}

namespace {

// NAME.c, each frame's rows written by rows; compressed, code instead.
void writeSource(std::ostream& out, const FrameSet& set, const FrameRowsWriter& rows,
                 const std::vector<unsigned char>& code) {
    if (set.target == FrameSetTarget::Avr)
        return writeAvrFrameSetSource(out, set, rows, code);
    const std::string macro = upper(set.name);
    writeFrameSetComment(out, set);
    if (set.compressed) {
        out << "#include \"" << set.name << ".h\"\n\n"
            << "const unsigned char " << set.name << "_code[" << macro << "_CODE_BYTES]"
            << (set.attribute.empty() ? "" : " ") << set.attribute << " = {\n";
        writeByteLines(out, code);
        out << "};\n";
        writeDurationsDefinition(out, set, set.attribute);
        return;
    }
    out << "#include \"" << set.name << ".h\"\n\n"
        << "const unsigned char " << set.name << "[" << macro << "_FRAME_COUNT][" << macro
        << "_FRAME_BYTES]" << (set.attribute.empty() ? "" : " ") << set.attribute
        << " = {\n";
    for (size_t i = 0; i < frameCount(set); ++i) {
        out << "    /* [" << i << "] " << commentText(set.labels[i]) << " */\n    {\n";
        rows(out, i);
        out << (i + 1 < frameCount(set) ? "    },\n" : "    }\n");
    }
    out << "};\n";
    writeDurationsDefinition(out, set, set.attribute);
}

}  // namespace

void writeFrameSetSource(std::ostream& out, const FrameSet& set) {
    writeFrameSetSource(out, set, frameSetCode(set));
}

void writeFrameSetSource(std::ostream& out, const FrameSet& set,
                         const std::vector<unsigned char>& code) {
    writeSource(
        out, set,
        [&](std::ostream& to, std::size_t frame) {
            writeFrameRows(to, set.frames[frame]);
        },
        code);
}

void writeFrameSetSource(std::ostream& out, const FrameSet& set,
                         const FrameRowsWriter& rows) {
    writeSource(out, set, rows, std::vector<unsigned char>());
}
