// SPDX-License-Identifier: MIT
#include "set_test.hpp"

#include "listing.hpp"
#include "resource_set.h"
#include "set_input.hpp"

#include <array>
#include <cinttypes>
#include <vector>

namespace {

// The most findings kept for printing after the listing; the others are
// only counted, so that memory does not grow with a set's problems.
constexpr std::size_t FINDINGS_KEPT = 1000;

// The check of a set: the first findings, kept until its listing is printed
// whole, and the count of those dropped.
struct test_run {
    const run_options& options;
    std::FILE* set;
    std::vector<resource_set_finding> findings;
    std::uint64_t dropped = 0;
};

// The callbacks of the check: the set's bytes from its stream, the listing
// on the report, the problems into findings.
int read_tested_set(void* context, void* buffer, std::size_t length, std::size_t* got)
{
    return read_set_bytes(static_cast<const test_run*>(context)->set, buffer, length, got);
}

void print_tested_header(void* context, std::uint32_t count, std::uint32_t keep_count, std::uint32_t keep_end)
{
    const run_options& options = static_cast<const test_run*>(context)->options;
    print_counts(options.report, options.verbose, count, keep_count, keep_end);
}

void print_tested_entry(void* context, std::uint32_t index, const resource_set_entry* entry)
{
    const run_options& options = static_cast<const test_run*>(context)->options;
    print_entry(options.report, options.verbose, index, entry->name, entry->size, entry->word1, entry->word2,
                entry->offset);
}

void keep_finding(void* context, const resource_set_finding* finding)
{
    auto& test = *static_cast<test_run*>(context);
    if (test.findings.size() < FINDINGS_KEPT) {
        test.findings.push_back(*finding);
    } else {
        ++test.dropped;
    }
}

// One finding on a line of its own, as the loader library words it.
void print_finding(std::FILE* report, const resource_set_finding& finding)
{
    std::array<char, 128> text{};
    const std::size_t length = resource_set_finding_text(&finding, text.data(), text.size());
    if (length < text.size()) {
        std::fputs(text.data(), report);
    } else {
        std::vector<char> longer(length + 1);
        resource_set_finding_text(&finding, longer.data(), longer.size());
        std::fputs(longer.data(), report);
    }
    std::fputc('\n', report);
}

} // namespace

int check_open_set(const run_options& options, set_input& input)
{
    // The listing comes first, then the problems.
    test_run test{options, input.stream, {}};
    const resource_set_check_callbacks callbacks{sizeof(resource_set_check_callbacks),
                                                 read_tested_set,
                                                 print_tested_header,
                                                 print_tested_entry,
                                                 keep_finding,
                                                 &test};
    std::uint32_t problems = 0;
    test.findings.reserve(FINDINGS_KEPT);
    if (resource_set_check_stream(&callbacks, &problems) == RESOURCE_SET_ERROR_MEMORY) {
        std::fprintf(options.report, "Out of memory\n");
        return 1;
    }
    for (const resource_set_finding& finding : test.findings) {
        print_finding(options.report, finding);
    }
    if (test.dropped > 0) {
        std::fprintf(options.report, "(%" PRIu64 " more problems not listed)\n", test.dropped);
    }
    if (problems == 0) {
        std::fprintf(options.report, "%s: OK\n", input.name);
    } else if (problems == 1) {
        std::fprintf(options.report, "%s: 1 problem\n", input.name);
    } else {
        std::fprintf(options.report, "%s: %" PRIu32 " problems\n", input.name, problems);
    }
    return problems == 0 ? 0 : 1;
}
