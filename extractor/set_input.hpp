// SPDX-License-Identifier: MIT
// The set as tarnvex reads it: one stream, front to back, in which bodies
// that are not wanted are skipped (skip_bytes).
#ifndef EXTRACTOR_SET_INPUT_HPP
#define EXTRACTOR_SET_INPUT_HPP

#include "run_records.hpp"

#include <cstdio>

// Opens the set at input.path for reading, or reports "Can't open" on
// report and gives false.
bool open_set(set_input& input, std::FILE* report);

void close_set(set_input& input);

// The read callback of the loader library's stream functions, on the set's
// stream: up to length bytes into buffer, *got their count; nonzero when
// reading fails.
int read_set_bytes(std::FILE* set, void* buffer, std::size_t length, std::size_t* got);

#endif
