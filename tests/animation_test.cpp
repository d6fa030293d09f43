// SPDX-License-Identifier: Apache-2.0
// grayframe-embed on animations and videos made here with ImageMagick's, FFmpeg's and
// libwebp's command-line tools: every frame must be what grayframe makes of the same
// frame taken out as a still picture by those tools (WebPs' through Pillow, which
// composites them with libwebp), with the file's durations.
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <mutex>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <regex>

#include "animated/canvas_gray.h"
#include "batch/frame_stream.h"
#include "frame/frame.h"
#include "support.h"

namespace {

// A tool found on the path, run in dir; its status must be 0.
void tool(const std::string& name, const std::vector<std::string>& args,
          const std::string& dir) {
    std::vector<std::string> line = {name};
    line.insert(line.end(), args.begin(), args.end());
    const test::RunResult run = test::runProgram("/usr/bin/env", line, dir, 120);
    ASSERT_EQ(run.status, 0) << name << ": " << run.err;
}

test::RunResult embed(std::vector<std::string> args, const std::string& dir) {
    args.insert(args.begin(), {"--name", "set"});
    return test::runProgram(EMBED_PATH, args, dir, 120);
}

// The frames and durations of dir/set.c.
struct Set {
    std::vector<std::string> frames;
    std::vector<int> durations;
};

Set readSet(const std::string& dir) {
    const std::string text = test::readFile(dir + "/set.c");
    Set set;
    const size_t durationsAt = std::min(text.size(), text.find("set_durations_ms"));
    std::string bytes;
    const std::regex hex("0x([0-9a-f]{2})");
    const std::string frames = text.substr(0, durationsAt);
    for (auto it = std::sregex_iterator(frames.begin(), frames.end(), hex);
         it != std::sregex_iterator(); ++it)
        bytes += char(std::stoi((*it)[1], nullptr, 16));
    for (size_t at = 0; at + 4080 <= bytes.size(); at += 4080)
        set.frames.push_back(bytes.substr(at, 4080));
    if (durationsAt < text.size()) {
        const std::string list = text.substr(text.find('{', durationsAt));
        const std::regex number("[0-9]+");
        for (auto it = std::sregex_iterator(list.begin(), list.end(), number);
             it != std::sregex_iterator(); ++it)
            set.durations.push_back(std::stoi(it->str()));
    }
    return set;
}

// What grayframe makes of each still, in order.
std::vector<std::string> grayframeFrames(const std::vector<std::string>& stills,
                                         const std::string& dir) {
    std::vector<std::string> args = {"-printdata"};
    for (const std::string& still : stills) args.insert(args.end(), {"-i", still});
    const std::string raw = test::runGrayframe(args, dir).out;
    std::vector<std::string> frames;
    for (size_t at = 0; at + 4080 <= raw.size(); at += 4080)
        frames.push_back(raw.substr(at, 4080));
    return frames;
}

std::vector<std::string> numbered(const std::string& pattern, int count, int first = 0) {
    std::vector<std::string> names;
    char name[64];
    for (int i = first; i < first + count; ++i) {
        std::snprintf(name, sizeof name, pattern.c_str(), i);
        names.push_back(name);
    }
    return names;
}

// ImageMagick's coalesced frames of file flattened over gray level background.
std::vector<std::string> coalescedStills(const std::string& file, int count,
                                         const std::string& dir, int background = 0) {
    const std::string gray = "gray(" + std::to_string(background) + ")";
    tool("convert",
         {file, "-coalesce", "-background", gray, "-alpha", "remove", "-alpha", "off",
          "still-%d.png"},
         dir);
    return grayframeFrames(numbered("still-%d.png", count), dir);
}

// What grayframe makes of the frames of WebPs and PNG stills flattened over gray level
// background by the script docs/animations.md gives.
std::vector<std::string> flattenedStills(const std::vector<std::string>& files, int count,
                                         const std::string& dir, int background = 0) {
    std::vector<std::string> args = {FLATTENED_FRAMES, std::to_string(background)};
    args.insert(args.end(), files.begin(), files.end());
    tool("/usr/bin/python3", args, dir);
    return grayframeFrames(numbered("frame-%d.png", count), dir);
}

std::string bigEndian32(uint32_t value) {
    return {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
}

std::string pngChunk(const std::string& type, const std::string& data) {
    const std::string bytes = bigEndian32(uint32_t(data.size())) + type + data;
    return bytes + bigEndian32(test::crc32(bytes, 4, bytes.size()));
}

// A picture of an APNG: 8-bit BGRA, where it goes, its disposal and blending codes.
struct ApngFrame {
    cv::Mat bgra;
    int x, y, dispose, blend;
};

// The APNG of frames, each lasting 100 ms, the first covering the canvas.
std::string apngOf(const std::vector<ApngFrame>& frames) {
    std::string apng = "\x89PNG\r\n\x1a\n";
    uint32_t sequence = 0;
    for (size_t k = 0; k < frames.size(); ++k) {
        std::vector<uchar> still;
        cv::imencode(".png", frames[k].bgra, still);
        const std::string png(still.begin(), still.end());
        std::string data;
        for (size_t at = 8; at + 12 <= png.size();) {
            const uint32_t length =
                uint32_t(uint8_t(png[at])) << 24 | uint32_t(uint8_t(png[at + 1])) << 16 |
                uint32_t(uint8_t(png[at + 2])) << 8 | uint8_t(png[at + 3]);
            if (k == 0 && png.compare(at + 4, 4, "IHDR") == 0)
                apng += png.substr(at, 12 + length) +
                        pngChunk("acTL",
                                 bigEndian32(uint32_t(frames.size())) + bigEndian32(0));
            if (png.compare(at + 4, 4, "IDAT") == 0) data += png.substr(at + 8, length);
            at += 12 + length;
        }
        const ApngFrame& frame = frames[k];
        std::string control = bigEndian32(sequence++);
        for (const int value : {frame.bgra.cols, frame.bgra.rows, frame.x, frame.y})
            control += bigEndian32(uint32_t(value));
        const char delay[] = {0, 1, 0, 10};  // a tenth of a second
        apng += pngChunk("fcTL", control + std::string(delay, 4) + char(frame.dispose) +
                                     char(frame.blend));
        apng += k == 0 ? pngChunk("IDAT", data)
                       : pngChunk("fdAT", bigEndian32(sequence++) + data);
    }
    return apng + pngChunk("IEND", "");
}

// Pictures with transparent and half-transparent parts, of changing size and place; the
// first one's only part is opaque.
void writeLayers(const test::TempDir& dir) {
    for (int i = 0; i < 5; ++i) {
        cv::Mat layer(60, 80, CV_8UC4, cv::Scalar(0, 0, 0, 0));
        cv::Mat picture = test::makePicture(40 + 5 * i, 30, unsigned(i + 1));
        cv::Mat bgra;
        cv::cvtColor(picture, bgra, cv::COLOR_BGR2BGRA);
        bgra.copyTo(layer(cv::Rect(4 * i, 3 * i, picture.cols, picture.rows)));
        if (i > 0)
            cv::circle(layer, {60 - 5 * i, 40}, 12,
                       cv::Scalar(255, 40 * i, 0, i % 2 ? 128 : 255), -1);
        cv::imwrite(dir / ("layer-" + std::to_string(i) + ".png"), layer);
    }
}

TEST(Animation, OptimizedGifFramesAreTheCoalescedStillsWithEveryDisposal) {
    const test::TempDir dir;
    writeLayers(dir);
    // Disposal none, background and previous; GIF transparency; a zero delay (shown as
    // 100 ms). Interlacing and palettes of each image's own: the giflib-made GIF below.
    tool("convert", {"-dispose", "none",       "-delay",  "10",       "layer-0.png",
                     "-dispose", "background", "-delay",  "20",       "layer-1.png",
                     "-dispose", "previous",   "-delay",  "0",        "layer-2.png",
                     "-dispose", "none",       "-delay",  "7",        "layer-3.png",
                     "-dispose", "background", "-delay",  "3",        "layer-4.png",
                     "-loop",    "0",          "-layers", "optimize", "anim.gif"},
         dir.path);
    ASSERT_EQ(embed({"anim.gif"}, dir.path).status, 0);
    const Set set = readSet(dir.path);
    EXPECT_EQ(set.frames, coalescedStills("anim.gif", 5, dir.path));
    EXPECT_EQ(set.durations, (std::vector<int>{100, 200, 100, 70, 30}));
    // Display options make an animation's frames as they make the stills'.
    const std::vector<std::string> display = {"--gray",    "luma",     "--dither",
                                              "diffusion", "--mirror", "vertical",
                                              "--nibbles", "low-first"};
    std::vector<std::string> args = display;
    args.push_back("anim.gif");
    ASSERT_EQ(embed(args, dir.path).status, 0);
    const Set shown = readSet(dir.path);
    args = display;
    for (const std::string& still : numbered("still-%d.png", 5)) args.push_back(still);
    ASSERT_EQ(embed(args, dir.path).status, 0);
    EXPECT_EQ(shown.frames, readSet(dir.path).frames);
}

TEST(Animation, WebPAndApngFramesAreTheDecodedStills) {
    const test::TempDir dir;
    writeLayers(dir);
    tool("ffmpeg",
         {"-v", "error", "-framerate", "4", "-i", "layer-%d.png", "-c:v", "libwebp_anim",
          "-lossless", "1", "-loop", "0", "anim.webp"},
         dir.path);
    ASSERT_EQ(embed({"anim.webp"}, dir.path).status, 0);
    Set set = readSet(dir.path);
    EXPECT_EQ(set.frames, flattenedStills({"anim.webp"}, 5, dir.path));
    EXPECT_EQ(set.durations, (std::vector<int>{250, 250, 250, 250, 250}));
    // Frames put in place of what they cover, not blended over it.
    std::vector<std::string> mux;
    for (const std::string& layer : numbered("layer-%d.png", 5)) {
        tool("cwebp", {"-quiet", "-lossless", layer, "-o", layer + ".webp"}, dir.path);
        mux.insert(mux.end(), {"-frame", layer + ".webp",
                               layer == "layer-3.png" ? "+100+0+0+0+b" : "+100+0+0+0-b"});
    }
    mux.insert(mux.end(), {"-loop", "0", "-o", "kept.webp"});
    tool("webpmux", mux, dir.path);
    ASSERT_EQ(embed({"--background", "60", "kept.webp"}, dir.path).status, 0);
    EXPECT_EQ(readSet(dir.path).frames, flattenedStills({"kept.webp"}, 5, dir.path, 60));

    // Every disposal and blending, over half-transparent parts.
    std::vector<ApngFrame> frames;
    const cv::Rect places[] = {{0, 0, 80, 60},
                               {20, 10, 50, 40},
                               {10, 5, 60, 45},
                               {0, 0, 70, 50},
                               {5, 20, 75, 40}};
    const int disposals[] = {0, 2, 1, 0, 0}, blendings[] = {0, 1, 1, 0, 1};
    for (int k = 0; k < 5; ++k)
        frames.push_back({cv::imread(dir / ("layer-" + std::to_string(k) + ".png"),
                                     cv::IMREAD_UNCHANGED)(places[k]),
                          places[k].x, places[k].y, disposals[k], blendings[k]});
    test::writeFile(dir / "anim.png", apngOf(frames));
    tool("ffmpeg",
         {"-v", "error", "-i", "anim.png", "-fps_mode", "passthrough", "apng-%d.png"},
         dir.path);
    ASSERT_EQ(embed({"--background", "60", "anim.png"}, dir.path).status, 0);
    set = readSet(dir.path);
    EXPECT_EQ(set.frames,
              flattenedStills(numbered("apng-%d.png", 5, 1), 5, dir.path, 60));
    EXPECT_EQ(set.durations, (std::vector<int>{100, 100, 100, 100, 100}));
}

// 16-bit gray with alpha (beyond what FFmpeg decodes) and a palette with a transparent
// entry, both written by FFmpeg: each frame is what grayframe makes of the same picture
// as a PNG still, 16-bit samples taken to 8 bits as for stills. What is transparent is
// black, as the background, since stills do not use alpha.
TEST(Animation, ApngOfEveryDepthGivesWhatItsPicturesGiveAsStills) {
    const test::TempDir dir;
    writeLayers(dir);
    // A picture changing in opposite corners: FFmpeg blends each frame over the last.
    cv::Mat gray;
    cv::cvtColor(test::makePicture(80, 60, 7), gray, cv::COLOR_BGR2GRAY);
    for (int i = 0; i < 4; ++i) {
        cv::Mat picture = gray.clone(), deep;
        picture(cv::Rect(2 + 3 * i, 2, 10, 10)).setTo(40 * i + 20);
        picture(cv::Rect(60 - 3 * i, 45, 12, 10)).setTo(200 - 30 * i);
        // Low bytes of 200: rounded to 8 bits, one level more than the stills give.
        picture.convertTo(picture, CV_16U, 256, 200);
        cv::cvtColor(picture, deep, cv::COLOR_GRAY2BGRA);
        cv::imwrite(dir / ("deep-" + std::to_string(i) + ".png"), deep);
    }
    tool("ffmpeg",
         {"-v", "error", "-i", "deep-%d.png", "-pix_fmt", "ya16be", "gray-%d.png"},
         dir.path);
    tool("ffmpeg",
         {"-v", "error", "-framerate", "12.5", "-i", "gray-%d.png", "-plays", "0", "-f",
          "apng", "gray.png"},
         dir.path);
    tool("ffmpeg",
         {"-v", "error", "-i", "layer-%d.png", "-vf",
          "palettegen=transparency_color=black", "palette.png"},
         dir.path);
    for (const std::string output : {"palette-%d.png", "palette-anim.png"})
        tool("ffmpeg",
             {"-v", "error", "-i", "layer-%d.png", "-i", "palette.png", "-lavfi",
              "paletteuse=alpha_threshold=128", "-plays", "0", "-f",
              output == "palette-anim.png" ? "apng" : "image2", output},
             dir.path);
    const struct {
        std::string file, stills, depthAndColourType;
        int frames, durationMs;
    } animations[] = {{"gray.png", "gray-%d.png", std::string("\x10\x04", 2), 4, 80},
                      {"palette-anim.png", "palette-%d.png", "\x08\x03", 5, 40}};
    for (const auto& animation : animations) {
        EXPECT_EQ(test::readFile(dir / animation.file).substr(24, 2),
                  animation.depthAndColourType);
        ASSERT_EQ(embed({animation.file}, dir.path).status, 0) << animation.file;
        const Set set = readSet(dir.path);
        EXPECT_EQ(
            set.frames,
            grayframeFrames(numbered(animation.stills, animation.frames, 1), dir.path))
            << animation.file;
        EXPECT_EQ(set.durations,
                  std::vector<int>(size_t(animation.frames), animation.durationMs));
    }
}

double meanLevelDifference(const std::string& a, const std::string& b) {
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i)
        sum += std::abs((a[i] >> 4 & 15) - (b[i] >> 4 & 15)) +
               std::abs((a[i] & 15) - (b[i] & 15));
    return sum / double(2 * a.size());
}

TEST(Animation, VideoFramesAreTheDecodedStillsAndTheCutIsTimed) {
    const test::TempDir dir;
    tool("ffmpeg",
         {"-v", "error", "-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=2",
          "-c:v", "libx264", "-pix_fmt", "yuv420p", "clip.mp4"},
         dir.path);
    tool("ffmpeg",
         {"-v", "error", "-i", "clip.mp4", "-fps_mode", "passthrough", "video-%d.png"},
         dir.path);
    // Mixed with a still and a multi-page TIFF, each in command-line order.
    cv::imwrite(dir / "still.png", test::makePicture(50, 40, 9));
    const std::vector<cv::Mat> pages = {test::makePicture(30, 20, 3),
                                        test::makePicture(20, 30, 4)};
    cv::imwritemulti(dir / "pages.tif", pages);
    ASSERT_EQ(embed({"still.png", "clip.mp4", "pages.tif"}, dir.path).status, 0);
    const Set set = readSet(dir.path);
    ASSERT_EQ(set.frames.size(), 53u);
    const std::vector<std::string> stills =
        grayframeFrames(numbered("video-%d.png", 50, 1), dir.path);
    ASSERT_EQ(stills.size(), 50u);
    for (size_t i = 0; i < 50; ++i)
        EXPECT_LE(meanLevelDifference(set.frames[i + 1], stills[i]), 1.0)
            << "frame " << i;
    EXPECT_EQ(set.frames[0], grayframeFrames({"still.png"}, dir.path)[0]);
    EXPECT_EQ(set.durations, [] {
        std::vector<int> durations(53, 40);
        durations[0] = durations[51] = durations[52] = 0;
        return durations;
    }());

    ASSERT_EQ(
        embed({"--fps", "3", "--start", "0.5", "--duration", "1", "clip.mp4"}, dir.path)
            .status,
        0);
    const Set sampled = readSet(dir.path);
    EXPECT_EQ(sampled.durations, (std::vector<int>{333, 334, 333}));
    // The frame shown at 0.5 s + k / 3 s: video-13.png is the one at 0.48 s.
    const std::vector<std::string> shown =
        grayframeFrames({"video-13.png", "video-21.png", "video-30.png"}, dir.path);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_LE(meanLevelDifference(sampled.frames[i], shown[i]), 1.0);
}

// What grayframe makes of each of the first count frames of video taken out as a still
// by ffmpeg (upright, as ffmpeg shows them).
std::vector<std::string> videoStills(const std::string& video, int count,
                                     const std::string& dir) {
    const std::string stills = video + "-%d.png";
    tool("ffmpeg", {"-v", "error", "-i", video, "-fps_mode", "passthrough", stills}, dir);
    return grayframeFrames(numbered(stills, count, 1), dir);
}

// A video made by ffmpeg with args (the last naming it), and its stills as above.
std::vector<std::string> videoAndStills(std::vector<std::string> args, int count,
                                        const std::string& dir) {
    args.insert(args.begin(), {"-v", "error"});
    tool("ffmpeg", args, dir);
    return videoStills(args.back(), count, dir);
}

// Sampling at a video's own rate gives its frames, each sampled where a frame begins,
// however far into the clip (1.4 s is not a sum of 0.04 s in floating point).
TEST(Animation, SamplesAtFrameTimesAreThoseFrames) {
    const test::TempDir dir;
    const std::vector<std::string> h264 =
        videoAndStills({"-f", "lavfi", "-i", "testsrc2=size=96x72:rate=25:duration=2.4",
                        "-c:v", "libx264", "-pix_fmt", "yuv420p", "clip.mp4"},
                       60, dir.path);
    const std::vector<std::string> vp9 =
        videoAndStills({"-f", "lavfi", "-i", "testsrc2=size=96x72:rate=20:duration=2",
                        "-c:v", "libvpx-vp9", "-deadline", "realtime", "clip.webm"},
                       40, dir.path);
    ASSERT_EQ(h264.size(), 60u);
    ASSERT_EQ(vp9.size(), 40u);
    ASSERT_EQ(embed({"--fps", "25", "clip.mp4"}, dir.path).status, 0);
    EXPECT_TRUE(readSet(dir.path).frames == h264);
    ASSERT_EQ(embed({"--fps", "20", "clip.webm"}, dir.path).status, 0);
    EXPECT_TRUE(readSet(dir.path).frames == vp9);
    ASSERT_EQ(embed({"--start", "1.4", "--fps", "5", "clip.mp4"}, dir.path).status, 0);
    const Set set = readSet(dir.path);
    EXPECT_TRUE(set.frames == (std::vector<std::string>{h264[35], h264[40], h264[45],
                                                        h264[50], h264[55]}));
    EXPECT_EQ(set.durations, std::vector<int>(5, 200));
    // A cut that begins where a frame does begins with that frame, for its whole time.
    ASSERT_EQ(embed({"--start", "1.4", "--duration", "0.2", "clip.mp4"}, dir.path).status,
              0);
    const Set cut = readSet(dir.path);
    EXPECT_TRUE(cut.frames == std::vector<std::string>(h264.begin() + 35, h264.begin() + 40));
    EXPECT_EQ(cut.durations, std::vector<int>(5, 40));
}

// The bytes of an MP4 with the display matrix of its first track header set to a, b, c
// and d (whole numbers; see display_matrix.h).
std::string withDisplayMatrix(std::string mp4, int a, int b, int c, int d) {
    const size_t type = mp4.find("tkhd");
    const size_t matrix = type + 8 + (mp4[type + 4] == 1 ? 32 : 20) + 16;
    const int entries[][2] = {{0, a}, {1, b}, {3, c}, {4, d}};
    for (const auto& [index, value] : entries)
        for (int i = 0; i < 4; ++i)
            mp4[matrix + 4 * size_t(index) + size_t(i)] =
                char(uint32_t(value) << 16 >> (24 - 8 * i));
    return mp4;
}

// A video whose stream says to show it turned or mirrored gives its frames so, as ffmpeg
// shows them: rotations both ways, a half turn, rows made columns, a mirror.
TEST(Animation, TurnedVideoFramesAreShownUpright) {
    const test::TempDir dir;
    tool("ffmpeg",
         {"-v", "error", "-f", "lavfi", "-i", "testsrc2=size=96x64:rate=10:duration=0.3",
          "-c:v", "libx264", "-pix_fmt", "yuv420p", "clip.mp4"},
         dir.path);
    std::vector<std::string> videos;
    for (const std::string angle : {"90", "180", "270"}) {
        videos.push_back("turned-" + angle + ".mp4");
        tool("ffmpeg",
             {"-v", "error", "-i", "clip.mp4", "-c:v", "copy", "-metadata:s:v:0",
              "rotate=" + angle, videos.back()},
             dir.path);
    }
    const std::string clip = test::readFile(dir / "clip.mp4");
    test::writeFile(dir / "transposed.mp4", withDisplayMatrix(clip, 0, 1, 1, 0));
    test::writeFile(dir / "mirrored.mp4", withDisplayMatrix(clip, -1, 0, 0, 1));
    videos.insert(videos.end(), {"transposed.mp4", "mirrored.mp4"});
    for (const std::string& video : videos) {
        ASSERT_EQ(embed({video}, dir.path).status, 0);
        const std::vector<std::string> upright = videoStills(video, 3, dir.path);
        ASSERT_EQ(upright.size(), 3u);
        EXPECT_TRUE(readSet(dir.path).frames == upright) << video;
    }
}

TEST(Animation, DamagedOrHostileFilesGiveOneLineAndChangeNothing) {
    const test::TempDir dir;
    writeLayers(dir);
    tool("convert",
         {"-delay", "10", "layer-0.png", "layer-1.png", "layer-2.png", "anim.gif"},
         dir.path);
    tool("ffmpeg",
         {"-v", "error", "-i", "layer-%d.png", "-c:v", "libwebp_anim", "anim.webp"},
         dir.path);
    tool("ffmpeg",
         {"-v", "error", "-i", "layer-%d.png", "-pix_fmt", "rgba", "-f", "apng",
          "anim.png"},
         dir.path);
    tool("ffmpeg",
         {"-v", "error", "-f", "lavfi", "-i", "testsrc=size=64x48:rate=10:duration=1",
          "-c:v", "libx264", "clip.mp4"},
         dir.path);
    tool("ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "sine=duration=0.2", "sound.mkv"},
         dir.path);
    for (const std::string name : {"anim.gif", "anim.webp", "anim.png", "clip.mp4"}) {
        const std::string bytes = test::readFile(dir / name);
        test::writeFile(dir / ("cut-" + name), bytes.substr(0, bytes.size() * 2 / 3));
    }
    // An APNG with a frame's CRC wrong, one of an interlace method the format may gain
    // and one of a canvas of 65535 x 65535.
    const std::string apng = test::readFile(dir / "anim.png");
    const auto withIhdr = [&](size_t at, const std::string& bytes) {
        std::string changed = apng;
        changed.replace(at, bytes.size(), bytes);
        const uint32_t crc = test::crc32(changed, 12, 29);
        for (int i = 0; i < 4; ++i) changed[size_t(29 + i)] = char(crc >> (24 - 8 * i));
        return changed;
    };
    std::string crcWrong = apng;
    crcWrong[apng.find("fdAT") + 20] ^= 1;
    test::writeFile(dir / "crc-anim.png", crcWrong);
    test::writeFile(dir / "interlace-anim.png", withIhdr(28, "\x02"));
    test::writeFile(dir / "huge-anim.png",
                    withIhdr(16, std::string("\0\0\xff\xff\0\0\xff\xff", 8)));
    std::string damaged = test::readFile(dir / "clip.mp4");  // its frames, not its index
    for (size_t at = damaged.size() * 2 / 5, k = 0; k < 24; ++k) damaged[at + k] ^= 0x5a;
    test::writeFile(dir / "damaged-clip.mp4", damaged);
    // A GIF canvas of 65535 x 65535 and one of no pixels, in a few bytes.
    test::writeFile(dir / "huge.gif", std::string("GIF89a\xff\xff\xff\xff\x80\0\0", 13) +
                                          std::string(6, '\0') + ";");
    test::writeFile(dir / "empty.gif", std::string("GIF89a\0\0\0\0\x80\0\0", 13) +
                                           std::string(6, '\0') + ";");
    // A 3000 x 3000 canvas with 100 images of one pixel, in 1.8 KB.
    std::string image(
        "\x21\xf9\x04\x00\x02\x00\x00\x00\x2c\0\0\0\0\x01\0\x01\0\0\x02\x02\x4c\x01\0",
        23);
    std::string many = std::string("GIF89a\xb8\x0b\xb8\x0b\x80\0\0", 13) +
                       std::string(3, '\0') + std::string(3, '\xff');
    for (int i = 0; i < 100; ++i) many += image;
    test::writeFile(dir / "many.gif", many + ";");
    // Frames lasting longer than a set's durations hold, and just as long as they do.
    tool("convert",
         {"-delay", "10", "layer-0.png", "-delay", "7000", "layer-1.png", "slow.gif"},
         dir.path);
    tool("convert", {"-delay", "6553", "layer-0.png", "layer-1.png", "edge.gif"},
         dir.path);
    tool("convert", {"-delay", "7000", "layer-2.png", "still.gif"}, dir.path);
    ASSERT_EQ(embed({"edge.gif", "still.gif"}, dir.path).status, 0);
    EXPECT_EQ(readSet(dir.path).durations, (std::vector<int>{65530, 65530, 0}));
    ASSERT_EQ(embed({"layer-0.png"}, dir.path).status, 0);
    const std::string header = test::readFile(dir / "set.h"),
                      source = test::readFile(dir / "set.c");

    const std::string prefix = "grayframe-embed: cannot read image '";
    const struct {
        std::vector<std::string> args;
        std::string message;
    } failures[] = {
        {{"cut-anim.gif"},
         "cut-anim.gif': damaged or cut GIF (Failed to read from given file)"},
        {{"cut-anim.webp"}, "cut-anim.webp': damaged or cut WebP"},
        {{"cut-anim.png"}, "cut-anim.png': damaged or cut APNG"},
        {{"crc-anim.png"},
         "crc-anim.png': damaged APNG (the CRC of a chunk fdAT is wrong)"},
        {{"interlace-anim.png"},
         "interlace-anim.png': APNG not supported (compression, filter or interlace "
         "method 0, 0, 2)"},
        {{"huge-anim.png"},
         "huge-anim.png': the APNG's canvas of 65535 x 65535 pixels is too large"},
        {{"cut-clip.mp4"},
         "cut-clip.mp4': not a readable video (Invalid data found when processing "
         "input)"},
        {{"damaged-clip.mp4"},
         "damaged-clip.mp4': damaged video (Invalid data found when processing input)"},
        {{"sound.mkv"}, "sound.mkv': holds no video stream this program decodes"},
        {{"huge.gif"},
         "huge.gif': the GIF's canvas of 65535 x 65535 pixels is too large"},
        {{"empty.gif"}, "empty.gif': the GIF's canvas has no pixels"},
        {{"many.gif"},
         "many.gif': its frames hold more than 268435456 pixels in all, too many for its "
         "size (no option cuts it: make it of fewer or smaller frames)"},
        {{"--max-frames", "8", "clip.mp4"},
         "clip.mp4': more than 8 frames (see --max-frames)"},
        {{"--max-frames", "3", "layer-0.png", "anim.gif"},
         "anim.gif': more than 3 frames (see --max-frames)"},
        {{"layer-0.png", "slow.gif"},
         "slow.gif': a frame lasts more than 65535 ms, the longest a set's durations "
         "hold"},
    };
    const struct {
        std::vector<std::string> args;
        std::string message;
    } refusals[] = {
        {{"--background", "256", "anim.gif"},
         "--background takes a gray level from 0 to 255, not '256'"},
        {{"--still-ms", "1.5", "anim.gif"},
         "--still-ms takes milliseconds from 0 to 65535, not '1.5'"},
        {{"--fps", "0", "clip.mp4"},
         "--fps takes frames a second, above 0 and at most 1000, not '0'"},
        {{"--duration", "-1", "clip.mp4"},
         "--duration takes seconds, more than 0, not '-1'"},
        {{"--preview", "look.jpg", "anim.gif"},
         "--preview takes a file name ending in .png or .gif, not 'look.jpg'"},
    };
    for (const auto& refusal : refusals) {
        const test::RunResult run = embed(refusal.args, dir.path);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, "grayframe-embed: " + refusal.message +
                               " (see grayframe-embed --help)\n");
    }
    for (const auto& failure : failures) {
        const test::RunResult run = embed(failure.args, dir.path);
        EXPECT_EQ(run.status, 1) << failure.message;
        EXPECT_EQ(run.err, prefix + failure.message + "\n");
        EXPECT_TRUE(test::readFile(dir / "set.h") == header &&
                    test::readFile(dir / "set.c") == source)
            << failure.message;
    }
}

