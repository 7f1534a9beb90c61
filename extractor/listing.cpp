// SPDX-License-Identifier: MIT
#include "listing.hpp"

#include <cinttypes>
#include <string>

void print_counts(std::FILE* report, bool verbose, std::uint32_t count, std::uint32_t keep_count,
                  std::uint32_t keep_end)
{
    if (verbose) {
        std::fprintf(report, "keep_count = %" PRIu32 ", keep_end = %" PRIu32 "\n", keep_count, keep_end);
    }
    std::fprintf(report, "count = %" PRIu32 "\n", count);
}

void print_entry(std::FILE* report, bool verbose, std::uint32_t index, std::string_view name, std::uint32_t size,
                 std::uint32_t word1, std::uint32_t word2, std::uint64_t offset)
{
    const std::string shown(name);
    if (verbose) {
        std::fprintf(report, "%" PRIu32 ": %s, %" PRIu32 ", 0x%08" PRIx32 ", 0x%08" PRIx32 ", %" PRIu64 "\n", index,
                     shown.c_str(), size, word1, word2, offset);
    } else {
        std::fprintf(report, "%" PRIu32 ": %s, %" PRIu32 "\n", index, shown.c_str(), size);
    }
}
