// SPDX-License-Identifier: MIT
// tarnvex's command line, and a whole run of the program callable from
// code: the program's main is a call to tarnvex_main with standard output
// as the report.
#ifndef EXTRACTOR_COMMAND_LINE_HPP
#define EXTRACTOR_COMMAND_LINE_HPP

#include <cstdio>

// What a command line asks for.
enum class tarnvex_action { extract, list, help, version, wrong };

struct command_line {
    tarnvex_action action = tarnvex_action::wrong;
    bool make_directories = false;
    // The folder to extract into; null for the current one.
    const char* directory = nullptr;
    const char* set_name = nullptr;
};

// A lone argument is always the set.  "--help", "-h" and "--version" as the
// only argument ask for their text; "-l SET" and "--list SET" for the
// listing alone.  Otherwise options come before the set, up to "--": -d
// (--make-directories), -C DIR (--directory DIR) and -l (--list), then
// exactly one set.  Anything else is wrong.
command_line read_command_line(int argc, const char* const* argv);

// Runs tarnvex on the command line, printing every line of the listing, the
// messages and the statistics to report, and returns the program's exit
// status: 0 when every resource and reslist.txt were written and the report
// reached its stream, 1 after any failure (running out of memory included:
// the file being written is removed and "Out of memory" reported), -1 for a
// wrong command line.  -C DIR makes DIR the current folder once the set's
// path is known, so that the set is named from the folder the run started
// in and everything written goes into DIR.
int tarnvex_main(int argc, const char* const* argv, std::FILE* report);

#endif
