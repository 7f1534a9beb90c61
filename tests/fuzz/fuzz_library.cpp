// SPDX-License-Identifier: MIT
// Fuzz harness for the loader library: each input is a set in memory,
// opened with resource_set_open_memory; every entry is then looked up by
// its name and read whole, in pieces.  It checks what the library promises:
//  - a failed open gives a null set, and a status with a text;
//  - every payload lies inside the input, and a read gives exactly its
//    bytes, in pieces of any size, with 0 bytes at its end and RANGE past it;
//  - find gives an entry of that very name, at or after the one looked up.
#include "resource_set.h"
#include "scratch.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    resource_set* set = reinterpret_cast<resource_set*>(&set); // anything but null: open must clear it
    const resource_set_status status = resource_set_open_memory(data, size, &set);
    if (resource_set_error_text(status) == nullptr) {
        fail("a status without a text");
    }
    if (status != RESOURCE_SET_OK) {
        if (set != nullptr) {
            fail("a failed open left a set");
        }
        return 0;
    }
    const std::uint32_t count = resource_set_count(set);
    if (resource_set_keep_count(set) > count || resource_set_entry_at(set, count) != nullptr) {
        fail("the counts disagree with the entries");
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        check_entry(set, resource_set_entry_at(set, i), data, size);
    }
    resource_set_close(set);
    return 0;
}
