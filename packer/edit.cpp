// SPDX-License-Identifier: MIT
#include "edit.hpp"

#include "files.hpp"
#include "patterns.hpp"
#include "resource_format.hpp"
#include "resource_set.h"
#include "resource_table.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

// The set being edited, open from the start of the run until the edited
// one is in place: the writer copies its bodies at the commit.
class open_set {
public:
    open_set() = default;
    open_set(const open_set&) = delete;
    open_set& operator=(const open_set&) = delete;
    ~open_set()
    {
        resource_set_close(set_);
    }

    // False after its message.  The library takes UTF-8 paths, where the
    // program's are in the ANSI code page (Windows).
    bool open(const char* path)
    {
        const resource_set_status status = resource_set_open(ansi_to_utf8(path).c_str(), &set_);
        if (status != RESOURCE_SET_OK) {
            logerr("Can't edit \"%s\": %s", path, resource_set_error_text(status));
            return false;
        }
        return true;
    }

    const resource_set* get() const
    {
        return set_;
    }

    std::uint32_t count() const
    {
        return resource_set_count(set_);
    }

    std::uint32_t keep_count() const
    {
        return resource_set_keep_count(set_);
    }

    const resource_set_entry& entry(std::uint32_t index) const
    {
        return *resource_set_entry_at(set_, index);
    }

private:
    resource_set* set_ = nullptr;
};

// The edited set on its way to path: each failure of the writer is reported
// with the library's text, and a writer not committed is abandoned.
class edited_set {
public:
    explicit edited_set(const char* path) : path_(path) {}
    edited_set(const edited_set&) = delete;
    edited_set& operator=(const edited_set&) = delete;
    ~edited_set()
    {
        resource_set_writer_abandon(writer_);
    }

    bool create()
    {
        return succeeded(resource_set_writer_create(ansi_to_utf8(path_).c_str(), &writer_));
    }

    bool copy(const char* name, const open_set& from, const resource_set_entry& entry)
    {
        return succeeded(resource_set_writer_add_entry(writer_, name, from.get(), &entry));
    }

    // The resource file is named as it is stored, as in packing: the name
    // is stored as given, and the file opened by its path in UTF-8.
    bool add_file(const char* name)
    {
        return succeeded(resource_set_writer_add_file(writer_, name, ansi_to_utf8(name).c_str()));
    }

    bool discard()
    {
        return succeeded(resource_set_writer_discard(writer_));
    }

    // The writer is gone afterwards, whatever the outcome.
    bool commit()
    {
        return succeeded(resource_set_writer_commit(std::exchange(writer_, nullptr)));
    }

private:
    bool succeeded(resource_set_status status)
    {
        if (status == RESOURCE_SET_OK) {
            return true;
        }
        logerr("Can't write \"%s\": %s", path_, resource_set_error_text(status));
        return false;
    }

    const char* path_;
    resource_set_writer* writer_ = nullptr;
};

// One entry of the edited set: a copy of an entry of the open set, under its
// own name or another, or the resource file an input named.
struct planned_entry {
    const resource_set_entry* from = nullptr;
    // For a copy: the new name, or null for from's own.
    const char* rename = nullptr;
    // Without from: the input, as add_to_toc checked it.
    toc_entry file{};
};

const char* name_of(const planned_entry& entry)
{
    if (entry.from == nullptr) {
        return entry.file.name.data();
    }
    return entry.rename != nullptr ? entry.rename : entry.from->name;
}

std::uint32_t size_of(const planned_entry& entry)
{
    return entry.from != nullptr ? entry.from->size : entry.file.size;
}

constexpr std::size_t NO_DISCARD = std::numeric_limits<std::size_t>::max();

// Where the discard point of the edited set goes: before the planned entry
// kept_before, the number of those kept from before the open set's point;
// nowhere for a set that has none.
std::size_t discard_point(const open_set& set, std::size_t kept_before)
{
    return set.keep_count() < set.count() ? kept_before : NO_DISCARD;
}

// Writes the planned entries in their order, the discard point before the
// one at discard_at (or after the last), and puts the set in place.
bool write_plan(const char* path, const open_set& set, const std::vector<planned_entry>& plan, std::size_t discard_at)
{
    edited_set out(path);
    if (!out.create()) {
        return false;
    }
    for (std::size_t i = 0; i < plan.size(); ++i) {
        if (i == discard_at && !out.discard()) {
            return false;
        }
        const planned_entry& entry = plan[i];
        const bool added =
            entry.from != nullptr ? out.copy(name_of(entry), set, *entry.from) : out.add_file(name_of(entry));
        if (!added) {
            return false;
        }
    }
    if (discard_at == plan.size() && !out.discard()) {
        return false;
    }
    return out.commit();
}

// A copy of every entry of the set, in table order.
std::vector<planned_entry> plan_of(const open_set& set, std::size_t capacity)
{
    std::vector<planned_entry> plan;
    plan.reserve(std::max<std::size_t>(capacity, set.count()));
    for (std::uint32_t i = 0; i < set.count(); ++i) {
        plan.push_back({.from = &set.entry(i)});
    }
    return plan;
}

// The update under way, which add_to_toc hands each input it accepts.
struct update_progress {
    std::vector<planned_entry>* plan = nullptr;
    // The body lengths of the planned entries.
    std::uint64_t bodies = 0;
};

update_progress update;

