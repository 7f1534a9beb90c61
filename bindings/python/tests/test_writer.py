# SPDX-License-Identifier: MIT
"""Writer: sets written from memory, from resource files and from other
sets, and the ones never written."""
import threading

import pytest
from conftest import SAMPLE, SAMPLE_KEEP, resource_file_bytes, set_bytes

import resource_set


def test_a_set_written_from_memory_is_the_set_by_hand(tmp_path):
    path = tmp_path / "game.set"
    with resource_set.Writer(path) as writer:
        for index, (name, word1, word2, payload) in enumerate(SAMPLE):
            writer.add_memory(name if index else name.decode(), word1, word2, memoryview(payload))
            if index + 1 == SAMPLE_KEEP:
                writer.discard()
    assert path.read_bytes() == set_bytes(SAMPLE, SAMPLE_KEEP)


def test_add_file_packs_a_resource_file(tmp_path):
    resource = tmp_path / "level.res"
    resource.write_bytes(resource_file_bytes(7, 8, b"level data"))
    writer = resource_set.Writer(str(tmp_path / "one.set"))
    writer.add_file("level.res", resource)
    writer.commit()
    assert (tmp_path / "one.set").read_bytes() == set_bytes([(b"level.res", 7, 8, b"level data")])


def test_add_entry_copies_from_a_set_that_is_closed_before_the_commit(sample_path, tmp_path):
    path = tmp_path / "copy.set"
    writer = resource_set.Writer(path)
    with resource_set.open(sample_path) as source:
        for entry in reversed(list(source)):
            writer.add_entry(entry.name, source, entry)
    assert source.closed
    with pytest.raises(ValueError):
        source.find("title.res")
    writer.commit()
    assert path.read_bytes() == set_bytes(list(reversed(SAMPLE)))


def test_add_entry_refuses_an_entry_of_another_set(sample_path, tmp_path):
    with resource_set.open(sample_path) as one, resource_set.open(sample_path) as other:
        writer = resource_set.Writer(tmp_path / "copy.set")
        with pytest.raises(resource_set.Error) as raised:
            writer.add_entry("title.res", one, other["title.res"])
        assert raised.value.status == resource_set.ERROR_ARGUMENT
        writer.abandon()


def test_an_exception_in_the_with_block_leaves_no_file(tmp_path):
    path = tmp_path / "never.set"
    with pytest.raises(RuntimeError):
        with resource_set.Writer(path) as writer:
            writer.add_memory("a.res", 0, 0, b"abc")
            raise RuntimeError("stop")
    assert list(tmp_path.iterdir()) == []


def test_an_abandoned_writer_leaves_what_stood_at_its_path(sample_path):
    before = sample_path.read_bytes()
    writer = resource_set.Writer(sample_path)
    writer.add_memory("a.res", 0, 0, b"abc")
    writer.abandon()
    writer.abandon()
    dropped = resource_set.Writer(sample_path)
    dropped.add_memory("b.res", 0, 0, b"def")
    del dropped
    assert sample_path.read_bytes() == before
    assert [p.name for p in sample_path.parent.iterdir()] == [sample_path.name]


def test_the_writer_holds_its_payloads_until_the_commit(tmp_path):
    payload = bytearray(b"payload")
    writer = resource_set.Writer(tmp_path / "held.set")
    writer.add_memory("a.res", 0, 0, payload)
    with pytest.raises(BufferError):
        payload.extend(b"!")
    writer.commit()
    payload.extend(b"!")


@pytest.mark.parametrize(
    "name, status",
    [("", resource_set.ERROR_NAME), ("x" * 33, resource_set.ERROR_NAME), ("é" * 17, resource_set.ERROR_NAME)],
)
def test_refused_names_raise_error_and_the_writer_goes_on(tmp_path, name, status):
    path = tmp_path / "named.set"
    with resource_set.Writer(path) as writer:
        with pytest.raises(resource_set.Error) as raised:
            writer.add_memory(name, 0, 0, b"abc")
        assert raised.value.args == (status, "a name that is empty or longer than 32 bytes")
        writer.add_memory("x" * 32, 0, 0, b"abc")
    assert path.read_bytes() == set_bytes([(b"x" * 32, 0, 0, b"abc")])


def test_arguments_the_library_cannot_take(tmp_path):
    writer = resource_set.Writer(tmp_path / "bad.set")
    with pytest.raises(ValueError):
        writer.add_memory("a\0b.res", 0, 0, b"")
    with pytest.raises(OverflowError):
        writer.add_memory("a.res", 1 << 32, 0, b"")
    with pytest.raises(OverflowError):
        writer.add_memory("a.res", 0, 1 << 32, b"")
    with pytest.raises(TypeError):
        writer.add_memory(7, 0, 0, b"")
    writer.abandon()
    with pytest.raises(ValueError, match="committed or abandoned"):
        writer.add_memory("a.res", 0, 0, b"")
    with pytest.raises(ValueError, match="committed or abandoned"):
        writer.commit()


def test_add_file_of_no_resource_file_names_it(tmp_path):
    not_resource = tmp_path / "text.txt"
    not_resource.write_bytes(b"just some text, no header")
    writer = resource_set.Writer(tmp_path / "out.set")
    with pytest.raises(resource_set.Error) as raised:
        writer.add_file("text.txt", not_resource)
    assert raised.value.status == resource_set.ERROR_NOT_RESOURCE
    assert raised.value.filename == str(not_resource)
    with pytest.raises(resource_set.Error) as raised:
        writer.add_file("gone.res", tmp_path / "gone.res")
    assert raised.value.status == resource_set.ERROR_OPEN
    writer.abandon()


def test_a_commit_that_fails_raises_error_with_the_path(tmp_path):
    path = tmp_path / "no such folder" / "out.set"
    with pytest.raises(resource_set.Error) as raised:
        with resource_set.Writer(path) as writer:
            writer.add_memory("a.res", 0, 0, b"abc")
    assert raised.value.status == resource_set.ERROR_WRITE
    assert raised.value.filename == str(path)
    with pytest.raises(ValueError):
        writer.commit()


def test_abandon_during_a_commit_on_another_thread_leaves_the_commit_alone(tmp_path):
    # The commit copies 64 MiB from a set closed before it: abandoning the
    # writer meanwhile must not close that set under the commit.
    payload = bytes(range(256)) * (1 << 14)
    source_path = tmp_path / "source.set"
    source_path.write_bytes(set_bytes([(b"big.res", 0, 0, payload)]))
    path = tmp_path / "copy.set"
    writer = resource_set.Writer(path)
    with resource_set.open(source_path) as source:
        for _ in range(16):
            writer.add_entry("big.res", source, source["big.res"])
    errors = []

    def commit():
        try:
            writer.commit()
        except resource_set.Error as error:
            errors.append(error)

    thread = threading.Thread(target=commit)
    thread.start()
    # Once the commit's temporary is there, the commit runs.
    while thread.is_alive() and not any(p.name.startswith(".resource_set-") for p in tmp_path.iterdir()):
        pass
    writer.abandon()
    thread.join()
    assert errors == []
    assert path.read_bytes() == set_bytes([(b"big.res", 0, 0, payload)] * 16)
