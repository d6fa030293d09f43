// SPDX-License-Identifier: Apache-2.0
#include "output/frame_preview.h"

std::string animatedGif(const FrameSet&) { return {}; }
