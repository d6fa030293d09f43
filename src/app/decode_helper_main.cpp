// SPDX-License-Identifier: Apache-2.0
// grayframe-decode, the decode helper grayframe starts for the formats it leaves to the
// system's OpenCV (see app/decode_helper.h).
#include "app/decode_helper.h"

int main(int argc, char** argv) { return runDecodeHelper(argc, argv); }
