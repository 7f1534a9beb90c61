// SPDX-License-Identifier: MIT
// A whole tarnvex run, callable from code: the program's main is a call to
// tarnvex_main with standard output as the report.
#ifndef EXTRACTOR_RUN_HPP
#define EXTRACTOR_RUN_HPP

#include <cstdio>

// Lists the set named by argv[1], recreates its resource files in the current
// folder and writes reslist.txt there, printing every line of the listing,
// the messages and the statistics to report.  Returns the program's exit
// status: 0 when every resource and reslist.txt were written and the report
// reached its stream, 1 after any failure (running out of memory included:
// the file being written is removed and "Out of memory" reported), -1 for a
// wrong command line.
// A lone argument is always the set.  "--help", "-h" and "--version" as the
// only argument print their text to report; "-l SET" and "--list SET" print
// the listing alone and write nothing.  Otherwise options come before the
// set, up to "--": -d (--make-directories) creates the folders names need,
// -C DIR (--directory DIR) makes DIR the current folder once the set's path
// is known, so that the set is named from the folder the run started in
// and everything written goes into DIR.
int tarnvex_main(int argc, const char* const* argv, std::FILE* report);

#endif
