// SPDX-License-Identifier: MIT
#include "set_test.hpp"

#include "listing.hpp"
#include "set_check.hpp"

#include <cinttypes>
#include <vector>

namespace {

// The check of a set: what it found, kept until its listing is printed
// whole.
struct test_run {
    const run_options& options;
    std::FILE* set;
    std::vector<resource_set_finding> findings;
};

// The callbacks of the check: the set's bytes from its stream, the listing
// on the report, the problems into findings.
int read_tested_set(void* context, void* buffer, std::size_t length, std::size_t* got)
{
    std::FILE* const set = static_cast<const test_run*>(context)->set;
    *got = std::fread(buffer, 1, length, set);
    return *got < length && std::ferror(set) != 0 ? 1 : 0;
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
    static_cast<test_run*>(context)->findings.push_back(*finding);
}

void print_problem(std::FILE* report, const resource_set_finding* finding)
{
    const std::uint32_t entry = finding->entry;
    switch (finding->problem) {
    case RESOURCE_SET_PROBLEM_MAGIC:
        std::fprintf(report, "Magic is not 0TSR\n");
        break;
    case RESOURCE_SET_PROBLEM_RESERVED:
        if (entry == RESOURCE_SET_NO_ENTRY) {
            std::fprintf(report, "Reserved word of the header is not 0\n");
        } else {
            std::fprintf(report, "Entry %" PRIu32 ": reserved word is not 0\n", entry);
        }
        break;
    case RESOURCE_SET_PROBLEM_COUNT:
        std::fprintf(report, "Count is above 4096\n");
        break;
    case RESOURCE_SET_PROBLEM_KEEP_COUNT:
        std::fprintf(report, "keep_count is above the count\n");
        break;
    case RESOURCE_SET_PROBLEM_KEEP_END:
        std::fprintf(report, "keep_end is not %" PRIu64 ", the end of the kept bodies\n", finding->value);
        break;
    case RESOURCE_SET_PROBLEM_NAME_UNTERMINATED:
        std::fprintf(report, "Entry %" PRIu32 ": name has no terminator\n", entry);
        break;
    case RESOURCE_SET_PROBLEM_NAME_PADDING:
        std::fprintf(report, "Entry %" PRIu32 ": bytes after the name are not 0\n", entry);
        break;
    case RESOURCE_SET_PROBLEM_NAME_LENGTH:
        std::fprintf(report, "Entry %" PRIu32 ": name is longer than 32 bytes\n", entry);
        break;
    case RESOURCE_SET_PROBLEM_NAME_UNSAFE:
        std::fprintf(report, "Entry %" PRIu32 ": name is unsafe to extract\n", entry);
        break;
    case RESOURCE_SET_PROBLEM_SHORT:
        std::fprintf(report, "Set is %" PRIu64 " bytes shorter than its table says\n", finding->value);
        break;
    case RESOURCE_SET_PROBLEM_TRAILING:
        std::fprintf(report, "Set has %" PRIu64 " bytes after its last body\n", finding->value);
        break;
    case RESOURCE_SET_PROBLEM_UNREADABLE:
        if (entry == RESOURCE_SET_NO_ENTRY) {
            std::fprintf(report, "Set cannot be read\n");
        } else {
            std::fprintf(report, "Entry %" PRIu32 ": cannot be read\n", entry);
        }
        break;
    case RESOURCE_SET_PROBLEM_TABLE_TOO_LONG:
        std::fprintf(report, "Table is not checked past entry %" PRIu64 "\n", finding->value);
        break;
    }
}

} // namespace

int check_open_set(const run_options& options, set_input& input)
{
    // The listing comes first, then the problems.
    test_run test{options, input.stream, {}};
    const resource_set_check_callbacks callbacks{read_tested_set, print_tested_header, print_tested_entry, keep_finding,
                                                 &test};
    std::uint32_t problems = 0;
    if (check_set(callbacks, problems) == RESOURCE_SET_ERROR_MEMORY) {
        std::fprintf(options.report, "Out of memory\n");
        return 1;
    }
    for (const resource_set_finding& finding : test.findings) {
        print_problem(options.report, &finding);
    }
    if (problems == 0) {
        std::fprintf(options.report, "%s: OK\n", input.name);
    } else {
        std::fprintf(options.report, "%s: %" PRIu32 " problems\n", input.name, problems);
    }
    return problems == 0 ? 0 : 1;
}
