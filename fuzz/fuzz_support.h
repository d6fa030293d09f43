#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace fuzz {

// Ends the run as a finding when condition is false.
inline void check(bool condition) {
    if (!condition) std::abort();
}

// A fresh directory under /tmp named after prefix, removed when the process exits.
inline std::string makeScratchDirectory(const std::string& prefix) {
    static std::string scratch;
    std::string pattern = "/tmp/" + prefix + "-XXXXXX";
    check(::mkdtemp(pattern.data()) != nullptr);
    scratch = pattern;
    std::atexit([] { std::filesystem::remove_all(scratch); });
    return scratch;
}

}  // namespace fuzz
