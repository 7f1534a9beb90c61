// SPDX-License-Identifier: MIT
#include "streams.hpp"

#include <csignal>

#if !defined(_WIN32)
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

copy_end copy_rest(std::FILE* in, std::FILE* out, std::span<unsigned char> buffer, std::uint64_t limit)
{
    std::uint64_t total = 0;
    for (;;) {
        const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), in);
        total += got;
        if (total > limit) {
            return copy_end::too_long;
        }
        if (got > 0 && std::ferror(out) == 0) {
            std::fwrite(buffer.data(), 1, got, out);
        }
        if (got < buffer.size()) {
            return std::ferror(in) == 0 ? copy_end::done : copy_end::read_failed;
        }
    }
}

bool open_standard_streams()
{
#if !defined(_WIN32)
    for (int descriptor = 0; descriptor <= 2; ++descriptor) {
        if (fcntl(descriptor, F_GETFD) != -1 || errno != EBADF) {
            continue;
        }
        // The lowest free descriptor is the one closed: those below it are
        // open by now.
        const int opened = open("/dev/null", descriptor == 0 ? O_WRONLY : O_RDONLY);
        if (opened != descriptor) {
            if (opened >= 0) {
                close(opened);
            }
            return false;
        }
    }
#endif
    return true;
}

void ignore_write_signals()
{
#if defined(SIGPIPE)
    std::signal(SIGPIPE, SIG_IGN);
#endif
#if defined(SIGXFSZ)
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

bool flush_output(std::FILE* out)
{
    return std::fflush(out) == 0 && std::ferror(out) == 0;
}

bool close_output(std::FILE* out)
{
    const bool flushed = flush_output(out);
    const bool closed = std::fclose(out) == 0;
    return flushed && closed;
}
