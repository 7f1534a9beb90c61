// SPDX-License-Identifier: MIT
// Where the bodies of the wanted entries go: each to its own resource file,
// or one after another to the data stream.
#ifndef EXTRACTOR_SINKS_HPP
#define EXTRACTOR_SINKS_HPP

#include "output_file.hpp"
#include "resource_format.hpp"
#include "run_records.hpp"

// What the file sink keeps from one entry to the next.
struct file_sink {
    run_files own;
    output_memory memory;
};

// Recreates one resource file from the body at the current position of the
// set, or skips the body when the file cannot or must not be written.
// Whatever stands at the entry's name is replaced only by a whole file (see
// begin_output).  False only when the set ends inside the body.
bool extract_entry(set_input& input, const run_options& options, file_sink& sink, run_totals& totals,
                   const toc_entry& entry);

// Writes the resource file of one entry, or its payload alone, to the data
// stream.  After a failed write, nothing more is written there and the rest
// of the set is read past.  False only when the set ends inside the body.
bool send_entry(set_input& input, const run_options& options, run_totals& totals, const toc_entry& entry);

#endif
