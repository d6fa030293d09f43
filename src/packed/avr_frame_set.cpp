// SPDX-License-Identifier: Apache-2.0
#include "packed/avr_frame_set.h"

#include <algorithm>
#include <sstream>

#include "packed/frame_code.h"
#include "packed/set_text.h"

namespace {

// FAR_ADDRESS: where an object lies in program memory, 24 bits.
void writeFarAddress(std::ostream& out) {
    out << "#define FAR_ADDRESS(object, address)                             \\\n"
           "    __asm__(\"ldi %A0, lo8(%1)\\n\\tldi %B0, hi8(%1)\\n\\t\"         \\\n"
           "            \"ldi %C0, hh8(%1)\\n\\tclr %D0\"                       \\\n"
           "            : \"=d\"(address)                                   \\\n"
           "            : \"p\"(&(object)[0]))\n\n";
}

// The byte read that reaches program memory: ELPM with a 24-bit address on parts with
// more than 64 KiB, LPM on the rest.
void writeByteRead(std::ostream& out) {
    out << "#if defined(RAMPZ)\n"
           "typedef uint32_t flash_address;\n"
           "#define read_flash(address) pgm_read_byte_far(address)\n"
           "#else\n"
           "typedef uint16_t flash_address;\n"
           "#define read_flash(address) pgm_read_byte(address)\n"
           "#endif\n\n";
}

// The byte read and FAR_ADDRESS.
void writeFlashRead(std::ostream& out) {
    writeByteRead(out);
    writeFarAddress(out);
}

// Where frame lies in program memory.
void writeFrameAddress(std::ostream& out, const FrameSet& set) {
    out << "static flash_address frame_address(unsigned frame)\n"
           "{\n"
           "    uint32_t address = 0;\n"
           "    switch (frame) {\n";
    for (size_t i = 0; i < frameCount(set); ++i)
        out << "    case " << i << ": FAR_ADDRESS(frame_" << i << ", address); break;\n";
    out << "    }\n"
           "    return (flash_address)address;\n"
           "}\n\n";
}

// The start of assembler data named symbol in program memory, in section
// .text.grayframe.SECTION after the program's code, at an even address.
void openAssemblerData(std::ostream& out, const std::string& section,
                       const std::string& symbol) {
    out << "__asm__(\".pushsection .text.grayframe." << section
        << ", \\\"a\\\", @progbits\\n\"\n"
        << "        \".balign 2\\n\"\n"
        << "        \".type " << symbol << ", @object\\n\"\n"
        << "        \"" << symbol << ":\\n\"\n";
}

// Its end, size bytes on (code after it at an even address when evenAfter), and its
// declaration in C.
void closeAssemblerData(std::ostream& out, const std::string& symbol, std::size_t size,
                        bool evenAfter) {
    out << "        \".size " << symbol << ", " << size << "\\n\"\n";
    if (evenAfter) out << "        \".balign 2\\n\"\n";
    out << "        \".popsection\");\n"
        << "extern const unsigned char " << symbol << "[];\n\n";
}

// The code as assembler data in one piece, NAME_code.
void writeCode(std::ostream& out, const FrameSet& set,
               const std::vector<unsigned char>& code) {
    const std::string& name = set.name;
    out << "/* The set's code, in one piece after the program's code: assembler data,\n"
           " * since a C object of an AVR stays below 32 KiB; code that follows it\n"
           " * starts at an even address. */\n";
    openAssemblerData(out, name, name + "_code");
    for (size_t i = 0; i < code.size(); i += 16)
        out << "        \"    .byte "
            << hexBytes(&code[i], std::min<size_t>(16, code.size() - i), ",")
            << "\\n\"\n";
    closeAssemblerData(out, name + "_code", code.size(), true);
}

// The durations as assembler data in one piece beside the frames, two bytes each, low
// byte first, and NAME_duration_ms, which reads them (after writeFlashRead, or the
// byte read and FAR_ADDRESS).
void writeDurations(std::ostream& out, const FrameSet& set) {
    const std::string& name = set.name;
    out << "/* How long each frame is shown, in milliseconds, two bytes each\n"
           " * (low byte first) after the program's code: assembler data, since a C\n"
           " * object of an AVR stays below 32 KiB. */\n";
    openAssemblerData(out, name + ".durations", name + "_durations");
    for (size_t i = 0; i < set.durations.size(); i += 10) {
        out << "        \"    .2byte ";
        for (size_t k = i; k < std::min(set.durations.size(), i + 10); ++k)
            out << (k == i ? "" : ",") << set.durations[k];
        out << "\\n\"\n";
    }
    closeAssemblerData(out, name + "_durations", 2 * set.durations.size(), false);
    out << "unsigned short " << name << "_duration_ms(unsigned frame)\n"
        << "{\n"
        << "    uint32_t start;\n"
        << "    flash_address address;\n"
        << "    if (frame >= " << upper(name) << "_FRAME_COUNT) return 0;\n"
        << "    FAR_ADDRESS(" << name << "_durations, start);\n"
        << "    address = (flash_address)start + (flash_address)frame * 2;\n"
        << "    return (unsigned short)((unsigned)read_flash(address + 1) << 8 |\n"
        << "                            read_flash(address));\n"
        << "}\n";
}

void writeCompressedSource(std::ostream& out, const FrameSet& set,
                           const std::vector<unsigned char>& code) {
    const std::string macro = upper(set.name);
    const std::string& name = set.name;
    writeCode(out, set, code);
    writeFarAddress(out);
    out << "int " << name << "_open(grayframe_decoder *d)\n"
        << "{\n"
        << "#if defined(RAMPZ) && !defined(GRAYFRAME_NEAR_FLASH)\n"
        << "    uint32_t address;\n"
        << "    FAR_ADDRESS(" << name << "_code, address);\n"
        << "    return grayframe_open_at(d, address, " << macro << "_CODE_BYTES);\n"
        << "#else\n"
        << "    return grayframe_open(d, " << name << "_code, " << macro
        << "_CODE_BYTES);\n"
        << "#endif\n"
        << "}\n";
}

// How to decode a compressed set, for NAME.h's comment.
std::string decoding(const FrameSet& set) {
    if (!set.compressed) return {};
    return " * Compressed in the code of grayframe_decode.h (version " +
           std::to_string(int(FRAME_CODE_VERSION)) + "), " + upper(set.name) +
           "_CODE_BYTES bytes in program memory.\n"
           " * Compile grayframe_decode.c with it, open the set and take a frame, for\n"
           " * instance row by row:\n" +
           decodingExample(set, set.name + "_open(&decoder);") + ".\n" + budgetLine(set);
}

std::string declarations(const FrameSet& set) {
    const std::string macro = upper(set.name);
    const std::string& name = set.name;
    std::ostringstream out;
    if (set.compressed)
        out << "/* Opens d on the set, in program memory (far on parts with more than\n"
               " * 64 KiB): GRAYFRAME_OK, or the error of grayframe_open. */\n"
            << "int " << name << "_open(grayframe_decoder *d);\n\n";
    else
        out << "/* The frames lie in program memory, where a plain C read does not "
               "reach:\n"
               " * take their bytes through these functions. */\n\n"
            << "/* Byte offset (0 to " << macro << "_FRAME_BYTES - 1) of frame (0 to\n"
            << " * " << macro << "_FRAME_COUNT - 1); 0 when either is out of range. */\n"
            << "unsigned char " << name << "_byte(unsigned frame, unsigned offset);\n\n"
            << "/* Copies row (0 to " << macro
            << "_FRAME_HEIGHT - 1, from the top) of frame "
               "into\n"
            << " * out[0] to out[" << macro
            << "_ROW_BYTES - 1]; leaves out as it was when "
               "frame\n"
            << " * or row is out of range. */\n"
            << "void " << name
            << "_row(unsigned frame, unsigned row, unsigned char *out);\n\n";
    if (!set.durations.empty())
        out << "/* How long frame (0 to " << macro
            << "_FRAME_COUNT - 1) is shown, in milliseconds, read\n"
               " * from program memory; 0 when frame is out of range. */\n"
            << "unsigned short " << name << "_duration_ms(unsigned frame);\n\n";
    return out.str();
}

}  // namespace

