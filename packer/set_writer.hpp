// SPDX-License-Identifier: MIT
// The packer's output side: the writer that turns the resource table into a
// resource set.
#ifndef PACKER_SET_WRITER_HPP
#define PACKER_SET_WRITER_HPP

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Bodies are streamed through one buffer of this size: 1 MiB copies a large
// body about a fifth faster than 256 KiB and costs a megabyte of memory.
inline constexpr std::size_t COPY_BUFFER_SIZE = std::size_t{1024} * 1024;

// The output stream's buffer: small bodies are gathered into writes of this
// size rather than a write or two each.  Larger buffers measured no faster.
inline constexpr std::size_t OUTPUT_BUFFER_SIZE = std::size_t{64} * 1024;

// Writes the whole set described by the table onto out, whose file is named
// out_name.  False, after its error lines, when any write or copy failed.
bool gen_output(std::FILE* out, const char* out_name);

// Reads and drops skip bytes (less than COPY_BUFFER_SIZE) from the current
// position of in, copies exactly length bytes after them onto out, and checks
// that in then ends: a file that has grown or shrunk since it was measured is
// refused with "size changed!".  After a failed write, "fwrite fails!", the
// rest of the file is still read but nothing more is written.
bool copy_file(std::FILE* out, std::FILE* in, std::size_t skip, std::uint64_t length);

#endif
