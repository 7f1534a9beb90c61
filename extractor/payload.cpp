// SPDX-License-Identifier: MIT
#include "payload.hpp"

#include <algorithm>

namespace {

// Static, so that its pages are touched only as far as payloads need them.
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
    std::size_t head_length = std::min(head.size(), PAYLOAD_BUFFER_SIZE);
    std::copy_n(head.begin(), head_length, payload_buffer);
    std::uint32_t left = length;
    do {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(left, PAYLOAD_BUFFER_SIZE - head_length));
        if (!read_block(set, payload_buffer + head_length, want)) {
            return false;
        }
        const std::size_t chunk = head_length + want;
        if (chunk > 0 && std::ferror(out) == 0) {
            std::fwrite(payload_buffer, 1, chunk, out);
        }
        left -= static_cast<std::uint32_t>(want);
        head_length = 0;
    } while (left > 0);
    return true;
}

bool skip_payload(std::FILE* set, std::uint32_t length)
{
    std::uint32_t left = length;
    while (left > 0) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(left, PAYLOAD_BUFFER_SIZE));
        if (!read_block(set, payload_buffer, want)) {
            return false;
        }
        left -= static_cast<std::uint32_t>(want);
    }
    return true;
}
