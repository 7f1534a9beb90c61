# SPDX-License-Identifier: MIT
"""Opening a set, its table and reading its payloads."""
import errno
import os
import re
import threading

import pytest
from conftest import SAMPLE, SAMPLE_KEEP, set_bytes

import resource_set


def payload_offsets(entries):
    at = 20 + 56 * len(entries)
    offsets = []
    for _, _, _, payload in entries:
        offsets.append(at + 8)
        at += 8 + len(payload)
    return offsets


def test_version_is_the_librarys():
    expected = os.environ.get("RESOURCE_SET_EXPECTED_VERSION")
    if expected is None:
        pytest.skip("RESOURCE_SET_EXPECTED_VERSION, the project's version, is not set (ctest sets it)")
    assert resource_set.version() == expected
    assert re.fullmatch(r"\d+\.\d+\.\d+", resource_set.__version__)
    assert resource_set.__version__ == resource_set.version()


@pytest.mark.parametrize("name, reason", [("missing.set", errno.ENOENT), (".", errno.EISDIR)])
def test_open_failing_raises_error_with_the_status_and_the_systems_reason(tmp_path, name, reason):
    path = tmp_path / name
    with pytest.raises(resource_set.Error) as raised:
        resource_set.open(path)
    error = raised.value
    assert isinstance(error, OSError)
    assert error.status == resource_set.ERROR_OPEN
    assert error.args == (resource_set.ERROR_OPEN, "the file cannot be opened")
    assert error.errno == reason
    assert error.strerror == os.strerror(reason)
    assert error.filename == str(path)
    assert str(error) == f"the file cannot be opened: {str(path)!r} ({os.strerror(reason)})"


@pytest.mark.parametrize(
    "content, status, text",
    [
        (b"not a set at all, just text", resource_set.ERROR_FORMAT, "not a resource set"),
        (set_bytes(SAMPLE)[:-1], resource_set.ERROR_SHORT, "the set ends before the bodies its table describes"),
    ],
)
def test_open_refuses_what_is_no_whole_set(tmp_path, content, status, text):
    path = tmp_path / "bad.set"
    path.write_bytes(content)
    with pytest.raises(resource_set.Error) as raised:
        resource_set.open(str(path).encode())
    assert raised.value.args == (status, text)
    assert raised.value.errno is None
    with pytest.raises(resource_set.Error) as raised:
        resource_set.open_memory(content)
    assert raised.value.status == status


def test_the_table_in_order(sample_path):
    offsets = payload_offsets(SAMPLE)
    with resource_set.open(sample_path) as s:
        assert len(s) == 3
        assert s.keep_count == SAMPLE_KEEP
        got = [(e.index, e.name, e.text_name, e.word1, e.word2, e.size, e.offset) for e in s]
    expected = [
        (i, name, name.decode(), word1, word2, len(payload), offsets[i])
        for i, (name, word1, word2, payload) in enumerate(SAMPLE)
    ]
    assert got == expected


def test_find_and_subscript_give_the_last_entry_of_a_name(sample_path):
    with resource_set.open(sample_path) as s:
        assert s.find("title.res").index == 2
        assert s.find(b"title.res").index == 2
        assert s["level/1.res"].index == 1
        assert s.find("title") is None
        assert s.find(b"title.res\0") is None
        assert "title.res" in s
        assert "nothing.res" not in s
        with pytest.raises(KeyError):
            s["nothing.res"]
        with pytest.raises(TypeError):
            s.find(3)


def test_a_name_that_is_not_utf8_has_no_text_name(tmp_path):
    path = tmp_path / "latin.set"
    path.write_bytes(set_bytes([(b"caf\xe9.res", 0, 0, b"x")]))
    with resource_set.open(path) as s:
        (entry,) = s
        assert entry.name == b"caf\xe9.res"
        assert entry.text_name is None
        assert s.find(b"caf\xe9.res").index == 0


