#pragma once

#include <opencv2/core.hpp>

// Where the preview's two windows go and how large they are, in screen pixels.
struct PreviewLayout {
    cv::Rect picture;  // the input picture's window, at the screen's top left
    cv::Rect output;   // the frame's window, to the right of the picture's
    int zoom = 1;      // frame pixels to screen pixels: output is frame size x zoom
};

// Lays out a picture of picture size (both sides >= 1) and a frame of frame size
// beside each other on a screen of screen size, with room kept free between them and
// at the right and bottom edges for a window manager's borders and panels. The frame
// gets the largest whole zoom that fits into half the screen's width, or 3 when the
// screen is too narrow for that but has room for it, never less than 1. The picture
// keeps its aspect ratio, enlarged up to the same zoom and shrunk to the width left;
// each side is at least 1. On a screen too small for even the frame at zoom 1 the
// windows go beyond its edges.
PreviewLayout layoutPreview(cv::Size screen, cv::Size picture, cv::Size frame);
