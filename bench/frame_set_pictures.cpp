// SPDX-License-Identifier: Apache-2.0
// Writes the pictures on which the frame set code is measured into DIR, as PNGs that
// grayframe turns into frames, one file per frame, named GROUP-NN.png:
//   ui, text, icons, sprites: stills of each kind, drawn at 102 x 80 or larger;
//   dithered: screens drawn at 102 x 80 with an ordered-dither gradient, whose rows
//   repeat every four rows but not from one to the next;
//   photo: photo-like pictures (the batch's generator);
//   anim-bounce, anim-clock, anim-ticker, anim-progress, anim-walk, anim-blink,
//   anim-plasma, anim-sprite-photo, anim-dot-photo: animations, one file a frame
//   (anim-blink a screen of 102 x 80 held still, a cursor blinking and a pixel moving on
//   it: frames coded against the frame before; anim-plasma a ball over a fractal plasma;
//   anim-sprite-photo a sprite of 10 x 12 frame pixels over a photo-like picture with
//   fine detail, a plasma with grain on every pixel; anim-dot-photo a sprite of 4 x 4
//   over the same picture).
// Usage: frame_set_pictures DIR
#include <cstdio>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>

#include "plasma.h"

namespace {

std::string dir;

void save(const std::string& group, int index, const cv::Mat& picture) {
    char name[64];
    std::snprintf(name, sizeof name, "%s-%02d.png", group.c_str(), index);
    cv::imwrite(dir + "/" + name, picture);
}

void text(cv::Mat& picture, const std::string& line, cv::Point at, double scale,
          cv::Scalar colour, int thickness = 1) {
    cv::putText(picture, line, at, cv::FONT_HERSHEY_SIMPLEX, scale, colour, thickness,
                cv::LINE_AA);
}

// A settings screen: title bar, list rows with toggles, a selected row.
cv::Mat settingsScreen(int selected) {
    cv::Mat p(320, 408, CV_8UC3, cv::Scalar(30, 30, 30));
    cv::rectangle(p, {0, 0, 408, 48}, cv::Scalar(90, 60, 30), cv::FILLED);
    text(p, "Settings", {12, 34}, 1.0, cv::Scalar(255, 255, 255), 2);
    const char* items[] = {"Brightness", "Sound", "Wi-Fi", "Sleep", "About"};
    for (int i = 0; i < 5; ++i) {
        const int y = 56 + i * 52;
        if (i == selected) cv::rectangle(p, {0, y, 408, 48}, cv::Scalar(70, 70, 70), cv::FILLED);
        text(p, items[i], {16, y + 32}, 0.9, cv::Scalar(230, 230, 230), 2);
        cv::rectangle(p, {320, y + 12, 64, 26}, cv::Scalar(200, 200, 200), 2);
        cv::circle(p, {i % 2 ? 370 : 334, y + 25}, 9, cv::Scalar(255, 255, 255), cv::FILLED);
        cv::line(p, {0, y + 50}, {408, y + 50}, cv::Scalar(80, 80, 80), 1);
    }
    return p;
}

// A dashboard: two gauges, a bar chart and a status line.
cv::Mat dashboard(int value) {
    cv::Mat p(320, 408, CV_8UC3, cv::Scalar(255, 255, 255));
    for (int g = 0; g < 2; ++g) {
        const cv::Point centre(100 + g * 200, 120);
        cv::ellipse(p, centre, {80, 80}, 0, 180, 360, cv::Scalar(180, 180, 180), 14);
        cv::ellipse(p, centre, {80, 80}, 0, 180, 180 + (value + g * 40) % 180,
                    cv::Scalar(40, 40, 40), 14);
        text(p, std::to_string((value + g * 40) % 180), {centre.x - 30, centre.y + 10}, 1.2,
             cv::Scalar(0, 0, 0), 3);
    }
    for (int b = 0; b < 10; ++b) {
        const int h = 20 + (b * 37 + value) % 80;
        cv::rectangle(p, {24 + b * 36, 300 - h, 24, h}, cv::Scalar(60, 60, 60), cv::FILLED);
    }
    return p;
}

cv::Mat page(const char* const* lines, int count, double scale) {
    cv::Mat p(320, 408, CV_8UC3, cv::Scalar(255, 255, 255));
    for (int i = 0; i < count; ++i)
        text(p, lines[i], {8, 30 + i * 36}, scale, cv::Scalar(0, 0, 0), 2);
    return p;
}

// A grid of simple icons on black.
cv::Mat icons(int variant) {
    cv::Mat p(80, 102, CV_8UC3, cv::Scalar(0, 0, 0));
    const cv::Scalar white(255, 255, 255), grey(128, 128, 128);
    for (int i = 0; i < 6; ++i) {
        const int x = 4 + (i % 3) * 34, y = 6 + (i / 3) * 38;
        switch ((i + variant) % 6) {
            case 0: cv::rectangle(p, {x, y + 8, 22, 12}, white, 1);  // battery
                    cv::rectangle(p, {x + 2, y + 10, 12, 8}, white, cv::FILLED); break;
            case 1: for (int r = 4; r <= 16; r += 6)  // signal
                        cv::ellipse(p, {x + 12, y + 24}, {r, r}, 0, 225, 315, white, 2);
                    break;
            case 2: cv::circle(p, {x + 12, y + 14}, 10, white, 2);  // clock
                    cv::line(p, {x + 12, y + 14}, {x + 12, y + 7}, white, 2);
                    cv::line(p, {x + 12, y + 14}, {x + 18, y + 14}, grey, 2); break;
            case 3: cv::fillConvexPoly(p, std::vector<cv::Point>{{x + 12, y}, {x + 24, y + 24},
                                                                 {x, y + 24}}, grey);
                    cv::line(p, {x + 12, y + 8}, {x + 12, y + 16}, cv::Scalar(0, 0, 0), 2); break;
            case 4: cv::rectangle(p, {x, y + 4, 24, 18}, white, 2);  // mail
                    cv::line(p, {x, y + 4}, {x + 12, y + 14}, white, 1);
                    cv::line(p, {x + 24, y + 4}, {x + 12, y + 14}, white, 1); break;
            default: cv::circle(p, {x + 12, y + 12}, 6, white, cv::FILLED);  // sun
                     for (int a = 0; a < 8; ++a)
                         cv::line(p, {x + 12, y + 12},
                                  {x + 12 + int(11 * std::cos(a * 0.785)),
                                   y + 12 + int(11 * std::sin(a * 0.785))}, white, 1);
        }
    }
    return p;
}

// A small figure on black, drawn in frame pixels, in one of four poses.
cv::Mat sprite(int pose, int x) {
    cv::Mat p(80, 102, CV_8UC3, cv::Scalar(0, 0, 0));
    const cv::Scalar body(220, 220, 220), shade(120, 120, 120);
    cv::circle(p, {x, 20}, 7, body, cv::FILLED);
    cv::circle(p, {x + 2, 18}, 1, cv::Scalar(0, 0, 0), cv::FILLED);
    cv::rectangle(p, {x - 6, 28, 12, 22}, shade, cv::FILLED);
    const int swing = (pose % 4 - 1) * 6;
    cv::line(p, {x - 3, 50}, {x - 3 - swing, 70}, body, 3);
    cv::line(p, {x + 3, 50}, {x + 3 + swing, 70}, body, 3);
    cv::line(p, {x - 6, 32}, {x - 10 + swing, 46}, body, 2);
    cv::line(p, {x + 6, 32}, {x + 10 - swing, 46}, body, 2);
    cv::line(p, {0, 72}, {101, 72}, shade, 1);
    return p;
}

// A 102 x 80 screen: a gradient across it in 16 levels, ordered-dithered between them
// (4 x 4 Bayer), a title bar and a framed box.
cv::Mat dithered(int variant) {
    static const int bayer[4][4] = {
        {0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    cv::Mat p(80, 102, CV_8UC3);
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 102; ++x) {
            const int level = (variant ? 101 - x : x) * 15 * 16 / 101;
            const int gray = (level / 16 + (level % 16 > bayer[y % 4][x % 4])) * 17;
            p.at<cv::Vec3b>(y, x) = cv::Vec3b(gray, gray, gray);
        }
    cv::rectangle(p, {0, 0, 102, 12}, cv::Scalar(0, 0, 0), cv::FILLED);
    cv::rectangle(p, {20 + variant * 10, 30, 50, 30}, cv::Scalar(255, 255, 255), 1);
    return p;
}

// The batch's photo-like picture (see bench_pictures.cpp), smaller.
cv::Mat photoLike(cv::RNG& rng) {
    cv::Mat coarse(4, 6, CV_8UC3), smooth, fine(24, 30, CV_8UC3), texture;
    rng.fill(coarse, cv::RNG::UNIFORM, 0, 200);
    cv::resize(coarse, smooth, {640, 480}, 0, 0, cv::INTER_CUBIC);
    rng.fill(fine, cv::RNG::UNIFORM, 0, 56);
    cv::resize(fine, texture, {640, 480}, 0, 0, cv::INTER_CUBIC);
    cv::Mat noise(480, 640, CV_8UC3);
    rng.fill(noise, cv::RNG::NORMAL, 0, 8);
    return smooth + texture + noise;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: frame_set_pictures DIR\n");
        return 2;
    }
    dir = argv[1];
    save("ui", 0, settingsScreen(1));
    save("ui", 1, dashboard(70));
    const char* prose[] = {"The quick brown fox", "jumps over the lazy", "dog. 0123456789",
                           "Pack my box with", "five dozen liquor", "jugs, said Kim.",
                           "Sphinx of black", "quartz: judge my vow."};
    save("text", 0, page(prose, 8, 0.9));
    save("text", 1, page(prose + 2, 6, 1.2));
    save("icons", 0, icons(0));
    save("icons", 1, icons(3));
    save("sprites", 0, sprite(0, 30));
    save("sprites", 1, sprite(2, 70));
    save("dithered", 0, dithered(0));
    save("dithered", 1, dithered(1));
    cv::RNG rng(7);
    for (int i = 0; i < 3; ++i) save("photo", i, photoLike(rng));
    for (int i = 0; i < 12; ++i) {
        cv::Mat p = settingsScreen(i / 6);
        const int t = i % 6;
        cv::circle(p, {60 + t * 50, 280 - std::abs(3 - t) * 40}, 14, cv::Scalar(255, 255, 255),
                   cv::FILLED);
        save("anim-bounce", i, p);
    }
    for (int i = 0; i < 10; ++i) {
        cv::Mat p(320, 408, CV_8UC3, cv::Scalar(0, 0, 0));
        char clock[16];
        std::snprintf(clock, sizeof clock, "12:%02d:%02d", 34 + (55 + i) / 60, (55 + i) % 60);
        text(p, clock, {30, 190}, 2.4, cv::Scalar(255, 255, 255), 6);
        save("anim-clock", i, p);
    }
    for (int i = 0; i < 10; ++i) {
        cv::Mat p = page(prose, 6, 0.9);
        cv::rectangle(p, {0, 270, 408, 50}, cv::Scalar(0, 0, 0), cv::FILLED);
        text(p, "+++ news ticker: all systems nominal +++", {20 - i * 24, 305}, 1.0,
             cv::Scalar(255, 255, 255), 2);
        save("anim-ticker", i, p);
    }
    for (int i = 0; i < 10; ++i) {
        cv::Mat p = dashboard(70);
        cv::rectangle(p, {20, 10, 368, 20}, cv::Scalar(0, 0, 0), 2);
        cv::rectangle(p, {22, 12, 36 * (i + 1), 16}, cv::Scalar(90, 90, 90), cv::FILLED);
        save("anim-progress", i, p);
    }
    for (int i = 0; i < 8; ++i) save("anim-walk", i, sprite(i, 20 + i * 8));
    cv::Mat screen;
    cv::resize(settingsScreen(1), screen, {102, 80}, 0, 0, cv::INTER_AREA);
    for (int i = 0; i < 10; ++i) {
        cv::Mat p = screen.clone();
        if (i % 2) cv::rectangle(p, {82, 55, 2, 6}, cv::Scalar(255, 255, 255), cv::FILLED);
        p.at<cv::Vec3b>(70, 10 + 3 * i) = cv::Vec3b(255, 255, 255);
        save("anim-blink", i, p);
    }
    const cv::Mat busy = plasma(1, 0);
    for (int i = 0; i < 12; ++i) {
        cv::Mat p = busy.clone();
        cv::circle(p, {40 + 28 * i, 60 + i % 6 * 30}, 24, cv::Scalar::all(255),
                   cv::FILLED);
        save("anim-plasma", i, p);
    }
    cv::Mat photo = plasma(2, 0), grain(photo.size(), CV_8UC3);
    cv::RNG(2).fill(grain, cv::RNG::NORMAL, 0, 60);
    photo += grain;
    for (int i = 0; i < 12; ++i) {
        cv::Mat p = photo.clone(), q = photo.clone();
        cv::rectangle(p, {40 + 28 * i, 120, 40, 50}, cv::Scalar::all(0), cv::FILLED);
        cv::circle(p, {60 + 28 * i, 140}, 12, cv::Scalar::all(255), cv::FILLED);
        save("anim-sprite-photo", i, p);
        cv::rectangle(q, {40 + 28 * i, 120, 16, 16}, cv::Scalar::all(0), cv::FILLED);
        cv::circle(q, {48 + 28 * i, 128}, 4, cv::Scalar::all(255), cv::FILLED);
        save("anim-dot-photo", i, q);
    }
    return 0;
}
