// SPDX-License-Identifier: MIT
#include "patterns.hpp"

#include <cstddef>

namespace {

// The byte at pattern[i], or after a '\' there the byte it escapes, with i
// moved onto the byte taken.
unsigned char escaped_byte(std::string_view pattern, std::size_t& i)
{
    if (pattern[i] == '\\' && i + 1 < pattern.size()) {
        ++i;
    }
    return static_cast<unsigned char>(pattern[i]);
}

// Reads the bracket expression that starts at pattern[at] (the '[') into
// element.  Sets at to the byte after its ']' and gives true, or gives false
// with at unchanged when no ']' closes it.
bool read_bracket(std::string_view pattern, std::size_t& at, pattern_element& element)
{
    std::size_t i = at + 1;
    const bool negated = i < pattern.size() && (pattern[i] == '!' || pattern[i] == '^');
    if (negated) {
        ++i;
    }
    std::bitset<256> bytes;
    bool first = true;
    while (i < pattern.size() && (first || pattern[i] != ']')) {
        first = false;
        const unsigned char low = escaped_byte(pattern, i);
        unsigned char high = low;
        if (i + 2 < pattern.size() && pattern[i + 1] == '-' && pattern[i + 2] != ']') {
            i += 2;
            high = escaped_byte(pattern, i);
        }
        for (unsigned c = low; c <= high; ++c) {
            bytes.set(c);
        }
        ++i;
    }
    if (i >= pattern.size()) {
        return false;
    }
    at = i + 1;
    element.what = pattern_element::kind::set;
    element.bytes = negated ? ~bytes : bytes;
    return true;
}

bool element_matches(const pattern_element& element, char c)
{
    const auto byte = static_cast<unsigned char>(c);
    switch (element.what) {
    case pattern_element::kind::any:
        return true;
    case pattern_element::kind::set:
        return element.bytes.test(byte);
    case pattern_element::kind::byte:
        return element.byte == byte;
    case pattern_element::kind::star:
        break;
    }
    return false;
}

} // namespace

compiled_pattern compile_pattern(std::string_view pattern)
{
    compiled_pattern compiled;
    std::size_t p = 0;
    while (p < pattern.size()) {
        pattern_element element;
        if (pattern[p] == '*') {
            element.what = pattern_element::kind::star;
            ++p;
        } else if (pattern[p] == '?') {
            element.what = pattern_element::kind::any;
            ++p;
        } else if (pattern[p] != '[' || !read_bracket(pattern, p, element)) {
            // A plain byte, an escaped one, or a '[' that no ']' closes.
            element.byte = pattern[p] == '[' ? static_cast<unsigned char>('[') : escaped_byte(pattern, p);
            ++p;
        }
        compiled.elements.push_back(element);
    }
    return compiled;
}

bool pattern_matches(const compiled_pattern& pattern, std::string_view name)
{
    // The usual backtracking: on a mismatch, the last '*' takes one byte
    // more of the name.
    const std::vector<pattern_element>& elements = pattern.elements;
    std::size_t p = 0;
    std::size_t n = 0;
    std::size_t star = elements.size() + 1;
    std::size_t star_name = 0;
    while (n < name.size()) {
        if (p < elements.size() && elements[p].what == pattern_element::kind::star) {
            star = ++p;
            star_name = n;
        } else if (p < elements.size() && element_matches(elements[p], name[n])) {
            ++p;
            ++n;
        } else if (star > elements.size()) {
            return false;
        } else {
            p = star;
            n = ++star_name;
        }
    }
    while (p < elements.size() && elements[p].what == pattern_element::kind::star) {
        ++p;
    }
    return p == elements.size();
}

bool pattern_matches(std::string_view pattern, std::string_view name)
{
    return pattern_matches(compile_pattern(pattern), name);
}