TEST(Animation, TimingOnlyWhenAskedAndPreviewsReadBack) {
    const test::TempDir dir;
    writeLayers(dir);
    tool("convert",
         {"-delay", "30", "layer-0.png", "-delay", "45", "layer-1.png", "anim.gif"},
         dir.path);
    tool("convert", {"layer-2.png", "one.gif"}, dir.path);
    // A GIF of one image is a still: no timing, unless --still-ms asks for it.
    ASSERT_EQ(embed({"one.gif", "layer-3.png"}, dir.path).status, 0);
    EXPECT_EQ(test::readFile(dir / "set.h").find("durations"), std::string::npos);
    std::vector<std::string> expected = coalescedStills("one.gif", 1, dir.path);
    expected.push_back(grayframeFrames({"layer-3.png"}, dir.path).at(0));
    EXPECT_EQ(readSet(dir.path).frames, expected);
    ASSERT_EQ(embed({"--still-ms", "250", "one.gif", "layer-3.png"}, dir.path).status, 0);
    EXPECT_NE(test::readFile(dir / "set.h")
                  .find("extern const unsigned short set_durations_ms[SET_FRAME_COUNT];"),
              std::string::npos);
    EXPECT_EQ(readSet(dir.path).durations, (std::vector<int>{250, 250}));

    ASSERT_EQ(
        embed({"--preview", "look.png", "anim.gif", "layer-3.png"}, dir.path).status, 0);
    const Set set = readSet(dir.path);
    EXPECT_EQ(set.durations, (std::vector<int>{300, 450, 0}));
    const cv::Mat sheet = cv::imread(dir / "look.png", cv::IMREAD_GRAYSCALE);
    ASSERT_EQ(sheet.size(), cv::Size(3 * 210 + 6, 182 + 6));
    for (int f = 0; f < 3; ++f)
        for (int y = 0; y < 80; ++y)
            for (int x = 0; x < 102; ++x) {
                const unsigned char byte = static_cast<unsigned char>(
                    set.frames[size_t(f)][size_t(y * 51 + x / 2)]);
                const int level = x % 2 ? byte & 15 : byte >> 4;
                ASSERT_EQ(sheet.at<unsigned char>(6 + 2 * y + 1, 6 + f * 210 + 2 * x),
                          level * 17);
            }

    ASSERT_EQ(
        embed({"--preview", "look.gif", "anim.gif", "layer-3.png"}, dir.path).status, 0);
    tool("convert", {"look.gif", "-coalesce", "look-%d.png"}, dir.path);
    const test::RunResult delays = test::runProgram(
        "/usr/bin/env", {"identify", "-format", "%T %w %h,", "look.gif"}, dir.path);
    EXPECT_EQ(delays.out, "30 306 240,45 306 240,0 306 240,");
    for (int f = 0; f < 3; ++f) {
        const cv::Mat frame = cv::imread(dir / ("look-" + std::to_string(f) + ".png"),
                                         cv::IMREAD_GRAYSCALE);
        ASSERT_FALSE(frame.empty());
        const unsigned char byte =
            static_cast<unsigned char>(set.frames[size_t(f)][40 * 51 + 25]);
        EXPECT_EQ(frame.at<unsigned char>(3 * 40 + 1, 3 * 50 + 1), (byte >> 4) * 17);
    }
}