void writeAvrFrameSetHeader(std::ostream& out, const FrameSet& set,
                            const std::vector<unsigned char>& code) {
    writeSetHeader(
        out, set, code,
        {decoding(set), set.name + "_duration_ms(f)",
         set.compressed ? "#include \"grayframe_decode.h\"\n\n" : "", declarations(set)});
}

void writeAvrFrameSetSource(std::ostream& out, const FrameSet& set,
                            const FrameRowsWriter& rows,
                            const std::vector<unsigned char>& code) {
    const std::string macro = upper(set.name);
    const std::string& name = set.name;
    writeSourceStart(out, set, "#include <avr/pgmspace.h>\n#include <stdint.h>\n\n");
    if (set.compressed) {
        writeCompressedSource(out, set, code);
        if (set.durations.empty()) return;
        out << "\n";
        writeByteRead(out);
        return writeDurations(out, set);
    }
    out << "#define IN_FLASH __attribute__((section(\".text.grayframe." << name
        << "\")))\n\n";
    for (size_t i = 0; i < frameCount(set); ++i) {
        out << "/* [" << i << "] " << commentText(set.labels[i]) << " */\n"
            << "static const unsigned char frame_" << i << "[" << macro
            << "_FRAME_BYTES] IN_FLASH = {\n";
        rows(out, i);
        out << "};\n\n";
    }
    writeFlashRead(out);
    writeFrameAddress(out, set);
    out << "unsigned char " << name << "_byte(unsigned frame, unsigned offset)\n"
        << "{\n"
        << "    if (frame >= " << macro << "_FRAME_COUNT || offset >= " << macro
        << "_FRAME_BYTES) return 0;\n"
        << "    return read_flash(frame_address(frame) + offset);\n"
        << "}\n\n"
        << "void " << name << "_row(unsigned frame, unsigned row, unsigned char *out)\n"
        << "{\n"
        << "    flash_address address;\n"
        << "    unsigned k;\n"
        << "    if (frame >= " << macro << "_FRAME_COUNT || row >= " << macro
        << "_FRAME_HEIGHT) return;\n"
        << "    address = frame_address(frame) + (flash_address)row * " << macro
        << "_ROW_BYTES;\n"
        << "    for (k = 0; k < " << macro
        << "_ROW_BYTES; ++k) out[k] = read_flash(address + k);\n"
        << "}\n";
    if (set.durations.empty()) return;
    out << "\n";
    writeDurations(out, set);
}
