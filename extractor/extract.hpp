// SPDX-License-Identifier: MIT
// The extractor's building blocks: which stored names may be written, and
// the copy of one payload from the set to its resource file.
#ifndef EXTRACTOR_EXTRACT_HPP
#define EXTRACTOR_EXTRACT_HPP

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string_view>

// Payloads stream through one buffer of this size, so that memory does not
// grow with a resource's size, nor with a size field that lies.
inline constexpr std::size_t PAYLOAD_BUFFER_SIZE = std::size_t{1024} * 1024;

// False for a name that would put a file outside the current folder: one
// that begins with '/' or '\', one that begins with a letter and ':' (a
// drive), and one with a ".." component.  '/' and '\' both count as
// separators on every platform, since a set made on one system is extracted
// on another.  On Windows, a component that names a device is refused too:
// writing to NUL or COM1 makes no file, and the data would be lost or sent to
// a device.
bool name_is_safe(std::string_view name);

// True when one path component names a Windows device (CON, PRN, AUX, NUL,
// COM1-9, LPT1-9, CONIN$, CONOUT$), with any extension and in any case.
bool names_windows_device(std::string_view part);

// Reads exactly data's length from in.  False when fewer bytes come.
bool read_block(std::FILE* in, unsigned char* data, std::size_t length);

// Writes head onto out, then copies length bytes from the current position
// of set after it, or reads past them when out is null.  After the first
// failed write it stops writing but still reads the rest, clearing write_ok.
// False when the set ends, or cannot be read, before length bytes.
bool copy_payload(std::FILE* set, std::FILE* out, std::span<const unsigned char> head, std::uint32_t length,
                  bool& write_ok);

#endif
