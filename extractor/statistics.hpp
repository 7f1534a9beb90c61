// SPDX-License-Identifier: MIT
// The report at the end of an extracting run.
#ifndef EXTRACTOR_STATISTICS_HPP
#define EXTRACTOR_STATISTICS_HPP

#include "run_records.hpp"

// Prints the statistics, then, for files, closes reslist.txt and says
// whether it was generated; for the data stream, sends its last bytes.
// Either failure is reported and fails the run.
void print_statistics(const run_options& options, listfile_state& listfile, run_totals& totals);

#endif
