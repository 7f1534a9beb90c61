// SPDX-License-Identifier: MIT
#include "set_input.hpp"

#include "files.hpp"

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
    std::uint64_t length = 0;
    input.seekable = regular_file_length(input.stream, length);
    return true;
}

int read_set_bytes(std::FILE* set, void* buffer, std::size_t length, std::size_t* got)
{
    *got = std::fread(buffer, 1, length, set);
    return *got < length && std::ferror(set) != 0 ? 1 : 0;
}

void close_set(set_input& input)
{
    if (input.stream != nullptr) {
        std::fclose(input.stream);
        input.stream = nullptr;
    }
}
