// SPDX-License-Identifier: MIT
// One run of tarnvex over a set, once the command line is known: the table,
// the entries, the statistics and reslist.txt.  Everything it reports goes
// to the run's report stream.
#ifndef EXTRACTOR_RUN_HPP
#define EXTRACTOR_RUN_HPP

#include "output_file.hpp"

#include <cstdint>
#include <cstdio>
#include <string>

struct extract_run {
    std::FILE* report = nullptr;
    // The set as given, for the messages, and as opened: from the folder
    // tarnvex was started in, whatever folder it extracts into.
    const char* set_name = nullptr;
    std::string set_path;
    bool make_directories = false;
    output_memory memory;
    std::FILE* set = nullptr;
    std::FILE* listfile = nullptr;
    bool listfile_ok = false;
    run_files own;
    bool failed = false;
    std::uint64_t files_written = 0;
    std::uint64_t bytes_written = 0;
};

// Creates reslist.txt in the current folder, so that every extracting run,
// one with a wrong command line included, leaves one.
void open_listfile(extract_run& run);

// Lists the set at set_path, recreates its resource files in the current
// folder, names them in reslist.txt and prints the statistics.  Returns the
// exit status: 0 when every resource and reslist.txt were written and the
// report reached its stream, 1 after any failure.
int extract_set(extract_run& run);

// Prints the listing of the set at set_path and nothing more: no body is
// read and no file written.  0, or 1 when the set cannot be opened or its
// table read.
int list_set(extract_run& run);

// Closes what the run still has open and gives the exit status: a report
// that did not reach its stream turns a success into a failure.
int end_run(extract_run& run, int status);

#endif
