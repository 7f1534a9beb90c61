// SPDX-License-Identifier: MIT
#include "files.hpp"

#include <algorithm>

#if defined(_WIN32)
#include <fcntl.h>
#include <filesystem>
#include <io.h>
#include <new>
#include <sys/stat.h>
#include <system_error>
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

std::string folder_of(const std::string& path)
{
    const std::size_t cut = path.find_last_of(FOLDER_SEPARATORS);
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

bool same_file(const file_identity& a, const file_identity& b)
{
    return a.known && b.known && a.device == b.device && a.number == b.number;
}

#if defined(_WIN32)

namespace {

// Whether paths are UTF-8 on this thread (see utf8_paths).
thread_local bool paths_in_utf8 = false;

UINT path_code_page()
{
    return paths_in_utf8 ? CP_UTF8 : CP_ACP;
}

// path from code_page to UTF-16.  Bytes that are not UTF-8 name no file and
// are refused, where the replacement character would name another; the
// ANSI code page converts every byte, as the system's ANSI functions do.
// Throws std::bad_alloc.
std::optional<std::wstring> to_wide(UINT code_page, const char* path)
{
    const DWORD flags = code_page == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
    const int length = MultiByteToWideChar(code_page, flags, path, -1, nullptr, 0);
    if (length <= 0) {
        return std::nullopt;
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    if (MultiByteToWideChar(code_page, flags, path, -1, wide.data(), length) != length) {
        return std::nullopt;
    }
    wide.pop_back();
    return wide;
}

// The way back.  Throws std::bad_alloc.
std::optional<std::string> to_narrow(UINT code_page, const std::wstring& path)
{
    const int length = WideCharToMultiByte(code_page, 0, path.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (length <= 0) {
        return std::nullopt;
    }
    std::string narrow(static_cast<std::size_t>(length), '\0');
    if (WideCharToMultiByte(code_page, 0, path.c_str(), -1, narrow.data(), length, nullptr, nullptr) != length) {
        return std::nullopt;
    }
    narrow.pop_back();
    return narrow;
}

} // namespace

utf8_paths::utf8_paths() noexcept : outer_(paths_in_utf8)
{
    paths_in_utf8 = true;
}

utf8_paths::~utf8_paths()
{
    paths_in_utf8 = outer_;
}

std::optional<std::wstring> wide_path(const char* path) noexcept
{
    try {
        return to_wide(path_code_page(), path);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return std::nullopt;
    }
}

std::optional<std::string> narrow_path(const std::wstring& path) noexcept
{
    try {
        return to_narrow(path_code_page(), path);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return std::nullopt;
    }
}

std::string ansi_to_utf8(const char* path)
{
    // Every string of the ANSI code page has its UTF-8 form.
    const std::optional<std::wstring> wide = to_wide(CP_ACP, path);
    const std::optional<std::string> narrow = wide ? to_narrow(CP_UTF8, *wide) : std::nullopt;
    return narrow ? *narrow : std::string(path);
}

namespace {

file_identity identity_of_handle(HANDLE handle)
{
    file_identity identity;
    BY_HANDLE_FILE_INFORMATION information{};
    if (handle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle, &information) != 0) {
        identity.device = information.dwVolumeSerialNumber;
        identity.number = (std::uint64_t{information.nFileIndexHigh} << 32U) | information.nFileIndexLow;
        identity.known = true;
    }
    return identity;
}

} // namespace

file_status look_at(const char* name)
{
    namespace fs = std::filesystem;
    file_status result;
    const std::optional<std::wstring> wide = wide_path(name);
    if (!wide) {
        return result;
    }
    std::error_code error;
    const fs::file_status status = fs::symlink_status(fs::path(*wide), error);
    switch (status.type()) {
    case fs::file_type::regular:
        result.kind = file_kind::regular;
        break;
    case fs::file_type::directory:
        result.kind = file_kind::folder;
        break;
    case fs::file_type::symlink:
        result.kind = file_kind::link;
        break;
    case fs::file_type::none:
    case fs::file_type::not_found:
        return result;
    default:
        result.kind = file_kind::other;
        break;
    }
    result.mode = static_cast<unsigned>(status.permissions() & fs::perms::all);
    return result;
}

file_kind kind_reached(const char* name)
{
    namespace fs = std::filesystem;
    const std::optional<std::wstring> wide = wide_path(name);
    if (!wide) {
        return file_kind::none;
    }
    std::error_code error;
    const fs::file_status status = fs::status(fs::path(*wide), error);
    switch (status.type()) {
    case fs::file_type::regular:
        return file_kind::regular;
    case fs::file_type::directory:
        return file_kind::folder;
    case fs::file_type::none:
    case fs::file_type::not_found:
        return file_kind::none;
    default:
        return file_kind::other;
    }
}

file_identity identity_of(const char* name)
{
    const std::optional<std::wstring> wide = wide_path(name);
    if (!wide) {
        return {};
    }
    // Folders open only with backup semantics; no access is asked for.
    const HANDLE handle = CreateFileW(wide->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    const file_identity identity = identity_of_handle(handle);
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
    }
    return identity;
}

file_identity identity_of(std::FILE* file)
{
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))); // NOLINT(performance-no-int-to-ptr)
    return identity_of_handle(handle);
}

