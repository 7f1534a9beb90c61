// SPDX-License-Identifier: MIT
// Fuzz harness for tarnvex: each input is a resource set, extracted by the
// whole program (tarnvex_main) in a scratch folder of its own.  After every
// run it checks what the extractor may leave behind:
//  - the exit status is 0 or 1 (the argument count is always right);
//  - the scratch folder's parent holds nothing but the scratch folder, so no
//    ".." name got a file out of it;
//  - every file in the scratch folder other than the set and reslist.txt is
//    a complete resource header: "0SER", two words, then 00 00 00 00 !IGM.
//    The set and reslist.txt are left out because an entry of the same name
//    may rightly replace them.
#include "program.hpp"
#include "scratch.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

const char* const HARNESS_NAME = "fuzz_extract";

namespace {

constexpr const char* SET_NAME = "fuzz.set";
constexpr const char* LISTFILE_NAME = "reslist.txt";

// base holds work and nothing else; work is the extractor's current folder.
struct scratch {
    bool ready = false;
    fs::path base;
    fs::path work;
    std::FILE* report = nullptr;
};

scratch state;

void set_up()
{
    state.base = make_scratch_folder("fuzz_extract.");
    state.work = state.base / "work";
    state.report = open_discard_stream();
    state.ready = true;
}

// True when the file, named relative to the current folder, starts with a
// whole resource header as the extractor writes it.
bool is_recreated_resource(const fs::path& name)
{
    static constexpr std::array<unsigned char, 4> magic{'0', 'S', 'E', 'R'};
    static constexpr std::array<unsigned char, 8> body_head{0, 0, 0, 0, '!', 'I', 'G', 'M'};
    std::FILE* file = std::fopen(name.string().c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    std::array<unsigned char, 20> head{};
    const std::size_t got = std::fread(head.data(), 1, head.size(), file);
    std::fclose(file);
#if defined(_WIN32)
    // "name:stream" writes an alternate data stream and leaves the file
    // "name" itself empty.
    if (got == 0) {
        return true;
    }
#endif
    return got == head.size() && std::memcmp(head.data(), magic.data(), magic.size()) == 0 &&
           std::memcmp(head.data() + 12, body_head.data(), body_head.size()) == 0;
}

// Runs in the scratch folder, whose files are opened by their own names.
void check_folders()
{
    std::error_code error;
    for (fs::directory_iterator it(state.base, error), end; !error && it != end; it.increment(error)) {
        if (it->path().filename() != "work") {
            fail("a file was written next to the scratch folder");
        }
    }
    if (error) {
        fail("cannot list the scratch folder's parent");
    }
    for (fs::directory_iterator it(state.work, error), end; !error && it != end; it.increment(error)) {
        const fs::path name = it->path().filename();
        if (name == SET_NAME || name == LISTFILE_NAME) {
            continue;
        }
        std::error_code status_error;
        if (!fs::is_regular_file(it->symlink_status(status_error)) || status_error) {
            fail("the extractor left something that is not a plain file");
        }
        if (!is_recreated_resource(name)) {
            fail("a recreated file does not start with a resource header");
        }
    }
    if (error) {
        fail("cannot list the scratch folder");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (!state.ready) {
        set_up();
    }
    std::error_code error;
    fs::remove_all(state.work, error);
    if (error || !fs::create_directory(state.work, error)) {
        fail("cannot empty the scratch folder");
    }
    const fs::path previous = fs::current_path(error);
    if (error) {
        fail("no current folder");
    }
    fs::current_path(state.work, error);
    if (error) {
        fail("cannot enter the scratch folder");
    }
    if (!write_file(SET_NAME, data, size)) {
        fail("cannot write the set");
    }

    // Rewinding also clears the error indicator a previous run may have set.
    std::rewind(state.report);
    const char* const argv[] = {"tarnvex", SET_NAME, nullptr};
    const int status = tarnvex_main(2, argv, state.report, state.report);
    if (status != 0 && status != 1) {
        fail("exit status other than 0 and 1");
    }
    check_folders();

    fs::current_path(previous, error);
    if (error) {
        fail("cannot leave the scratch folder");
    }
    return 0;
}
