// SPDX-License-Identifier: MIT
// The standard streams and output streams: no output file may take the place
// of a standard stream, and no failed write may go unnoticed.
#ifndef PLATFORM_STREAMS_HPP
#define PLATFORM_STREAMS_HPP

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

// How copy_rest ended.
enum class copy_end {
    done,        // in came to its end, and every byte read was written
    read_failed, // reading in failed
    too_long,    // in holds more than limit bytes; none past them was written
};

// Copies the rest of in onto out through buffer, in pieces of its size.  A
// failed write is left in out's error flag, and nothing more is written
// after it.
copy_end copy_rest(std::FILE* in, std::FILE* out, std::span<unsigned char> buffer, std::uint64_t limit);

#endif
