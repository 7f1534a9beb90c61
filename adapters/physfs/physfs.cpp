// SPDX-License-Identifier: MIT
// A PhysicsFS archiver of resource sets: the set's table made into a tree of
// folders and files at mount, each file read through resource_set_read.
#include "resource_set_physfs.h"

#include <physfs.h>
#include <resource_set.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

// One folder or file of the tree.  A file is an entry of the set; a folder
// has a name of its own, its last component, and the folders and files in
// it, in the order of their first entries in the table.
struct node {
    const resource_set_entry* entry = nullptr;
    std::string folder_name;
    std::vector<std::uint32_t> children;
};

struct archive {
    PHYSFS_Io* io = nullptr;
    resource_set* set = nullptr;
    // The set's bytes, for a set that is not read from the file named.
    std::vector<unsigned char> bytes;
    // Every path, without a leading '/' (the root is ""), to its node.  The
    // keys are the entries' names or the leading part of one.
    std::unordered_map<std::string_view, std::uint32_t> paths;
    std::vector<node> nodes;
};

struct open_file {
    PHYSFS_Io io{};
    const resource_set* set = nullptr;
    const resource_set_entry* entry = nullptr;
    std::uint64_t position = 0;
};

constexpr std::array<unsigned char, 4> MAGIC{'0', 'T', 'S', 'R'};

PHYSFS_ErrorCode error_of(resource_set_status status)
{
    switch (status) {
    case RESOURCE_SET_ERROR_FORMAT:
    case RESOURCE_SET_ERROR_SHORT:
        return PHYSFS_ERR_CORRUPT;
    case RESOURCE_SET_ERROR_MEMORY:
        return PHYSFS_ERR_OUT_OF_MEMORY;
    case RESOURCE_SET_ERROR_OPEN:
    case RESOURCE_SET_ERROR_READ:
        return PHYSFS_ERR_IO;
    default:
        return PHYSFS_ERR_OTHER_ERROR;
    }
}

// A name PhysicsFS can reach and the library would extract: safe, not
// empty, and made of components that are neither empty nor "."; PhysicsFS
// refuses '\' and ':' in every path.
bool is_mountable(std::string_view name, const char* stored)
{
    if (name.empty() || resource_set_name_is_safe(stored) == 0) {
        return false;
    }
    if (name.find_first_of("\\:") != std::string_view::npos) {
        return false;
    }
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find('/', start);
        if (end == std::string_view::npos) {
            end = name.size();
        }
        const std::string_view component = name.substr(start, end - start);
        if (component.empty() || component == ".") {
            return false;
        }
        start = end + 1;
    }
    return true;
}

std::string_view parent_of(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string_view{} : path.substr(0, slash);
}

std::uint32_t folder_node(archive& mounted, std::string_view path)
{
    const auto found = mounted.paths.find(path);
    if (found != mounted.paths.end()) {
        return found->second;
    }
    const std::uint32_t parent = folder_node(mounted, parent_of(path));
    const auto index = static_cast<std::uint32_t>(mounted.nodes.size());
    node folder;
    const std::size_t slash = path.rfind('/');
    folder.folder_name = std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
    mounted.nodes.push_back(std::move(folder));
    mounted.nodes[parent].children.push_back(index);
    mounted.paths.emplace(path, index);
    return index;
}

// The tree of the set's entries.  The last entry of a name is its file; a
// name that is also a folder of another entry's name is the folder.
void build_tree(archive& mounted)
{
    const std::uint32_t count = resource_set_count(mounted.set);
    std::vector<const resource_set_entry*> mountable;
    mountable.reserve(count);
    std::unordered_set<std::string_view> folders;
    for (std::uint32_t i = 0; i < count; ++i) {
        const resource_set_entry* entry = resource_set_entry_at(mounted.set, i);
        const std::string_view name{entry->name};
        if (!is_mountable(name, entry->name)) {
            continue;
        }
        mountable.push_back(entry);
        for (std::size_t slash = name.find('/'); slash != std::string_view::npos; slash = name.find('/', slash + 1)) {
            folders.insert(name.substr(0, slash));
        }
    }
    mounted.nodes.reserve(mountable.size() + folders.size() + 1);
    mounted.paths.reserve(mountable.size() + folders.size() + 1);
    mounted.nodes.emplace_back();
    mounted.paths.emplace(std::string_view{}, 0);
    for (const resource_set_entry* entry : mountable) {
        const std::string_view name{entry->name};
        if (folders.contains(name)) {
            continue;
        }
        const auto found = mounted.paths.find(name);
        if (found != mounted.paths.end()) {
            mounted.nodes[found->second].entry = entry;
            continue;
        }
        const std::uint32_t parent = folder_node(mounted, parent_of(name));
        const auto index = static_cast<std::uint32_t>(mounted.nodes.size());
        node file;
        file.entry = entry;
        mounted.nodes.push_back(std::move(file));
        mounted.nodes[parent].children.push_back(index);
        mounted.paths.emplace(name, index);
    }
}

