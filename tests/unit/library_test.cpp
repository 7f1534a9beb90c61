// SPDX-License-Identifier: MIT
// The loader library through its C interface, on sets in memory and in
// files: what open refuses, lookups, reads at every offset, threads.
#include "files.hpp"
#include "resource_format.hpp"
#include "resource_set.h"
#include "streams.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <thread>
#include <vector>

#if !defined(_WIN32)
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;
using bytes = std::vector<unsigned char>;

struct resource {
    std::string name;
    std::uint32_t word1 = 1;
    std::uint32_t word2 = 2;
    std::string payload;
};

// The set vashpak packs of these resources, with keep_count as given.
bytes set_of(const std::vector<resource>& resources, std::uint32_t keep_count)
{
    const auto count = static_cast<std::uint32_t>(resources.size());
    bytes out(SET_HEADER_SIZE + TOC_ENTRY_SIZE * count);
    std::uint32_t length = SET_HEADER_SIZE + TOC_ENTRY_SIZE * count;
    std::uint32_t keep_end = length;
    for (std::uint32_t i = 0; i < count; ++i) {
        const resource& r = resources[i];
        toc_entry entry;
        EXPECT_TRUE(set_entry_name(entry, r.name));
        entry.word1 = r.word1;
        entry.word2 = r.word2;
        entry.size = static_cast<std::uint32_t>(r.payload.size());
        encode_toc_entry(entry, std::span(out).subspan(SET_HEADER_SIZE + TOC_ENTRY_SIZE * i).first<TOC_ENTRY_SIZE>());
        const std::array<unsigned char, 8> body_head{0, 0, 0, 0, '!', 'I', 'G', 'M'};
        out.insert(out.end(), body_head.begin(), body_head.end());
        out.insert(out.end(), r.payload.begin(), r.payload.end());
        length += 8 + entry.size;
        if (i < keep_count) {
            keep_end = length;
        }
    }
    encode_set_header({SET_MAGIC, 0, count, keep_count, keep_end}, std::span(out).first<SET_HEADER_SIZE>());
    return out;
}

std::string pattern(std::size_t length, unsigned seed)
{
    std::string s(length, '\0');
    for (std::size_t i = 0; i < length; ++i) {
        s[i] = static_cast<char>((i * 131 + seed + i / 253) & 0xFF);
    }
    return s;
}

const std::vector<resource> SAMPLE{
    {"a.res", 1, 2, "xyz"}, {"sub/b.res", 7, 9, pattern(5000, 3)}, {"empty.res", 0, 0, ""}, {"a.res", 3, 4, "later"}};

resource_set_status open_bytes(const bytes& data, resource_set*& set)
{
    set = reinterpret_cast<resource_set*>(&set); // anything but null: open must clear it
    return resource_set_open_memory(data.data(), data.size(), &set);
}

// The data must outlive the set: a temporary may not be opened.
resource_set_status open_bytes(const bytes&& data, resource_set*& set) = delete;

std::string read_all(const resource_set* set, const resource_set_entry* entry)
{
    std::string out(entry->size, '\0');
    std::size_t got = 0;
    EXPECT_EQ(resource_set_read(set, entry, 0, out.data(), out.size(), &got), RESOURCE_SET_OK);
    EXPECT_EQ(got, out.size());
    return out;
}

class LibraryFile : public ::testing::Test {
protected:
    fs::path path;

    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path = fs::temp_directory_path() / (std::string("resource_set_") + info->name() + ".set");
    }
    void TearDown() override
    {
        fs::remove(path);
    }
    void write(const bytes& data) const
    {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    }
};

TEST(Library, AnEmptySetHasNoEntries)
{
    resource_set* set = nullptr;
    const bytes empty = set_of({}, 0);
    ASSERT_EQ(open_bytes(empty, set), RESOURCE_SET_OK);
    EXPECT_EQ(resource_set_count(set), 0U);
    EXPECT_EQ(resource_set_keep_count(set), 0U);
    EXPECT_EQ(resource_set_entry_at(set, 0), nullptr);
    EXPECT_EQ(resource_set_find(set, ""), nullptr);
    resource_set_close(set);
}

TEST(Library, EntriesKeepTheirWordsSizesAndOffsets)
{
    resource_set* set = nullptr;
    const bytes data = set_of(SAMPLE, 2);
    ASSERT_EQ(open_bytes(data, set), RESOURCE_SET_OK);
    ASSERT_EQ(resource_set_count(set), 4U);
    EXPECT_EQ(resource_set_keep_count(set), 2U);
    const resource_set_entry* b = resource_set_entry_at(set, 1);
    ASSERT_NE(b, nullptr);
    EXPECT_STREQ(b->name, "sub/b.res");
    EXPECT_EQ(b->word1, 7U);
    EXPECT_EQ(b->word2, 9U);
    EXPECT_EQ(b->size, 5000U);
    EXPECT_EQ(b->offset, 20U + 4 * 56 + 8 + 3 + 8);
    EXPECT_EQ(read_all(set, b), SAMPLE[1].payload);
    resource_set_close(set);
}

