// SPDX-License-Identifier: MIT
// The one file a program is writing, which is put in place whole or not at
// all.  A file is live from its exclusive creation until it is committed or
// abandoned.  While one is live, SIGINT, SIGTERM and SIGHUP (Ctrl-C on
// Windows), once catch_interruptions has run, remove it and then go to the
// handler that was there before, or end the process as the signal would
// have when there was none.  Those signals are held back while a
// file is created and registered, and while it is renamed into place and
// forgotten, so that none arrives when a file exists that the handler does
// not know of, or when the handler knows of a file that is gone.  Only one
// file is live at a time.
#ifndef PLATFORM_LIVE_FILE_HPP
#define PLATFORM_LIVE_FILE_HPP

#include "files.hpp"

#include <cstdio>
#include <string>

// Creates path itself, exclusively, and makes it the live file; commit puts
// it in place as it is.  Null, with nothing created, when anything stands
// at path, a link included, when nothing can be created there, or when a
// file is live already.
std::FILE* create_live_file(const std::string& path, bool binary);

// Creates an empty temporary in folder (empty for the current folder, else
// ending in a separator), named prefix and eight hexadecimal digits, and
// makes it the live file; commit renames it over its target.  Null when the
// folder refuses, or when a file is live already.
std::FILE* create_live_temporary(const std::string& folder, const char* prefix, bool binary);

// Begins replacing target whole: a temporary beside it (see
// create_live_temporary), with the permission bits of a regular file that
// stands there.  A link there is replaced too, unless it leads to something
// other than a regular file: neither a device, a FIFO, a socket or a
// folder, nor a link to one (/dev/stdout), is ever replaced, nor a regular
// file that this process may not open for writing (may_write).  Null when
// nothing can or may be created.
std::FILE* begin_replacing(const std::string& target, const char* prefix, bool binary);

// The temporary of begin_replacing, for a caller that has looked at target
// itself (old) and decided to replace what stands there: with old's
// permission bits when it is a regular file.  Null when nothing can be
// created.
std::FILE* create_live_replacement(const std::string& target, const file_status& old, const char* prefix, bool binary);

// The live file's path, for messages and tests; empty when none is live.
const char* live_file_path();

// The live file's stream, open for writing until close_live_file; null when
// none is live.
std::FILE* live_file_stream();

// Closes the live file's stream.  False, with the file removed and
// forgotten, when any byte written to it may not have reached it.
bool close_live_file();

// Puts the closed live file in place, renaming a temporary over target, and
// forgets it.  False, with the file removed and target untouched, when the
// rename fails.
bool commit_live_file(const std::string& target);

// Closes the live file if it is still open, removes it and forgets it; its
// target is untouched.  Nothing happens when no file is live.
void abandon_live_file();

// From catch_interruptions to release_interruptions, the signals above
// remove the live file.  A signal that was ignored stays ignored;
// release_interruptions puts back what was there before, and does nothing
// without a catch_interruptions before it.
void catch_interruptions();
void release_interruptions();

#endif
