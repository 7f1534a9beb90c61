// SPDX-License-Identifier: MIT
// The C++ face, resource_set.hpp, over sets that the C writer makes: built
// as C++17 and C++20, with exceptions and without, one program each.
#include "resource_set.hpp"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

#if defined(__cpp_exceptions)
const char* const BUILD = "exceptions";
#else
const char* const BUILD = "noexceptions";
#endif

struct resource {
    const char* name;
    std::uint32_t word1;
    std::uint32_t word2;
    std::string payload;
};

std::string pattern(std::size_t length)
{
    std::string s(length, '\0');
    for (std::size_t i = 0; i < length; ++i) {
        s[i] = static_cast<char>((i * 131 + i / 253) & 0xFFU);
    }
    return s;
}

// Kept: the first two.
const std::vector<resource> SAMPLE{
    {"a.res", 1, 2, "xyz"}, {"a.resx", 3, 4, "longer"}, {"sub/b.res", 5, 6, pattern(5000)}, {"empty.res", 0, 0, ""}};
const std::uint32_t SAMPLE_KEEP = 2;

std::string file_bytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string text_of(const std::vector<std::byte>& bytes)
{
    std::string s(bytes.size(), '\0');
    if (!bytes.empty()) {
        std::memcpy(s.data(), bytes.data(), bytes.size());
    }
    return s;
}

// Each case has a folder of its own, in which the C writer has written the
// sample set as sample.set.  The programs of each build may run at once.
class Face : public ::testing::Test {
protected:
    fs::path folder;
    fs::path sample;

    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = fs::temp_directory_path() /
                 ("resource_set_cpp" + std::to_string(__cplusplus) + "_" + BUILD + "_" + info->name());
        std::error_code error;
        fs::remove_all(folder, error);
        ASSERT_TRUE(fs::create_directories(folder, error)) << error.message();
        sample = folder / "sample.set";
        ASSERT_EQ(write_with_c(sample, SAMPLE, SAMPLE_KEEP), RESOURCE_SET_OK);
    }
    void TearDown() override
    {
        std::error_code error;
        fs::remove_all(folder, error);
    }

    static resource_set_status write_with_c(const fs::path& path, const std::vector<resource>& resources,
                                            std::uint32_t keep)
    {
        resource_set_writer* writer = nullptr;
        resource_set_status status = resource_set_writer_create(path.string().c_str(), &writer);
        for (std::size_t i = 0; i < resources.size() && status == RESOURCE_SET_OK; ++i) {
            const resource& r = resources[i];
            status =
                resource_set_writer_add_memory(writer, r.name, r.word1, r.word2, r.payload.data(), r.payload.size());
            if (i + 1 == keep && status == RESOURCE_SET_OK) {
                status = resource_set_writer_discard(writer);
            }
        }
        if (status != RESOURCE_SET_OK) {
            resource_set_writer_abandon(writer);
            return status;
        }
        return resource_set_writer_commit(writer);
    }

    std::vector<std::string> names_in_folder() const
    {
        std::vector<std::string> names;
        std::error_code error;
        for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
            names.push_back(it->path().filename().string());
        }
        return names;
    }
};

TEST_F(Face, AFailedOpenGivesItsStatusAndNoSet)
{
    const std::string missing = (folder / "missing.set").string();
    const auto opened = resource_sets::set::open(missing);
    EXPECT_FALSE(opened.ok());
    EXPECT_FALSE(opened);
    EXPECT_EQ(opened.status(), RESOURCE_SET_ERROR_OPEN);
    EXPECT_STREQ(opened.text(), resource_set_error_text(RESOURCE_SET_ERROR_OPEN));
    EXPECT_FALSE(opened.value().is_open());
    EXPECT_EQ(opened.value().count(), 0U);

    const char garbage[] = "not a set, not at all";
    const auto in_memory = resource_sets::set::open_memory(garbage, sizeof garbage);
    EXPECT_EQ(in_memory.status(), RESOURCE_SET_ERROR_FORMAT);
    EXPECT_FALSE(in_memory.value().is_open());
}

