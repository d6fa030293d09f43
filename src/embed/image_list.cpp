// SPDX-License-Identifier: Apache-2.0
#include "embed/image_list.h"

std::optional<std::vector<std::string>> readImageList(std::istream& in) {
    std::vector<std::string> names;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) names.push_back(line);
    }
    if (in.bad()) return std::nullopt;
    return names;
}
