// SPDX-License-Identifier: MIT
// resource_set.hpp: the C++ face of libresource_set, header only, over the C
// interface of resource_set.h.  C++17 and later; nothing in it throws, and it
// builds with -fno-exceptions: each call that can fail returns a result that
// carries the library's status.  Everything is in namespace resource_sets.
// The manual page is resource_set_cpp(3).
#ifndef RESOURCE_SET_HPP
#define RESOURCE_SET_HPP

#include "resource_set.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#if defined(__has_include)
#if __has_include(<version>)
#include <version>
#endif
#endif
#if defined(__cpp_lib_span)
#include <span>
#endif
#if defined(__cpp_exceptions)
#include <new>
#endif

namespace resource_sets {

// One entry of a set's table: the C struct itself.  The entries of a set are
// an array, so that a pointer to one is an iterator over them.
using entry = resource_set_entry;

// The sentence for a status; never null.
inline const char* error_text(resource_set_status status) noexcept
{
    return resource_set_error_text(status);
}

// The library's version as "MAJOR.MINOR.PATCH", and as
// MAJOR * 10000 + MINOR * 100 + PATCH.
inline const char* version() noexcept
{
    return resource_set_version();
}

inline unsigned version_number() noexcept
{
    return resource_set_version_number();
}

// The name of an entry as stored, without its terminator.
inline std::string_view name_of(const entry& e) noexcept
{
    return std::string_view(e.name);
}

// A zero-terminated string that a call passes on to the C interface: made
// from a const char * or a std::string, whose bytes are not copied.
class c_string {
public:
    c_string(const char* text) noexcept : text_(text) {}
    c_string(const std::string& text) noexcept : text_(text.c_str()) {}
    const char* c_str() const noexcept
    {
        return text_;
    }

private:
    const char* text_;
};

// The status of a call and, when it is RESOURCE_SET_OK, its value.  The
// value of a failed result is T's empty value (a closed set, an empty
// vector, 0).
template <class T>
class [[nodiscard]] result {
public:
    result(resource_set_status code, T value) : status_(code), value_(std::move(value)) {}

    resource_set_status status() const noexcept
    {
        return status_;
    }
    bool ok() const noexcept
    {
        return status_ == RESOURCE_SET_OK;
    }
    explicit operator bool() const noexcept
    {
        return ok();
    }
    const char* text() const noexcept
    {
        return resource_set_error_text(status_);
    }
    T& value() & noexcept
    {
        return value_;
    }
    const T& value() const& noexcept
    {
        return value_;
    }
    T value() &&
    {
        return std::move(value_);
    }

private:
    resource_set_status status_;
    T value_;
};

// The status of a call that gives nothing else.
template <>
class [[nodiscard]] result<void> {
public:
    explicit result(resource_set_status code) noexcept : status_(code) {}

    resource_set_status status() const noexcept
    {
        return status_;
    }
    bool ok() const noexcept
    {
        return status_ == RESOURCE_SET_OK;
    }
    explicit operator bool() const noexcept
    {
        return ok();
    }
    const char* text() const noexcept
    {
        return resource_set_error_text(status_);
    }

private:
    resource_set_status status_;
};

// Entries that lie one after another in a set's table: a range for range-for,
// valid until the set is closed.
class entry_range {
public:
    entry_range() noexcept = default;
    entry_range(const entry* first, std::uint32_t count) noexcept : first_(first), count_(first != nullptr ? count : 0)
    {
    }

    const entry* begin() const noexcept
    {
        return first_;
    }
    const entry* end() const noexcept
    {
        return first_ + count_;
    }
    std::uint32_t size() const noexcept
    {
        return count_;
    }
    bool empty() const noexcept
    {
        return count_ == 0;
    }
    // Entry index of the range; index must be less than size().
    const entry& operator[](std::uint32_t index) const noexcept
    {
        return first_[index];
    }

private:
    const entry* first_ = nullptr;
    std::uint32_t count_ = 0;
};

// An open set, or none (an empty set, which has no entries).  Move-only;
// closes the set it holds when destroyed.
class set {
public:
    set() noexcept = default;
    // Takes over a set opened through the C interface.
    explicit set(resource_set* adopted) noexcept : set_(adopted) {}
    set(const set&) = delete;
    set& operator=(const set&) = delete;
    set(set&& other) noexcept : set_(other.release()) {}
    set& operator=(set&& other) noexcept
    {
        if (this != &other) {
            close();
            set_ = other.release();
        }
        return *this;
    }
    ~set()
    {
        close();
    }

