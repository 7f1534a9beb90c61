// SPDX-License-Identifier: MIT
#include "run.hpp"

#include "compare.hpp"
#include "listfile.hpp"
#include "listing.hpp"
#include "live_file.hpp"
#include "set_input.hpp"
#include "set_test.hpp"
#include "sinks.hpp"
#include "statistics.hpp"
#include "streams.hpp"
#include "table.hpp"

#include <vector>

namespace {

int short_read(extract_run& run)
{
    std::fprintf(run.options.report, "Can't read %s\n", run.input.name);
    return end_run(run, 1);
}

// Opens the set and reads its table; false, with the run ended and its
// status in status, when either fails.
bool begin_set(extract_run& run, std::vector<listed_entry>& table, set_header& header, int& status)
{
    if (!open_set(run.input, run.options.report)) {
        status = end_run(run, 1);
        return false;
    }
    name_selection selection = select_names(run.options);
    if (!read_table(run.input, run.options, selection, run.listfile, table, header)) {
        status = short_read(run);
        return false;
    }
    if (run.listfile.ok && !flush_output(run.listfile.file)) {
        run.listfile.ok = false;
    }
    if (!report_unmatched(selection, run.options.report)) {
        run.totals.failed = true;
    }
    return true;
}

// The bodies follow the table in its order.  Reads the set in one forward
// pass, giving each wanted entry's body to visit and skipping each run of
// unwanted ones at once; false when the set ends short of one.
template <typename Visit>
bool each_wanted_body(extract_run& run, const std::vector<listed_entry>& table, Visit visit)
{
    std::uint64_t unwanted = 0;
    for (const listed_entry& listed : table) {
        if (!listed.wanted) {
            unwanted += body_length(listed.entry.size);
            continue;
        }
        if (!skip_bytes(run.input.stream, unwanted) || !visit(listed.entry)) {
            return false;
        }
        unwanted = 0;
    }
    return skip_bytes(run.input.stream, unwanted);
}

} // namespace

int extract_set(extract_run& run)
{
    std::vector<listed_entry> table;
    set_header header;
    int status = 0;
    if (!begin_set(run, table, header, status)) {
        return status;
    }
    file_sink sink{{run.listfile.identity, identity_of(run.input.stream)}, {}};
    const bool whole = each_wanted_body(run, table, [&](const toc_entry& entry) {
        return run.options.output == output_kind::files ? extract_entry(run.input, run.options, sink, run.totals, entry)
                                                        : send_entry(run.input, run.options, run.totals, entry);
    });
    if (!whole) {
        return short_read(run);
    }
    print_statistics(run.options, run.listfile, run.totals);
    return end_run(run, run.totals.failed ? 1 : 0);
}

namespace {

// The JSON listing of the entries wanted, on the data stream, written a
// piece at a time.  False when it did not get there whole.
bool print_json_listing(std::FILE* out, const set_header& header, const std::vector<listed_entry>& table)
{
    constexpr std::size_t PIECE = std::size_t{64} * 1024;
    std::string json;
    append_json_head(json, header.count, header.keep_count, header.keep_end);
    bool first = true;
    for (std::size_t index = 0; index < table.size(); ++index) {
        const listed_entry& listed = table[index];
        if (!listed.wanted) {
            continue;
        }
        const toc_entry& entry = listed.entry;
        append_json_entry(json, first, static_cast<std::uint32_t>(index), entry_name(entry), entry.size, entry.word1,
                          entry.word2, listed.offset);
        first = false;
        if (json.size() >= PIECE) {
            std::fputs(json.c_str(), out);
            json.clear();
        }
    }
    append_json_end(json, !first);
    std::fputs(json.c_str(), out);
    return flush_output(out);
}

} // namespace

int list_set(extract_run& run)
{
    std::vector<listed_entry> table;
    set_header header;
    int status = 0;
    if (!begin_set(run, table, header, status)) {
        return status;
    }
    if (run.options.listing == listing_kind::json && !print_json_listing(run.options.data, header, table)) {
        std::fprintf(run.options.report, "Can't write %s\n", "standard output");
        run.totals.failed = true;
    }
    return end_run(run, run.totals.failed ? 1 : 0);
}

int compare_set(extract_run& run)
{
    std::vector<listed_entry> table;
    set_header header;
    int status = 0;
    if (!begin_set(run, table, header, status)) {
        return status;
    }
    const run_files own{identity_of(LISTFILE_NAME), identity_of(run.input.stream)};
    if (!each_wanted_body(run, table, [&](const toc_entry& entry) {
            return compare_entry(run.input, run.options, own, run.totals, entry);
        })) {
        return short_read(run);
    }
    return end_run(run, run.totals.failed ? 1 : 0);
}

int test_set(extract_run& run)
{
    if (!open_set(run.input, run.options.report)) {
        return end_run(run, 1);
    }
    return end_run(run, check_open_set(run.options, run.input));
}

int end_run(extract_run& run, int status)
{
    close_set(run.input);
    close_listfile(run.listfile);
    if (!flush_output(run.options.report) && status == 0) {
        status = 1;
    }
    release_interruptions();
    return status;
}
