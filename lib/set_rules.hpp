// SPDX-License-Identifier: MIT
// The structural rules of a resource set, written once: the problems of a
// header's words, and the one walk over a header and its table that opening
// a set, checking one and reading a table from a stream all make.  Records
// are decoded through format/.
#ifndef LIB_SET_RULES_HPP
#define LIB_SET_RULES_HPP

#include "resource_format.hpp"
#include "resource_set.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// The most table entries a walk over a stream reads: enough for any set,
// and few enough that no count, however large, makes a reader read for
// ever.
inline constexpr std::uint32_t TABLE_ENTRIES_MAX = std::uint32_t{1} << 20U;

// The problems of a header's words alone, in the order the check reports
// them: magic, reserved word, count, keep_count.
struct header_problems {
    std::array<resource_set_problem, 4> found{};
    std::size_t count = 0;
};
header_problems problems_of_header(const set_header& header);

// True for a header problem that makes a set no set at all, which open
// refuses: a wrong magic, or keep_count above count.
bool refused_at_open(resource_set_problem problem);

// The set's bytes read front to back through a check's read callback.
struct stream_source {
    const resource_set_check_callbacks& callbacks;
    // Bytes given so far.
    std::uint64_t consumed = 0;
    // Whether the last read that fell short did so because read failed.
    bool failed = false;
    std::array<unsigned char, TOC_ENTRY_SIZE> record{};
};

enum class got_bytes { all, ended, failed };

// Reads exactly length bytes into buffer, unless the stream ends or read
// fails first.
got_bytes read_bytes(stream_source& source, unsigned char* buffer, std::size_t length);

// Reads past up to length bytes through buffer, which must not be empty.
got_bytes read_past(stream_source& source, std::span<unsigned char> buffer, std::uint64_t length);

// The next length bytes (at most a table entry's) of the stream, or null
// when it ends or fails first.
const unsigned char* next_bytes(stream_source& source, std::size_t length);

// A set's bytes in memory.
struct memory_source {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    std::size_t at = 0;
    bool failed = false;
};

const unsigned char* next_bytes(memory_source& source, std::size_t length);

// How a walk over a header and its table ended.
enum class walk_end {
    whole,
    // The source ended, or failed, inside the header or entry `entries`.
    ended,
    failed,
    // The table held more entries than the walk reads.
    too_long,
    // The visitor stopped it.
    stopped,
};

struct table_walk {
    walk_end end = walk_end::whole;
    // The entries given to the visitor.
    std::uint32_t entries = 0;
    // Where the next body starts after those entries' bodies.
    std::uint64_t bodies_end = 0;
    bool header_read = false;
};

// Walks the header and then each entry of the table, no byte further,
// taking the bytes of each from source.next_bytes.  visitor.header(header)
// and visitor.entry(index, stored entry, offset of its body) return false
// to stop the walk.  At most entries_max entries are read.
template <typename Source, typename Visitor>
table_walk walk_table(Source& source, Visitor& visitor, std::uint32_t entries_max)
{
    table_walk walk;
    const unsigned char* const head = next_bytes(source, SET_HEADER_SIZE);
    if (head == nullptr) {
        walk.end = source.failed ? walk_end::failed : walk_end::ended;
        return walk;
    }
    walk.header_read = true;
    const set_header header = decode_set_header(std::span<const unsigned char, SET_HEADER_SIZE>(head, SET_HEADER_SIZE));
    walk.bodies_end = bodies_start(header.count);
    if (!visitor.header(header)) {
        walk.end = walk_end::stopped;
        return walk;
    }
    for (; walk.entries < header.count; ++walk.entries) {
        if (walk.entries == entries_max) {
            walk.end = walk_end::too_long;
            return walk;
        }
        const unsigned char* const stored = next_bytes(source, TOC_ENTRY_SIZE);
        if (stored == nullptr) {
            walk.end = source.failed ? walk_end::failed : walk_end::ended;
            return walk;
        }
        const std::span<const unsigned char, TOC_ENTRY_SIZE> entry(stored, TOC_ENTRY_SIZE);
        if (!visitor.entry(walk.entries, entry, walk.bodies_end)) {
            walk.end = walk_end::stopped;
            return walk;
        }
        walk.bodies_end += body_length(toc_entry_word(entry, TOC_SIZE_AT));
    }
    return walk;
}

#endif
