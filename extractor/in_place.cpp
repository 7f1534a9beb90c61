// SPDX-License-Identifier: MIT
#include "in_place.hpp"

#include "folders.hpp"
#include "live_file.hpp"
#include "output_file.hpp"
#include "payload.hpp"
#include "streams.hpp"

#include <algorithm>
#include <cstring>

namespace {

// What comes from the set, and the same stretch of the file in place.
// Static, so that their pages are touched only when files are compared.
unsigned char from_set[PAYLOAD_BUFFER_SIZE];
unsigned char in_file[PAYLOAD_BUFFER_SIZE];

// Copies the first length bytes of from to out (through in_file where the
// kernel does not copy them).  False when from ends or cannot be read
// before them.
bool copy_start(const positioned_file& from, std::FILE* out, std::uint64_t length)
{
    return copy_range(from, 0, length, out, in_file) == range_end::done;
}

// Replaces the file: the first equal bytes from the file in place, then
// the piece of from_set already read, then the rest of the payload from
// the set.
in_place_end replace(const std::string& name, const file_status& existing, const positioned_file& in_place,
                     std::uint64_t equal, std::size_t piece, std::FILE* set, std::uint64_t rest, std::uint64_t& unread)
{
    std::FILE* const out = begin_replacement(name, existing);
    if (out == nullptr) {
        unread = rest;
        return in_place_end::not_created;
    }
    std::setvbuf(out, nullptr, _IONBF, 0);
    const bool started = in_place.handle == -1 || equal == 0 || copy_start(in_place, out, equal);
    if (started && piece > 0) {
        std::fwrite(from_set, 1, piece, out);
    }
    if (!copy_payload(set, out, {}, static_cast<std::uint32_t>(rest))) {
        abandon_live_file();
        return in_place_end::set_short;
    }
    if (!started) {
        // The file in place changed under the run: what it held cannot be
        // had again.
        abandon_live_file();
        return in_place_end::not_written;
    }
    if (!close_live_file()) {
        return in_place_end::not_written;
    }
    return commit_live_file(name) ? in_place_end::replaced : in_place_end::not_created;
}

} // namespace

namespace {

// Where a file in place and what the set holds for it first differ.
struct difference {
    compare_end end;
    // On differs, the file in place when it has the right length; none open
    // otherwise.
    positioned_file in_place;
    // The bytes found the same, the piece read from the set after them (in
    // from_set) and what is left of the payload after that piece.
    std::uint64_t equal;
    std::size_t piece;
    std::uint64_t left;
};

// Compares the regular file at name with head and the length bytes of
// payload at set's position, as replace_if_changed describes, and stops at
// the first piece that differs.
difference find_difference(const std::string& name, const file_status& existing, std::FILE* set,
                           std::span<const unsigned char> head, std::uint32_t length)
{
    const std::uint64_t whole = head.size() + std::uint64_t{length};
    // The head and the payload's first bytes make the first piece, so that
    // a small file costs one read of it, and a replacement one write.
    std::copy(head.begin(), head.end(), from_set);
    // A file of another length, as the look at it already told, is not
    // opened at all.
    if (existing.length_known && existing.length != whole) {
        return {compare_end::differs, {}, 0, head.size(), length};
    }
    std::uint64_t file_length = 0;
    positioned_file in_place;
    if (!open_file_in_place(name.c_str(), in_place, file_length)) {
        return {compare_end::unreadable, {}, 0, head.size(), length};
    }
    if (file_length != whole) {
        close_positioned(in_place);
        return {compare_end::differs, {}, 0, head.size(), length};
    }
    std::uint64_t left = length;
    std::size_t piece = head.size();
    const auto first = static_cast<std::size_t>(std::min<std::uint64_t>(left, sizeof from_set - piece));
    if (!read_block(set, from_set + piece, first)) {
        close_positioned(in_place);
        return {compare_end::set_short, {}, 0, 0, 0};
    }
    piece += first;
    left -= first;
    // Then the rest a buffer at a time, each piece against the same bytes
    // of the file; equal counts the bytes found the same so far.
    std::uint64_t equal = 0;
    for (;;) {
        std::size_t got = 0;
        if (!read_at(in_place, equal, in_file, piece, got) || got != piece ||
            std::memcmp(from_set, in_file, piece) != 0) {
            return {compare_end::differs, in_place, equal, piece, left};
        }
        equal += piece;
        if (left == 0) {
            break;
        }
        piece = static_cast<std::size_t>(std::min<std::uint64_t>(left, sizeof from_set));
        if (!read_block(set, from_set, piece)) {
            close_positioned(in_place);
            return {compare_end::set_short, {}, 0, 0, 0};
        }
        left -= piece;
    }
    close_positioned(in_place);
    return {compare_end::same, {}, equal, 0, 0};
}

} // namespace

compare_end compare_in_place(const std::string& name, const file_status& existing, std::FILE* set,
                             std::span<const unsigned char> head, std::uint32_t length, std::uint64_t& unread)
{
    difference found = find_difference(name, existing, set, head, length);
    close_positioned(found.in_place);
    unread = found.left;
    return found.end;
}

in_place_end replace_if_changed(const std::string& name, const file_status& existing, std::FILE* set,
                                std::span<const unsigned char> head, std::uint32_t length, std::uint64_t& unread)
{
    unread = 0;
    difference found = find_difference(name, existing, set, head, length);
    if (found.end == compare_end::same) {
        return in_place_end::unchanged;
    }
    if (found.end == compare_end::set_short) {
        return in_place_end::set_short;
    }
    // Replaced whole when there is nothing to compare with, else from the
    // first piece that differs.
    const in_place_end end = replace(name, existing, found.in_place, found.equal, found.piece, set, found.left, unread);
    close_positioned(found.in_place);
    return end;
}
