// SPDX-License-Identifier: MIT
// vashpak --update, --delete and --rename: a set edited in place.  The set
// is read through the loader library and written again, whole, by its
// writer, which leaves it as it was on any failure.
#ifndef PACKER_EDIT_HPP
#define PACKER_EDIT_HPP

#include <span>

// Each returns the exit status: 0, or 1 after its messages through logerr.
// The discard point stays before the entry it stood before, or at the end
// when nothing is left after it; a set without one gets none.

// Each input, a resource file or a @listfile, checked as packing checks it,
// takes the place of the last entry of its name, or goes at the end.
int update_set(const char* set, std::span<const char* const> inputs);

// Removes every entry whose name matches one of the patterns; nothing is
// written when a pattern matches none.
int delete_entries(const char* set, std::span<const char* const> patterns);

// Gives the last entry named old_name the name new_name.
int rename_entry(const char* set, const char* old_name, const char* new_name);

#endif
