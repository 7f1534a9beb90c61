// SPDX-License-Identifier: MIT
// The NAMEs after a set on tarnvex's command line: glob patterns matched
// against whole stored names.
#ifndef EXTRACTOR_PATTERNS_HPP
#define EXTRACTOR_PATTERNS_HPP

#include <string_view>

// True when pattern matches the whole of name.  '*' matches any run of
// bytes, '/' included; '?' any one byte; "[...]" any one byte of the set it
// lists, with ranges such as a-z, and "[!...]" or "[^...]" any byte not in
// it ("[" with no "]" after it is itself); '\' makes the byte after it stand
// for itself.  Every other byte matches itself, so that a pattern without
// these characters matches the one name it spells.
bool pattern_matches(std::string_view pattern, std::string_view name);

#endif
