#include "batch/written_inputs.h"

#include <algorithm>
#include <map>
#include <unordered_map>

#include "batch/file_place.h"

namespace {

// The latest writers seen so far, by place and by file identity.
struct Writers {
    PlaceCache cache;
    std::unordered_map<std::string, std::ptrdiff_t> byPath;
    std::map<FileIdentity, std::ptrdiff_t> byIdentity;

    void add(const std::string& path, std::ptrdiff_t writer) {
        const Place place = placeOf(path, cache);
        if (!place.path.empty()) byPath[place.path] = writer;
        if (place.exists) byIdentity[place.identity] = writer;
    }
    std::ptrdiff_t of(const Place& place) const {
        std::ptrdiff_t writer = -1;
        const auto named = place.path.empty() ? byPath.end() : byPath.find(place.path);
        if (named != byPath.end()) writer = named->second;
        const auto same = place.exists ? byIdentity.find(place.identity) : byIdentity.end();
        if (same != byIdentity.end()) writer = std::max(writer, same->second);
        return writer;
    }
};

}  // namespace

std::vector<std::ptrdiff_t> latestWriters(const std::vector<std::string>& inputs,
                                          bool printData,
                                          const std::vector<int>& streams) {
    std::vector<FileIdentity> streamFiles;
    for (const int fd : streams) {
        if (const std::optional<FileIdentity> file = regularFileOf(fd))
            streamFiles.push_back(*file);
    }
    Writers writers;
    std::vector<std::ptrdiff_t> latest;
    for (std::ptrdiff_t i = 0; i < static_cast<std::ptrdiff_t>(inputs.size()); ++i) {
        latest.push_back(-1);
        if (!printData || !streamFiles.empty()) {
            const Place place = placeOf(inputs[i], writers.cache);
            latest.back() = writers.of(place);
            const bool stream =
                place.exists && std::find(streamFiles.begin(), streamFiles.end(),
                                          place.identity) != streamFiles.end();
            if (stream && i > 0) latest.back() = i - 1;
        }
        if (printData) continue;
        writers.add(inputs[i] + "_out.bmp", i);
        writers.add(inputs[i] + "_out.h", i);
    }
    return latest;
}
