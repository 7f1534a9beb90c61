// SPDX-License-Identifier: MIT
// tarnvex's command line: what it asks for, read from its words.
#ifndef EXTRACTOR_COMMAND_LINE_HPP
#define EXTRACTOR_COMMAND_LINE_HPP

#include "run_records.hpp"

#include <string>

// What a command line asks for.
enum class tarnvex_action { extract, list, test, compare, unwrap, help, version, wrong };

// What is wrong with a wrong command line, for the line that says so.
enum class command_fault {
    none,
    // No set: no argument, or options alone.
    no_set,
    // An option not known: what, as given ("-x", "--foo").
    unknown_option,
    // A long option abbreviated to a beginning that several have: what.
    ambiguous_option,
    // -C or --directory with no folder after it: what.
    needs_folder,
    // A value after "=" for the long option what, which takes none.
    takes_no_argument,
    // --help, -h or --version with other arguments: what.
    not_alone,
    // --unwrap other than as the first of exactly three arguments.
    unwrap_misplaced,
    // Two modes that exclude one another: what and other, as given.
    modes_exclusive,
    // -t or --test with a NAME: what.
    test_names,
    // --json without -l.
    json_without_list,
};

struct command_line {
    tarnvex_action action = tarnvex_action::wrong;
    // The folder to extract into; null for the current one.
    const char* directory = nullptr;
    // The set, or for --unwrap the resource file.
    const char* set_name = nullptr;
    // For --unwrap, the raw file to write.
    const char* raw_name = nullptr;
    run_options options;
    // For a wrong one, what is wrong, and the options it names.
    command_fault fault = command_fault::none;
    std::string what;
    std::string other;
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
// set, the others are NAMEs.  -l, -t, --compare, -O and -p exclude one
// another, -t takes no NAMEs, and --json goes only with -l.  Anything else
// is wrong, and its fault says why.
command_line read_command_line(int argc, const char* const* argv);

#endif
