// SPDX-License-Identifier: MIT
// Writing a file so that whatever stood at its name stays as it was until
// the new contents are whole.  A name where nothing stands is created
// exclusively and written in place; anything else is written under a
// temporary name beside it, created exclusively, and renamed over it only
// once complete.  A link at the name is replaced by the new file, never
// written through; folders on the way to it are followed.
#ifndef EXTRACTOR_REPLACE_HPP
#define EXTRACTOR_REPLACE_HPP

#include <cstdio>
#include <string>

// A temporary is named this prefix and eight hexadecimal digits, in the
// folder of its target, so that one left by a crash or a power cut is easy
// to find.
inline constexpr const char* TEMPORARY_PREFIX = ".tarnvex-";

// One file being written.  Only one may be in progress at a time.
struct replacement {
    std::string target;
    // The file being written: target itself when nothing stood there,
    // otherwise a temporary beside it.
    std::string written;
    // Open on written, in binary mode, until close_replacement.
    std::FILE* stream = nullptr;
};

// Creates the folders target needs, as mkdir -p would, with the usual
// permissions; folders already there, linked ones included, are used as
// they are.  False when one cannot be created or something other than a
// folder stands in the way.  made is the caller's memory of the folder made
// or found last: a target in that same folder costs nothing.
bool make_folders_for(const std::string& target, std::string& made);

// Creates target itself, exclusively: false, with nothing created and
// nothing touched, when anything stands there, a link included, or when
// nothing can be created in its folder.
bool begin_new_file(replacement& file, const std::string& target);

// Looks at what stands at target, without following a link there, and
// creates the file to write: target itself when nothing stands there, else
// an empty temporary beside it, which gets the permission bits of a regular
// file it is to replace.  False, with nothing created and nothing touched,
// when target is empty or a folder, when it is an existing regular file that
// may not be opened for writing, or when nothing can be created in its
// folder (a missing or read-only folder).
bool begin_replacement(replacement& file, const std::string& target);

// Closes the file written.  False, with that file removed, when any byte
// written to it may not have reached it.
bool close_replacement(replacement& file);

// Puts the closed file in place: renames a temporary over the target.
// False, with the temporary removed and the target untouched, when the
// rename fails.
bool commit_replacement(replacement& file);

// Closes the file written when it is still open and removes it; what stood
// at the target is untouched.
void abandon_replacement(replacement& file);

// Removes the file being written, if one is, when the run cannot go on with
// it (memory ran out): a replacement begun and not yet committed or
// abandoned.
void abandon_live_file();

// Opens name for text output, truncating a regular file as fopen's "w"
// does.  Anything else at name, a link, a FIFO, a socket or a device, is
// first replaced by a regular file of its own and never opened, so that
// nothing is written through a link and no open waits for a reader.  Null
// when it cannot be opened.
std::FILE* create_text_output(const std::string& name);

// From catch_interruptions to release_interruptions, SIGINT, SIGTERM and
// SIGHUP (Ctrl-C on Windows) remove the file being written, if any, and
// then end the process as the signal would have.  A signal that was ignored
// stays ignored; release_interruptions puts back what was there before, and
// does nothing without a catch_interruptions before it.
void catch_interruptions();
void release_interruptions();

#endif
