// SPDX-License-Identifier: MIT
// The set writer: entries named with where their bodies come from, and a
// commit that reads those bodies and writes the whole set under a temporary
// that replaces the target only once it is whole.
#include "resource_set.h"

#include "files.hpp"
#include "live_file.hpp"
#include "resource_format.hpp"
#include "set_bytes.hpp"
#include "streams.hpp"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <span>
#include <string>
#include <vector>

namespace {

enum class body_source { memory, file, set };

struct writer_entry {
    toc_entry stored;
    body_source from = body_source::memory;
    // memory: the payload.
    const unsigned char* payload = nullptr;
    // file: the resource file, whose body follows its 12-byte header.
    std::string file;
    // set: the set, and where in it the body starts.
    const resource_set* set = nullptr;
    std::uint64_t body_at = 0;
};

// The temporary beside the target is named this and eight hexadecimal
// digits.
constexpr const char* TEMPORARY_PREFIX = ".resource_set-";

// Bodies are copied through this much memory, where the kernel does not
// copy them itself; small bodies leave through an output buffer of the
// second size.
constexpr std::size_t COPY_BUFFER_SIZE = std::size_t{1024} * 1024;
constexpr std::size_t OUTPUT_BUFFER_SIZE = std::size_t{64} * 1024;

// One set is committed at a time: the live file, and the signals that
// remove it, are the process's.
std::mutex commit_lock;

} // namespace

struct resource_set_writer {
    std::string path;
    std::vector<writer_entry> entries;
    // The bodies' bytes so far, and the count and bodies at the discard
    // point, when there is one.
    std::uint64_t bodies = 0;
    bool discards = false;
    std::uint32_t keep_count = 0;
    std::uint64_t keep_bodies = 0;
};

namespace {

// The checks every entry passes at its add: its name, and room for it.
resource_set_status admit(const resource_set_writer& writer, const char* name, std::uint64_t size, toc_entry& stored)
{
    if (name == nullptr) {
        return RESOURCE_SET_ERROR_ARGUMENT;
    }
    if (name[0] == '\0' || std::strlen(name) > NAME_MAX_LENGTH || !set_entry_name(stored, name)) {
        return RESOURCE_SET_ERROR_NAME;
    }
    if (writer.entries.size() >= SET_ENTRIES_MAX) {
        return RESOURCE_SET_ERROR_TOO_MANY;
    }
    const auto count = static_cast<std::uint32_t>(writer.entries.size());
    if (size > UINT32_MAX || bodies_start(count + 1) + writer.bodies + body_length(static_cast<std::uint32_t>(size)) >
                                 static_cast<std::uint64_t>(SET_SIZE_MAX)) {
        return RESOURCE_SET_ERROR_TOO_LONG;
    }
    stored.size = static_cast<std::uint32_t>(size);
    return RESOURCE_SET_OK;
}

resource_set_status add(resource_set_writer& writer, writer_entry&& entry)
{
    try {
        writer.entries.push_back(std::move(entry));
    } catch (const std::bad_alloc&) {
        return RESOURCE_SET_ERROR_MEMORY;
    }
    writer.bodies += body_length(writer.entries.back().stored.size);
    return RESOURCE_SET_OK;
}

// What a resource file holds at its add: its words and its payload's size.
struct resource_file_look {
    resource_set_status status = RESOURCE_SET_OK;
    resource_header header;
    std::uint64_t size = 0;
};

resource_file_look look_at_resource_file(const char* path)
{
    resource_file_look look;
    std::FILE* const file = open_regular_input(path);
    if (file == nullptr) {
        look.status = RESOURCE_SET_ERROR_OPEN;
        return look;
    }
    std::setvbuf(file, nullptr, _IONBF, 0);
    resource_header_bytes bytes{};
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), file);
    const std::int64_t length = got == bytes.size() ? file_length(file) : 0;
    if (std::ferror(file) != 0 || length < 0) {
        look.status = RESOURCE_SET_ERROR_READ;
    } else if (got < bytes.size() || length < static_cast<std::int64_t>(RESOURCE_FILE_MIN_SIZE) ||
               decode_resource_header(bytes).magic != RESOURCE_MAGIC) {
        look.status = RESOURCE_SET_ERROR_NOT_RESOURCE;
    } else {
        look.header = decode_resource_header(bytes);
        look.size = payload_length(static_cast<std::uint64_t>(length));
    }
    std::fclose(file);
    return look;
}

// The commit's memory: the copy buffer, and the output's stream buffer,
// which must outlive the stream.
struct commit_buffers {
    std::array<unsigned char, COPY_BUFFER_SIZE> copy;
    std::array<char, OUTPUT_BUFFER_SIZE> output;
};

resource_set_status status_of(range_end end)
{
    switch (end) {
    case range_end::done:
        return RESOURCE_SET_OK;
    case range_end::ended:
        return RESOURCE_SET_ERROR_CHANGED;
    case range_end::read_failed:
        return RESOURCE_SET_ERROR_READ;
    case range_end::write_failed:
        break;
    }
    return RESOURCE_SET_ERROR_WRITE;
}

