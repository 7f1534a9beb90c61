// SPDX-License-Identifier: MIT
#include "set_rules.hpp"

#include <algorithm>

header_problems problems_of_header(const set_header& header)
{
    header_problems problems;
    const auto add = [&problems](resource_set_problem problem) { problems.found.at(problems.count++) = problem; };
    if (header.magic != SET_MAGIC) {
        add(RESOURCE_SET_PROBLEM_MAGIC);
    }
    if (header.reserved != 0) {
        add(RESOURCE_SET_PROBLEM_RESERVED);
    }
    if (header.count > SET_ENTRIES_MAX) {
        add(RESOURCE_SET_PROBLEM_COUNT);
    }
    if (header.keep_count > header.count) {
        add(RESOURCE_SET_PROBLEM_KEEP_COUNT);
    }
    return problems;
}

bool refused_at_open(resource_set_problem problem)
{
    return problem == RESOURCE_SET_PROBLEM_MAGIC || problem == RESOURCE_SET_PROBLEM_KEEP_COUNT;
}

got_bytes read_bytes(stream_source& source, unsigned char* buffer, std::size_t length)
{
    std::size_t done = 0;
    got_bytes result = got_bytes::all;
    while (done < length) {
        std::size_t got = 0;
        if (source.callbacks.read(source.callbacks.context, buffer + done, length - done, &got) != 0) {
            result = got_bytes::failed;
            break;
        }
        if (got == 0) {
            result = got_bytes::ended;
            break;
        }
        done += std::min(got, length - done);
    }
    source.consumed += done;
    source.failed = result == got_bytes::failed;
    return result;
}

got_bytes read_past(stream_source& source, std::span<unsigned char> buffer, std::uint64_t length)
{
    while (length > 0) {
        const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(length, buffer.size()));
        if (const got_bytes got = read_bytes(source, buffer.data(), piece); got != got_bytes::all) {
            return got;
        }
        length -= piece;
    }
    return got_bytes::all;
}

const unsigned char* next_bytes(stream_source& source, std::size_t length)
{
    return read_bytes(source, source.record.data(), length) == got_bytes::all ? source.record.data() : nullptr;
}

const unsigned char* next_bytes(memory_source& source, std::size_t length)
{
    if (source.size - source.at < length) {
        source.at = source.size;
        return nullptr;
    }
    const unsigned char* const bytes = source.data + source.at;
    source.at += length;
    return bytes;
}
