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

} // namespace

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
        const auto end = std::find_if(name.begin() + static_cast<std::ptrdiff_t>(start), name.end(),
                                      is_separator);
        const auto part_end = static_cast<std::size_t>(end - name.begin());
        if (name.substr(start, part_end - start) == "..") {
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

bool copy_payload(std::FILE* set, std::FILE* out, std::uint32_t length, bool& write_ok)
{
    std::uint32_t left = length;
    while (left > 0) {
        const auto want = static_cast<std::size_t>(std::min<std::uint32_t>(left, PAYLOAD_BUFFER_SIZE));
        if (!read_block(set, payload_buffer, want)) {
            return false;
        }
        if (out != nullptr && write_ok && std::fwrite(payload_buffer, 1, want, out) != want) {
            write_ok = false;
        }
        left -= static_cast<std::uint32_t>(want);
    }
    return true;
}
