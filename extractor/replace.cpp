// SPDX-License-Identifier: MIT
#include "replace.hpp"

#include "stream_io.hpp"

#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

// The file being written, as the signal handler sees it: its path in a
// fixed buffer, since a handler may not allocate, set before live is, and
// its stream, which only the Windows handler uses: there the handler runs on
// a thread of its own, and a file that is still open cannot be removed.
// Whoever takes the stream out of live_stream closes it, so that it is
// closed once.  Both atomics are lock-free, and so safe in a handler.
std::array<char, 512> live_path{};
std::atomic<bool> live{false};
std::atomic<std::FILE*> live_stream{nullptr};

#if defined(SIGHUP)
constexpr std::array<int, 3> CAUGHT_SIGNALS{SIGINT, SIGTERM, SIGHUP};
#else
constexpr std::array<int, 2> CAUGHT_SIGNALS{SIGINT, SIGTERM};
#endif
using signal_handler = void (*)(int);
std::array<signal_handler, CAUGHT_SIGNALS.size()> previous_handlers{};
bool caught = false;

extern "C" void remove_live_file(int signal_number)
{
    if (live.load()) {
#if defined(_WIN32)
        if (std::FILE* const stream = live_stream.exchange(nullptr); stream != nullptr) {
            std::fclose(stream); // NOLINT(bugprone-signal-handler): on its own thread, see live_stream
        }
#endif
        // remove() is unlink() on POSIX systems, which is safe in a handler.
        std::remove(live_path.data()); // NOLINT(bugprone-signal-handler)
    }
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

// What separates folders in a path on this system.
#if defined(_WIN32)
constexpr const char* SEPARATORS = "/\\";
#else
constexpr const char* SEPARATORS = "/";
#endif

// The folder part of target, separator included: temporaries go there, so
// that the rename never crosses file systems.
std::string folder_of(const std::string& target)
{
    const std::size_t cut = target.find_last_of(SEPARATORS);
    return cut == std::string::npos ? std::string() : target.substr(0, cut + 1);
}

bool ends_in_separator(const std::string& name)
{
    return !name.empty() && name.find_last_of(SEPARATORS) == name.size() - 1;
}

// Creates name for writing, failing when anything, a link included, stands
// there already.
std::FILE* create_exclusively(const std::string& name, bool binary)
{
#if defined(_WIN32)
    // Windows' C runtime ignores fopen's "x" and would truncate.
    const int flags = _O_CREAT | _O_EXCL | _O_WRONLY | (binary ? _O_BINARY : _O_TEXT);
    const int descriptor = _open(name.c_str(), flags, _S_IREAD | _S_IWRITE);
    if (descriptor < 0) {
        return nullptr;
    }
    std::FILE* const stream = _fdopen(descriptor, binary ? "wb" : "w");
    if (stream == nullptr) {
        _close(descriptor);
    }
    return stream;
#else
    return std::fopen(name.c_str(), binary ? "wbx" : "wx");
#endif
}

// True when what stands at a name is not a regular file that may be opened
// as it is: a link, a FIFO, a socket or a device.  Windows' C++ library sees
// through links, so there any file may be a link.
bool is_not_plain_file(const fs::file_status& existing)
{
#if defined(_WIN32)
    return fs::exists(existing) && !fs::is_directory(existing);
#else
    return !fs::is_regular_file(existing);
#endif
}

// Opens the file at name for text output, truncated.  On POSIX systems the
// open neither follows a link nor waits for a FIFO's reader, and what it
// opened is given back only if it is a regular file: something planted at
// the name since it was looked at is never written.  Null otherwise.
std::FILE* open_plain_file(const std::string& name)
{
#if defined(_WIN32)
    return std::fopen(name.c_str(), "w");
#else
    const int descriptor = open(name.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_NONBLOCK);
    if (descriptor < 0) {
        return nullptr;
    }
    struct stat opened {};
    std::FILE* stream = nullptr;
    if (fstat(descriptor, &opened) == 0 && S_ISREG(opened.st_mode) && fcntl(descriptor, F_SETFL, 0) == 0) {
        stream = fdopen(descriptor, "w");
    }
    if (stream == nullptr) {
        close(descriptor);
    }
    return stream;
#endif
}

bool nothing_at(const std::string& name)
{
    std::error_code error;
    return fs::symlink_status(name, error).type() == fs::file_type::not_found;
}

// Names differ from run to run, so that concurrent runs in one folder
// seldom meet; when they do, the exclusive create sends one to the next name.
std::uint32_t next_temporary_number()
{
    static std::uint32_t number = [] {
        const auto ticks = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        const auto where = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(&live_path));
        const std::uint64_t mixed = (ticks ^ (where >> 4U)) * 0x9E3779B97F4A7C15U;
        return static_cast<std::uint32_t>(mixed >> 32U);
    }();
    return number++;
}