TEST_F(Face, FindTakesANameThatIsThePrefixOfALongerBuffer)
{
    auto opened = resource_sets::set::open(sample.string());
    ASSERT_TRUE(opened.ok()) << opened.text();
    const resource_sets::set& set = opened.value();
    // "a.resx" with no terminator: its first five bytes name "a.res".
    const char buffer[] = {'a', '.', 'r', 'e', 's', 'x'};
    const resource_sets::entry* found = set.find(std::string_view(buffer, 5));
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found, set.entry_at(0));
    EXPECT_EQ(set.find(std::string_view(buffer, sizeof buffer)), set.entry_at(1));
    EXPECT_EQ(set.find(std::string_view(buffer, 4)), nullptr);
    EXPECT_EQ(resource_sets::name_of(*found), "a.res");
}

TEST_F(Face, ReadsGiveThePayloadsBytes)
{
    const std::string data = file_bytes(sample);
    auto opened = resource_sets::set::open_memory(data.data(), data.size());
    ASSERT_TRUE(opened.ok()) << opened.text();
    const resource_sets::set& set = opened.value();
    const resource_sets::entry& big = *set.find("sub/b.res");
    const std::string& payload = SAMPLE[2].payload;

    // Into a pointer and a size, from an offset, up to the payload's end.
    std::vector<char> buffer(100, '\0');
    auto got = set.read(big, 4950, buffer.data(), buffer.size());
    ASSERT_TRUE(got.ok()) << got.text();
    EXPECT_EQ(got.value(), 50U);
    EXPECT_EQ(std::string(buffer.data(), got.value()), payload.substr(4950));
    EXPECT_EQ(set.read(big, 5001, buffer.data(), buffer.size()).status(), RESOURCE_SET_ERROR_RANGE);

#if defined(__cpp_lib_span)
    std::vector<std::byte> bytes(10);
    got = set.read(big, 7, std::span<std::byte>(bytes));
    ASSERT_TRUE(got.ok()) << got.text();
    EXPECT_EQ(got.value(), 10U);
    EXPECT_EQ(text_of(bytes), payload.substr(7, 10));
#endif

    // The whole payload, into a vector.
    const auto whole = set.read_all(big);
    ASSERT_TRUE(whole.ok()) << whole.text();
    EXPECT_EQ(text_of(whole.value()), payload);
    const auto empty = set.read_all(*set.find("empty.res"));
    ASSERT_TRUE(empty.ok()) << empty.text();
    EXPECT_TRUE(empty.value().empty());

    // An entry of another set is refused, and gives no bytes.
    auto other = resource_sets::set::open(sample.string());
    ASSERT_TRUE(other.ok()) << other.text();
    const auto foreign = set.read_all(*other.value().entry_at(2));
    EXPECT_EQ(foreign.status(), RESOURCE_SET_ERROR_ARGUMENT);
    EXPECT_TRUE(foreign.value().empty());
}

TEST_F(Face, IterationVisitsEveryEntryInTableOrder)
{
    auto opened = resource_sets::set::open(sample.string());
    ASSERT_TRUE(opened.ok()) << opened.text();
    const resource_sets::set& set = opened.value();
    EXPECT_EQ(set.count(), SAMPLE.size());
    EXPECT_EQ(set.keep_count(), SAMPLE_KEEP);

    std::vector<std::string> names;
    std::uint32_t index = 0;
    for (const resource_sets::entry& e : set) {
        EXPECT_EQ(&e, set.entry_at(index));
        EXPECT_EQ(e.size, SAMPLE[index].payload.size());
        names.emplace_back(resource_sets::name_of(e));
        ++index;
    }
    EXPECT_EQ(names, (std::vector<std::string>{"a.res", "a.resx", "sub/b.res", "empty.res"}));

    std::vector<std::string> kept;
    for (const resource_sets::entry& e : set.kept()) {
        kept.emplace_back(e.name);
    }
    EXPECT_EQ(kept, (std::vector<std::string>{"a.res", "a.resx"}));
    EXPECT_EQ(set.entries().size(), SAMPLE.size());
    EXPECT_EQ(&set.entries()[3], set.entry_at(3));
}

