// Closing an output stream so that no failed write goes unnoticed.
#ifndef FORMAT_STREAM_IO_HPP
#define FORMAT_STREAM_IO_HPP

#include <cstdio>

// Flushes out, checks its error flag and closes it; the stream is closed in
// every case.  False when any byte written to it may not have reached the
// file.  The flush comes first and on its own because some C runtimes
// (Windows' msvcrt among them) report success from fclose when the flush
// inside it fails.
bool close_output(std::FILE* out);

#endif