def test_read_gives_the_payload_and_its_slices(sample_path):
    payload = SAMPLE[1][3]
    with resource_set.open(sample_path) as s:
        entry = s["level/1.res"]
        assert s.read(entry) == payload
        assert s.read(entry, 10) == payload[10:]
        assert s.read(entry, 10, 5) == payload[10:15]
        assert s.read(entry, offset=1020, size=100) == payload[1020:]
        assert s.read(entry, len(payload)) == b""
        assert s.read(entry, size=0) == b""
        with pytest.raises(resource_set.Error) as raised:
            s.read(entry, len(payload) + 1)
        assert raised.value.status == resource_set.ERROR_RANGE
        with pytest.raises(ValueError):
            s.read(entry, -1)
        with pytest.raises(ValueError):
            s.read(entry, 0, -2)


def test_readinto_fills_a_bytearray_and_a_memoryview_in_place(sample_path):
    payload = SAMPLE[1][3]
    with resource_set.open(sample_path) as s:
        entry = s["level/1.res"]
        whole = bytearray(2000)
        assert s.readinto(entry, whole) == len(payload)
        assert whole == payload + bytes(2000 - len(payload))
        target = bytearray(b"-" * 12)
        assert s.readinto(entry, memoryview(target)[2:10], offset=100) == 8
        assert target == b"--" + payload[100:108] + b"--"
        assert s.readinto(entry, bytearray(4), len(payload)) == 0
        with pytest.raises(TypeError):
            s.readinto(entry, b"read-only")
        with pytest.raises(TypeError):
            s.readinto(entry, memoryview(bytearray(8))[::2])


def test_an_entry_of_another_set_is_refused(sample_path):
    with resource_set.open(sample_path) as s, resource_set.open(sample_path) as other:
        with pytest.raises(resource_set.Error) as raised:
            s.read(other["title.res"])
        assert raised.value.status == resource_set.ERROR_ARGUMENT


def test_entries_outlive_their_closed_set(sample_path):
    with resource_set.open(sample_path) as s:
        entries = list(s)
    assert s.closed
    assert [e.name for e in entries] == [name for name, _, _, _ in SAMPLE]
    del s
    assert entries[2].text_name == "title.res"
    assert entries[2].word1 == 5
    s = resource_set.open(sample_path)
    entry = s["title.res"]
    s.close()
    s.close()
    for use in (lambda: s.read(entry), lambda: len(s), lambda: s.find("title.res"), lambda: iter(s)):
        with pytest.raises(ValueError, match="the set is closed"):
            use()


def test_open_memory_reads_in_place_and_holds_the_buffer():
    data = bytearray(set_bytes(SAMPLE, SAMPLE_KEEP))
    s = resource_set.open_memory(data)
    assert [s.read(e) for e in s] == [payload for _, _, _, payload in SAMPLE]
    with pytest.raises(BufferError):
        data.extend(b"more")
    s.close()
    data.extend(b"more")


def test_reads_from_many_threads_at_once(tmp_path):
    entries = [(b"part%d.res" % i, i, 0, bytes([i]) * (1 << 16)) for i in range(32)]
    path = tmp_path / "parts.set"
    path.write_bytes(set_bytes(entries))
    wrong = []
    with resource_set.open(path) as s:

        def read_all():
            for _ in range(20):
                for entry in s:
                    if s.read(entry) != entries[entry.index][3]:
                        wrong.append(entry.index)

        threads = [threading.Thread(target=read_all) for _ in range(4)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
    assert wrong == []


def test_closing_waits_for_a_read_under_way(tmp_path):
    # The set holds the only reference to its 16 MiB: closing it while a
    # read copies from them would unmap them under the read.
    payload = bytes(range(256)) * (1 << 16)
    s = resource_set.open_memory(set_bytes([(b"big.res", 0, 0, payload)]))
    entry = s["big.res"]
    results = []

    def read_many():
        buffer = bytearray(len(payload))
        try:
            while True:
                s.readinto(entry, buffer)
                results.append(buffer == payload)
        except ValueError:
            pass

    thread = threading.Thread(target=read_many)
    thread.start()
    while not results:
        pass
    s.close()
    thread.join()
    assert all(results)


def test_entries_are_equal_when_they_are_the_same_entry_of_one_set(sample_path):
    with resource_set.open(sample_path) as s, resource_set.open(sample_path) as other:
        first, _, last = s
        assert s["title.res"] == last
        assert s.find(b"title.res") != first
        assert {s["title.res"], last} == {last}
        assert other["title.res"] != last
        assert first != "title.res"