const char* leaf_of(const node& item)
{
    if (item.entry == nullptr) {
        return item.folder_name.c_str();
    }
    const char* slash = std::strrchr(item.entry->name, '/');
    return slash == nullptr ? item.entry->name : slash + 1;
}

const node* node_at(void* opaque, const char* path)
{
    const auto& mounted = *static_cast<const archive*>(opaque);
    const auto found = mounted.paths.find(std::string_view{path});
    return found == mounted.paths.end() ? nullptr : &mounted.nodes[found->second];
}

// ---- Reading the table through the Io ------------------------------------

// Whether the set the library opened from the file named is the one the Io
// gives: the same header and table, read through the Io in large pieces.
struct table_match {
    PHYSFS_Io* io = nullptr;
    const resource_set* set = nullptr;
    std::vector<unsigned char> buffer;
    std::size_t start = 0;
    std::size_t end = 0;
    std::uint32_t entries = 0;
    bool same = true;
};

int read_buffered(void* context, void* buffer, std::size_t length, std::size_t* got)
{
    auto& match = *static_cast<table_match*>(context);
    auto* out = static_cast<unsigned char*>(buffer);
    *got = 0;
    while (*got < length) {
        if (match.start == match.end) {
            const PHYSFS_sint64 read = match.io->read(match.io, match.buffer.data(), match.buffer.size());
            if (read < 0) {
                return 1;
            }
            if (read == 0) {
                return 0;
            }
            match.start = 0;
            match.end = static_cast<std::size_t>(read);
        }
        const std::size_t piece = std::min(length - *got, match.end - match.start);
        std::memcpy(out + *got, match.buffer.data() + match.start, piece);
        match.start += piece;
        *got += piece;
    }
    return 0;
}

void match_header(void* context, std::uint32_t count, std::uint32_t keep_count, std::uint32_t /*keep_end*/)
{
    auto& match = *static_cast<table_match*>(context);
    match.same =
        match.same && count == resource_set_count(match.set) && keep_count == resource_set_keep_count(match.set);
}

void match_entry(void* context, std::uint32_t index, const resource_set_entry* entry)
{
    auto& match = *static_cast<table_match*>(context);
    const resource_set_entry* opened = resource_set_entry_at(match.set, index);
    match.same = match.same && opened != nullptr && std::strcmp(opened->name, entry->name) == 0 &&
                 opened->word1 == entry->word1 && opened->word2 == entry->word2 && opened->size == entry->size &&
                 opened->offset == entry->offset;
    ++match.entries;
}

bool io_holds(PHYSFS_Io* io, const resource_set* set)
{
    table_match match;
    match.io = io;
    match.set = set;
    match.buffer.resize(std::size_t{1} << 16U);
    if (io->seek(io, 0) == 0) {
        return false;
    }
    resource_set_check_callbacks callbacks{};
    callbacks.size = sizeof callbacks;
    callbacks.read = read_buffered;
    callbacks.header = match_header;
    callbacks.entry = match_entry;
    callbacks.context = &match;
    return resource_set_read_table_stream(&callbacks) == RESOURCE_SET_OK && match.same &&
           match.entries == resource_set_count(set);
}