// The bytes of frame f in dir/set.c.
std::string frameOfSet(const std::string& dir, int f) {
    const std::string text = test::readFile(dir + "/set.c");
    std::string bytes;
    for (size_t at = text.find("/* [" + std::to_string(f) + "] ");
         at != std::string::npos && bytes.size() < 4080; at += 4)
        if ((at = text.find("0x", at)) != std::string::npos)
            bytes += char(std::stoi(text.substr(at + 2, 2), nullptr, 16));
    return bytes;
}

TEST(Animation, LongSetsPreviewOnSeveralSheetsStagedWithTheSet) {
    const test::TempDir dir;
    tool("ffmpeg",
         {"-v", "error", "-f", "lavfi", "-i", "testsrc=size=64x48:rate=100", "-frames:v",
          "1001", "many.gif"},
         dir.path);
    ASSERT_EQ(embed({"--preview", "look.png", "many.gif"}, dir.path).status, 0);
    EXPECT_EQ(cv::imread(dir / "look.png", cv::IMREAD_GRAYSCALE).size(),
              cv::Size(10 * 210 + 6, 100 * 182 + 6));
    const cv::Mat last = cv::imread(dir / "look-2.png", cv::IMREAD_GRAYSCALE);
    ASSERT_EQ(last.size(), cv::Size(210 + 6, 182 + 6));
    const std::string frame = frameOfSet(dir.path, 1000);
    ASSERT_EQ(frame.size(), 4080u);
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 102; ++x) {
            const unsigned char byte =
                static_cast<unsigned char>(frame[size_t(y * 51 + x / 2)]);
            ASSERT_EQ(last.at<unsigned char>(6 + 2 * y, 6 + 2 * x),
                      (x % 2 ? byte & 15 : byte >> 4) * 17);
        }
    // A sheet that cannot be written fails the run, leaving the set and the other sheets.
    const std::string source = test::readFile(dir / "set.c"),
                      first = test::readFile(dir / "look.png");
    std::filesystem::remove(dir / "look-2.png");
    std::filesystem::create_directory(dir / "look-2.png");
    const test::RunResult run =
        embed({"--mode", "stretch", "--preview", "look.png", "many.gif"}, dir.path);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "grayframe-embed: cannot write 'look-2.png': not a regular file\n");
    EXPECT_TRUE(test::readFile(dir / "set.c") == source);
    EXPECT_TRUE(test::readFile(dir / "look.png") == first);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path),
                            std::filesystem::directory_iterator()),
              5);  // many.gif, set.h, set.c, look.png, look-2.png: nothing left behind
}