    // The set at path; on failure the status and an empty set.
    static result<set> open(c_string path) noexcept
    {
        resource_set* opened = nullptr;
        const resource_set_status status = resource_set_open(path.c_str(), &opened);
        return result<set>(status, set(opened));
    }
    // The set held in the size bytes at data, which must stay valid and
    // unchanged until the set is closed.
    static result<set> open_memory(const void* data, std::size_t size) noexcept
    {
        resource_set* opened = nullptr;
        const resource_set_status status = resource_set_open_memory(data, size, &opened);
        return result<set>(status, set(opened));
    }

    // Closes the set, which is then empty; every entry it gave is gone.
    // An empty set is left as it is.
    void close() noexcept
    {
        resource_set_close(set_);
        set_ = nullptr;
    }
    bool is_open() const noexcept
    {
        return set_ != nullptr;
    }
    explicit operator bool() const noexcept
    {
        return is_open();
    }
    // The C interface's set, still owned by this one; null when empty.
    resource_set* get() const noexcept
    {
        return set_;
    }
    // Gives up the set, which the caller then closes; this one is empty.
    resource_set* release() noexcept
    {
        return std::exchange(set_, nullptr);
    }

    std::uint32_t count() const noexcept
    {
        return resource_set_count(set_);
    }
    std::uint32_t keep_count() const noexcept
    {
        return resource_set_keep_count(set_);
    }
    // Every entry, in table order; the kept ones, before the discard point.
    entry_range entries() const noexcept
    {
        return entry_range(resource_set_entry_at(set_, 0), count());
    }
    entry_range kept() const noexcept
    {
        return entry_range(resource_set_entry_at(set_, 0), keep_count());
    }
    const entry* begin() const noexcept
    {
        return entries().begin();
    }
    const entry* end() const noexcept
    {
        return entries().end();
    }
    // Entry index, from 0 in table order; null past the end.
    const entry* entry_at(std::uint32_t index) const noexcept
    {
        return resource_set_entry_at(set_, index);
    }
    // The last entry of that name, byte for byte; null if there is none.
    // name need not be zero-terminated.
    const entry* find(std::string_view name) const noexcept
    {
        return resource_set_find_n(set_, name.data(), name.size());
    }

    // Copies up to length bytes of e's payload, from offset within it, into
    // buffer; the value is the count, short only at the payload's end.
    result<std::size_t> read(const entry& e, std::uint64_t offset, void* buffer, std::size_t length) const noexcept
    {
        std::size_t got = 0;
        const resource_set_status status = resource_set_read(set_, &e, offset, buffer, length, &got);
        return result<std::size_t>(status, got);
    }
#if defined(__cpp_lib_span)
    result<std::size_t> read(const entry& e, std::uint64_t offset, std::span<std::byte> buffer) const noexcept
    {
        return read(e, offset, buffer.data(), buffer.size());
    }
#endif
    // The whole payload of e.  Memory running out gives
    // RESOURCE_SET_ERROR_MEMORY where exceptions are on; without them, what
    // the standard library does then (libstdc++ aborts).
    result<std::vector<std::byte>> read_all(const entry& e) const noexcept
    {
        std::vector<std::byte> payload;
#if defined(__cpp_exceptions)
        try {
            payload.resize(e.size);
        } catch (const std::bad_alloc&) {
            return result<std::vector<std::byte>>(RESOURCE_SET_ERROR_MEMORY, std::vector<std::byte>());
        }
#else
        payload.resize(e.size);
#endif
        const result<std::size_t> got = read(e, 0, payload.data(), payload.size());
        if (!got) {
            return result<std::vector<std::byte>>(got.status(), std::vector<std::byte>());
        }
        payload.resize(got.value());
        return result<std::vector<std::byte>>(RESOURCE_SET_OK, std::move(payload));
    }

private:
    resource_set* set_ = nullptr;
};

// A writer of a set, or none.  Move-only; a writer destroyed without its
// commit is abandoned, and nothing is written.  Each call returns the C
// interface's status; an empty writer's are RESOURCE_SET_ERROR_ARGUMENT.
class writer {
public:
    writer() noexcept = default;
    explicit writer(resource_set_writer* adopted) noexcept : writer_(adopted) {}
    writer(const writer&) = delete;
    writer& operator=(const writer&) = delete;
    writer(writer&& other) noexcept : writer_(other.release()) {}
    writer& operator=(writer&& other) noexcept
    {
        if (this != &other) {
            abandon();
            writer_ = other.release();
        }
        return *this;
    }
    ~writer()
    {
        abandon();
    }

