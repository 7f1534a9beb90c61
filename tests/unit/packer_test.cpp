// SPDX-License-Identifier: MIT
// The packer's writer against files that change between their check and
// their copy, which the black-box tests cannot arrange deterministically.
#include "resource_table.hpp"
#include "set_writer.hpp"
#include "wrap.hpp"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string file_bytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const fs::path& path, const std::string& content, bool append = false)
{
    std::ofstream out(path, std::ios::binary | (append ? std::ios::app : std::ios::trunc));
    out << content;
}

// A resource file: "0SER", words 1 and 2, the usual body_header, payload.
std::string resource(const std::string& payload)
{
    return std::string("0SER\1\0\0\0\2\0\0\0\0\0\0\0!IGM", 20) + payload;
}

class PackerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        table = resource_table{};
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ =
            fs::temp_directory_path() / (std::string("vashpak_unit_") + info->test_suite_name() + "_" + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        old_cwd_ = fs::current_path();
        fs::current_path(dir_);
    }

    void TearDown() override
    {
        fs::current_path(old_cwd_);
        fs::remove_all(dir_);
    }

    // Runs gen_output into out.set and returns its result; the lines it
    // logged land in err.
    bool write_set(std::string& err)
    {
        std::FILE* out = std::fopen("out.set", "wb");
        EXPECT_NE(out, nullptr);
        ::testing::internal::CaptureStderr();
        const bool ok = gen_output(out, "out.set");
        err = ::testing::internal::GetCapturedStderr();
        std::fclose(out);
        return ok;
    }

    // Runs copy_file from the start of in_name onto a new out_name.
    static bool copy(const char* in_name, const char* out_name, std::size_t skip, std::uint64_t length,
                     std::string& err)
    {
        std::FILE* in = std::fopen(in_name, "rb");
        std::FILE* out = std::fopen(out_name, "wb");
        EXPECT_NE(in, nullptr);
        EXPECT_NE(out, nullptr);
        bool ok = false;
        if (in != nullptr && out != nullptr) {
            ::testing::internal::CaptureStderr();
            ok = copy_file(out, in, skip, length);
            err = ::testing::internal::GetCapturedStderr();
        }
        if (in != nullptr) {
            std::fclose(in);
        }
        if (out != nullptr) {
            std::fclose(out);
        }
        return ok;
    }

    fs::path dir_;
    fs::path old_cwd_;
};

TEST_F(PackerTest, FileGrownSinceItsCheckIsNotCopied)
{
    write_file("a.res", resource("abc"));
    ASSERT_TRUE(add_to_toc("a.res"));
    write_file("a.res", "more", true);

    std::string err;
    EXPECT_FALSE(write_set(err));
    EXPECT_EQ(err, "size changed!\nError copying \"a.res\"\n");
}

TEST_F(PackerTest, FileShrunkSinceItsCheckIsNotCopied)
{
    write_file("a.res", resource(std::string(5000, 'p')));
    write_file("b.res", resource("b"));
    ASSERT_TRUE(add_to_toc("b.res"));
    ASSERT_TRUE(add_to_toc("a.res"));
    write_file("a.res", resource("short"));

    std::string err;
    EXPECT_FALSE(write_set(err));
    EXPECT_EQ(err, "size changed!\nError copying \"a.res\"\n");
    // Header, table and the first body went out before the failure.
    EXPECT_GE(file_bytes("out.set").size(), 20u + 2 * 56u + 9u);
}

TEST_F(PackerTest, FileCutBelowItsHeaderIsASizeChange)
{
    write_file("a.res", resource("abc"));
    ASSERT_TRUE(add_to_toc("a.res"));
    write_file("a.res", "0SE");

    std::string err;
    EXPECT_FALSE(write_set(err));
    EXPECT_EQ(err, "size changed!\nError copying \"a.res\"\n");
}

