// SPDX-License-Identifier: MIT
// Replays saved inputs through a fuzz harness without libFuzzer, so that the
// corpus runs as an ordinary test on every build, cross builds included.
// Each argument is a file, replayed as it is, or a folder, whose regular
// files (not those of its subfolders) are replayed in sorted order.  Prints
// "replayed N inputs"; exits 1 when an argument or a file cannot be read, or
// when nothing was replayed.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

namespace {

bool read_file(const fs::path& path, std::vector<std::uint8_t>& bytes)
{
    bytes.clear();
    std::error_code error;
    const std::uintmax_t size = fs::file_size(path, error);
    if (error) {
        return false;
    }
    bytes.resize(static_cast<std::size_t>(size));
    std::FILE* file = std::fopen(path.string().c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    const bool read = bytes.empty() || std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
    // Nothing may follow: the file must not have grown since its size was taken.
    const bool at_end = std::fgetc(file) == EOF && std::feof(file) != 0;
    std::fclose(file);
    return read && at_end;
}

// Appends the regular files directly inside folder, sorted.  False when the
// folder cannot be listed.
bool list_folder(const fs::path& folder, std::vector<fs::path>& inputs)
{
    std::vector<fs::path> found;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::error_code type_error;
        if (it->is_regular_file(type_error)) {
            found.push_back(it->path());
        }
    }
    if (error) {
        return false;
    }
    std::sort(found.begin(), found.end());
    inputs.insert(inputs.end(), found.begin(), found.end());
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::cerr << "usage: " << (argc > 0 && argv[0] != nullptr ? argv[0] : "replay") << " FILE|FOLDER [...]\n";
        return 1;
    }
    bool ok = true;
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const fs::path arg(argv[i]);
        std::error_code error;
        const fs::file_status status = fs::status(arg, error);
        if (fs::is_directory(status)) {
            if (!list_folder(arg, inputs)) {
                std::cerr << "Can't list " << argv[i] << '\n';
                ok = false;
            }
        } else if (fs::is_regular_file(status)) {
            inputs.push_back(arg);
        } else {
            std::cerr << "Can't read " << argv[i] << '\n';
            ok = false;
        }
    }

    std::size_t replayed = 0;
    std::vector<std::uint8_t> bytes;
    // libFuzzer never passes a null pointer, not even for an empty input.
    static const std::uint8_t no_bytes[1] = {0};
    for (const fs::path& input : inputs) {
        if (!read_file(input, bytes)) {
            std::cerr << "Can't read " << input.string() << '\n';
            ok = false;
            continue;
        }
        LLVMFuzzerTestOneInput(bytes.empty() ? no_bytes : bytes.data(), bytes.size());
        ++replayed;
    }
    std::cout << "replayed " << replayed << " inputs" << std::endl;
    return ok && replayed > 0 ? 0 : 1;
}
