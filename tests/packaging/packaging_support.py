"""Paths and source facts shared by the packaging tests."""

import os
import re
from pathlib import Path

SOURCE_DIR = Path(os.environ.get("WEX_SOURCE_DIR", Path(__file__).resolve().parents[2]))
BUILD_DIR = Path(os.environ.get("WEX_BUILD_DIR", ""))


def documented_field_names():
    """The documented names of the keyword table, read from the program's source,
    so that the manual and the completion are checked against what it accepts."""
    source = (SOURCE_DIR / "fields" / "fields.cpp").read_text()
    names = re.findall(r'\.documentedName = "([A-Za-z]+)",', source)
    if len(names) < 10:
        raise RuntimeError("cannot read the field table from fields/fields.cpp")
    return names


def env_path(name):
    value = os.environ.get(name, "")
    if not value:
        raise RuntimeError(f"{name} is not set: run the test through ctest")
    return value


def project_version():
    """The one version of the project, kept in the top-level VERSION file."""
    text = (SOURCE_DIR / "VERSION").read_text()
    match = re.fullmatch(r"([0-9]+\.[0-9]+\.[0-9]+)\n", text)
    if match is None:
        raise RuntimeError("VERSION does not hold one version of the form 1.2.3")
    return match.group(1)