TEST_F(PackerTest, FileRemovedSinceItsCheckCannotBeOpened)
{
    write_file("a.res", resource("abc"));
    ASSERT_TRUE(add_to_toc("a.res"));
    fs::remove("a.res");

    std::string err;
    EXPECT_FALSE(write_set(err));
    EXPECT_EQ(err, "Can't open \"a.res\", aborting.\n");
    EXPECT_EQ(file_bytes("out.set").size(), 20u + 56u);
}

#if !defined(_WIN32)
// A FIFO put at an accepted name is never opened: nobody writes to it, and
// an open that waited would hang the run.
TEST_F(PackerTest, FileReplacedByAFifoIsNotWaitedOn)
{
    write_file("a.res", resource("abc"));
    ASSERT_TRUE(add_to_toc("a.res"));
    fs::remove("a.res");
    ASSERT_EQ(mkfifo("a.res", 0600), 0);

    std::string err;
    EXPECT_FALSE(write_set(err));
    EXPECT_EQ(err, "Can't open \"a.res\", aborting.\n");
}
#endif

// Bodies around multiples of the copy buffer come out whole, and the copy
// stops exactly at the recorded length, with or without bytes skipped first.
TEST_F(PackerTest, CopyFileCopiesExactLengthsAroundBufferMultiples)
{
    const std::vector<std::size_t> lengths{0,
                                           1,
                                           4095,
                                           4096,
                                           4097,
                                           COPY_BUFFER_SIZE - 12,
                                           COPY_BUFFER_SIZE - 1,
                                           COPY_BUFFER_SIZE,
                                           COPY_BUFFER_SIZE + 1,
                                           2 * COPY_BUFFER_SIZE};
    for (const std::size_t skip : {std::size_t{0}, std::size_t{12}}) {
        for (const std::size_t length : lengths) {
            std::string content(skip + length, '\0');
            for (std::size_t i = 0; i < content.size(); ++i) {
                content[i] = static_cast<char>((i * 131 + length) & 0xFF);
            }
            write_file("in.bin", content);
            std::string err;
            EXPECT_TRUE(copy("in.bin", "copy.bin", skip, length, err)) << "skip " << skip << " length " << length;
            EXPECT_EQ(err, "") << "skip " << skip << " length " << length;
            EXPECT_EQ(file_bytes("copy.bin"), content.substr(skip)) << "skip " << skip << " length " << length;
        }
    }
}

TEST_F(PackerTest, CopyFileRefusesALengthThatDisagreesWithTheFile)
{
    write_file("in.bin", std::string(COPY_BUFFER_SIZE + 10, 'x'));
    for (const std::uint64_t length : {std::uint64_t{COPY_BUFFER_SIZE + 9}, std::uint64_t{COPY_BUFFER_SIZE + 11},
                                       std::uint64_t{0}, std::uint64_t{1} << 32}) {
        std::string err;
        EXPECT_FALSE(copy("in.bin", "copy.bin", 0, length, err)) << "length " << length;
        EXPECT_EQ(err, "size changed!\n") << "length " << length;
        if (length >= 12) {
            EXPECT_FALSE(copy("in.bin", "copy.bin", 12, length - 12, err)) << "length " << length;
            EXPECT_EQ(err, "size changed!\n") << "length " << length;
        }
    }
}

TEST(ParseWord, DecimalAndHexadecimalFromZeroTo4294967295)
{
    EXPECT_EQ(parse_word("0"), 0U);
    EXPECT_EQ(parse_word("007"), 7U);
    EXPECT_EQ(parse_word("4294967295"), 4294967295U);
    EXPECT_EQ(parse_word("0xFFFFFFFF"), 4294967295U);
    EXPECT_EQ(parse_word("0XaB"), 0xABU);
    EXPECT_EQ(parse_word("0xabcdef"), 0xABCDEFU);
    for (const char* bad : {"", "-1", "+1", "4294967296", "0x100000000", "0x", "12x", "0x1g", " 1", "1 ", "1e3"}) {
        EXPECT_FALSE(parse_word(bad).has_value()) << bad;
    }
}

} // namespace
