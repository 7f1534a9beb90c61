// SPDX-License-Identifier: MIT
#include "set_check.hpp"

#include "files.hpp"
#include "names.hpp"
#include "resource_format.hpp"
#include "set_rules.hpp"

#include <algorithm>
#include <array>
#include <new>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t READ_PIECE = std::size_t{1024} * 1024;

// The most bytes after the last body that the check counts: a set that never
// ends (a device of zeros) is reported as having at least this many.
constexpr std::uint64_t TRAILING_COUNTED_MAX = std::uint64_t{1} << 32U;

// The listfile line that marks the discard point, which no entry may be
// named.
constexpr std::string_view DISCARD_DIRECTIVE = "!discard";

struct checker {
    const resource_set_check_callbacks& callbacks;
    stream_source source{callbacks};
    std::uint32_t problems = 0;
    // Each entry's payload size, and the end of the bodies before the
    // discard point.
    set_header header{};
    std::vector<std::uint32_t> sizes{};
    std::uint64_t keep_end = 0;
};

void report(checker& check, resource_set_problem problem, std::uint32_t entry = RESOURCE_SET_NO_ENTRY,
            std::uint64_t value = 0)
{
    ++check.problems;
    if (check.callbacks.problem != nullptr) {
        const resource_set_finding finding{problem, entry, value};
        check.callbacks.problem(check.callbacks.context, &finding);
    }
}

// True when the name ends in a separator or its last component is ".":
// extracted here, it names a folder, not a file.  The separators are this
// system's, as in extraction, which writes a name ending in a backslash as a
// file where the backslash is an ordinary byte.
bool names_folder(std::string_view name)
{
    if (!name.empty() && is_folder_separator(name.back())) {
        return true;
    }
    const auto last = std::find_if(name.rbegin(), name.rend(), is_folder_separator);
    return name.substr(static_cast<std::size_t>(name.rend() - last)) == ".";
}

// The problems of one table entry's name and reserved words.
void check_entry(checker& check, std::uint32_t index, const toc_entry& entry)
{
    const auto* const terminator = std::find(entry.name.begin(), entry.name.end(), '\0');
    const std::string_view name(entry.name.data(), static_cast<std::size_t>(terminator - entry.name.begin()));
    if (terminator == entry.name.end()) {
        report(check, RESOURCE_SET_PROBLEM_NAME_UNTERMINATED, index);
    } else if (std::any_of(terminator, entry.name.end(), [](char c) { return c != '\0'; })) {
        report(check, RESOURCE_SET_PROBLEM_NAME_PADDING, index);
    }
    if (name.size() > NAME_MAX_LENGTH) {
        report(check, RESOURCE_SET_PROBLEM_NAME_LENGTH, index);
    }
    if (name.empty()) {
        report(check, RESOURCE_SET_PROBLEM_NAME_EMPTY, index);
    } else if (names_folder(name)) {
        report(check, RESOURCE_SET_PROBLEM_NAME_FOLDER, index);
    }
    if (name == DISCARD_DIRECTIVE) {
        report(check, RESOURCE_SET_PROBLEM_NAME_DIRECTIVE, index);
    }
    if (!extracts_safely(name)) {
        report(check, RESOURCE_SET_PROBLEM_NAME_UNSAFE, index);
    }
    if (entry.reserved1 != 0 || entry.reserved2 != 0) {
        report(check, RESOURCE_SET_PROBLEM_RESERVED, index);
    }
}

// What the walk over the table does for the check: each finding reported,
// the listing passed on, the sizes kept for the bodies.
struct check_visitor {
    checker& check;

    bool header(const set_header& header)
    {
        const header_problems found = problems_of_header(header);
        for (std::size_t i = 0; i < found.count; ++i) {
            report(check, found.found.at(i), RESOURCE_SET_NO_ENTRY,
                   found.found.at(i) == RESOURCE_SET_PROBLEM_COUNT ? header.count : 0);
        }
        if (check.callbacks.header != nullptr) {
            check.callbacks.header(check.callbacks.context, header.count, header.keep_count, header.keep_end);
        }
        check.header = header;
        check.keep_end = bodies_start(header.count);
        return true;
    }

    bool entry(std::uint32_t index, std::span<const unsigned char, TOC_ENTRY_SIZE> stored, std::uint64_t body_at)
    {
        const toc_entry entry = decode_toc_entry(stored);
        check_entry(check, index, entry);
        if (check.callbacks.entry != nullptr) {
            std::array<char, NAME_FIELD_SIZE + 1> name{};
            std::copy(entry.name.begin(), entry.name.end(), name.begin());
            const resource_set_entry listed{name.data(), entry.word1, entry.word2, entry.size, payload_offset(body_at)};
            check.callbacks.entry(check.callbacks.context, index, &listed);
        }
        check.sizes.push_back(entry.size);
        if (index < check.header.keep_count) {
            check.keep_end = body_at + body_length(entry.size);
        }
        return true;
    }
};

