// SPDX-License-Identifier: MIT
// The set as tarnvex reads it: one stream, front to back, in which bodies
// that are not wanted are skipped.
#ifndef EXTRACTOR_SET_INPUT_HPP
#define EXTRACTOR_SET_INPUT_HPP

#include "run_records.hpp"

#include <cstdint>
#include <cstdio>

// Opens the set at input.path for reading, or reports "Can't open" on
// report and gives false.
bool open_set(set_input& input, std::FILE* report);

// Moves past length bytes of the set: by seeking, in a regular file, else
// by reading them.  False when the set ends inside them.
bool skip_set_bytes(set_input& input, std::uint64_t length);

void close_set(set_input& input);

#endif
