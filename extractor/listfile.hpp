// SPDX-License-Identifier: MIT
// reslist.txt, the listfile from which vashpak packs the extracted files
// again: one name a line, in table order.
#ifndef EXTRACTOR_LISTFILE_HPP
#define EXTRACTOR_LISTFILE_HPP

#include "run_records.hpp"

#include <cstdint>
#include <string>

inline constexpr const char* LISTFILE_NAME = "reslist.txt";

// Creates reslist.txt in the current folder, so that every extracting run,
// one with a wrong command line included, leaves one.
void open_listfile(listfile_state& listfile);

// Appends a name to the listfile, so that every listed name is on disk
// whatever happens later in the run.  With exact, the discard point comes
// first where it falls: before the first name at or past keep_count when
// that is below the count.  With flush_each, each name is flushed at once.
void list_name(listfile_state& listfile, bool exact, bool flush_each, std::uint32_t index, std::uint32_t keep_count,
               std::uint32_t count, const std::string& name);

// Closes the listfile if it is open; a failure to write its last bytes
// leaves ok false.
void close_listfile(listfile_state& listfile);

#endif
