// SPDX-License-Identifier: MIT
// Payloads on their way from the set: copied to their resource file, or
// read past.
#ifndef EXTRACTOR_PAYLOAD_HPP
#define EXTRACTOR_PAYLOAD_HPP

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>

// Payloads stream through one buffer of this size, so that memory does not
// grow with a resource's size, nor with a size field that lies.
inline constexpr std::size_t PAYLOAD_BUFFER_SIZE = std::size_t{1024} * 1024;

// Reads exactly data's length from in.  False when fewer bytes come.
bool read_block(std::FILE* in, unsigned char* data, std::size_t length);

// Writes head onto out, then copies length bytes from the current position
// of set after it.  After the first failed write, which out's error flag
// then tells, it writes no more but still reads the rest.  False when the
// set ends, or cannot be read, before length bytes.
bool copy_payload(std::FILE* set, std::FILE* out, std::span<const unsigned char> head, std::uint32_t length);

#endif