std::string temporary_name(const std::string& folder)
{
    static constexpr const char* DIGITS = "0123456789abcdef";
    std::string name = folder + TEMPORARY_PREFIX;
    const std::uint32_t number = next_temporary_number();
    for (int shift = 28; shift >= 0; shift -= 4) {
        name.push_back(DIGITS[(number >> static_cast<unsigned>(shift)) & 0xFU]);
    }
    return name;
}

// False for an existing file that may not be written, which opening it to
// truncate it would refuse; "r+" neither truncates nor creates.
bool may_be_written(const std::string& name)
{
    std::FILE* const probe = std::fopen(name.c_str(), "r+b");
    if (probe == nullptr) {
        return false;
    }
    std::fclose(probe);
    return true;
}

// Creates an empty temporary of a name not taken in folder, and sets name
// to it; null when the folder refuses.
std::FILE* create_temporary(const std::string& folder, std::string& name)
{
    constexpr int ATTEMPTS = 32;
    for (int attempt = 0; attempt < ATTEMPTS; ++attempt) {
        name = temporary_name(folder);
        if (std::FILE* const stream = create_exclusively(name, true); stream != nullptr) {
            return stream;
        }
        if (nothing_at(name)) {
            return nullptr; // not a name taken: the folder refuses
        }
    }
    return nullptr;
}

void forget_written()
{
    live.store(false);
}

void remove_written(replacement& file)
{
    std::remove(file.written.c_str());
    forget_written();
}

// The stream comes back out of live_stream, so that it is closed once.
std::FILE* take_stream(replacement& file)
{
    file.stream = nullptr;
    return live_stream.exchange(nullptr);
}

// False for a name no file can have, and for one with no room for the
// longest temporary name in the handler's buffer.
bool may_be_target(const std::string& target)
{
    constexpr std::size_t TEMPORARY_ROOM = 32;
    return !target.empty() && !ends_in_separator(target) && target.size() + TEMPORARY_ROOM <= live_path.size();
}

// Makes stream, open on written, the file being written for target.
void make_live(replacement& file, const std::string& target, const std::string& written, std::FILE* stream)
{
    written.copy(live_path.data(), written.size());
    live_path[written.size()] = '\0';
    live_stream.store(stream);
    live.store(true);
    file.target = target;
    file.written = written;
    file.stream = stream;
}

} // namespace

bool make_folders_for(const std::string& target, std::string& made)
{
    // No folder is made for a name that no file can then have.
    if (!may_be_target(target)) {
        return false;
    }
    const std::string folder = folder_of(target);
    if (folder.empty() || folder == made) {
        return true;
    }
    std::error_code error;
    fs::create_directories(fs::path(target).parent_path(), error);
    if (error) {
        return false;
    }
    made = folder;
    return true;
}

bool begin_new_file(replacement& file, const std::string& target)
{
    if (!may_be_target(target)) {
        return false;
    }
    std::FILE* const stream = create_exclusively(target, true);
    if (stream == nullptr) {
        return false;
    }
    make_live(file, target, target, stream);
    return true;
}

