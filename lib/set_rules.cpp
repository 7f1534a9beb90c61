// SPDX-License-Identifier: MIT
#include "set_rules.hpp"

layout_verdict check_header(const set_header& header, std::uint64_t file_length)
{
    if (header.magic != SET_MAGIC || header.keep_count > header.count || bodies_start(header.count) > file_length) {
        return layout_verdict::not_a_set;
    }
    return layout_verdict::sound;
}