std::FILE* open_regular_input(const char* name)
{
    std::FILE* const file = open_input(name);
    if (file == nullptr) {
        return nullptr;
    }
    struct _stat64 opened {};
    if (_fstat64(_fileno(file), &opened) != 0 || (opened.st_mode & _S_IFMT) != _S_IFREG) {
        std::fclose(file);
        set_not_regular_error((opened.st_mode & _S_IFMT) == _S_IFDIR);
        return nullptr;
    }
    return file;
}

std::FILE* open_regular_output(const char* name)
{
    const std::optional<std::wstring> wide = wide_path(name);
    return wide ? _wfopen(wide->c_str(), L"w") : nullptr;
}

std::FILE* create_exclusive(const char* name, bool binary)
{
    // Windows' C runtime ignores fopen's "x" and would truncate.
    const std::optional<std::wstring> wide = wide_path(name);
    if (!wide) {
        return nullptr;
    }
    const int flags = _O_CREAT | _O_EXCL | _O_WRONLY | (binary ? _O_BINARY : _O_TEXT);
    const int descriptor = _wopen(wide->c_str(), flags, _S_IREAD | _S_IWRITE);
    if (descriptor < 0) {
        return nullptr;
    }
    std::FILE* const stream = _fdopen(descriptor, binary ? "wb" : "w");
    if (stream == nullptr) {
        _close(descriptor);
    }
    return stream;
}

bool may_write(const char* name, const file_status& /*at*/)
{
    const std::optional<std::wstring> wide = wide_path(name);
    return wide && _waccess(wide->c_str(), 2) == 0;
}

bool set_file_mode(std::FILE* /*file*/, unsigned /*mode*/)
{
    return true;
}