// Writes a GIF through giflib: a 40 x 30 canvas whose global palette's background is
// index 1, then images as given (left, top, width, height, interlaced, transparent
// index or -1, a palette of their own or not), each filled by fill(x, y).
struct GifImage {
    int left, top, width, height;
    bool interlaced;
    int transparent;
    bool ownPalette;
};

void writeGif(const std::string& path, const std::vector<GifImage>& images) {
    int error = 0;
    GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
    ASSERT_NE(gif, nullptr);
    GifColorType colours[8], others[8];
    for (int i = 0; i < 8; ++i) {
        colours[i] = {GifByteType(i * 30), GifByteType(255 - i * 30),
                      GifByteType(i * 10)};
        others[i] = {GifByteType(250 - i * 20), GifByteType(i * 25), GifByteType(200)};
    }
    ColorMapObject* global = GifMakeMapObject(8, colours);
    ColorMapObject* local = GifMakeMapObject(8, others);
    EGifSetGifVersion(gif, true);
    ASSERT_EQ(EGifPutScreenDesc(gif, 40, 30, 3, 1, global), GIF_OK);
    int k = 0;
    for (const GifImage& image : images) {
        GraphicsControlBlock control{k % 2 ? DISPOSE_BACKGROUND : DISPOSE_DO_NOT, false,
                                     4, image.transparent};
        GifByteType extension[4];
        EGifGCBToExtension(&control, extension);
        ASSERT_EQ(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension), GIF_OK);
        ASSERT_EQ(EGifPutImageDesc(gif, image.left, image.top, image.width, image.height,
                                   image.interlaced, image.ownPalette ? local : nullptr),
                  GIF_OK);
        std::vector<int> rows;
        const int starts[] = {0, 4, 2, 1}, steps[] = {8, 8, 4, 2};
        for (int pass = 0; pass < (image.interlaced ? 4 : 1); ++pass)
            for (int y = starts[pass]; y < image.height;
                 y += image.interlaced ? steps[pass] : 1)
                rows.push_back(y);
        for (const int y : rows) {
            std::vector<GifPixelType> line(size_t(image.width));
            for (int x = 0; x < image.width; ++x)
                line[size_t(x)] = GifPixelType((x / 3 + y / 2 + k) % 8);
            ASSERT_EQ(EGifPutLine(gif, line.data(), image.width), GIF_OK);
        }
        ++k;
    }
    GifFreeMapObject(global);
    GifFreeMapObject(local);
    ASSERT_EQ(EGifCloseFile(gif, &error), GIF_OK);
}

