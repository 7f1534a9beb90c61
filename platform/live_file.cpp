// SPDX-License-Identifier: MIT
#include "live_file.hpp"

#include "files.hpp"
#include "streams.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#if defined(_WIN32)
#include <cwchar>
#include <optional>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// The live file as the signal handler sees it: its path, allocated when the
// file is registered and set before live is, since a handler may not
// allocate, and its stream, which only the Windows handler uses: there the
// handler runs on a thread of its own, and a file that is still open cannot
// be removed.  Whoever takes the path out of live_path frees it, and whoever
// takes the stream out of live_stream closes it, so that each is let go
// once; the handler takes the path and keeps it, as the process ends.  The
// atomics are lock-free, and so safe in a handler.
std::atomic<char*> live_path{nullptr};
#if defined(_WIN32)
// The path as the system takes it, converted once, when the file is
// registered, with the code page then in force on the thread that made it
// (see utf8_paths): the handler, on a thread of its own, converts nothing.
// Let go with live_path.
std::atomic<wchar_t*> live_wide_path{nullptr};
#endif
std::atomic<bool> live{false};
std::atomic<std::FILE*> live_stream{nullptr};
// Whether the live file is a temporary, to be renamed over its target.
bool live_is_temporary = false;

#if defined(SIGHUP)
constexpr std::array<int, 3> CAUGHT_SIGNALS{SIGINT, SIGTERM, SIGHUP};
#else
constexpr std::array<int, 2> CAUGHT_SIGNALS{SIGINT, SIGTERM};
#endif
using signal_handler = void (*)(int);
std::array<signal_handler, CAUGHT_SIGNALS.size()> previous_handlers{};
bool caught = false;

// While a file is created and registered, or renamed into place and
// forgotten, a caught signal is put off: the handler notes it and returns,
// and it is handled as soon as that is done.  A flag costs nothing, where
// masking the signals would cost two system calls each time.
std::atomic<bool> putting_off{false};
std::atomic<int> put_off_signal{0};

// Removes the live file and ends the process as the signal would have.
void end_by_signal(int signal_number)
{
    if (live.load()) {
#if defined(_WIN32)
        if (std::FILE* const stream = live_stream.exchange(nullptr); stream != nullptr) {
            std::fclose(stream); // NOLINT(bugprone-signal-handler): on its own thread, see live_stream
        }
#endif
#if defined(_WIN32)
        if (const wchar_t* const path = live_wide_path.exchange(nullptr); path != nullptr) {
            _wremove(path); // NOLINT(bugprone-signal-handler): on its own thread, see live_stream
        }
#else
        // remove() is unlink() on POSIX systems, which is safe in a handler.
        if (const char* const path = live_path.exchange(nullptr); path != nullptr) {
            std::remove(path); // NOLINT(bugprone-signal-handler)
        }
#endif
    }
    // The program's own handler, when it had one (a program that uses the
    // library), is given the signal next; otherwise the signal ends the
    // process.
    signal_handler next = SIG_DFL;
    for (std::size_t i = 0; i < CAUGHT_SIGNALS.size(); ++i) {
        if (CAUGHT_SIGNALS[i] == signal_number && previous_handlers[i] != SIG_ERR) {
            next = previous_handlers[i];
        }
    }
    std::signal(signal_number, next);
    std::raise(signal_number);
}

extern "C" void remove_live_file(int signal_number)
{
    if (putting_off.load()) {
        put_off_signal.store(signal_number);
        return;
    }
    end_by_signal(signal_number);
}

// From hold_signals to release_signals, caught signals are put off.
void hold_signals()
{
    putting_off.store(true);
}

// Ends the putting off, and handles a signal that came meanwhile.  One that
// comes after the flag is cleared finds the handler acting at once.
void release_signals()
{
    putting_off.store(false);
    if (const int signal_number = put_off_signal.exchange(0); signal_number != 0) {
        end_by_signal(signal_number);
    }
}

// The path, or "" when none is live.
const char* path_or_empty()
{
    const char* const path = live_path.load();
    return path != nullptr ? path : "";
}

// Renames the live file over to, replacing a file that stands there.
bool rename_over(const char* to)
{
#if defined(_WIN32)
    const wchar_t* const from = live_wide_path.load();
    const std::optional<std::wstring> wide_to = wide_path(to);
    if (from == nullptr || !wide_to) {
        return false;
    }
    if (MoveFileExW(from, wide_to->c_str(), MOVEFILE_REPLACE_EXISTING) != 0) {
        return true;
    }
    // Windows renames a file that is open, though it will not replace one:
    // a set being edited is read from its old file up to the commit.  The
    // old file is moved aside, the new one put in its place, and the old
    // removed, which takes effect once its last reader has closed it.
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesW(wide_to->c_str());
    if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
        return false;
    }
    const std::wstring aside = std::wstring(from) + L"-old";
    if (MoveFileExW(wide_to->c_str(), aside.c_str(), 0) == 0) {
        return false;
    }
    if (MoveFileExW(from, wide_to->c_str(), 0) == 0) {
        MoveFileExW(aside.c_str(), wide_to->c_str(), 0);
        return false;
    }
    DeleteFileW(aside.c_str());
    return true;
#else
    const char* const from = path_or_empty();
#if defined(RENAME_EXCHANGE)
    // The two names are swapped and the old file, now at from, removed:
    // ext4 writes a file renamed over another out to disk at once, which
    // made replacing many small files ten times slower than extracting them
    // anew.  What stood at to is a file or a link, or else (a folder put
    // there meanwhile) it is swapped back and the commit fails, as the
    // rename would.  Where the system cannot swap (no such target, a file
    // system without it), the plain rename follows.
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_EXCHANGE) == 0) {
        if (unlink(from) == 0) {
            return true;
        }
        renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_EXCHANGE);
        return false;
    }
