// SPDX-License-Identifier: MIT
// The plain records of one run of tarnvex: what it was asked to do, the set
// it reads, the reslist.txt it writes and what it has written so far.
#ifndef EXTRACTOR_RUN_RECORDS_HPP
#define EXTRACTOR_RUN_RECORDS_HPP

#include "files.hpp"

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

// How the table is shown on the report.
enum class listing_kind {
    // A line per entry.
    text,
    // One JSON document on the data stream, once the table is read (-l
    // --json).
    json,
    // Not at all (--compare).
    none,
};

// What a run does with the set, as the command line asks, and the streams
// it reports on and sends resources to.
struct run_options {
    bool make_directories = false;
    bool keep_old_files = false;
    // reslist.txt carries the discard point.
    bool exact = false;
    // The listing shows the discard point, the words and the offsets.
    bool verbose = false;
    output_kind output = output_kind::files;
    listing_kind listing = listing_kind::text;
    // The NAMEs after the set: only the entries they match are listed and
    // extracted.  None for all of them.
    std::vector<std::string_view> names;
    std::FILE* report = nullptr;
    // Where resources go to a stream: standard output.
    std::FILE* data = nullptr;
};

// The set being read.
struct set_input {
    // The set as given, for the messages, and as opened: from the folder
    // tarnvex was started in, whatever folder it extracts into.
    const char* name = nullptr;
    std::string path;
    std::FILE* stream = nullptr;
    // Whether the set is a regular file, whose table is read in moments,
    // rather than a pipe, which may stall at any point.
    bool seekable = false;
};

// The reslist.txt being written.
struct listfile_state {
    std::FILE* file = nullptr;
    // False once anything written to it may be lost.
    bool ok = false;
    // With exact: whether the discard point has been listed.
    bool discard_listed = false;
    // What it is, or what stands at its name when it could not be opened.
    file_identity identity;
};

// What the run has done so far.
struct run_totals {
    bool failed = false;
    std::uint64_t files_written = 0;
    std::uint64_t bytes_written = 0;
};

struct extract_run {
    run_options options;
    set_input input;
    listfile_state listfile;
    run_totals totals;
};

#endif
