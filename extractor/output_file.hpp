// SPDX-License-Identifier: MIT
// Writing one file so that whatever stood at its name stays as it was until
// the new contents are whole.  A name where nothing stands is created
// exclusively and written in place; anything else is written under a
// temporary name beside it, created exclusively, and renamed over it only
// once complete.  A link at the name is replaced by the new file, never
// written through; folders on the way to it are followed.  The file being
// written is the live file of platform/live_file.hpp, which a signal
// removes.
#ifndef EXTRACTOR_OUTPUT_FILE_HPP
#define EXTRACTOR_OUTPUT_FILE_HPP

#include "files.hpp"

#include <cstdio>
#include <string>

// A temporary is named this prefix and eight hexadecimal digits, in the
// folder of its target, so that one left by a crash or a power cut is easy
// to find.
inline constexpr const char* TEMPORARY_PREFIX = ".tarnvex-";

// The files a run reads and writes itself, which no entry may replace.
struct run_files {
    file_identity listfile;
    file_identity set;
};

// True when what stands at name (at, as a look found it), followed through
// a link, is the listfile or the set of the run: writing it would replace
// one of them.
bool names_run_file(const std::string& name, const file_status& at, const run_files& own);

// What becomes of a name.
enum class output_start {
    // The live file is open for writing: close_live_file and
    // commit_live_file(name) put it in place.
    started,
    // Unsafe (see resource_set_name_is_safe), or one of the run's own
    // files: nothing was touched.
    unsafe,
    // No file can be written there: nothing was touched.
    refused,
    // Something stands there and is to be kept: nothing was touched.
    kept,
    // A regular file that may be replaced stands there: nothing was
    // touched, and the caller compares it with what it would write (see
    // replace_if_changed).
    existing,
};

// What begin_output remembers from one name to the next of a run.
struct output_memory {
    // The folder that names were last made in, which a name in that same
    // folder does not make again.
    std::string folder_made;
    // Whether something stood at the last name: names come in runs of new
    // ones (a fresh folder) and of taken ones (the same set again), and the
    // first step for a name is chosen to suit the last.
    bool last_name_taken = false;
};

// Checks name and, if it may be written, creates the file to write: name
// itself, exclusively, when nothing stands there, else a temporary beside it
// that gets the permission bits of a regular file it is to replace.  What is
// done is decided from one look at the name: a folder there, one of the
// run's own files, or an existing file that may not be opened for writing,
// is refused; with keep_old, anything there is kept.  After a new name, the
// exclusive create comes first and the look only if it fails.  With
// make_folders, the folders the name needs are created first, as mkdir -p
// would, and folders already there, linked ones included, are used as they
// are.
// A regular file there that this process may write, where a look tells a
// link from a file (LINKS_ARE_SEEN), is not replaced at once: begin_output
// gives existing, and existing holds what the look found there.
output_start begin_output(const std::string& name, const run_files& own, bool make_folders, bool keep_old,
                          output_memory& memory, file_status& existing);

// Begins replacing the regular file at name, found there as existing: the
// live temporary beside it, with its permission bits.  Null when it cannot
// be created.
std::FILE* begin_replacement(const std::string& name, const file_status& existing);

// Opens name for text output, truncating a regular file as fopen's "w"
// does.  Anything else at name, a link, a FIFO, a socket or a device, is
// first replaced by a regular file of its own and never opened, so that
// nothing is written through a link and no open waits for a reader.  Null
// when it cannot be opened.
std::FILE* create_text_output(const std::string& name);

#endif
