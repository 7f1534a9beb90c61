// SPDX-License-Identifier: MIT
#include "listfile.hpp"

#include "output_file.hpp"
#include "streams.hpp"

namespace {

// The listfile line that marks the discard point, as vashpak reads it.
constexpr const char* DISCARD_LINE = "!discard";

} // namespace

void open_listfile(listfile_state& listfile)
{
    listfile.file = create_text_output(LISTFILE_NAME);
    listfile.ok = listfile.file != nullptr;
    // What an entry's name must not reach, however it is spelt: the
    // listfile, or whatever stands at its name when it could not be opened.
    listfile.identity = listfile.file != nullptr ? identity_of(listfile.file) : identity_of(LISTFILE_NAME);
}

void list_name(listfile_state& listfile, bool exact, bool flush_each, std::uint32_t index, std::uint32_t keep_count,
               std::uint32_t count, const std::string& name)
{
    if (!listfile.ok) {
        return;
    }
    if (exact && !listfile.discard_listed && keep_count < count && index >= keep_count) {
        listfile.discard_listed = true;
        if (std::fputs(DISCARD_LINE, listfile.file) < 0 || std::fputc('\n', listfile.file) == EOF) {
            listfile.ok = false;
            return;
        }
    }
    if (std::fputs(name.c_str(), listfile.file) < 0 || std::fputc('\n', listfile.file) == EOF ||
        (flush_each && !flush_output(listfile.file))) {
        listfile.ok = false;
    }
}

void close_listfile(listfile_state& listfile)
{
    if (listfile.file != nullptr && !close_output(listfile.file)) {
        listfile.ok = false;
    }
    listfile.file = nullptr;
}
