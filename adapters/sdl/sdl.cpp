// SPDX-License-Identifier: MIT
// An SDL_RWops over one payload of a set, read through resource_set_read.
#include "resource_set_sdl.h"

#include <SDL_error.h>
#include <SDL_rwops.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <new>

namespace {

struct stream {
    const resource_set* set = nullptr;
    const resource_set_entry* entry = nullptr;
    std::uint64_t position = 0;
};

stream& stream_of(SDL_RWops* rw)
{
    return *static_cast<stream*>(rw->hidden.unknown.data1);
}

Sint64 stream_size(SDL_RWops* rw)
{
    return stream_of(rw).entry->size;
}

Sint64 stream_seek(SDL_RWops* rw, Sint64 offset, int whence)
{
    stream& at = stream_of(rw);
    const auto size = static_cast<Sint64>(at.entry->size);
    Sint64 base = 0;
    switch (whence) {
    case RW_SEEK_SET:
        base = 0;
        break;
    case RW_SEEK_CUR:
        base = static_cast<Sint64>(at.position);
        break;
    case RW_SEEK_END:
        base = size;
        break;
    default:
        return SDL_SetError("resource set stream: unknown whence %d", whence);
    }
    // Both within [-2^63, 2^63): the sum overflows only when offset is far
    // outside the payload, which is refused or taken as its end anyway.
    if (offset < -base) {
        return SDL_SetError("resource set stream: seek before the start");
    }
    const Sint64 target = offset > size - base ? size : base + offset;
    at.position = static_cast<std::uint64_t>(target);
    return target;
}

size_t stream_read(SDL_RWops* rw, void* buffer, size_t size, size_t count)
{
    stream& at = stream_of(rw);
    if (size == 0 || count == 0) {
        return 0;
    }
    const std::uint64_t left = at.entry->size - std::min<std::uint64_t>(at.position, at.entry->size);
    const std::size_t wanted =
        count > std::numeric_limits<std::size_t>::max() / size ? std::numeric_limits<std::size_t>::max() : size * count;
    std::size_t got = 0;
    const resource_set_status status = resource_set_read(
        at.set, at.entry, at.position, buffer, static_cast<std::size_t>(std::min<std::uint64_t>(wanted, left)), &got);
    if (status != RESOURCE_SET_OK) {
        SDL_SetError("resource set stream: %s", resource_set_error_text(status));
        return 0;
    }
    at.position += got;
    return got / size;
}

size_t stream_write(SDL_RWops* /*rw*/, const void* /*buffer*/, size_t /*size*/, size_t /*count*/)
{
    SDL_SetError("resource set stream: read only");
    return 0;
}

int stream_close(SDL_RWops* rw)
{
    delete &stream_of(rw);
    SDL_FreeRW(rw);
    return 0;
}

bool gave(const resource_set* set, const resource_set_entry* entry)
{
    const resource_set_entry* first = resource_set_entry_at(set, 0);
    const std::uint32_t count = resource_set_count(set);
    if (first == nullptr) {
        return false;
    }
    // The entries are one array: entry is one of them when it lies within it.
    const auto at = reinterpret_cast<std::uintptr_t>(entry);
    const auto start = reinterpret_cast<std::uintptr_t>(first);
    return at >= start && at < start + std::uintptr_t{count} * sizeof *first && (at - start) % sizeof *first == 0;
}

} // namespace

extern "C" SDL_RWops* resource_set_rwops(const resource_set* set, const resource_set_entry* entry)
{
    if (set == nullptr || entry == nullptr) {
        SDL_SetError("resource set stream: null %s", set == nullptr ? "set" : "entry");
        return nullptr;
    }
    if (!gave(set, entry)) {
        SDL_SetError("resource set stream: an entry of another set");
        return nullptr;
    }
    auto* at = new (std::nothrow) stream{set, entry, 0};
    SDL_RWops* rw = at == nullptr ? nullptr : SDL_AllocRW();
    if (rw == nullptr) {
        delete at;
        SDL_OutOfMemory();
        return nullptr;
    }
    rw->size = stream_size;
    rw->seek = stream_seek;
    rw->read = stream_read;
    rw->write = stream_write;
    rw->close = stream_close;
    rw->type = SDL_RWOPS_UNKNOWN;
    rw->hidden.unknown.data1 = at;
    rw->hidden.unknown.data2 = nullptr;
    return rw;
}

extern "C" SDL_RWops* resource_set_rwops_by_name(const resource_set* set, const char* name)
{
    if (set == nullptr || name == nullptr) {
        SDL_SetError("resource set stream: null %s", set == nullptr ? "set" : "name");
        return nullptr;
    }
    const resource_set_entry* entry = resource_set_find(set, name);
    if (entry == nullptr) {
        SDL_SetError("resource set stream: no resource named %s", name);
        return nullptr;
    }
    return resource_set_rwops(set, entry);
}
