// SPDX-License-Identifier: MIT
// Fuzz harness for vashpak's listfile reader: each input is a listfile,
// given as "@list.lst" to add_to_filelist in a scratch folder that holds a
// few small files for its lines to name:
//   a.res      a resource with a 3-byte payload
//   e.res      a resource with no payload (20 bytes)
//   short.res  "0SER" and two words only, too short to be accepted
//   text.res   long enough, but not a resource
//   "a b.res" and resource_with_a_33_byte_name_.res, copies of a.res that no
//              listfile line may name: one holds a space, the other's name
//              is one byte too long
// After every input it checks the table the reader built:
//  - 0 <= count <= RESOURCE_SET_MAX, and -1 <= discard_index <= count;
//  - every entry's name is 1 to 32 graphic bytes (a line is cut at its first
//    other byte, longer names are refused, the empty name cannot be opened),
//    zero-padded, and names a resource whose words and payload length are
//    the entry's;
//  - data_total and discard_total are the sums of the body lengths before
//    the end and before the discard point;
//  - the entry after the last one is still untouched.
#include "resource_format.hpp"
#include "resource_table.hpp"
#include "scratch.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

const char* const HARNESS_NAME = "fuzz_listfile";

namespace {

constexpr const char* LIST_NAME = "list.lst";
constexpr const char* LIST_ARG = "@list.lst";
constexpr const char* LONG_NAME = "resource_with_a_33_byte_name_.res";
static_assert(std::char_traits<char>::length(LONG_NAME) == NAME_MAX_LENGTH + 1);

struct scratch {
    bool ready = false;
    fs::path folder;
    std::FILE* log = nullptr;
};

scratch state;

// Runs in the scratch folder.
void write_resources()
{
    // "0SER", word1, word2, the body header, then the payload.
    static constexpr unsigned char a_res[] = {'0', 'S', 'E', 'R', 1,   0,   0,   0,   2,   0,   0,  0,
                                              0,   0,   0,   0,   '!', 'I', 'G', 'M', 'a', 'b', 'c'};
    static constexpr unsigned char e_res[] = {'0',  'S',  'E', 'R', 0x44, 0x33, 0x22, 0x11, 0x88, 0x77,
                                              0x66, 0x55, 0,   0,   0,    0,    '!',  'I',  'G',  'M'};
    static constexpr unsigned char short_res[] = {'0', 'S', 'E', 'R', 1, 0, 0, 0, 2, 0, 0, 0};
    static constexpr char text_res[] = "This file is not a resource at all.\n";
    if (!write_file("a.res", a_res, sizeof a_res) || !write_file("e.res", e_res, sizeof e_res) ||
        !write_file("short.res", short_res, sizeof short_res) ||
        !write_file("text.res", text_res, sizeof text_res - 1) || !write_file("a b.res", a_res, sizeof a_res) ||
        !write_file(LONG_NAME, a_res, sizeof a_res)) {
        fail("cannot write the scratch resources");
    }
}

void enter(const fs::path& folder)
{
    std::error_code error;
    fs::current_path(folder, error);
    if (error) {
        fail("cannot change the current folder");
    }
}

void set_up()
{
    state.folder = make_scratch_folder("fuzz_listfile.");
    std::error_code error;
    const fs::path previous = fs::current_path(error);
    if (error) {
        fail("no current folder");
    }
    enter(state.folder);
    write_resources();
    enter(previous);
    state.log = open_discard_stream();
    set_log_stream(state.log);
    state.ready = true;
}

bool is_graphic(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x21 && byte <= 0x7E;
}

// True when name opens a resource file with the entry's words and payload
// length.  Runs in the scratch folder, where names resolve.
bool matches_its_file(const std::string& name, const toc_entry& entry)
{
    std::FILE* file = std::fopen(name.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    resource_header_bytes bytes{};
    const bool read = std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool at_end = std::fseek(file, 0, SEEK_END) == 0;
    const long length = at_end ? std::ftell(file) : -1;
    std::fclose(file);
    if (!read || length < static_cast<long>(RESOURCE_FILE_MIN_SIZE)) {
        return false;
    }
    const resource_header header = decode_resource_header(bytes);
    return header.magic == RESOURCE_MAGIC && header.word1 == entry.word1 && header.word2 == entry.word2 &&
           static_cast<std::uint64_t>(length) - RESOURCE_FILE_MIN_SIZE == entry.size;
}

void check_entry(const toc_entry& entry)
{
    const std::string name = entry_name(entry);
    if (name.empty() || name.size() > NAME_MAX_LENGTH) {
        fail("an accepted name is empty or too long");
    }
    for (const char c : name) {
        if (!is_graphic(c)) {
            fail("an accepted name holds a byte that ends listfile names");
        }
    }
    for (std::size_t i = name.size(); i < entry.name.size(); ++i) {
        if (entry.name[i] != '\0') {
            fail("a name field is not zero-padded");
        }
    }
    if (entry.reserved1 != 0 || entry.reserved2 != 0) {
        fail("an entry's reserved words are set");
    }
    if (!matches_its_file(name, entry)) {
        fail("an entry does not match the resource it names");
    }
}

bool is_untouched(const toc_entry& entry)
{
    const toc_entry pristine{};
    return entry.name == pristine.name && entry.word1 == 0 && entry.word2 == 0 && entry.size == 0 &&
           entry.reserved1 == 0 && entry.reserved2 == 0;
}

// Runs in the scratch folder.
void check_table()
{
    if (table.count < 0 || table.count > RESOURCE_SET_MAX) {
        fail("count out of range");
    }
    if (table.discard_index < -1 || table.discard_index > table.count) {
        fail("discard point out of range");
    }
    std::int64_t total = 0;
    std::int64_t total_at_discard = 0;
    for (std::int32_t i = 0; i < table.count; ++i) {
        if (i == table.discard_index) {
            total_at_discard = total;
        }
        const toc_entry& entry = table.entries[static_cast<std::size_t>(i)];
        check_entry(entry);
        total += static_cast<std::int64_t>(entry.size) + static_cast<std::int64_t>(BODY_HEADER_SIZE);
    }
    if (table.discard_index == table.count) {
        total_at_discard = total;
    }
    if (total != table.data_total) {
        fail("data_total is not the sum of the bodies");
    }
    if (total_at_discard != table.discard_total) {
        fail("discard_total is not the sum of the bodies before the discard point");
    }
    if (table.count < RESOURCE_SET_MAX && !is_untouched(table.entries[static_cast<std::size_t>(table.count)])) {
        fail("an entry past the last one was written");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (!state.ready) {
        set_up();
    }
    std::error_code error;
    const fs::path previous = fs::current_path(error);
    if (error) {
        fail("no current folder");
    }
    enter(state.folder);
    if (!write_file(LIST_NAME, data, size)) {
        fail("cannot write the listfile");
    }
    table = resource_table{};
    std::rewind(state.log);
    add_to_filelist(LIST_ARG);
    check_table();
    enter(previous);
    return 0;
}
