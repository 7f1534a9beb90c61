// SPDX-License-Identifier: MIT
#include "set_writer.hpp"

#include "files.hpp"
#include "resource_table.hpp"
#include "streams.hpp"

#include <span>

namespace {

// The one copy buffer; static so that no resource, however large, changes the
// program's memory use.
unsigned char copy_buffer[COPY_BUFFER_SIZE];

// The output's stream buffer: small bodies leave in large writes.
char output_buffer[OUTPUT_BUFFER_SIZE];

// The header and the largest table: static, like the buffers, so that the
// packer allocates nothing and no lack of memory can end it halfway.
unsigned char head_buffer[bodies_start(SET_ENTRIES_MAX)];

set_header make_set_header()
{
    const auto bodies_at = static_cast<std::int64_t>(bodies_start(static_cast<std::uint32_t>(table.count)));
    set_header header;
    header.magic = SET_MAGIC;
    header.count = static_cast<std::uint32_t>(table.count);
    if (table.discard_index == -1) {
        header.keep_count = header.count;
        header.keep_end = static_cast<std::uint32_t>(bodies_at + table.data_total);
    } else {
        header.keep_count = static_cast<std::uint32_t>(table.discard_index);
        header.keep_end = static_cast<std::uint32_t>(bodies_at + table.discard_total);
    }
    return header;
}

} // namespace

bool copy_file(std::FILE* out, std::FILE* in, std::size_t skip, std::uint64_t length)
{
    const stream_copy copy{.skip = skip, .length = length, .extent = copy_extent::exact_to_end};
    const copy_end end = copy_stream(in, out, copy_buffer, copy);
    // A failed write comes first: whatever the copy found after it, it was
    // the first thing to go wrong.
    if (std::ferror(out) != 0) {
        logerr("fwrite fails!");
        return false;
    }
    switch (end) {
    case copy_end::done:
        return true;
    case copy_end::read_failed:
        logerr("fread fails!");
        return false;
    case copy_end::ended:
    case copy_end::too_long:
        break;
    }
    logerr("size changed!");
    return false;
}

bool gen_output(std::FILE* out, const char* out_name)
{
    const auto count = static_cast<std::size_t>(table.count);
    // Before the first write, as setvbuf requires.
    std::setvbuf(out, output_buffer, _IOFBF, sizeof output_buffer);

    // The header and the whole table go out as one block, flushed at once so
    // that an output that takes nothing is reported as such.
    const std::span<unsigned char> head_bytes(head_buffer, bodies_start(static_cast<std::uint32_t>(count)));
    encode_set_header(make_set_header(), head_bytes.first<SET_HEADER_SIZE>());
    // Entry i starts where the bodies would if the table held i entries.
    for (std::size_t i = 0; i < count; ++i) {
        encode_toc_entry(table.entries[i],
                         head_bytes.subspan(table_entry_offset(static_cast<std::uint32_t>(i))).first<TOC_ENTRY_SIZE>());
    }
    if (std::fwrite(head_bytes.data(), 1, head_bytes.size(), out) != head_bytes.size() || std::fflush(out) != 0) {
        logerr("Can't write \"%s\"", out_name);
        return false;
    }

    for (std::size_t i = 0; i < count; ++i) {
        const toc_entry& entry = table.entries[i];
        const char* name = entry.name.data();
        std::FILE* in = open_regular_input(name);
        if (in == nullptr) {
            logerr("Can't open \"%s\", aborting.", name);
            return false;
        }
        // The file is read straight into the copy buffer.
        std::setvbuf(in, nullptr, _IONBF, 0);
        // The resource_header is skipped.  A file that has shrunk below it is
        // reported by copy_file like any other change of size.
        if (!copy_file(out, in, RESOURCE_HEADER_SIZE, body_length(entry.size))) {
            logerr("Error copying \"%s\"", name);
            std::fclose(in);
            return false;
        }
        std::fclose(in);
    }
    return true;
}
