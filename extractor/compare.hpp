// SPDX-License-Identifier: MIT
// --compare: each entry chosen against the file an extraction would write
// at its name, read and never written.
#ifndef EXTRACTOR_COMPARE_HPP
#define EXTRACTOR_COMPARE_HPP

#include "output_file.hpp"
#include "resource_format.hpp"
#include "run_records.hpp"

// Compares the file at the entry's name with the resource file an
// extraction would write for it, the body at the current position of the
// set, and reports on options.report "Differs NAME" (another length or
// other bytes), "Missing NAME" (nothing there, or no regular file: a link
// is not followed), "Can't open NAME" (a regular file that cannot be
// read), "Skipping unsafe name NAME" (a name an extraction refuses, one of
// own included), or nothing when they are the same; all but the last set
// totals.failed.  The body is read or skipped whole in every case.  False
// only when the set ends inside the body.
bool compare_entry(set_input& input, const run_options& options, const run_files& own, run_totals& totals,
                   const toc_entry& entry);

#endif
