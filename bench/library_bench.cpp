// SPDX-License-Identifier: MIT
// The loader library timed by Google Benchmark, each case against a peer
// that does the least the same work needs:
//   open_find_read  open a 4096-entry set, find a name, read its 4 KiB
//                   payload, close; against bare_peer.c (open, one read of
//                   header and table, a scan, one pread, close);
//   find            resource_set_find over all 4096 names of an open set;
//   read_64MiB      a 64 MiB payload read in 1 MiB pieces with
//                   resource_set_read; against a pread loop over the same
//                   bytes;
//   read_all_S      every entry of the 4096-entry set read whole, in table
//                   order, from a set opened once: the peer of the Python
//                   module's loop over a set (bench/python_bench.py);
//   write_S         a set of 4096 payloads of 4076 bytes (resource files of
//                   4 KiB) written by the writer from memory; against
//                   vashpak packing the same resource files (the program
//                   named by the VASHPAK environment variable, run by
//                   std::system).
// The sets are made at start in a new folder on tmpfs (/dev/shm), or in the
// system's temporary folder when there is none, and removed at the end.
// Every case checks the bytes it gets before it is timed, and fails when
// they are wrong; the program then exits 1.  bench/library.sh runs it with
// repetitions and prints the medians against the aims.
#include "bare_peer.h"
#include "resource_set.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::uint32_t small_count = 4096;
constexpr std::size_t small_payload = 4096;
constexpr std::size_t large_payload = std::size_t{64} << 20U;
constexpr std::size_t piece = std::size_t{1} << 20U;
constexpr std::size_t header_size = 20;
constexpr std::size_t entry_size = 56;
constexpr std::size_t name_field = 36;
constexpr std::size_t body_header_size = 8;
constexpr std::array<unsigned char, body_header_size> body_header{0, 0, 0, 0, 0x21, 0x49, 0x47, 0x4D};
// Names are visited in this stride's order, a permutation of the table,
// so that no case walks the entries in the order they are stored.
constexpr std::uint32_t stride = 1237;
const char* const large_name = "music/theme.res";

// The resource files of write_S: 4 KiB each, 20 bytes of header and
// 4076 of payload.
constexpr std::size_t resource_header_size = 20;
constexpr std::size_t written_payload = small_payload - resource_header_size;

struct workspace {
    std::filesystem::path folder;
    std::string small_set;
    std::string large_set;
    // write_S's resource files, listed in list.lst, and its payloads.
    std::string listfile;
    std::vector<std::vector<unsigned char>> payloads;
    // The small set's names, in table order.
    std::vector<std::string> names;
};

workspace work;
bool failed = false;

// A page-aligned buffer, for every read a case times; the library and its
// peer read into the same one.  Where a buffer lies
// matters: on some processors (seen on an AMD EPYC) the kernel copies a
// file's bytes 5 to 7 times slower into a buffer that starts 8 or 16 bytes
// past the source's offset within its page, as a large malloc block does
// for a read at offset 0.  Aligned, the peers are spared that.
struct page_buffer {
    explicit page_buffer(std::size_t size)
        : bytes(static_cast<unsigned char*>(std::aligned_alloc(page, (size + page - 1) / page * page)), &std::free)
    {
        if (bytes == nullptr) {
            throw std::bad_alloc();
        }
        std::memset(bytes.get(), 0, size);
    }
    unsigned char* data() const
    {
        return bytes.get();
    }

    static constexpr std::size_t page = 4096;
    std::unique_ptr<unsigned char, decltype(&std::free)> bytes;
};

// The buffers of the payloads' bytes, one for each size: a case's two sides
// share them.
unsigned char* shared_buffer(std::size_t size)
{
    static const page_buffer small(small_payload);
    static const page_buffer large(piece);
    return size == small_payload ? small.data() : large.data();
}

void fail(benchmark::State& state, const char* why)
{
    failed = true;
    state.SkipWithError(why);
}

std::uint64_t mix(std::uint64_t value)
{
    // splitmix64's finaliser.
    value += 0x9E3779B97F4A7C15ULL;
    value = (value ^ (value >> 30U)) * 0xBF58476D1CE4E5B9ULL;
    value = (value ^ (value >> 27U)) * 0x94D049BB133111EBULL;
    return value ^ (value >> 31U);
}

// The payload bytes of entry from offset from (a multiple of 8) on: each
// entry's are its own.
void fill_payload(std::uint32_t entry, std::uint64_t from, unsigned char* out, std::size_t length)
{
    for (std::size_t done = 0; done < length; done += 8) {
        const std::uint64_t word = mix((std::uint64_t{entry} << 40U) + (from + done) / 8);
        for (std::size_t byte = 0; byte < 8 && done + byte < length; ++byte) {
            out[done + byte] = static_cast<unsigned char>(word >> (8 * byte));
        }
    }
}

