// SPDX-License-Identifier: MIT
// Where an open set's bytes are, for the writer, which copies bodies out of
// a set as they are stored.
#ifndef RESOURCE_SET_SET_BYTES_HPP
#define RESOURCE_SET_SET_BYTES_HPP

#include "files.hpp"
#include "resource_set.h"

struct set_bytes {
    // The file the set was opened from, or null for a set in memory.
    const positioned_file* file = nullptr;
    // The set's first byte, for a set in memory.
    const unsigned char* memory = nullptr;
};

set_bytes bytes_of(const resource_set& set);

// True when entry is one of the entries set gave.
bool holds_entry(const resource_set& set, const resource_set_entry* entry);

#endif
