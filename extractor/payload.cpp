// SPDX-License-Identifier: MIT
#include "payload.hpp"

#include "streams.hpp"

namespace {

// Static, so that its pages are touched only as far as payloads need them.
// The set's stream has its own, smaller buffer: a large payload is read
// from the file straight into this one.
unsigned char payload_buffer[PAYLOAD_BUFFER_SIZE];

} // namespace

bool read_block(std::FILE* in, unsigned char* data, std::size_t length)
{
    return std::fread(data, 1, length, in) == length;
}

bool copy_payload(std::FILE* set, std::FILE* out, std::span<const unsigned char> head, std::uint32_t length)
{
    // The head goes out in the same write as the payload's first bytes, so
    // that a small resource costs one write.
    const stream_copy copy{.head = head, .length = length};
    return copy_stream(set, out, payload_buffer, copy) == copy_end::done;
}