bool payload_is(std::uint32_t entry, std::uint64_t from, const unsigned char* got, std::size_t length)
{
    std::vector<unsigned char> expected(length);
    fill_payload(entry, from, expected.data(), length);
    return std::memcmp(expected.data(), got, length) == 0;
}

void put_word(unsigned char* out, std::uint32_t value)
{
    for (unsigned byte = 0; byte < 4; ++byte) {
        out[byte] = static_cast<unsigned char>(value >> (8 * byte));
    }
}

// The offset of entry index's payload in a set of count entries of size
// bytes each.
std::uint64_t payload_offset(std::uint32_t count, std::uint32_t index, std::uint64_t size)
{
    return header_size + entry_size * count + index * (size + body_header_size) + body_header_size;
}

// Writes a set whose entries are named names, each of size payload bytes
// from fill_payload.
bool write_set(const std::string& path, const std::vector<std::string>& names, std::size_t size)
{
    const auto count = static_cast<std::uint32_t>(names.size());
    std::vector<unsigned char> head(header_size + entry_size * count, 0);
    std::memcpy(head.data(), "0TSR", 4);
    put_word(&head[8], count);
    put_word(&head[12], count);
    put_word(&head[16], static_cast<std::uint32_t>(payload_offset(count, count, size) - body_header_size));
    for (std::uint32_t i = 0; i < count; ++i) {
        unsigned char* const entry = &head[header_size + entry_size * i];
        if (names[i].size() >= name_field) {
            return false;
        }
        std::memcpy(entry, names[i].data(), names[i].size());
        put_word(entry + 36, 1);
        put_word(entry + 40, 2);
        put_word(entry + 44, static_cast<std::uint32_t>(size));
    }
    std::FILE* const file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    bool written = std::fwrite(head.data(), 1, head.size(), file) == head.size();
    std::vector<unsigned char> chunk(std::min(size, piece));
    for (std::uint32_t i = 0; written && i < count; ++i) {
        written = std::fwrite(body_header.data(), 1, body_header.size(), file) == body_header.size();
        for (std::size_t at = 0; written && at < size; at += chunk.size()) {
            const std::size_t length = std::min(chunk.size(), size - at);
            fill_payload(i, at, chunk.data(), length);
            written = std::fwrite(chunk.data(), 1, length, file) == length;
        }
    }
    return std::fclose(file) == 0 && written;
}

// write_S's resource files, named as their entries are, under the
// workspace, which is where vashpak runs.
bool write_resource_files()
{
    std::error_code error;
    std::filesystem::create_directories(work.folder / "sprites", error);
    work.listfile = (work.folder / "list.lst").string();
    std::FILE* const list = std::fopen(work.listfile.c_str(), "w");
    if (error || list == nullptr) {
        return false;
    }
    bool written = true;
    for (std::uint32_t i = 0; written && i < small_count; ++i) {
        std::vector<unsigned char> payload(written_payload);
        fill_payload(i, 0, payload.data(), payload.size());
        std::array<unsigned char, resource_header_size> head{'0', 'S', 'E', 'R'};
        put_word(&head[4], 1);
        put_word(&head[8], 2);
        std::memcpy(&head[12], body_header.data(), body_header.size());
        std::FILE* const file = std::fopen((work.folder / work.names[i]).c_str(), "wb");
        written = file != nullptr && std::fwrite(head.data(), 1, head.size(), file) == head.size() &&
                  std::fwrite(payload.data(), 1, payload.size(), file) == payload.size();
        written = file != nullptr && std::fclose(file) == 0 && written;
        written = written && std::fprintf(list, "%s\n", work.names[i].c_str()) > 0;
        work.payloads.push_back(std::move(payload));
    }
    return std::fclose(list) == 0 && written;
}

bool make_workspace()
{
    std::error_code error;
    std::filesystem::path root = "/dev/shm";
    if (!std::filesystem::is_directory(root, error) || access(root.c_str(), W_OK) != 0) {
        root = std::filesystem::temp_directory_path(error);
        if (error) {
            return false;
        }
    }
    std::string folder = (root / "library-bench.XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) {
        return false;
    }
    work.folder = folder;
    work.small_set = (work.folder / "small.set").string();
    work.large_set = (work.folder / "large.set").string();
    for (std::uint32_t i = 0; i < small_count; ++i) {
        std::array<char, name_field> name{};
        std::snprintf(name.data(), name.size(), "sprites/tile_%04u.res", static_cast<unsigned>(i));
        work.names.emplace_back(name.data());
    }
    benchmark::AddCustomContext("sets", work.folder.string());
    return write_set(work.small_set, work.names, small_payload) &&
           write_set(work.large_set, {large_name}, large_payload) && write_resource_files();
}

