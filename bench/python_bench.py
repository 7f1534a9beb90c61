#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The Python module resource_set timed on the reads that library_bench
times in C, over sets of the same shape:
  read_64MiB/python  a 64 MiB payload read with Set.readinto in 1 MiB
                     pieces into one page-aligned buffer, as
                     read_64MiB/library reads it with resource_set_read;
  read_all_S/python  `for e in s: s.read(e)` over a set of 4096 payloads
                     of 4 KiB opened once, as read_all_S/library reads
                     every entry.
The sets are written with the module's Writer in a new folder on tmpfs
(/dev/shm), or in the system's temporary folder when there is none, and
removed at the end.  Each case checks the bytes it gets before it is
timed.  A repetition runs a case for at least 0.2 s and counts the mean
time of one pass; the median of the repetitions is printed, one line a
case, "NAME NANOSECONDS".  bench/library.sh runs it with the module's
build folder on PYTHONPATH and sets the medians against library_bench's.
  python_bench.py [-n REPETITIONS]
Exit status 1 when a case gets wrong bytes, 2 when the module is missing.
"""
import argparse
import mmap
import os
import random
import shutil
import statistics
import sys
import tempfile
import time

try:
    import resource_set
except ImportError as missing:
    print(f"python_bench: {missing}: build the module and put its folder on PYTHONPATH", file=sys.stderr)
    sys.exit(2)

SMALL_COUNT = 4096
SMALL_PAYLOAD = 4096
LARGE_PAYLOAD = 64 << 20
PIECE = 1 << 20
LARGE_NAME = "music/theme.res"


def make_sets(folder):
    """The large and the small set, and the payloads of the small one."""
    generator = random.Random(1237)
    large_payload = generator.randbytes(LARGE_PAYLOAD)
    small_payloads = [generator.randbytes(SMALL_PAYLOAD) for _ in range(SMALL_COUNT)]
    large = os.path.join(folder, "large.set")
    small = os.path.join(folder, "small.set")
    with resource_set.Writer(large) as writer:
        writer.add_memory(LARGE_NAME, 1, 2, large_payload)
    with resource_set.Writer(small) as writer:
        for index, payload in enumerate(small_payloads):
            writer.add_memory(f"sprites/tile_{index:04}.res", 1, 2, payload)
    return large, large_payload, small, small_payloads


def read_pieces(s, entry, buffer):
    offset = 0
    while offset < LARGE_PAYLOAD:
        offset += s.readinto(entry, buffer, offset)


def read_all(s):
    for e in s:
        s.read(e)


def median_ns(repetitions, one_pass):
    """The median over the repetitions of the mean time of one pass."""
    means = []
    for _ in range(repetitions):
        passes = 0
        start = time.perf_counter_ns()
        elapsed = 0
        while passes < 3 or elapsed < 200_000_000:
            one_pass()
            passes += 1
            elapsed = time.perf_counter_ns() - start
        means.append(elapsed / passes)
    return statistics.median(means)


def main():
    parser = argparse.ArgumentParser(description="Times the Python module's reads.")
    parser.add_argument("-n", type=int, default=10, dest="repetitions", help="repetitions of each case (10)")
    repetitions = parser.parse_args().repetitions
    root = "/dev/shm" if os.path.isdir("/dev/shm") and os.access("/dev/shm", os.W_OK) else None
    folder = tempfile.mkdtemp(prefix="python-bench.", dir=root)
    try:
        large, large_payload, small, small_payloads = make_sets(folder)
        with resource_set.open(large) as s:
            entry = s[LARGE_NAME]
            # An anonymous map starts on a page, as library_bench's buffer
            # does: the kernel's copy into a buffer off the source's offset
            # within its page is slower on some processors.
            with mmap.mmap(-1, PIECE) as buffer:
                expected = memoryview(large_payload)
                for offset in range(0, LARGE_PAYLOAD, PIECE):
                    if s.readinto(entry, buffer, offset) != PIECE or buffer[:] != expected[offset : offset + PIECE]:
                        print("python_bench: read_64MiB: wrong payload bytes", file=sys.stderr)
                        return 1
                expected.release()
                del expected, large_payload
                print(f"read_64MiB/python {median_ns(repetitions, lambda: read_pieces(s, entry, buffer)):.0f}")
        with resource_set.open(small) as s:
            if [s.read(e) for e in s] != small_payloads:
                print("python_bench: read_all_S: wrong payload bytes", file=sys.stderr)
                return 1
            print(f"read_all_S/python {median_ns(repetitions, lambda: read_all(s)):.0f}")
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
