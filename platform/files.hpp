// SPDX-License-Identifier: MIT
// Files as this system has them: what separates folders in a path, what
// stands at a name, and files opened so that nothing planted at a name (a
// link, a FIFO, a device) is written through or waited on.
#ifndef PLATFORM_FILES_HPP
#define PLATFORM_FILES_HPP

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>

#if defined(_WIN32)
// Both '/' and '\' separate folders.
inline constexpr const char* FOLDER_SEPARATORS = "/\\";
// Names such as NUL, CON or COM1.txt open a device, not a file.
inline constexpr bool DEVICE_NAMES_ARE_RESERVED = true;
// Names of files ignore case, and trailing dots and spaces.
inline constexpr bool NAMES_FOLD = true;
// The C library sees through links: any file may be one.
inline constexpr bool LINKS_ARE_SEEN = false;
#else
inline constexpr const char* FOLDER_SEPARATORS = "/";
inline constexpr bool DEVICE_NAMES_ARE_RESERVED = false;
inline constexpr bool NAMES_FOLD = false;
inline constexpr bool LINKS_ARE_SEEN = true;
#endif

inline bool is_folder_separator(char c)
{
    for (const char* separator = FOLDER_SEPARATORS; *separator != '\0'; ++separator) {
        if (c == *separator) {
            return true;
        }
    }
    return false;
}

// Every function of this layer that takes a path takes it as bytes: on
// POSIX systems as the system does, and on Windows in the ANSI code page,
// as a program's arguments come, or in UTF-8 while a utf8_paths lives on
// the calling thread.  Windows gets them from one place, wide_path, as the
// UTF-16 its wide functions take.
class utf8_paths {
public:
#if defined(_WIN32)
    utf8_paths() noexcept;
    ~utf8_paths();
#else
    utf8_paths() noexcept {}
    ~utf8_paths() {}
#endif
    utf8_paths(const utf8_paths&) = delete;
    utf8_paths& operator=(const utf8_paths&) = delete;

#if defined(_WIN32)
private:
    // The code page of the scope around this one.
    bool outer_;
#endif
};

#if defined(_WIN32)
// path in UTF-16, from the code page in force on this thread (see
// utf8_paths).  Nothing, with the system's error set, for bytes that are
// not UTF-8 where UTF-8 is in force, or when memory runs out.
std::optional<std::wstring> wide_path(const char* path) noexcept;

// The way back, for a path the system gives: characters the ANSI code page
// lacks become '?', as the system's own ANSI functions give them.
std::optional<std::string> narrow_path(const std::wstring& path) noexcept;
#endif

// path, given in the ANSI code page, in UTF-8, as the loader library takes
// paths on Windows; path itself elsewhere.
std::string ansi_to_utf8(const char* path);

// The folder part of path, its last separator included: "" for a name in
// the current folder.
std::string folder_of(const std::string& path);

// What stands at a name; "other" is a FIFO, a socket or a device.
enum class file_kind { none, regular, folder, link, other };

// Which file a name or a stream reaches: device and file number.
struct file_identity {
    std::uint64_t device = 0;
    std::uint64_t number = 0;
    bool known = false;
};

// True when both are known and are the same file.
bool same_file(const file_identity& a, const file_identity& b);

struct file_status {
    file_kind kind = file_kind::none;
    // The permission bits (rwx for owner, group and others).
    unsigned mode = 0;
    // True when this process owns the file and its owner may write it,
    // which makes asking the system (may_write) needless.
    bool owner_may_write = false;
    // What the name itself is, a link not followed; unknown where a look at
    // a name does not tell (Windows).
    file_identity identity;
    // The length of a regular file, where length_known says the look told
    // it (not on Windows).
    std::uint64_t length = 0;
    bool length_known = false;
};

// One look at what stands at name, without following a link there.  Kind
// none when nothing does, or when the name cannot be looked at (a folder on
// the way is missing or may not be searched), in which case nothing can be
// created there either.
file_status look_at(const char* name);

// What stands at the end of name's links: none when nothing does.
file_kind kind_reached(const char* name);

