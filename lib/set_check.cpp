// SPDX-License-Identifier: MIT
#include "set_check.hpp"

#include "names.hpp"
#include "resource_format.hpp"
#include "set_rules.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t READ_PIECE = std::size_t{1024} * 1024;

enum class got_bytes { all, ended, failed };

struct checker {
    const resource_set_check_callbacks& callbacks;
    std::uint32_t problems = 0;
    // Bytes of the set read so far.
    std::uint64_t consumed = 0;
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

// Reads exactly length bytes, unless the set ends or reading fails first.
got_bytes read_bytes(checker& check, unsigned char* buffer, std::size_t length)
{
    std::size_t done = 0;
    while (done < length) {
        std::size_t got = 0;
        if (check.callbacks.read(check.callbacks.context, buffer + done, length - done, &got) != 0) {
            check.consumed += done;
            return got_bytes::failed;
        }
        if (got == 0) {
            check.consumed += done;
            return got_bytes::ended;
        }
        done += std::min(got, length - done);
    }
    check.consumed += done;
    return got_bytes::all;
}

// Reads past length bytes through buffer.
got_bytes skip_bytes(checker& check, std::vector<unsigned char>& buffer, std::uint64_t length)
{
    while (length > 0) {
        const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(length, buffer.size()));
        if (const got_bytes got = read_bytes(check, buffer.data(), piece); got != got_bytes::all) {
            return got;
        }
        length -= piece;
    }
    return got_bytes::all;
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
    if (!extracts_safely(name)) {
        report(check, RESOURCE_SET_PROBLEM_NAME_UNSAFE, index);
    }
    if (entry.reserved1 != 0 || entry.reserved2 != 0) {
        report(check, RESOURCE_SET_PROBLEM_RESERVED, index);
    }
}

// The problems of the header's words.
void check_header_words(checker& check, const set_header& header)
{
    if (header.magic != SET_MAGIC) {
        report(check, RESOURCE_SET_PROBLEM_MAGIC);
    }
    if (header.reserved != 0) {
        report(check, RESOURCE_SET_PROBLEM_RESERVED);
    }
    if (header.count > SET_ENTRIES_MAX) {
        report(check, RESOURCE_SET_PROBLEM_COUNT, RESOURCE_SET_NO_ENTRY, header.count);
    }
    if (header.keep_count > header.count) {
        report(check, RESOURCE_SET_PROBLEM_KEEP_COUNT);
    }
}

// Reads and checks the header and the table; sizes gets each entry's
// payload size.  False when the check cannot go on to the bodies.
bool check_table(checker& check, std::vector<std::uint32_t>& sizes, resource_set_status& status)
{
    set_header_bytes header_bytes{};
    if (const got_bytes got = read_bytes(check, header_bytes.data(), header_bytes.size()); got != got_bytes::all) {
        report(check, got == got_bytes::failed ? RESOURCE_SET_PROBLEM_UNREADABLE : RESOURCE_SET_PROBLEM_SHORT,
               RESOURCE_SET_NO_ENTRY, got == got_bytes::failed ? 0 : SET_HEADER_SIZE - check.consumed);
        status = got == got_bytes::failed ? RESOURCE_SET_ERROR_READ : RESOURCE_SET_OK;
        return false;
    }
    const set_header header = decode_set_header(header_bytes);
    check_header_words(check, header);
    if (check.callbacks.header != nullptr) {
        check.callbacks.header(check.callbacks.context, header.count, header.keep_count, header.keep_end);
    }

    const std::uint32_t checked = std::min(header.count, TABLE_ENTRIES_MAX);
    std::uint64_t at = bodies_start(header.count);
    std::uint64_t keep_end = at;
    for (std::uint32_t i = 0; i < checked; ++i) {
        toc_entry_bytes entry_bytes{};
        if (const got_bytes got = read_bytes(check, entry_bytes.data(), entry_bytes.size()); got != got_bytes::all) {
            if (got == got_bytes::failed) {
                report(check, RESOURCE_SET_PROBLEM_UNREADABLE, i);
                status = RESOURCE_SET_ERROR_READ;
            } else {
                report(check, RESOURCE_SET_PROBLEM_SHORT, RESOURCE_SET_NO_ENTRY,
                       bodies_start(header.count) - check.consumed);
            }
            return false;
        }
        const toc_entry entry = decode_toc_entry(entry_bytes);
        check_entry(check, i, entry);
        if (check.callbacks.entry != nullptr) {
            std::array<char, NAME_FIELD_SIZE + 1> name{};
            std::copy(entry.name.begin(), entry.name.end(), name.begin());
            const resource_set_entry listed{name.data(), entry.word1, entry.word2, entry.size, payload_offset(at)};
            check.callbacks.entry(check.callbacks.context, i, &listed);
        }
        sizes.push_back(entry.size);
        at += body_length(entry.size);
        if (i < header.keep_count) {
            keep_end = at;
        }
    }
    if (checked < header.count) {
        report(check, RESOURCE_SET_PROBLEM_TABLE_TOO_LONG, RESOURCE_SET_NO_ENTRY, checked);
        return false;
    }
    if (header.keep_count <= header.count && header.keep_end != keep_end) {
        report(check, RESOURCE_SET_PROBLEM_KEEP_END, RESOURCE_SET_NO_ENTRY, keep_end);
    }
    return true;
}

} // namespace

