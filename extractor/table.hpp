// SPDX-License-Identifier: MIT
// The set's table as tarnvex reads it: every entry, listed on the report
// and named in reslist.txt when the NAMEs want it.
#ifndef EXTRACTOR_TABLE_HPP
#define EXTRACTOR_TABLE_HPP

#include "patterns.hpp"
#include "resource_format.hpp"
#include "run_records.hpp"

#include <vector>

// An entry of the table, and whether the NAMEs want it.
struct listed_entry {
    toc_entry entry;
    bool wanted;
    // Where its payload begins in the set, by the table.
    std::uint64_t offset;
};

// The NAMEs of a run, each read once into its pattern, and which of them
// matched an entry.
struct name_selection {
    std::vector<std::string_view> names;
    std::vector<compiled_pattern> patterns;
    std::vector<bool> matched;
};

name_selection select_names(const run_options& options);

// Reads the set_header into header and the whole table into table,
// printing the count and a line per entry the NAMEs want (as
// options.listing says: the JSON listing is left to the caller), and
// writing its name to the listfile, if there is one.  False on a short
// read.
bool read_table(set_input& input, const run_options& options, name_selection& selection, listfile_state& listfile,
                std::vector<listed_entry>& table, set_header& header);

// Reports "No entry matches" for each NAME that matched nothing.  False
// when there is one.
bool report_unmatched(const name_selection& selection, std::FILE* report);

#endif
