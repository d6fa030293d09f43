// SPDX-License-Identifier: Apache-2.0
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <vector>

#include "animated/animation_helper.h"
#include "animated/animation_stream.h"
#include "platform/process.h"

namespace {

// The pipe's buffer, asked of the system: several canvases' worth, so that the helper
// and the reduction seldom wait on each other (the system may give less).
constexpr int PIPE_BYTES = 1 << 20;

std::string number(double value) {
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text.precision(17);
    text << value;
    return text.str();
}

std::vector<std::string> helperArguments(const std::string& helper,
                                         const std::string& path,
                                         const AnimationRequest& request) {
    std::vector<std::string> arguments = {
        helper, "--background", std::to_string(request.background), "--max-frames",
        std::to_string(request.maxFrames)};
    if (request.fps > 0)
        arguments.insert(arguments.end(), {"--fps", number(request.fps)});
    if (request.start > 0)
        arguments.insert(arguments.end(), {"--start", number(request.start)});
    if (request.duration >= 0)
        arguments.insert(arguments.end(), {"--duration", number(request.duration)});
    if (request.gray != CanvasGray::None)
        arguments.insert(
            arguments.end(),
            {"--gray", request.gray == CanvasGray::Luma ? "luma" : "converter"});
    if (request.parts > 1)
        arguments.insert(arguments.end(), {"--parts", std::to_string(request.parts)});
    arguments.insert(arguments.end(), {"--", path});
    return arguments;
}

// How the child ended: "" for status 0 (or when it cannot be waited for because
// SIGCHLD is ignored), else a few words.
std::string howEnded(pid_t child) {
    int status = 0;
    pid_t waited;
    while ((waited = ::waitpid(child, &status, 0)) < 0 && errno == EINTR) {
    }
    if (waited < 0) return errno == ECHILD ? "" : std::strerror(errno);
    if (WIFSIGNALED(status))
        return std::string("the animation reader ended by signal ") +
               ::strsignal(WTERMSIG(status));
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return "";
    return "the animation reader failed";
}

// The read end of the helper's pipe and how long it may stay silent.
struct Stream {
    int fd = -1;
    int silenceMs = 0;
    bool silent = false;  // set once the helper sent nothing for silenceMs
    bool cut = false;     // set once it ended before its End or Problem record
};

// The problem of a stream that ended before its End or Problem record.
AnimationRead cutShort(Stream& stream) {
    stream.cut = true;
    return {"the animation reader stopped early"};
}

// All size bytes read from the stream, as readAll does, but false (and silent set) as
// soon as no byte came for silenceMs.
bool readSoon(Stream& stream, void* bytes, std::size_t size) {
    char* at = static_cast<char*>(bytes);
    while (size > 0) {
        pollfd ready{stream.fd, POLLIN, 0};
        const int polled = ::poll(&ready, 1, stream.silenceMs);
        if (polled < 0 && errno == EINTR) continue;
        if (polled == 0) stream.silent = true;
        if (polled <= 0) return false;
        const ssize_t got = ::read(stream.fd, at, size);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        at += got;
        size -= std::size_t(got);
    }
    return true;
}

// Reads the stream, handing frames to handler: "" when it ended properly.
AnimationRead receive(Stream& stream, const AnimationRequest& request,
                      const CanvasHandler& handler) {
    const RecordKind frameKind =
        request.gray == CanvasGray::None ? RecordKind::Frame : RecordKind::GrayFrame;
    char tag[4];
    if (!readSoon(stream, tag, 4) || std::memcmp(tag, ANIMATION_STREAM_TAG, 4) != 0)
        return {"the animation reader sent nothing usable"};
    int part = 0;
    for (long frames = 0;;) {
        RecordHead head;
        if (!readSoon(stream, &head, sizeof head)) return cutShort(stream);
        if (head.kind == RecordKind::End) return {"", head.value != 0};
        if (head.kind == RecordKind::Problem) {
            if (head.value < 0 || head.value > 4096)
                return {"the animation reader failed"};
            std::string text(size_t(head.value), '\0');
            if (!readSoon(stream, &text[0], text.size())) return cutShort(stream);
            for (char& c : text)
                if (c == '\n' || c == '\r') c = ' ';
            return {text, true,
                    head.rows == 1 ? AnimationProblem::FrameCap : AnimationProblem::Other};
        }
        if (head.kind == RecordKind::Part) {
            if (head.value < 0 || head.value >= MAX_READ_PARTS)
                return {"the animation reader sent a part it should not have"};
            part = head.value;
            continue;
        }
        if (head.kind != frameKind || !plausibleFrame(head) ||
            ++frames > request.maxFrames)
            return {"the animation reader sent a frame it should not have"};
        cv::Mat canvas(head.rows, head.cols,
                       frameKind == RecordKind::Frame ? CV_8UC3 : CV_8UC1);
        if (!readSoon(stream, canvas.data, canvas.total() * canvas.elemSize()))
            return cutShort(stream);
        handler(std::move(canvas), head.value, part);
    }
}

}  // namespace

AnimationRead readAnimation(const std::string& path, const AnimationRequest& request,
                            const CanvasHandler& handler) {
    static const std::string helper =
        findCompanion(ANIMATION_HELPER_BESIDE, ANIMATION_HELPER_INSTALLED);
    if (helper.empty())
        return {"the animation reader grayframe-animate is not installed"};
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return {std::strerror(errno)};
    ::fcntl(fds[0], F_SETPIPE_SZ, PIPE_BYTES);
    const pid_t child = spawnCompanion(helperArguments(helper, path, request), fds[1]);
    ::close(fds[1]);
    if (child <= 0) {
        ::close(fds[0]);
        return {"the animation reader cannot be started"};
    }
    AnimationRead result;
    Stream stream{fds[0], request.silenceSeconds * 1000};
    try {
        result = receive(stream, request, handler);
    } catch (...) {
        ::close(fds[0]);
        howEnded(child);
        throw;
    }
    ::close(fds[0]);
    if (stream.silent) {
        ::kill(child, SIGKILL);
        howEnded(child);
        return {"the animation reader sent nothing for " +
                std::to_string(request.silenceSeconds) +
                (request.silenceSeconds == 1 ? " second" : " seconds")};
    }
    const std::string ended = howEnded(child);
    if (result.problem.empty() && !ended.empty()) result.problem = ended;
    if (!ended.empty() && stream.cut) result.problem = ended;
    return result;
}
