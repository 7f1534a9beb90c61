// SPDX-License-Identifier: MIT
#include "sinks.hpp"

#include "in_place.hpp"
#include "live_file.hpp"
#include "payload.hpp"
#include "set_input.hpp"
#include "streams.hpp"

#include <array>
#include <span>

namespace {

// Extracts the entry over the regular file at its name, which is left
// alone when it holds the same bytes already.
bool extract_over(set_input& input, const run_options& options, run_totals& totals, const toc_entry& entry,
                  const std::string& name, const file_status& existing)
{
    std::uint64_t unread = 0;
    switch (replace_if_changed(name, existing, input.stream, encode_resource_file_head(entry.word1, entry.word2),
                               entry.size, unread)) {
    case in_place_end::unchanged:
    case in_place_end::replaced:
        ++totals.files_written;
        totals.bytes_written += entry.size;
        return true;
    case in_place_end::set_short:
        return false;
    case in_place_end::not_created:
        std::fprintf(options.report, "Can't create %s\n", name.c_str());
        break;
    case in_place_end::not_written:
        std::fprintf(options.report, "Can't write %s\n", name.c_str());
        break;
    }
    totals.failed = true;
    return skip_bytes(input.stream, unread);
}

} // namespace

bool extract_entry(set_input& input, const run_options& options, file_sink& sink, run_totals& totals,
                   const toc_entry& entry)
{
    body_header_bytes stored{};
    if (!read_block(input.stream, stored.data(), stored.size())) {
        return false;
    }
    const std::string name = entry_name(entry);
    file_status existing;
    const output_start start =
        begin_output(name, sink.own, options.make_directories, options.keep_old_files, sink.memory, existing);
    if (start == output_start::existing) {
        return extract_over(input, options, totals, entry, name, existing);
    }
    if (start != output_start::started) {
        if (start == output_start::kept) {
            std::fprintf(options.report, "Keeping %s\n", name.c_str());
        } else {
            std::fprintf(options.report,
                         start == output_start::unsafe ? "Skipping unsafe name %s\n" : "Can't create %s\n",
                         name.c_str());
            totals.failed = true;
        }
        return skip_bytes(input.stream, entry.size);
    }
    // The file is written in whole blocks by copy_payload: it needs no
    // stream buffer.
    std::FILE* const out = live_file_stream();
    std::setvbuf(out, nullptr, _IONBF, 0);
    if (!copy_payload(input.stream, out, encode_resource_file_head(entry.word1, entry.word2), entry.size)) {
        abandon_live_file();
        return false;
    }
    if (!close_live_file()) {
        std::fprintf(options.report, "Can't write %s\n", name.c_str());
        totals.failed = true;
        return true;
    }
    if (!commit_live_file(name)) {
        std::fprintf(options.report, "Can't create %s\n", name.c_str());
        totals.failed = true;
        return true;
    }
    ++totals.files_written;
    totals.bytes_written += entry.size;
    return true;
}

bool send_entry(set_input& input, const run_options& options, run_totals& totals, const toc_entry& entry)
{
    if (std::ferror(options.data) != 0) {
        return skip_bytes(input.stream, body_length(entry.size));
    }
    body_header_bytes stored{};
    if (!read_block(input.stream, stored.data(), stored.size())) {
        return false;
    }
    const std::array<unsigned char, RESOURCE_FILE_MIN_SIZE> head = encode_resource_file_head(entry.word1, entry.word2);
    const std::span<const unsigned char> sent_head = options.output == output_kind::resource_files
                                                         ? std::span<const unsigned char>(head)
                                                         : std::span<const unsigned char>();
    if (!copy_payload(input.stream, options.data, sent_head, entry.size)) {
        return false;
    }
    // Each entry leaves the stream buffer before it is counted: a resource
    // still in the buffer when the stream fails never got out.  Large
    // payloads pass the buffer by; small ones cost a write each.
    if (!flush_output(options.data)) {
        std::fprintf(options.report, "Can't write %s\n", "standard output");
        totals.failed = true;
        return true;
    }
    ++totals.files_written;
    totals.bytes_written += entry.size;
    return true;
}
