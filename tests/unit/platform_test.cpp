// SPDX-License-Identifier: MIT
// The platform layer: checked closes, the one live file, and what a look at
// a name tells.
#include "files.hpp"
#include "live_file.hpp"
#include "streams.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <iterator>
#include <string>

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