TEST(Library, FindGivesTheLastEntryOfANameAndNullForOthers)
{
    resource_set* set = nullptr;
    const bytes sample = set_of(SAMPLE, 4);
    ASSERT_EQ(open_bytes(sample, set), RESOURCE_SET_OK);
    const resource_set_entry* a = resource_set_find(set, "a.res");
    ASSERT_EQ(a, resource_set_entry_at(set, 3));
    EXPECT_EQ(read_all(set, a), "later");
    EXPECT_EQ(resource_set_find(set, "sub/b.res"), resource_set_entry_at(set, 1));
    EXPECT_EQ(resource_set_find(set, "A.RES"), nullptr);
    EXPECT_EQ(resource_set_find(set, "a.re"), nullptr);
    EXPECT_EQ(resource_set_find(set, nullptr), nullptr);
    // By length: the front of a longer buffer, not zero-terminated; a zero
    // byte within the length is in no stored name.
    const char buffer[] = {'a', '.', 'r', 'e', 's', 'X'};
    EXPECT_EQ(resource_set_find_n(set, buffer, 5), resource_set_entry_at(set, 3));
    EXPECT_EQ(resource_set_find_n(set, buffer, 4), nullptr);
    EXPECT_EQ(resource_set_find_n(set, "a.res\0", 6), nullptr);
    EXPECT_EQ(resource_set_find_n(set, std::string(40, 'a').c_str(), 40), nullptr);
    // The entries are one array.
    EXPECT_EQ(resource_set_entry_at(set, 1), resource_set_entry_at(set, 0) + 1);
    EXPECT_EQ(resource_set_entry_at(set, 3), resource_set_entry_at(set, 0) + 3);
    resource_set_close(set);

    // Names alike in their first bytes, of every length around eight.
    std::vector<resource> alike;
    for (const char* name : {"gfx/tile", "gfx/tiles/b", "gfx/tiles/a", "gfx/til", "gfx/tiles/a", "gfx/tile0"}) {
        alike.push_back({name, static_cast<std::uint32_t>(alike.size()), 0, ""});
    }
    const bytes alike_set = set_of(alike, 6);
    ASSERT_EQ(open_bytes(alike_set, set), RESOURCE_SET_OK);
    for (const char* name : {"gfx/tile", "gfx/tiles/b", "gfx/til", "gfx/tile0"}) {
        ASSERT_NE(resource_set_find(set, name), nullptr) << name;
        EXPECT_STREQ(resource_set_find(set, name)->name, name);
    }
    EXPECT_EQ(resource_set_find(set, "gfx/tiles/a"), resource_set_entry_at(set, 4));
    EXPECT_EQ(resource_set_find(set, "gfx/tiles/"), nullptr);
    EXPECT_EQ(resource_set_find(set, "gfx/ti"), nullptr);
    resource_set_close(set);
}

TEST(Library, ReadsEndAtThePayloadAndRefuseOffsetsPastIt)
{
    resource_set* set = nullptr;
    const bytes sample_set = set_of(SAMPLE, 4);
    ASSERT_EQ(open_bytes(sample_set, set), RESOURCE_SET_OK);
    const resource_set_entry* b = resource_set_entry_at(set, 1);
    std::array<char, 64> buffer{};
    std::size_t got = 99;
    EXPECT_EQ(resource_set_read(set, b, 4990, buffer.data(), buffer.size(), &got), RESOURCE_SET_OK);
    EXPECT_EQ(got, 10U);
    EXPECT_EQ(std::string(buffer.data(), got), SAMPLE[1].payload.substr(4990));
    EXPECT_EQ(resource_set_read(set, b, 5000, buffer.data(), buffer.size(), &got), RESOURCE_SET_OK);
    EXPECT_EQ(got, 0U);
    got = 99;
    EXPECT_EQ(resource_set_read(set, b, 5001, buffer.data(), buffer.size(), &got), RESOURCE_SET_ERROR_RANGE);
    EXPECT_EQ(got, 0U);
    const resource_set_entry* empty = resource_set_find(set, "empty.res");
    EXPECT_EQ(resource_set_read(set, empty, 0, nullptr, 0, &got), RESOURCE_SET_OK);
    EXPECT_EQ(got, 0U);
    resource_set_close(set);
}

TEST(Library, NullsAndForeignEntriesAreArgumentErrors)
{
    resource_set* set = nullptr;
    resource_set* other = nullptr;
    const bytes data = set_of(SAMPLE, 4);
    ASSERT_EQ(open_bytes(data, set), RESOURCE_SET_OK);
    ASSERT_EQ(open_bytes(data, other), RESOURCE_SET_OK);
    const resource_set_entry* a = resource_set_entry_at(set, 0);
    std::array<char, 4> buffer{};
    std::size_t got = 0;
    EXPECT_EQ(resource_set_read(set, a, 0, nullptr, 1, &got), RESOURCE_SET_ERROR_ARGUMENT);
    EXPECT_EQ(resource_set_read(set, a, 0, buffer.data(), 1, nullptr), RESOURCE_SET_ERROR_ARGUMENT);
    EXPECT_EQ(resource_set_read(nullptr, a, 0, buffer.data(), 1, &got), RESOURCE_SET_ERROR_ARGUMENT);
    EXPECT_EQ(resource_set_read(other, a, 0, buffer.data(), 1, &got), RESOURCE_SET_ERROR_ARGUMENT);
    const auto* inside = reinterpret_cast<const resource_set_entry*>(reinterpret_cast<const char*>(a) + 8);
    EXPECT_EQ(resource_set_read(set, inside, 0, buffer.data(), 1, &got), RESOURCE_SET_ERROR_ARGUMENT);
    EXPECT_EQ(resource_set_open_memory(data.data(), data.size(), nullptr), RESOURCE_SET_ERROR_ARGUMENT);
    resource_set* none = set;
    EXPECT_EQ(resource_set_open(nullptr, &none), RESOURCE_SET_ERROR_ARGUMENT);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(resource_set_count(nullptr), 0U);
    EXPECT_EQ(resource_set_entry_at(nullptr, 0), nullptr);
    resource_set_close(nullptr);
    resource_set_close(other);
    resource_set_close(set);
}

