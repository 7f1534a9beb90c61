// SPDX-License-Identifier: MIT
// The packer's input side: the in-memory table of contents, the expansion of
// listfiles, the !discard directive, the checks on every resource file, and
// logerr, the packer's one channel for error lines.
#ifndef PACKER_RESOURCE_TABLE_HPP
#define PACKER_RESOURCE_TABLE_HPP

#include "resource_format.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>

inline constexpr int RESOURCE_SET_MAX = static_cast<int>(SET_ENTRIES_MAX);

// Listfile lines are read with this bound: at most 127 bytes a piece.
inline constexpr std::size_t LISTFILE_LINE_BOUND = 128;

struct resource_table {
    std::array<toc_entry, RESOURCE_SET_MAX> entries{};
    std::int32_t count = 0;
    // Sum of the body lengths (file length - 12) of the accepted resources.
    std::int64_t data_total = 0;
    // Count at the latest !discard, or -1 when there was none.
    std::int32_t discard_index = -1;
    // data_total at the latest !discard.
    std::int64_t discard_total = 0;
};

// The run's table; it only grows during a run.
extern resource_table table;

// Formats one line onto the log stream and ends it with a newline.
[[gnu::format(printf, 1, 2)]] void logerr(const char* format, ...);
// Chooses the stream logerr writes to; null, the default, means standard error.
void set_log_stream(std::FILE* stream);

// One command-line input: "@listfile", a directive or a resource file name.
bool add_to_filelist(const char* arg);
// One name from the command line or a listfile: a directive or a resource file.
bool add_to_toc(const char* name);
// The name-length check: at most NAME_MAX_LENGTH bytes.
bool filename_is_valid(const char* name);
// True when name is a recognised directive and has been carried out.
bool handle_directive(const char* name);
// True when name is one of the spellings of !discard that handle_directive
// carries out; nothing is logged or changed.
bool is_directive(const char* name);

// What add_to_toc hands what it accepts to instead of the table, when set
// (vashpak --update): a directive it recognised, with entry null, or the
// entry of a resource file that passed every check of packing, the limits
// checked against the table as it stands.  The table is left as it was.
// False, after the sink's own message, refuses the input.
using toc_sink = bool (*)(const char* name, const toc_entry* entry);
// Null, the default, puts every resource into the table.
void set_toc_sink(toc_sink sink);

#endif
