// SPDX-License-Identifier: MIT
// The listing of a set's table on the report: "count = N", then a line per
// entry; or with --json one JSON document of the same.
#ifndef EXTRACTOR_LISTING_HPP
#define EXTRACTOR_LISTING_HPP

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

// The listing's first line, "count = N", after the discard point with
// verbose.
void print_counts(std::FILE* report, bool verbose, std::uint32_t count, std::uint32_t keep_count,
                  std::uint32_t keep_end);

// A line of the listing: "I: NAME, SIZE", and with verbose the words in
// hexadecimal and the payload's offset in the set.
void print_entry(std::FILE* report, bool verbose, std::uint32_t index, std::string_view name, std::uint32_t size,
                 std::uint32_t word1, std::uint32_t word2, std::uint64_t offset);

// The JSON listing: one document, written only once the table is read
// whole, so that a set cut short leaves none half written.  Its first lines
// hold the header's counts; then one line per entry, an object with its
// index, name (and name_bytes, for a name that is not UTF-8), size, words
// and payload offset; then the lines that close it.  Each piece is appended
// to json, which the caller writes out as it grows.
void append_json_head(std::string& json, std::uint32_t count, std::uint32_t keep_count, std::uint32_t keep_end);

void append_json_entry(std::string& json, bool first, std::uint32_t index, std::string_view name, std::uint32_t size,
                       std::uint32_t word1, std::uint32_t word2, std::uint64_t offset);

void append_json_end(std::string& json, bool any);

#endif