// Each damage in turn: open refuses it with its status and leaves the set
// null.
TEST(Library, OpenRefusesWhatIsNotAWholeSet)
{
    const bytes good = set_of(SAMPLE, 4);
    struct damage {
        const char* what;
        std::size_t at;
        unsigned char value;
        resource_set_status expected;
    };
    for (const damage d : {damage{"magic", 1, 'X', RESOURCE_SET_ERROR_FORMAT},
                           damage{"keep_count above count", 12, 5, RESOURCE_SET_ERROR_FORMAT},
                           damage{"a count whose table does not fit", 10, 1, RESOURCE_SET_ERROR_FORMAT},
                           damage{"no terminator", 20 + 56 + 35, 'x', RESOURCE_SET_ERROR_FORMAT},
                           damage{"a size past the end", 20 + 44 + 2, 1, RESOURCE_SET_ERROR_SHORT}}) {
        bytes data = good;
        if (d.at == 20 + 56 + 35) {
            std::fill(data.begin() + 20 + 56, data.begin() + 20 + 56 + 36, 'x');
        } else {
            data[d.at] = d.value;
        }
        resource_set* set = nullptr;
        EXPECT_EQ(open_bytes(data, set), d.expected) << d.what;
        EXPECT_EQ(set, nullptr) << d.what;
    }
    // Bytes after the last body are allowed.
    bytes longer = good;
    longer.push_back(0);
    resource_set* set = nullptr;
    EXPECT_EQ(open_bytes(longer, set), RESOURCE_SET_OK);
    resource_set_close(set);
}

TEST_F(LibraryFile, EveryPrefixOfAValidSetIsRefusedWithShortOrFormat)
{
    const bytes good =
        set_of({{"a.res", 1, 2, "xyz"}, {"sub/b.res", 7, 9, pattern(50, 3)}, {"empty.res", 0, 0, ""}}, 2);
    for (std::size_t length = 0; length < good.size(); ++length) {
        const bytes prefix(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(length));
        resource_set* set = nullptr;
        const resource_set_status in_memory = resource_set_open_memory(prefix.data(), prefix.size(), &set);
        EXPECT_TRUE(in_memory == RESOURCE_SET_ERROR_SHORT || in_memory == RESOURCE_SET_ERROR_FORMAT) << length;
        EXPECT_EQ(set, nullptr);
        write(prefix);
        EXPECT_EQ(resource_set_open(path.string().c_str(), &set), in_memory) << length;
        EXPECT_EQ(set, nullptr);
    }
}

TEST_F(LibraryFile, AFileReadsAsTheSameSetInMemoryDoes)
{
    write(set_of(SAMPLE, 2));
    resource_set* set = nullptr;
    ASSERT_EQ(resource_set_open(path.string().c_str(), &set), RESOURCE_SET_OK);
    EXPECT_EQ(resource_set_keep_count(set), 2U);
    for (std::uint32_t i = 0; i < resource_set_count(set); ++i) {
        EXPECT_EQ(read_all(set, resource_set_entry_at(set, i)), SAMPLE[i].payload) << i;
    }
    resource_set_close(set);
    EXPECT_EQ(resource_set_open((path.string() + ".missing").c_str(), &set), RESOURCE_SET_ERROR_OPEN);
    EXPECT_EQ(resource_set_open(path.parent_path().string().c_str(), &set), RESOURCE_SET_ERROR_OPEN);
    EXPECT_EQ(set, nullptr);
}

TEST_F(LibraryFile, FourThreadsReadingOneSetGetTheirOwnBytes)
{
    std::vector<resource> many;
    for (unsigned i = 0; i < 64; ++i) {
        std::string name = std::to_string(i);
        name.insert(0, 1, 'r');
        many.push_back({name, i, i, pattern(1000 + 37 * i, i)});
    }
    write(set_of(many, 64));
    resource_set* set = nullptr;
    ASSERT_EQ(resource_set_open(path.string().c_str(), &set), RESOURCE_SET_OK);
    std::array<int, 4> wrong{};
    std::vector<std::thread> readers;
    for (std::size_t t = 0; t < wrong.size(); ++t) {
        readers.emplace_back([&, t] {
            for (int round = 0; round < 50; ++round) {
                for (std::uint32_t i = 0; i < 64; ++i) {
                    const resource_set_entry* entry = resource_set_entry_at(set, (i + t * 16) % 64);
                    std::string got(entry->size, '\0');
                    std::size_t count = 0;
                    // Pieces at odd offsets, so that the threads interleave.
                    for (std::size_t at = 0; at < got.size(); at += count) {
                        if (resource_set_read(set, entry, at, got.data() + at, 333, &count) != RESOURCE_SET_OK) {
                            break;
                        }
                    }
                    wrong[t] += got == many[(i + t * 16) % 64].payload ? 0 : 1;
                }
            }
        });
    }
    for (std::thread& reader : readers) {
        reader.join();
    }
    EXPECT_EQ(wrong, (std::array<int, 4>{}));
    resource_set_close(set);
}

TEST_F(LibraryFile, AFileThatShrankGivesAReadError)
{
    write(set_of(SAMPLE, 4));
    resource_set* set = nullptr;
    ASSERT_EQ(resource_set_open(path.string().c_str(), &set), RESOURCE_SET_OK);
    fs::resize_file(path, 20 + 4 * 56 + 8 + 3 + 8 + 100);
    const resource_set_entry* b = resource_set_entry_at(set, 1);
    std::string buffer(b->size, '\0');
    std::size_t got = 0;
    EXPECT_EQ(resource_set_read(set, b, 0, buffer.data(), buffer.size(), &got), RESOURCE_SET_ERROR_READ);
    EXPECT_EQ(got, 100U);
    EXPECT_EQ(resource_set_read(set, resource_set_entry_at(set, 3), 0, buffer.data(), 5, &got),
              RESOURCE_SET_ERROR_READ);
    resource_set_close(set);
}

TEST(Library, EveryStatusHasATextAndTheVersionIsTheHeaders)
{
    for (int status = RESOURCE_SET_OK; status <= RESOURCE_SET_ERROR_WRITE; ++status) {
        const char* text = resource_set_error_text(static_cast<resource_set_status>(status));
        ASSERT_NE(text, nullptr);
        EXPECT_GT(std::string(text).size(), 0U);
    }
    EXPECT_STREQ(resource_set_error_text(RESOURCE_SET_ERROR_SHORT),
                 "the set ends before the bodies its table describes");
    EXPECT_EQ(resource_set_version_number(),
              static_cast<unsigned>(RESOURCE_SET_VERSION_MAJOR * 10000 + RESOURCE_SET_VERSION_MINOR * 100 +
                                    RESOURCE_SET_VERSION_PATCH));
    EXPECT_EQ(resource_set_version_number(), static_cast<unsigned>(RESOURCE_SET_VERSION_NUMBER));
    EXPECT_EQ(std::string(resource_set_version()), std::to_string(RESOURCE_SET_VERSION_MAJOR) + "." +
                                                       std::to_string(RESOURCE_SET_VERSION_MINOR) + "." +
                                                       std::to_string(RESOURCE_SET_VERSION_PATCH));
}

} // namespace

