// SPDX-License-Identifier: MIT
#include "folders.hpp"

#include "files.hpp"

#if defined(_WIN32)
#include <filesystem>
#include <optional>
#include <system_error>
#include <utility>
#else
#include <cerrno>
#include <climits>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#endif

#if defined(_WIN32)

bool make_absolute(const char* path, std::string& absolute)
{
    const std::optional<std::wstring> wide = wide_path(path);
    if (!wide) {
        return false;
    }
    std::error_code error;
    const std::filesystem::path made = std::filesystem::absolute(std::filesystem::path(*wide), error);
    if (error) {
        return false;
    }
    std::optional<std::string> narrow = narrow_path(made.native());
    if (!narrow) {
        return false;
    }
    absolute = std::move(*narrow);
    return true;
}

bool enter_folder(const char* folder)
{
    const std::optional<std::wstring> wide = wide_path(folder);
    if (!wide) {
        return false;
    }
    std::error_code error;
    std::filesystem::current_path(std::filesystem::path(*wide), error);
    return !error;
}

bool make_folders(const std::string& folder)
{
    const std::optional<std::wstring> wide = wide_path(folder.c_str());
    if (!wide) {
        return false;
    }
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(*wide), error);
    return !error;
}

bool open_file_in_place(const char* name, positioned_file& file, std::uint64_t& length)
{
    // Links are not seen here (LINKS_ARE_SEEN): a regular file is opened as
    // it is.
    return look_at(name).kind == file_kind::regular && open_positioned(name, file, length);
}

#else

bool make_absolute(const char* path, std::string& absolute)
{
    if (path[0] == '\0') {
        return false;
    }
    if (path[0] == '/') {
        absolute = path;
        return true;
    }
    std::vector<char> current(PATH_MAX);
    while (getcwd(current.data(), current.size()) == nullptr) {
        if (errno != ERANGE) {
            return false;
        }
        current.resize(current.size() * 2);
    }
    absolute = current.data();
    if (absolute.back() != '/') {
        absolute += '/';
    }
    absolute += path;
    return true;
}

bool enter_folder(const char* folder)
{
    return chdir(folder) == 0;
}

bool make_folders(const std::string& folder)
{
    // Each folder on the way, from the first: made, or found to be a
    // folder (a link to one will do).
    for (std::size_t end = folder.find('/', 1); end != std::string::npos; end = folder.find('/', end + 1)) {
        if (folder[end - 1] == '/') {
            continue;
        }
        const std::string step = folder.substr(0, end);
        if (mkdir(step.c_str(), 0777) != 0) {
            struct stat there {};
            if (stat(step.c_str(), &there) != 0 || !S_ISDIR(there.st_mode)) {
                return false;
            }
        }
    }
    return true;
}

bool open_file_in_place(const char* name, positioned_file& file, std::uint64_t& length)
{
    return open_positioned(name, file, length, link_at_name::refused);
}

#endif
