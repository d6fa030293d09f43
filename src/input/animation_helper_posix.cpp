// SPDX-License-Identifier: Apache-2.0
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <vector>

#include "input/animation_helper.h"
#include "input/animation_stream.h"
#include "platform/program_directory.h"

extern char** environ;

namespace {

std::string findHelper() {
    const std::string directory = programDirectory();
    if (directory.empty()) return {};
    for (const char* relative : {ANIMATION_HELPER_BESIDE, ANIMATION_HELPER_INSTALLED}) {
        const std::string path = directory + relative;
        if (::access(path.c_str(), X_OK) == 0) return path;
    }
    return {};
}

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
    arguments.insert(arguments.end(), {"--", path});
    return arguments;
}

pid_t spawnHelper(const std::vector<std::string>& arguments, int fd) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, fd, STDOUT_FILENO);
    ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    ::posix_spawnattr_init(&attributes);
    sigset_t none;
    ::sigemptyset(&none);
    ::posix_spawnattr_setsigmask(&attributes, &none);
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t child = -1;
    const int failed =
        ::posix_spawn(&child, argv[0], &actions, &attributes, argv.data(), environ);
    ::posix_spawnattr_destroy(&attributes);
    ::posix_spawn_file_actions_destroy(&actions);
    return failed ? -1 : child;
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

// Reads the stream on fd, handing frames to handler: "" when it ended properly.
AnimationRead receive(int fd, long maxFrames, const CanvasHandler& handler) {
    char tag[4];
    if (!readBytes(fd, tag, 4) || std::memcmp(tag, ANIMATION_STREAM_TAG, 4) != 0)
        return {"the animation reader sent nothing usable"};
    for (long frames = 0;;) {
        RecordHead head;
        if (!readBytes(fd, &head, sizeof head))
            return {"the animation reader stopped early"};
        if (head.kind == RecordKind::End) return {"", head.value != 0};
        if (head.kind == RecordKind::Problem) {
            if (head.value < 0 || head.value > 4096)
                return {"the animation reader failed"};
            std::string text(size_t(head.value), '\0');
            if (!readBytes(fd, &text[0], text.size()))
                return {"the animation reader stopped early"};
            for (char& c : text)
                if (c == '\n' || c == '\r') c = ' ';
            return {text};
        }
        if (!plausibleFrame(head) || ++frames > maxFrames)
            return {"the animation reader sent a frame it should not have"};
        cv::Mat canvas(head.rows, head.cols, CV_8UC3);
        if (!readBytes(fd, canvas.data, canvas.total() * canvas.elemSize()))
            return {"the animation reader stopped early"};
        handler(std::move(canvas), head.value);
    }
}

}  // namespace

AnimationRead readAnimation(const std::string& path, const AnimationRequest& request,
                            const CanvasHandler& handler) {
    static const std::string helper = findHelper();
    if (helper.empty())
        return {"the animation reader grayframe-animate is not installed"};
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return {std::strerror(errno)};
    const pid_t child = spawnHelper(helperArguments(helper, path, request), fds[1]);
    ::close(fds[1]);
    if (child <= 0) {
        ::close(fds[0]);
        return {"the animation reader cannot be started"};
    }
    AnimationRead result;
    try {
        result = receive(fds[0], request.maxFrames, handler);
    } catch (...) {
        ::close(fds[0]);
        howEnded(child);
        throw;
    }
    ::close(fds[0]);
    const std::string ended = howEnded(child);
    if (result.problem.empty() && !ended.empty()) result.problem = ended;
    if (!ended.empty() && result.problem.find("stopped early") != std::string::npos)
        result.problem = ended;
    return result;
}
