// SPDX-License-Identifier: MIT
#include "scratch.hpp"

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace {

#if defined(_WIN32)
constexpr const char* NULL_DEVICE = "NUL";
#else
constexpr const char* NULL_DEVICE = "/dev/null";
#endif

fs::path scratch_folder;

void remove_scratch_folder()
{
    std::error_code error;
    fs::remove_all(scratch_folder, error);
}

} // namespace

void fail(const char* what)
{
    std::fprintf(stderr, "%s: %s\n", HARNESS_NAME, what);
    std::fflush(stderr);
    std::abort();
}

fs::path make_scratch_folder(const char* prefix)
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
            scratch_folder = candidate;
            std::atexit(remove_scratch_folder);
            return candidate;
        }
    }
    fail("cannot make a scratch folder");
}

std::FILE* open_discard_stream()
{
    std::FILE* stream = std::fopen(NULL_DEVICE, "w");
    if (stream == nullptr) {
        stream = std::tmpfile();
    }
    if (stream == nullptr) {
        fail("no stream to discard output into");
    }
    return stream;
}

bool write_file(const char* name, const void* data, std::size_t size)
{
    std::FILE* file = std::fopen(name, "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}