// open + find + read + close, by the library.
bool library_load(const std::string& name, unsigned char* buffer)
{
    resource_set* set = nullptr;
    if (resource_set_open(work.small_set.c_str(), &set) != RESOURCE_SET_OK) {
        return false;
    }
    const resource_set_entry* const entry = resource_set_find(set, name.c_str());
    std::size_t got = 0;
    const bool read = entry != nullptr &&
                      resource_set_read(set, entry, 0, buffer, small_payload, &got) == RESOURCE_SET_OK &&
                      got == small_payload;
    resource_set_close(set);
    return read;
}

// The same by the bare peer, with a buffer for the table that the caller
// keeps.
constexpr std::size_t peer_table_size = header_size + entry_size * small_count;

bool peer_load(const std::string& name, unsigned char* buffer)
{
    static const page_buffer table(peer_table_size);
    return bare_peer_read(work.small_set.c_str(), name.c_str(), table.data(), peer_table_size, buffer, small_payload) ==
           static_cast<long>(small_payload);
}

template <bool (*load)(const std::string&, unsigned char*)>
void open_find_read(benchmark::State& state)
{
    unsigned char* const buffer = shared_buffer(small_payload);
    for (const std::uint32_t index : {0U, 1U, 1000U, 2047U, 4094U, 4095U}) {
        std::memset(buffer, 0, small_payload);
        if (!load(work.names[index], buffer) || !payload_is(index, 0, buffer, small_payload)) {
            fail(state, "open_find_read: wrong payload bytes");
            return;
        }
    }
    std::uint32_t index = 0;
    for (auto _ : state) {
        index = (index + stride) % small_count;
        if (!load(work.names[index], buffer)) {
            fail(state, "open_find_read: the load failed");
            break;
        }
        benchmark::DoNotOptimize(buffer);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

void find_all(benchmark::State& state)
{
    resource_set* set = nullptr;
    if (resource_set_open(work.small_set.c_str(), &set) != RESOURCE_SET_OK) {
        fail(state, "find: the set does not open");
        return;
    }
    // Every name finds its own entry, where it lies, and nothing else does.
    bool right = resource_set_count(set) == small_count && resource_set_find(set, "sprites/tile_9999.res") == nullptr;
    for (std::uint32_t i = 0; right && i < small_count; ++i) {
        const resource_set_entry* const entry = resource_set_find(set, work.names[i].c_str());
        right = entry != nullptr && entry == resource_set_entry_at(set, i) && work.names[i] == entry->name &&
                entry->size == small_payload && entry->offset == payload_offset(small_count, i, small_payload);
    }
    if (!right) {
        resource_set_close(set);
        fail(state, "find: a name finds the wrong entry");
        return;
    }
    std::vector<const char*> order;
    for (std::uint32_t i = 0, index = 0; i < small_count; ++i) {
        index = (index + stride) % small_count;
        order.push_back(work.names[index].c_str());
    }
    for (auto _ : state) {
        for (const char* const name : order) {
            benchmark::DoNotOptimize(resource_set_find(set, name));
        }
    }
    resource_set_close(set);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * small_count);
}

// Reads the large payload whole, piece by piece, with read(at, buffer);
// false when a piece comes short or fails.
template <typename Read>
bool read_pieces(Read read, unsigned char* buffer, bool check)
{
    for (std::size_t at = 0; at < large_payload; at += piece) {
        if (!read(at, buffer) || (check && !payload_is(0, at, buffer, piece))) {
            return false;
        }
    }
    return true;
}

template <typename Read>
void time_pieces(benchmark::State& state, Read read)
{
    unsigned char* const buffer = shared_buffer(piece);
    std::memset(buffer, 0, piece);
    if (!read_pieces(read, buffer, true)) {
        fail(state, "read_64MiB: wrong payload bytes");
        return;
    }
    for (auto _ : state) {
        if (!read_pieces(read, buffer, false)) {
            fail(state, "read_64MiB: a read failed");
            break;
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(large_payload));
}

void read_library(benchmark::State& state)
{
    resource_set* set = nullptr;
    if (resource_set_open(work.large_set.c_str(), &set) != RESOURCE_SET_OK) {
        fail(state, "read_64MiB: the set does not open");
        return;
    }
    const resource_set_entry* const entry = resource_set_find(set, large_name);
    if (entry == nullptr || entry->size != large_payload) {
        resource_set_close(set);
        fail(state, "read_64MiB: no such payload");
        return;
    }
    time_pieces(state, [set, entry](std::size_t at, unsigned char* buffer) {
        std::size_t got = 0;
        return resource_set_read(set, entry, at, buffer, piece, &got) == RESOURCE_SET_OK && got == piece;
    });
    resource_set_close(set);
}

void read_pread(benchmark::State& state)
{
    const int descriptor = open(work.large_set.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        fail(state, "read_64MiB: the set does not open");
        return;
    }
    const auto start = static_cast<off_t>(payload_offset(1, 0, large_payload));
    time_pieces(state, [descriptor, start](std::size_t at, unsigned char* buffer) {
        return pread(descriptor, buffer, piece, start + static_cast<off_t>(at)) == static_cast<ssize_t>(piece);
    });
    close(descriptor);
}

// Reads every entry of the open small set into buffer; false when one
// fails, comes short or, with check, holds other bytes than it should.
bool read_every_entry(const resource_set* set, unsigned char* buffer, bool check)
{
    const std::uint32_t count = resource_set_count(set);
    for (std::uint32_t i = 0; i < count; ++i) {
        const resource_set_entry* const entry = resource_set_entry_at(set, i);
        std::size_t got = 0;
        if (entry->size != small_payload ||
            resource_set_read(set, entry, 0, buffer, small_payload, &got) != RESOURCE_SET_OK || got != small_payload ||
            (check && !payload_is(i, 0, buffer, small_payload))) {
            return false;
        }
    }
    return count == small_count;
}

void read_all(benchmark::State& state)
{
    resource_set* set = nullptr;
    if (resource_set_open(work.small_set.c_str(), &set) != RESOURCE_SET_OK) {
        fail(state, "read_all_S: the set does not open");
        return;
    }
    unsigned char* const buffer = shared_buffer(small_payload);
    if (!read_every_entry(set, buffer, true)) {
        resource_set_close(set);
        fail(state, "read_all_S: wrong payload bytes");
        return;
    }
    for (auto _ : state) {
        if (!read_every_entry(set, buffer, false)) {
            fail(state, "read_all_S: a read failed");
            break;
        }
        benchmark::ClobberMemory();
    }
    resource_set_close(set);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * small_count);
}

std::vector<unsigned char> file_bytes(const std::filesystem::path& path)
{
    std::vector<unsigned char> bytes;
    std::FILE* const file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return bytes;
    }
    std::array<unsigned char, 65536> chunk{};
    for (std::size_t got = 0; (got = std::fread(chunk.data(), 1, chunk.size(), file)) > 0;) {
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(got));
    }
    std::fclose(file);
    return bytes;
}

