// SPDX-License-Identifier: Apache-2.0
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <random>
#include <set>
#include <sstream>

#include "output/output_file.h"
#include "platform/process.h"
#include "platform/wide_path.h"

namespace {

// Paths as the program gets them, in the active code page; long ones prefixed.
std::wstring wide(const std::string& path) { return widePath(path); }

std::string narrow(const std::wstring& path) {
    const int size = static_cast<int>(path.size());
    const int length =
        ::WideCharToMultiByte(CP_ACP, 0, path.data(), size, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(length), '\0');
    BOOL lossy = FALSE;
    ::WideCharToMultiByte(CP_ACP, 0, path.data(), size, result.data(), length, nullptr,
                          &lossy);
    return lossy ? std::string() : result;
}

// The temporary files in flight, removed when the console asks the process to end. A
// file is created and recorded under the lock, and opened for sharing its deletion.
std::mutex inFlightLock;
std::set<std::string> inFlight;

// Runs on a thread of its own; the lock stays taken, so that no new temporary file is
// created before the default handler ends the process.
BOOL WINAPI removeInFlight(DWORD) {
    inFlightLock.lock();
    for (const std::string& temporary : inFlight) ::DeleteFileW(wide(temporary).c_str());
    return FALSE;
}

// Creates temporary, hidden, and records it; the handle, or INVALID_HANDLE_VALUE with
// the last error set.
HANDLE createTracked(const std::string& temporary) {
    const std::lock_guard<std::mutex> lock(inFlightLock);
    const HANDLE file =
        ::CreateFileW(wide(temporary).c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                      CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
    const DWORD error = ::GetLastError();
    if (file != INVALID_HANDLE_VALUE) inFlight.insert(temporary);
    ::SetLastError(error);
    return file;
}

void untrack(const std::string& temporary) {
    const std::lock_guard<std::mutex> lock(inFlightLock);
    inFlight.erase(temporary);
}

struct Handle {
    HANDLE handle;
    explicit Handle(HANDLE opened) : handle(opened) {}
    ~Handle() {
        if (valid()) ::CloseHandle(handle);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool valid() const { return handle != INVALID_HANDLE_VALUE; }
    bool close() {
        const bool closed = ::CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
        return closed;
    }
};

HANDLE openExisting(const std::string& path, DWORD access) {
    return ::CreateFileW(wide(path).c_str(), access,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool writeHandle(HANDLE handle, const void* bytes, std::size_t size) {
    const char* data = static_cast<const char*>(bytes);
    while (size > 0) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1 << 30));
        if (!::WriteFile(handle, data, chunk, &written, nullptr) || written == 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

// The file a symbolic link (or junction) leads to; path itself otherwise, or when that
// file's name cannot be written in the active code page.
std::string followLinks(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return path;
    const Handle file(openExisting(path, 0));
    if (!file.valid()) return path;
    std::wstring target(32768, L'\0');
    const DWORD length = ::GetFinalPathNameByHandleW(
        file.handle, target.data(), static_cast<DWORD>(target.size()), VOLUME_NAME_DOS);
    if (length == 0 || length >= target.size()) return path;
    target.resize(length);
    const std::string result = narrow(target);
    return result.empty() ? path : result;
}

bool sameBytes(HANDLE file, const void* data, std::size_t size) {
    LARGE_INTEGER length{};
    if (!::GetFileSizeEx(file, &length) ||
        static_cast<std::size_t>(length.QuadPart) != size)
        return false;
    std::string old(size, '\0');
    std::size_t got = 0;
    while (got < size) {
        DWORD n = 0;
        const DWORD chunk =
            static_cast<DWORD>(std::min<std::size_t>(size - got, 1 << 30));
        if (!::ReadFile(file, old.data() + got, chunk, &n, nullptr) || n == 0)
            return false;
        got += n;
    }
    return std::memcmp(old.data(), data, size) == 0;
}

bool touch(const std::string& path) {
    const Handle file(openExisting(path, FILE_WRITE_ATTRIBUTES));
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    return file.valid() && ::SetFileTime(file.handle, nullptr, nullptr, &now);
}

std::string temporaryName(const std::string& target) {
    static std::mt19937_64 random{std::random_device{}()};
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    const size_t slash = target.find_last_of("/\\:") + 1;  // npos + 1 == 0
    std::string name = "." + target.substr(slash, 200) + ".grayframe-";
    for (int i = 0; i < 6; ++i) name += letters[random() % (sizeof letters - 1)];
    return target.substr(0, slash) + name;
}

// The new bytes in a fresh temporary file beside target, hidden while it is written.
// Its name, or empty.
std::string writeTemporary(const std::string& target, const void* data,
                           std::size_t size) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temporary = temporaryName(target);
        Handle file(createTracked(temporary));
        if (!file.valid()) {
            if (::GetLastError() == ERROR_FILE_EXISTS) continue;
            return {};
        }
        const bool written = writeHandle(file.handle, data, size);
        if (file.close() && written &&
            ::SetFileAttributesW(wide(temporary).c_str(), FILE_ATTRIBUTE_NORMAL))
            return temporary;
        ::DeleteFileW(wide(temporary).c_str());
        untrack(temporary);
        return {};
    }
    return {};
}

}  // namespace

// Console control events come on a thread of their own; nothing to hold.
void withEndingSignalsHeld(const std::function<void()>& start) { start(); }

void protectOutputFiles() {
    static std::once_flag once;
    std::call_once(once, [] { ::SetConsoleCtrlHandler(removeInFlight, TRUE); });
}

std::optional<StagedFile> stageOutputFile(const std::string& path, const void* data,
                                          std::size_t size, SameContent same) {
    protectOutputFiles();
    StagedFile staged{followLinks(path), {}, false};
    const Handle old(openExisting(staged.target, GENERIC_READ));
    if (old.valid()) {
        BY_HANDLE_FILE_INFORMATION information{};
        if (::GetFileType(old.handle) != FILE_TYPE_DISK) {
            const Handle device(openExisting(staged.target, GENERIC_WRITE));
            if (!device.valid() || !writeHandle(device.handle, data, size))
                return std::nullopt;
            return staged;
        }
        if (!::GetFileInformationByHandle(old.handle, &information) ||
            (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            return std::nullopt;
        if (sameBytes(old.handle, data, size)) {
            staged.touch = same == SameContent::Touch;
            return staged;
        }
    }
    staged.temporary = writeTemporary(staged.target, data, size);
    if (staged.temporary.empty()) return std::nullopt;
    return staged;
}

bool commitOutputFile(const StagedFile& staged) {
    if (staged.temporary.empty()) return !staged.touch || touch(staged.target);
    const bool moved =
        ::MoveFileExW(wide(staged.temporary).c_str(), wide(staged.target).c_str(),
                      MOVEFILE_REPLACE_EXISTING);
    if (!moved) ::DeleteFileW(wide(staged.temporary).c_str());
    untrack(staged.temporary);
    return moved;
}

void discardOutputFile(const StagedFile& staged) {
    if (staged.temporary.empty()) return;
    ::DeleteFileW(wide(staged.temporary).c_str());
    untrack(staged.temporary);
}

std::string withTextFileLineEnds(const std::string& text) {
    std::string lines;
    lines.reserve(text.size() + text.size() / 32);
    for (const char c : text) {
        if (c == '\n') lines += '\r';
        lines += c;
    }
    return lines;
}

std::optional<StagedFile> stageOutputText(const std::string& path,
                                          const std::function<bool(std::ostream&)>& write,
                                          SameContent same) {
    std::ostringstream text;
    if (!write(text) || !text) return std::nullopt;
    const std::string file = withTextFileLineEnds(text.str());
    return stageOutputFile(path, file.data(), file.size(), same);
}
