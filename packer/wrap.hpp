// SPDX-License-Identifier: MIT
// vashpak --wrap: a raw file made into a resource file.
#ifndef PACKER_WRAP_HPP
#define PACKER_WRAP_HPP

#include "resource_format.hpp"

#include <cstdint>
#include <optional>

// The most payload a resource file may carry and still fit in a set of its
// own: the largest set less its header, one table entry and the
// body_header.
inline constexpr std::int64_t WRAPPED_PAYLOAD_MAX =
    SET_SIZE_MAX - static_cast<std::int64_t>(bodies_start(1) + body_length(0));

// A word as the command line gives it: decimal, or hexadecimal after 0x,
// from 0 to 4294967295.  Nothing for anything else.
std::optional<std::uint32_t> parse_word(const char* text);

// Writes the resource file resource: "0SER", word1 and word2, the usual
// body_header, then the bytes of raw ("-" for standard input).  resource
// is written under a temporary beside it and renamed into place only once
// whole, so that a failed run leaves what stood there; a link there is
// replaced, not written through.  word texts may be null for 0.  Returns
// the exit status: 0, or 1 after its message through logerr.
int wrap_resource(const char* raw, const char* resource, const char* word1, const char* word2);

#endif
