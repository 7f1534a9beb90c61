// SPDX-License-Identifier: MIT
#include "run.hpp"

#include "live_file.hpp"
#include "patterns.hpp"
#include "payload.hpp"
#include "resource_format.hpp"
#include "set_check.hpp"
#include "set_rules.hpp"
#include "streams.hpp"

#include <algorithm>
#include <array>
#include <cinttypes>
#include <span>

namespace {

constexpr const char* LISTFILE_NAME = "reslist.txt";
// The listfile line that marks the discard point, as vashpak reads it.
constexpr const char* DISCARD_LINE = "!discard";

// The set's stream buffer: the table and small bodies come in with a read
// per 64 KiB rather than a read or two per entry.  It is much smaller than
// the payload buffer, so that the C library reads the bulk of a large
// payload straight into that buffer instead of copying it through this one
// (a 1 MiB buffer here cost 20 ms of copying per 256 MiB extracted).
char set_buffer[64 * 1024];

// An entry of the table, and whether the NAMEs want it.
struct listed_entry {
    toc_entry entry;
    bool wanted;
};

bool open_set(extract_run& run);
bool read_table(extract_run& run, std::vector<listed_entry>& table);
void print_counts(const extract_run& run, const set_header& header);
void print_entry(const extract_run& run, std::uint32_t index, const std::string& name, std::uint32_t size,
                 std::uint32_t word1, std::uint32_t word2, std::uint64_t offset);
bool wanted(extract_run& run, const std::string& name);
void report_unmatched(extract_run& run);
bool extract_entry(extract_run& run, const toc_entry& entry);
bool send_entry(extract_run& run, const toc_entry& entry);
bool skip_bytes(extract_run& run, std::uint64_t length);
void print_statistics(extract_run& run);
int short_read(extract_run& run);
void list_name(extract_run& run, std::uint32_t index, std::uint32_t keep_count, std::uint32_t count,
               const std::string& name);
void close_listfile(extract_run& run);

} // namespace

void open_listfile(extract_run& run)
{
    run.listfile = create_text_output(LISTFILE_NAME);
    run.listfile_ok = run.listfile != nullptr;
    // What an entry's name must not reach, however it is spelt: the
    // listfile, or whatever stands at its name when it could not be opened.
    run.own.listfile = run.listfile != nullptr ? identity_of(run.listfile) : identity_of(LISTFILE_NAME);
}

int extract_set(extract_run& run)
{
    if (!open_set(run)) {
        return end_run(run, 1);
    }
    run.own.set = identity_of(run.set);
    // The whole table comes before any body.
    std::vector<listed_entry> table;
    if (!read_table(run, table)) {
        return short_read(run);
    }
    if (run.listfile_ok && !flush_output(run.listfile)) {
        run.listfile_ok = false;
    }
    report_unmatched(run);
    // The bodies follow in table order; the set is read in one forward pass,
    // and those not wanted are skipped, each run of them at once.
    std::uint64_t unwanted = 0;
    for (const listed_entry& listed : table) {
        if (!listed.wanted) {
            unwanted += body_length(listed.entry);
            continue;
        }
        const bool whole =
            skip_bytes(run, unwanted) && (run.options.output == output_kind::files ? extract_entry(run, listed.entry)
                                                                                   : send_entry(run, listed.entry));
        if (!whole) {
            return short_read(run);
        }
        unwanted = 0;
    }
    if (!skip_bytes(run, unwanted)) {
        return short_read(run);
    }
    print_statistics(run);
    return end_run(run, run.failed ? 1 : 0);
}

int list_set(extract_run& run)
{
    if (!open_set(run)) {
        return end_run(run, 1);
    }
    std::vector<listed_entry> table;
    if (!read_table(run, table)) {
        return short_read(run);
    }
    report_unmatched(run);
    return end_run(run, run.failed ? 1 : 0);
}

