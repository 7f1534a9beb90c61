// SPDX-License-Identifier: MIT
// Which stored names may be written: the one check on a name, made by
// tarnvex before anything touches the disk for it, and by the check of a
// whole set.
#ifndef LIB_NAMES_HPP
#define LIB_NAMES_HPP

#include <string_view>

// False for a name that would put a file outside the current folder: one
// that begins with '/' or '\', one that begins with a letter and ':' (a
// drive), and one with a ".." component.  '/' and '\' both count as
// separators on every platform, since a set made on one system is extracted
// on another.  On Windows, a component that names a device is refused too:
// writing to NUL or COM1 makes no file, and the data would be lost or sent to
// a device.
bool name_is_safe(std::string_view name);

// True when one path component names a Windows device (CON, PRN, AUX, NUL,
// COM1-9, LPT1-9, COM and LPT with a superscript 1, 2 or 3, CONIN$,
// CONOUT$), with any extension and in any case.  The superscripts count in
// the bytes of the Windows code page (B9, B2, B3) and in UTF-8.
bool names_windows_device(std::string_view part);

// True when the name, extracted into a folder, is that folder's
// reslist.txt: its components, split at this system's separators, are
// "reslist.txt" and "." alone, with any case and trailing dots and spaces
// where the system ignores them (Windows).  On a system whose only
// separator is '/', ".\\reslist.txt" is a name of its own.
bool names_listfile(std::string_view name);

// name_is_safe, and not the listfile: what extraction writes.
bool extracts_safely(std::string_view name);

#endif