TEST(Animation, GifImagesOutsideTheCanvasInterlacedWithOwnPalettes) {
    const test::TempDir dir;
    // Images reaching past the canvas's right and bottom edges are cut there; the first
    // leaves the background colour showing; interlaced rows come in four passes. The
    // images with palettes of their own come last: giflib's writer loses a local
    // palette that an image without one follows.
    ASSERT_NO_FATAL_FAILURE(
        writeGif(dir / "edges.gif", {{5, 4, 20, 10, false, -1, false},
                                     {0, 0, 40, 30, true, 5, false},
                                     {30, 20, 25, 17, true, 3, true},
                                     {12, 25, 40, 9, false, 0, true}}));
    const test::RunResult made = embed({"--mode", "stretch", "edges.gif"}, dir.path);
    ASSERT_EQ(made.status, 0) << made.err;
    const Set set = readSet(dir.path);
    tool("convert",
         {"edges.gif", "-coalesce", "-background", "black", "-alpha", "remove", "-alpha",
          "off", "still-%d.png"},
         dir.path);
    std::string expected;
    for (const std::string& still : numbered("still-%d.png", 4))
        expected += test::runGrayframe(
                        {"-resizemode", "stretch", "-printdata", "-i", still}, dir.path)
                        .out;
    ASSERT_EQ(set.frames.size(), 4u);
    EXPECT_TRUE(set.frames[0] + set.frames[1] + set.frames[2] + set.frames[3] ==
                expected);
    EXPECT_EQ(set.durations, (std::vector<int>{40, 40, 40, 40}));
}

