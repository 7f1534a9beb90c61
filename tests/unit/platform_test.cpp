// SPDX-License-Identifier: MIT
// The platform layer: checked closes, the one live file, and what a look at
// a name tells.
#include "files.hpp"
#include "live_file.hpp"
#include "streams.hpp"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <span>
#include <string>

#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

TEST(CloseOutput, ReportsBytesThatReachNoFileEvenWhenOnlyTheCloseWouldSee)
{
    // A few buffered bytes go out only at the close; the device refuses them.
    std::FILE* full = std::fopen("/dev/full", "wb");
    if (full == nullptr) {
        GTEST_SKIP() << "no /dev/full here";
    }
    ASSERT_EQ(std::fwrite("0TSR", 1, 4, full), 4U);
    EXPECT_FALSE(close_output(full));

    std::FILE* scratch = std::tmpfile();
    ASSERT_NE(scratch, nullptr);
    ASSERT_EQ(std::fwrite("0TSR", 1, 4, scratch), 4U);
    EXPECT_TRUE(close_output(scratch));
}

// A stream that reads content from its start.
std::FILE* stream_of(const std::string& content)
{
    std::FILE* stream = std::tmpfile();
    if (stream != nullptr) {
        std::fwrite(content.data(), 1, content.size(), stream);
        std::rewind(stream);
    }
    return stream;
}

std::string rest_of(std::FILE* stream)
{
    std::string rest;
    for (int c = std::fgetc(stream); c != EOF; c = std::fgetc(stream)) {
        rest.push_back(static_cast<char>(c));
    }
    return rest;
}

// A run of bytes that differ from their neighbours, so that a piece copied
// twice or out of place shows.
std::string numbered(std::size_t length)
{
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<char>('a' + i % 23);
    }
    return bytes;
}

// What copy_stream wrote onto out, and where it left in, for one copy
// through a buffer of 16 bytes: several pieces for a few dozen bytes.
struct copied {
    copy_end end;
    std::string written;
    std::string left_in;
};

copied copy_through_small_buffer(const std::string& input, const stream_copy& copy, std::FILE* out = nullptr)
{
    std::array<unsigned char, 16> buffer{};
    std::FILE* in = stream_of(input);
    std::FILE* written = out != nullptr ? out : std::tmpfile();
    EXPECT_NE(in, nullptr);
    EXPECT_NE(written, nullptr);
    if (in == nullptr || written == nullptr) {
        return {copy_end::read_failed, "", ""};
    }
    copied result{copy_stream(in, written, buffer, copy), "", rest_of(in)};
    if (out == nullptr) {
        std::rewind(written);
        result.written = rest_of(written);
        std::fclose(written);
    }
    std::fclose(in);
    return result;
}

TEST(CopyStream, WritesTheHeadThenExactlyTheLengthAfterTheSkippedBytes)
{
    const std::string head = "HEAD";
    const std::string body = numbered(40);
    const stream_copy copy{.head = std::span(reinterpret_cast<const unsigned char*>(head.data()), head.size()),
                           .skip = 3,
                           .length = body.size()};
    const copied result = copy_through_small_buffer("xyz" + body + "next", copy);
    EXPECT_EQ(result.end, copy_end::done);
    EXPECT_EQ(result.written, head + body);
    EXPECT_EQ(result.left_in, "next");
}

TEST(CopyStream, AnExactCopyOfAStreamThatEndsTooSoonEnds)
{
    const copied result = copy_through_small_buffer(numbered(20), {.length = 21});
    EXPECT_EQ(result.end, copy_end::ended);
    // The piece that came short is not written.
    EXPECT_EQ(result.written, numbered(16));
}

TEST(CopyStream, ACopyToTheEndRefusesAStreamThatGoesOn)
{
    EXPECT_EQ(copy_through_small_buffer(numbered(32), {.length = 32, .extent = copy_extent::exact_to_end}).end,
              copy_end::done);
    EXPECT_EQ(copy_through_small_buffer(numbered(33), {.length = 32, .extent = copy_extent::exact_to_end}).end,
              copy_end::too_long);
}

