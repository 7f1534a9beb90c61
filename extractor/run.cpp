// SPDX-License-Identifier: MIT
#include "run.hpp"

#include "live_file.hpp"
#include "payload.hpp"
#include "resource_format.hpp"
#include "streams.hpp"

#include <array>
#include <cinttypes>
#include <span>
#include <vector>

namespace {

constexpr const char* LISTFILE_NAME = "reslist.txt";

// The most entries a table is read to: 256 times as many as the packer
// writes, 56 MiB in memory.  A set that claims more is read up to there and
// then treated as cut short, so that no count, however large, makes the
// table outgrow memory or the read go on for ever.
constexpr std::uint32_t TABLE_ENTRIES_MAX = std::uint32_t{1} << 20U;

// The set's stream buffer: the table and small bodies come in with a read
// per 64 KiB rather than a read or two per entry.  It is much smaller than
// the payload buffer, so that the C library reads the bulk of a large
// payload straight into that buffer instead of copying it through this one
// (a 1 MiB buffer here cost 20 ms of copying per 256 MiB extracted).
char set_buffer[64 * 1024];

bool open_set(extract_run& run);
bool read_table(extract_run& run, std::vector<toc_entry>& toc);
bool extract_entry(extract_run& run, const toc_entry& entry);
void print_statistics(extract_run& run);
int short_read(extract_run& run);
void list_name(extract_run& run, const std::string& name);
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
    std::vector<toc_entry> toc;
    if (!read_table(run, toc)) {
        return short_read(run);
    }
    // The bodies follow in table order; the set is read in one forward pass.
    for (const toc_entry& entry : toc) {
        if (!extract_entry(run, entry)) {
            return short_read(run);
        }
    }
    print_statistics(run);
    return end_run(run, run.failed ? 1 : 0);
}

int list_set(extract_run& run)
{
    if (!open_set(run)) {
        return end_run(run, 1);
    }
    std::vector<toc_entry> toc;
    return read_table(run, toc) ? end_run(run, 0) : short_read(run);
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
    return true;
}

// Reads the set_header and the whole table into toc, printing the count
// and a line per entry and writing each name to the listfile, if there is
// one.  False on a short read.
bool read_table(extract_run& run, std::vector<toc_entry>& toc)
{
    // Only the count is used: the magic, the reserved word and the discard
    // point are neither checked nor needed to extract.
    set_header_bytes header_bytes{};
    if (!read_block(run.set, header_bytes.data(), header_bytes.size())) {
        return false;
    }
    const std::uint32_t count = decode_set_header(header_bytes).count;
    std::fprintf(run.report, "count = %" PRIu32 "\n", count);

    // The table grows with the entries actually read, never with what the
    // count claims.
    for (std::uint32_t i = 0; i < count; ++i) {
        toc_entry_bytes entry_bytes{};
        if (i == TABLE_ENTRIES_MAX || !read_block(run.set, entry_bytes.data(), entry_bytes.size())) {
            return false;
        }
        const toc_entry entry = decode_toc_entry(entry_bytes);
        const std::string name = entry_name(entry);
        std::fprintf(run.report, "%" PRIu32 ": %s, %" PRIu32 "\n", i, name.c_str(), entry.size);
        list_name(run, name);
        toc.push_back(entry);
    }
    return true;
}

// Recreates one resource file from the body at the current position of the
// set, or reads past the body when the file cannot or must not be written.
// Whatever stands at the entry's name is replaced only by a whole file (see
// begin_output).  False only when the set ends inside the body.
bool extract_entry(extract_run& run, const toc_entry& entry)
{
    body_header_bytes stored{};
    if (!read_block(run.set, stored.data(), stored.size())) {
        return false;
    }
    const std::string name = entry_name(entry);
    const output_start start = begin_output(name, run.own, run.make_directories, run.memory);
    if (start != output_start::started) {
        std::fprintf(run.report, start == output_start::unsafe ? "Skipping unsafe name %s\n" : "Can't create %s\n",
                     name.c_str());
        run.failed = true;
        return skip_payload(run.set, entry.size);
    }

    // The stored body_header is dropped: every recreated file gets the same one.
    std::array<unsigned char, RESOURCE_FILE_MIN_SIZE> head{};
    const std::span<unsigned char> head_bytes(head);
    encode_resource_header({RESOURCE_MAGIC, entry.word1, entry.word2}, head_bytes.first<RESOURCE_HEADER_SIZE>());
    encode_body_header({0, BODY_MARK}, head_bytes.subspan<RESOURCE_HEADER_SIZE, BODY_HEADER_SIZE>());
    // The file is written in whole blocks by copy_payload: it needs no
    // stream buffer.
    std::FILE* const out = live_file_stream();
    std::setvbuf(out, nullptr, _IONBF, 0);
    if (!copy_payload(run.set, out, head, entry.size)) {
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

void print_statistics(extract_run& run)
{
    std::fprintf(run.report, "--- TarnVex stats ---\n");
    std::fprintf(run.report, "Total output:%" PRIu64 " files (%" PRIu64 "b)\n", run.files_written, run.bytes_written);
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

// Appends a name to the listfile and flushes it, so that every listed name is
// on disk whatever happens later in the run.
void list_name(extract_run& run, const std::string& name)
{
    if (!run.listfile_ok) {
        return;
    }
    if (std::fputs(name.c_str(), run.listfile) < 0 || std::fputc('\n', run.listfile) == EOF ||
        !flush_output(run.listfile)) {
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