// The timing compiles with the frames, attribute included, as C89 and C++17.
TEST(Animation, DurationsCompileAndReadBackInCAndCxx) {
    const test::TempDir dir;
    writeLayers(dir);
    tool("convert",
         {"-delay", "12", "layer-0.png", "-delay", "250", "layer-1.png", "anim.gif"},
         dir.path);
    ASSERT_EQ(embed({"--attribute", "__attribute__((aligned(4)))", "--still-ms", "65535",
                     "anim.gif", "layer-2.png"},
                    dir.path)
                  .status,
              0);
    const std::string program =
        "#include <stdio.h>\n#include \"set.h\"\n"
        "int main(void) {\n    int f;\n"
        "    for (f = 0; f < SET_FRAME_COUNT; ++f) printf(\"%u \", "
        "set_durations_ms[f]);\n"
        "    return sizeof set_durations_ms == SET_FRAME_COUNT * sizeof(unsigned short) "
        "? 0 : 1;\n}\n";
    test::writeFile(dir / "main.c", program);
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{C_COMPILER, "-std=c89", "main.c", "set.c"},
          std::vector<std::string>{CXX_COMPILER, "-std=c++17", "-x", "c++", "main.c",
                                   "set.c"}}) {
        std::vector<std::string> args(command.begin() + 1, command.end());
        args.insert(args.end(),
                    {"-Wall", "-Wextra", "-Wpedantic", "-Werror", "-o", "program"});
        const test::RunResult built = test::runProgram(command[0], args, dir.path);
        ASSERT_EQ(built.status, 0) << built.err;
        EXPECT_EQ(test::runProgram(dir / "program", {}, dir.path).out, "120 2500 65535 ");
    }
    // For AVR, raw or compressed, the durations lie in program memory with the frames,
    // read through a function; the header declares no array of them.
    const std::string avrGcc = AVR_GCC;
    if (avrGcc.find("NOTFOUND") != std::string::npos) return;
    for (const std::string compress : {"--compress", "--still-ms=0"}) {
        SCOPED_TRACE(compress);
        ASSERT_EQ(embed({"--target", "avr", compress, "anim.gif"}, dir.path).status, 0);
        const test::RunResult built =
            test::runProgram(avrGcc,
                             {"-mmcu=atmega328p", "-Os", "-Wall", "-Wextra", "-Werror",
                              "-I", FIRMWARE_DIR, "-c", "set.c"},
                             dir.path);
        EXPECT_EQ(built.status, 0) << built.err;
        const std::string header = test::readFile(dir / "set.h");
        EXPECT_NE(header.find("unsigned short set_duration_ms(unsigned frame);"),
                  std::string::npos);
        EXPECT_EQ(header.find("set_durations_ms"), std::string::npos);
    }
}

