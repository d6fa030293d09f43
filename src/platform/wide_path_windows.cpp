// SPDX-License-Identifier: Apache-2.0
#include <windows.h>

#include "platform/wide_path.h"

namespace {

std::wstring inActiveCodePage(const std::string& path) {
    const int size = static_cast<int>(path.size());
    const int length = ::MultiByteToWideChar(CP_ACP, 0, path.data(), size, nullptr, 0);
    std::wstring result(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, path.data(), size, result.data(), length);
    return result;
}

}  // namespace

// 248: the longest directory name that CreateDirectoryW takes unprefixed (MAX_PATH less
// room for an 8.3 file name); files are allowed 259.
std::wstring widePath(const std::string& path) {
    const std::wstring name = inActiveCodePage(path);
    if (name.size() < 248 || name.compare(0, 4, L"\\\\?\\") == 0) return name;
    const DWORD length = ::GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
    if (length == 0) return name;
    std::wstring full(length, L'\0');
    const DWORD written = ::GetFullPathNameW(name.c_str(), length, full.data(), nullptr);
    if (written == 0 || written >= length) return name;
    full.resize(written);
    if (full.compare(0, 4, L"\\\\.\\") == 0) return full;  // a device
    if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}
