"""Saves and removals that do not reach a disk are reported and end with status 4."""

import pytest

from wexrun import STORE_OFFSET, Record, edit, sample_record

GPT_HEADER = b"EFI PART"


def protective_gpt_disk():
    """Zeros with an MBR signature and a GPT header signature at byte 512."""
    image = bytearray(64 * 1024)
    image[446 + 4] = 0xEE
    image[510:512] = b"\x55\xaa"
    image[512:520] = GPT_HEADER
    return bytes(image)


@pytest.mark.parametrize("fault", ["write", "shortwrite", "sync"])
def test_failed_disk_is_reported_and_the_others_are_still_written(disks, fault):
    disks.add("sda", sample_record(), fault=fault)
    disks.add("sdb", sample_record())
    result = edit(disks, "Tree=Lab")
    assert result.stdout == b"   DEZE Tree Name set to 'Lab'\n"
    lines = result.stderr.decode().splitlines()
    assert len(lines) == 1 and lines[0].startswith("wexedit: /dev/sda: ")
    assert result.returncode == 4
    assert disks.record("sdb").texts["wsTree"] == b"Lab"


def test_every_failed_disk_gets_its_own_line(disks):
    disks.add("sda", Record(), fault="write")
    disks.add("sdc", Record(), fault="sync")
    result = edit(disks, "-c")
    lines = result.stderr.decode().splitlines()
    assert [line.split(":")[1].strip() for line in lines] == ["/dev/sda", "/dev/sdc"]
    assert result.returncode == 4


def test_no_usable_disk_is_one_line_and_status_4(disks):
    result = edit(disks, "Tree=Lab")
    assert result.stdout == b"   DEZE Tree Name set to 'Lab'\n"
    assert result.stderr == b"wexedit: no usable disk; the image-safe data was not written\n"
    assert result.returncode == 4


def test_refused_disk_is_reported_with_its_reason_and_left_unchanged(disks):
    gpt = protective_gpt_disk()
    (disks.folder / "sda").write_bytes(gpt)
    disks.add("sdb")
    result = edit(disks, "N=PC1")
    assert result.stderr.decode().startswith("wexedit: /dev/sda: ")
    assert "partition table" in result.stderr.decode()
    assert result.returncode == 4
    assert disks.image("sda") == gpt
    assert disks.record("sdb").texts["netbiosName"] == b"PC1"


def test_earlier_sid_status_stays_when_the_save_also_fails(disks):
    result = edit(disks, "SID=1-2")
    assert result.returncode == 1
    assert b"no usable disk" in result.stderr


def test_unknown_argument_status_stays_when_the_save_also_fails(disks):
    result = edit(disks, "-c", "Foo")
    assert result.returncode == 255
    assert b"no usable disk" in result.stderr


def test_removal_without_any_usable_disk_is_reported(disks):
    result = edit(disks, "-r")
    assert result.stderr == b"wexedit: no usable disk; the image-safe data was not removed\n"
    assert result.returncode == 4


def test_removal_with_no_record_present_writes_nothing_and_succeeds(disks):
    before = disks.add("sda")
    result = edit(disks, "-r")
    assert (result.returncode, result.stderr) == (0, b"")
    assert disks.image("sda") == before


def test_failed_removal_is_reported(disks):
    before = disks.add("sda", sample_record(), fault="write")
    result = edit(disks, "-r")
    assert result.stderr.decode().startswith("wexedit: /dev/sda: ")
    assert result.returncode == 4
    assert disks.image("sda")[STORE_OFFSET:STORE_OFFSET + 4] == before[STORE_OFFSET:STORE_OFFSET + 4]