// The whole of the Io, into bytes.
bool read_all(PHYSFS_Io* io, std::vector<unsigned char>& bytes)
{
    const PHYSFS_sint64 length = io->length(io);
    if (length < 0 || static_cast<std::uint64_t>(length) > std::numeric_limits<std::size_t>::max() ||
        io->seek(io, 0) == 0) {
        PHYSFS_setErrorCode(PHYSFS_ERR_IO);
        return false;
    }
    bytes.resize(static_cast<std::size_t>(length));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const PHYSFS_sint64 read = io->read(io, bytes.data() + done, bytes.size() - done);
        if (read <= 0) {
            break;
        }
        done += static_cast<std::size_t>(read);
    }
    bytes.resize(done);
    return true;
}

// ---- The files' Io --------------------------------------------------------

PHYSFS_Io* make_file_io(const resource_set* set, const resource_set_entry* entry);

PHYSFS_sint64 file_read(PHYSFS_Io* io, void* buffer, PHYSFS_uint64 length)
{
    auto& file = *static_cast<open_file*>(io->opaque);
    const std::uint64_t left = file.entry->size - std::min<std::uint64_t>(file.position, file.entry->size);
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(length, left));
    std::size_t got = 0;
    const resource_set_status status = resource_set_read(file.set, file.entry, file.position, buffer, wanted, &got);
    if (status != RESOURCE_SET_OK) {
        PHYSFS_setErrorCode(error_of(status));
        return -1;
    }
    file.position += got;
    return static_cast<PHYSFS_sint64>(got);
}

PHYSFS_sint64 file_write(PHYSFS_Io* /*io*/, const void* /*buffer*/, PHYSFS_uint64 /*length*/)
{
    PHYSFS_setErrorCode(PHYSFS_ERR_READ_ONLY);
    return -1;
}

int file_seek(PHYSFS_Io* io, PHYSFS_uint64 offset)
{
    auto& file = *static_cast<open_file*>(io->opaque);
    if (offset > file.entry->size) {
        PHYSFS_setErrorCode(PHYSFS_ERR_PAST_EOF);
        return 0;
    }
    file.position = offset;
    return 1;
}

PHYSFS_sint64 file_tell(PHYSFS_Io* io)
{
    return static_cast<PHYSFS_sint64>(static_cast<open_file*>(io->opaque)->position);
}

PHYSFS_sint64 file_length(PHYSFS_Io* io)
{
    return static_cast<open_file*>(io->opaque)->entry->size;
}

PHYSFS_Io* file_duplicate(PHYSFS_Io* io)
{
    const auto& file = *static_cast<open_file*>(io->opaque);
    return make_file_io(file.set, file.entry);
}

int file_flush(PHYSFS_Io* /*io*/)
{
    return 1;
}

void file_destroy(PHYSFS_Io* io)
{
    delete static_cast<open_file*>(io->opaque);
}

PHYSFS_Io* make_file_io(const resource_set* set, const resource_set_entry* entry)
{
    auto* file = new (std::nothrow) open_file;
    if (file == nullptr) {
        PHYSFS_setErrorCode(PHYSFS_ERR_OUT_OF_MEMORY);
        return nullptr;
    }
    file->set = set;
    file->entry = entry;
    file->io.version = 0;
    file->io.opaque = file;
    file->io.read = file_read;
    file->io.write = file_write;
    file->io.seek = file_seek;
    file->io.tell = file_tell;
    file->io.length = file_length;
    file->io.duplicate = file_duplicate;
    file->io.flush = file_flush;
    file->io.destroy = file_destroy;
    return &file->io;
}

// ---- The archiver ---------------------------------------------------------

