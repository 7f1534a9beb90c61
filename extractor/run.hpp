// SPDX-License-Identifier: MIT
// One run of tarnvex over a set, once the command line is known: the table,
// the entries, the statistics and reslist.txt.  Everything it reports goes
// to the run's report stream.
#ifndef EXTRACTOR_RUN_HPP
#define EXTRACTOR_RUN_HPP

#include "run_records.hpp"

// Lists the set at input.path, recreates its resource files (the ones the
// NAMEs match, if any) in the current folder, names them in reslist.txt and
// prints the statistics; or, as options.output says, writes them to the
// data stream.  Returns the exit status: 0 when every resource and
// reslist.txt were written, every NAME matched and the report reached its
// stream, 1 after any failure.
int extract_set(extract_run& run);

// Prints the listing of the set at input.path (of the entries the NAMEs
// match, if any) and nothing more: no body is read and no file written.
// With listing json, the listing is one JSON document on the data stream,
// printed once the table is read whole.  0, or 1 when the set cannot be
// opened or its table read, a NAME matched nothing, or the JSON did not
// reach its stream.
int list_set(extract_run& run);

// Reads the set at input.path front to back and compares each entry the
// NAMEs match with the file an extraction would write at its name (see
// compare_entry), printing nothing for those that match.  Writes nothing.
// 0 when every one matches and every NAME matched an entry, else 1 (the
// set cannot be opened or ends short included).
int compare_set(extract_run& run);

// Reads the whole set at input.path, prints its listing and every problem
// the loader library's check finds, then "SET: OK" or "SET: N problems".
// Writes nothing.  0 for a set without a problem, else 1.
int test_set(extract_run& run);

// Closes what the run still has open and gives the exit status: a report
// that did not reach its stream turns a success into a failure.
int end_run(extract_run& run, int status);

#endif
