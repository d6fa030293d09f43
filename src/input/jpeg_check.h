#pragma once

#include <string>

// True when the JPEG file at path holds its whole image: its markers, segments and
// entropy-coded data follow one another up to the end-of-image marker. False when the
// file ends before that marker (a cut file, whose missing part the decoder would fill
// with gray) or cannot be read, and when its Huffman-coded data is too short for the
// size its header declares (at least one bit a block), so that a small file claiming
// a huge picture is refused before anything is allocated. Stray bytes between segments,
// as some cameras write them, are passed over as the decoder passes over them; whatever
// follows the end marker is not looked at. Reads the file once, in blocks, without
// decoding it.
bool jpegReachesItsEnd(const std::string& path);