namespace {

// A set read through the check's callbacks, from memory: its bytes, then,
// with zeros, zero bytes for ever.
struct memory_reader {
    const bytes* data = nullptr;
    bool zeros = false;
    std::uint64_t at = 0;
    std::vector<resource_set_finding> findings{};
    // With zeros, where the set ends after all.
    std::uint64_t zeros_end = UINT64_MAX;
};

int read_memory(void* context, void* buffer, size_t length, size_t* got)
{
    auto* const reader = static_cast<memory_reader*>(context);
    const std::size_t left = reader->at < reader->data->size() ? reader->data->size() - reader->at : 0;
    length = static_cast<std::size_t>(std::min<std::uint64_t>(length, reader->zeros_end - reader->at));
    const std::size_t stored = std::min(length, left);
    std::memcpy(buffer, reader->data->data() + reader->at, stored);
    *got = stored;
    if (reader->zeros) {
        *got = static_cast<std::size_t>(std::min<std::uint64_t>(length, reader->zeros_end - reader->at));
        std::memset(static_cast<unsigned char*>(buffer) + stored, 0, *got - stored);
    }
    reader->at += *got;
    return 0;
}

void keep_finding(void* context, const resource_set_finding* finding)
{
    static_cast<memory_reader*>(context)->findings.push_back(*finding);
}

resource_set_status check_bytes(memory_reader& reader, std::uint32_t& problems)
{
    const resource_set_check_callbacks callbacks{
        sizeof(resource_set_check_callbacks), read_memory, nullptr, nullptr, keep_finding, &reader};
    return resource_set_check_stream(&callbacks, &problems);
}

TEST_F(LibraryFile, TheCheckFindsWhatVashpakWouldNotWriteAndNothingInWhatItDoes)
{
    const bytes good = set_of(SAMPLE, 2);
    write(good);
    std::uint32_t problems = 99;
    EXPECT_EQ(resource_set_check(path.string().c_str(), nullptr, nullptr, &problems), RESOURCE_SET_OK);
    EXPECT_EQ(problems, 0U);
    EXPECT_EQ(resource_set_check((path.string() + ".missing").c_str(), nullptr, nullptr, &problems),
              RESOURCE_SET_ERROR_OPEN);
    EXPECT_EQ(resource_set_check(path.parent_path().string().c_str(), nullptr, nullptr, &problems),
              RESOURCE_SET_ERROR_OPEN);

    bytes bad = good;
    bad[20 + 56 + 48] = 1;      // entry 1's first reserved word
    bad.resize(bad.size() - 2); // the last payload cut by 2 bytes
    memory_reader reader{&bad};
    EXPECT_EQ(check_bytes(reader, problems), RESOURCE_SET_OK);
    ASSERT_EQ(problems, 2U);
    ASSERT_EQ(reader.findings.size(), 2U);
    EXPECT_EQ(reader.findings[0].problem, RESOURCE_SET_PROBLEM_RESERVED);
    EXPECT_EQ(reader.findings[0].entry, 1U);
    EXPECT_EQ(reader.findings[1].problem, RESOURCE_SET_PROBLEM_SHORT);
    EXPECT_EQ(reader.findings[1].value, 2U);
    EXPECT_STREQ(resource_set_problem_text(RESOURCE_SET_PROBLEM_SHORT), "the set is shorter than its table says");

    // A count that the set never ends is read no further than the bound;
    // each entry read, all zeros, has an empty name.
    bytes header(SET_HEADER_SIZE);
    encode_set_header({SET_MAGIC, 0, 0xFFFFFFFFU, 0, 0}, std::span(header).first<SET_HEADER_SIZE>());
    memory_reader endless{&header, true};
    EXPECT_EQ(check_bytes(endless, problems), RESOURCE_SET_OK);
    ASSERT_EQ(endless.findings.size(), 2U + (1U << 20U));
    EXPECT_EQ(endless.findings.front().problem, RESOURCE_SET_PROBLEM_COUNT);
    EXPECT_EQ(endless.findings.back().problem, RESOURCE_SET_PROBLEM_TABLE_TOO_LONG);
    EXPECT_EQ(endless.findings.back().value, 1U << 20U);
}

std::string text_of(const resource_set_finding& finding)
{
    std::string text(resource_set_finding_text(&finding, nullptr, 0), '\0');
    resource_set_finding_text(&finding, text.data(), text.size() + 1);
    return text;
}

TEST(Library, TheCheckFindsNamesThatNameNoFile)
{
    const bytes data = set_of({{"", 1, 2, ""}, {"d/", 1, 2, ""}, {"a/.", 1, 2, ""}, {"!discard", 1, 2, ""}}, 4);
    memory_reader reader{&data};
    std::uint32_t problems = 0;
    EXPECT_EQ(check_bytes(reader, problems), RESOURCE_SET_OK);
    std::vector<std::string> texts;
    for (const resource_set_finding& finding : reader.findings) {
        texts.push_back(text_of(finding));
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"Entry 0: name is empty", "Entry 1: name names a folder, not a file",
                                               "Entry 2: name names a folder, not a file",
                                               "Entry 3: name is the directive !discard"}));
    EXPECT_STREQ(resource_set_problem_text(RESOURCE_SET_PROBLEM_NAME_EMPTY), "a name is empty");
}

