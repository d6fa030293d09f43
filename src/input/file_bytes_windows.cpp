// SPDX-License-Identifier: Apache-2.0
#include <windows.h>

#include <algorithm>
#include <limits>

#include "input/file_bytes.h"
#include "platform/wide_path.h"

namespace {

struct Handle {
    HANDLE handle;
    ~Handle() {
        if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
    }
};

// Reads until bytes holds limit bytes or the file ends; false on an error.
bool readInto(HANDLE file, std::string& bytes, std::size_t limit) {
    for (;;) {
        const std::size_t got = bytes.size();
        if (got == limit) return true;
        const std::size_t room =
            std::max<std::size_t>(std::min(limit - got, bytes.capacity() - got), 1);
        bytes.resize(got + room);
        DWORD n = 0;
        const BOOL read = ::ReadFile(file, &bytes[got],
                                     static_cast<DWORD>(std::min<std::size_t>(room, 1 << 30)),
                                     &n, nullptr);
        bytes.resize(got + n);
        if (!read) return false;
        if (n == 0) return true;
    }
}

}  // namespace

std::optional<std::string> readRegularFile(const std::string& path,
                                           bool (*wanted)(const std::string& start)) {
    const Handle file{::CreateFileW(widePath(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
    BY_HANDLE_FILE_INFORMATION information{};
    if (file.handle == INVALID_HANDLE_VALUE || ::GetFileType(file.handle) != FILE_TYPE_DISK ||
        !::GetFileInformationByHandle(file.handle, &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::nullopt;
    std::string bytes;
    bytes.reserve(16);
    if (!readInto(file.handle, bytes, 16)) return std::nullopt;
    if (!wanted(bytes)) return bytes;
    const unsigned long long size =
        static_cast<unsigned long long>(information.nFileSizeHigh) << 32 |
        information.nFileSizeLow;
    bytes.reserve(static_cast<std::size_t>(size) + 1);
    if (!readInto(file.handle, bytes, std::numeric_limits<std::size_t>::max()))
        return std::nullopt;
    return bytes;
}

bool libraryOpensByName(const std::string& path) {
    const std::wstring wide = widePath(path);
    return wide.rfind(L"\\\\?\\", 0) != 0 && wide.size() < MAX_PATH;
}
