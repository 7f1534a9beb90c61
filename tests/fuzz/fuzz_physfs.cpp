// SPDX-License-Identifier: MIT
// Fuzz harness for the PhysicsFS archiver: each input is mounted from
// memory through PhysicsFS.  It checks what the archiver promises:
//  - a mount that fails leaves an error code and nothing mounted;
//  - a mounted tree enumerates, every name in it stats, and every file
//    reads to exactly the size its stat gives, and no further;
//  - unmounting succeeds.
#include "resource_set_physfs.h"
#include "scratch.hpp"

#include <physfs.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

const char* const HARNESS_NAME = "fuzz_physfs";

namespace {

void walk(const std::string& folder, int depth)
{
    if (depth > 40) {
        fail("the tree is deeper than a name allows");
    }
    char** names = PHYSFS_enumerateFiles(folder.c_str());
    if (names == nullptr) {
        fail("a folder of the tree does not enumerate");
    }
    for (char** name = names; *name != nullptr; ++name) {
        const std::string path = folder.empty() ? std::string(*name) : folder + "/" + *name;
        PHYSFS_Stat stat{};
        if (PHYSFS_stat(path.c_str(), &stat) == 0) {
            fail("a name enumerated does not stat");
        }
        if (stat.filetype == PHYSFS_FILETYPE_DIRECTORY) {
            walk(path, depth + 1);
            continue;
        }
        PHYSFS_File* file = PHYSFS_openRead(path.c_str());
        if (file == nullptr || PHYSFS_fileLength(file) != stat.filesize) {
            fail("a file does not open with the length its stat gives");
        }
        std::array<unsigned char, 4096> buffer{};
        PHYSFS_sint64 total = 0;
        for (;;) {
            const PHYSFS_sint64 got = PHYSFS_readBytes(file, buffer.data(), buffer.size());
            if (got < 0) {
                fail("reading a mounted file failed");
            }
            if (got == 0) {
                break;
            }
            total += got;
        }
        if (total != stat.filesize || PHYSFS_eof(file) == 0) {
            fail("a file reads to other than its size");
        }
        PHYSFS_close(file);
    }
    PHYSFS_freeList(names);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool ready = PHYSFS_init(nullptr) != 0 && resource_set_physfs_register() != 0;
    if (!ready) {
        fail("PhysicsFS does not start");
    }
    if (PHYSFS_mountMemory(data, size, nullptr, "fuzz.set", "/", 1) == 0) {
        if (PHYSFS_getLastErrorCode() == PHYSFS_ERR_OK) {
            fail("a failed mount sets no error code");
        }
        char** mounted = PHYSFS_getSearchPath();
        const bool empty = mounted != nullptr && mounted[0] == nullptr;
        PHYSFS_freeList(mounted);
        if (!empty) {
            fail("a failed mount leaves something mounted");
        }
        return 0;
    }
    walk("", 0);
    if (PHYSFS_unmount("fuzz.set") == 0) {
        fail("a mounted set does not unmount");
    }
    return 0;
}
