# SPDX-License-Identifier: MIT
"""check(): every problem of a set, as findings."""
import os
import subprocess
import sys

import pytest
from conftest import SAMPLE, SAMPLE_KEEP, set_bytes

import resource_set


def test_a_sound_set_has_no_findings(sample_path):
    assert resource_set.check(sample_path) == []


def test_a_damaged_set_gives_each_finding_with_its_text(tmp_path):
    damaged = bytearray(set_bytes(SAMPLE, SAMPLE_KEEP, trailing=b"xyz"))
    damaged[20 + 56 + 48] = 1  # the first reserved word of entry 1
    path = tmp_path / "damaged.set"
    path.write_bytes(damaged)
    findings = resource_set.check(path)
    assert findings == [
        (resource_set.PROBLEM_RESERVED, 1, 0, "Entry 1: reserved word is not 0"),
        (resource_set.PROBLEM_TRAILING, None, 3, "Set has 3 bytes after its last body"),
    ]
    assert findings[0].problem == resource_set.PROBLEM_RESERVED
    assert findings[0].entry == 1
    assert findings[1].value == 3
    assert findings[1].text == "Set has 3 bytes after its last body"


def test_a_set_cut_short_says_by_how_much(tmp_path):
    path = tmp_path / "cut.set"
    path.write_bytes(set_bytes(SAMPLE)[:-5])
    assert resource_set.check(path) == [
        (resource_set.PROBLEM_SHORT, None, 5, "Set is 5 bytes shorter than its table says"),
    ]


def test_a_path_that_cannot_be_opened_raises_error(tmp_path):
    for path in (tmp_path / "missing.set", tmp_path):
        with pytest.raises(resource_set.Error) as raised:
            resource_set.check(path)
        assert raised.value.status == resource_set.ERROR_OPEN
        assert raised.value.filename == str(path)


def test_the_check_of_a_fifo_lets_other_threads_write_it(tmp_path):
    # The check blocks reading the FIFO until the other thread writes the
    # set into it, which that thread can only do with the GIL released: a
    # check that held it would never end, hence the child process and its
    # time limit.
    fifo = tmp_path / "set.fifo"
    os.mkfifo(fifo)
    script = f"""
import threading, resource_set
def feed():
    with open({str(fifo)!r}, "wb") as out:
        out.write({set_bytes(SAMPLE, trailing=b"!")!r})
thread = threading.Thread(target=feed)
thread.start()
print(resource_set.check({str(fifo)!r}))
thread.join()
"""
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60, check=True)
    trailing = "resource_set.Finding(problem=11, entry=None, value=1, text='Set has 1 bytes after its last body')"
    assert done.stdout == f"[{trailing}]\n"
