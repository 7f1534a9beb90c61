// SPDX-License-Identifier: MIT
// The loader library: a set's table read once at open, an index of its
// names, and positioned reads or copies from memory of any payload range.
#include "resource_set.h"

#include "files.hpp"
#include "guarded.hpp"
#include "names.hpp"
#include "resource_format.hpp"
#include "set_bytes.hpp"
#include "set_check.hpp"
#include "set_rules.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <chrono>
#include <cinttypes>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

namespace {

// The header and table of a set read from a file are read into memory that
// starts a page, like the file: copies out of the page cache are several
// times slower on some processors into memory placed otherwise.
constexpr std::align_val_t TABLE_ALIGNMENT{4096};

} // namespace

struct resource_set {
    // Where the set's bytes are: a file read at offsets, or the caller's
    // memory.
    positioned_file file;
    const unsigned char* memory = nullptr;
    // The header and table as stored, for a set read from a file: the
    // entries' names point into it.  A set in memory needs no copy.
    unsigned char* stored = nullptr;
    std::uint32_t keep_count = 0;
    std::vector<resource_set_entry> entries;
    // The name index: each entry's name hash, and the entries by bucket (a
    // power of two of them, at least one per entry), in table order within
    // each: bucket b holds by_bucket[bucket_start[b]] up to, not including,
    // by_bucket[bucket_start[b + 1]].  The hash has a key of the set's own,
    // so that no set can choose names that all fall in one bucket.
    std::vector<std::uint32_t> hashes;
    std::vector<std::uint32_t> bucket_start;
    std::vector<std::uint32_t> by_bucket;
    std::uint64_t hash_key = 0;
};