resource_set_status write_head(const resource_set_writer& writer, std::FILE* out)
{
    const auto count = static_cast<std::uint32_t>(writer.entries.size());
    set_header header;
    header.magic = SET_MAGIC;
    header.count = count;
    header.keep_count = writer.discards ? writer.keep_count : count;
    header.keep_end =
        static_cast<std::uint32_t>(bodies_start(count) + (writer.discards ? writer.keep_bodies : writer.bodies));
    set_header_bytes header_bytes{};
    encode_set_header(header, header_bytes);
    std::fwrite(header_bytes.data(), 1, header_bytes.size(), out);
    for (const writer_entry& entry : writer.entries) {
        toc_entry_bytes bytes{};
        encode_toc_entry(entry.stored, bytes);
        std::fwrite(bytes.data(), 1, bytes.size(), out);
    }
    return std::ferror(out) != 0 ? RESOURCE_SET_ERROR_WRITE : RESOURCE_SET_OK;
}

resource_set_status write_file_body(const writer_entry& entry, std::FILE* out, commit_buffers& buffers)
{
    std::FILE* const in = open_regular_input(entry.file.c_str());
    if (in == nullptr) {
        return RESOURCE_SET_ERROR_OPEN;
    }
    std::setvbuf(in, nullptr, _IONBF, 0);
    const stream_copy copy{
        .skip = RESOURCE_HEADER_SIZE, .length = body_length(entry.stored.size), .extent = copy_extent::exact_to_end};
    const copy_end end = copy_stream(in, out, buffers.copy, copy);
    std::fclose(in);
    if (std::ferror(out) != 0) {
        return RESOURCE_SET_ERROR_WRITE;
    }
    switch (end) {
    case copy_end::done:
        return RESOURCE_SET_OK;
    case copy_end::read_failed:
        return RESOURCE_SET_ERROR_READ;
    case copy_end::ended:
    case copy_end::too_long:
        break;
    }
    return RESOURCE_SET_ERROR_CHANGED;
}

// Writes the bodies of entries from first on that lie one after another in
// the same set as a single range; last is set to the last of them.
resource_set_status write_set_bodies(const std::vector<writer_entry>& entries, std::size_t first, std::size_t& last,
                                     std::FILE* out, commit_buffers& buffers)
{
    const writer_entry& start = entries[first];
    std::uint64_t length = body_length(start.stored.size);
    last = first;
    while (last + 1 < entries.size() && entries[last + 1].from == body_source::set &&
           entries[last + 1].set == start.set && entries[last + 1].body_at == start.body_at + length) {
        ++last;
        length += body_length(entries[last].stored.size);
    }
    const set_bytes bytes = bytes_of(*start.set);
    if (bytes.file == nullptr) {
        std::fwrite(bytes.memory + start.body_at, 1, static_cast<std::size_t>(length), out);
        return std::ferror(out) != 0 ? RESOURCE_SET_ERROR_WRITE : RESOURCE_SET_OK;
    }
    return status_of(copy_range(*bytes.file, start.body_at, length, out, buffers.copy));
}

resource_set_status write_bodies(const resource_set_writer& writer, std::FILE* out, commit_buffers& buffers)
{
    static const std::array<unsigned char, RESOURCE_FILE_MIN_SIZE> usual_head = encode_resource_file_head(0, 0);
    const std::span<const unsigned char> usual_block = std::span(usual_head).subspan(RESOURCE_HEADER_SIZE);
    for (std::size_t i = 0; i < writer.entries.size(); ++i) {
        const writer_entry& entry = writer.entries[i];
        resource_set_status status = RESOURCE_SET_OK;
        switch (entry.from) {
        case body_source::memory:
            std::fwrite(usual_block.data(), 1, usual_block.size(), out);
            if (entry.stored.size > 0) {
                std::fwrite(entry.payload, 1, entry.stored.size, out);
            }
            status = std::ferror(out) != 0 ? RESOURCE_SET_ERROR_WRITE : RESOURCE_SET_OK;
            break;
        case body_source::file:
            status = write_file_body(entry, out, buffers);
            break;
        case body_source::set:
            status = write_set_bodies(writer.entries, i, i, out, buffers);
            break;
        }
        if (status != RESOURCE_SET_OK) {
            return status;
        }
    }
    return RESOURCE_SET_OK;
}

// Writes the set onto the live temporary out and puts it in place.
resource_set_status write_set(const resource_set_writer& writer, std::FILE* out, commit_buffers& buffers)
{
    std::setvbuf(out, buffers.output.data(), _IOFBF, buffers.output.size());
    resource_set_status status = write_head(writer, out);
    if (status == RESOURCE_SET_OK) {
        status = write_bodies(writer, out, buffers);
    }
    if (status != RESOURCE_SET_OK) {
        return status;
    }
    if (!close_live_file() || !commit_live_file(writer.path)) {
        return RESOURCE_SET_ERROR_WRITE;
    }
    return RESOURCE_SET_OK;
}

