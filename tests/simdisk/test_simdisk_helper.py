"""The Python helper, checked against the preload library in a real process."""

import json
import os
import sys
from pathlib import Path

import pytest

from simdisk import SimDisks, library

sys.path.insert(0, str(Path(__file__).resolve().parent.parent))
import launcher  # noqa: E402


@pytest.fixture
def disks(tmp_path):
    return SimDisks(tmp_path / "disks")


def test_settings_written_by_the_helper_are_the_ones_the_library_answers(disks):
    disks.add("sda", 4096, size=123, ide=(255, 63, 1024), getgeo=False, sector=4096,
              fault=["shortread"])
    disks.add("hda", media="cdrom")
    disks.add("sdb", fault="open")
    # A program of this build, so that the library and the program agree on
    # the word size; every call it makes goes through the library.
    run = launcher.run(os.environ["SIMDISK_PROBE"], env=disks.env(), capture_output=True,
                       text=True, check=True)
    assert run.stderr == ""
    out = json.loads(run.stdout)
    assert out["size"] == 123
    assert out["ide"] == "ff3f0004"
    assert out["getgeo"] == {"errno": 22}  # EINVAL
    assert out["sector"] == 4096
    assert out["read"] == 50  # shortread: half of what was asked
    assert out["write"] == 4
    assert out["media"] == "cdrom"
    assert out["sdb"] == {"errno": 13}  # EACCES
    assert disks.read("sda", 2560, 4) == b"WEXD"
    assert disks.log_lines() == [
        "open /dev/sda ok",
        "ioctl /dev/sda BLKGETSIZE ok",
        "ioctl /dev/sda IDE0303 ok",
        "ioctl /dev/sda HDIO_GETGEO EINVAL",
        "ioctl /dev/sda BLKSSZGET ok",
        "read /dev/sda 2560 100 50",
        "write /dev/sda 2560 4 4",
        "media /proc/ide/hda/media ok",
        "open /dev/sdb EACCES",
    ]


def test_env_puts_the_library_first_and_keeps_what_was_there(disks):
    env = disks.env({"LD_PRELOAD": "/x/other.so", "ASAN_OPTIONS": "detect_leaks=0", "HOME": "/h"})
    assert env["LD_PRELOAD"] == library() + " /x/other.so"
    assert env["ASAN_OPTIONS"] == "detect_leaks=0:verify_asan_link_order=0"
    assert env["SIMDISK_DIR"] == str(disks.folder)
    assert env["HOME"] == "/h"


def test_image_bytes_or_size_and_read_back(disks):
    disks.add("hdb", b"\x01\x02\x03")
    disks.add("sdh", 5000)
    disks.write("sdh", 2560, b"DATA")
    assert disks.image("hdb") == b"\x01\x02\x03"
    assert len(disks.image("sdh")) == 5000
    assert disks.read("sdh", 2558, 8) == b"\0\0DATA\0\0"
    assert disks.read("sdh", 4998, 8) == b"\0\0"


def test_adding_a_disk_again_drops_settings_it_no_longer_has(disks):
    disks.add("sda", fault="write")
    disks.add("sda")
    assert not (disks.folder / "sda.conf").exists()


@pytest.mark.parametrize("arguments", [
    {"name": "sg0"},
    {"name": "sda", "fault": "slowread"},
    {"name": "sda", "ide": "ff3f00"},
    {"name": "sda", "ide": b"\xff\x3f"},
    {"name": "sda", "size": -1},
    {"name": "sda", "getgeo": "yes"},
    {"name": "sda", "sector": 0},
])
def test_typos_in_a_disk_are_refused_not_silently_ignored(disks, arguments):
    with pytest.raises(ValueError):
        disks.add(**arguments)
    assert not (disks.folder / "sda.conf").exists()


def test_missing_library_variable_is_reported(tmp_path, monkeypatch):
    monkeypatch.delenv("SIMDISK_LIBRARY")
    with pytest.raises(RuntimeError, match="SIMDISK_LIBRARY"):
        SimDisks(tmp_path)
