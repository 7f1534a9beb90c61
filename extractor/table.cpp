// SPDX-License-Identifier: MIT
#include "table.hpp"

#include "listfile.hpp"
#include "listing.hpp"
#include "payload.hpp"
#include "set_check.hpp"
#include "set_rules.hpp"

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

bool read_table(set_input& input, const run_options& options, name_selection& selection, listfile_state& listfile,
                std::vector<listed_entry>& table)
{
    // Only the count is needed to extract; the discard point is shown and
    // listed when asked for.
    set_header_bytes header_bytes{};
    if (!read_block(input.stream, header_bytes.data(), header_bytes.size())) {
        return false;
    }
    const set_header header = decode_set_header(header_bytes);
    print_counts(options.report, options.verbose, header.count, header.keep_count, header.keep_end);

    // From a pipe, which may stall at any point, each name is flushed at
    // once; a table in a regular file is read in moments, and its names are
    // flushed together once it is (a write per name cost more than
    // replacing the files themselves on ext4).
    const bool flush_each = !input.seekable;
    // The table grows with the entries actually read, never with what the
    // count claims.
    std::uint64_t offset = bodies_start(header.count);
    for (std::uint32_t i = 0; i < header.count; ++i) {
        toc_entry_bytes entry_bytes{};
        if (i == TABLE_ENTRIES_MAX || !read_block(input.stream, entry_bytes.data(), entry_bytes.size())) {
            return false;
        }
        const toc_entry entry = decode_toc_entry(entry_bytes);
        const std::string name = entry_name(entry);
        const bool is_wanted = wanted(selection, name);
        if (is_wanted) {
            print_entry(options.report, options.verbose, i, name, entry.size, entry.word1, entry.word2,
                        offset + BODY_HEADER_SIZE);
            list_name(listfile, options.exact, flush_each, i, header.keep_count, header.count, name);
        }
        table.push_back({entry, is_wanted});
        offset += body_length(entry);
    }
    return true;
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
