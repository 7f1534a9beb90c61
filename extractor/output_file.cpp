// SPDX-License-Identifier: MIT
#include "output_file.hpp"

#include "folders.hpp"
#include "live_file.hpp"
#include "resource_set.h"

namespace {

// False for a name no file can have.
bool may_be_file_name(const std::string& name)
{
    return !name.empty() && !is_folder_separator(name.back());
}

// Creates the folders target needs, as mkdir -p would, with the usual
// permissions; folders already there, linked ones included, are used as
// they are.  False when one cannot be created or something other than a
// folder stands in the way.  made is the caller's memory of the folder made
// or found last: a target in that same folder costs nothing.
bool make_folders_for(const std::string& target, std::string& made)
{
    const std::string folder = folder_of(target);
    if (folder.empty() || folder == made) {
        return true;
    }
    if (!make_folders(folder)) {
        return false;
    }
    made = folder;
    return true;
}

} // namespace

bool names_run_file(const std::string& name, const file_status& at, const run_files& own)
{
    const file_identity reached =
        at.kind == file_kind::link || !at.identity.known ? identity_of(name.c_str()) : at.identity;
    return same_file(reached, own.listfile) || same_file(reached, own.set);
}

output_start begin_output(const std::string& name, const run_files& own, bool make_folders, bool keep_old,
                          output_memory& memory, file_status& existing)
{
    if (resource_set_name_is_safe(name.c_str()) == 0) {
        return output_start::unsafe;
    }
    if (!may_be_file_name(name) || (make_folders && !make_folders_for(name, memory.folder_made))) {
        return output_start::refused;
    }
    // Where nothing stands there is nothing to keep: the name itself is
    // created, and then it cannot be one of the run's own files, which are
    // there.
    if (!memory.last_name_taken && create_live_file(name, true) != nullptr) {
        return output_start::started;
    }
    const file_status at = look_at(name.c_str());
    memory.last_name_taken = at.kind != file_kind::none;
    if (at.kind == file_kind::none) {
        return create_live_file(name, true) != nullptr ? output_start::started : output_start::refused;
    }
    if (names_run_file(name, at, own)) {
        return output_start::unsafe;
    }
    if (keep_old) {
        return output_start::kept;
    }
    const bool replaces_file = at.kind == file_kind::regular;
    if (at.kind == file_kind::folder || (replaces_file && !may_write(name.c_str(), at))) {
        return output_start::refused;
    }
    // Compared first only where it is known to be no link.
    if (replaces_file && LINKS_ARE_SEEN) {
        existing = at;
        return output_start::existing;
    }
    return create_live_replacement(name, at, TEMPORARY_PREFIX, true) != nullptr ? output_start::started
                                                                                : output_start::refused;
}

std::FILE* begin_replacement(const std::string& name, const file_status& existing)
{
    return create_live_replacement(name, existing, TEMPORARY_PREFIX, true);
}

std::FILE* create_text_output(const std::string& name)
{
    // A few rounds at most: each sees what stands at the name now, and
    // anything planted there between two looks is seen on the next round.
    constexpr int ROUNDS = 4;
    for (int round = 0; round < ROUNDS; ++round) {
        const file_kind kind = look_at(name.c_str()).kind;
        if (kind == file_kind::none) {
            if (std::FILE* const created = create_exclusive(name.c_str(), false); created != nullptr) {
                return created;
            }
            if (look_at(name.c_str()).kind == file_kind::none) {
                return nullptr;
            }
            continue;
        }
        if (kind == file_kind::folder) {
            return nullptr;
        }
        const bool may_be_link = kind == file_kind::link || (kind == file_kind::regular && !LINKS_ARE_SEEN);
        if (may_be_link || kind == file_kind::other) {
            // An empty file of its own takes the place of what is there.
            if (create_live_temporary(folder_of(name), TEMPORARY_PREFIX, false) == nullptr || !close_live_file() ||
                !commit_live_file(name)) {
                return nullptr;
            }
        }
        // What is there now is looked at again on the next round if this
        // cannot open it.
        if (std::FILE* const opened = open_regular_output(name.c_str()); opened != nullptr) {
            return opened;
        }
    }
    return nullptr;
}
