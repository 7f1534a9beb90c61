// SPDX-License-Identifier: MIT
// The extractor's name check, payload copy, patterns and re-extraction over
// files in place.
#include "folders.hpp"
#include "in_place.hpp"
#include "json.hpp"
#include "names.hpp"
#include "patterns.hpp"
#include "payload.hpp"
#include "streams.hpp"

#include <gtest/gtest.h>

#include <array>
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
         {"CON", "con", "nul.txt", "Aux.res.gz", "NUL ", "prn:x", "COM1", "lpt9.res", "conin$", "CONOUT$.x",
          // Superscript 1, 2 and 3 in the Windows code page and in UTF-8.
          "COM\xB9", "lpt\xB2.txt", "Com\xB3", "COM\xC2\xB9", "LPT\xC2\xB3.res", "com\xC2\xB2 "}) {
        EXPECT_TRUE(names_windows_device(part)) << part;
    }
    for (const std::string_view part : {"CONS", "xnul", "COM0", "COM10", "LPT", "con_1", ".nul", "", "a.con", "COM\xB4",
                                        "COM\xC2", "COM\xC2\xB4", "LPT\xB9\xB9", "COM\xC3\xB9"}) {
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
    EXPECT_TRUE(copy_payload(set, out, {}, static_cast<std::uint32_t>(payload.size())));
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
        EXPECT_TRUE(copy_payload(set, out, head_bytes, static_cast<std::uint32_t>(length))) << length;
        EXPECT_EQ(rest_of(set), "next") << length;
        std::rewind(out);
        EXPECT_EQ(rest_of(out), head + payload) << length;
        std::fclose(set);
        std::fclose(out);
    }
}

TEST(CopyPayload, SkipReadsPast)
{
    std::FILE* set = stream_of(pattern(PAYLOAD_BUFFER_SIZE + 10) + "next");
    ASSERT_NE(set, nullptr);
    EXPECT_TRUE(skip_bytes(set, PAYLOAD_BUFFER_SIZE + 10));
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
        EXPECT_FALSE(copy_payload(set, out, {}, static_cast<std::uint32_t>(length + 1))) << length;
        std::fclose(set);
        std::fclose(out);
    }
    // A size near the top of the range: nothing is reserved for it up front.
    std::FILE* set = stream_of("abc");
    ASSERT_NE(set, nullptr);
    EXPECT_FALSE(skip_bytes(set, 0xFFFFFFF0u));
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
    EXPECT_TRUE(copy_payload(set, out, {}, static_cast<std::uint32_t>(payload.size())));
    EXPECT_NE(std::ferror(out), 0);
    EXPECT_EQ(rest_of(set), "next");
    std::fclose(set);
    std::fclose(out);
    std::remove(readonly_name);
}

} // namespace

namespace {

TEST(PatternMatches, GlobsMatchWholeNamesWithSlashesToo)
{
    struct trial {
        const char* pattern;
        const char* name;
        bool matches;
    };
    for (const trial t : {trial{"a.res", "a.res", true},
                          trial{"a.res", "a.resx", false},
                          trial{"*", "", true},
                          trial{"*", "gfx/deep/a.res", true},
                          trial{"gfx/*", "gfx/x/y.res", true},
                          trial{"*.res", "a.re", false},
                          trial{"?.res", "a.res", true},
                          trial{"?.res", "/.res", true},
                          trial{"?.res", ".res", false},
                          trial{"[ab].res", "b.res", true},
                          trial{"[a-c]x", "cx", true},
                          trial{"[!a-c]x", "cx", false},
                          trial{"[^a]x", "bx", true},
                          trial{"[]]", "]", true},
                          trial{"[a", "[a", true},
                          trial{"\\*", "*", true},
                          trial{"\\*", "a", false},
                          trial{"d\\[1\\].res", "d[1].res", true},
                          trial{"*a*b", "xaxxb", true},
                          trial{"*a*b", "xaxxbc", false},
                          trial{"a**", "a", true},
                          trial{"", "", true},
                          trial{"", "a", false}}) {
        EXPECT_EQ(pattern_matches(t.pattern, t.name), t.matches) << t.pattern << " ~ " << t.name;
    }
}

} // namespace

