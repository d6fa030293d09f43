// SPDX-License-Identifier: Apache-2.0
// batch: where an input's name leads, so that names of one file are told alike.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <unordered_map>

// One file while it exists: device and inode on POSIX, volume serial number and file
// index on Windows.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t file = 0;
    bool operator<(const FileIdentity& other) const {
        return std::tie(volume, file) < std::tie(other.volume, other.file);
    }
    bool operator==(const FileIdentity& other) const {
        return volume == other.volume && file == other.file;
    }
};

// Where a name leads, and the file there if it exists.
struct Place {
    std::string path;  // one spelling for every name of the place; empty when unknown
    bool exists = false;
    FileIdentity identity;
};

// What placeOf has resolved already (directories, on POSIX), kept between its calls.
struct PlaceCache {
    std::unordered_map<std::string, std::string> directories;
};

// The place path names. POSIX: path is absolute, with symbolic links (dangling ones
// too), "." and ".." followed, and empty when its directory is missing. Windows: path
// is the full path name in upper case (names there are told apart without case), and
// links are followed only through the identity of an existing file.
Place placeOf(const std::string& path, PlaceCache& cache);

// The identity of the regular file open on descriptor fd; nullopt for anything else.
std::optional<FileIdentity> regularFileOf(int fd);
