// SPDX-License-Identifier: MIT
// The PhysicsFS archiver against PhysicsFS's own zip archiver on the same
// files stored uncompressed (zip -0), both through PhysicsFS:
//   mount/{set,zip}      mounting S (4096 files of 4 KiB) and unmounting it;
//   all_S/{set,zip}      mounting S, enumerating it, reading every file;
//   read_64MiB/{physfs,library}
//                        one 64 MiB file read with PHYSFS_readBytes from
//                        the mounted set, and with resource_set_read.
// The files are made in a scratch folder at start (the zip by zip(1)); every
// case checks what it reads and fails on a wrong byte.
#include "resource_set.h"
#include "resource_set_physfs.h"

#include <physfs.h>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int FILES = 4096;
constexpr std::size_t FILE_SIZE = 4096;
constexpr std::size_t BIG_SIZE = std::size_t{64} << 20U;

struct data {
    fs::path folder;
    std::string set;
    std::string zip;
    std::string big;
    std::vector<std::string> names;
    std::vector<std::string> payloads;
    std::vector<unsigned char> big_payload;
    bool ready = false;
};

data& bench_data()
{
    static data made = [] {
        data d;
        // On tmpfs where there is one, as the library bench.
        const fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        d.folder = base / ("physfs-bench-" + std::to_string(std::rand()));
        fs::create_directories(d.folder / "files");
        d.set = (d.folder / "S.set").string();
        d.zip = (d.folder / "S.zip").string();
        d.big = (d.folder / "big.set").string();
        resource_set_writer* writer = nullptr;
        if (resource_set_writer_create(d.set.c_str(), &writer) != RESOURCE_SET_OK) {
            return d;
        }
        std::uint32_t seed = 12345;
        for (int i = 0; i < FILES; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "r%04d.res", i);
            std::string payload(FILE_SIZE, '\0');
            for (char& c : payload) {
                seed = seed * 1664525U + 1013904223U;
                c = static_cast<char>(seed >> 24U);
            }
            d.names.emplace_back(name);
            d.payloads.push_back(payload);
            std::ofstream(d.folder / "files" / name, std::ios::binary) << payload;
        }
        for (int i = 0; i < FILES; ++i) {
            resource_set_writer_add_memory(writer, d.names[i].c_str(), 0, 0, d.payloads[i].data(), FILE_SIZE);
        }
        if (resource_set_writer_commit(writer) != RESOURCE_SET_OK) {
            return d;
        }
        const std::string zip = "cd '" + (d.folder / "files").string() + "' && zip -0 -q -X '" + d.zip + "' *.res";
        if (std::system(zip.c_str()) != 0) {
            return d;
        }
        d.big_payload.resize(BIG_SIZE);
        for (std::size_t i = 0; i < BIG_SIZE; ++i) {
            d.big_payload[i] = static_cast<unsigned char>(i * 7U + (i >> 12U));
        }
        if (resource_set_writer_create(d.big.c_str(), &writer) != RESOURCE_SET_OK ||
            resource_set_writer_add_memory(writer, "big.bin", 0, 0, d.big_payload.data(), BIG_SIZE) !=
                RESOURCE_SET_OK ||
            resource_set_writer_commit(writer) != RESOURCE_SET_OK) {
            return d;
        }
        d.ready = PHYSFS_init(nullptr) != 0 && resource_set_physfs_register() != 0;
        return d;
    }();
    return made;
}

bool start(benchmark::State& state)
{
    if (!bench_data().ready) {
        state.SkipWithError("the bench's files could not be made (is zip installed?)");
        return false;
    }
    return true;
}

void mount(benchmark::State& state, const std::string& path)
{
    if (!start(state)) {
        return;
    }
    for (auto _ : state) {
        if (PHYSFS_mount(path.c_str(), "/", 1) == 0 || PHYSFS_unmount(path.c_str()) == 0) {
            state.SkipWithError("mount failed");
            return;
        }
    }
}

void all_files(benchmark::State& state, const std::string& path)
{
    if (!start(state)) {
        return;
    }
    const data& d = bench_data();
    std::vector<char> buffer(FILE_SIZE);
    for (auto _ : state) {
        if (PHYSFS_mount(path.c_str(), "/", 1) == 0) {
            state.SkipWithError("mount failed");
            return;
        }
        char** names = PHYSFS_enumerateFiles("/");
        int count = 0;
        bool right = true;
        for (char** name = names; *name != nullptr; ++name, ++count) {
            PHYSFS_File* file = PHYSFS_openRead(*name);
            right = right && file != nullptr &&
                    PHYSFS_readBytes(file, buffer.data(), buffer.size()) == static_cast<PHYSFS_sint64>(FILE_SIZE);
            PHYSFS_close(file);
            // The names come sorted, as the files were made.
            right = right && d.payloads[count].compare(0, FILE_SIZE, buffer.data(), FILE_SIZE) == 0;
        }
        PHYSFS_freeList(names);
        PHYSFS_unmount(path.c_str());
        if (!right || count != FILES) {
            state.SkipWithError("wrong files");
            return;
        }
    }
}

void read_physfs(benchmark::State& state)
{
    if (!start(state)) {
        return;
    }
    const data& d = bench_data();
    std::vector<unsigned char> buffer(BIG_SIZE);
    PHYSFS_mount(d.big.c_str(), "/", 1);
    for (auto _ : state) {
        PHYSFS_File* file = PHYSFS_openRead("big.bin");
        const PHYSFS_sint64 got = file == nullptr ? -1 : PHYSFS_readBytes(file, buffer.data(), BIG_SIZE);
        PHYSFS_close(file);
        if (got != static_cast<PHYSFS_sint64>(BIG_SIZE) || buffer[BIG_SIZE - 1] != d.big_payload[BIG_SIZE - 1]) {
            state.SkipWithError("wrong read");
            break;
        }
    }
    PHYSFS_unmount(d.big.c_str());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * BIG_SIZE));
}

void read_library(benchmark::State& state)
{
    if (!start(state)) {
        return;
    }
    const data& d = bench_data();
    std::vector<unsigned char> buffer(BIG_SIZE);
    resource_set* set = nullptr;
    resource_set_open(d.big.c_str(), &set);
    const resource_set_entry* entry = resource_set_find(set, "big.bin");
    for (auto _ : state) {
        std::size_t got = 0;
        if (resource_set_read(set, entry, 0, buffer.data(), BIG_SIZE, &got) != RESOURCE_SET_OK || got != BIG_SIZE ||
            buffer[BIG_SIZE - 1] != d.big_payload[BIG_SIZE - 1]) {
            state.SkipWithError("wrong read");
            break;
        }
    }
    resource_set_close(set);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * BIG_SIZE));
}

} // namespace

BENCHMARK_CAPTURE(mount, set, bench_data().set)->Name("mount/set")->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(mount, zip, bench_data().zip)->Name("mount/zip")->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(all_files, set, bench_data().set)->Name("all_S/set")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(all_files, zip, bench_data().zip)->Name("all_S/zip")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(read_physfs)->Name("read_64MiB/physfs")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(read_library)->Name("read_64MiB/library")->UseRealTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (bench_data().ready) {
        PHYSFS_deinit();
    }
    std::error_code ignored;
    fs::remove_all(bench_data().folder, ignored);
    return 0;
}
