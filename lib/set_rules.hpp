// SPDX-License-Identifier: MIT
// The structural rules of a resource set, written once: what the loader
// library refuses at open, and where each part of a set lies.  Records are
// decoded through format/; nothing here reads a file.
#ifndef LIB_SET_RULES_HPP
#define LIB_SET_RULES_HPP

#include "resource_format.hpp"

#include <cstdint>

// The length of an entry's body in the set, for a caller that holds the
// whole entry.
inline std::uint64_t body_length(const toc_entry& entry)
{
    return body_length(entry.size);
}

// What a set's header and table say of it, against the length of the file
// that holds it.
enum class layout_verdict {
    sound,
    // Not a set: a magic other than "0TSR", keep_count above count, or a
    // table that does not fit in the file.
    not_a_set,
};

// Checks a header against the length of its file, before its table is
// read: the magic, keep_count and the room for the table.
layout_verdict check_header(const set_header& header, std::uint64_t file_length);

#endif
