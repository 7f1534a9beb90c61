// SPDX-License-Identifier: MIT
#include "resource_table.hpp"

#include "files.hpp"

#include <cstdarg>
#include <cstdio>
#include <cstring>

resource_table table;

namespace {

// Where logerr writes; null stands for standard error.
std::FILE* log_stream = nullptr;

// Where add_to_toc hands what it accepts; null stands for the table.
toc_sink input_sink = nullptr;

} // namespace

void set_log_stream(std::FILE* stream)
{
    log_stream = stream;
}

void set_toc_sink(toc_sink sink)
{
    input_sink = sink;
}

void logerr(const char* format, ...)
{
    std::FILE* const stream = log_stream != nullptr ? log_stream : stderr;
    std::va_list args;
    va_start(args, format);
    std::vfprintf(stream, format, args);
    va_end(args);
    std::fputc('\n', stream);
}

namespace {

// Graphic characters are the printable ones other than space; every other
// byte, 0x80 to 0xFF included, ends a listfile name.
bool is_graphic(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x21 && byte <= 0x7E;
}

char ascii_lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

bool filename_is_valid(const char* name)
{
    if (std::strlen(name) > NAME_MAX_LENGTH) {
        logerr("Filename \"%s\" is too long", name);
        return false;
    }
    return true;
}

namespace {

// The seven characters after the '!' are compared, so "!Discarded" names
// the directive too.  The comparison stops at the first mismatch, which a
// terminator always is.
bool spells_discard(const char* name)
{
    static constexpr char discard[] = "discard";
    for (std::size_t i = 0; i + 1 < sizeof discard; ++i) {
        if (ascii_lower(name[1 + i]) != discard[i]) {
            return false;
        }
    }
    return true;
}

} // namespace

bool is_directive(const char* name)
{
    return name[0] == '!' && spells_discard(name);
}

bool handle_directive(const char* name)
{
    if (name[0] != '!') {
        return false;
    }
    if (!spells_discard(name)) {
        logerr("unrecognized directive: %s", name + 1);
        return false;
    }
    table.discard_index = table.count;
    table.discard_total = table.data_total;
    return true;
}

bool add_to_toc(const char* name)
{
    if (handle_directive(name)) {
        return input_sink == nullptr || input_sink(name, nullptr);
    }
    if (table.count >= RESOURCE_SET_MAX) {
        logerr("Too many resources! Increase RESOURCE_SET_MAX.");
        return false;
    }
    if (!filename_is_valid(name)) {
        return false;
    }
    // Anything but a regular file is refused unopened: a FIFO would stop
    // the run until something wrote to it.
    std::FILE* file = open_regular_input(name);
    if (file == nullptr) {
        logerr("Can't read \"%s\", aborting.", name);
        return false;
    }
    // Only 12 bytes are read: a stream buffer would cost a system call to
    // size it and a read of a whole block.
    std::setvbuf(file, nullptr, _IONBF, 0);
    resource_header_bytes bytes{};
    if (std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
        logerr("Can't read \"%s\", aborting.", name);
        std::fclose(file);
        return false;
    }
    const resource_header header = decode_resource_header(bytes);
    if (header.magic != RESOURCE_MAGIC) {
        logerr("\"%s\" is not a resource, aborting.", name);
        std::fclose(file);
        return false;
    }
    const std::int64_t length = file_length(file);
    std::fclose(file);
    if (length < 0) {
        logerr("ftell() fails on \"%s\", aborting.", name);
        return false;
    }
    // A file too short to hold its body_header would give a negative size.
    if (length < static_cast<std::int64_t>(RESOURCE_FILE_MIN_SIZE)) {
        logerr("Can't read \"%s\", aborting.", name);
        return false;
    }
    // A payload past 32 bits cannot even be recorded, let alone fit.
    const auto payload = payload_length(static_cast<std::uint64_t>(length));
    const auto size = static_cast<std::uint32_t>(payload);
    const std::uint64_t set_length = bodies_start(static_cast<std::uint32_t>(table.count) + 1) +
                                     static_cast<std::uint64_t>(table.data_total) + body_length(size);
    if (payload != size || set_length > static_cast<std::uint64_t>(SET_SIZE_MAX)) {
        logerr("\"%s\" does not fit in the set, aborting.", name);
        return false;
    }

    toc_entry& entry = table.entries[static_cast<std::size_t>(table.count)];
    set_entry_name(entry, name); // cannot fail: the length was checked above
    entry.word1 = header.word1;
    entry.word2 = header.word2;
    entry.size = size;
    if (input_sink != nullptr) {
        // The slot past the table's last entry was only lent.
        return input_sink(name, &entry);
    }
    table.data_total += static_cast<std::int64_t>(body_length(size));
    ++table.count;
    return true;
}

bool add_to_filelist(const char* arg)
{
    if (arg[0] != '@') {
        return add_to_toc(arg);
    }
    std::FILE* list = std::fopen(arg + 1, "rb");
    if (list == nullptr) {
        logerr("Can't open listfile \"%s\"", arg);
        return false;
    }
    // A line longer than the bound arrives in pieces, each taken as a line.
    char line[LISTFILE_LINE_BOUND];
    while (std::fgets(line, sizeof line, list) != nullptr) {
        char* end = line;
        while (is_graphic(*end)) {
            ++end;
        }
        *end = '\0';
        if (!add_to_toc(line)) {
            logerr("Can't add \"%s\"", line);
            std::fclose(list);
            return false;
        }
    }
    const bool read_failed = std::ferror(list) != 0;
    std::fclose(list);
    if (read_failed) {
        logerr("Can't read listfile \"%s\"", arg);
        return false;
    }
    return true;
}