namespace {

std::uint64_t mix(std::uint64_t x)
{
    x ^= x >> 31U;
    x *= 0x7FB5D329728EA185U;
    x ^= x >> 27U;
    x *= 0x81DADEF4BC2DD44DU;
    x ^= x >> 33U;
    return x;
}

// A name's hash and length.
struct name_hash {
    std::uint32_t hash = 0;
    // NAME_FIELD_SIZE when the field holds no terminator.
    std::size_t length = NAME_FIELD_SIZE;
};

constexpr std::size_t WORD = sizeof(std::uint64_t);
// A name field read a word at a time: 40 bytes, past the field's 36 into
// the entry's words, which follow it in every entry.
constexpr std::size_t HASHED_BYTES = 5 * WORD;

// The bytes of word, as it was loaded from memory, that come before the
// first zero one; WORD when none is zero.
std::size_t bytes_before_zero(std::uint64_t word)
{
    constexpr std::uint64_t LOW_SEVEN = 0x7F7F7F7F7F7F7F7FU;
    // A byte's top bit is set here exactly where the byte is zero.
    const std::uint64_t zeros = ~(((word & LOW_SEVEN) + LOW_SEVEN) | word | LOW_SEVEN);
    if (zeros == 0) {
        return WORD;
    }
    if constexpr (std::endian::native == std::endian::little) {
        return static_cast<std::size_t>(std::countr_zero(zeros)) / 8;
    } else {
        return static_cast<std::size_t>(std::countl_zero(zeros)) / 8;
    }
}

// word, as loaded from memory, with its bytes from the count-th on cleared.
std::uint64_t first_bytes(std::uint64_t word, std::size_t count)
{
    if (count == 0) {
        return 0;
    }
    if (count >= WORD) {
        return word;
    }
    const unsigned kept = 8U * static_cast<unsigned>(count);
    if constexpr (std::endian::native == std::endian::little) {
        return word & (~std::uint64_t{0} >> (64U - kept));
    } else {
        return word & (~std::uint64_t{0} << (64U - kept));
    }
}

// The hash of the name at field, under the set's key, and its length.  The
// five words of the field are taken in apart from one another, so that
// their multiplications run side by side, and mixed once at the end; the
// words from the terminator on are cleared first, whatever the field holds
// after it.  field must have HASHED_BYTES readable bytes.  The hash lives in
// memory only, so the host's byte order is of no matter.
name_hash hash_name(const unsigned char* field, std::uint64_t key)
{
    constexpr std::array<std::uint64_t, HASHED_BYTES / WORD> MULTIPLIERS{
        0x9E3779B97F4A7C15U, 0xC2B2AE3D27D4EB4FU, 0x165667B19E3779F9U, 0xD6E8FEB86659FD93U, 0xFF51AFD7ED558CCDU};
    name_hash result;
    std::uint64_t sum = 0;
    bool ended = false;
    for (std::size_t i = 0; i < MULTIPLIERS.size(); ++i) {
        std::uint64_t word = 0;
        std::memcpy(&word, field + i * WORD, WORD);
        const std::size_t before = ended ? 0 : bytes_before_zero(word);
        if (!ended && before < WORD) {
            result.length = std::min(i * WORD + before, NAME_FIELD_SIZE);
            ended = true;
        }
        sum += (first_bytes(word, before) ^ (key + i)) * MULTIPLIERS[i];
    }
    result.hash = static_cast<std::uint32_t>(mix(sum ^ result.length ^ key) >> 32U);
    return result;
}

std::size_t bucket_of(const resource_set& set, std::uint32_t hash)
{
    return hash & (set.bucket_start.size() - 2);
}

// Sorts the entries into their buckets, by counting: each bucket's end
// first, then each entry, last to first, into the place before its bucket's
// end, which leaves each bucket in table order and its end at its start.
void index_names(resource_set& set)
{
    std::size_t buckets = 1;
    while (buckets < set.entries.size()) {
        buckets *= 2;
    }
    set.bucket_start.assign(buckets + 1, 0);
    for (const std::uint32_t hash : set.hashes) {
        ++set.bucket_start[bucket_of(set, hash)];
    }
    std::uint32_t end = 0;
    for (std::size_t b = 0; b < buckets; ++b) {
        end += set.bucket_start[b];
        set.bucket_start[b] = end;
    }
    set.bucket_start[buckets] = end;
    set.by_bucket.resize(set.entries.size());
    for (std::size_t i = set.entries.size(); i-- > 0;) {
        set.by_bucket[--set.bucket_start[bucket_of(set, set.hashes[i])]] = static_cast<std::uint32_t>(i);
    }
}

// The header's status at open, against the length of the set: FORMAT for a
// header that makes it no set, or a table that does not fit in it.
resource_set_status header_status(const set_header& header, std::uint64_t length)
{
    const header_problems found = problems_of_header(header);
    if (std::any_of(found.found.begin(), found.found.begin() + static_cast<std::ptrdiff_t>(found.count),
                    refused_at_open) ||
        bodies_start(header.count) > length) {
        return RESOURCE_SET_ERROR_FORMAT;
    }
    return RESOURCE_SET_OK;
}

// What the walk over a stored table does at open: the header judged, and
// each entry kept, its name used where it stands; a later entry of a name
// comes after an earlier one in its bucket.  FORMAT for a name without its
// terminator.
struct open_visitor {
    resource_set& set;
    std::uint64_t length;
    resource_set_status status = RESOURCE_SET_OK;

    bool header(const set_header& header)
    {
        status = header_status(header, length);
        if (status != RESOURCE_SET_OK) {
            return false;
        }
        set.keep_count = header.keep_count;
        set.entries.reserve(header.count);
        set.hashes.resize(header.count);
        set.hash_key = mix(static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                           static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(&set)));
        return true;
    }

    bool entry(std::uint32_t index, std::span<const unsigned char, TOC_ENTRY_SIZE> stored, std::uint64_t body_at)
    {
        const name_hash hashed = hash_name(stored.data(), set.hash_key);
        if (hashed.length == NAME_FIELD_SIZE) {
            status = RESOURCE_SET_ERROR_FORMAT;
            return false;
        }
        set.entries.push_back({reinterpret_cast<const char*>(stored.data()), toc_entry_word(stored, TOC_WORD1_AT),
                               toc_entry_word(stored, TOC_WORD2_AT), toc_entry_word(stored, TOC_SIZE_AT),
                               payload_offset(body_at)});
        set.hashes[index] = hashed.hash;
        return true;
    }
};