#if !defined(_WIN32)
TEST(Library, TheCheckCallsNamesSafeAsExtractionDoes)
{
    const bytes data = set_of({{".\\reslist.txt", 1, 2, ""}, {"reslist.txt\\", 1, 2, ""}}, 2);
    memory_reader reader{&data};
    std::uint32_t problems = 0;
    EXPECT_EQ(check_bytes(reader, problems), RESOURCE_SET_OK);
    EXPECT_EQ(problems, 0U);
}
#endif

TEST(Library, TheCheckCountsBytesAfterTheLastBodyUpTo4GiB)
{
    const bytes empty = set_of({}, 0);
    memory_reader endless{&empty, true};
    std::uint32_t problems = 0;
    EXPECT_EQ(check_bytes(endless, problems), RESOURCE_SET_OK);
    ASSERT_FALSE(endless.findings.empty());
    EXPECT_EQ(endless.findings[0].problem, RESOURCE_SET_PROBLEM_TRAILING);
    EXPECT_EQ(endless.findings[0].value, std::uint64_t{1} << 32U);
    EXPECT_EQ(text_of(endless.findings[0]), "Set has at least 4294967296 bytes after its last body");
    const resource_set_finding fewer{RESOURCE_SET_PROBLEM_TRAILING, RESOURCE_SET_NO_ENTRY, UINT32_MAX};
    EXPECT_EQ(text_of(fewer), "Set has 4294967295 bytes after its last body");
}

TEST(Library, TheCheckFindsASetLongerThanOffsetsDescribe)
{
    const bytes empty = set_of({}, 0);
    memory_reader longest{&empty, true, 0, {}, SET_SIZE_MAX};
    std::uint32_t problems = 0;
    EXPECT_EQ(check_bytes(longest, problems), RESOURCE_SET_OK);
    EXPECT_EQ(problems, 1U);
    memory_reader longer{&empty, true, 0, {}, SET_SIZE_MAX + 1};
    EXPECT_EQ(check_bytes(longer, problems), RESOURCE_SET_OK);
    ASSERT_EQ(longer.findings.size(), 2U);
    EXPECT_EQ(text_of(longer.findings[1]), "Set is longer than 2147483647 bytes");
}

// What read_table_stream passed on: the header's count and each entry.
struct table_seen {
    memory_reader reader;
    std::uint32_t count = 0;
    std::vector<std::string> names{};
    std::vector<std::uint64_t> offsets{};
};

int read_seen(void* context, void* buffer, size_t length, size_t* got)
{
    return read_memory(&static_cast<table_seen*>(context)->reader, buffer, length, got);
}

resource_set_status read_table_of(table_seen& seen)
{
    const resource_set_check_callbacks callbacks{sizeof(resource_set_check_callbacks),
                                                 read_seen,
                                                 [](void* context, std::uint32_t count, std::uint32_t, std::uint32_t) {
                                                     static_cast<table_seen*>(context)->count = count;
                                                 },
                                                 [](void* context, std::uint32_t, const resource_set_entry* entry) {
                                                     static_cast<table_seen*>(context)->names.emplace_back(entry->name);
                                                     static_cast<table_seen*>(context)->offsets.push_back(
                                                         entry->offset);
                                                 },
                                                 nullptr,
                                                 &seen};
    return resource_set_read_table_stream(&callbacks);
}

TEST(Library, ReadingTheTableTakesItsBytesAndNoMore)
{
    bytes data = set_of(SAMPLE, 2);
    data[0] = 'X'; // not judged
    table_seen seen{{&data}};
    EXPECT_EQ(read_table_of(seen), RESOURCE_SET_OK);
    EXPECT_EQ(seen.reader.at, SET_HEADER_SIZE + 4 * TOC_ENTRY_SIZE);
    EXPECT_EQ(seen.count, 4U);
    EXPECT_EQ(seen.names, (std::vector<std::string>{"a.res", "sub/b.res", "empty.res", "a.res"}));
    EXPECT_EQ(seen.offsets, (std::vector<std::uint64_t>{252, 263, 5271, 5279}));
    EXPECT_EQ(resource_set_read_table_stream(nullptr), RESOURCE_SET_ERROR_ARGUMENT);
    // A caller's struct smaller than this version's is refused unread.
    resource_set_check_callbacks small{
        sizeof(resource_set_check_callbacks) - 1, read_seen, nullptr, nullptr, nullptr, &seen};
    std::uint32_t problems = 0;
    EXPECT_EQ(resource_set_read_table_stream(&small), RESOURCE_SET_ERROR_ARGUMENT);
    EXPECT_EQ(resource_set_check_stream(&small, &problems), RESOURCE_SET_ERROR_ARGUMENT);
    EXPECT_EQ(seen.reader.at, SET_HEADER_SIZE + 4 * TOC_ENTRY_SIZE);
}

#if !defined(_WIN32)
TEST_F(LibraryFile, AFailedOpenLeavesTheSystemsReasonInErrno)
{
    resource_set* set = nullptr;
    errno = 0;
    EXPECT_EQ(resource_set_open((path.string() + ".none").c_str(), &set), RESOURCE_SET_ERROR_OPEN);
    EXPECT_EQ(errno, ENOENT);
    errno = 0;
    EXPECT_EQ(resource_set_open(path.parent_path().string().c_str(), &set), RESOURCE_SET_ERROR_OPEN);
    EXPECT_EQ(errno, EISDIR);
    std::uint32_t problems = 0;
    errno = 0;
    EXPECT_EQ(resource_set_check(path.parent_path().string().c_str(), nullptr, nullptr, &problems),
              RESOURCE_SET_ERROR_OPEN);
    EXPECT_EQ(errno, EISDIR);
}
#endif

TEST(Library, ATableCutShortOrEndlessIsRefusedAfterTheEntriesRead)
{
    const bytes good = set_of(SAMPLE, 2);
    const bytes cut(good.begin(), good.begin() + SET_HEADER_SIZE + 2 * TOC_ENTRY_SIZE + 3);
    table_seen seen{{&cut}};
    EXPECT_EQ(read_table_of(seen), RESOURCE_SET_ERROR_SHORT);
    EXPECT_EQ(seen.names.size(), 2U);

    bytes header(SET_HEADER_SIZE);
    encode_set_header({SET_MAGIC, 0, (1U << 20U) + 1, 0, 0}, std::span(header).first<SET_HEADER_SIZE>());
    table_seen endless{{&header, true}};
    EXPECT_EQ(read_table_of(endless), RESOURCE_SET_ERROR_FORMAT);
    EXPECT_EQ(endless.names.size(), std::size_t{1} << 20U);
}

