// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <string>

#include "packed/frame_set.h"

// Previews of a frame set, each as the bytes of a whole file; gray level L of a frame
// is shown as L * 17, so that level 15 is white.

// A PNG contact sheet: every frame at twice its size in rows of up to ten, with its
// index and (when the set has durations) its duration under it.
std::string contactSheetPng(const FrameSet& set);

// An animated GIF that loops forever: every frame at three times its size, shown for its
// duration rounded to centiseconds (or 100 ms when the set has none). Empty when it
// cannot be made.
std::string animatedGif(const FrameSet& set);