resource_set_status commit(const resource_set_writer& writer)
{
    const std::unique_ptr<commit_buffers> buffers(new (std::nothrow) commit_buffers);
    if (buffers == nullptr) {
        return RESOURCE_SET_ERROR_MEMORY;
    }
    const std::lock_guard<std::mutex> hold(commit_lock);
    // The set's path and the resource files' are UTF-8 on Windows, as they
    // were given.
    const utf8_paths in_utf8;
    catch_interruptions();
    std::FILE* const out = begin_replacing(writer.path, TEMPORARY_PREFIX, true);
    const resource_set_status status = out == nullptr ? RESOURCE_SET_ERROR_WRITE : write_set(writer, out, *buffers);
    abandon_live_file();
    release_interruptions();
    return status;
}

} // namespace

extern "C" {

resource_set_status resource_set_writer_create(const char* path, resource_set_writer** writer)
{
    if (writer == nullptr) {
        return RESOURCE_SET_ERROR_ARGUMENT;
    }
    *writer = nullptr;
    if (path == nullptr) {
        return RESOURCE_SET_ERROR_ARGUMENT;
    }
    resource_set_writer* created = nullptr;
    try {
        created = new resource_set_writer;
        created->path = path;
    } catch (const std::bad_alloc&) {
        delete created;
        return RESOURCE_SET_ERROR_MEMORY;
    }
    *writer = created;
    return RESOURCE_SET_OK;
}

resource_set_status resource_set_writer_add_memory(resource_set_writer* writer, const char* name, uint32_t word1,
                                                   uint32_t word2, const void* payload, size_t size)
{
    if (writer == nullptr || (payload == nullptr && size > 0)) {
        return RESOURCE_SET_ERROR_ARGUMENT;
    }
    writer_entry entry;
    if (const resource_set_status status = admit(*writer, name, size, entry.stored); status != RESOURCE_SET_OK) {
        return status;
    }
    entry.stored.word1 = word1;
    entry.stored.word2 = word2;
    entry.from = body_source::memory;
    entry.payload = static_cast<const unsigned char*>(payload);
    return add(*writer, std::move(entry));
}

resource_set_status resource_set_writer_add_file(resource_set_writer* writer, const char* name,
                                                 const char* resource_file)
{
    if (writer == nullptr || resource_file == nullptr) {
        return RESOURCE_SET_ERROR_ARGUMENT;
    }
    // The name first, so that a bad one is refused before any file is read.
    writer_entry entry;
    if (const resource_set_status status = admit(*writer, name, 0, entry.stored); status != RESOURCE_SET_OK) {
        return status;
    }
    const utf8_paths in_utf8;
    const resource_file_look look = look_at_resource_file(resource_file);
    if (look.status != RESOURCE_SET_OK) {
        return look.status;
    }
    if (const resource_set_status status = admit(*writer, name, look.size, entry.stored); status != RESOURCE_SET_OK) {
        return status;
    }
    entry.stored.word1 = look.header.word1;
    entry.stored.word2 = look.header.word2;
    entry.from = body_source::file;
    try {
        entry.file = resource_file;
    } catch (const std::bad_alloc&) {
        return RESOURCE_SET_ERROR_MEMORY;
    }
    return add(*writer, std::move(entry));
}

resource_set_status resource_set_writer_add_entry(resource_set_writer* writer, const char* name,
                                                  const resource_set* from, const resource_set_entry* entry)
{
    if (writer == nullptr || from == nullptr || entry == nullptr || !holds_entry(*from, entry)) {
        return RESOURCE_SET_ERROR_ARGUMENT;
    }
    writer_entry added;
    if (const resource_set_status status = admit(*writer, name, entry->size, added.stored); status != RESOURCE_SET_OK) {
        return status;
    }
    added.stored.word1 = entry->word1;
    added.stored.word2 = entry->word2;
    added.from = body_source::set;
    added.set = from;
    added.body_at = body_offset(entry->offset);
    return add(*writer, std::move(added));
}

resource_set_status resource_set_writer_discard(resource_set_writer* writer)
{
    if (writer == nullptr) {
        return RESOURCE_SET_ERROR_ARGUMENT;
    }
    writer->discards = true;
    writer->keep_count = static_cast<std::uint32_t>(writer->entries.size());
    writer->keep_bodies = writer->bodies;
    return RESOURCE_SET_OK;
}

resource_set_status resource_set_writer_commit(resource_set_writer* writer)
{
    if (writer == nullptr) {
        return RESOURCE_SET_ERROR_ARGUMENT;
    }
    resource_set_status status = RESOURCE_SET_ERROR_WRITE;
    try {
        status = commit(*writer);
    } catch (...) {
        // Only taking the lock can throw, before anything is written.
        status = RESOURCE_SET_ERROR_WRITE;
    }
    delete writer;
    return status;
}

void resource_set_writer_abandon(resource_set_writer* writer)
{
    delete writer;
}

} // extern "C"
