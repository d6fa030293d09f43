// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <string>

#include "animated/canvas.h"

// Each reader hands sink every canvas of the file at path, composited as its format
// says and flattened over options.background, in display order, and returns what it
// found. A canvas larger than MAX_CANVAS_PIXELS, a damaged or cut file and one without
// pictures are problems; a problem may come after some canvases were handed over.

// GIF through giflib: disposal none, background (back to transparent) and previous,
// the transparent index, interlace, local palettes, images smaller than the canvas and
// offset (cut to the canvas). A delay of 0 or 1 centisecond is taken as 100 ms, as web
// browsers show it. A GIF of one image is a still picture (animated false, its canvas
// lasting 0 ms: the delay of a still is no duration).
ReadResult readGif(const std::string& path, const ReadOptions& options,
                   const CanvasSink& sink);

// Animated WebP through libwebp's animation decoder (blending and disposal as libwebp
// does them); each duration is the difference of the decoder's timestamps.
ReadResult readWebP(const std::string& path, const ReadOptions& options,
                    const CanvasSink& sink);

// APNG: each frame decoded as the PNG still it would be on its own (the file's header
// at the frame's size, its palette and transparency) by the call that decodes PNG
// stills, so that every colour type and depth is read, composited at the file's depth
// (disposal none, background and previous; blending source and over) and taken to 8
// bits as stills are (the high byte of 16-bit samples). The default image, when no
// frame control comes before it, is not a frame. Durations are the frame controls'
// delays (a denominator of 0 meaning 100). Chunks must be whole, their CRCs right and
// the frames' chunks in sequence; a method or critical chunk the format may gain later
// is "not supported".
ReadResult readApng(const std::string& path, const ReadOptions& options,
                    const CanvasSink& sink);

// Video through FFmpeg's libraries, on Linux: the first video stream, its frames in
// presentation order. It honours options.fps, start and duration: without fps every
// decoded frame shown within the cut, lasting until the next one; with fps the frame
// shown at each sampling time, 1000 / fps ms each (rounded so that the sum stays on
// time); times are compared exactly with the frames' timestamps (video_clock.h), and the
// canvases turned as the stream's display matrix says (display_matrix.h). A video of
// several key frames is decoded in up to options.parts parts at once, each split where
// the frames before and after do not depend on each other and giving what the whole
// would give in its place; its canvases carry their part's number (from 0, in file
// order), each part's in order. The sink is called on threads of readMedia's own, one
// per part, at the same time for different parts, while the next frames are decoded; it
// has returned for the last time when readMedia returns. Each decoder runs on one
// thread, so that damage is found alike in every run.
// On Windows and in the browser no video is read: every one is the problem
// VIDEO_NOT_READ, the line saying where videos are read (read_media_none.cpp).
ReadResult readMedia(const std::string& path, const ReadOptions& options,
                     const CanvasSink& sink);
