// SPDX-License-Identifier: MIT
#include "names.hpp"

#include "files.hpp"

#include <algorithm>

namespace {

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

// The number of a COM or LPT port: a digit from 1 to 9, or a superscript
// 1, 2 or 3, a byte of the Windows code page or two bytes of UTF-8.
bool is_port_number(std::string_view number)
{
    const auto is_superscript = [](char c) { return c == '\xB9' || c == '\xB2' || c == '\xB3'; };
    if (number.size() == 1) {
        return (number[0] >= '1' && number[0] <= '9') || is_superscript(number[0]);
    }
    return number.size() == 2 && number[0] == '\xC2' && is_superscript(number[1]);
}

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
    return part.size() > 3 &&
           (equals_ignoring_case(part.substr(0, 3), "COM") || equals_ignoring_case(part.substr(0, 3), "LPT")) &&
           is_port_number(part.substr(3));
}

bool names_listfile(std::string_view name)
{
    bool found = false;
    std::size_t start = 0;
    for (;;) {
        std::size_t end = start;
        while (end < name.size() && !is_folder_separator(name[end])) {
            ++end;
        }
        std::string_view part = name.substr(start, end - start);
        if (NAMES_FOLD) {
            while (!part.empty() && (part.back() == '.' || part.back() == ' ')) {
                part.remove_suffix(1);
            }
        }
        if (part == "reslist.txt" || (NAMES_FOLD && equals_ignoring_case(part, "reslist.txt"))) {
            if (found) {
                return false;
            }
            found = true;
        } else if (!part.empty() && part != ".") {
            return false;
        }
        if (end == name.size()) {
            return found;
        }
        start = end + 1;
    }
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

bool extracts_safely(std::string_view name)
{
    return name_is_safe(name) && !names_listfile(name);
}