namespace {

// A folder of the case's own, made empty and removed with what it holds
// when the case ends; path ends in a separator.
struct case_folder {
    explicit case_folder(const char* name) : made(name), path(made + "/")
    {
        std::error_code error;
        std::filesystem::remove_all(made, error);
        std::filesystem::create_directory(made, error);
    }
    case_folder(const case_folder&) = delete;
    case_folder& operator=(const case_folder&) = delete;
    ~case_folder()
    {
        std::error_code error;
        std::filesystem::remove_all(made, error);
    }
    std::string made;
    std::string path;
};

void write_file(const std::string& path, const std::string& bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

std::string file_bytes(const std::string& path)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return "(none)";
    }
    std::string bytes = rest_of(f);
    std::fclose(f);
    return bytes;
}

std::size_t files_in(const std::string& folder)
{
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

const std::string HEAD("0SER\x01\x00\x00\x00\x02\x00\x00\x00\x00\x00\x00\x00!IGM", 20);

std::span<const unsigned char> head_bytes()
{
    return {reinterpret_cast<const unsigned char*>(HEAD.data()), HEAD.size()};
}

TEST(ReplaceIfChanged, AFileOfAnotherLengthIsReplacedWhole)
{
    const case_folder made("in_place_length");
    const std::string& folder = made.path;
    const std::string name = folder + "a.res";
    write_file(name, HEAD + pattern(40) + "longer");
    const std::string payload = pattern(40);
    std::FILE* set = stream_of(payload + "next");
    ASSERT_NE(set, nullptr);
    std::uint64_t unread = 0;
    EXPECT_EQ(replace_if_changed(name, look_at(name.c_str()), set, head_bytes(), 40, unread), in_place_end::replaced);
    EXPECT_EQ(rest_of(set), "next");
    std::fclose(set);
    EXPECT_EQ(file_bytes(name), HEAD + payload);
    EXPECT_EQ(files_in(folder), 1U);
}

// A file of the payload's length is compared a buffer at a time, each with
// the same bytes of the payload: equal over several buffers, it is left as
// it stands; one byte off in its last buffer, it is replaced.
TEST(ReplaceIfChanged, EachPieceIsComparedWithTheSameBytesOfTheFile)
{
    const case_folder made("in_place_pieces");
    const std::string name = made.path + "a.res";
    const std::size_t length = 2 * PAYLOAD_BUFFER_SIZE + 10;
    const std::string payload = pattern(length);
    write_file(name, HEAD + payload);
    std::FILE* set = stream_of(payload + payload);
    ASSERT_NE(set, nullptr);
    std::uint64_t unread = 0;
    EXPECT_EQ(
        replace_if_changed(name, look_at(name.c_str()), set, head_bytes(), static_cast<std::uint32_t>(length), unread),
        in_place_end::unchanged);
    std::string changed = HEAD + payload;
    changed[changed.size() - 5] = static_cast<char>(changed[changed.size() - 5] ^ 1);
    write_file(name, changed);
    EXPECT_EQ(
        replace_if_changed(name, look_at(name.c_str()), set, head_bytes(), static_cast<std::uint32_t>(length), unread),
        in_place_end::replaced);
    std::fclose(set);
    EXPECT_EQ(file_bytes(name), HEAD + payload);
    EXPECT_EQ(files_in(made.path), 1U);
}

TEST(ReplaceIfChanged, ASetCutShortLeavesTheFileAsItWas)
{
    const case_folder made("in_place_short");
    const std::string& folder = made.path;
    const std::string name = folder + "a.res";
    // As long as the payload would make it, and different from its first
    // byte on, so that a replacement is under way when the set ends.
    const std::string old = HEAD + std::string(PAYLOAD_BUFFER_SIZE + 10, 'x');
    write_file(name, old);
    std::FILE* set = stream_of(pattern(PAYLOAD_BUFFER_SIZE));
    ASSERT_NE(set, nullptr);
    std::uint64_t unread = 0;
    EXPECT_EQ(replace_if_changed(name, look_at(name.c_str()), set, head_bytes(),
                                 static_cast<std::uint32_t>(PAYLOAD_BUFFER_SIZE + 10), unread),
              in_place_end::set_short);
    std::fclose(set);
    EXPECT_EQ(file_bytes(name), old);
    EXPECT_EQ(files_in(folder), 1U);
}

#if !defined(_WIN32)
TEST(OpenFileInPlace, OpensARegularFileButNoLinkToOne)
{
    const case_folder made("in_place_link");
    const std::string& folder = made.path;
    write_file(folder + "a.res", "abc");
    std::error_code error;
    std::filesystem::create_symlink("a.res", folder + "link.res", error);
    ASSERT_FALSE(error);
    std::uint64_t length = 0;
    positioned_file regular;
    ASSERT_TRUE(open_file_in_place((folder + "a.res").c_str(), regular, length));
    EXPECT_EQ(length, 3U);
    std::array<char, 4> read{};
    std::size_t got = 0;
    EXPECT_TRUE(read_at(regular, 0, read.data(), read.size(), got));
    EXPECT_EQ(std::string(read.data(), got), "abc");
    close_positioned(regular);
    positioned_file other;
    EXPECT_FALSE(open_file_in_place((folder + "link.res").c_str(), other, length));
    EXPECT_FALSE(open_file_in_place(folder.c_str(), other, length));
    EXPECT_EQ(other.handle, -1);
}
#endif

} // namespace