TEST_F(Face, TheWriterWritesTheBytesOfTheCWriter)
{
    auto source = resource_sets::set::open(sample.string());
    ASSERT_TRUE(source.ok()) << source.text();
    // A resource file: "0SER", the two words, then the body.
    const fs::path resource_file = folder / "r.res";
    {
        const unsigned char head[12] = {'0', 'S', 'E', 'R', 7, 0, 0, 0, 8, 0, 0, 0};
        const std::string body = std::string("\0\0\0\0!IGM", 8) + "from a file";
        std::ofstream out(resource_file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(head), sizeof head);
        out.write(body.data(), static_cast<std::streamsize>(body.size()));
    }
    const std::string payload = "in memory";
    const fs::path written = folder / "cpp.set";
    {
        auto created = resource_sets::writer::create(written.string());
        ASSERT_TRUE(created.ok()) << created.text();
        resource_sets::writer& writer = created.value();
        EXPECT_TRUE(writer.add_memory("memory.res", 9, 10, payload.data(), payload.size()).ok());
        EXPECT_TRUE(writer.add_file("file.res", resource_file.string()).ok());
        EXPECT_TRUE(writer.discard().ok());
        EXPECT_TRUE(writer.add_entry("copied.res", source.value(), *source.value().find("sub/b.res")).ok());
        // A refusal is reported, and the writer goes on as it was.
        EXPECT_EQ(writer.add_memory("", 0, 0, payload.data(), payload.size()).status(), RESOURCE_SET_ERROR_NAME);
#if defined(__cpp_lib_span)
        const std::vector<std::byte> bytes{std::byte{'s'}, std::byte{'p'}};
        EXPECT_TRUE(writer.add_memory("span.res", 0, 0, std::span<const std::byte>(bytes)).ok());
#endif
        const auto committed = writer.commit();
        ASSERT_TRUE(committed.ok()) << committed.text();
        EXPECT_FALSE(writer.is_open());
    }

    const fs::path expected = folder / "c.set";
    resource_set_writer* c_writer = nullptr;
    ASSERT_EQ(resource_set_writer_create(expected.string().c_str(), &c_writer), RESOURCE_SET_OK);
    ASSERT_EQ(resource_set_writer_add_memory(c_writer, "memory.res", 9, 10, payload.data(), payload.size()),
              RESOURCE_SET_OK);
    ASSERT_EQ(resource_set_writer_add_file(c_writer, "file.res", resource_file.string().c_str()), RESOURCE_SET_OK);
    ASSERT_EQ(resource_set_writer_discard(c_writer), RESOURCE_SET_OK);
    ASSERT_EQ(resource_set_writer_add_entry(c_writer, "copied.res", source.value().get(),
                                            resource_set_find(source.value().get(), "sub/b.res")),
              RESOURCE_SET_OK);
#if defined(__cpp_lib_span)
    ASSERT_EQ(resource_set_writer_add_memory(c_writer, "span.res", 0, 0, "sp", 2), RESOURCE_SET_OK);
#endif
    ASSERT_EQ(resource_set_writer_commit(c_writer), RESOURCE_SET_OK);
    EXPECT_EQ(file_bytes(written), file_bytes(expected));

    auto back = resource_sets::set::open(written.string());
    ASSERT_TRUE(back.ok()) << back.text();
    EXPECT_EQ(back.value().keep_count(), 2U);
    const auto copied = back.value().read_all(*back.value().find("copied.res"));
    ASSERT_TRUE(copied.ok()) << copied.text();
    EXPECT_EQ(text_of(copied.value()), SAMPLE[2].payload);
    const auto from_file = back.value().read_all(*back.value().find("file.res"));
    ASSERT_TRUE(from_file.ok()) << from_file.text();
    EXPECT_EQ(text_of(from_file.value()), "from a file");
}

