// SPDX-License-Identifier: MIT
// Re-extraction over an earlier one: a regular file at an entry's name is
// compared with what would be written, and left as it stands, inode, links
// and time stamps included, when its bytes are the same.
#ifndef EXTRACTOR_IN_PLACE_HPP
#define EXTRACTOR_IN_PLACE_HPP

#include "files.hpp"

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

// How replace_if_changed ended.
enum class in_place_end {
    // The file holds head and the payload already: it was left alone.
    unchanged,
    // The file was replaced whole by one of head and the payload.
    replaced,
    // The set ended, or could not be read, inside the payload; nothing was
    // replaced.
    set_short,
    // The replacement could not be created: the file stands as it was.
    not_created,
    // The replacement could not be written whole: the file stands as it was.
    not_written,
};

// How compare_in_place ended.
enum class compare_end {
    // The file holds head and the payload, all of which was read.
    same,
    // The file differs in length or in bytes; unread is what is left of
    // the payload.
    differs,
    // The set ended, or could not be read, inside the payload.
    set_short,
    // The file could not be opened as a regular file where it stands; no
    // byte of the payload was read.
    unreadable,
};

// Compares the regular file at name (as look_at found it, in existing)
// with head and then the length bytes of payload at set's position, a
// buffer at a time, as replace_if_changed does, and stops reading at the
// first piece that differs: unread is what the caller is left to skip.
// Reads the file only, never writes it.
compare_end compare_in_place(const std::string& name, const file_status& existing, std::FILE* set,
                             std::span<const unsigned char> head, std::uint32_t length, std::uint64_t& unread);

// Compares the regular file at name (existing, as begin_output found it)
// with head and then the length bytes of payload that follow at set's
// position, reading them from set as they come.  The same length and the
// same bytes leave the file alone; otherwise it is replaced safely (see
// begin_replacement), the bytes that compared equal copied from the file
// itself.  The whole payload is read from set in every case but set_short
// and not_created, after which the caller skips what is left of it:
// unread tells how much.
in_place_end replace_if_changed(const std::string& name, const file_status& existing, std::FILE* set,
                                std::span<const unsigned char> head, std::uint32_t length, std::uint64_t& unread);

#endif