bool open_positioned(const char* name, positioned_file& file, std::uint64_t& length, link_at_name /*link*/)
{
    const std::optional<std::wstring> wide = wide_path(name);
    if (!wide) {
        return false;
    }
    const HANDLE handle =
        CreateFileW(wide->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    LARGE_INTEGER size{};
    if (GetFileType(handle) != FILE_TYPE_DISK || GetFileSizeEx(handle, &size) == 0) {
        CloseHandle(handle);
        return false;
    }
    file.handle = reinterpret_cast<std::intptr_t>(handle);
    length = static_cast<std::uint64_t>(size.QuadPart);
    return true;
}

bool read_at(const positioned_file& file, std::uint64_t offset, void* buffer, std::size_t length, std::size_t& got)
{
    const auto handle = reinterpret_cast<HANDLE>(file.handle); // NOLINT(performance-no-int-to-ptr)
    got = 0;
    while (got < length) {
        // ReadFile with an offset reads there, whatever the handle's
        // position, in pieces a DWORD can count.
        const std::uint64_t at = offset + got;
        OVERLAPPED where{};
        where.Offset = static_cast<DWORD>(at & 0xFFFFFFFFU);
        where.OffsetHigh = static_cast<DWORD>(at >> 32U);
        const auto want = static_cast<DWORD>(std::min<std::size_t>(length - got, std::size_t{1} << 30U));
        DWORD read = 0;
        if (ReadFile(handle, static_cast<unsigned char*>(buffer) + got, want, &read, &where) == 0) {
            return GetLastError() == ERROR_HANDLE_EOF;
        }
        if (read == 0) {
            return true;
        }
        got += read;
    }
    return true;
}

void close_positioned(positioned_file& file)
{
    if (file.handle != -1) {
        CloseHandle(reinterpret_cast<HANDLE>(file.handle)); // NOLINT(performance-no-int-to-ptr)
        file.handle = -1;
    }
}

bool regular_file_length(std::FILE* file, std::uint64_t& length)
{
    struct _stat64 status {};
    if (_fstat64(_fileno(file), &status) != 0 || (status.st_mode & _S_IFMT) != _S_IFREG) {
        return false;
    }
    length = static_cast<std::uint64_t>(status.st_size);
    return true;
}

bool seek_forward(std::FILE* file, std::uint64_t length, std::uint64_t length_of_file)
{
    const std::int64_t at = _ftelli64(file);
    if (at < 0) {
        return false;
    }
    const auto here = static_cast<std::uint64_t>(at);
    if (here > length_of_file || length > length_of_file - here) {
        _fseeki64(file, 0, SEEK_END);
        return false;
    }
    return _fseeki64(file, static_cast<std::int64_t>(here + length), SEEK_SET) == 0;
}

void set_binary_mode(std::FILE* file)
{
    _setmode(_fileno(file), _O_BINARY);
}

std::int64_t file_length(std::FILE* file)
{
    if (_fseeki64(file, 0, SEEK_END) != 0) {
        return -1;
    }
    return _ftelli64(file);
}

#else

std::string ansi_to_utf8(const char* path)
{
    return path;
}

namespace {

file_identity identity_of_stat(const struct stat& status)
{
    file_identity identity;
    identity.device = static_cast<std::uint64_t>(status.st_dev);
    identity.number = static_cast<std::uint64_t>(status.st_ino);
    identity.known = true;
    return identity;
}

// The process's own user and the permission bits its new files get, each
// asked for once.
uid_t effective_user()
{
    static const uid_t user = geteuid();
    return user;
}

unsigned creation_mode()
{
    static const unsigned mode = [] {
        const mode_t mask = umask(0);
        umask(mask);
        return 0666U & ~static_cast<unsigned>(mask);
    }();
    return mode;
}

// Opens name with flags, which hold O_NONBLOCK, and gives back a stream of
// the given mode on it only if it is a regular file, blocking again.
std::FILE* open_if_regular(const char* name, int flags, const char* mode)
{
    const int descriptor = open(name, flags);
    if (descriptor < 0) {
        return nullptr;
    }
    struct stat opened {};
    std::FILE* stream = nullptr;
    const bool known = fstat(descriptor, &opened) == 0;
    if (known && S_ISREG(opened.st_mode) && fcntl(descriptor, F_SETFL, 0) == 0) {
        stream = fdopen(descriptor, mode);
    }
    if (stream == nullptr) {
        const int reason = errno;
        close(descriptor);
        errno = reason;
        if (known && !S_ISREG(opened.st_mode)) {
            set_not_regular_error(S_ISDIR(opened.st_mode));
        }
    }
    return stream;
}

} // namespace

file_status look_at(const char* name)
{
    file_status result;
    struct stat status {};
    if (lstat(name, &status) != 0) {
        return result;
    }
    if (S_ISREG(status.st_mode)) {
        result.kind = file_kind::regular;
    } else if (S_ISDIR(status.st_mode)) {
        result.kind = file_kind::folder;
    } else if (S_ISLNK(status.st_mode)) {
        result.kind = file_kind::link;
    } else {
        result.kind = file_kind::other;
    }
    result.mode = static_cast<unsigned>(status.st_mode) & 0777U;
    result.owner_may_write = status.st_uid == effective_user() && (status.st_mode & S_IWUSR) != 0;
    result.identity = identity_of_stat(status);
    result.length = static_cast<std::uint64_t>(status.st_size);
    result.length_known = S_ISREG(status.st_mode);
    return result;
}

file_kind kind_reached(const char* name)
{
    struct stat status {};
    if (stat(name, &status) != 0) {
        return file_kind::none;
    }
    if (S_ISREG(status.st_mode)) {
        return file_kind::regular;
    }
    return S_ISDIR(status.st_mode) ? file_kind::folder : file_kind::other;
}

file_identity identity_of(const char* name)
{
    struct stat status {};
    return stat(name, &status) == 0 ? identity_of_stat(status) : file_identity{};
}

file_identity identity_of(std::FILE* file)
{
    struct stat status {};
    return fstat(fileno(file), &status) == 0 ? identity_of_stat(status) : file_identity{};
}

std::FILE* open_regular_input(const char* name)
{
    return open_if_regular(name, O_RDONLY | O_NONBLOCK, "rb");
}

std::FILE* open_regular_output(const char* name)
{
    return open_if_regular(name, O_WRONLY | O_TRUNC | O_NOFOLLOW | O_NONBLOCK, "w");
}

std::FILE* create_exclusive(const char* name, bool binary)
{
    return std::fopen(name, binary ? "wbx" : "wx");
}

bool may_write(const char* name, const file_status& at)
{
    return at.owner_may_write || access(name, W_OK) == 0;
}

bool set_file_mode(std::FILE* file, unsigned mode)
{
    mode &= 0777U;
    return mode == creation_mode() || fchmod(fileno(file), static_cast<mode_t>(mode)) == 0;
}

bool open_positioned(const char* name, positioned_file& file, std::uint64_t& length, link_at_name link)
{
    const int descriptor =
        open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (link == link_at_name::refused ? O_NOFOLLOW : 0));
    if (descriptor < 0) {
        return false;
    }
    struct stat opened {};
    if (fstat(descriptor, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        const int reason = errno;
        close(descriptor);
        errno = reason;
        if (!S_ISREG(opened.st_mode)) {
            set_not_regular_error(S_ISDIR(opened.st_mode));
        }
        return false;
    }
    file.handle = descriptor;
    length = static_cast<std::uint64_t>(opened.st_size);
    return true;
}

bool read_at(const positioned_file& file, std::uint64_t offset, void* buffer, std::size_t length, std::size_t& got)
{
    got = 0;
    while (got < length) {
        // pread reads at most SSIZE_MAX bytes at once, less on some systems.
        const std::size_t want = std::min<std::size_t>(length - got, std::size_t{1} << 30U);
        const ssize_t read = pread(static_cast<int>(file.handle), static_cast<unsigned char*>(buffer) + got, want,
                                   static_cast<off_t>(offset + got));
        if (read < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (read == 0) {
            return true;
        }
        got += static_cast<std::size_t>(read);
    }
    return true;
}

void close_positioned(positioned_file& file)
{
    if (file.handle != -1) {
        close(static_cast<int>(file.handle));
        file.handle = -1;
    }
}

bool regular_file_length(std::FILE* file, std::uint64_t& length)
{
    struct stat status {};
    if (fstat(fileno(file), &status) != 0 || !S_ISREG(status.st_mode)) {
        return false;
    }
    length = static_cast<std::uint64_t>(status.st_size);
    return true;
}

bool seek_forward(std::FILE* file, std::uint64_t length, std::uint64_t length_of_file)
{
    const off_t at = ftello(file);
    if (at < 0) {
        return false;
    }
    const auto here = static_cast<std::uint64_t>(at);
    if (here > length_of_file || length > length_of_file - here) {
        fseeko(file, 0, SEEK_END);
        return false;
    }
    return fseeko(file, static_cast<off_t>(here + length), SEEK_SET) == 0;
}

void set_binary_mode(std::FILE* /*file*/) {}

std::int64_t file_length(std::FILE* file)
{
    if (fseeko(file, 0, SEEK_END) != 0) {
        return -1;
    }
    return ftello(file);
}

#endif

#if defined(_WIN32)
bool is_folder(std::FILE* file)
{
    struct _stat64 status {};
    return _fstat64(_fileno(file), &status) == 0 && (status.st_mode & _S_IFMT) == _S_IFDIR;
}

int system_error()
{
    return static_cast<int>(GetLastError());
}

void set_system_error(int error)
{
    SetLastError(static_cast<DWORD>(error));
}

void set_not_regular_error(bool folder)
{
    SetLastError(folder ? ERROR_DIRECTORY : ERROR_INVALID_FUNCTION);
}
#else
bool is_folder(std::FILE* file)
{
    struct stat status {};
    return fstat(fileno(file), &status) == 0 && S_ISDIR(status.st_mode);
}

int system_error()
{
    return errno;
}

void set_system_error(int error)
{
    errno = error;
}

void set_not_regular_error(bool folder)
{
    errno = folder ? EISDIR : EINVAL;
}
#endif

std::FILE* open_input(const char* name)
{
#if defined(_WIN32)
    const std::optional<std::wstring> wide = wide_path(name);
    return wide ? _wfopen(wide->c_str(), L"rb") : nullptr;
#else
    return std::fopen(name, "rb");
#endif
}

namespace {

// The copy through memory: what the kernel could not copy.
range_end copy_range_through(const positioned_file& in, std::uint64_t offset, std::uint64_t length, std::FILE* out,
                             std::span<unsigned char> buffer)
{
    for (std::uint64_t left = length; left > 0;) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
        std::size_t got = 0;
        if (!read_at(in, offset, buffer.data(), want, got)) {
            return range_end::read_failed;
        }
        if (got < want) {
            return range_end::ended;
        }
        if (std::fwrite(buffer.data(), 1, got, out) != got) {
            return range_end::write_failed;
        }
        offset += got;
        left -= got;
    }
    return range_end::done;
}

} // namespace

range_end copy_range(const positioned_file& in, std::uint64_t offset, std::uint64_t length, std::FILE* out,
                     std::span<unsigned char> buffer)
{
    if (length == 0) {
        return range_end::done;
    }
#if defined(__linux__)
    // The stream's buffered bytes go first; the kernel then writes at the
    // descriptor's position, which the stream is put back at after.
    if (std::fflush(out) != 0) {
        return range_end::write_failed;
    }
    // A file system shares blocks (XFS, btrfs) only between ranges that
    // start on a block boundary of both files: a range that starts inside
    // a block is copied up to the boundary first, so that the rest may be
    // shared where it lies as the bytes do in the other file.
    struct stat out_status {};
    const std::uint64_t block =
        fstat(fileno(out), &out_status) == 0 && out_status.st_blksize > 0 && out_status.st_blksize <= (1 << 20)
            ? static_cast<std::uint64_t>(out_status.st_blksize)
            : 4096;
    auto from = static_cast<loff_t>(offset);
    std::uint64_t left = length;
    while (left > 0) {
        std::uint64_t piece = std::min<std::uint64_t>(left, std::uint64_t{1} << 30U);
        if (const std::uint64_t into_block = static_cast<std::uint64_t>(from) % block; into_block != 0) {
            piece = std::min(piece, block - into_block);
        }
        const auto want = static_cast<std::size_t>(piece);
        const ssize_t copied = copy_file_range(static_cast<int>(in.handle), &from, fileno(out), nullptr, want, 0);
        if (copied > 0) {
            left -= static_cast<std::uint64_t>(copied);
            continue;
        }
        if (copied == 0) {
            return range_end::ended;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == ENOSPC || errno == EFBIG || errno == EDQUOT) {
            return range_end::write_failed;
        }
        // No kernel copy between these two (an older kernel, two file
        // systems, a runner that lacks the call): the rest goes through
        // memory.
        if (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL || errno == EPERM ||
            errno == EBADF) {
            break;
        }
        return range_end::read_failed;
    }
    if (std::fseek(out, 0, SEEK_END) != 0) {
        return range_end::write_failed;
    }
    return copy_range_through(in, static_cast<std::uint64_t>(from), left, out, buffer);
#else
    return copy_range_through(in, offset, length, out, buffer);
#endif
}
