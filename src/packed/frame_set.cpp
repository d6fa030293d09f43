#include "packed/frame_set.h"

#include <algorithm>

#include "packed/array_frame_set.h"
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

bool isArrayName(const std::string& name) {
    if (name.empty() || !(isAsciiLetter(name[0]) || name[0] == '_')) return false;
    const bool plain = std::all_of(name.begin(), name.end(), [](char c) {
        return isAsciiLetter(c) || (c >= '0' && c <= '9') || c == '_';
    });
    const bool reserved = name.size() > 1 && name[0] == '_' &&
                          (name[1] == '_' || (name[1] >= 'A' && name[1] <= 'Z'));
    return plain && !reserved && keywords.find(" " + name + " ") == std::string::npos;
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

std::vector<unsigned char> frameSetCode(const FrameSet& set) {
    return set.compressed ? encodeFrameSet(set.frames, set.cycles)
                          : std::vector<unsigned char>();
}

void writeFrameSetHeader(std::ostream& out, const FrameSet& set) {
    writeFrameSetHeader(out, set, frameSetCode(set));
}

void writeFrameSetHeader(std::ostream& out, const FrameSet& set,
                         const std::vector<unsigned char>& code) {
    if (set.target == FrameSetTarget::Avr)
        writeAvrFrameSetHeader(out, set, code);
    else
        writeArrayFrameSetHeader(out, set, code);
}

namespace {

void writeSource(std::ostream& out, const FrameSet& set, const FrameRowsWriter& rows,
                 const std::vector<unsigned char>& code) {
    if (set.target == FrameSetTarget::Avr)
        writeAvrFrameSetSource(out, set, rows, code);
    else
        writeArrayFrameSetSource(out, set, rows, code);
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
