// SPDX-License-Identifier: MIT
// Names as JSON strings (RFC 8259): the bytes of well-formed UTF-8 as they
// are, the others each replaced by U+FFFD, with their hexadecimal beside
// them so that no name is lost.
#ifndef EXTRACTOR_JSON_HPP
#define EXTRACTOR_JSON_HPP

#include <string>
#include <string_view>

// True when text is well-formed UTF-8: no overlong form, no surrogate,
// nothing past U+10FFFF and no sequence cut short.
bool is_utf8(std::string_view text);

// Appends text to out as a JSON string, quotes included.  The quote, the
// backslash and the controls with a short escape get it (\" \\ \b \f \n
// \r \t), the other controls and DEL become \u00hh; each byte that is no
// part of a well-formed UTF-8 sequence becomes U+FFFD, in UTF-8, and the
// rest is copied as it is.
void append_json_string(std::string& out, std::string_view text);

// Appends text's bytes to out in lowercase hexadecimal, two digits each.
void append_hex(std::string& out, std::string_view text);

#endif