// Builds the entries and their index from the set's header and table,
// stored at data, in a set of length bytes of which size are at data.
// SHORT when the bodies end past length.
resource_set_status read_table(resource_set& set, const unsigned char* data, std::size_t size, std::uint64_t length)
{
    if (size < SET_HEADER_SIZE) {
        return RESOURCE_SET_ERROR_FORMAT;
    }
    memory_source source{data, size};
    open_visitor visitor{set, length};
    const table_walk walk = walk_table(source, visitor, UINT32_MAX);
    if (visitor.status != RESOURCE_SET_OK) {
        return visitor.status;
    }
    if (walk.end != walk_end::whole) {
        return RESOURCE_SET_ERROR_FORMAT;
    }
    if (walk.bodies_end > length) {
        return RESOURCE_SET_ERROR_SHORT;
    }
    index_names(set);
    return RESOURCE_SET_OK;
}

resource_set_status open_file(const char* path, resource_set& set)
{
    std::uint64_t length = 0;
    if (!open_positioned(path, set.file, length)) {
        return RESOURCE_SET_ERROR_OPEN;
    }
    set_header_bytes header_bytes{};
    std::size_t got = 0;
    if (length < SET_HEADER_SIZE) {
        return RESOURCE_SET_ERROR_FORMAT;
    }
    if (!read_at(set.file, 0, header_bytes.data(), header_bytes.size(), got) || got != header_bytes.size()) {
        return RESOURCE_SET_ERROR_READ;
    }
    // Judged before the table is read, so that no room is taken for a table
    // that is not there.
    const set_header header = decode_set_header(header_bytes);
    if (const resource_set_status status = header_status(header, length); status != RESOURCE_SET_OK) {
        return status;
    }
    // The table fits in the file, so its size is bounded by what is there.
    // The header comes again with it, so that both start a page.
    const auto stored_length = static_cast<std::size_t>(bodies_start(header.count));
    set.stored = static_cast<unsigned char*>(::operator new(stored_length, TABLE_ALIGNMENT, std::nothrow));
    if (set.stored == nullptr) {
        return RESOURCE_SET_ERROR_MEMORY;
    }
    if (!read_at(set.file, 0, set.stored, stored_length, got) || got != stored_length) {
        return RESOURCE_SET_ERROR_READ;
    }
    return read_table(set, set.stored, stored_length, length);
}

resource_set_status open_memory(const unsigned char* data, std::size_t size, resource_set& set)
{
    set.memory = data;
    return read_table(set, data, size, size);
}

// Runs open on a new set, which *out gets on success; on any failure *out
// is null and nothing is kept.
template <typename Open>
resource_set_status open_set(resource_set** out, Open open)
{
    resource_set* set = nullptr;
    const resource_set_status status = guarded([&] {
        set = new resource_set;
        return open(*set);
    });
    if (status != RESOURCE_SET_OK) {
        // The system's reason for the failure outlasts the closing.
        const int reason = system_error();
        resource_set_close(set);
        set_system_error(reason);
        set = nullptr;
    }
    *out = set;
    return status;
}

} // namespace

namespace {

// The last entry whose name is the length bytes at name, which hold no zero
// byte; null for none.
const resource_set_entry* find_name(const resource_set* set, const char* name, std::size_t length)
{
    if (set == nullptr || set->entries.empty() || length >= NAME_FIELD_SIZE) {
        return nullptr;
    }
    // The name is hashed from a copy as wide as hash_name reads.
    std::array<unsigned char, HASHED_BYTES> field{};
    if (length > 0) {
        std::memcpy(field.data(), name, length);
    }
    const name_hash hashed = hash_name(field.data(), set->hash_key);
    // The last of the name in its bucket, which is in table order.
    const std::size_t bucket = bucket_of(*set, hashed.hash);
    for (std::uint32_t at = set->bucket_start[bucket + 1]; at > set->bucket_start[bucket];) {
        const std::uint32_t i = set->by_bucket[--at];
        const char* const stored = set->entries[i].name;
        if (set->hashes[i] == hashed.hash && std::memcmp(stored, field.data(), length) == 0 && stored[length] == '\0') {
            return &set->entries[i];
        }
    }
    return nullptr;
}

} // namespace

