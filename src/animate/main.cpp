// SPDX-License-Identifier: Apache-2.0
// grayframe-animate, the helper grayframe-embed starts for GIF, animated WebP, APNG and
// video files: it reads one file and streams its composited canvases and their
// durations to standard output (animated/animation_stream.h), so that the libraries that
// decode them stay out of grayframe-embed and a crash costs one clean error.
#include <fcntl.h>
#include <getopt.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "animated/animation_stream.h"
#include "animated/canvas_gray.h"
#include "animated/read_canvases.h"
#include "platform/process.h"

namespace {

const char usage[] =
    "Usage: grayframe-animate [--background GRAY] [--fps N] [--start SECONDS]\n"
    "                         [--duration SECONDS] [--max-frames N]\n"
    "                         [--gray converter|luma] [--parts N] FILE\n"
    "Reads every frame of the GIF, animated WebP, APNG or video FILE for "
    "grayframe-embed\n"
    "and writes the composited canvases with their durations to standard output in\n"
    "grayframe's own form; with --gray, each canvas's gray of those weights instead;\n"
    "with --parts, a video in up to N parts at once (default: 1).\n"
    "Exit status: 0 when written, 1 when FILE cannot be read, 2 for a wrong command "
    "line.\n";

bool parseNumber(const char* text, double low, double high, double& value) {
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && value >= low && value <= high;
}

bool sendProblem(int fd, const ReadResult& result) {
    const std::string& text = result.problem;
    const RecordHead head{RecordKind::Problem, result.capped ? 1 : 0, 0,
                          int32_t(text.size())};
    return writeAll(fd, &head, sizeof head) && writeAll(fd, text.data(), text.size());
}

}  // namespace

int main(int argc, char** argv) {
    static const option options[] = {{"background", required_argument, nullptr, 'b'},
                                     {"fps", required_argument, nullptr, 'f'},
                                     {"start", required_argument, nullptr, 's'},
                                     {"duration", required_argument, nullptr, 'd'},
                                     {"max-frames", required_argument, nullptr, 'm'},
                                     {"gray", required_argument, nullptr, 'g'},
                                     {"parts", required_argument, nullptr, 'p'},
                                     {"help", no_argument, nullptr, 'h'},
                                     {nullptr, 0, nullptr, 0}};
    ReadOptions read;
    double background = 0, maxFrames = DEFAULT_MAX_FRAMES, parts = 1;
    CanvasGray gray = CanvasGray::None;
    bool good = true;
    for (int option; (option = ::getopt_long(argc, argv, "", options, nullptr)) != -1;) {
        if (option == 'h') return std::fputs(usage, stdout) < 0;
        if (option == 'b')
            good = good && parseNumber(optarg, 0, 255, background);
        else if (option == 'f')
            good = good && parseNumber(optarg, 1e-3, 1000, read.fps);
        else if (option == 's')
            good = good && parseNumber(optarg, 0, 1e9, read.start);
        else if (option == 'd')
            good = good && parseNumber(optarg, 0, 1e9, read.duration);
        else if (option == 'm')
            good = good && parseNumber(optarg, 0, 1e9, maxFrames);
        else if (option == 'p')
            good = good && parseNumber(optarg, 1, MAX_READ_PARTS, parts);
        else if (option == 'g' && std::string(optarg) == "converter")
            gray = CanvasGray::Converter;
        else if (option == 'g' && std::string(optarg) == "luma")
            gray = CanvasGray::Luma;
        else
            good = false;
    }
    if (!good || optind + 1 != argc) {
        std::fputs(usage, stderr);
        return 2;
    }
    read.background = int(background);
    read.parts = int(parts);
    // The libraries' own messages on standard output would break the stream.
    const int out = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (out < 0 || null < 0 || ::dup2(null, STDOUT_FILENO) < 0) return 1;
    if (!writeAll(out, ANIMATION_STREAM_TAG, sizeof ANIMATION_STREAM_TAG)) return 1;

    int part = 0;
    bool writeFailed = false;
    const CanvasRequest request{read, gray, long(maxFrames)};
    const ReadResult result =
        readCanvases(argv[optind], request, [&](const Canvas& canvas,
                                                const std::vector<uint8_t>& samples) {
            const RecordHead head{
                gray == CanvasGray::None ? RecordKind::Frame : RecordKind::GrayFrame,
                canvas.height, canvas.width, canvas.durationMs};
            const RecordHead partHead{RecordKind::Part, 0, 0, canvas.part};
            writeFailed =
                (canvas.part != part && !writeAll(out, &partHead, sizeof partHead)) ||
                !writeAll(out, &head, sizeof head) ||
                !writeAll(out, samples.data(), samples.size());
            part = canvas.part;
            return !writeFailed;
        });
    if (writeFailed) return 1;
    if (!result.problem.empty()) {
        sendProblem(out, result);
        return 1;
    }
    const RecordHead end{RecordKind::End, 0, 0, result.animated ? 1 : 0};
    return writeAll(out, &end, sizeof end) && ::close(out) == 0 ? 0 : 1;
}
