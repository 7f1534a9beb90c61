// SPDX-License-Identifier: MIT
// A whole run of tarnvex callable from code: the program's main is a call
// to tarnvex_main with standard output and standard error.
#ifndef EXTRACTOR_PROGRAM_HPP
#define EXTRACTOR_PROGRAM_HPP

#include <cstdio>

// Runs tarnvex on the command line and returns the program's exit status:
// 0 when every resource and reslist.txt were written and the report
// reached its stream, 1 after any failure (running out of memory included:
// the file being written is removed and "Out of memory" reported), -1 for a
// wrong command line.  The report goes to out, or to err when the
// resources themselves go to out (-O, -p).  -C DIR makes DIR the current
// folder once the set's path is known, so that the set is named from the
// folder the run started in and everything written goes into DIR.
int tarnvex_main(int argc, const char* const* argv, std::FILE* out, std::FILE* err);

#endif