bool begin_replacement(replacement& file, const std::string& target)
{
    // Where nothing stands, there is nothing to keep: the name itself is
    // created, which costs no more than a plain create.
    if (!may_be_target(target)) {
        return false;
    }
    if (begin_new_file(file, target)) {
        return true;
    }
    std::error_code error;
    const fs::file_status existing = fs::symlink_status(target, error);
    if (existing.type() == fs::file_type::not_found) {
        return false; // the folder is missing or refuses
    }
    const bool replaces_file = fs::is_regular_file(existing);
    if (fs::is_directory(existing) || (replaces_file && !may_be_written(target))) {
        return false;
    }
    std::string written;
    std::FILE* const stream = create_temporary(folder_of(target), written);
    if (stream == nullptr) {
        return false;
    }
    make_live(file, target, written, stream);
    if (replaces_file) {
        fs::permissions(written, existing.permissions() & fs::perms::all, error);
        if (error) {
            abandon_replacement(file);
            return false;
        }
    }
    return true;
}

bool close_replacement(replacement& file)
{
    std::FILE* const stream = take_stream(file);
    if (stream == nullptr || !close_output(stream)) {
        remove_written(file);
        return false;
    }
    return true;
}

bool commit_replacement(replacement& file)
{
    if (file.written != file.target) {
        std::error_code error;
        fs::rename(file.written, file.target, error);
        if (error) {
            remove_written(file);
            return false;
        }
    }
    forget_written();
    return true;
}

void abandon_replacement(replacement& file)
{
    // The file is the live one: only one is written at a time.
    file.stream = nullptr;
    abandon_live_file();
}

void abandon_live_file()
{
    if (live.load()) {
        if (std::FILE* const stream = live_stream.exchange(nullptr); stream != nullptr) {
            std::fclose(stream);
        }
        std::remove(live_path.data());
        forget_written();
    }
}

std::FILE* create_text_output(const std::string& name)
{
    // A few rounds at most: each sees what stands at the name now, and
    // anything planted there between two looks is seen on the next round.
    constexpr int ROUNDS = 4;
    for (int round = 0; round < ROUNDS; ++round) {
        std::error_code error;
        const fs::file_status existing = fs::symlink_status(name, error);
        if (existing.type() == fs::file_type::not_found) {
            if (std::FILE* const created = create_exclusively(name, false); created != nullptr) {
                return created;
            }
            if (nothing_at(name)) {
                return nullptr;
            }
            continue;
        }
        if (is_not_plain_file(existing)) {
            // An empty file of its own takes the place of what is there.
            replacement empty;
            if (!begin_replacement(empty, name) || !close_replacement(empty) || !commit_replacement(empty)) {
                return nullptr;
            }
        }
        // What is there now is looked at again on the next round if this
        // cannot open it.
        if (std::FILE* const opened = open_plain_file(name); opened != nullptr) {
            return opened;
        }
    }
    return nullptr;
}

void catch_interruptions()
{
    caught = true;
    for (std::size_t i = 0; i < CAUGHT_SIGNALS.size(); ++i) {
        // A signal the caller ignores (nohup, a background job) stays
        // ignored.
        previous_handlers[i] = std::signal(CAUGHT_SIGNALS[i], SIG_IGN);
        if (previous_handlers[i] != SIG_IGN && previous_handlers[i] != SIG_ERR) {
            std::signal(CAUGHT_SIGNALS[i], remove_live_file);
        }
    }
}

void release_interruptions()
{
    if (!caught) {
        return;
    }
    caught = false;
    for (std::size_t i = 0; i < CAUGHT_SIGNALS.size(); ++i) {
        if (previous_handlers[i] != SIG_ERR) {
            std::signal(CAUGHT_SIGNALS[i], previous_handlers[i]);
        }
    }
}
