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
#include <string_view>
#include <vector>

// Where the resources go.
enum class output_kind {
    // Each to its own file, named in reslist.txt.
    files,
    // One after another to the data stream, each as its file would hold it.
    resource_files,
    // One after another to the data stream, each payload alone.
    payloads,
};

// What a run does with the set, as the command line asks.
struct run_options {
    bool make_directories = false;
    bool keep_old_files = false;
    // reslist.txt carries the discard point.
    bool exact = false;
    // The listing shows the discard point, the words and the offsets.
    bool verbose = false;
    output_kind output = output_kind::files;
    // The NAMEs after the set: only the entries they match are listed and
    // extracted.  None for all of them.
    std::vector<std::string_view> names;
};

struct extract_run {
    std::FILE* report = nullptr;
    // Where resources go to a stream: standard output.
    std::FILE* data = nullptr;
    // The set as given, for the messages, and as opened: from the folder
    // tarnvex was started in, whatever folder it extracts into.
    const char* set_name = nullptr;
    std::string set_path;
    run_options options;
    output_memory memory;
    // Which NAMEs matched an entry.
    std::vector<bool> names_matched;
    std::FILE* set = nullptr;
    // For a set in a regular file: its length, within which bodies that are
    // not wanted are skipped by seeking.
    bool seekable = false;
    std::uint64_t set_length = 0;
    std::FILE* listfile = nullptr;
    bool listfile_ok = false;
    // With exact: whether the discard point has been listed.
    bool discard_listed = false;
    run_files own;
    bool failed = false;
    std::uint64_t files_written = 0;
    std::uint64_t bytes_written = 0;
};

// Creates reslist.txt in the current folder, so that every extracting run,
// one with a wrong command line included, leaves one.
void open_listfile(extract_run& run);

// Lists the set at set_path, recreates its resource files (the ones the
// NAMEs match, if any) in the current folder, names them in reslist.txt and
// prints the statistics; or, as options.output says, writes them to the
// data stream.  Returns the exit status: 0 when every resource and
// reslist.txt were written, every NAME matched and the report reached its
// stream, 1 after any failure.
int extract_set(extract_run& run);

// Prints the listing of the set at set_path (of the entries the NAMEs
// match, if any) and nothing more: no body is read and no file written.  0,
// or 1 when the set cannot be opened or its table read, or a NAME matched
// nothing.
int list_set(extract_run& run);

// Reads the whole set at set_path, prints its listing and every problem
// the loader library's check finds, then "SET: OK" or "SET: N problems".
// Writes nothing.  0 for a set without a problem, else 1.
int test_set(extract_run& run);

// Closes what the run still has open and gives the exit status: a report
// that did not reach its stream turns a success into a failure.
int end_run(extract_run& run, int status);

#endif
