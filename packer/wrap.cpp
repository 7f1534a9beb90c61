// SPDX-License-Identifier: MIT
#include "wrap.hpp"

#include "files.hpp"
#include "live_file.hpp"
#include "resource_format.hpp"
#include "resource_table.hpp"
#include "streams.hpp"

#include <array>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

namespace {

// A temporary is named this prefix and eight hexadecimal digits, beside
// the resource file it becomes.
constexpr const char* TEMPORARY_PREFIX = ".vashpak-";

unsigned char wrap_buffer[std::size_t{1024} * 1024];

// Writes head and then the rest of in onto out.  False, after its message,
// when in cannot be read or holds more than a resource may carry; a failed
// write is left in out's error flag.
bool copy_raw(std::FILE* out, std::span<const unsigned char> head, std::FILE* in, const char* raw)
{
    const stream_copy copy{
        .head = head, .length = static_cast<std::uint64_t>(WRAPPED_PAYLOAD_MAX), .extent = copy_extent::rest};
    switch (copy_stream(in, out, wrap_buffer, copy)) {
    case copy_end::done:
        return true;
    case copy_end::too_long:
        logerr("\"%s\" is too large", raw);
        return false;
    case copy_end::ended:
    case copy_end::read_failed:
        logerr("Can't read \"%s\", aborting.", raw);
        return false;
    }
    return false;
}

// Opens raw, a regular file or "-" for standard input, and refuses what
// cannot be wrapped before anything is written.  Null after its message.
std::FILE* open_raw(const char* raw, const char* resource)
{
    const bool from_input = std::string_view(raw) == "-";
    std::FILE* const in = from_input ? stdin : open_regular_input(raw);
    if (in == nullptr) {
        logerr("Can't read \"%s\", aborting.", raw);
        return nullptr;
    }
    if (from_input) {
        set_binary_mode(in);
    }
    std::uint64_t length = 0;
    const bool known = regular_file_length(in, length);
    if (same_file(identity_of(in), identity_of(resource))) {
        logerr("Can't wrap \"%s\" into itself", raw);
    } else if (known && !from_input && length > static_cast<std::uint64_t>(WRAPPED_PAYLOAD_MAX)) {
        logerr("\"%s\" is too large", raw);
    } else {
        return in;
    }
    if (!from_input) {
        std::fclose(in);
    }
    return nullptr;
}

} // namespace

std::optional<std::uint32_t> parse_word(const char* text)
{
    std::string_view digits(text);
    unsigned base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits.remove_prefix(2);
    }
    if (digits.empty()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char c : digits) {
        unsigned digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return std::nullopt;
        }
        value = value * base + digit;
        if (value > 0xFFFFFFFFU) {
            return std::nullopt;
        }
    }
    return static_cast<std::uint32_t>(value);
}

int wrap_resource(const char* raw, const char* resource, const char* word1, const char* word2)
{
    std::array<std::uint32_t, 2> words{};
    const std::array<const char*, 2> texts{word1, word2};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (texts[i] == nullptr) {
            continue;
        }
        const std::optional<std::uint32_t> word = parse_word(texts[i]);
        if (!word) {
            logerr("Bad word \"%s\"", texts[i]);
            return 1;
        }
        words[i] = *word;
    }
    std::FILE* const in = open_raw(raw, resource);
    if (in == nullptr) {
        return 1;
    }
    catch_interruptions();
    std::FILE* const out = begin_replacing(resource, TEMPORARY_PREFIX, true);
    bool ok = out != nullptr;
    if (!ok) {
        logerr("Can't open \"%s\" for output", resource);
    } else {
        const std::array<unsigned char, RESOURCE_FILE_MIN_SIZE> head = encode_resource_file_head(words[0], words[1]);
        ok = copy_raw(out, head, in, raw);
        if (ok && !close_live_file()) {
            logerr("Can't write \"%s\"", resource);
            ok = false;
        } else if (ok && !commit_live_file(resource)) {
            logerr("Can't open \"%s\" for output", resource);
            ok = false;
        }
    }
    abandon_live_file();
    release_interruptions();
    if (in != stdin) {
        std::fclose(in);
    }
    return ok ? 0 : 1;
}