resource_set_status read_table_stream(const resource_set_check_callbacks& callbacks)
{
    checker check{callbacks};
    set_header_bytes header_bytes{};
    if (const got_bytes got = read_bytes(check, header_bytes.data(), header_bytes.size()); got != got_bytes::all) {
        return got == got_bytes::failed ? RESOURCE_SET_ERROR_READ : RESOURCE_SET_ERROR_SHORT;
    }
    const set_header header = decode_set_header(header_bytes);
    if (callbacks.header != nullptr) {
        callbacks.header(callbacks.context, header.count, header.keep_count, header.keep_end);
    }
    std::uint64_t at = bodies_start(header.count);
    for (std::uint32_t i = 0; i < header.count; ++i) {
        if (i == TABLE_ENTRIES_MAX) {
            return RESOURCE_SET_ERROR_FORMAT;
        }
        toc_entry_bytes entry_bytes{};
        if (const got_bytes got = read_bytes(check, entry_bytes.data(), entry_bytes.size()); got != got_bytes::all) {
            return got == got_bytes::failed ? RESOURCE_SET_ERROR_READ : RESOURCE_SET_ERROR_SHORT;
        }
        const toc_entry entry = decode_toc_entry(entry_bytes);
        if (callbacks.entry != nullptr) {
            std::array<char, NAME_FIELD_SIZE + 1> name{};
            std::copy(entry.name.begin(), entry.name.end(), name.begin());
            const resource_set_entry listed{name.data(), entry.word1, entry.word2, entry.size, payload_offset(at)};
            callbacks.entry(callbacks.context, i, &listed);
        }
        at += body_length(entry.size);
    }
    return RESOURCE_SET_OK;
}

resource_set_status check_set(const resource_set_check_callbacks& callbacks, std::uint32_t& problems)
{
    checker check{callbacks};
    resource_set_status status = RESOURCE_SET_OK;
    try {
        std::vector<std::uint32_t> sizes;
        if (check_table(check, sizes, status)) {
            std::vector<unsigned char> buffer(READ_PIECE);
            std::uint64_t end = check.consumed;
            for (const std::uint32_t size : sizes) {
                end += body_length(size);
            }
            // The bodies, then whatever follows them.
            for (std::uint32_t i = 0; i < sizes.size() && status == RESOURCE_SET_OK; ++i) {
                const got_bytes got = skip_bytes(check, buffer, body_length(sizes[i]));
                if (got == got_bytes::failed) {
                    report(check, RESOURCE_SET_PROBLEM_UNREADABLE, i);
                    status = RESOURCE_SET_ERROR_READ;
                } else if (got == got_bytes::ended) {
                    report(check, RESOURCE_SET_PROBLEM_SHORT, RESOURCE_SET_NO_ENTRY, end - check.consumed);
                    break;
                }
                if (got != got_bytes::all) {
                    break;
                }
            }
            if (status == RESOURCE_SET_OK && check.consumed == end) {
                const got_bytes got = skip_bytes(check, buffer, ~std::uint64_t{0});
                if (got == got_bytes::failed) {
                    report(check, RESOURCE_SET_PROBLEM_UNREADABLE);
                    status = RESOURCE_SET_ERROR_READ;
                } else if (check.consumed > end) {
                    report(check, RESOURCE_SET_PROBLEM_TRAILING, RESOURCE_SET_NO_ENTRY, check.consumed - end);
                }
            }
        }
    } catch (const std::bad_alloc&) {
        status = RESOURCE_SET_ERROR_MEMORY;
    }
    problems = check.problems;
    return status;
}
