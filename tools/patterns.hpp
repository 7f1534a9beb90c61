// SPDX-License-Identifier: MIT
// Glob patterns as the tools take them on their command lines, matched
// against whole stored names.  A pattern is read once into its elements, so
// that matching it against many names never reads the pattern again.
#ifndef TOOLS_PATTERNS_HPP
#define TOOLS_PATTERNS_HPP

#include <bitset>
#include <string_view>
#include <vector>

// One element of a pattern: '*', '?', a bracket expression or one byte.
struct pattern_element {
    enum class kind { star, any, set, byte };
    kind what = kind::byte;
    // For byte: the byte itself.
    unsigned char byte = 0;
    // For set: every byte the bracket expression matches.
    std::bitset<256> bytes;
};

struct compiled_pattern {
    std::vector<pattern_element> elements;
};

// Reads pattern into its elements.  '*' matches any run of bytes, '/'
// included; '?' any one byte; "[...]" any one byte of the set it lists,
// with ranges such as a-z, and "[!...]" or "[^...]" any byte not in it ("["
// with no "]" after it is itself); '\' makes the byte after it stand for
// itself.  Every other byte matches itself, so that a pattern without these
// characters matches the one name it spells.
compiled_pattern compile_pattern(std::string_view pattern);

// True when the pattern matches the whole of name.
bool pattern_matches(const compiled_pattern& pattern, std::string_view name);

// The same for a pattern read afresh.
bool pattern_matches(std::string_view pattern, std::string_view name);

#endif
