// SPDX-License-Identifier: MIT
// The PhysicsFS archiver, through the real PhysicsFS: sets mounted from
// files and from memory, their tree, their files' streams, and refusals.
#include "resource_set_physfs.h"
#include "set_maker.hpp"

#include <physfs.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

class PhysfsArchiver : public testing::Test {
protected:
    fs::path folder;

    void SetUp() override
    {
        folder = test_folder();
        ASSERT_NE(PHYSFS_init(nullptr), 0) << PHYSFS_getErrorByCode(PHYSFS_getLastErrorCode());
        ASSERT_NE(resource_set_physfs_register(), 0);
    }
    void TearDown() override
    {
        PHYSFS_deinit();
        fs::remove_all(folder);
    }
    std::string path(const char* name) const
    {
        return (folder / name).string();
    }
};

std::vector<std::string> listing(const char* dir)
{
    std::vector<std::string> names;
    char** list = PHYSFS_enumerateFiles(dir);
    if (list == nullptr) {
        return names;
    }
    for (char** name = list; *name != nullptr; ++name) {
        names.emplace_back(*name);
    }
    PHYSFS_freeList(list);
    return names;
}

std::string read_whole(const char* name)
{
    PHYSFS_File* file = PHYSFS_openRead(name);
    if (file == nullptr) {
        return "<not opened>";
    }
    std::string bytes(static_cast<std::size_t>(PHYSFS_fileLength(file)), '\0');
    const PHYSFS_sint64 got = PHYSFS_readBytes(file, bytes.data(), bytes.size());
    PHYSFS_close(file);
    return got == static_cast<PHYSFS_sint64>(bytes.size()) ? bytes : "<short read>";
}

std::string file_bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST_F(PhysfsArchiver, MountsASetByItsExtensionAndAnyFileByItsMagic)
{
    make_set(path("game.set"), {{"hello.txt", "hello"}});
    fs::copy_file(path("game.set"), path("game.dat"));
    ASSERT_NE(PHYSFS_mount(path("game.set").c_str(), "/a", 1), 0);
    ASSERT_NE(PHYSFS_mount(path("game.dat").c_str(), "/b", 1), 0);
    EXPECT_EQ(read_whole("a/hello.txt"), "hello");
    EXPECT_EQ(read_whole("b/hello.txt"), "hello");
}

TEST_F(PhysfsArchiver, RefusesAFileThatIsNoSet)
{
    std::ofstream(path("other.set"), std::ios::binary) << "PK\x03\x04 not a set at all";
    EXPECT_EQ(PHYSFS_mount(path("other.set").c_str(), "/", 1), 0);
    EXPECT_EQ(PHYSFS_getLastErrorCode(), PHYSFS_ERR_UNSUPPORTED);
}

TEST_F(PhysfsArchiver, NamesWithSlashesAreFolders)
{
    make_set(path("tree.set"), {{"readme", "r"}, {"maps/one.map", "11"}, {"maps/deep/two.map", "222"}});
    ASSERT_NE(PHYSFS_mount(path("tree.set").c_str(), "/", 1), 0);
    EXPECT_EQ(listing("/"), (std::vector<std::string>{"maps", "readme"}));
    EXPECT_EQ(listing("maps"), (std::vector<std::string>{"deep", "one.map"}));
    EXPECT_EQ(listing("maps/deep"), (std::vector<std::string>{"two.map"}));
    PHYSFS_Stat stat{};
    ASSERT_NE(PHYSFS_stat("maps/deep", &stat), 0);
    EXPECT_EQ(stat.filetype, PHYSFS_FILETYPE_DIRECTORY);
    ASSERT_NE(PHYSFS_stat("maps/deep/two.map", &stat), 0);
    EXPECT_EQ(stat.filetype, PHYSFS_FILETYPE_REGULAR);
    EXPECT_EQ(stat.filesize, 3);
    EXPECT_NE(stat.readonly, 0);
    EXPECT_NE(PHYSFS_exists("maps/one.map"), 0);
    EXPECT_EQ(PHYSFS_exists("maps/three.map"), 0);
    EXPECT_EQ(PHYSFS_stat("nothing", &stat), 0);
    EXPECT_EQ(PHYSFS_openRead("maps"), nullptr);
}

