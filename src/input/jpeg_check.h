#pragma once

#include <string>

// True when bytes (a JPEG file's content) hold its whole image as the decoder would take
// it: its markers, segments and entropy-coded data follow one another up to the
// end-of-image marker, each marker one the decoder accepts where it stands. False when
// the bytes end before that marker (a cut file, whose missing part the decoder would
// fill with gray); when a marker comes that the decoder refuses there (a second
// start-of-image or start-of-frame, an unknown marker, a scan before the frame or a
// second scan of a picture coded in one), which, after a cut scan, would likewise leave
// the rest gray; and when its Huffman-coded data is too short for the size its header
// declares (at least one bit a block), so that a small file claiming a huge picture is
// refused before anything is allocated. Stray bytes between segments, as some cameras
// write them, are passed over as the decoder passes over them; whatever follows the end
// marker is not looked at. Decodes nothing.
bool jpegIsWhole(const std::string& bytes);
