// SPDX-License-Identifier: MIT
// tarnvex --unwrap: a resource file's payload, the raw file it was made of.
#ifndef EXTRACTOR_UNWRAP_HPP
#define EXTRACTOR_UNWRAP_HPP

#include <cstdio>

// Writes the payload of the resource file resource (its bytes from offset
// 20 on) to raw, or to out when raw is "-".  raw is written under a
// temporary beside it and renamed into place only once whole; a link there
// is replaced, not written through.  Messages go to err.  Returns the exit
// status: 0, or 1 after a message.
int unwrap_resource(const char* resource, const char* raw, std::FILE* out, std::FILE* err);

#endif
