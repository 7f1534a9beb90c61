// SPDX-License-Identifier: MIT
// The standard streams and output streams: no output file may take the place
// of a standard stream, and no failed write may go unnoticed.
#ifndef PLATFORM_STREAMS_HPP
#define PLATFORM_STREAMS_HPP

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>

// Makes sure descriptors 0, 1 and 2 are open before the program opens any
// file, so that no file it opens is given one of them and then receives
// what was meant for a standard stream.  A closed one is opened on the null
// device the wrong way round (standard input for writing, standard output
// and error for reading), so that using it fails as it did while it was
// closed.  False when a closed one cannot be opened.  Does nothing on
// systems without descriptors.
bool open_standard_streams();

// Ignores the signals a failed write would raise (SIGPIPE for a reader gone,
// SIGXFSZ for a file-size limit), so that the write fails instead and the
// program reports it, removes what it must and ends with its own status.
void ignore_write_signals();

// Flushes out and checks its error flag, leaving it open.  False when any
// byte written to it may not have reached the file.
bool flush_output(std::FILE* out);

// Flushes out, checks its error flag and closes it; the stream is closed in
// every case.  False when any byte written to it may not have reached the
// file.  The flush comes first and on its own because some C runtimes
// (Windows' msvcrt among them) report success from fclose when the flush
// inside it fails.
bool close_output(std::FILE* out);

// How much of in copy_stream takes.
enum class copy_extent {
    exact,        // exactly length bytes; in may go on after them
    exact_to_end, // exactly length bytes, after which in must end
    rest,         // the rest of in, which may hold at most length bytes
};

// What copy_stream copies: head, then length bytes of in (or its rest)
// after skip bytes of it that are read and dropped.  The head goes out in
// the same write as the first bytes of in, and the skipped bytes come in
// with the first read, so that a small copy costs one read and one write.
struct stream_copy {
    std::span<const unsigned char> head{};
    std::size_t skip = 0;
    std::uint64_t length = 0;
    copy_extent extent = copy_extent::exact;
};

// How copy_stream ended.
enum class copy_end {
    done,        // every byte was read, and written unless a write failed
    ended,       // in ended before the skip and length bytes
    read_failed, // reading in failed
    too_long,    // in goes on past length bytes (exact_to_end, rest); none past them was written
};

// Copies from in onto out through buffer, in pieces of its size; head and
// skip together must be fewer than its bytes, else nothing is read and the
// copy fails as a read.  A write is made only while out's error flag is
// clear: after a failed write, which the flag then tells, the copy goes on
// reading and writes no more.  In the exact extents nothing read in a
// piece that ends short is written; in rest it is.
copy_end copy_stream(std::FILE* in, std::FILE* out, std::span<unsigned char> buffer, const stream_copy& copy);

// Moves in's position length bytes on: by seeking when in is a regular
// file, never past its end, else by reading through a buffer.  False when
// in ends, or cannot be read, first; a regular file is then left at its
// end.
bool skip_bytes(std::FILE* in, std::uint64_t length);

#endif
