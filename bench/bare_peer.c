/* SPDX-License-Identifier: MIT */
/* The bare peer: POSIX calls and a scan of the table, nothing more. */
#define _POSIX_C_SOURCE 200809L

#include "bare_peer.h"

#include <fcntl.h>
#include <stdint.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

enum { HEADER_SIZE = 20, ENTRY_SIZE = 56, NAME_FIELD = 36, SIZE_AT = 44, BODY_HEADER_SIZE = 8 };

static uint32_t word_at(const unsigned char *bytes)
{
    return (uint32_t)bytes[0] | (uint32_t)bytes[1] << 8 | (uint32_t)bytes[2] << 16 | (uint32_t)bytes[3] << 24;
}

long bare_peer_read(const char *path, const char *name, unsigned char *table, size_t table_capacity,
                    unsigned char *out, size_t out_capacity)
{
    const size_t name_length = strlen(name);
    long result = -1;
    int descriptor;
    ssize_t got;

    if (name_length >= NAME_FIELD) {
        return -1;
    }
    descriptor = open(path, O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        return -1;
    }
    got = read(descriptor, table, table_capacity);
    if (got >= HEADER_SIZE && memcmp(table, "0TSR", 4) == 0) {
        const uint32_t count = word_at(table + 8);
        const uint64_t bodies = HEADER_SIZE + (uint64_t)ENTRY_SIZE * count;
        if (bodies <= (uint64_t)got) {
            /* The last entry of the name counts, so the whole table is
             * scanned; a payload starts after the bodies before it. */
            uint64_t at = bodies, found = 0;
            uint32_t size = 0, i;
            int have = 0;
            for (i = 0; i < count; ++i) {
                const unsigned char *entry = table + HEADER_SIZE + (size_t)ENTRY_SIZE * i;
                const uint32_t entry_size = word_at(entry + SIZE_AT);
                if (memcmp(entry, name, name_length + 1) == 0) {
                    found = at + BODY_HEADER_SIZE;
                    size = entry_size;
                    have = 1;
                }
                at += (uint64_t)entry_size + BODY_HEADER_SIZE;
            }
            if (have) {
                const size_t want = size < out_capacity ? size : out_capacity;
                if (pread(descriptor, out, want, (off_t)found) == (ssize_t)want) {
                    result = (long)want;
                }
            }
        }
    }
    close(descriptor);
    return result;
}
