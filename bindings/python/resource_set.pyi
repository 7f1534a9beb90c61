# SPDX-License-Identifier: MIT
# Typing stubs of the resource_set extension module; resource_set_python(3)
# and help(resource_set) describe it.
import os
from collections.abc import Iterator
from types import TracebackType
from typing import Final, Literal, Self, final

from _typeshed import ReadableBuffer, WriteableBuffer, structseq

_Path = str | bytes | os.PathLike[str] | os.PathLike[bytes]
_Name = str | bytes

__version__: Final[str]

def version() -> str: ...
def open(path: _Path) -> Set: ...
def open_memory(data: ReadableBuffer, /) -> Set: ...
def check(path: _Path) -> list[Finding]: ...

class Error(OSError):
    """args is (status, text); errno and strerror are the system's reason
    for ERROR_OPEN and ERROR_READ, or None; filename is the path, or None."""

    @property
    def status(self) -> int | None: ...

@final
class Entry:
    @property
    def name(self) -> bytes: ...
    @property
    def text_name(self) -> str | None: ...
    @property
    def word1(self) -> int: ...
    @property
    def word2(self) -> int: ...
    @property
    def size(self) -> int: ...
    @property
    def offset(self) -> int: ...
    @property
    def index(self) -> int: ...

@final
class Set:
    @property
    def keep_count(self) -> int: ...
    @property
    def closed(self) -> bool: ...
    def __len__(self) -> int: ...
    def __iter__(self) -> Iterator[Entry]: ...
    def __getitem__(self, name: _Name) -> Entry: ...
    def __contains__(self, name: object) -> bool: ...
    def find(self, name: _Name, /) -> Entry | None: ...
    def read(self, entry: Entry, offset: int = 0, size: int = -1) -> bytes: ...
    def readinto(self, entry: Entry, buffer: WriteableBuffer, offset: int = 0) -> int: ...
    def close(self) -> None: ...
    def __enter__(self) -> Self: ...
    def __exit__(
        self, type: type[BaseException] | None, value: BaseException | None, traceback: TracebackType | None, /
    ) -> Literal[False]: ...

@final
class Writer:
    def __init__(self, path: _Path) -> None: ...
    def add_memory(self, name: _Name, word1: int, word2: int, data: ReadableBuffer) -> None: ...
    def add_file(self, name: _Name, path: _Path) -> None: ...
    def add_entry(self, name: _Name, set: Set, entry: Entry) -> None: ...
    def discard(self) -> None: ...
    def commit(self) -> None: ...
    def abandon(self) -> None: ...
    def __enter__(self) -> Self: ...
    def __exit__(
        self, type: type[BaseException] | None, value: BaseException | None, traceback: TracebackType | None, /
    ) -> Literal[False]: ...

@final
class Finding(structseq[int | str | None], tuple[int, int | None, int, str]):
    """(problem, entry, value, text): a PROBLEM_ number, the entry's number or
    None for the header or the whole set, the number the problem comes
    with, and the sentence."""

    __match_args__: Final = ("problem", "entry", "value", "text")
    @property
    def problem(self) -> int: ...
    @property
    def entry(self) -> int | None: ...
    @property
    def value(self) -> int: ...
    @property
    def text(self) -> str: ...

OK: Final[int]
ERROR_OPEN: Final[int]
ERROR_READ: Final[int]
ERROR_FORMAT: Final[int]
ERROR_SHORT: Final[int]
ERROR_MEMORY: Final[int]
ERROR_RANGE: Final[int]
ERROR_ARGUMENT: Final[int]
ERROR_NAME: Final[int]
ERROR_TOO_MANY: Final[int]
ERROR_TOO_LONG: Final[int]
ERROR_NOT_RESOURCE: Final[int]
ERROR_CHANGED: Final[int]
ERROR_WRITE: Final[int]
PROBLEM_MAGIC: Final[int]
PROBLEM_RESERVED: Final[int]
PROBLEM_COUNT: Final[int]
PROBLEM_KEEP_COUNT: Final[int]
PROBLEM_KEEP_END: Final[int]
PROBLEM_NAME_UNTERMINATED: Final[int]
PROBLEM_NAME_PADDING: Final[int]
PROBLEM_NAME_LENGTH: Final[int]
PROBLEM_NAME_UNSAFE: Final[int]
PROBLEM_SHORT: Final[int]
PROBLEM_TRAILING: Final[int]
PROBLEM_UNREADABLE: Final[int]
PROBLEM_TABLE_TOO_LONG: Final[int]
PROBLEM_NAME_EMPTY: Final[int]
PROBLEM_NAME_FOLDER: Final[int]
PROBLEM_NAME_DIRECTIVE: Final[int]
PROBLEM_SET_TOO_LONG: Final[int]