#endif
    return std::rename(from, to) == 0;
#endif
}

void forget_live_file()
{
    live.store(false);
    std::free(live_path.exchange(nullptr));
#if defined(_WIN32)
    std::free(live_wide_path.exchange(nullptr));
#endif
}

// Removes the live file, by its path as the system takes it.
void remove_live_path()
{
#if defined(_WIN32)
    if (const wchar_t* const path = live_wide_path.load(); path != nullptr) {
        _wremove(path);
    }
#else
    std::remove(path_or_empty());
#endif
}

void remove_live_file_now()
{
    remove_live_path();
    forget_live_file();
}

#if defined(_WIN32)
// path as the system takes it, in memory from malloc, as the handler
// needs; null when it cannot be converted or there is no memory.
wchar_t* system_copy(const char* path)
{
    const std::optional<std::wstring> wide = wide_path(path);
    if (!wide) {
        return nullptr;
    }
    auto* const copy = static_cast<wchar_t*>(std::malloc((wide->size() + 1) * sizeof(wchar_t)));
    if (copy != nullptr) {
        std::wmemcpy(copy, wide->c_str(), wide->size() + 1);
    }
    return copy;
}
#endif

// Creates name exclusively and makes it the live file, with the signals
// put off throughout.  Null, with nothing created, when there is no memory
// for its path or (Windows) the path cannot be converted.
std::FILE* create_and_register(const std::string& name, bool binary, bool temporary)
{
    // malloc, which gives null where new would throw.
    auto* const path = static_cast<char*>(std::malloc(name.size() + 1));
    if (path == nullptr) {
        return nullptr;
    }
    std::copy_n(name.c_str(), name.size() + 1, path);
#if defined(_WIN32)
    wchar_t* const wide = system_copy(path);
    if (wide == nullptr) {
        std::free(path);
        return nullptr;
    }
#endif
    hold_signals();
    std::FILE* const stream = create_exclusive(path, binary);
    if (stream != nullptr) {
        live_path.store(path);
#if defined(_WIN32)
        live_wide_path.store(wide);
#endif
        live_is_temporary = temporary;
        live_stream.store(stream);
        live.store(true);
    }
    release_signals();
    if (stream == nullptr) {
        std::free(path);
#if defined(_WIN32)
        std::free(wide);
#endif
    }
    return stream;
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

void set_temporary_name(std::string& name, std::size_t digits_at)
{
    static constexpr const char* DIGITS = "0123456789abcdef";
    const std::uint32_t number = next_temporary_number();
    for (std::size_t i = 0; i < 8; ++i) {
        name[digits_at + i] = DIGITS[(number >> (28U - 4U * i)) & 0xFU];
    }
}

} // namespace

std::FILE* create_live_file(const std::string& path, bool binary)
{
    if (live.load()) {
        return nullptr;
    }
    return create_and_register(path, binary, false);
}

std::FILE* create_live_temporary(const std::string& folder, const char* prefix, bool binary)
{
    std::string name = folder + prefix;
    const std::size_t digits_at = name.size();
    name.append(8, '0');
    if (live.load()) {
        return nullptr;
    }
    constexpr int ATTEMPTS = 32;
    for (int attempt = 0; attempt < ATTEMPTS; ++attempt) {
        set_temporary_name(name, digits_at);
        if (std::FILE* const stream = create_and_register(name, binary, true); stream != nullptr) {
            return stream;
        }
        if (look_at(name.c_str()).kind == file_kind::none) {
            return nullptr; // not a name taken: the folder refuses
        }
    }
    return nullptr;
}

std::FILE* begin_replacing(const std::string& target, const char* prefix, bool binary)
{
    const file_status old = look_at(target.c_str());
    const file_kind reached = old.kind == file_kind::link ? kind_reached(target.c_str()) : old.kind;
    if (reached != file_kind::none && reached != file_kind::regular) {
        return nullptr;
    }
    if (old.kind == file_kind::regular && !may_write(target.c_str(), old)) {
        return nullptr;
    }
    return create_live_replacement(target, old, prefix, binary);
}

std::FILE* create_live_replacement(const std::string& target, const file_status& old, const char* prefix, bool binary)
{
    std::FILE* const stream = create_live_temporary(folder_of(target), prefix, binary);
    if (stream != nullptr && old.kind == file_kind::regular && !set_file_mode(stream, old.mode)) {
        abandon_live_file();
        return nullptr;
    }
    return stream;
}

const char* live_file_path()
{
    return path_or_empty();
}

std::FILE* live_file_stream()
{
    return live_stream.load();
}

bool close_live_file()
{
    std::FILE* const stream = live_stream.exchange(nullptr);
    if (stream == nullptr || !close_output(stream)) {
        remove_live_file_now();
        return false;
    }
    return true;
}

bool commit_live_file(const std::string& target)
{
    if (!live.load()) {
        return false;
    }
    hold_signals();
    bool committed = true;
    if (live_is_temporary && !rename_over(target.c_str())) {
        remove_live_path();
        committed = false;
    }
    forget_live_file();
    release_signals();
    return committed;
}

void abandon_live_file()
{
    if (!live.load()) {
        return;
    }
    if (std::FILE* const stream = live_stream.exchange(nullptr); stream != nullptr) {
        std::fclose(stream);
    }
    remove_live_file_now();
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
