#include "embed/run.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <opencv2/core/utility.hpp>
#include <opencv2/core/utils/logger.hpp>
#include <sstream>
#include <stdexcept>

#include "animated/animation_kind.h"
#include "embed/animation_frames.h"
#include "embed/image_list.h"
#include "embed/paths.h"
#include "embed/rows_scratch.h"
#include "frame/display_steps.h"
#include "frame/frame.h"
#include "input/load_pages.h"
#include "output/frame_preview.h"
#include "output/output_file.h"
#include "output/standard_streams.h"

namespace {

const char* const program = "grayframe-embed";

std::string singleQuoted(const std::string& text) { return "'" + text + "'"; }

// The folder --output-dir names.
std::string outputFolder(const std::string& dir) {
    return endsWithSeparator(dir) ? inFolder(dir, ".") : dir;
}

// Why the file at path gives no picture.
std::string unreadableCause(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return std::strerror(errno);
    if (!S_ISREG(status.st_mode)) return "not a regular file";
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return std::strerror(errno);
    std::fclose(file);
    return "damaged, too large, or not a picture format this program reads";
}

cv::Mat framePage(const std::string& path, size_t page, ResizeMode mode,
                  const DisplayOptions& display) {
    try {
        const cv::Mat image = loadPage(path, page);
        if (!image.empty()) return makeDisplayFrame(image, mode, display);
    } catch (...) {
    }
    return {};
}

// Adds the frames of every page of the image at path to set; "" or the problem.
std::string addImage(FrameSet& set, const std::string& path, ResizeMode mode,
                     const DisplayOptions& display, const FrameReduced& made, bool keep) {
    const size_t pages = countPages(path);
    if (pages == 0)
        return "cannot read image " + singleQuoted(path) +
               ": its pages cannot be read under a name this long";
    for (size_t page = 0; page < pages; ++page) {
        const cv::Mat frame = framePage(path, page, mode, display);
        const std::string pageName =
            "page " + std::to_string(page + 1) + " of " + std::to_string(pages);
        if (frame.empty() && pages == 1)
            return "cannot read image " + singleQuoted(path) + ": " + unreadableCause(path);
        if (frame.empty()) return "cannot read " + pageName + " of image " + singleQuoted(path);
        const PackedFrame packed = packFrame(frame, set.nibbles);
        if (made) made(frameCount(set), packed);
        if (keep) set.frames.push_back(packed);
        set.labels.push_back(fileNameOf(path) + (pages > 1 ? ", " + pageName : ""));
    }
    return {};
}

// Stages path's new content through stageFile, which stages it as output_file.h does;
// "" or the problem. An existing path that is not a regular file (through links) is
// refused here, so that the commits that follow hardly fail.
std::string stageChecked(std::optional<StagedFile>& staged, const std::string& path,
                         const std::function<std::optional<StagedFile>()>& stageFile) {
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode))
        return "cannot write " + singleQuoted(path) + ": not a regular file";
    errno = 0;
    staged = stageFile();
    if (staged) return {};
    return "cannot write " + singleQuoted(path) +
           (errno ? ": " + std::string(std::strerror(errno)) : "");
}

// Stages text for path, its lines ending as text files' do here; "" or the problem.
std::string stage(std::optional<StagedFile>& staged, const std::string& path,
                  const std::string& text) {
    return stageChecked(staged, path, [&] {
        const std::string file = withTextFileLineEnds(text);
        return stageOutputFile(path, file.data(), file.size(), SameContent::Keep);
    });
}

// Stages the text that write streams for path; "" or the problem.
std::string stageText(std::optional<StagedFile>& staged, const std::string& path,
                      const std::function<bool(std::ostream&)>& write) {
    return stageChecked(staged, path,
                        [&] { return stageOutputText(path, write, SameContent::Keep); });
}

// The slot of frame's rows text in the scratch file (see writeFrameSet).
std::size_t slotOf(const std::vector<std::size_t>& slots, std::size_t frame) {
    return slots.empty() ? frame : slots[frame];
}

// Stages the uncompressed set's NAME.c at path, its frames' rows copied from the
// scratch file as it is written; "" or the problem.
std::string stageWithRows(std::optional<StagedFile>& staged, const FrameSet& set,
                          const std::string& path, const RowsScratch& rows,
                          const std::vector<std::size_t>& slots) {
    return stageText(staged, path, [&](std::ostream& out) {
        bool copied = true;
        writeFrameSetSource(out, set, [&](std::ostream& to, std::size_t frame) {
            copied = copied && copyRows(to, rows, slotOf(slots, frame));
        });
        return copied;
    });
}

