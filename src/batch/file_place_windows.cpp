// SPDX-License-Identifier: Apache-2.0
#include <io.h>
#include <windows.h>

#include "batch/file_place.h"
#include "platform/wide_path.h"

namespace {

FileIdentity identityOf(const BY_HANDLE_FILE_INFORMATION& information) {
    return {information.dwVolumeSerialNumber,
            static_cast<std::uint64_t>(information.nFileIndexHigh) << 32 |
                information.nFileIndexLow};
}

// The full path name without the "\\?\" prefix, in upper case as the file systems
// fold names, as UTF-8; empty when it cannot be made.
std::string foldedFullPath(const std::wstring& name) {
    const DWORD length = ::GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
    if (length == 0) return {};
    std::wstring full(length, L'\0');
    const DWORD written = ::GetFullPathNameW(name.c_str(), length, full.data(), nullptr);
    if (written == 0 || written >= length) return {};
    full.resize(written);
    if (full.compare(0, 8, L"\\\\?\\UNC\\") == 0)
        full = L"\\\\" + full.substr(8);
    else if (full.compare(0, 4, L"\\\\?\\") == 0)
        full = full.substr(4);
    const int size = static_cast<int>(full.size());
    std::wstring folded(full.size(), L'\0');
    if (::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, full.data(), size,
                        folded.data(), size, nullptr, nullptr, 0) != size)
        return {};
    const int bytes =
        ::WideCharToMultiByte(CP_UTF8, 0, folded.data(), size, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, folded.data(), size, result.data(), bytes, nullptr,
                          nullptr);
    return result;
}

}  // namespace

Place placeOf(const std::string& path, PlaceCache&) {
    const std::wstring name = widePath(path);
    Place place;
    place.path = foldedFullPath(name);
    const HANDLE file =
        ::CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return place;
    BY_HANDLE_FILE_INFORMATION information{};
    if (::GetFileInformationByHandle(file, &information)) {
        place.exists = true;
        place.identity = identityOf(information);
    }
    ::CloseHandle(file);
    return place;
}

std::optional<FileIdentity> regularFileOf(int fd) {
    const HANDLE file = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    BY_HANDLE_FILE_INFORMATION information{};
    if (file == INVALID_HANDLE_VALUE || ::GetFileType(file) != FILE_TYPE_DISK ||
        !::GetFileInformationByHandle(file, &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::nullopt;
    return identityOf(information);
}
