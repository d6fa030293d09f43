// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstddef>
#include <string>

#include "packed/frame_set.h"

// Previews of a frame set, each as the bytes of a whole file; gray level L of a frame
// is shown as L * 17, so that level 15 is white.

// The most frames one contact sheet shows (100 rows of ten, 2,106 x 18,206 pixels), so
// that a sheet stays within what PNG readers and writers take and what it costs in
// memory is bounded: a longer set gets a sheet for each SHEET_FRAMES frames.
constexpr std::size_t SHEET_FRAMES = 1000;

// How many contact sheets set takes: one for each SHEET_FRAMES frames, at least one.
std::size_t contactSheetCount(const FrameSet& set);

// Contact sheet number sheet (from 0) as a PNG: its frames at twice their size in rows
// of up to ten, each with its index in the set and (when the set has durations) its
// duration under it. Empty when it cannot be made.
std::string contactSheetPng(const FrameSet& set, std::size_t sheet = 0);

// Where sheet number sheet goes when the first goes to path: path itself, then path
// with -2, -3, ... before its extension (look.png, look-2.png, look-3.png, ...).
std::string contactSheetPath(const std::string& path, std::size_t sheet);

// An animated GIF that loops forever: every frame at three times its size, shown for its
// duration rounded to centiseconds (or 100 ms when the set has none). Empty when it
// cannot be made.
std::string animatedGif(const FrameSet& set);