bool holds_entry(const resource_set& set, const resource_set_entry* entry)
{
    // Compared as addresses: an entry of another set, or a pointer into the
    // middle of one of this set's, is refused, not read.
    const auto at = reinterpret_cast<std::uintptr_t>(entry);
    const auto first = reinterpret_cast<std::uintptr_t>(set.entries.data());
    const std::uintptr_t span = set.entries.size() * sizeof(resource_set_entry);
    return at >= first && at - first < span && (at - first) % sizeof(resource_set_entry) == 0;
}

namespace {

// The callbacks as this version reads them, from a caller built with this
// version's struct or a later one.  False for a struct too small.
bool take_callbacks(const resource_set_check_callbacks* given, resource_set_check_callbacks& taken)
{
    if (given == nullptr || given->size < sizeof taken) {
        return false;
    }
    std::memcpy(&taken, given, sizeof taken);
    return taken.read != nullptr;
}

} // namespace

set_bytes bytes_of(const resource_set& set)
{
    return set.memory != nullptr ? set_bytes{nullptr, set.memory} : set_bytes{&set.file, nullptr};
}

extern "C" {

resource_set_status resource_set_open(const char* path, resource_set** set)
{
    if (set == nullptr) {
        return RESOURCE_SET_ERROR_ARGUMENT;
    }
    *set = nullptr;
    if (path == nullptr) {
        return RESOURCE_SET_ERROR_ARGUMENT;
    }
    const utf8_paths in_utf8;
    return open_set(set, [path](resource_set& opened) { return open_file(path, opened); });
}

resource_set_status resource_set_open_memory(const void* data, size_t size, resource_set** set)
{
    if (set == nullptr) {
        return RESOURCE_SET_ERROR_ARGUMENT;
    }
    *set = nullptr;
    if (data == nullptr && size > 0) {
        return RESOURCE_SET_ERROR_ARGUMENT;
    }
    return open_set(set, [data, size](resource_set& opened) {
        return open_memory(static_cast<const unsigned char*>(data), size, opened);
    });
}

void resource_set_close(resource_set* set)
{
    if (set != nullptr) {
        close_positioned(set->file);
        ::operator delete(set->stored, TABLE_ALIGNMENT);
        delete set;
    }
}

uint32_t resource_set_count(const resource_set* set)
{
    return set == nullptr ? 0 : static_cast<uint32_t>(set->entries.size());
}

uint32_t resource_set_keep_count(const resource_set* set)
{
    return set == nullptr ? 0 : set->keep_count;
}

const resource_set_entry* resource_set_entry_at(const resource_set* set, uint32_t index)
{
    return set == nullptr || index >= set->entries.size() ? nullptr : &set->entries[index];
}

const resource_set_entry* resource_set_find(const resource_set* set, const char* name)
{
    if (name == nullptr) {
        return nullptr;
    }
    // A stored name is shorter than its field: a longer one is no name.
    std::size_t length = 0;
    while (length < NAME_FIELD_SIZE && name[length] != '\0') {
        ++length;
    }
    return find_name(set, name, length);
}

const resource_set_entry* resource_set_find_n(const resource_set* set, const char* name, size_t length)
{
    if (name == nullptr && length > 0) {
        return nullptr;
    }
    // A stored name holds no zero byte.
    if (length > 0 && std::memchr(name, '\0', length) != nullptr) {
        return nullptr;
    }
    return find_name(set, name, length);
}

resource_set_status resource_set_read(const resource_set* set, const resource_set_entry* entry, uint64_t offset,
                                      void* buffer, size_t length, size_t* got)
{
    if (got != nullptr) {
        *got = 0;
    }
    if (set == nullptr || entry == nullptr || got == nullptr || (buffer == nullptr && length > 0) ||
        !holds_entry(*set, entry)) {
        return RESOURCE_SET_ERROR_ARGUMENT;
    }
    if (offset > entry->size) {
        return RESOURCE_SET_ERROR_RANGE;
    }
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(length, entry->size - offset));
    if (want == 0) {
        return RESOURCE_SET_OK;
    }
    if (set->memory != nullptr) {
        std::memcpy(buffer, set->memory + entry->offset + offset, want);
        *got = want;
        return RESOURCE_SET_OK;
    }
    // A file that shrank since open gives fewer bytes than the payload
    // holds: that is a failed read, not the payload's end.
    if (!read_at(set->file, entry->offset + offset, buffer, want, *got)) {
        return RESOURCE_SET_ERROR_READ;
    }
    if (*got != want) {
        set_system_error(0);
        return RESOURCE_SET_ERROR_READ;
    }
    return RESOURCE_SET_OK;
}