// The file that name reaches, links followed; unknown when there is none.
file_identity identity_of(const char* name);
// The file an open stream reads or writes; unknown for a pipe on Windows.
file_identity identity_of(std::FILE* file);

// Opens name for reading in binary mode, whatever it is: a pipe or a FIFO
// will do.  Null when it cannot be opened.
std::FILE* open_input(const char* name);

// The system's reason for the last call that failed: errno, or on Windows
// GetLastError().
int system_error();
void set_system_error(int error);

// Sets the system's reason for a name that is a folder, or else some other
// kind of file than a regular one, where a regular file was wanted: EISDIR
// or EINVAL (on Windows ERROR_DIRECTORY or ERROR_INVALID_FUNCTION).
void set_not_regular_error(bool folder);

// Opens name for reading in binary mode if it is a regular file (a link to
// one will do).  Never waits, for a FIFO's writer or anything else: null for
// anything but a regular file, or when it cannot be opened.
std::FILE* open_regular_input(const char* name);

// Opens the regular file at name for text output, truncated.  The open
// neither follows a link nor waits for a FIFO's reader, and what it opened
// is given back only if it is a regular file: something planted at the name
// since it was looked at is never written.  Null otherwise.
std::FILE* open_regular_output(const char* name);

// Creates name for writing, failing when anything, a link included, stands
// there already.  Null when it cannot be created.
std::FILE* create_exclusive(const char* name, bool binary);

// False for an existing file that this process may not open for writing;
// at is what a look at name found there.
bool may_write(const char* name, const file_status& at);

// Puts the permission bits mode on the open file itself, never on whatever
// its name reaches by then, when a file created by create_exclusive does
// not have them already.  Nothing to do on Windows, where a new file gets
// its attributes when it is created.
bool set_file_mode(std::FILE* file, unsigned mode);

// A regular file opened for reads at any offset, which any number of
// threads may make at once: no file position is shared between them.
struct positioned_file {
    // The descriptor, or on Windows the handle; -1 when none is open.
    std::intptr_t handle = -1;
};

// What an open does with a symbolic link at the name itself.
enum class link_at_name { followed, refused };

// Opens name, which must be a regular file (a link to one will do, unless
// refused), for positioned reads and gives its length.  Never waits, for a
// FIFO or anything else.  False when it cannot be opened or is not a
// regular file.  Windows opens what the name reaches (LINKS_ARE_SEEN).
bool open_positioned(const char* name, positioned_file& file, std::uint64_t& length,
                     link_at_name link = link_at_name::followed);

// Reads up to length bytes at offset into buffer; got is the count, short
// only where the file ends.  False when the system reports an error, with
// got what was read before it.
bool read_at(const positioned_file& file, std::uint64_t offset, void* buffer, std::size_t length, std::size_t& got);

void close_positioned(positioned_file& file);

// How copy_range ended.
enum class range_end {
    done,        // every byte was copied
    ended,       // in ends before the range does
    read_failed, // reading in failed
    write_failed // writing out failed
};

// Appends length bytes of in, from offset on, onto out, which is flushed
// first and left at its end.  The kernel copies them where it can
// (copy_file_range, which is a reflink on XFS and btrfs), with no pass
// through memory; elsewhere, and where the two files cannot be copied
// between so, they go through buffer.
range_end copy_range(const positioned_file& in, std::uint64_t offset, std::uint64_t length, std::FILE* out,
                     std::span<unsigned char> buffer);

// True, with its length, when file is open on a regular file, in which a
// reader may seek; false for a pipe, a FIFO, a device.
bool regular_file_length(std::FILE* file, std::uint64_t& length);

// Moves file's position length bytes on, where the file is length_of_file
// bytes long.  False, at its end, when that is past it.
bool seek_forward(std::FILE* file, std::uint64_t length, std::uint64_t length_of_file);

// Makes the stream pass bytes unchanged: no newline translation (Windows).
void set_binary_mode(std::FILE* file);

// Length of an open file, found by seeking to its end; -1 when the position
// cannot be had.  64-bit on every platform, so that no length wraps.
std::int64_t file_length(std::FILE* file);

// True when the open stream reads a folder (which some systems let the C
// library open).
bool is_folder(std::FILE* file);

#endif
