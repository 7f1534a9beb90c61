// SPDX-License-Identifier: MIT
#include "compare.hpp"

#include "in_place.hpp"
#include "payload.hpp"
#include "resource_set.h"
#include "streams.hpp"

namespace {

// What is said of an entry.
enum class verdict { same, differs, missing, unreadable, unsafe, set_short };

// The file at name against the entry's resource file: the name as an
// extraction takes it, refused when unsafe or when it reaches the set or
// reslist.txt, else the file that stands there, a link not followed.
// unread is what is left of the payload.
verdict judge(set_input& input, const run_files& own, const toc_entry& entry, const std::string& name,
              std::uint64_t& unread)
{
    unread = entry.size;
    if (resource_set_name_is_safe(name.c_str()) == 0) {
        return verdict::unsafe;
    }
    const file_status at = look_at(name.c_str());
    if (at.kind != file_kind::none && names_run_file(name, at, own)) {
        return verdict::unsafe;
    }
    if (at.kind != file_kind::regular) {
        return verdict::missing;
    }
    switch (compare_in_place(name, at, input.stream, encode_resource_file_head(entry.word1, entry.word2), entry.size,
                             unread)) {
    case compare_end::same:
        return verdict::same;
    case compare_end::differs:
        return verdict::differs;
    case compare_end::unreadable:
        return verdict::unreadable;
    case compare_end::set_short:
        break;
    }
    return verdict::set_short;
}

} // namespace

bool compare_entry(set_input& input, const run_options& options, const run_files& own, run_totals& totals,
                   const toc_entry& entry)
{
    body_header_bytes stored{};
    if (!read_block(input.stream, stored.data(), stored.size())) {
        return false;
    }
    const std::string name = entry_name(entry);
    std::uint64_t unread = 0;
    switch (judge(input, own, entry, name, unread)) {
    case verdict::same:
        return true;
    case verdict::set_short:
        return false;
    case verdict::differs:
        std::fprintf(options.report, "Differs %s\n", name.c_str());
        break;
    case verdict::missing:
        std::fprintf(options.report, "Missing %s\n", name.c_str());
        break;
    case verdict::unreadable:
        std::fprintf(options.report, "Can't open %s\n", name.c_str());
        break;
    case verdict::unsafe:
        std::fprintf(options.report, "Skipping unsafe name %s\n", name.c_str());
        break;
    }
    totals.failed = true;
    return skip_bytes(input.stream, unread);
}