const char* resource_set_error_text(resource_set_status status)
{
    // A C caller may pass any int: it is looked at as one, since a value
    // outside the enumeration is not one the C++ type may hold.
    static_assert(sizeof status == sizeof(int));
    int value = 0;
    std::memcpy(&value, &status, sizeof value);
    switch (value) {
    case RESOURCE_SET_OK:
        return "success";
    case RESOURCE_SET_ERROR_OPEN:
        return "the file cannot be opened";
    case RESOURCE_SET_ERROR_READ:
        return "reading the file failed";
    case RESOURCE_SET_ERROR_FORMAT:
        return "not a resource set";
    case RESOURCE_SET_ERROR_SHORT:
        return "the set ends before the bodies its table describes";
    case RESOURCE_SET_ERROR_MEMORY:
        return "out of memory";
    case RESOURCE_SET_ERROR_RANGE:
        return "an offset past the end of the payload";
    case RESOURCE_SET_ERROR_ARGUMENT:
        return "a null pointer where none is allowed, or an entry of another set";
    case RESOURCE_SET_ERROR_NAME:
        return "a name that is empty or longer than 32 bytes";
    case RESOURCE_SET_ERROR_TOO_MANY:
        return "more entries than a set holds";
    case RESOURCE_SET_ERROR_TOO_LONG:
        return "the set would be longer than 2147483647 bytes";
    case RESOURCE_SET_ERROR_NOT_RESOURCE:
        return "not a resource file";
    case RESOURCE_SET_ERROR_CHANGED:
        return "a source's length changed since it was added";
    case RESOURCE_SET_ERROR_WRITE:
        return "writing the set failed";
    }
    return "unknown status";
}

resource_set_status resource_set_check_stream(const resource_set_check_callbacks* callbacks, uint32_t* problems)
{
    if (problems != nullptr) {
        *problems = 0;
    }
    resource_set_check_callbacks taken{};
    if (!take_callbacks(callbacks, taken) || problems == nullptr) {
        return RESOURCE_SET_ERROR_ARGUMENT;
    }
    return guarded([&] { return check_set(taken, *problems); });
}

namespace {

// What resource_set_check gives its checker: the file, and where its
// problems go.
struct file_check {
    std::FILE* stream;
    void (*problem)(void* context, const resource_set_finding* finding);
    void* context;
};

int read_file(void* context, void* buffer, size_t length, size_t* got)
{
    std::FILE* const stream = static_cast<file_check*>(context)->stream;
    *got = std::fread(buffer, 1, length, stream);
    return *got < length && std::ferror(stream) != 0 ? 1 : 0;
}

void pass_problem(void* context, const resource_set_finding* finding)
{
    const auto* const check = static_cast<const file_check*>(context);
    if (check->problem != nullptr) {
        check->problem(check->context, finding);
    }
}

} // namespace