// The helper sends each canvas's gray: for every colour, with either weights, the gray
// the colour library makes, so that frames stay those of the BGR canvases.
TEST(Animation, StreamedGrayIsTheLibrarysOfEveryColourWithTheWeightsAsked) {
    cv::setNumThreads(0);
    cv::Mat colours(4096, 4096, CV_8UC3);
    for (int i = 0; i < 1 << 24; ++i)
        colours.at<cv::Vec3b>(i >> 12, i & 4095) =
            cv::Vec3b(uchar(i), uchar(i >> 8), uchar(i >> 16));
    const std::pair<CanvasGray, int> conversions[] = {
        {CanvasGray::Converter, cv::COLOR_RGB2GRAY},
        {CanvasGray::Luma, cv::COLOR_BGR2GRAY}};
    for (const auto& [weights, conversion] : conversions) {
        cv::Mat expected, gray(colours.size(), CV_8UC1);
        cv::cvtColor(colours, expected, conversion);
        grayOfBgr(colours.data, colours.total(), weights, gray.data);
        EXPECT_EQ(cv::countNonZero(expected != gray), 0) << int(weights);
    }

    const test::TempDir dir;
    writeLayers(dir);
    tool("convert", {"layer-0.png", "layer-1.png", "layer-2.png", "anim.gif"}, dir.path);
    tool("convert",
         {"anim.gif", "-coalesce", "-background", "black", "-alpha", "remove", "-alpha",
          "off", "still-%d.png"},
         dir.path);
    std::vector<std::string> args = {"--gray", "luma"};
    for (const std::string& still : numbered("still-%d.png", 3)) args.push_back(still);
    ASSERT_EQ(embed(args, dir.path).status, 0);
    const std::vector<std::string> stills = readSet(dir.path).frames;
    ASSERT_EQ(embed({"--gray", "luma", "anim.gif"}, dir.path).status, 0);
    EXPECT_EQ(readSet(dir.path).frames, stills);
}