TEST_F(Face, AWriterDroppedWithoutItsCommitWritesNothing)
{
    const std::string before = file_bytes(sample);
    const std::string payload = "new";
    {
        auto created = resource_sets::writer::create(sample.string());
        ASSERT_TRUE(created.ok()) << created.text();
        EXPECT_TRUE(created.value().add_memory("n.res", 0, 0, payload.data(), payload.size()).ok());
    }
    {
        auto created = resource_sets::writer::create((folder / "new.set").string());
        ASSERT_TRUE(created.ok()) << created.text();
        resource_sets::writer writer = std::move(created).value();
        EXPECT_TRUE(writer.add_memory("n.res", 0, 0, payload.data(), payload.size()).ok());
        // Moved onto, it is abandoned first; the empty writer refuses all.
        writer = resource_sets::writer();
        EXPECT_EQ(writer.add_memory("n.res", 0, 0, payload.data(), payload.size()).status(),
                  RESOURCE_SET_ERROR_ARGUMENT);
        EXPECT_EQ(writer.commit().status(), RESOURCE_SET_ERROR_ARGUMENT);
    }
    EXPECT_EQ(names_in_folder(), std::vector<std::string>{"sample.set"});
    EXPECT_EQ(file_bytes(sample), before);
}

TEST_F(Face, AMovedFromSetIsEmptyAndClosingItIsHarmless)
{
    auto opened = resource_sets::set::open(sample.string());
    ASSERT_TRUE(opened.ok()) << opened.text();
    resource_sets::set first = std::move(opened).value();
    const resource_sets::entry* entry = first.find("a.res");
    ASSERT_NE(entry, nullptr);

    // A moved-from set is empty, as the face promises: using it is the point.
    resource_sets::set second(std::move(first));
    EXPECT_FALSE(first.is_open()); // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(first.get(), nullptr);
    EXPECT_EQ(first.count(), 0U);
    EXPECT_TRUE(first.entries().empty());
    EXPECT_EQ(first.begin(), first.end());
    EXPECT_EQ(first.find("a.res"), nullptr);
    first.close();
    first.close();
    // The entries go with the set.
    EXPECT_EQ(second.find("a.res"), entry);
    const auto read = second.read_all(*entry);
    ASSERT_TRUE(read.ok()) << read.text();
    EXPECT_EQ(text_of(read.value()), "xyz");

    first = std::move(second);
    EXPECT_FALSE(second.is_open()); // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(first.find("a.res"), entry);
    first.close();
    EXPECT_FALSE(first.is_open());
    EXPECT_EQ(first.count(), 0U);
}

TEST_F(Face, TheCheckGivesEachFindingToTheCallable)
{
    const auto clean = resource_sets::check(sample.string());
    ASSERT_TRUE(clean.ok()) << clean.text();
    EXPECT_EQ(clean.value(), 0U);

    {
        std::ofstream out(sample, std::ios::binary | std::ios::app);
        out.write("abc", 3);
    }
    std::vector<resource_sets::finding> findings;
    const auto checked =
        resource_sets::check(sample.string(), [&findings](const resource_sets::finding& f) { findings.push_back(f); });
    ASSERT_TRUE(checked.ok()) << checked.text();
    EXPECT_EQ(checked.value(), 1U);
    ASSERT_EQ(findings.size(), 1U);
    EXPECT_EQ(findings[0].problem, RESOURCE_SET_PROBLEM_TRAILING);
    EXPECT_EQ(findings[0].entry, RESOURCE_SET_NO_ENTRY);
    EXPECT_EQ(findings[0].value, 3U);

    EXPECT_EQ(resource_sets::check((folder / "missing.set").string()).status(), RESOURCE_SET_ERROR_OPEN);
}

} // namespace