TEST(CopyStream, TheRestIsCopiedUpToItsLimitAndNoBytePastIt)
{
    const copied whole = copy_through_small_buffer(numbered(40), {.length = 40, .extent = copy_extent::rest});
    EXPECT_EQ(whole.end, copy_end::done);
    EXPECT_EQ(whole.written, numbered(40));
    const copied over = copy_through_small_buffer(numbered(41), {.length = 40, .extent = copy_extent::rest});
    EXPECT_EQ(over.end, copy_end::too_long);
    EXPECT_EQ(over.written, numbered(32));
}

TEST(CopyStream, AfterAFailedWriteTheCopyReadsOnAndWritesNoMore)
{
    // A stream opened for reading refuses every write.
    const char* const name = "copy_stream_refuses_writes.tmp";
    std::FILE* created = std::fopen(name, "wb");
    ASSERT_NE(created, nullptr);
    std::fclose(created);
    std::FILE* refusing = std::fopen(name, "rb");
    ASSERT_NE(refusing, nullptr);
    const copied result = copy_through_small_buffer(numbered(40) + "next", {.length = 40}, refusing);
    EXPECT_EQ(result.end, copy_end::done);
    EXPECT_EQ(result.left_in, "next");
    EXPECT_NE(std::ferror(refusing), 0);
    std::fclose(refusing);
    std::remove(name);
}

TEST(SkipBytes, MovesOnInARegularFileButNeverPastItsEnd)
{
    std::FILE* in = stream_of(numbered(30) + "next");
    ASSERT_NE(in, nullptr);
    EXPECT_TRUE(skip_bytes(in, 30));
    EXPECT_EQ(rest_of(in), "next");
    std::rewind(in);
    EXPECT_FALSE(skip_bytes(in, 35));
    EXPECT_EQ(std::ftell(in), 34);
    std::fclose(in);
}

#if !defined(_WIN32)
TEST(SkipBytes, SeeksInARegularFileWithoutReadingIt)
{
    // Open for writing only: any read of it fails.
    const char* const name = "skip_bytes_write_only.tmp";
    std::FILE* made = std::fopen(name, "wb");
    ASSERT_NE(made, nullptr);
    ASSERT_EQ(std::fputs("0123456789", made), 1);
    std::fclose(made);
    const int descriptor = open(name, O_WRONLY);
    ASSERT_GE(descriptor, 0);
    std::FILE* write_only = fdopen(descriptor, "wb");
    ASSERT_NE(write_only, nullptr);
    EXPECT_TRUE(skip_bytes(write_only, 7));
    EXPECT_EQ(std::ftell(write_only), 7);
    std::fclose(write_only);
    std::remove(name);
}

TEST(SkipBytes, ReadsThroughAPipeAndFailsWhereItEnds)
{
    std::array<int, 2> ends{};
    ASSERT_EQ(pipe(ends.data()), 0);
    ASSERT_EQ(write(ends[1], "0123456789", 10), 10);
    close(ends[1]);
    std::FILE* in = fdopen(ends[0], "rb");
    ASSERT_NE(in, nullptr);
    EXPECT_TRUE(skip_bytes(in, 7));
    EXPECT_EQ(std::fgetc(in), '7');
    EXPECT_FALSE(skip_bytes(in, 3));
    std::fclose(in);
}
#endif