// Reads and checks the header and the table.  False when the check cannot
// go on to the bodies.
bool check_table(checker& check, resource_set_status& status)
{
    check_visitor visitor{check};
    const table_walk walk = walk_table(check.source, visitor, TABLE_ENTRIES_MAX);
    switch (walk.end) {
    case walk_end::whole:
    case walk_end::stopped:
        break;
    case walk_end::failed:
        report(check, RESOURCE_SET_PROBLEM_UNREADABLE, walk.header_read ? walk.entries : RESOURCE_SET_NO_ENTRY);
        status = RESOURCE_SET_ERROR_READ;
        return false;
    case walk_end::ended:
        report(check, RESOURCE_SET_PROBLEM_SHORT, RESOURCE_SET_NO_ENTRY,
               (walk.header_read ? bodies_start(check.header.count) : SET_HEADER_SIZE) - check.source.consumed);
        return false;
    case walk_end::too_long:
        report(check, RESOURCE_SET_PROBLEM_TABLE_TOO_LONG, RESOURCE_SET_NO_ENTRY, walk.entries);
        return false;
    }
    if (check.header.keep_count <= check.header.count && check.header.keep_end != check.keep_end) {
        report(check, RESOURCE_SET_PROBLEM_KEEP_END, RESOURCE_SET_NO_ENTRY, check.keep_end);
    }
    return true;
}

// Reads the bodies, then whatever follows them, up to TRAILING_COUNTED_MAX
// bytes.
void check_bodies(checker& check, resource_set_status& status)
{
    std::vector<unsigned char> buffer(READ_PIECE);
    std::uint64_t end = check.source.consumed;
    for (const std::uint32_t size : check.sizes) {
        end += body_length(size);
    }
    for (std::uint32_t i = 0; i < check.sizes.size(); ++i) {
        const got_bytes got = read_past(check.source, buffer, body_length(check.sizes[i]));
        if (got == got_bytes::failed) {
            report(check, RESOURCE_SET_PROBLEM_UNREADABLE, i);
            status = RESOURCE_SET_ERROR_READ;
            return;
        }
        if (got == got_bytes::ended) {
            report(check, RESOURCE_SET_PROBLEM_SHORT, RESOURCE_SET_NO_ENTRY, end - check.source.consumed);
            return;
        }
    }
    if (read_past(check.source, buffer, TRAILING_COUNTED_MAX) == got_bytes::failed) {
        report(check, RESOURCE_SET_PROBLEM_UNREADABLE);
        status = RESOURCE_SET_ERROR_READ;
        return;
    }
    if (check.source.consumed > end) {
        report(check, RESOURCE_SET_PROBLEM_TRAILING, RESOURCE_SET_NO_ENTRY, check.source.consumed - end);
    }
}

// What the walk over the table does for resource_set_read_table_stream:
// the listing passed on.
struct listing_visitor {
    const resource_set_check_callbacks& callbacks;

    bool header(const set_header& header) const
    {
        if (callbacks.header != nullptr) {
            callbacks.header(callbacks.context, header.count, header.keep_count, header.keep_end);
        }
        return true;
    }

    bool entry(std::uint32_t index, std::span<const unsigned char, TOC_ENTRY_SIZE> stored, std::uint64_t body_at) const
    {
        if (callbacks.entry != nullptr) {
            const toc_entry entry = decode_toc_entry(stored);
            std::array<char, NAME_FIELD_SIZE + 1> name{};
            std::copy(entry.name.begin(), entry.name.end(), name.begin());
            const resource_set_entry listed{name.data(), entry.word1, entry.word2, entry.size, payload_offset(body_at)};
            callbacks.entry(callbacks.context, index, &listed);
        }
        return true;
    }
};

} // namespace

resource_set_status read_table_stream(const resource_set_check_callbacks& callbacks)
{
    stream_source source{callbacks};
    listing_visitor visitor{callbacks};
    switch (walk_table(source, visitor, TABLE_ENTRIES_MAX).end) {
    case walk_end::whole:
    case walk_end::stopped:
        return RESOURCE_SET_OK;
    case walk_end::ended:
        return RESOURCE_SET_ERROR_SHORT;
    case walk_end::failed:
        return RESOURCE_SET_ERROR_READ;
    case walk_end::too_long:
        return RESOURCE_SET_ERROR_FORMAT;
    }
    return RESOURCE_SET_OK;
}

resource_set_status check_set(const resource_set_check_callbacks& callbacks, std::uint32_t& problems)
{
    checker check{callbacks};
    resource_set_status status = RESOURCE_SET_OK;
    try {
        if (check_table(check, status)) {
            check_bodies(check, status);
        }
        if (status == RESOURCE_SET_OK && check.source.consumed > static_cast<std::uint64_t>(SET_SIZE_MAX)) {
            report(check, RESOURCE_SET_PROBLEM_SET_TOO_LONG);
        }
    } catch (const std::bad_alloc&) {
        status = RESOURCE_SET_ERROR_MEMORY;
    }
    problems = check.problems;
    return status;
}