// Adds the names listed in options' --files-from file to its images; "" or the problem.
std::string addListedImages(EmbedOptions& options) {
    if (options.imageList.empty()) return {};
    std::ifstream file;
    if (options.imageList != "-") {
        errno = 0;
        file.open(options.imageList, std::ios::binary);
        if (!file.is_open())
            return "cannot read the list " + singleQuoted(options.imageList) +
                   (errno ? ": " + std::string(std::strerror(errno)) : "");
    }
    const auto names = readImageList(options.imageList == "-" ? std::cin : file);
    if (!names) return "cannot read the list " + singleQuoted(options.imageList);
    options.images.insert(options.images.end(), names->begin(), names->end());
    return options.images.empty() ? "no image given" : "";
}

// A preview file staged under the name it is reported by.
struct StagedPreview {
    std::string name;
    StagedFile file;
};

void discardPreview(std::vector<StagedPreview>& staged) {
    for (const StagedPreview& preview : staged) discardOutputFile(preview.file);
    staged.clear();
}

// Stages the preview of set at path (a .png or .gif name): the GIF, or each contact
// sheet in turn (contactSheetPath), made only once the one before is staged; "" or the
// problem, with nothing staged.
std::string stagePreview(std::vector<StagedPreview>& staged, const FrameSet& set,
                         const std::string& path) {
    const bool gif = path.size() > 4 && path.compare(path.size() - 4, 4, ".gif") == 0;
    const std::size_t files = gif ? 1 : contactSheetCount(set);
    const std::size_t mostSheets = MAX_STAGED_FILES - 2;  // beside NAME.h and NAME.c
    if (files > mostSheets)
        return "cannot make the preview " + singleQuoted(path) + ": more than " +
               std::to_string(mostSheets * SHEET_FRAMES) + " frames for its sheets";
    std::string problem;
    for (std::size_t sheet = 0; problem.empty() && sheet < files; ++sheet) {
        const std::string name = gif ? path : contactSheetPath(path, sheet);
        const std::string bytes = gif ? animatedGif(set) : contactSheetPng(set, sheet);
        std::optional<StagedFile> file;
        problem = bytes.empty()
                      ? "cannot make the preview " + singleQuoted(name)
                      : stageChecked(file, name, [&] {
                            return stageOutputFile(name, bytes.data(), bytes.size(),
                                                   SameContent::Keep);
                        });
        if (file) staged.push_back({name, *file});
    }
    if (!problem.empty()) discardPreview(staged);
    return problem;
}

// Puts the staged preview files in place in turn; "" or the problem (the rest are then
// discarded).
std::string commitPreview(std::vector<StagedPreview>& staged) {
    for (std::size_t i = 0; i < staged.size(); ++i) {
        if (commitOutputFile(staged[i].file)) continue;
        for (std::size_t k = i + 1; k < staged.size(); ++k)
            discardOutputFile(staged[k].file);
        return "cannot write " + singleQuoted(staged[i].name);
    }
    return {};
}

void fail(const std::string& problem) {
    report(std::string(program) + ": " + problem + "\n");
}

}  // namespace

LoadedFrameSet loadFrameSet(const EmbedOptions& options, const FrameReduced& made,
                            bool keep) {
    if (!isArrayName(options.name))
        return {std::nullopt,
                singleQuoted(options.name) +
                    " cannot name a C array (letters, "
                    "digits and _, not first a digit, not a keyword)",
                {}};
    FrameSet set;
    set.name = options.name;
    set.modeName = options.modeName;
    set.attribute = options.attribute;
    set.displayOptions = describeDisplay(options.display);
    set.nibbles = options.display.nibbles;
    set.compressed = options.compress;
    set.cycles = options.cycles;
    set.target = options.target;
    bool timed = options.animation.stillMs.has_value();
    std::vector<std::size_t> slots;
    for (const std::string& image : options.images) {
        std::string problem;
        if (animationKind(image) != AnimationKind::None) {
            problem = addAnimation(set, timed, image, options, slots, made, keep);
        } else {
            problem =
                addImage(set, image, options.mode, options.display.steps, made, keep);
            addStillDurations(set, options);
            if (problem.empty()) problem = frameCapProblem(set, image, options);
        }
        if (!problem.empty()) return {std::nullopt, problem, {}};
        while (!slots.empty() && slots.size() < frameCount(set))
            slots.push_back(slots.size());
    }
    if (!timed) set.durations.clear();
    return {set, {}, slots};
}

