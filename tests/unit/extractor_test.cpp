// SPDX-License-Identifier: MIT
// The extractor's name check and payload copy.
#include "extract.hpp"
#include "replace.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <iterator>
#include <span>
#include <string>
#include <string_view>

namespace {

TEST(NameIsSafe, RefusesNamesThatLeaveTheCurrentFolder)
{
    for (const std::string_view name :
         {"/etc/passwd", "\\server\\share", "/", "\\", "C:x", "z:", "c:\\x", "Z:/x", "..", "../x", "..\\x", "a/..",
          "a\\..", "a/../b", "a\\..\\b", "a/b/../../..", "a/..\\b", "x//../y", "a:b"}) {
        EXPECT_FALSE(name_is_safe(name)) << name;
    }
}

TEST(NameIsSafe, AcceptsRelativeNamesWithoutParentSteps)
{
    for (const std::string_view name : {"a.res", "sub/a.res", "sub\\a.res", "...", "..a", "a..", "a/.../b", "./a",
                                        "1:x", "::", ".hidden", "a/./b", "@:x", "", "sub/"}) {
        EXPECT_TRUE(name_is_safe(name)) << name;
    }
}

TEST(NameIsSafe, WindowsDeviceNamesAreRecognisedWithAnyExtensionOrCase)
{
    for (const std::string_view part :
         {"CON", "con", "nul.txt", "Aux.res.gz", "NUL ", "prn:x", "COM1", "lpt9.res", "conin$", "CONOUT$.x"}) {
        EXPECT_TRUE(names_windows_device(part)) << part;
    }
    for (const std::string_view part : {"CONS", "xnul", "COM0", "COM10", "LPT", "con_1", ".nul", "", "a.con"}) {
        EXPECT_FALSE(names_windows_device(part)) << part;
    }
}

TEST(NameIsSafe, DeviceNamesAreRefusedOnlyWhereTheyAreDevices)
{
#if defined(_WIN32)
    const bool refused = true;
#else
    const bool refused = false;
#endif
    for (const std::string_view name : {"nul.txt", "sub/CON", "sub\\com1.res", "aux"}) {
        EXPECT_EQ(name_is_safe(name), !refused) << name;
    }
}

// A temporary stream holding the given bytes, positioned at its start.
std::FILE* stream_of(const std::string& bytes)
{
    std::FILE* f = std::tmpfile();
    if (f != nullptr) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::rewind(f);
    }
    return f;
}

std::string rest_of(std::FILE* f)
{
    std::string bytes;
    for (int c = std::fgetc(f); c != EOF; c = std::fgetc(f)) {
        bytes.push_back(static_cast<char>(c));
    }
    return bytes;
}

std::string pattern(std::size_t length)
{
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
    }
    return bytes;
}

TEST(CopyPayload, CopiesExactlyTheLengthAcrossSeveralBuffers)
{
    const std::string payload = pattern(2 * PAYLOAD_BUFFER_SIZE + 3);
    std::FILE* set = stream_of(payload + "next");
    std::FILE* out = std::tmpfile();
    ASSERT_NE(set, nullptr);
    ASSERT_NE(out, nullptr);
    bool write_ok = true;
    EXPECT_TRUE(copy_payload(set, out, {}, static_cast<std::uint32_t>(payload.size()), write_ok));
    EXPECT_TRUE(write_ok);
    EXPECT_EQ(rest_of(set), "next");
    std::rewind(out);
    EXPECT_EQ(rest_of(out), payload);
    std::fclose(set);
    std::fclose(out);
}

TEST(CopyPayload, TheHeadComesFirstWhateverThePayloadLength)
{
    const std::string head("0SER\x01\x00\x00\x00\x02\x00\x00\x00\x00\x00\x00\x00!IGM", 20);
    const std::span<const unsigned char> head_bytes(reinterpret_cast<const unsigned char*>(head.data()), 20);
    for (const std::size_t length : {std::size_t{0}, std::size_t{1}, PAYLOAD_BUFFER_SIZE - 21, PAYLOAD_BUFFER_SIZE - 20,
                                     PAYLOAD_BUFFER_SIZE - 19, 2 * PAYLOAD_BUFFER_SIZE}) {
        const std::string payload = pattern(length);
        std::FILE* set = stream_of(payload + "next");
        std::FILE* out = std::tmpfile();
        ASSERT_NE(set, nullptr);
        ASSERT_NE(out, nullptr);
        bool write_ok = true;
        EXPECT_TRUE(copy_payload(set, out, head_bytes, static_cast<std::uint32_t>(length), write_ok)) << length;
        EXPECT_TRUE(write_ok) << length;
        EXPECT_EQ(rest_of(set), "next") << length;
        std::rewind(out);
        EXPECT_EQ(rest_of(out), head + payload) << length;
        std::fclose(set);
        std::fclose(out);
    }
}

