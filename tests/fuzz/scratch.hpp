// SPDX-License-Identifier: MIT
// What the fuzz harnesses share: a scratch folder of their own, removed at
// exit, a stream that discards what the code under test prints, and a way to
// stop the run when a check fails.
#ifndef TESTS_FUZZ_SCRATCH_HPP
#define TESTS_FUZZ_SCRATCH_HPP

#include <cstddef>
#include <cstdio>
#include <filesystem>

// Prints "HARNESS: what" on standard error and aborts, which the fuzzer and
// the replay driver both report as a failure.
[[noreturn]] void fail(const char* what);

// The harness's name, for fail's messages; each harness defines it.
extern const char* const HARNESS_NAME;

// Makes a new, empty folder in the system's temporary folder, named
// PREFIX and a random number, and removes it with all it holds at exit.
std::filesystem::path make_scratch_folder(const char* prefix);

// A stream for output nobody reads: the null device, or a temporary file
// where there is none.  Never null.
std::FILE* open_discard_stream();

// Creates or truncates name and writes size bytes of data into it.
bool write_file(const char* name, const void* data, std::size_t size);

#endif
