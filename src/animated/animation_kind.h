// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <string>

// What kind of moving picture a file holds, told from its bytes, never its name.
enum class AnimationKind {
    None,   // a still picture (or not a picture at all): the still readers take it
    Gif,    // any GIF, one image or many (a GIF of one image is a still picture)
    WebP,   // a WebP with its animation flag
    Apng,   // a PNG with an animation control chunk before its image data
    Video,  // an MP4/MOV, Matroska/WebM, AVI, FLV, Ogg or MPEG stream container
};

// The kind of the regular file at path; None for anything else or when it cannot be
// read. Reads at most the file's first chunk headers; never throws.
AnimationKind animationKind(const std::string& path);