std::string writeFrameSet(const FrameSet& set, const std::string& dir, RowsScratch& rows,
                          const std::vector<std::size_t>& slots) {
    struct stat status {};
    if (::stat(outputFolder(dir).c_str(), &status) != 0)
        return "cannot write into " + singleQuoted(dir) + ": " + std::strerror(errno);
    if (!S_ISDIR(status.st_mode))
        return "cannot write into " + singleQuoted(dir) + ": not a directory";
    const std::string base = inFolder(dir, set.name);
    std::optional<StagedFile> stagedHeader, stagedSource;
    bool streamed = false;
    if (rows.fd >= 0 && !set.compressed) {
        std::ostringstream header;
        writeFrameSetHeader(header, set);
        streamed = stage(stagedHeader, base + ".h", header.str()).empty() &&
                   stageWithRows(stagedSource, set, base + ".c", rows, slots).empty();
        if (!streamed && stagedHeader) discardOutputFile(*stagedHeader);
    }
    // Failed with the scratch file beside them (it may have taken the room they need):
    // written again without it, as though it had never been.
    std::vector<unsigned char> code;
    std::string rowsSource;  // NAME.c made whole, when its rows are only in the scratch
    std::string problem;
    if (!streamed) {
        try {
            code = frameSetCode(set);
        } catch (const std::length_error& error) {
            problem = std::string("cannot compress the set: ") + error.what();
        }
        if (problem.empty() && set.frames.empty()) {
            std::ostringstream source;
            bool copied = true;
            writeFrameSetSource(source, set, [&](std::ostream& out, std::size_t frame) {
                copied = copied && copyRows(out, rows, slotOf(slots, frame));
            });
            if (!copied) problem = "cannot write " + singleQuoted(base + ".c");
            rowsSource = source.str();
        }
    }
    closeRows(rows);
    if (!problem.empty()) return problem;
    if (!streamed) {
        problem = stageText(stagedHeader, base + ".h", [&](std::ostream& out) {
            writeFrameSetHeader(out, set, code);
            return true;
        });
        if (problem.empty())
            problem = set.frames.empty()
                          ? stage(stagedSource, base + ".c", rowsSource)
                          : stageText(stagedSource, base + ".c", [&](std::ostream& out) {
                                writeFrameSetSource(out, set, code);
                                return true;
                            });
        if (!problem.empty()) {
            if (stagedHeader) discardOutputFile(*stagedHeader);
            return problem;
        }
    }
    if (!commitOutputFile(*stagedHeader)) {
        discardOutputFile(*stagedSource);
        return "cannot write " + singleQuoted(base + ".h");
    }
    return commitOutputFile(*stagedSource) ? "" : "cannot write " + singleQuoted(base + ".c");
}

int runEmbed(int argc, char** argv) {
    const EmbedCommand command = parseEmbedCommandLine(argc, argv);
    if (command.action == EmbedCommand::Refused) {
        fail(command.problem + " (see " + program + " --help)");
        return 1;
    }
    if (command.action != EmbedCommand::Run) {
        std::cout << (command.action == EmbedCommand::Help
                          ? embedUsage()
                          : std::string(program) + " " + GRAYFRAME_VERSION + "\n");
        return std::cout.flush() ? 0 : 1;
    }
    keepLibrariesOffStandardError();
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_ERROR);
    cv::setNumThreads(0);
    EmbedOptions options = command.options;
    std::string problem = addListedImages(options);
    std::optional<LoadedFrameSet> loaded;
    RowsScratch rows;
    if (problem.empty() && !options.compress)
        openRows(rows, outputFolder(options.outputDir));
    const std::string& previewPath = options.animation.preview;
    const bool keep = rows.fd < 0 || !previewPath.empty();
    if (problem.empty()) {
        loaded = loadFrameSet(
            options,
            rows.fd < 0
                ? FrameReduced()
                : [&](std::size_t index,
                      const PackedFrame& frame) { writeRows(rows, index, frame); },
            keep);
        if (loaded->set && rows.failed && !keep) {  // the frames are nowhere: again
            closeRows(rows);
            loaded = loadFrameSet(options);
        }
        if (!loaded->set) problem = loaded->problem;
    }
    std::vector<StagedPreview> preview;
    if (rows.failed) closeRows(rows);  // some frames' rows are not in it
    if (problem.empty() && !previewPath.empty()) {
        problem = stagePreview(preview, *loaded->set, previewPath);
        if (!problem.empty() && rows.fd >= 0) {  // perhaps for the scratch file's room
            closeRows(rows);
            problem = stagePreview(preview, *loaded->set, previewPath);
        }
    }
    if (problem.empty())
        problem = writeFrameSet(*loaded->set, options.outputDir, rows, loaded->slots);
    if (!problem.empty()) discardPreview(preview);
    if (problem.empty()) problem = commitPreview(preview);
    if (problem.empty()) return 0;
    fail(problem);
    return 1;
}