void* open_archive(PHYSFS_Io* io, const char* name, int for_write, int* claimed)
{
    *claimed = 0;
    std::array<unsigned char, MAGIC.size()> magic{};
    if (io->read(io, magic.data(), magic.size()) != static_cast<PHYSFS_sint64>(magic.size()) || magic != MAGIC) {
        io->seek(io, 0);
        return nullptr;
    }
    *claimed = 1;
    if (for_write != 0) {
        PHYSFS_setErrorCode(PHYSFS_ERR_READ_ONLY);
        return nullptr;
    }
    auto* mounted = new (std::nothrow) archive;
    if (mounted == nullptr) {
        PHYSFS_setErrorCode(PHYSFS_ERR_OUT_OF_MEMORY);
        return nullptr;
    }
    try {
        // A set mounted from its file is read by the library from that file,
        // at offsets, from any thread; any other (a set in memory, an Io of
        // the caller's) is read whole into memory first.
        if (name != nullptr && resource_set_open(name, &mounted->set) == RESOURCE_SET_OK &&
            !io_holds(io, mounted->set)) {
            resource_set_close(mounted->set);
            mounted->set = nullptr;
        }
        if (mounted->set == nullptr) {
            if (!read_all(io, mounted->bytes)) {
                delete mounted;
                return nullptr;
            }
            const resource_set_status status =
                resource_set_open_memory(mounted->bytes.data(), mounted->bytes.size(), &mounted->set);
            if (status != RESOURCE_SET_OK) {
                PHYSFS_setErrorCode(error_of(status));
                delete mounted;
                return nullptr;
            }
        }
        build_tree(*mounted);
    } catch (...) {
        resource_set_close(mounted->set);
        delete mounted;
        PHYSFS_setErrorCode(PHYSFS_ERR_OUT_OF_MEMORY);
        return nullptr;
    }
    mounted->io = io;
    return mounted;
}

PHYSFS_EnumerateCallbackResult enumerate(void* opaque, const char* folder, PHYSFS_EnumerateCallback callback,
                                         const char* original, void* data)
{
    const node* item = node_at(opaque, folder);
    if (item == nullptr || item->entry != nullptr) {
        return PHYSFS_ENUM_OK;
    }
    const auto& mounted = *static_cast<const archive*>(opaque);
    for (const std::uint32_t child : item->children) {
        const PHYSFS_EnumerateCallbackResult result = callback(data, original, leaf_of(mounted.nodes[child]));
        if (result == PHYSFS_ENUM_ERROR) {
            PHYSFS_setErrorCode(PHYSFS_ERR_APP_CALLBACK);
            return PHYSFS_ENUM_ERROR;
        }
        if (result == PHYSFS_ENUM_STOP) {
            return PHYSFS_ENUM_STOP;
        }
    }
    return PHYSFS_ENUM_OK;
}

PHYSFS_Io* open_read(void* opaque, const char* path)
{
    const node* item = node_at(opaque, path);
    if (item == nullptr) {
        PHYSFS_setErrorCode(PHYSFS_ERR_NOT_FOUND);
        return nullptr;
    }
    if (item->entry == nullptr) {
        PHYSFS_setErrorCode(PHYSFS_ERR_NOT_A_FILE);
        return nullptr;
    }
    return make_file_io(static_cast<const archive*>(opaque)->set, item->entry);
}

PHYSFS_Io* open_write(void* /*opaque*/, const char* /*path*/)
{
    PHYSFS_setErrorCode(PHYSFS_ERR_READ_ONLY);
    return nullptr;
}

int change(void* /*opaque*/, const char* /*path*/)
{
    PHYSFS_setErrorCode(PHYSFS_ERR_READ_ONLY);
    return 0;
}

int stat(void* opaque, const char* path, PHYSFS_Stat* stat)
{
    const node* item = node_at(opaque, path);
    if (item == nullptr) {
        PHYSFS_setErrorCode(PHYSFS_ERR_NOT_FOUND);
        return 0;
    }
    stat->filesize = item->entry == nullptr ? 0 : item->entry->size;
    stat->modtime = -1;
    stat->createtime = -1;
    stat->accesstime = -1;
    stat->filetype = item->entry == nullptr ? PHYSFS_FILETYPE_DIRECTORY : PHYSFS_FILETYPE_REGULAR;
    stat->readonly = 1;
    return 1;
}

void close_archive(void* opaque)
{
    auto* mounted = static_cast<archive*>(opaque);
    resource_set_close(mounted->set);
    mounted->io->destroy(mounted->io);
    delete mounted;
}

const PHYSFS_Archiver ARCHIVER = {
    0,
    {"SET", "Resource set", "resource set tools", "", 0},
    open_archive,
    enumerate,
    open_read,
    open_write,
    open_write,
    change,
    change,
    stat,
    close_archive,
};

} // namespace

extern "C" int resource_set_physfs_register(void)
{
    return PHYSFS_registerArchiver(&ARCHIVER);
}
