"""The write guard end to end: the real editor saves and removes over sample
disk images, and every refused disk keeps every byte it had."""
import os
import subprocess
import sys
from pathlib import Path

import pytest

HERE = Path(__file__).parent
sys.path.insert(0, str(HERE))
sys.path.insert(0, str(HERE.parent / "simdisk"))
sys.path.insert(0, str(HERE.parent))

import disk_samples  # noqa: E402
import wexrecord  # noqa: E402
import launcher  # noqa: E402
from simdisk import SimDisks  # noqa: E402

SAMPLES = disk_samples.samples()
STORE = disk_samples.STORE


def wexedit(disks, *args):
    program = Path(os.environ["WEXEDIT_BIN_DIR"]) / "wexedit"
    return launcher.run(program, args, argv0="wexedit", env=disks.env(),
                        stdin=subprocess.DEVNULL, capture_output=True, timeout=60)


@pytest.fixture
def disks(tmp_path):
    return SimDisks(tmp_path / "disks")


def stored_tree(image):
    """The tree name of the record at 2560, or None when there is none."""
    record = disk_samples.wexrecord.record_on(image)
    return record.texts["wsTree"].decode() if record is not None else None


def libblkid_reaches(program):
    """Whether the program, by its word size, finds libblkid to load at run time."""
    with open(program, "rb") as elf:
        wide = elf.read(5)[4] == 2
    folders = (["/lib/x86_64-linux-gnu", "/usr/lib/x86_64-linux-gnu"] if wide else
               [os.environ.get("QEMU_LD_PREFIX", "") + "/lib/i386-linux-gnu",
                os.environ.get("QEMU_LD_PREFIX", "") + "/usr/lib/i386-linux-gnu"])
    return any(Path(folder, "libblkid.so.1").exists() for folder in folders)


@pytest.mark.parametrize("name", sorted(SAMPLES))
def test_save_writes_only_where_the_range_is_ours(disks, name):
    image, settings, expected = SAMPLES[name]
    if expected == "refused-by-libblkid":
        if not libblkid_reaches(Path(os.environ["WEXEDIT_BIN_DIR"]) / "wexedit"):
            pytest.skip("libblkid.so.1 for the program's word size is not installed")
        expected = "refused"
    disks.add("sda", image, **settings)
    result = wexedit(disks, "Tree=Lab")
    after = disks.image("sda")
    if expected.startswith("written"):
        assert result.returncode == 0, result.stderr
        assert stored_tree(after) == "Lab"
        written = STORE + int.from_bytes(after[STORE + 8:STORE + 12], "little")
        # Nothing outside the record's own range and its journal copy changed.
        assert after[:STORE] == image[:STORE]
        if expected in ("written", "written-second-area"):
            assert result.stderr == b""
            assert wexrecord.journal_on(after)[1] == after[STORE:written]
            assert wexrecord.outside_journal(after)[written:] == wexrecord.outside_journal(image)[written:]
            # The copy lies in the one area the disk allows; the other is as it was.
            first, second = wexrecord.JOURNAL_AREAS
            used, other = (second, first) if expected == "written-second-area" else (first, second)
            assert wexrecord.journal_copy(after[used:used + 4096]) is not None
            assert after[other:other + 4096] == image[other:other + 4096]
        else:
            assert after[written:] == image[written:], "the journal area is not the record's to write"
            lines = result.stderr.decode().splitlines()
            assert len(lines) == 1 and lines[0].startswith("wexedit: /dev/sda: the disk has no journal copy")
    else:
        assert result.returncode == 4
        assert after == image, "a refused disk must keep every byte"
        assert result.stderr.decode().startswith("wexedit: /dev/sda: ")
        assert b"not written" in result.stderr
        # A table whose entry array lies over the record names the way out.
        remedy = b"sgdisk --move-main-table=20 /dev/sda" in result.stderr
        assert remedy == (name == "gpt-512"), result.stderr
    for sector in (512, 4096):
        if name.startswith(f"gpt-{sector}"):
            assert disk_samples.gpt_valid(after, sector), "the partition table must still validate"


def test_refused_disk_does_not_stop_the_others(disks):
    grub_image, _, _ = SAMPLES["mbr-grub2"]
    disks.add("sda", grub_image)
    disks.add("sdb", SAMPLES["empty"][0])
    result = wexedit(disks, "Tree=Both")
    assert result.returncode == 4
    assert disks.image("sda") == grub_image
    assert stored_tree(disks.image("sdb")) == "Both"
    lines = result.stderr.decode().splitlines()
    assert len(lines) == 1 and lines[0].startswith("wexedit: /dev/sda: ") and "boot loader" in lines[0]


@pytest.mark.parametrize("name", ["gpt-512-array-moved", "gpt-4096-partition-at-1mib", "mbr-foreign-data-at-8000"])
def test_a_save_and_a_removal_leave_the_disk_as_it_was(disks, name):
    image, settings, _ = SAMPLES[name]
    disks.add("sda", image, **settings)
    assert wexedit(disks, "Tree=Lab").returncode == 0
    assert wexrecord.journal_on(disks.image("sda")) is not None
    result = wexedit(disks, "-r")
    assert (result.returncode, result.stderr) == (0, b"")
    assert disks.image("sda") == image, "no byte of the record or its journal copy is left"


@pytest.mark.parametrize("name,erased", [("mbr-with-record", True), ("mbr-removed-record", True),
                                         ("mbr-windows", False), ("gpt-512", False), ("mbr-grub2", False)])
def test_remove_erases_our_whole_record_and_nothing_else(disks, name, erased):
    image, settings, _ = SAMPLES[name]
    disks.add("sda", image, **settings)
    result = wexedit(disks, "-r")
    assert result.returncode == 0, result.stderr
    after = disks.image("sda")
    if erased:
        end = STORE + len(disk_samples.record())
        assert after[STORE:end] == bytes(end - STORE), "no byte of the identity is left"
        assert after[:STORE] + after[end:] == image[:STORE] + image[end:]
    else:
        assert after == image
        assert not [line for line in disks.log_lines() if line.startswith("write ")]
