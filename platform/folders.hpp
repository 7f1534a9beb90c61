// SPDX-License-Identifier: MIT
// Folders: the current one, a path made absolute against it, the folders a
// path needs, and a regular file opened where it stands, links not
// followed.
#ifndef PLATFORM_FOLDERS_HPP
#define PLATFORM_FOLDERS_HPP

#include "files.hpp"

#include <cstdint>
#include <string>

// Sets absolute to path as named from the current folder: path itself when
// it is absolute already.  False for an empty path, which names nothing,
// and when the current folder cannot be had (it is gone).
bool make_absolute(const char* path, std::string& absolute);

// Makes folder the current folder.  False when it cannot be entered.
bool enter_folder(const char* folder);

// Creates the folders of folder (a path ending in a separator), as mkdir -p
// would, with the usual permissions; folders already there, linked ones
// included, are used as they are.  False when one cannot be created or
// something other than a folder stands in the way.
bool make_folders(const std::string& folder);

// Opens the regular file at name for positioned reads, without following a
// link at the name itself and without waiting on anything, and gives its
// length.  False for a link, a FIFO, a device, a folder, or when it cannot
// be opened.
bool open_file_in_place(const char* name, positioned_file& file, std::uint64_t& length);

#endif