    // A writer of the set at path; nothing is written before the commit.
    static result<writer> create(c_string path) noexcept
    {
        resource_set_writer* created = nullptr;
        const resource_set_status status = resource_set_writer_create(path.c_str(), &created);
        return result<writer>(status, writer(created));
    }

    // An entry of the size bytes at payload, which must stay valid and
    // unchanged until the commit.
    result<void> add_memory(c_string name, std::uint32_t word1, std::uint32_t word2, const void* payload,
                            std::size_t size) noexcept
    {
        return result<void>(resource_set_writer_add_memory(writer_, name.c_str(), word1, word2, payload, size));
    }
#if defined(__cpp_lib_span)
    result<void> add_memory(c_string name, std::uint32_t word1, std::uint32_t word2,
                            std::span<const std::byte> payload) noexcept
    {
        return add_memory(name, word1, word2, payload.data(), payload.size());
    }
#endif
    // An entry made of the resource file at resource_file, as packing makes it.
    result<void> add_file(c_string name, c_string resource_file) noexcept
    {
        return result<void>(resource_set_writer_add_file(writer_, name.c_str(), resource_file.c_str()));
    }
    // A copy of e, an entry of from, which must stay open until the commit.
    result<void> add_entry(c_string name, const set& from, const entry& e) noexcept
    {
        return result<void>(resource_set_writer_add_entry(writer_, name.c_str(), from.get(), &e));
    }
    // The discard point: the entries added so far are the kept ones.
    result<void> discard() noexcept
    {
        return result<void>(resource_set_writer_discard(writer_));
    }
    // Writes the set and puts it in place.  The writer is empty afterwards,
    // whatever the status.
    result<void> commit() noexcept
    {
        return result<void>(resource_set_writer_commit(release()));
    }
    // Drops the writer, writing nothing; the writer is then empty.
    void abandon() noexcept
    {
        resource_set_writer_abandon(release());
    }

    bool is_open() const noexcept
    {
        return writer_ != nullptr;
    }
    explicit operator bool() const noexcept
    {
        return is_open();
    }
    resource_set_writer* get() const noexcept
    {
        return writer_;
    }
    resource_set_writer* release() noexcept
    {
        return std::exchange(writer_, nullptr);
    }

private:
    resource_set_writer* writer_ = nullptr;
};

using finding = resource_set_finding;

// The sentence for a problem; never null.
inline const char* problem_text(resource_set_problem problem) noexcept
{
    return resource_set_problem_text(problem);
}

namespace detail {
template <class F>
void call_on_finding(void* context, const resource_set_finding* found) noexcept
{
    (*static_cast<F*>(context))(*found);
}
} // namespace detail

// Checks the whole set at path, bodies included; the value is the number of
// problems found.  on_finding, a callable taking a const finding &, sees
// each problem as it is found; it must not throw.
template <class F>
result<std::uint32_t> check(c_string path, F&& on_finding) noexcept
{
    using callable = std::remove_reference_t<F>;
    std::uint32_t problems = 0;
    const resource_set_status status =
        resource_set_check(path.c_str(), &detail::call_on_finding<callable>,
                           const_cast<void*>(static_cast<const void*>(&on_finding)), &problems);
    return result<std::uint32_t>(status, problems);
}

inline result<std::uint32_t> check(c_string path) noexcept
{
    std::uint32_t problems = 0;
    const resource_set_status status = resource_set_check(path.c_str(), nullptr, nullptr, &problems);
    return result<std::uint32_t>(status, problems);
}

} // namespace resource_sets

#endif