TEST_F(PhysfsArchiver, TheLastEntryOfANameIsItsFile)
{
    make_set(path("dup.set"), {{"x", "first"}, {"y", "y"}, {"x", "second!"}});
    ASSERT_NE(PHYSFS_mount(path("dup.set").c_str(), "/", 1), 0);
    EXPECT_EQ(listing("/"), (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(read_whole("x"), "second!");
}

TEST_F(PhysfsArchiver, NamesUnsafeToExtractAreNotMounted)
{
    make_set(path("unsafe.set"), {{"../up", "u"}, {"/root", "r"}, {"a/../../b", "b"}, {"kept", "k"}});
    ASSERT_NE(PHYSFS_mount(path("unsafe.set").c_str(), "/", 1), 0);
    EXPECT_EQ(listing("/"), (std::vector<std::string>{"kept"}));
}

TEST_F(PhysfsArchiver, AFileSeeksTellsAndReadsInPieces)
{
    make_set(path("s.set"), {{"digits", "0123456789"}});
    ASSERT_NE(PHYSFS_mount(path("s.set").c_str(), "/", 1), 0);
    PHYSFS_File* file = PHYSFS_openRead("digits");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(PHYSFS_fileLength(file), 10);
    std::string piece(4, '\0');
    ASSERT_NE(PHYSFS_seek(file, 6), 0);
    EXPECT_EQ(PHYSFS_tell(file), 6);
    EXPECT_EQ(PHYSFS_readBytes(file, piece.data(), 4), 4);
    EXPECT_EQ(piece, "6789");
    EXPECT_NE(PHYSFS_eof(file), 0);
    EXPECT_EQ(PHYSFS_readBytes(file, piece.data(), 4), 0);
    EXPECT_EQ(PHYSFS_seek(file, 11), 0);
    ASSERT_NE(PHYSFS_seek(file, 2), 0);
    EXPECT_EQ(PHYSFS_readBytes(file, piece.data(), 3), 3);
    EXPECT_EQ(piece.substr(0, 3), "234");
    PHYSFS_close(file);
}

// An archiver of the test's own, for files named *.dup, that duplicates the
// stream it is given and reads both: PhysicsFS gives a file mounted from
// within an archive its own stream's duplicate.
std::string duplicated;
void* open_duplicating(PHYSFS_Io* io, const char* /*name*/, int /*for_write*/, int* claimed)
{
    *claimed = 1;
    PHYSFS_Io* copy = io->duplicate(io);
    if (copy == nullptr) {
        duplicated = "<no duplicate>";
        return nullptr;
    }
    std::string first(3, '\0');
    std::string second(3, '\0');
    io->seek(io, 2);
    io->read(io, first.data(), first.size());
    second.resize(static_cast<std::size_t>(copy->read(copy, second.data(), second.size())));
    duplicated = first;
    duplicated.append("|").append(second).append("|");
    duplicated.append(std::to_string(io->tell(io))).append(std::to_string(copy->tell(copy)));
    copy->destroy(copy);
    return nullptr;
}

TEST_F(PhysfsArchiver, AFileStreamDuplicatesWithAPositionOfItsOwn)
{
    static const PHYSFS_Archiver duplicating = {
        0,
        {"DUP", "test", "test", "", 0},
        open_duplicating,
        [](void*, const char*, PHYSFS_EnumerateCallback, const char*, void*) { return PHYSFS_ENUM_OK; },
        [](void*, const char*) -> PHYSFS_Io* { return nullptr; },
        [](void*, const char*) -> PHYSFS_Io* { return nullptr; },
        [](void*, const char*) -> PHYSFS_Io* { return nullptr; },
        [](void*, const char*) { return 0; },
        [](void*, const char*) { return 0; },
        [](void*, const char*, PHYSFS_Stat*) { return 0; },
        [](void*) {}};
    ASSERT_NE(PHYSFS_registerArchiver(&duplicating), 0);
    make_set(path("outer.set"), {{"inner.dup", "abcdefgh"}});
    ASSERT_NE(PHYSFS_mount(path("outer.set").c_str(), "/", 1), 0);
    PHYSFS_File* inner = PHYSFS_openRead("inner.dup");
    ASSERT_NE(inner, nullptr);
    duplicated.clear();
    EXPECT_EQ(PHYSFS_mountHandle(inner, "inner.dup", "/inner", 1), 0);
    EXPECT_EQ(duplicated, "cde|abc|53");
    PHYSFS_close(inner);
}

TEST_F(PhysfsArchiver, MountsASetInMemory)
{
    make_set(path("m.set"), {{"one", "1"}, {"dir/two", "22"}});
    const std::string bytes = file_bytes(path("m.set"));
    ASSERT_NE(PHYSFS_mountMemory(bytes.data(), bytes.size(), nullptr, "m.set", "/", 1), 0);
    EXPECT_EQ(read_whole("dir/two"), "22");
}

TEST_F(PhysfsArchiver, ReadsTheStreamItIsGivenNotAFileOfTheSameName)
{
    make_set(path("disk.set"), {{"where", "on disk"}});
    make_set(path("memory.set"), {{"where", "in memory"}});
    const std::string bytes = file_bytes(path("memory.set"));
    ASSERT_NE(PHYSFS_mountMemory(bytes.data(), bytes.size(), nullptr, path("disk.set").c_str(), "/", 1), 0);
    EXPECT_EQ(read_whole("where"), "in memory");
}

TEST_F(PhysfsArchiver, ADamagedSetFailsItsMountWithAnError)
{
    make_set(path("d.set"), {{"one", std::string(100, 'x')}});
    const std::string bytes = file_bytes(path("d.set"));
    const std::string cut = bytes.substr(0, bytes.size() - 10);
    EXPECT_EQ(PHYSFS_mountMemory(cut.data(), cut.size(), nullptr, "d.set", "/", 1), 0);
    EXPECT_EQ(PHYSFS_getLastErrorCode(), PHYSFS_ERR_CORRUPT);
    char** mounted = PHYSFS_getSearchPath();
    EXPECT_EQ(mounted[0], nullptr);
    PHYSFS_freeList(mounted);
}

TEST_F(PhysfsArchiver, FilesOfOneSetAreReadFromSeveralThreads)
{
    std::vector<resource> resources;
    for (int i = 0; i < 64; ++i) {
        std::string name = std::to_string(i);
        name.append(".f");
        resources.push_back({name, std::string(4096 + i, static_cast<char>('a' + i % 26))});
    }
    make_set(path("t.set"), resources);
    ASSERT_NE(PHYSFS_mount(path("t.set").c_str(), "/", 1), 0);
    std::vector<int> wrong(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 20; ++round) {
                for (const auto& item : resources) {
                    wrong[t] += read_whole(item.name.c_str()) == item.payload ? 0 : 1;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

} // namespace
