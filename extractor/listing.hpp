// SPDX-License-Identifier: MIT
// The listing of a set's table on the report: "count = N", then a line per
// entry.
#ifndef EXTRACTOR_LISTING_HPP
#define EXTRACTOR_LISTING_HPP

#include <cstdint>
#include <cstdio>
#include <string_view>

// The listing's first line, "count = N", after the discard point with
// verbose.
void print_counts(std::FILE* report, bool verbose, std::uint32_t count, std::uint32_t keep_count,
                  std::uint32_t keep_end);

// A line of the listing: "I: NAME, SIZE", and with verbose the words in
// hexadecimal and the payload's offset in the set.
void print_entry(std::FILE* report, bool verbose, std::uint32_t index, std::string_view name, std::uint32_t size,
                 std::uint32_t word1, std::uint32_t word2, std::uint64_t offset);

#endif