// Names as JSON strings: well-formed UTF-8 is kept, each byte of anything
// else becomes U+FFFD.
namespace {

std::string json_of(std::string_view text)
{
    std::string out;
    append_json_string(out, text);
    return out;
}

} // namespace

TEST(ExtractorJson, EscapesQuotesBackslashesAndControls)
{
    EXPECT_EQ(json_of("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(json_of("\b\f\n\r\t"), "\"\\b\\f\\n\\r\\t\"");
    EXPECT_EQ(json_of("\x01\x1f\x7f "), "\"\\u0001\\u001f\\u007f \"");
    EXPECT_EQ(json_of(""), "\"\"");
}

TEST(ExtractorJson, KeepsWellFormedUtf8)
{
    // Two, three and four bytes, the largest code point and the last
    // before the surrogates.
    const std::string_view text = "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF\xED\x9F\xBF";
    EXPECT_TRUE(is_utf8(text));
    EXPECT_EQ(json_of(text), "\"" + std::string(text) + "\"");
}

TEST(ExtractorJson, ReplacesEachByteOfMalformedUtf8)
{
    const std::string fffd = "\xEF\xBF\xBD";
    // Overlong forms, a surrogate, past U+10FFFF, a stray continuation, a
    // sequence cut short at the end and in the middle.
    for (const std::string_view bad : {"\xC0\xAF", "\xE0\x80\xAF", "\xF0\x80\x80\xAF", "\xED\xA0\x80",
                                       "\xF4\x90\x80\x80", "\x80", "\xE2\x82", "\xFF"}) {
        EXPECT_FALSE(is_utf8(bad));
        std::string expected = "\"";
        for (std::size_t i = 0; i < bad.size(); ++i) {
            expected += fffd;
        }
        EXPECT_EQ(json_of(bad), expected + "\"") << bad.size();
    }
    EXPECT_EQ(json_of("a\xE2\x82"
                      "b"),
              "\"a" + fffd + fffd + "b\"");
}

TEST(ExtractorJson, HexOfEveryByte)
{
    std::string out;
    append_hex(out, std::string_view("\x00\x0f\xab\xff", 4));
    EXPECT_EQ(out, "000fabff");
}
