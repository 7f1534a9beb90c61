// SPDX-License-Identifier: MIT
#include "listing.hpp"

#include "json.hpp"

#include <cinttypes>
#include <string>

namespace {

// The name as a -v line shows it: every byte outside '!'..'~', and the
// backslash itself, written as an escape ("\n", "\t", "\r", "\\",
// else "\x" and two lower-case hexadecimal digits), so that no name can
// end its line or forge its fields.
std::string escaped(std::string_view name)
{
    constexpr const char* DIGITS = "0123456789abcdef";
    std::string shown;
    shown.reserve(name.size());
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '\\') {
            shown += "\\\\";
        } else if (byte == '\n') {
            shown += "\\n";
        } else if (byte == '\t') {
            shown += "\\t";
        } else if (byte == '\r') {
            shown += "\\r";
        } else if (byte < 0x21U || byte > 0x7EU) {
            shown += "\\x";
            shown += DIGITS[byte >> 4U];
            shown += DIGITS[byte & 0xFU];
        } else {
            shown += c;
        }
    }
    return shown;
}

} // namespace

void print_counts(std::FILE* report, bool verbose, std::uint32_t count, std::uint32_t keep_count,
                  std::uint32_t keep_end)
{
    if (verbose) {
        std::fprintf(report, "keep_count = %" PRIu32 ", keep_end = %" PRIu32 "\n", keep_count, keep_end);
    }
    std::fprintf(report, "count = %" PRIu32 "\n", count);
}

void print_entry(std::FILE* report, bool verbose, std::uint32_t index, std::string_view name, std::uint32_t size,
                 std::uint32_t word1, std::uint32_t word2, std::uint64_t offset)
{
    if (verbose) {
        const std::string shown = escaped(name);
        std::fprintf(report, "%" PRIu32 ": %s, %" PRIu32 ", 0x%08" PRIx32 ", 0x%08" PRIx32 ", %" PRIu64 "\n", index,
                     shown.c_str(), size, word1, word2, offset);
    } else {
        const std::string shown(name);
        std::fprintf(report, "%" PRIu32 ": %s, %" PRIu32 "\n", index, shown.c_str(), size);
    }
}

void append_json_head(std::string& json, std::uint32_t count, std::uint32_t keep_count, std::uint32_t keep_end)
{
    json += "{\n  \"count\": " + std::to_string(count) + ",\n  \"keep_count\": " + std::to_string(keep_count) +
            ",\n  \"keep_end\": " + std::to_string(keep_end) + ",\n  \"entries\": [";
}

void append_json_entry(std::string& json, bool first, std::uint32_t index, std::string_view name, std::uint32_t size,
                       std::uint32_t word1, std::uint32_t word2, std::uint64_t offset)
{
    json += first ? "\n    {\"index\": " : ",\n    {\"index\": ";
    json += std::to_string(index);
    json += ", \"name\": ";
    append_json_string(json, name);
    if (!is_utf8(name)) {
        json += ", \"name_bytes\": \"";
        append_hex(json, name);
        json += '"';
    }
    json += ", \"size\": " + std::to_string(size) + ", \"word1\": " + std::to_string(word1) +
            ", \"word2\": " + std::to_string(word2) + ", \"offset\": " + std::to_string(offset) + "}";
}

void append_json_end(std::string& json, bool any)
{
    json += any ? "\n  ]\n}\n" : "]\n}\n";
}
