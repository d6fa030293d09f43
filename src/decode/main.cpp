// SPDX-License-Identifier: Apache-2.0
// grayframe-decode, the decode helper grayframe starts for the formats it leaves to the
// system's OpenCV (see input/decode_helper.h).
#include "input/decode_helper.h"

int main(int argc, char** argv) { return runDecodeHelper(argc, argv); }