namespace {

// The check of a set: what it found, kept until its listing is printed
// whole.
struct test_run {
    const extract_run& run;
    std::vector<resource_set_finding> findings;
};

// The callbacks of the check: the set's bytes from its stream, the listing
// on the report, the problems into findings.
int read_tested_set(void* context, void* buffer, std::size_t length, std::size_t* got)
{
    std::FILE* const set = static_cast<const test_run*>(context)->run.set;
    *got = std::fread(buffer, 1, length, set);
    return *got < length && std::ferror(set) != 0 ? 1 : 0;
}

void print_tested_header(void* context, std::uint32_t count, std::uint32_t keep_count, std::uint32_t keep_end)
{
    print_counts(static_cast<const test_run*>(context)->run, {SET_MAGIC, 0, count, keep_count, keep_end});
}

void print_tested_entry(void* context, std::uint32_t index, const resource_set_entry* entry)
{
    print_entry(static_cast<const test_run*>(context)->run, index, entry->name, entry->size, entry->word1, entry->word2,
                entry->offset);
}

void keep_finding(void* context, const resource_set_finding* finding)
{
    static_cast<test_run*>(context)->findings.push_back(*finding);
}

void print_problem(std::FILE* report, const resource_set_finding* finding)
{
    const std::uint32_t entry = finding->entry;
    switch (finding->problem) {
    case RESOURCE_SET_PROBLEM_MAGIC:
        std::fprintf(report, "Magic is not 0TSR\n");
        break;
    case RESOURCE_SET_PROBLEM_RESERVED:
        if (entry == RESOURCE_SET_NO_ENTRY) {
            std::fprintf(report, "Reserved word of the header is not 0\n");
        } else {
            std::fprintf(report, "Entry %" PRIu32 ": reserved word is not 0\n", entry);
        }
        break;
    case RESOURCE_SET_PROBLEM_COUNT:
        std::fprintf(report, "Count is above 4096\n");
        break;
    case RESOURCE_SET_PROBLEM_KEEP_COUNT:
        std::fprintf(report, "keep_count is above the count\n");
        break;
    case RESOURCE_SET_PROBLEM_KEEP_END:
        std::fprintf(report, "keep_end is not %" PRIu64 ", the end of the kept bodies\n", finding->value);
        break;
    case RESOURCE_SET_PROBLEM_NAME_UNTERMINATED:
        std::fprintf(report, "Entry %" PRIu32 ": name has no terminator\n", entry);
        break;
    case RESOURCE_SET_PROBLEM_NAME_PADDING:
        std::fprintf(report, "Entry %" PRIu32 ": bytes after the name are not 0\n", entry);
        break;
    case RESOURCE_SET_PROBLEM_NAME_LENGTH:
        std::fprintf(report, "Entry %" PRIu32 ": name is longer than 32 bytes\n", entry);
        break;
    case RESOURCE_SET_PROBLEM_NAME_UNSAFE:
        std::fprintf(report, "Entry %" PRIu32 ": name is unsafe to extract\n", entry);
        break;
    case RESOURCE_SET_PROBLEM_SHORT:
        std::fprintf(report, "Set is %" PRIu64 " bytes shorter than its table says\n", finding->value);
        break;
    case RESOURCE_SET_PROBLEM_TRAILING:
        std::fprintf(report, "Set has %" PRIu64 " bytes after its last body\n", finding->value);
        break;
    case RESOURCE_SET_PROBLEM_UNREADABLE:
        if (entry == RESOURCE_SET_NO_ENTRY) {
            std::fprintf(report, "Set cannot be read\n");
        } else {
            std::fprintf(report, "Entry %" PRIu32 ": cannot be read\n", entry);
        }
        break;
    case RESOURCE_SET_PROBLEM_TABLE_TOO_LONG:
        std::fprintf(report, "Table is not checked past entry %" PRIu64 "\n", finding->value);
        break;
    }
}

} // namespace

int test_set(extract_run& run)
{
    if (!open_set(run)) {
        return end_run(run, 1);
    }
    // The listing comes first, then the problems.
    test_run test{run, {}};
    const resource_set_check_callbacks callbacks{read_tested_set, print_tested_header, print_tested_entry, keep_finding,
                                                 &test};
    std::uint32_t problems = 0;
    if (check_set(callbacks, problems) == RESOURCE_SET_ERROR_MEMORY) {
        std::fprintf(run.report, "Out of memory\n");
        return end_run(run, 1);
    }
    for (const resource_set_finding& finding : test.findings) {
        print_problem(run.report, &finding);
    }
    if (problems == 0) {
        std::fprintf(run.report, "%s: OK\n", run.set_name);
    } else {
        std::fprintf(run.report, "%s: %" PRIu32 " problems\n", run.set_name, problems);
    }
    return end_run(run, problems == 0 ? 0 : 1);
}

int end_run(extract_run& run, int status)
{
    if (run.set != nullptr) {
        std::fclose(run.set);
        run.set = nullptr;
    }
    close_listfile(run);
    if (!flush_output(run.report) && status == 0) {
        status = 1;
    }
    release_interruptions();
    return status;
}

