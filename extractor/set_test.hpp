// SPDX-License-Identifier: MIT
// tarnvex -t: the loader library's check of a whole set, with tarnvex's
// listing and a line per problem.
#ifndef EXTRACTOR_SET_TEST_HPP
#define EXTRACTOR_SET_TEST_HPP

#include "run_records.hpp"

// Reads the whole open set, prints its listing and every problem the
// check finds, then "SET: OK" or "SET: N problems".  Writes nothing.  0 for
// a set without a problem, 1 after one, -2 when memory ran out (reported).
int check_open_set(const run_options& options, set_input& input);

#endif