bool writer_write(const std::string& path)
{
    resource_set_writer* writer = nullptr;
    if (resource_set_writer_create(path.c_str(), &writer) != RESOURCE_SET_OK) {
        return false;
    }
    for (std::uint32_t i = 0; i < small_count; ++i) {
        if (resource_set_writer_add_memory(writer, work.names[i].c_str(), 1, 2, work.payloads[i].data(),
                                           written_payload) != RESOURCE_SET_OK) {
            resource_set_writer_abandon(writer);
            return false;
        }
    }
    return resource_set_writer_commit(writer) == RESOURCE_SET_OK;
}

bool vashpak_write(const std::string& path)
{
    const char* const vashpak = std::getenv("VASHPAK");
    if (vashpak == nullptr) {
        return false;
    }
    const std::string command = "cd '" + work.folder.string() + "' && '" + vashpak + "' '" + path + "' @list.lst";
    return std::system(command.c_str()) == 0;
}

template <bool (*write)(const std::string&)>
void write_small(benchmark::State& state)
{
    const std::string path = (work.folder / "written.set").string();
    // Both ways give the same bytes, the writer's from memory and vashpak's
    // from the files.
    if (!write(path)) {
        fail(state, "write_S: the set was not written (is VASHPAK set?)");
        return;
    }
    static std::vector<unsigned char> first;
    const std::vector<unsigned char> written = file_bytes(path);
    if (first.empty()) {
        first = written;
    }
    if (written != first || written.size() != header_size + small_count * (entry_size + small_payload - 12)) {
        fail(state, "write_S: the writer and vashpak wrote different sets");
        return;
    }
    for (auto _ : state) {
        if (!write(path)) {
            fail(state, "write_S: a write failed");
            break;
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

} // namespace

BENCHMARK(open_find_read<library_load>)->Name("open_find_read/library")->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(open_find_read<peer_load>)->Name("open_find_read/bare_peer")->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(find_all)->Name("find/library")->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(read_library)->Name("read_64MiB/library")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(read_pread)->Name("read_64MiB/pread")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(read_all)->Name("read_all_S/library")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(write_small<writer_write>)->Name("write_S/writer")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(write_small<vashpak_write>)->Name("write_S/vashpak")->UseRealTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 2;
    }
    const bool made = make_workspace();
    if (made) {
        benchmark::RunSpecifiedBenchmarks();
    } else {
        std::fprintf(stderr, "library_bench: cannot make the sets: %s\n", std::strerror(errno));
        failed = true;
    }
    benchmark::Shutdown();
    if (!work.folder.empty()) {
        std::error_code error;
        std::filesystem::remove_all(work.folder, error);
    }
    return failed ? 1 : 0;
}