bool take_input(const char* name, const toc_entry* input)
{
    if (input == nullptr) {
        logerr("Can't use \"%s\" in an update", name);
        return false;
    }
    std::vector<planned_entry>& plan = *update.plan;
    // The last entry of the name, the one a loader finds; plan.size() for
    // none.
    std::size_t at = plan.size();
    for (std::size_t i = plan.size(); i > 0; --i) {
        if (std::strcmp(name_of(plan[i - 1]), name) == 0) {
            at = i - 1;
            break;
        }
    }
    const bool appended = at == plan.size();
    const std::size_t count = appended ? plan.size() + 1 : plan.size();
    std::uint64_t bodies = update.bodies + body_length(input->size);
    if (!appended) {
        bodies -= body_length(size_of(plan[at]));
    }
    if (count > static_cast<std::size_t>(RESOURCE_SET_MAX)) {
        logerr("Too many resources! Increase RESOURCE_SET_MAX.");
        return false;
    }
    if (bodies_start(static_cast<std::uint32_t>(count)) + bodies > static_cast<std::uint64_t>(SET_SIZE_MAX)) {
        logerr("\"%s\" does not fit in the set, aborting.", name);
        return false;
    }
    const planned_entry entry{.file = *input};
    if (appended) {
        // Within the capacity reserved: no allocation, which could throw
        // through add_to_filelist.
        plan.push_back(entry);
    } else {
        plan[at] = entry;
    }
    update.bodies = bodies;
    return true;
}

// add_to_toc hands its inputs to take_input while one lives.
class update_sink {
public:
    explicit update_sink(std::vector<planned_entry>& plan, std::uint64_t bodies)
    {
        update = {.plan = &plan, .bodies = bodies};
        set_toc_sink(take_input);
    }
    update_sink(const update_sink&) = delete;
    update_sink& operator=(const update_sink&) = delete;
    ~update_sink()
    {
        set_toc_sink(nullptr);
        update = {};
    }
};

int update_inputs(const char* path, std::span<const char* const> inputs)
{
    open_set set;
    if (!set.open(path)) {
        return 1;
    }
    // Room for the largest set that can pass the checks of take_input.
    std::vector<planned_entry> plan = plan_of(set, static_cast<std::size_t>(RESOURCE_SET_MAX));
    std::uint64_t bodies = 0;
    for (const planned_entry& entry : plan) {
        bodies += body_length(size_of(entry));
    }
    {
        const update_sink sink(plan, bodies);
        for (const char* input : inputs) {
            if (!add_to_filelist(input)) {
                logerr("Failed \"%s\"", input);
                return 1;
            }
        }
    }
    // Replaced entries keep their places and the new ones come last: the
    // point stays where it was.
    return write_plan(path, set, plan, discard_point(set, set.keep_count())) ? 0 : 1;
}

int delete_matching(const char* path, std::span<const char* const> patterns)
{
    open_set set;
    if (!set.open(path)) {
        return 1;
    }
    std::vector<compiled_pattern> compiled;
    compiled.reserve(patterns.size());
    for (const char* pattern : patterns) {
        compiled.push_back(compile_pattern(pattern));
    }
    std::vector<bool> matched(patterns.size(), false);
    std::vector<planned_entry> plan;
    plan.reserve(set.count());
    std::size_t kept_before = 0;
    for (std::uint32_t i = 0; i < set.count(); ++i) {
        const resource_set_entry& entry = set.entry(i);
        bool deleted = false;
        for (std::size_t p = 0; p < compiled.size(); ++p) {
            if (pattern_matches(compiled[p], entry.name)) {
                matched[p] = true;
                deleted = true;
            }
        }
        if (deleted) {
            continue;
        }
        plan.push_back({.from = &entry});
        if (i < set.keep_count()) {
            ++kept_before;
        }
    }
    bool all_matched = true;
    for (std::size_t p = 0; p < patterns.size(); ++p) {
        if (!matched[p]) {
            logerr("No entry matches %s", patterns[p]);
            all_matched = false;
        }
    }
    if (!all_matched) {
        return 1;
    }
    return write_plan(path, set, plan, discard_point(set, kept_before)) ? 0 : 1;
}

int rename_last(const char* path, const char* old_name, const char* new_name)
{
    // The checks an input's name gets, in packing's order.
    if (new_name[0] == '\0' || is_directive(new_name)) {
        logerr("Can't rename to \"%s\"", new_name);
        return 1;
    }
    if (!filename_is_valid(new_name)) {
        return 1;
    }
    open_set set;
    if (!set.open(path)) {
        return 1;
    }
    const resource_set_entry* const renamed = resource_set_find(set.get(), old_name);
    if (renamed == nullptr) {
        logerr("No entry matches %s", old_name);
        return 1;
    }
    std::vector<planned_entry> plan = plan_of(set, 0);
    for (planned_entry& entry : plan) {
        if (entry.from == renamed) {
            entry.rename = new_name;
        }
    }
    return write_plan(path, set, plan, discard_point(set, set.keep_count())) ? 0 : 1;
}

// Runs an edit; running out of memory ends it like a failure to open the
// set, with whatever it had open closed and the set left as it was.
template <typename Edit>
int guarded(const char* path, Edit edit)
{
    try {
        return edit();
    } catch (const std::bad_alloc&) {
        logerr("Can't edit \"%s\": %s", path, resource_set_error_text(RESOURCE_SET_ERROR_MEMORY));
        return 1;
    }
}

} // namespace

int update_set(const char* set, std::span<const char* const> inputs)
{
    return guarded(set, [&] { return update_inputs(set, inputs); });
}

int delete_entries(const char* set, std::span<const char* const> patterns)
{
    return guarded(set, [&] { return delete_matching(set, patterns); });
}

int rename_entry(const char* set, const char* old_name, const char* new_name)
{
    return guarded(set, [&] { return rename_last(set, old_name, new_name); });
}
