// Fuzz harness for tarnvex: each input is a resource set, extracted by the
// whole program (tarnvex_main) in a scratch folder of its own.  After every
// run it checks what the extractor may leave behind:
//  - the exit status is 0 or 1 (the argument count is always right);
//  - the scratch folder's parent holds nothing but the scratch folder, so no
//    ".." name got a file out of it;
//  - every file in the scratch folder other than the set and reslist.txt is
//    a complete resource header: "0SER", two words, then 00 00 00 00 !IGM.
//    The set and reslist.txt are left out because an entry of the same name
//    may rightly overwrite them, or remove them when its body is cut short.
#include "run.hpp"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr const char* SET_NAME = "fuzz.set";
constexpr const char* LISTFILE_NAME = "reslist.txt";

#if defined(_WIN32)
constexpr const char* NULL_DEVICE = "NUL";
#else
constexpr const char* NULL_DEVICE = "/dev/null";
#endif

// base holds work and nothing else; work is the extractor's current folder.
struct scratch {
    bool ready = false;
    fs::path base;
    fs::path work;
    std::FILE* report = nullptr;
};

scratch state;

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "fuzz_extract: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

void remove_scratch()
{
    std::error_code error;
    fs::remove_all(state.base, error);
}

fs::path make_unique_folder(const char* prefix)
{
    std::error_code error;
    const fs::path temp = fs::temp_directory_path(error);
    if (error) {
        fail("no temporary folder");
    }
    // The clock keeps names apart where random_device is not random.
    std::random_device device;
    const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    std::mt19937_64 random(device() ^ static_cast<std::uint64_t>(ticks));
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate = temp / (prefix + std::to_string(random()));
        if (fs::create_directory(candidate, error)) {
            return candidate;
        }
    }
    fail("cannot make a scratch folder");
}

void set_up()
{
    state.base = make_unique_folder("fuzz_extract.");
    state.work = state.base / "work";
    std::atexit(remove_scratch);
    state.report = std::fopen(NULL_DEVICE, "w");
    if (state.report == nullptr) {
        state.report = std::tmpfile();
    }
    if (state.report == nullptr) {
        fail("no stream for the report");
    }
    state.ready = true;
}

bool write_file(const char* name, const std::uint8_t* data, std::size_t size)
{
    std::FILE* file = std::fopen(name, "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
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
    const int status = tarnvex_main(2, argv, state.report);
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
