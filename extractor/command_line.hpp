// SPDX-License-Identifier: MIT
// tarnvex's command line: what it asks for, read from its words.
#ifndef EXTRACTOR_COMMAND_LINE_HPP
#define EXTRACTOR_COMMAND_LINE_HPP

#include "run_records.hpp"

// What a command line asks for.
enum class tarnvex_action { extract, list, test, unwrap, help, version, wrong };

struct command_line {
    tarnvex_action action = tarnvex_action::wrong;
    // The folder to extract into; null for the current one.
    const char* directory = nullptr;
    // The set, or for --unwrap the resource file.
    const char* set_name = nullptr;
    // For --unwrap, the raw file to write.
    const char* raw_name = nullptr;
    run_options options;
};

// The forms that keep their first meaning come first: a lone argument is
// the set, unless it is "--help", "-h" or "--version", which act only as
// the only argument; "-l SET" and "--list SET" list SET; "--unwrap
// RESOURCE RAW", with exactly two after it, writes a payload.  Any other command
// line follows the conventions of getopt_long: short options may be
// bundled ("-dC DIR", "-CDIR"), long ones may be abbreviated to any
// beginning no other has and take their argument after "=", even an empty
// one, or as the next word, options may come before and after the set and the
// NAMEs, and "--" ends them.  The first word that is not an option is the
// set, the others are NAMEs.  -l, -t, -O and -p exclude one another, and -t
// takes no NAMEs.  Anything else is wrong.
command_line read_command_line(int argc, const char* const* argv);

#endif
