// SPDX-License-Identifier: MIT
#include "set_input.hpp"

#include "payload.hpp"

#include <algorithm>

namespace {

// The set's stream buffer: the table and small bodies come in with a read
// per 64 KiB rather than a read or two per entry.  It is much smaller than
// the payload buffer, so that the C library reads the bulk of a large
// payload straight into that buffer instead of copying it through this one
// (a 1 MiB buffer here cost 80 ms of copying per GiB extracted).
char set_buffer[64 * 1024];

} // namespace

bool open_set(set_input& input, std::FILE* report)
{
    input.stream = std::fopen(input.path.c_str(), "rb");
    if (input.stream == nullptr) {
        std::fprintf(report, "Can't open %s\n", input.name);
        return false;
    }
    std::setvbuf(input.stream, set_buffer, _IOFBF, sizeof set_buffer);
    input.seekable = regular_file_length(input.stream, input.length);
    return true;
}

bool skip_set_bytes(set_input& input, std::uint64_t length)
{
    if (length == 0) {
        return true;
    }
    if (input.seekable) {
        return seek_forward(input.stream, length, input.length);
    }
    constexpr std::uint64_t PIECE = std::uint64_t{1} << 30U;
    for (; length > 0; length -= std::min(length, PIECE)) {
        if (!skip_payload(input.stream, static_cast<std::uint32_t>(std::min(length, PIECE)))) {
            return false;
        }
    }
    return true;
}

void close_set(set_input& input)
{
    if (input.stream != nullptr) {
        std::fclose(input.stream);
        input.stream = nullptr;
    }
}