// A reader that hangs is ended once silent for the time allowed: one line, no output.
// A reader that goes silent, or sends a part number out of range, ends the run cleanly.
TEST(Animation, MisbehavingReaderIsEndedAndTheRunFailsCleanly) {
    const test::TempDir dir;
    std::filesystem::copy_file(EMBED_PATH, dir / "grayframe-embed");
    tool("ffmpeg",
         {"-v", "error", "-f", "lavfi", "-i", "testsrc=size=64x48:rate=10:duration=0.3",
          "clip.mp4"},
         dir.path);
    const struct {
        std::string script;
        std::string said;
    } readers[] = {
        {"printf GFA1\nexec sleep 60\n", "sent nothing for 1 second"},
        {"printf 'GFA1\\5\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\347\\3\\0\\0'\n",
         "sent a part it should not have"},
    };
    for (const auto& reader : readers) {
        test::writeFile(dir / "grayframe-animate", "#!/bin/sh\n" + reader.script);
        std::filesystem::permissions(dir / "grayframe-animate",
                                     std::filesystem::perms::owner_all);
        const test::RunResult run =
            test::runProgram(dir / "grayframe-embed", {"--name", "set", "clip.mp4"},
                             dir.path, 20, {"GRAYFRAME_ANIMATION_TIMEOUT=1"});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err,
                  "grayframe-embed: cannot read image 'clip.mp4': the animation "
                  "reader " +
                      reader.said + "\n");
        EXPECT_FALSE(std::filesystem::exists(dir / "set.c"));
        EXPECT_FALSE(std::filesystem::exists(dir / "set.h"));
    }
}

// Videos are decoded in parts at once where their key frames allow it: the set, its
// timing and the preview must be those of the video decoded in one piece, whether the
// frames' rows wait in the scratch file or in memory, with a still after them.
TEST(Animation, VideoReadInPartsIsTheVideoReadWhole) {
    const test::TempDir dir;
    const std::vector<std::vector<std::string>> codings = {
        {"-c:v", "libx264", "-g", "8", "-bf", "2", "clip.mp4"},
        {"-c:v", "libx264", "-g", "8", "-x264-params", "open-gop=1", "open.mp4"},
        {"-c:v", "libvpx-vp9", "-g", "9", "-deadline", "realtime", "clip.webm"},
        {"-c:v", "mjpeg", "clip.avi"}};
    cv::imwrite(dir / "still.png", test::makePicture(50, 40, 9));
    for (const std::vector<std::string>& coding : codings) {
        std::vector<std::string> args = {
            "-v",    "error", "-f",
            "lavfi", "-i",    "testsrc2=size=96x72:rate=20:duration=1.2"};
        args.insert(args.end(), coding.begin(), coding.end());
        tool("ffmpeg", args, dir.path);
        const std::string& video = coding.back();
        for (const std::vector<std::string>& options :
             {std::vector<std::string>{"still.png", video, "still.png"},
              {"--fps", "7", "--start", "0.3", "--duration", "0.8", video},
              {"--compress", "--preview", "sheet.png", video, "still.png"}}) {
            std::string whole[3];
            for (const char* parts : {"1", "3"}) {
                std::vector<std::string> line = {"--name", "set"};
                line.insert(line.end(), options.begin(), options.end());
                const test::RunResult run =
                    test::runProgram(EMBED_PATH, line, dir.path, 120,
                                     {std::string("GRAYFRAME_ANIMATION_PARTS=") + parts});
                ASSERT_EQ(run.status, 0) << run.err;
                const std::string made[3] = {
                    test::readFile(dir / "set.c"), test::readFile(dir / "set.h"),
                    options[0] == "--compress" ? test::readFile(dir / "sheet.png") : ""};
                for (int i = 0; i < 3 && parts[0] == '3'; ++i)
                    EXPECT_TRUE(made[i] == whole[i])
                        << video << " " << options[0] << " " << i;
                std::copy(made, made + 3, whole);
            }
        }
    }
}

TEST(FrameStream, KeepsPushOrderOnManyWorkersAndPassesOnWhatProduceThrows) {
    std::vector<cv::Mat> canvases;
    for (int i = 0; i < 40; ++i)
        canvases.push_back(test::makePicture(30 + 7 * i, 200 - 3 * i, unsigned(i)));
    const std::vector<PackedFrame> frames = reduceCanvases(
        [&](const CanvasPush& push) {
            for (const cv::Mat& canvas : canvases) push(canvas.clone());
        },
        [](const cv::Mat& canvas) { return packFrame(reduceToFrame(canvas, FitOut)); }, 7,
        100000);
    ASSERT_EQ(frames.size(), canvases.size());
    for (size_t i = 0; i < canvases.size(); ++i)
        EXPECT_TRUE(frames[i] == packFrame(reduceToFrame(canvases[i], FitOut))) << i;
    // Handed over as they are made, each once at its place, and not kept.
    std::mutex handedLock;
    std::vector<PackedFrame> handed(canvases.size());
    std::vector<int> times(canvases.size());
    const std::vector<PackedFrame> kept = reduceCanvases(
        [&](const CanvasPush& push) {
            for (const cv::Mat& canvas : canvases) push(canvas.clone());
        },
        [](const cv::Mat& canvas) { return packFrame(reduceToFrame(canvas, FitOut)); }, 5,
        100000,
        [&](std::size_t index, const PackedFrame& frame) {
            const std::lock_guard<std::mutex> lock(handedLock);
            handed.at(index) = frame;
            ++times.at(index);
        },
        false);
    EXPECT_TRUE(kept.empty());
    EXPECT_TRUE(handed == frames);
    EXPECT_EQ(times, std::vector<int>(canvases.size(), 1));
    EXPECT_THROW(
        reduceCanvases(
            [&](const CanvasPush& push) {
                push(canvases[0]);
                throw std::runtime_error("stop");
            },
            [](const cv::Mat& canvas) { return packFrame(reduceToFrame(canvas, FitIn)); },
            3, 1),
        std::runtime_error);
}

}  // namespace