TEST(Library, NamesThatExtractOutsideTheirFolderOrOntoTheListfileAreUnsafe)
{
    for (const char* name : {"../x", "/x", "c:x", "reslist.txt", "./reslist.txt"}) {
        EXPECT_EQ(resource_set_name_is_safe(name), 0) << name;
    }
    for (const char* name : {"x", "a/b.res", "", "."}) {
        EXPECT_NE(resource_set_name_is_safe(name), 0) << name;
    }
#if !defined(_WIN32)
    EXPECT_NE(resource_set_name_is_safe(".\\reslist.txt"), 0);
    EXPECT_NE(resource_set_name_is_safe("reslist.txt\\"), 0);
#endif
}

TEST(Library, AFindingsTextIsCutLikeSnprintfs)
{
    const resource_set_finding finding{RESOURCE_SET_PROBLEM_RESERVED, 3, 0};
    const std::string whole = "Entry 3: reserved word is not 0";
    EXPECT_EQ(resource_set_finding_text(&finding, nullptr, 0), whole.size());
    std::array<char, 9> small{};
    EXPECT_EQ(resource_set_finding_text(&finding, small.data(), small.size()), whole.size());
    EXPECT_STREQ(small.data(), "Entry 3:");
    const resource_set_finding count{RESOURCE_SET_PROBLEM_COUNT, RESOURCE_SET_NO_ENTRY, 5000};
    std::array<char, 64> text{};
    resource_set_finding_text(&count, text.data(), text.size());
    EXPECT_EQ(std::string(text.data()), "Count is above " + std::to_string(SET_ENTRIES_MAX));
}

// ---- The writer ----

bytes file_bytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const fs::path& path, const bytes& data)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

// The resource file of r, as --wrap makes it.
bytes resource_file(const resource& r)
{
    const auto head = encode_resource_file_head(r.word1, r.word2);
    bytes out(head.size() + r.payload.size());
    std::copy(head.begin(), head.end(), out.begin());
    std::copy(r.payload.begin(), r.payload.end(), out.begin() + static_cast<std::ptrdiff_t>(head.size()));
    return out;
}

// A writer of path, which the test ends by committing or abandoning.
resource_set_writer* writer_of(const fs::path& path)
{
    resource_set_writer* writer = nullptr;
    EXPECT_EQ(resource_set_writer_create(path.string().c_str(), &writer), RESOURCE_SET_OK);
    return writer;
}

