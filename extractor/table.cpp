// SPDX-License-Identifier: MIT
#include "table.hpp"

#include "listfile.hpp"
#include "listing.hpp"
#include "resource_set.h"
#include "set_input.hpp"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

namespace {

// True when there are no NAMEs or one of them matches name; every NAME that
// does is marked as having matched.
bool wanted(name_selection& selection, const std::string& name)
{
    bool matched = selection.names.empty();
    for (std::size_t i = 0; i < selection.names.size(); ++i) {
        if (pattern_matches(selection.patterns[i], name)) {
            selection.matched[i] = true;
            matched = true;
        }
    }
    return matched;
}

} // namespace

name_selection select_names(const run_options& options)
{
    name_selection selection{options.names, {}, std::vector<bool>(options.names.size(), false)};
    for (const std::string_view name : options.names) {
        selection.patterns.push_back(compile_pattern(name));
    }
    return selection;
}

namespace {

// What the table's callbacks work on.
struct table_reading {
    set_input& input;
    const run_options& options;
    name_selection& selection;
    listfile_state& listfile;
    std::vector<listed_entry>& table;
    set_header& header;
    // Memory ran out while an entry was kept: the reading is cut short, and
    // the caller told.
    bool out_of_memory = false;
};

int read_set(void* context, void* buffer, std::size_t length, std::size_t* got)
{
    auto& reading = *static_cast<table_reading*>(context);
    if (reading.out_of_memory) {
        *got = 0;
        return 1;
    }
    return read_set_bytes(reading.input.stream, buffer, length, got);
}

void take_header(void* context, std::uint32_t count, std::uint32_t keep_count, std::uint32_t keep_end)
{
    auto& reading = *static_cast<table_reading*>(context);
    reading.header.count = count;
    reading.header.keep_count = keep_count;
    reading.header.keep_end = keep_end;
    if (reading.options.listing == listing_kind::text) {
        print_counts(reading.options.report, reading.options.verbose, count, keep_count, keep_end);
    }
}

void take_entry(void* context, std::uint32_t index, const resource_set_entry* entry)
{
    auto& reading = *static_cast<table_reading*>(context);
    if (reading.out_of_memory) {
        return;
    }
    // The name as stored, cut at its field: at most 36 bytes.
    const std::string_view name(entry->name, std::strlen(entry->name));
    toc_entry kept;
    std::copy(name.begin(), name.end(), kept.name.begin());
    kept.word1 = entry->word1;
    kept.word2 = entry->word2;
    kept.size = entry->size;
    try {
        const std::string listed(name);
        const bool is_wanted = wanted(reading.selection, listed);
        if (is_wanted) {
            const run_options& options = reading.options;
            if (options.listing == listing_kind::text) {
                print_entry(options.report, options.verbose, index, listed, entry->size, entry->word1, entry->word2,
                            entry->offset);
            }
            // From a pipe, which may stall at any point, each name is
            // flushed at once; a table in a regular file is read in
            // moments, and its names are flushed together once it is (a
            // write per name cost more than replacing the files themselves
            // on ext4).
            list_name(reading.listfile, options.exact, !reading.input.seekable, index, reading.header.keep_count,
                      reading.header.count, listed);
        }
        reading.table.push_back({kept, is_wanted, entry->offset});
    } catch (const std::bad_alloc&) {
        reading.out_of_memory = true;
    }
}

} // namespace

bool read_table(set_input& input, const run_options& options, name_selection& selection, listfile_state& listfile,
                std::vector<listed_entry>& table, set_header& header)
{
    // The table grows with the entries actually read, never with what the
    // count claims.
    table_reading reading{input, options, selection, listfile, table, header};
    const resource_set_check_callbacks callbacks{
        sizeof(resource_set_check_callbacks), read_set, take_header, take_entry, nullptr, &reading};
    const resource_set_status status = resource_set_read_table_stream(&callbacks);
    if (reading.out_of_memory) {
        throw std::bad_alloc();
    }
    return status == RESOURCE_SET_OK;
}

bool report_unmatched(const name_selection& selection, std::FILE* report)
{
    bool all_matched = true;
    for (std::size_t i = 0; i < selection.names.size(); ++i) {
        if (!selection.matched[i]) {
            const std::string name(selection.names[i]);
            std::fprintf(report, "No entry matches %s\n", name.c_str());
            all_matched = false;
        }
    }
    return all_matched;
}