resource_set_status resource_set_check(const char* path,
                                       void (*problem)(void* context, const resource_set_finding* finding),
                                       void* context, uint32_t* problems)
{
    if (problems != nullptr) {
        *problems = 0;
    }
    if (path == nullptr || problems == nullptr) {
        return RESOURCE_SET_ERROR_ARGUMENT;
    }
    const utf8_paths in_utf8;
    file_check check{open_input(path), problem, context};
    if (check.stream == nullptr) {
        return RESOURCE_SET_ERROR_OPEN;
    }
    if (is_folder(check.stream)) {
        std::fclose(check.stream);
        set_not_regular_error(true);
        return RESOURCE_SET_ERROR_OPEN;
    }
    const resource_set_check_callbacks callbacks{sizeof callbacks, read_file, nullptr, nullptr, pass_problem, &check};
    const resource_set_status status = guarded([&] { return check_set(callbacks, *problems); });
    const int reason = system_error();
    std::fclose(check.stream);
    set_system_error(reason);
    return status;
}

const char* resource_set_problem_text(resource_set_problem problem)
{
    int value = 0;
    std::memcpy(&value, &problem, sizeof value);
    switch (value) {
    case RESOURCE_SET_PROBLEM_MAGIC:
        return "the magic is not 0TSR";
    case RESOURCE_SET_PROBLEM_RESERVED:
        return "a reserved word is not 0";
    case RESOURCE_SET_PROBLEM_COUNT:
        return "more entries than a set holds";
    case RESOURCE_SET_PROBLEM_KEEP_COUNT:
        return "keep_count is above the count";
    case RESOURCE_SET_PROBLEM_KEEP_END:
        return "keep_end is not where the table puts the discard point";
    case RESOURCE_SET_PROBLEM_NAME_UNTERMINATED:
        return "a name has no terminator";
    case RESOURCE_SET_PROBLEM_NAME_PADDING:
        return "bytes after a name are not 0";
    case RESOURCE_SET_PROBLEM_NAME_LENGTH:
        return "a name is longer than 32 bytes";
    case RESOURCE_SET_PROBLEM_NAME_UNSAFE:
        return "a name is unsafe to extract";
    case RESOURCE_SET_PROBLEM_SHORT:
        return "the set is shorter than its table says";
    case RESOURCE_SET_PROBLEM_TRAILING:
        return "bytes follow the last body";
    case RESOURCE_SET_PROBLEM_UNREADABLE:
        return "the set cannot be read";
    case RESOURCE_SET_PROBLEM_TABLE_TOO_LONG:
        return "the table is too long to check whole";
    case RESOURCE_SET_PROBLEM_NAME_EMPTY:
        return "a name is empty";
    case RESOURCE_SET_PROBLEM_NAME_FOLDER:
        return "a name names a folder, not a file";
    case RESOURCE_SET_PROBLEM_NAME_DIRECTIVE:
        return "a name is the directive !discard";
    case RESOURCE_SET_PROBLEM_SET_TOO_LONG:
        return "the set is longer than 2147483647 bytes";
    default:
        return "unknown problem";
    }
}