// The names in folder, which should hold the set alone after any commit.
std::vector<std::string> names_in(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(folder)) {
        names.push_back(item.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class Writer : public ::testing::Test {
protected:
    fs::path folder;
    fs::path path;

    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = fs::temp_directory_path() / (std::string("resource_set_writer_") + info->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
        path = folder / "out.set";
    }
    void TearDown() override
    {
        fs::remove_all(folder);
    }
};

TEST_F(Writer, EachKindOfSourceWritesTheBytesPackingWrites)
{
    const bytes expected = set_of(SAMPLE, 2);
    // From memory.
    resource_set_writer* writer = writer_of(path);
    for (std::size_t i = 0; i < SAMPLE.size(); ++i) {
        const resource& r = SAMPLE[i];
        ASSERT_EQ(resource_set_writer_add_memory(writer, r.name.c_str(), r.word1, r.word2, r.payload.data(),
                                                 r.payload.size()),
                  RESOURCE_SET_OK);
        if (i == 1) {
            ASSERT_EQ(resource_set_writer_discard(writer), RESOURCE_SET_OK);
        }
    }
    ASSERT_EQ(resource_set_writer_commit(writer), RESOURCE_SET_OK);
    EXPECT_EQ(file_bytes(path), expected);
    // From resource files, named as stored.
    writer = writer_of(path);
    for (std::size_t i = 0; i < SAMPLE.size(); ++i) {
        const fs::path file = folder / ("r" + std::to_string(i));
        write_file(file, resource_file(SAMPLE[i]));
        ASSERT_EQ(resource_set_writer_add_file(writer, SAMPLE[i].name.c_str(), file.string().c_str()), RESOURCE_SET_OK);
        if (i == 1) {
            resource_set_writer_discard(writer);
        }
    }
    ASSERT_EQ(resource_set_writer_commit(writer), RESOURCE_SET_OK);
    EXPECT_EQ(file_bytes(path), expected);
    // From a set in memory and from the file being replaced: each body as
    // stored, its odd 8 bytes included, and the entries in a new order.
    bytes odd = expected;
    const std::size_t first_body = SET_HEADER_SIZE + TOC_ENTRY_SIZE * SAMPLE.size();
    odd[first_body] = 0x55;
    write_file(path, odd);
    resource_set* from_memory = nullptr;
    ASSERT_EQ(open_bytes(odd, from_memory), RESOURCE_SET_OK);
    resource_set* from_file = nullptr;
    ASSERT_EQ(resource_set_open(path.string().c_str(), &from_file), RESOURCE_SET_OK);
    writer = writer_of(path);
    for (const std::uint32_t i : {3U, 0U, 1U, 2U}) {
        resource_set* from = i == 1 || i == 2 ? from_file : from_memory;
        ASSERT_EQ(resource_set_writer_add_entry(writer, i == 0 ? "first" : SAMPLE[i].name.c_str(), from,
                                                resource_set_entry_at(from, i)),
                  RESOURCE_SET_OK);
    }
    ASSERT_EQ(resource_set_writer_commit(writer), RESOURCE_SET_OK);
    std::vector<resource> reordered{SAMPLE[3], SAMPLE[0], SAMPLE[1], SAMPLE[2]};
    reordered[1].name = "first";
    bytes expected_reordered = set_of(reordered, 4);
    expected_reordered[SET_HEADER_SIZE + TOC_ENTRY_SIZE * 4 + 8 + SAMPLE[3].payload.size()] = 0x55;
    EXPECT_EQ(file_bytes(path), expected_reordered);
    resource_set_close(from_file);
    resource_set_close(from_memory);
    EXPECT_EQ(names_in(folder).size(), 1U + SAMPLE.size());
}

TEST_F(Writer, RefusalsLeaveTheWriterAsItWas)
{
    resource_set_writer* writer = writer_of(path);
    const char payload[] = "x";
    EXPECT_EQ(resource_set_writer_add_memory(writer, "", 0, 0, payload, 1), RESOURCE_SET_ERROR_NAME);
    EXPECT_EQ(resource_set_writer_add_memory(writer, std::string(33, 'n').c_str(), 0, 0, payload, 1),
              RESOURCE_SET_ERROR_NAME);
    EXPECT_EQ(resource_set_writer_add_memory(writer, std::string(32, 'n').c_str(), 0, 0, payload, 1), RESOURCE_SET_OK);
    EXPECT_EQ(resource_set_writer_add_memory(writer, "big", 0, 0, payload, std::size_t{1} << 31U),
              RESOURCE_SET_ERROR_TOO_LONG);
    EXPECT_EQ(resource_set_writer_add_file(writer, "gone", (folder / "gone").string().c_str()),
              RESOURCE_SET_ERROR_OPEN);
    bytes short_file(19, 0);
    std::copy_n("0SER", 4, short_file.begin());
    write_file(folder / "short.res", short_file);
    write_file(folder / "set.res", set_of(SAMPLE, 4));
    for (const char* file : {"short.res", "set.res"}) {
        EXPECT_EQ(resource_set_writer_add_file(writer, "r", (folder / file).string().c_str()),
                  RESOURCE_SET_ERROR_NOT_RESOURCE)
            << file;
    }
    resource_set* other = nullptr;
    const bytes sample = set_of(SAMPLE, 4);
    ASSERT_EQ(open_bytes(sample, other), RESOURCE_SET_OK);
    resource_set_entry stranger = *resource_set_entry_at(other, 0);
    EXPECT_EQ(resource_set_writer_add_entry(writer, "e", other, &stranger), RESOURCE_SET_ERROR_ARGUMENT);
    for (std::uint32_t i = 1; i < SET_ENTRIES_MAX; ++i) {
        ASSERT_EQ(resource_set_writer_add_entry(writer, "e", other, resource_set_entry_at(other, 0)), RESOURCE_SET_OK);
    }
    EXPECT_EQ(resource_set_writer_add_memory(writer, "one more", 0, 0, payload, 1), RESOURCE_SET_ERROR_TOO_MANY);
    ASSERT_EQ(resource_set_writer_commit(writer), RESOURCE_SET_OK);
    resource_set* written = nullptr;
    ASSERT_EQ(resource_set_open(path.string().c_str(), &written), RESOURCE_SET_OK);
    EXPECT_EQ(resource_set_count(written), SET_ENTRIES_MAX);
    // As many entries as a set holds are no problem to the check either.
    std::uint32_t problems = 1;
    EXPECT_EQ(resource_set_check(path.string().c_str(), nullptr, nullptr, &problems), RESOURCE_SET_OK);
    EXPECT_EQ(problems, 0U);
    resource_set_close(written);
    resource_set_close(other);
}

TEST_F(Writer, ASourceThatChangedOrAFailedCommitLeavesTheOldSetAndNoTemporary)
{
    const bytes old_set = set_of(SAMPLE, 4);
    const fs::path file = folder / "r.res";
    for (const std::size_t length : {std::size_t{30}, std::size_t{50}}) {
        write_file(path, old_set);
        write_file(file, resource_file({"r", 1, 2, std::string(40, 'p')}));
        resource_set_writer* writer = writer_of(path);
        ASSERT_EQ(resource_set_writer_add_file(writer, "r", file.string().c_str()), RESOURCE_SET_OK);
        fs::resize_file(file, length);
        EXPECT_EQ(resource_set_writer_commit(writer), RESOURCE_SET_ERROR_CHANGED) << length;
        EXPECT_EQ(file_bytes(path), old_set);
        EXPECT_EQ(names_in(folder), (std::vector<std::string>{"out.set", "r.res"}));
    }
    // Abandoned: nothing written.
    resource_set_writer* writer = writer_of(folder / "never.set");
    resource_set_writer_add_memory(writer, "x", 0, 0, "x", 1);
    resource_set_writer_abandon(writer);
    EXPECT_FALSE(fs::exists(folder / "never.set"));
    // Nowhere to write: a folder stands at the path.
    writer = writer_of(folder);
    EXPECT_EQ(resource_set_writer_commit(writer), RESOURCE_SET_ERROR_WRITE);
}

#if defined(_WIN32)
// Paths are UTF-8 on Windows, whatever the ANSI code page holds: a resource
// file and a set named in Greek and Chinese letters are written, opened and
// checked under those names.
TEST_F(Writer, PathsAreUtf8BeyondTheAnsiCodePage)
{
    const std::u8string set_name = u8"σύνολο-集.set";
    const std::u8string file_name = u8"πόρος-资源.res";
    const auto bytes_of = [](const std::u8string& text) { return std::string(text.begin(), text.end()); };
    // The code page is not UTF-8: read as ANSI, the bytes are other letters.
    ASSERT_NE(ansi_to_utf8(bytes_of(set_name).c_str()), bytes_of(set_name));
    const std::string set_path = bytes_of((folder / set_name).u8string());
    const resource r{"r", 5, 6, "payload"};
    write_file(folder / file_name, resource_file(r));
    resource_set_writer* writer = nullptr;
    ASSERT_EQ(resource_set_writer_create(set_path.c_str(), &writer), RESOURCE_SET_OK);
    ASSERT_EQ(resource_set_writer_add_file(writer, "r", bytes_of((folder / file_name).u8string()).c_str()),
              RESOURCE_SET_OK);
    ASSERT_EQ(resource_set_writer_commit(writer), RESOURCE_SET_OK);
    EXPECT_EQ(file_bytes(folder / set_name), set_of({r}, 1));
    EXPECT_EQ(names_in(folder), (std::vector<std::string>{bytes_of(file_name), bytes_of(set_name)}));
    resource_set* set = nullptr;
    ASSERT_EQ(resource_set_open(set_path.c_str(), &set), RESOURCE_SET_OK);
    EXPECT_EQ(read_all(set, resource_set_find(set, "r")), "payload");
    resource_set_close(set);
    std::uint32_t problems = 1;
    EXPECT_EQ(resource_set_check(set_path.c_str(), nullptr, nullptr, &problems), RESOURCE_SET_OK);
    EXPECT_EQ(problems, 0U);
}
#endif

#if !defined(_WIN32)
TEST_F(Writer, AWriteThatFailsAnywhereLeavesTheOldSetAndNoTemporary)
{
    // A file-size limit fails the write that crosses it, wherever it falls:
    // in the table, in a body from memory, from a file or from a set copied
    // by the kernel, or at the final flush.
    std::vector<resource> resources = SAMPLE;
    resources.push_back({"big", 5, 6, pattern(200000, 9)});
    resources.push_back({"tail", 7, 8, "tail"});
    const bytes source = set_of(resources, 6);
    write_file(folder / "source.set", source);
    write_file(folder / "r.res", resource_file(resources[1]));
    resource_set* from = nullptr;
    ASSERT_EQ(resource_set_open((folder / "source.set").string().c_str(), &from), RESOURCE_SET_OK);
    const bytes old_set = set_of(SAMPLE, 1);
    write_file(path, old_set);
    ignore_write_signals();
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const std::size_t whole = source.size();
    std::vector<std::size_t> limits{whole - 13, whole - 5, whole - 1};
    for (std::size_t limit = 0; limit < whole - 13; limit += limit < 600 ? 7 : 4099) {
        limits.push_back(limit);
    }
    for (const std::size_t limit : limits) {
        resource_set_writer* writer = writer_of(path);
        const resource& first = resources[0];
        ASSERT_EQ(resource_set_writer_add_memory(writer, first.name.c_str(), first.word1, first.word2,
                                                 first.payload.data(), first.payload.size()),
                  RESOURCE_SET_OK);
        ASSERT_EQ(resource_set_writer_add_file(writer, resources[1].name.c_str(), (folder / "r.res").string().c_str()),
                  RESOURCE_SET_OK);
        for (std::uint32_t i = 2; i < 5; ++i) {
            ASSERT_EQ(
                resource_set_writer_add_entry(writer, resources[i].name.c_str(), from, resource_set_entry_at(from, i)),
                RESOURCE_SET_OK);
        }
        ASSERT_EQ(resource_set_writer_add_memory(writer, "tail", 7, 8, "tail", 4), RESOURCE_SET_OK);
        const rlimit small{static_cast<rlim_t>(limit), saved.rlim_max};
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        const resource_set_status status = resource_set_writer_commit(writer);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
        EXPECT_EQ(status, RESOURCE_SET_ERROR_WRITE) << limit;
        ASSERT_EQ(file_bytes(path), old_set) << limit;
        ASSERT_EQ(names_in(folder), (std::vector<std::string>{"out.set", "r.res", "source.set"})) << limit;
    }
    // And with room for it, the same writes make the source's bytes.
    resource_set_writer* writer = writer_of(path);
    for (std::uint32_t i = 0; i < 6; ++i) {
        resource_set_writer_add_entry(writer, resources[i].name.c_str(), from, resource_set_entry_at(from, i));
    }
    ASSERT_EQ(resource_set_writer_commit(writer), RESOURCE_SET_OK);
    EXPECT_EQ(file_bytes(path), source);
    resource_set_close(from);
}

TEST_F(Writer, ACommitKeepsTheModeAndReplacesALinkNotItsTarget)
{
    write_file(folder / "target.set", set_of(SAMPLE, 4));
    fs::create_symlink("target.set", path);
    resource_set_writer* writer = writer_of(path);
    resource_set_writer_add_memory(writer, "x", 0, 0, "x", 1);
    ASSERT_EQ(resource_set_writer_commit(writer), RESOURCE_SET_OK);
    EXPECT_FALSE(fs::is_symlink(path));
    EXPECT_EQ(file_bytes(path), set_of({{"x", 0, 0, "x"}}, 1));
    EXPECT_EQ(file_bytes(folder / "target.set"), set_of(SAMPLE, 4));
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    writer = writer_of(path);
    ASSERT_EQ(resource_set_writer_commit(writer), RESOURCE_SET_OK);
    struct stat status {};
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777U, 0640U);
    EXPECT_EQ(file_bytes(path).size(), SET_HEADER_SIZE);
}
#endif

TEST_F(Writer, WritersOnSeveralThreadsCommitEachTheirOwnSet)
{
    std::vector<std::thread> threads;
    std::array<resource_set_status, 4> statuses{};
    for (std::size_t t = 0; t < statuses.size(); ++t) {
        threads.emplace_back([this, t, &statuses] {
            resource_set_writer* writer = writer_of(folder / std::to_string(t));
            const std::string payload = pattern(100000, static_cast<unsigned>(t));
            resource_set_writer_add_memory(writer, "p", 1, 2, payload.data(), payload.size());
            statuses[t] = resource_set_writer_commit(writer);
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (std::size_t t = 0; t < statuses.size(); ++t) {
        EXPECT_EQ(statuses[t], RESOURCE_SET_OK);
        EXPECT_EQ(file_bytes(folder / std::to_string(t)),
                  set_of({{"p", 1, 2, pattern(100000, static_cast<unsigned>(t))}}, 1));
    }
}

} // namespace
