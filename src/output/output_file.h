// output: bytes -> file, whole or not at all. Outputs are written beside their target
// and renamed into place (output_file), text made ahead of its output waits in a file
// without a name (scratch_file), frames go to their files (frame_files), and the
// standard streams are set up and reported to (standard_streams). Includes no program
// folder.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

// How an output that already holds exactly the new bytes is treated.
enum class SameContent {
    Touch,  // left in place, its modification time set to now (it was made again)
    Keep,   // left as it is, modification time included (nothing for a build to redo)
};

// An output whose new bytes are written but not yet in place. temporary is the hidden
// file beside target that commitOutputFile renames over it; empty when there is nothing
// to rename (the bytes were the same, or target is not a regular file and was written
// directly).
struct StagedFile {
    std::string target;     // where the bytes go: the output name, links followed
    std::string temporary;  // ".NAME.grayframe-XXXXXX" in target's directory, or empty
    bool touch = false;     // commit sets target's modification time to now
};

// Replaces the file at path with the size bytes at data so that path holds, at every
// moment (a kill, a full disk, two runs at once), either its complete old content or
// its complete new one: stageOutputFile, then commitOutputFile. A symbolic link's target
// is replaced, not the link; an existing file that is not a regular one (a FIFO, a
// device) is written directly, opened without blocking. A replaced file keeps its
// permission bits. False when anything failed; path is then as it was (bar a direct
// write) and no temporary file is left.
bool writeOutputFile(const std::string& path, const void* data, std::size_t size,
                     SameContent same = SameContent::Touch);

// For several outputs that must change together: the temporary file is written and
// closed, nothing is replaced yet. Empty when that failed (nothing is left behind).
std::optional<StagedFile> stageOutputFile(const std::string& path, const void* data,
                                          std::size_t size, SameContent same);

// As stageOutputFile, with the text that write writes to its stream going into the
// temporary file as it comes, its lines ending as text files' do here (write returns
// false, or the stream fails, to give up: nothing is then left behind). With Keep, a
// finished file that holds the bytes already at path is dropped, path left untouched.
std::optional<StagedFile> stageOutputText(const std::string& path,
                                          const std::function<bool(std::ostream&)>& write,
                                          SameContent same);

// The most files staged at once (not yet committed or discarded): staging another may
// fail until one is.
constexpr int MAX_STAGED_FILES = 256;

// Puts a staged file in place (the rename, or the touch). False when that failed; the
// temporary file is then removed.
bool commitOutputFile(const StagedFile& staged);

// Removes a staged file's temporary file; target stays as it was.
void discardOutputFile(const StagedFile& staged);

// Sets up, once per process, what keeps outputs whole when the process is ended: SIGINT,
// SIGTERM and SIGHUP (unless ignored) first remove the temporary files in flight and
// then end the process as the signal would; SIGXFSZ is ignored, so that a file size
// limit makes the write fail (reported) instead of killing the run. Called by the
// functions above; call it early when threads are started later.
void protectOutputFiles();

// Calls start, which starts threads that never write outputs, with the signals above
// held, so that those threads inherit them held: the signals then reach only the
// threads that write, where no temporary file can be created unseen by the handler.
void withEndingSignalsHeld(const std::function<void()>& start);

// The text with the line ends of this platform's text files: LF as it is, or CR LF on
// Windows.
std::string withTextFileLineEnds(const std::string& text);
