// SPDX-License-Identifier: MIT
#include "extract.hpp"

#include <algorithm>

namespace {

// Static, so that its pages are touched only as far as payloads need them.
unsigned char payload_buffer[PAYLOAD_BUFFER_SIZE];

bool is_separator(char c)
{
    return c == '/' || c == '\\';
}

bool is_ascii_letter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char ascii_upper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool equals_ignoring_case(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return ascii_upper(x) == ascii_upper(y); });
}

// Windows opens these names as devices rather than files.
#if defined(_WIN32)
constexpr bool DEVICE_NAMES_ARE_RESERVED = true;
#else
constexpr bool DEVICE_NAMES_ARE_RESERVED = false;
#endif

} // namespace

bool names_windows_device(std::string_view part)
{
    // The device is named by what comes before the first '.' or ':', with
    // trailing spaces dropped: "nul.txt", "CON " and "aux:x" all name one.
    part = part.substr(0, part.find_first_of(".:"));
    while (!part.empty() && part.back() == ' ') {
        part.remove_suffix(1);
    }
    for (const std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (equals_ignoring_case(part, device)) {
            return true;
        }
    }
    return part.size() == 4 &&
           (equals_ignoring_case(part.substr(0, 3), "COM") || equals_ignoring_case(part.substr(0, 3), "LPT")) &&
           part[3] >= '1' && part[3] <= '9';
}

bool name_is_safe(std::string_view name)
{
    if (!name.empty() && is_separator(name.front())) {
        return false;
    }
    if (name.size() >= 2 && is_ascii_letter(name[0]) && name[1] == ':') {
        return false;
    }
    std::size_t start = 0;
    for (;;) {
        const auto end = std::find_if(name.begin() + static_cast<std::ptrdiff_t>(start), name.end(), is_separator);
        const auto part_end = static_cast<std::size_t>(end - name.begin());
        const std::string_view part = name.substr(start, part_end - start);
        if (part == ".." || (DEVICE_NAMES_ARE_RESERVED && names_windows_device(part))) {
            return false;
        }
        if (end == name.end()) {
            return true;
        }
        start = part_end + 1;
    }
}

bool read_block(std::FILE* in, unsigned char* data, std::size_t length)
{
    return std::fread(data, 1, length, in) == length;
}

bool copy_payload(std::FILE* set, std::FILE* out, std::span<const unsigned char> head, std::uint32_t length,
                  bool& write_ok)
{
    // The head goes out in the same write as the payload's first bytes, so
    // that a small resource costs one write.
    std::size_t head_length = 0;
    if (out != nullptr) {
        head_length = std::min(head.size(), PAYLOAD_BUFFER_SIZE);
        std::copy_n(head.begin(), head_length, payload_buffer);
    }
    std::uint32_t left = length;
    do {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(left, PAYLOAD_BUFFER_SIZE - head_length));
        if (!read_block(set, payload_buffer + head_length, want)) {
            return false;
        }
        const std::size_t chunk = head_length + want;
        if (out != nullptr && write_ok && chunk > 0 && std::fwrite(payload_buffer, 1, chunk, out) != chunk) {
            write_ok = false;
        }
        left -= static_cast<std::uint32_t>(want);
        head_length = 0;
    } while (left > 0);
    return true;
}
