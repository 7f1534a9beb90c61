# SPDX-License-Identifier: MIT
"""The module's documentation: a docstring on everything help() lists, and
the manual page resource_set_python(3), which renders clean."""
import inspect
import os
import subprocess

import pytest

import resource_set

PAGE = os.environ.get("RESOURCE_SET_PYTHON_MAN_PAGE")
# groff runs without the sanitizer's runtime that a sanitizer build preloads.
GROFF_ENVIRONMENT = {name: value for name, value in os.environ.items() if name != "LD_PRELOAD"}


def public(namespace):
    return [(name, value) for name, value in vars(namespace).items() if not name.startswith("_")]


def test_every_function_class_and_method_has_a_docstring():
    undocumented = []
    for name, value in public(resource_set):
        if inspect.isclass(value) or callable(value):
            if not (value.__doc__ or "").strip():
                undocumented.append(name)
        if inspect.isclass(value) and value.__module__ == "resource_set":
            for member, attribute in public(value):
                if not (attribute.__doc__ or "").strip():
                    undocumented.append(f"{name}.{member}")
    assert undocumented == []


def test_signatures_are_known_to_inspect():
    assert str(inspect.signature(resource_set.Set.read)) == "(self, /, entry, offset=0, size=-1)"
    assert str(inspect.signature(resource_set.Writer)) == "(path)"
    assert str(inspect.signature(resource_set.open)) == "(path)"


@pytest.mark.skipif(PAGE is None, reason="RESOURCE_SET_PYTHON_MAN_PAGE, the page's path, is not set (ctest sets it)")
@pytest.mark.parametrize("device", [[], ["-Tutf8"], ["-Tascii"]])
def test_the_manual_page_renders_without_a_word(device):
    said = subprocess.run(
        ["groff", "-man", "-ww", "-z", *device, PAGE], capture_output=True, text=True, env=GROFF_ENVIRONMENT
    )
    assert (said.returncode, said.stdout + said.stderr) == (0, "")


@pytest.mark.skipif(PAGE is None, reason="RESOURCE_SET_PYTHON_MAN_PAGE, the page's path, is not set (ctest sets it)")
def test_the_manual_page_fits_a_terminal_of_80_columns():
    text = subprocess.run(
        ["groff", "-man", "-Tascii", "-P-c", "-P-b", "-P-u", "-P-o", PAGE],
        capture_output=True,
        text=True,
        check=True,
        env=GROFF_ENVIRONMENT,
    ).stdout
    assert "resource_set.Writer" in text
    assert [line for line in text.splitlines() if len(line) > 78] == []
