// SPDX-License-Identifier: MIT
#include "json.hpp"

namespace {

constexpr const char* HEX_DIGITS = "0123456789abcdef";

// U+FFFD, the replacement character, in UTF-8.
constexpr std::string_view REPLACEMENT = "\xEF\xBF\xBD";

bool is_continuation(unsigned char byte)
{
    return (byte & 0xC0U) == 0x80U;
}

// The length of the well-formed UTF-8 sequence that begins at text[at], or
// 0 when none does there.  The second byte's range rules out the overlong
// forms (after E0 and F0), the surrogates (after ED) and what lies past
// U+10FFFF (after F4).
std::size_t sequence_length(std::string_view text, std::size_t at)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 0;
    unsigned char low = 0x80U;
    unsigned char high = 0xBFU;
    if (lead < 0x80U) {
        return 1;
    }
    if (lead >= 0xC2U && lead <= 0xDFU) {
        length = 2;
    } else if (lead >= 0xE0U && lead <= 0xEFU) {
        length = 3;
        low = lead == 0xE0U ? 0xA0U : low;
        high = lead == 0xEDU ? 0x9FU : high;
    } else if (lead >= 0xF0U && lead <= 0xF4U) {
        length = 4;
        low = lead == 0xF0U ? 0x90U : low;
        high = lead == 0xF4U ? 0x8FU : high;
    } else {
        return 0;
    }
    if (text.size() - at < length) {
        return 0;
    }
    const auto second = static_cast<unsigned char>(text[at + 1]);
    if (second < low || second > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (!is_continuation(static_cast<unsigned char>(text[at + i]))) {
            return 0;
        }
    }
    return length;
}

void append_ascii(std::string& out, char c)
{
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
    case '"':
        out += "\\\"";
        return;
    case '\\':
        out += "\\\\";
        return;
    case '\b':
        out += "\\b";
        return;
    case '\f':
        out += "\\f";
        return;
    case '\n':
        out += "\\n";
        return;
    case '\r':
        out += "\\r";
        return;
    case '\t':
        out += "\\t";
        return;
    default:
        break;
    }
    if (byte < 0x20U || byte == 0x7FU) {
        out += "\\u00";
        out += HEX_DIGITS[byte >> 4U];
        out += HEX_DIGITS[byte & 0xFU];
    } else {
        out += c;
    }
}

} // namespace

bool is_utf8(std::string_view text)
{
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = sequence_length(text, at);
        if (length == 0) {
            return false;
        }
        at += length;
    }
    return true;
}

void append_json_string(std::string& out, std::string_view text)
{
    out += '"';
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = sequence_length(text, at);
        if (length == 0) {
            out += REPLACEMENT;
            ++at;
        } else if (length == 1) {
            append_ascii(out, text[at]);
            ++at;
        } else {
            out += text.substr(at, length);
            at += length;
        }
    }
    out += '"';
}

void append_hex(std::string& out, std::string_view text)
{
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        out += HEX_DIGITS[byte >> 4U];
        out += HEX_DIGITS[byte & 0xFU];
    }
}
