/* SPDX-License-Identifier: MIT */
/*
 * bare_peer.h: the least a program must do to load one payload from a set
 * by name, with no library: the peer that library_bench holds the loader
 * library against.
 */
#ifndef BENCH_BARE_PEER_H
#define BENCH_BARE_PEER_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Opens the set at path, reads its header and table with one read into
 * table (table_capacity bytes, which the caller makes room enough for the
 * whole table), finds the last entry named name, reads up to out_capacity
 * bytes of its payload with one pread into out and closes the set.  The
 * count read, or -1 when any of it fails or no entry has the name.
 */
long bare_peer_read(const char *path, const char *name, unsigned char *table, size_t table_capacity,
                    unsigned char *out, size_t out_capacity);

#ifdef __cplusplus
}
#endif

#endif
