// SPDX-License-Identifier: MIT
// Fuzz harness for the loader library: each input is a set in memory,
// opened with resource_set_open_memory; every entry is then looked up by
// its name and read whole, in pieces.  It checks what the library promises:
//  - a failed open gives a null set, and a status with a text;
//  - every payload lies inside the input, and a read gives exactly its
//    bytes, in pieces of any size, with 0 bytes at its end and RANGE past it;
//  - find gives an entry of that very name, at or after the one looked up;
//  - reading the table from a stream takes the header and table and not one
//    byte more, and gives the entries that open gives;
//  - each finding of the check has a text, cut as snprintf cuts;
//  - the writer copies a set that opens entry by entry, or refuses it for a
//    name it may not write, and the copy opens with the same entries.
#include "resource_set.h"
#include "scratch.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

const char* const HARNESS_NAME = "fuzz_library";

namespace {

void check_entry(const resource_set* set, const resource_set_entry* entry, const std::uint8_t* data, std::size_t size)
{
    if (entry->offset > size || entry->size > size - entry->offset) {
        fail("a payload lies outside the set");
    }
    const resource_set_entry* found = resource_set_find(set, entry->name);
    if (found == nullptr || std::strcmp(found->name, entry->name) != 0 || found < entry) {
        fail("find does not give the last entry of a name");
    }
    // Pieces whose length depends on the entry, so that reads end anywhere.
    std::array<unsigned char, 97> piece{};
    const std::size_t want = 1 + (entry->size + entry->word1) % piece.size();
    std::uint64_t at = 0;
    for (;;) {
        std::size_t got = 0;
        if (resource_set_read(set, entry, at, piece.data(), want, &got) != RESOURCE_SET_OK) {
            fail("a read of a payload in memory failed");
        }
        if (got == 0) {
            break;
        }
        if (got > want || at + got > entry->size || std::memcmp(piece.data(), data + entry->offset + at, got) != 0) {
            fail("a read gave other bytes than the payload's");
        }
        at += got;
    }
    std::size_t got = 1;
    if (at != entry->size || resource_set_read(set, entry, at + 1, piece.data(), 1, &got) != RESOURCE_SET_ERROR_RANGE ||
        got != 0) {
        fail("a payload does not end where its size says");
    }
}

// The input read as a stream, and what the table reader passed on.
struct stream_input {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
    std::uint32_t count = 0;
    bool header_seen = false;
    std::vector<resource_set_entry> entries{};
    std::vector<std::string> names{};
};

int read_input(void* context, void* buffer, size_t length, size_t* got)
{
    auto* const input = static_cast<stream_input*>(context);
    *got = std::min(length, input->size - input->at);
    std::memcpy(buffer, input->data + input->at, *got);
    input->at += *got;
    return 0;
}

void see_header(void* context, std::uint32_t count, std::uint32_t /*keep_count*/, std::uint32_t /*keep_end*/)
{
    auto* const input = static_cast<stream_input*>(context);
    input->count = count;
    input->header_seen = true;
}

void see_entry(void* context, std::uint32_t index, const resource_set_entry* entry)
{
    auto* const input = static_cast<stream_input*>(context);
    if (index != input->entries.size()) {
        fail("the table's entries come out of order");
    }
    input->entries.push_back(*entry);
    input->names.emplace_back(entry->name);
}

void check_text(void* /*context*/, const resource_set_finding* finding)
{
    const std::size_t length = resource_set_finding_text(finding, nullptr, 0);
    std::vector<char> whole(length + 1, 'x');
    if (length == 0 || resource_set_finding_text(finding, whole.data(), whole.size()) != length ||
        std::strlen(whole.data()) != length) {
        fail("a finding without its whole text");
    }
    std::array<char, 8> cut{};
    resource_set_finding_text(finding, cut.data(), cut.size());
    if (std::strncmp(cut.data(), whole.data(), cut.size() - 1) != 0 || cut.back() != '\0') {
        fail("a finding's text is cut otherwise than snprintf cuts");
    }
}

// Reads the table as a stream and compares it with the set that open gave,
// if any.
void check_table_stream(const resource_set* set, const std::uint8_t* data, std::size_t size)
{
    stream_input input{data, size};
    const resource_set_check_callbacks callbacks{
        sizeof(resource_set_check_callbacks), read_input, see_header, see_entry, nullptr, &input};
    const resource_set_status status = resource_set_read_table_stream(&callbacks);
    const std::uint64_t table_end = 20 + std::uint64_t{56} * input.count;
    if (input.at > table_end || (status == RESOURCE_SET_OK && input.at != table_end)) {
        fail("the table reader read other bytes than the header and table");
    }
    if (set == nullptr) {
        return;
    }
    if (status != RESOURCE_SET_OK || input.entries.size() != resource_set_count(set)) {
        fail("the table reader gives other entries than open");
    }
    for (std::uint32_t i = 0; i < input.entries.size(); ++i) {
        const resource_set_entry* opened = resource_set_entry_at(set, i);
        if (input.names[i] != opened->name || input.entries[i].size != opened->size ||
            input.entries[i].offset != opened->offset || input.entries[i].word1 != opened->word1 ||
            input.entries[i].word2 != opened->word2) {
            fail("the table reader gives other entries than open");
        }
    }
}

// The check over the input, each finding's text looked at.
void check_findings(const std::uint8_t* data, std::size_t size)
{
    stream_input input{data, size};
    const resource_set_check_callbacks callbacks{
        sizeof(resource_set_check_callbacks), read_input, nullptr, nullptr, check_text, &input};
    std::uint32_t problems = 0;
    if (resource_set_check_stream(&callbacks, &problems) != RESOURCE_SET_OK) {
        fail("the check of a set in memory failed");
    }
}

// Copies the set with the writer and compares the copy with it.
void check_copy(const resource_set* set)
{
    static const std::string path = (make_scratch_folder("fuzz_library") / "copy.set").string();
    resource_set_writer* writer = nullptr;
    if (resource_set_writer_create(path.c_str(), &writer) != RESOURCE_SET_OK) {
        fail("no writer");
    }
    const std::uint32_t count = resource_set_count(set);
    const std::uint32_t keep_count = resource_set_keep_count(set);
    for (std::uint32_t i = 0; i < count; ++i) {
        if (i == keep_count && resource_set_writer_discard(writer) != RESOURCE_SET_OK) {
            fail("the discard point was refused");
        }
        const resource_set_entry* entry = resource_set_entry_at(set, i);
        const std::size_t length = std::strlen(entry->name);
        const resource_set_status status = resource_set_writer_add_entry(writer, entry->name, set, entry);
        if (status != (length == 0 || length > 32 ? RESOURCE_SET_ERROR_NAME : RESOURCE_SET_OK)) {
            fail("the writer refused an entry it may write, or took one it may not");
        }
        if (status != RESOURCE_SET_OK) {
            resource_set_writer_abandon(writer);
            return;
        }
    }
    if (resource_set_writer_commit(writer) != RESOURCE_SET_OK) {
        fail("a commit of a copy failed");
    }
    resource_set* copy = nullptr;
    if (resource_set_open(path.c_str(), &copy) != RESOURCE_SET_OK || resource_set_count(copy) != count ||
        resource_set_keep_count(copy) != keep_count) {
        fail("the copy opens otherwise than the set");
    }
    std::vector<unsigned char> a;
    std::vector<unsigned char> b;
    for (std::uint32_t i = 0; i < count; ++i) {
        const resource_set_entry* x = resource_set_entry_at(set, i);
        const resource_set_entry* y = resource_set_entry_at(copy, i);
        a.resize(x->size);
        b.resize(y->size);
        std::size_t got_a = 0;
        std::size_t got_b = 0;
        if (std::strcmp(x->name, y->name) != 0 || x->word1 != y->word1 || x->word2 != y->word2 || x->size != y->size ||
            resource_set_read(set, x, 0, a.data(), a.size(), &got_a) != RESOURCE_SET_OK ||
            resource_set_read(copy, y, 0, b.data(), b.size(), &got_b) != RESOURCE_SET_OK || a != b) {
            fail("an entry of the copy differs from the set's");
        }
    }
    resource_set_close(copy);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    resource_set* set = reinterpret_cast<resource_set*>(&set); // anything but null: open must clear it
    const resource_set_status status = resource_set_open_memory(data, size, &set);
    if (resource_set_error_text(status) == nullptr) {
        fail("a status without a text");
    }
    check_findings(data, size);
    if (status != RESOURCE_SET_OK) {
        if (set != nullptr) {
            fail("a failed open left a set");
        }
        check_table_stream(nullptr, data, size);
        return 0;
    }
    check_table_stream(set, data, size);
    const std::uint32_t count = resource_set_count(set);
    if (resource_set_keep_count(set) > count || resource_set_entry_at(set, count) != nullptr) {
        fail("the counts disagree with the entries");
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        check_entry(set, resource_set_entry_at(set, i), data, size);
    }
    check_copy(set);
    resource_set_close(set);
    return 0;
}
