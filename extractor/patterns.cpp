// SPDX-License-Identifier: MIT
#include "patterns.hpp"

#include <cstddef>

namespace {

// Matches the bracket expression that starts at pattern[at] (the '[')
// against c.  Sets at to the byte after its ']' and gives true or false,
// or gives false with at unchanged and found false when no ']' closes it.
bool bracket_matches(std::string_view pattern, std::size_t& at, unsigned char c, bool& found)
{
    std::size_t i = at + 1;
    const bool negated = i < pattern.size() && (pattern[i] == '!' || pattern[i] == '^');
    if (negated) {
        ++i;
    }
    bool matched = false;
    bool first = true;
    while (i < pattern.size() && (first || pattern[i] != ']')) {
        first = false;
        if (pattern[i] == '\\' && i + 1 < pattern.size()) {
            ++i;
        }
        const auto low = static_cast<unsigned char>(pattern[i]);
        auto high = low;
        if (i + 2 < pattern.size() && pattern[i + 1] == '-' && pattern[i + 2] != ']') {
            i += 2;
            if (pattern[i] == '\\' && i + 1 < pattern.size()) {
                ++i;
            }
            high = static_cast<unsigned char>(pattern[i]);
        }
        if (c >= low && c <= high) {
            matched = true;
        }
        ++i;
    }
    found = i < pattern.size();
    if (!found) {
        return false;
    }
    at = i + 1;
    return matched != negated;
}

// Matches the element of pattern at p that is not a '*' (a '?', a bracket
// expression, an escaped byte or a plain one) against c.  True, with p
// moved past the element, when it matches.
bool element_matches(std::string_view pattern, std::size_t& p, char c)
{
    const char wanted = pattern[p];
    if (wanted == '?') {
        ++p;
        return true;
    }
    if (wanted == '[') {
        bool found = false;
        std::size_t after = p;
        const bool matched = bracket_matches(pattern, after, static_cast<unsigned char>(c), found);
        if (found) {
            p = after;
            return matched;
        }
        // No ']' closes it: the '[' is itself.
    }
    std::size_t literal = p;
    if (wanted == '\\' && p + 1 < pattern.size()) {
        ++literal;
    }
    if (pattern[literal] != c) {
        return false;
    }
    p = literal + 1;
    return true;
}

} // namespace

bool pattern_matches(std::string_view pattern, std::string_view name)
{
    // The usual backtracking: on a mismatch, the last '*' takes one byte
    // more of the name.
    std::size_t p = 0;
    std::size_t n = 0;
    std::size_t star = std::string_view::npos;
    std::size_t star_name = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = ++p;
            star_name = n;
        } else if (p < pattern.size() && element_matches(pattern, p, name[n])) {
            ++n;
        } else if (star == std::string_view::npos) {
            return false;
        } else {
            p = star;
            n = ++star_name;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}