// The sentence for a finding, into buffer as snprintf puts it.
size_t resource_set_finding_text(const resource_set_finding* finding, char* buffer, size_t size)
{
    if (finding == nullptr) {
        if (size > 0) {
            buffer[0] = '\0';
        }
        return 0;
    }
    const std::uint32_t entry = finding->entry;
    const std::uint64_t value = finding->value;
    const bool of_entry = entry != RESOURCE_SET_NO_ENTRY;
    int value_of_problem = 0;
    std::memcpy(&value_of_problem, &finding->problem, sizeof value_of_problem);
    int length = 0;
    switch (value_of_problem) {
    case RESOURCE_SET_PROBLEM_MAGIC:
        length = std::snprintf(buffer, size, "Magic is not 0TSR");
        break;
    case RESOURCE_SET_PROBLEM_RESERVED:
        length = of_entry ? std::snprintf(buffer, size, "Entry %" PRIu32 ": reserved word is not 0", entry)
                          : std::snprintf(buffer, size, "Reserved word of the header is not 0");
        break;
    case RESOURCE_SET_PROBLEM_COUNT:
        length = std::snprintf(buffer, size, "Count is above %" PRIu32, SET_ENTRIES_MAX);
        break;
    case RESOURCE_SET_PROBLEM_KEEP_COUNT:
        length = std::snprintf(buffer, size, "keep_count is above the count");
        break;
    case RESOURCE_SET_PROBLEM_KEEP_END:
        length = std::snprintf(buffer, size, "keep_end is not %" PRIu64 ", the end of the kept bodies", value);
        break;
    case RESOURCE_SET_PROBLEM_NAME_UNTERMINATED:
        length = std::snprintf(buffer, size, "Entry %" PRIu32 ": name has no terminator", entry);
        break;
    case RESOURCE_SET_PROBLEM_NAME_PADDING:
        length = std::snprintf(buffer, size, "Entry %" PRIu32 ": bytes after the name are not 0", entry);
        break;
    case RESOURCE_SET_PROBLEM_NAME_LENGTH:
        length =
            std::snprintf(buffer, size, "Entry %" PRIu32 ": name is longer than %zu bytes", entry, NAME_MAX_LENGTH);
        break;
    case RESOURCE_SET_PROBLEM_NAME_UNSAFE:
        length = std::snprintf(buffer, size, "Entry %" PRIu32 ": name is unsafe to extract", entry);
        break;
    case RESOURCE_SET_PROBLEM_SHORT:
        length = std::snprintf(buffer, size, "Set is %" PRIu64 " bytes shorter than its table says", value);
        break;
    case RESOURCE_SET_PROBLEM_TRAILING:
        length = std::snprintf(buffer, size, "Set has %s%" PRIu64 " bytes after its last body",
                               value > UINT32_MAX ? "at least " : "", value);
        break;
    case RESOURCE_SET_PROBLEM_UNREADABLE:
        length = of_entry ? std::snprintf(buffer, size, "Entry %" PRIu32 ": cannot be read", entry)
                          : std::snprintf(buffer, size, "Set cannot be read");
        break;
    case RESOURCE_SET_PROBLEM_TABLE_TOO_LONG:
        length = std::snprintf(buffer, size, "Table is not checked past entry %" PRIu64, value);
        break;
    case RESOURCE_SET_PROBLEM_NAME_EMPTY:
        length = std::snprintf(buffer, size, "Entry %" PRIu32 ": name is empty", entry);
        break;
    case RESOURCE_SET_PROBLEM_NAME_FOLDER:
        length = std::snprintf(buffer, size, "Entry %" PRIu32 ": name names a folder, not a file", entry);
        break;
    case RESOURCE_SET_PROBLEM_NAME_DIRECTIVE:
        length = std::snprintf(buffer, size, "Entry %" PRIu32 ": name is the directive !discard", entry);
        break;
    case RESOURCE_SET_PROBLEM_SET_TOO_LONG:
        length = std::snprintf(buffer, size, "Set is longer than %" PRId64 " bytes", SET_SIZE_MAX);
        break;
    default:
        length = std::snprintf(buffer, size, "Unknown problem");
        break;
    }
    return length < 0 ? 0 : static_cast<std::size_t>(length);
}

resource_set_status resource_set_read_table_stream(const resource_set_check_callbacks* callbacks)
{
    resource_set_check_callbacks taken{};
    if (!take_callbacks(callbacks, taken)) {
        return RESOURCE_SET_ERROR_ARGUMENT;
    }
    return guarded([&] { return read_table_stream(taken); });
}

int resource_set_name_is_safe(const char* name)
{
    return name != nullptr && extracts_safely(name) ? 1 : 0;
}

const char* resource_set_version(void)
{
    return RESOURCE_SET_VERSION;
}

unsigned resource_set_version_number(void)
{
    return RESOURCE_SET_VERSION_NUMBER;
}

} // extern "C"
