// SPDX-License-Identifier: MIT
#include "streams.hpp"

#include "files.hpp"

#include <algorithm>
#include <array>
#include <csignal>
#include <cstddef>

#if !defined(_WIN32)
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// Writes count bytes of data onto out unless a write to it has failed.
void write_unless_failed(std::FILE* out, const unsigned char* data, std::size_t count)
{
    if (count > 0 && std::ferror(out) == 0) {
        std::fwrite(data, 1, count, out);
    }
}

// How a read that came short ended: otherwise, unless in reports an error.
copy_end short_read_end(std::FILE* in, copy_end otherwise)
{
    return std::ferror(in) != 0 ? copy_end::read_failed : otherwise;
}

// Whether in ends where it stands.
copy_end check_end(std::FILE* in)
{
    if (std::fgetc(in) != EOF) {
        return copy_end::too_long;
    }
    return short_read_end(in, copy_end::done);
}

} // namespace

copy_end copy_stream(std::FILE* in, std::FILE* out, std::span<unsigned char> buffer, const stream_copy& copy)
{
    // Reads land after the room kept for the head; once the skipped bytes
    // are in, the head is put just before the first byte kept, over them.
    std::size_t front = copy.head.size();
    std::size_t drop = copy.skip;
    if (front + drop >= buffer.size()) {
        return copy_end::read_failed;
    }
    std::uint64_t left = copy.length;
    for (;;) {
        const std::size_t room = buffer.size() - front - drop;
        const std::size_t piece =
            copy.extent == copy_extent::rest ? room : static_cast<std::size_t>(std::min<std::uint64_t>(left, room));
        const std::size_t want = drop + piece;
        const std::size_t got = std::fread(buffer.data() + front, 1, want, in);
        const bool short_read = got < want;
        if (got < drop || (short_read && copy.extent != copy_extent::rest)) {
            return short_read_end(in, copy_end::ended);
        }
        const std::size_t kept = got - drop;
        if (kept > left) {
            return copy_end::too_long;
        }
        std::copy_n(copy.head.begin(), front, buffer.begin() + static_cast<std::ptrdiff_t>(drop));
        write_unless_failed(out, buffer.data() + drop, front + kept);
        left -= kept;
        front = 0;
        drop = 0;
        if (short_read) {
            return short_read_end(in, copy_end::done);
        }
        if (copy.extent != copy_extent::rest && left == 0) {
            break;
        }
    }
    return copy.extent == copy_extent::exact_to_end ? check_end(in) : copy_end::done;
}

bool skip_bytes(std::FILE* in, std::uint64_t length)
{
    if (length == 0) {
        return true;
    }
    std::uint64_t file_length = 0;
    if (regular_file_length(in, file_length)) {
        return seek_forward(in, length, file_length);
    }
    // On the stack, so that callers on several threads each have their own.
    std::array<unsigned char, std::size_t{64} * 1024> buffer;
    for (std::uint64_t left = length; left > 0;) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
        if (std::fread(buffer.data(), 1, want, in) != want) {
            return false;
        }
        left -= want;
    }
    return true;
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
