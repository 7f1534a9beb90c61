# SPDX-License-Identifier: MIT
"""Sets and resource files made byte by byte, for the tests to compare the
module's results with."""
import struct

import pytest

BODY_HEADER = b"\0\0\0\0!IGM"


def set_bytes(entries, keep_count=None, trailing=b""):
    """The set of entries, each (name, word1, word2, payload), the first
    keep_count of them kept (all by default), then trailing."""
    count = len(entries)
    keep = count if keep_count is None else keep_count
    table_end = 20 + 56 * count
    keep_end = table_end + sum(8 + len(payload) for _, _, _, payload in entries[:keep])
    table = b"".join(
        name.ljust(36, b"\0") + struct.pack("<5I", word1, word2, len(payload), 0, 0)
        for name, word1, word2, payload in entries
    )
    bodies = b"".join(BODY_HEADER + payload for _, _, _, payload in entries)
    return b"0TSR" + struct.pack("<4I", 0, count, keep, keep_end) + table + bodies + trailing


def resource_file_bytes(word1, word2, payload):
    return b"0SER" + struct.pack("<2I", word1, word2) + BODY_HEADER + payload


# Three entries, two of them named alike, and a discard point after two.
SAMPLE = [
    (b"title.res", 1, 2, b"Welcome to the game"),
    (b"level/1.res", 772, 0xFFFFFFFF, bytes(range(256)) * 4),
    (b"title.res", 5, 6, b"Second title"),
]
SAMPLE_KEEP = 2


@pytest.fixture
def sample_path(tmp_path):
    path = tmp_path / "game.set"
    path.write_bytes(set_bytes(SAMPLE, SAMPLE_KEEP))
    return path