namespace {

bool open_set(extract_run& run)
{
    run.set = std::fopen(run.set_path.c_str(), "rb");
    if (run.set == nullptr) {
        std::fprintf(run.report, "Can't open %s\n", run.set_name);
        return false;
    }
    std::setvbuf(run.set, set_buffer, _IOFBF, sizeof set_buffer);
    run.seekable = regular_file_length(run.set, run.set_length);
    return true;
}

// Reads the set_header and the whole table into table, printing the count
// and a line per entry the NAMEs want and writing its name to the
// listfile, if there is one.  False on a short read.
bool read_table(extract_run& run, std::vector<listed_entry>& table)
{
    // Only the count is needed to extract; the discard point is shown and
    // listed when asked for.
    set_header_bytes header_bytes{};
    if (!read_block(run.set, header_bytes.data(), header_bytes.size())) {
        return false;
    }
    const set_header header = decode_set_header(header_bytes);
    print_counts(run, header);

    // The table grows with the entries actually read, never with what the
    // count claims.
    std::uint64_t offset = bodies_start(header.count);
    for (std::uint32_t i = 0; i < header.count; ++i) {
        toc_entry_bytes entry_bytes{};
        if (i == TABLE_ENTRIES_MAX || !read_block(run.set, entry_bytes.data(), entry_bytes.size())) {
            return false;
        }
        const toc_entry entry = decode_toc_entry(entry_bytes);
        const std::string name = entry_name(entry);
        const bool is_wanted = wanted(run, name);
        if (is_wanted) {
            print_entry(run, i, name, entry.size, entry.word1, entry.word2, offset + BODY_HEADER_SIZE);
            list_name(run, i, header.keep_count, header.count, name);
        }
        table.push_back({entry, is_wanted});
        offset += body_length(entry);
    }
    return true;
}

// The listing's first line, "count = N", after the discard point with
// verbose.
void print_counts(const extract_run& run, const set_header& header)
{
    if (run.options.verbose) {
        std::fprintf(run.report, "keep_count = %" PRIu32 ", keep_end = %" PRIu32 "\n", header.keep_count,
                     header.keep_end);
    }
    std::fprintf(run.report, "count = %" PRIu32 "\n", header.count);
}

// A line of the listing: "I: NAME, SIZE", and with verbose the words in
// hexadecimal and the payload's offset in the set.
void print_entry(const extract_run& run, std::uint32_t index, const std::string& name, std::uint32_t size,
                 std::uint32_t word1, std::uint32_t word2, std::uint64_t offset)
{
    if (run.options.verbose) {
        std::fprintf(run.report, "%" PRIu32 ": %s, %" PRIu32 ", 0x%08" PRIx32 ", 0x%08" PRIx32 ", %" PRIu64 "\n", index,
                     name.c_str(), size, word1, word2, offset);
    } else {
        std::fprintf(run.report, "%" PRIu32 ": %s, %" PRIu32 "\n", index, name.c_str(), size);
    }
}

// True when there are no NAMEs or one of them matches name; every NAME that
// does is marked as having matched.
bool wanted(extract_run& run, const std::string& name)
{
    bool matched = run.options.names.empty();
    for (std::size_t i = 0; i < run.options.names.size(); ++i) {
        if (pattern_matches(run.options.names[i], name)) {
            run.names_matched[i] = true;
            matched = true;
        }
    }
    return matched;
}

void report_unmatched(extract_run& run)
{
    for (std::size_t i = 0; i < run.options.names.size(); ++i) {
        if (!run.names_matched[i]) {
            const std::string name(run.options.names[i]);
            std::fprintf(run.report, "No entry matches %s\n", name.c_str());
            run.failed = true;
        }
    }
}

// Recreates one resource file from the body at the current position of the
// set, or skips the body when the file cannot or must not be written.
// Whatever stands at the entry's name is replaced only by a whole file (see
// begin_output).  False only when the set ends inside the body.
bool extract_entry(extract_run& run, const toc_entry& entry)
{
    body_header_bytes stored{};
    if (!read_block(run.set, stored.data(), stored.size())) {
        return false;
    }
    const std::string name = entry_name(entry);
    const output_start start =
        begin_output(name, run.own, run.options.make_directories, run.options.keep_old_files, run.memory);
    if (start != output_start::started) {
        if (start == output_start::kept) {
            std::fprintf(run.report, "Keeping %s\n", name.c_str());
        } else {
            std::fprintf(run.report, start == output_start::unsafe ? "Skipping unsafe name %s\n" : "Can't create %s\n",
                         name.c_str());
            run.failed = true;
        }
        return skip_bytes(run, entry.size);
    }
    // The file is written in whole blocks by copy_payload: it needs no
    // stream buffer.
    std::FILE* const out = live_file_stream();
    std::setvbuf(out, nullptr, _IONBF, 0);
    if (!copy_payload(run.set, out, encode_resource_file_head(entry.word1, entry.word2), entry.size)) {
        abandon_live_file();
        return false;
    }
    if (!close_live_file()) {
        std::fprintf(run.report, "Can't write %s\n", name.c_str());
        run.failed = true;
        return true;
    }
    if (!commit_live_file(name)) {
        std::fprintf(run.report, "Can't create %s\n", name.c_str());
        run.failed = true;
        return true;
    }
    ++run.files_written;
    run.bytes_written += entry.size;
    return true;
}

// Writes the resource file of one entry, or its payload alone, to the data
// stream.  After a failed write, nothing more is written there and the rest
// of the set is read past.  False only when the set ends inside the body.
bool send_entry(extract_run& run, const toc_entry& entry)
{
    if (std::ferror(run.data) != 0) {
        return skip_bytes(run, body_length(entry));
    }
    body_header_bytes stored{};
    if (!read_block(run.set, stored.data(), stored.size())) {
        return false;
    }
    const std::array<unsigned char, RESOURCE_FILE_MIN_SIZE> head = encode_resource_file_head(entry.word1, entry.word2);
    const std::span<const unsigned char> sent_head = run.options.output == output_kind::resource_files
                                                         ? std::span<const unsigned char>(head)
                                                         : std::span<const unsigned char>();
    if (!copy_payload(run.set, run.data, sent_head, entry.size)) {
        return false;
    }
    if (std::ferror(run.data) != 0) {
        std::fprintf(run.report, "Can't write %s\n", "standard output");
        run.failed = true;
        return true;
    }
    ++run.files_written;
    run.bytes_written += entry.size;
    return true;
}

// Moves past length bytes of the set: by seeking, in a regular file, else
// by reading them.  False when the set ends inside them.
bool skip_bytes(extract_run& run, std::uint64_t length)
{
    if (length == 0) {
        return true;
    }
    if (run.seekable) {
        return seek_forward(run.set, length, run.set_length);
    }
    constexpr std::uint64_t PIECE = std::uint64_t{1} << 30U;
    for (; length > 0; length -= std::min(length, PIECE)) {
        if (!skip_payload(run.set, static_cast<std::uint32_t>(std::min(length, PIECE)))) {
            return false;
        }
    }
    return true;
}

void print_statistics(extract_run& run)
{
    std::fprintf(run.report, "--- TarnVex stats ---\n");
    std::fprintf(run.report, "Total output:%" PRIu64 " files (%" PRIu64 "b)\n", run.files_written, run.bytes_written);
    if (run.options.output != output_kind::files) {
        // The last bytes leave only now.
        if (std::ferror(run.data) == 0 && !flush_output(run.data)) {
            std::fprintf(run.report, "Can't write %s\n", "standard output");
            run.failed = true;
        }
        return;
    }
    // The listfile is closed first, so that a failure to write its last
    // bytes is known before it is reported as generated.
    close_listfile(run);
    if (run.listfile_ok) {
        std::fprintf(run.report, "Listfile generated as: %s\n", LISTFILE_NAME);
    } else {
        std::fprintf(run.report, "Can't write %s\n", LISTFILE_NAME);
        run.failed = true;
    }
}

int short_read(extract_run& run)
{
    std::fprintf(run.report, "Can't read %s\n", run.set_name);
    return end_run(run, 1);
}

// Appends a name to the listfile, so that every listed name is on disk
// whatever happens later in the run: every name is flushed before the
// first body is read.  With exact, the discard point comes first where it
// falls: before the first name at or past keep_count when that is below
// the count.
void list_name(extract_run& run, std::uint32_t index, std::uint32_t keep_count, std::uint32_t count,
               const std::string& name)
{
    if (!run.listfile_ok) {
        return;
    }
    if (run.options.exact && !run.discard_listed && keep_count < count && index >= keep_count) {
        run.discard_listed = true;
        if (std::fputs(DISCARD_LINE, run.listfile) < 0 || std::fputc('\n', run.listfile) == EOF) {
            run.listfile_ok = false;
            return;
        }
    }
    // From a pipe, which may stall at any point, each name is flushed at
    // once; a table in a regular file is read in moments, and its names are
    // flushed together once it is (a write per name cost more than
    // replacing the files themselves on ext4).
    if (std::fputs(name.c_str(), run.listfile) < 0 || std::fputc('\n', run.listfile) == EOF ||
        (!run.seekable && !flush_output(run.listfile))) {
        run.listfile_ok = false;
    }
}

void close_listfile(extract_run& run)
{
    if (run.listfile != nullptr && !close_output(run.listfile)) {
        run.listfile_ok = false;
    }
    run.listfile = nullptr;
}

} // namespace