class LiveFile : public ::testing::Test {
protected:
    // A folder of each case's own: ctest runs cases side by side.
    const std::string name =
        std::string("live_file_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const fs::path folder = name;

    std::string in_folder(const char* file) const
    {
        return name + "/" + file;
    }

    void SetUp() override
    {
        fs::remove_all(folder);
        ASSERT_TRUE(fs::create_directory(folder));
    }

    void TearDown() override
    {
        abandon_live_file();
        fs::remove_all(folder);
    }

    std::ptrdiff_t files_in_folder() const
    {
        return std::distance(fs::directory_iterator(folder), fs::directory_iterator());
    }
};

// When the target is taken by a folder before the rename, the rename fails,
// the folder stays, and no temporary is left.
TEST_F(LiveFile, AFailedRenameLeavesTheTargetAloneAndNoTemporary)
{
    std::FILE* stream = create_live_temporary(in_folder(""), ".test-", true);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(std::string(live_file_path()).rfind(in_folder(".test-"), 0), 0U) << live_file_path();
    EXPECT_EQ(live_file_stream(), stream);
    EXPECT_GE(std::fputs("new contents", stream), 0);
    ASSERT_TRUE(fs::create_directory(folder / "x.res"));
    EXPECT_TRUE(close_live_file());
    EXPECT_FALSE(commit_live_file(in_folder("x.res")));
    EXPECT_TRUE(fs::is_directory(folder / "x.res"));
    EXPECT_EQ(files_in_folder(), 1);
    EXPECT_STREQ(live_file_path(), "");
}

// One file at a time: a second is refused while one is live, and the name
// itself is created only where nothing stands.
TEST_F(LiveFile, OneAtATimeAndOnlyWhereNothingStands)
{
    ASSERT_NE(create_live_file(in_folder("a"), true), nullptr);
    EXPECT_EQ(create_live_file(in_folder("b"), true), nullptr);
    EXPECT_EQ(create_live_temporary(in_folder(""), ".test-", true), nullptr);
    abandon_live_file();
    EXPECT_EQ(files_in_folder(), 0);

    std::FILE* taken = std::fopen(in_folder("a").c_str(), "wb");
    ASSERT_NE(taken, nullptr);
    std::fclose(taken);
    EXPECT_EQ(create_live_file(in_folder("a"), true), nullptr);
    EXPECT_EQ(files_in_folder(), 1);
}

#if !defined(_WIN32) && defined(PATH_MAX)
// A path as long as the system takes (PATH_MAX counts the ending zero) can
// be live, as a file of its own or as a temporary; one byte more is refused
// with nothing created.
TEST_F(LiveFile, TheLongestPathTheSystemTakesWorksAndOneByteMoreFailsCleanly)
{
    std::string deep = in_folder("");
    while (deep.size() + 221 < PATH_MAX) {
        deep += std::string(200, 'd') + "/";
    }
    ASSERT_TRUE(fs::create_directories(deep));
    const std::size_t longest = PATH_MAX - 1;

    const std::string file = deep + std::string(longest - deep.size(), 'f');
    EXPECT_EQ(create_live_file(file + "f", true), nullptr);
    EXPECT_STREQ(live_file_path(), "");
    ASSERT_NE(create_live_file(file, true), nullptr);
    EXPECT_EQ(live_file_path(), file);
    EXPECT_TRUE(close_live_file());
    EXPECT_TRUE(commit_live_file(file));
    EXPECT_TRUE(fs::is_regular_file(file));

    // The temporary's name adds the prefix and eight digits to its folder.
    const std::string prefix = ".test-";
    const std::string folder = deep + std::string(longest - deep.size() - prefix.size() - 9, 't') + "/";
    ASSERT_TRUE(fs::create_directory(folder));
    ASSERT_NE(create_live_temporary(folder, prefix.c_str(), true), nullptr);
    EXPECT_EQ(std::string(live_file_path()).size(), longest);
    abandon_live_file();
    EXPECT_EQ(create_live_temporary(folder, (prefix + "x").c_str(), true), nullptr);
    EXPECT_STREQ(live_file_path(), "");
    EXPECT_TRUE(fs::is_empty(folder));
}
#endif

#if !defined(_WIN32)
// A link planted at the name after it was looked at is never opened through:
// the open fails, the link stays, and the file it leads to keeps its bytes.
// A regular file at the name is opened and emptied.
TEST_F(LiveFile, TheOutputOpenNeverFollowsALinkAtTheName)
{
    const std::string target = in_folder("target");
    const std::string name = in_folder("reslist.txt");
    std::FILE* made = std::fopen(target.c_str(), "wb");
    ASSERT_NE(made, nullptr);
    ASSERT_GE(std::fputs("precious", made), 0);
    ASSERT_TRUE(close_output(made));
    std::error_code error;
    fs::create_symlink("target", folder / "reslist.txt", error);
    ASSERT_FALSE(error);

    std::FILE* through_link = open_regular_output(name.c_str());
    EXPECT_EQ(through_link, nullptr);
    if (through_link != nullptr) {
        std::fclose(through_link);
    }
    EXPECT_EQ(look_at(name.c_str()).kind, file_kind::link);
    EXPECT_EQ(fs::file_size(target), 8U);

    std::FILE* regular = open_regular_output(target.c_str());
    ASSERT_NE(regular, nullptr);
    EXPECT_TRUE(close_output(regular));
    EXPECT_EQ(fs::file_size(target), 0U);
}
#endif

#if defined(_WIN32)
// Outside a utf8_paths a path is in the ANSI code page, as the C library's
// fopen takes it, and inside it is UTF-8 (nested scopes included), in which
// ansi_to_utf8 gives the name of an ANSI one.
TEST_F(LiveFile, PathsAreAnsiUnlessAUtf8ScopeLives)
{
    // Not UTF-8, as few ANSI names beyond ASCII are.
    const std::string ansi = in_folder("\xe9t\xe9");
    const std::string utf8 = ansi_to_utf8(ansi.c_str());
    ASSERT_NE(utf8, ansi);
    ASSERT_NE(create_live_file(ansi, true), nullptr);
    EXPECT_TRUE(close_live_file());
    EXPECT_TRUE(commit_live_file(ansi));
    std::FILE* const opened = std::fopen(ansi.c_str(), "rb");
    EXPECT_NE(opened, nullptr);
    if (opened != nullptr) {
        std::fclose(opened);
    }
    EXPECT_EQ(look_at(ansi.c_str()).kind, file_kind::regular);
    EXPECT_EQ(look_at(utf8.c_str()).kind, file_kind::none);
    {
        const utf8_paths in_utf8;
        EXPECT_EQ(look_at(utf8.c_str()).kind, file_kind::regular);
        EXPECT_EQ(look_at(ansi.c_str()).kind, file_kind::none);
        {
            const utf8_paths nested;
        }
        EXPECT_EQ(look_at(utf8.c_str()).kind, file_kind::regular);
    }
    EXPECT_EQ(look_at(ansi.c_str()).kind, file_kind::regular);
    EXPECT_EQ(files_in_folder(), 1);
}
#endif

TEST_F(LiveFile, ALookTellsTheKindAndTheIdentityWithoutFollowingALink)
{
    const std::string file = (folder / "f").string();
    std::FILE* made = std::fopen(file.c_str(), "wb");
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(look_at(file.c_str()).kind, file_kind::regular);
    EXPECT_TRUE(same_file(identity_of(made), identity_of(file.c_str())));
    std::fclose(made);
    EXPECT_EQ(look_at(folder.string().c_str()).kind, file_kind::folder);
    EXPECT_EQ(look_at((folder / "none").string().c_str()).kind, file_kind::none);
    EXPECT_FALSE(identity_of((folder / "none").string().c_str()).known);
    if (LINKS_ARE_SEEN) {
        std::error_code error;
        fs::create_symlink("f", folder / "link", error);
        ASSERT_FALSE(error);
        const file_status link = look_at((folder / "link").string().c_str());
        EXPECT_EQ(link.kind, file_kind::link);
        EXPECT_FALSE(same_file(link.identity, identity_of(file.c_str())));
        EXPECT_TRUE(same_file(identity_of((folder / "link").string().c_str()), identity_of(file.c_str())));
    }
}

} // namespace