TEST(CopyPayload, ReadsPastWithoutAnOutput)
{
    std::FILE* set = stream_of(pattern(PAYLOAD_BUFFER_SIZE + 10) + "next");
    ASSERT_NE(set, nullptr);
    bool write_ok = true;
    EXPECT_TRUE(copy_payload(set, nullptr, {}, PAYLOAD_BUFFER_SIZE + 10, write_ok));
    EXPECT_EQ(rest_of(set), "next");
    std::fclose(set);
}

TEST(CopyPayload, ASetThatEndsTooSoonIsAShortRead)
{
    for (const std::size_t length : {std::size_t{0}, std::size_t{1}, PAYLOAD_BUFFER_SIZE}) {
        std::FILE* set = stream_of(pattern(length));
        std::FILE* out = std::tmpfile();
        ASSERT_NE(set, nullptr);
        ASSERT_NE(out, nullptr);
        bool write_ok = true;
        EXPECT_FALSE(copy_payload(set, out, {}, static_cast<std::uint32_t>(length + 1), write_ok)) << length;
        std::fclose(set);
        std::fclose(out);
    }
    // A size near the top of the range: nothing is reserved for it up front.
    std::FILE* set = stream_of("abc");
    ASSERT_NE(set, nullptr);
    bool write_ok = true;
    EXPECT_FALSE(copy_payload(set, nullptr, {}, 0xFFFFFFF0u, write_ok));
    std::fclose(set);
}

TEST(CopyPayload, AFailedWriteStillReadsTheWholePayload)
{
    const std::string payload = pattern(PAYLOAD_BUFFER_SIZE + 5);
    std::FILE* set = stream_of(payload + "next");
    ASSERT_NE(set, nullptr);
    // A stream opened for reading only refuses every write.
    const char* const readonly_name = "copy_payload_readonly.tmp";
    std::FILE* created = std::fopen(readonly_name, "wb");
    ASSERT_NE(created, nullptr);
    std::fclose(created);
    std::FILE* out = std::fopen(readonly_name, "rb");
    ASSERT_NE(out, nullptr);
    bool write_ok = true;
    EXPECT_TRUE(copy_payload(set, out, {}, static_cast<std::uint32_t>(payload.size()), write_ok));
    EXPECT_FALSE(write_ok);
    EXPECT_EQ(rest_of(set), "next");
    std::fclose(set);
    std::fclose(out);
    std::remove(readonly_name);
}

// A file that stands at the name is replaced through a temporary beside it.
// When the name is taken by a folder before the rename, the rename fails, the
// folder stays, and no temporary is left.
TEST(Replacement, AFailedRenameLeavesTheNameAloneAndNoTemporary)
{
    namespace fs = std::filesystem;
    const fs::path folder = "replacement_scratch";
    fs::remove_all(folder);
    ASSERT_TRUE(fs::create_directory(folder));
    std::FILE* old = std::fopen("replacement_scratch/x.res", "wb");
    ASSERT_NE(old, nullptr);
    std::fclose(old);
    replacement file;
    ASSERT_TRUE(begin_replacement(file, "replacement_scratch/x.res"));
    EXPECT_EQ(file.written.rfind(std::string("replacement_scratch/") + TEMPORARY_PREFIX, 0), 0U) << file.written;
    EXPECT_GE(std::fputs("new contents", file.stream), 0);
    ASSERT_TRUE(fs::remove(folder / "x.res"));
    ASSERT_TRUE(fs::create_directory(folder / "x.res"));
    EXPECT_TRUE(close_replacement(file));
    EXPECT_FALSE(commit_replacement(file));
    EXPECT_TRUE(fs::is_directory(folder / "x.res"));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
    fs::remove_all(folder);
}

} // namespace
