"""The store end to end over simulated disks: saves cut at any byte, two runs
at once, shrinking and growing records, records found past a disk without one,
removal of every copy, disks that cannot be opened, and the lock's wait."""
import fcntl
import subprocess
import sys
import threading
import time
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "cli"))
sys.path.insert(0, str(Path(__file__).resolve().parent.parent))

import launcher  # noqa: E402
from wexrun import (JOURNAL_OFFSET, STORE_OFFSET, Record, bin_dir, edit, journal_bytes, journal_on,  # noqa: E402
                    json_object, outside_journal, program_disks, sample_record, view)

FIELDS = ("NetBIOSName", "Tree", "IP")
OLD = (b"PC1", b"CORP_TREE", b"10.0.0.5")
NEW = (b"NEWNAME-XYZ", b"NEWTREE", b"10.9.9.9")
NOTHING = (b"", b"", b"0.0.0.0")
NEW_ARGS = ("NetBIOSName=NEWNAME-XYZ", "Tree=NEWTREE", "IP=10.9.9.9")


@pytest.fixture
def disks(tmp_path):
    return program_disks(tmp_path / "disks")


def seen(disks):
    result = view(disks, *FIELDS)
    return tuple(result.stdout.split(b"\n")[:3]), result


def written_bytes(disks, name):
    return sum(int(line.split()[4]) for line in disks.log_lines() if line.startswith(f"write /dev/{name} "))


def bytes_a_save_writes(disks):
    disks.add("sda", sample_record())
    assert edit(disks, *NEW_ARGS).returncode == 0
    return written_bytes(disks, "sda")


@pytest.mark.parametrize("names,cut", [(("sda",), "sda"), (("sda", "sdb"), "sda"), (("sda", "sdb"), "sdb")],
                         ids=["one-disk", "two-disks-cut-first", "two-disks-cut-second"])
def test_save_cut_at_any_byte_reads_back_old_or_new_and_the_next_save_succeeds(disks, names, cut):
    total = bytes_a_save_writes(disks)
    points = sorted({p for p in (0, 1, 3, 4, 5, 8, 12, 100, 210, 230, total // 2, total - 5, total - 4,
                                 total - 1) if 0 <= p < total})
    for point in points:
        for name in names:
            disks.add(name, sample_record(), cut=point if name == cut else None)
        killed = edit(disks, *NEW_ARGS)
        assert killed.returncode == -9, (point, killed.stderr)
        (disks.folder / f"{cut}.conf").unlink()
        found, result = seen(disks)
        assert found in (OLD, NEW), (point, found, result.stderr)
        assert result.returncode == 0, (point, result.stderr)
        assert edit(disks, "NetBIOSName=AGAIN").returncode == 0, point
        assert seen(disks)[0][0] == b"AGAIN", point


def test_two_editors_started_together_keep_both_changes(disks):
    disks.add("sda", sample_record(), delay=50)
    program = bin_dir() / "wexedit"
    first = launcher.popen(program, ["Tree=NEW_A"], argv0="wexedit", env=disks.env(),
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    # The first has read the record and not yet written: now the second starts.
    deadline = time.monotonic() + 30
    while not any(line.startswith("read /dev/sda 2560 ") and line.split()[3] != "204" for line in disks.log_lines()):
        assert time.monotonic() < deadline and first.poll() is None
        time.sleep(0.01)
    second = launcher.run(program, ["NetBIOSName=NEW_B"], argv0="wexedit", env=disks.env(),
                          capture_output=True, timeout=60)
    first.communicate(timeout=60)
    assert (first.returncode, second.returncode) == (0, 0), second.stderr
    stored = disks.record("sda")
    assert (stored.texts["wsTree"], stored.texts["netbiosName"]) == (b"NEW_A", b"NEW_B")


def test_a_shorter_save_never_locks_out_a_longer_one(disks):
    disks.add("sda", sample_record())
    for value in ("x" * 8, "", "x" * 8):
        result = edit(disks, f"LastBaseImage={value}")
        assert (result.returncode, result.stderr) == (0, b""), value
        assert disks.record("sda").texts["lastBaseImage"] == value.encode()
    # Nothing of the longer records is left behind the last one.
    end = STORE_OFFSET + len(disks.record("sda").encode())
    rest = outside_journal(disks.image("sda"))[end:]
    assert rest == bytes(len(rest))


def protective_gpt_disk():
    image = bytearray(64 * 1024)
    image[446 + 4] = 0xEE
    image[446 + 8] = 1
    image[510:512] = b"\x55\xaa"
    image[512:520] = b"EFI PART"
    return bytes(image)


@pytest.mark.parametrize("first", ["blank", "refused"])
def test_record_on_the_second_disk_is_read_kept_and_removed(disks, first):
    before = disks.add("sda")
    if first == "refused":
        before = protective_gpt_disk()
        (disks.folder / "sda").write_bytes(before)
    disks.add("sdb", sample_record())
    assert view(disks, "NetBIOSName").stdout == b"PC1\n"
    result = edit(disks, "JustImaged=false")
    expected = sample_record()
    expected.flags &= ~1
    assert disks.record("sdb") == expected
    if first == "blank":
        assert result.returncode == 0
        assert disks.record("sda") == expected
    else:
        assert result.returncode == 4
        assert result.stderr.startswith(b"wexedit: /dev/sda: ")
        assert disks.image("sda") == before
    assert edit(disks, "-r").returncode == 0
    assert disks.image("sdb")[STORE_OFFSET:STORE_OFFSET + 4] == bytes(4)
    assert view(disks, "NetBIOSName").stdout == b"\n"


def test_removal_clears_every_copy_and_every_unfinished_save(disks):
    unfinished = bytearray(sample_record().encode())
    unfinished[:4] = b"WEX_"
    disks.add("sda", sample_record())
    disks.add("sdb", Record())
    disks.add("sdc", stored=bytes(unfinished))
    result = edit(disks, "-r")
    assert (result.returncode, result.stderr) == (
        0, b"wexedit: /dev/sdc holds a save that did not finish; the image-safe data was read from /dev/sda\n")
    for name in ("sda", "sdb", "sdc"):
        assert disks.image(name) == bytes(len(disks.image(name))), f"{name}: no byte of the identity is left"
    found = view(disks, "NetBIOSName")
    assert (found.stdout, found.returncode) == (b"\n", 0)


def test_disk_that_cannot_be_opened_is_named_with_the_reason(disks):
    disks.add("sda", sample_record(), fault="open")
    disks.add("sdb", sample_record())
    result = view(disks, "NetBIOSName")
    assert (result.stdout, result.returncode) == (b"PC1\n", 0)
    assert result.stderr == b"wexview: /dev/sda: cannot be opened (Permission denied)\n"
    (disks.folder / "sdb").unlink()
    result = view(disks, "NetBIOSName")
    assert (result.stdout, result.returncode) == (b"\n", 4)
    assert result.stderr == (b"wexview: /dev/sda: cannot be opened (Permission denied)\n"
                             b"wexview: no usable disk; the image-safe data could not be read\n")


def test_a_run_that_cannot_lock_the_disks_gives_up_after_its_wait_having_written_nothing(disks):
    before = disks.add("sda", sample_record())
    with open(disks.folder / "sda", "rb") as held:
        fcntl.flock(held, fcntl.LOCK_SH)  # another viewer: readers share the disk
        assert view(disks, "NetBIOSName").stdout == b"PC1\n"
        fcntl.flock(held, fcntl.LOCK_EX)  # another editor
        start = time.monotonic()
        # The same wait with --json, at the same time: its object carries the error.
        with ThreadPoolExecutor(2) as pool:
            text, objected = pool.map(lambda args: edit(disks, *args), [["Tree=Lab"], ["--json", "Tree=Lab"]])
        waited = time.monotonic() - start
    line = b"/dev/sda is in use by another run of wexedit or wexview; gave up after 10 seconds; nothing was written"
    assert (text.returncode, text.stderr, text.stdout) == (4, b"wexedit: " + line + b"\n", b"")
    assert (objected.returncode, json_object("wexedit", objected.stdout)) == (
        4, {"schema": 1, "error": {"status": 4, "message": line.decode()}})
    assert 9.5 <= waited < 30
    assert disks.image("sda") == before


def test_nvme_and_virtio_disks_are_used_only_while_no_fixed_disk_is(disks):
    disks.add("vda")
    disks.add("nvme0n1")
    result = edit(disks, "Tree=Fallback")
    assert (result.returncode, result.stderr) == (0, b"")
    synced = [line.split()[1] for line in disks.log_lines() if line.startswith("sync")]
    assert list(dict.fromkeys(synced)) == ["/dev/nvme0n1", "/dev/vda"], "NVMe first, then virtio"
    assert disks.record("vda").texts["wsTree"] == disks.record("nvme0n1").texts["wsTree"] == b"Fallback"
    before = {name: disks.image(name) for name in ("vda", "nvme0n1")}
    disks.add("sdc")
    (disks.folder / "log").unlink()
    assert edit(disks, "Tree=Fixed").returncode == 0
    assert disks.record("sdc").texts["wsTree"] == b"Fixed"
    assert {name: disks.image(name) for name in ("vda", "nvme0n1")} == before
    assert not [line for line in disks.log_lines() if "/sys/block" in line or "nvme" in line or "vda" in line]


def test_named_disks_and_images_replace_the_scan(disks, tmp_path):
    disks.add("sda", sample_record())
    disks.add("sdb")
    image = tmp_path / "workstation.img"
    image.write_bytes(bytes(1 << 20))
    small = tmp_path / "small.img"
    small.write_bytes(bytes(STORE_OFFSET + 100))
    alias = tmp_path / "alias.img"
    alias.symlink_to(image)  # the same image twice: used once, not locked against itself
    named = ["--disk", str(tmp_path / "missing.img"), f"--disk={image}", "--disk", "/dev/sdb",
             "--disk", str(alias), "--disk", str(small)]
    result = edit(disks, *named, "NetBIOSName=IMG")
    assert result.returncode == 4
    lines = result.stderr.decode().splitlines()
    assert lines[0] == f"wexedit: {tmp_path}/missing.img: cannot be opened (No such file or directory)"
    # The named disk that could not be opened did not get the record either.
    assert lines[1] == (f"wexedit: {tmp_path}/missing.img: the disk could not be used; the image-safe data was not "
                        "written there (No such file or directory)")
    assert lines[2].startswith(f"wexedit: {small}: the disk ends before the image-safe data would")
    assert small.read_bytes() == bytes(STORE_OFFSET + 100), "an image is never extended"
    assert image.stat().st_size == 1 << 20
    assert disks.record("sdb").texts["netbiosName"] == b"IMG"
    assert disks.image("sda")[STORE_OFFSET:STORE_OFFSET + 4] == b"WEXD"
    assert disks.record("sda") == sample_record(), "an unnamed disk is left alone"
    assert view(disks, "--disk", str(image), "NetBIOSName").stdout == b"IMG\n"


@pytest.mark.parametrize("fault,said", [
    ("size=fail", b"wexedit: /dev/sda: not usable as a disk (Input/output error)\n"),
    ("fault=open", b"wexedit: /dev/sda: cannot be opened (Permission denied)\n"),
], ids=["size-request-fails", "open-fails"])
def test_a_disk_skipped_by_a_save_is_named_and_takes_the_newer_copy_at_the_next(disks, fault, said):
    disks.add("sda", sample_record())
    disks.add("sdb", sample_record())
    assert edit(disks, "NetBIOSName=OLD").returncode == 0
    (disks.folder / "sda.conf").write_text(fault + "\n")
    result = edit(disks, "NetBIOSName=NEW")
    assert (result.returncode, result.stderr) == (0, said)
    assert disks.record("sda").texts["netbiosName"] == b"OLD"
    (disks.folder / "sda.conf").unlink()
    assert view(disks, "NetBIOSName").stdout == b"NEW\n"
    assert edit(disks, "Tree=NEXT").returncode == 0
    for name in ("sda", "sdb"):
        stored = disks.record(name)
        assert (stored.texts["netbiosName"], stored.texts["wsTree"]) == (b"NEW", b"NEXT"), name
        assert journal_on(disks.image(name))[1] == stored.encode(), name


def test_a_corrupted_length_word_never_makes_a_save_or_removal_clear_foreign_bytes(disks):
    image = bytearray(sample_record().encode())
    image[8:12] = (60000).to_bytes(4, "little")
    disks.add("sda", stored=bytes(image))
    foreign = b"someone's 16 B.."
    with open(disks.folder / "sda", "r+b") as disk:
        disk.seek(STORE_OFFSET + 30000)
        disk.write(foreign)
    result = edit(disks, "NetBIOSName=NEW")
    # The record is damaged: read as far as its framing goes, which claims
    # neither the foreign bytes nor the journal area.
    assert (result.returncode, result.stderr) == (0, b"wexedit: /dev/sda: the image-safe data at byte 2560 is "
                                                     b"damaged and no disk holds another copy; it was read as far "
                                                     b"as it goes\n")
    assert disks.record("sda").texts["netbiosName"] == b"NEW"
    assert disks.image("sda")[STORE_OFFSET + 30000:STORE_OFFSET + 30016] == foreign
    assert edit(disks, "Tree=AFTER").stderr == b""
    assert journal_on(disks.image("sda"))[1] == disks.record("sda").encode()
    assert edit(disks, "-r").returncode == 0
    after = disks.image("sda")
    assert after[STORE_OFFSET + 30000:STORE_OFFSET + 30016] == foreign
    assert after.count(0) == len(after) - sum(1 for b in foreign if b), "only the foreign bytes are left"


def test_a_failed_sync_on_the_only_disk_loses_nothing(disks):
    disks.add("sda", sample_record(), fault="sync")
    result = edit(disks, *NEW_ARGS)
    assert result.returncode == 4
    (disks.folder / "sda.conf").unlink()
    found, result = seen(disks)
    assert found in (OLD, NEW) and result.returncode == 0, (found, result.stderr)
    assert edit(disks, "NetBIOSName=AFTER").returncode == 0
    stored = disks.record("sda")
    assert stored.texts["netbiosName"] == b"AFTER" and stored.texts["wsTree"] in (OLD[1], NEW[1])


def test_a_record_cut_short_by_the_disks_end_is_reported_and_passed_over(disks):
    whole = disks.add("sda", sample_record())
    (disks.folder / "sda").write_bytes(whole[:STORE_OFFSET + len(sample_record().encode()) - 1])
    result = view(disks, "NetBIOSName")
    assert (result.stdout, result.returncode) == (b"\n", 0)
    assert result.stderr == (b"wexview: /dev/sda: the image-safe data runs past the end of the disk; "
                             b"it was passed over\n")


def test_an_edit_that_changes_nothing_writes_and_syncs_nothing(disks):
    disks.add("sda", sample_record())
    disks.add("sdb", sample_record())
    assert edit(disks, "Tree=SAME").returncode == 0
    (disks.folder / "log").unlink()
    result = edit(disks, "Tree=SAME")
    assert (result.returncode, result.stderr) == (0, b"")
    assert not [line for line in disks.log_lines() if line.startswith(("write ", "sync "))]
    assert journal_on(disks.image("sda"))[0] == journal_on(disks.image("sdb"))[0] == 1, "the generation stays"


def test_editors_get_the_disks_while_viewers_read_back_to_back(disks):
    # Each read takes 20 ms: two viewer loops overlap their shared locks all
    # the time, and each editor still gets its turn within its wait.
    disks.add("sda", sample_record(), delay=20)
    disks.add("sdb", sample_record(), delay=20)
    stop = threading.Event()
    views = []

    def read_back_to_back():
        while not stop.is_set():
            views.append(view(disks, "NetBIOSName").returncode)

    readers = [threading.Thread(target=read_back_to_back) for _ in range(2)]
    for reader in readers:
        reader.start()
    try:
        time.sleep(0.3)
        edits = [edit(disks, f"NetBIOSName=PC{n}") for n in range(5)]
    finally:
        stop.set()
        for reader in readers:
            reader.join()
    assert [(result.returncode, result.stderr) for result in edits] == [(0, b"")] * 5
    assert views and set(views) == {0}
    assert disks.record("sda").texts["netbiosName"] == b"PC4"


def test_a_disk_over_2_tib_is_a_disk_like_any_other(disks):
    # 3 TiB of sectors over a sparse image: the size comes in bytes on every build.
    disks.add("sda", size=3 * 2**40 // 512)
    assert edit(disks, *NEW_ARGS).returncode == 0
    found, result = seen(disks)
    assert (found, result.stderr) == (NEW, b"")
    assert journal_on(disks.image("sda"))[1] == disks.record("sda").encode()


def test_a_node_that_is_no_block_device_is_named_in_both_roles(disks):
    disks.add("sda", sample_record())
    disks.add("sdb", sample_record(), size="notty")
    for run in (edit(disks, "Tree=X"), view(disks, "Tree")):
        assert b"/dev/sdb: not usable as a disk (Block device required)" in run.stderr, run.stderr


def test_a_journal_copy_where_the_disk_no_longer_has_room_refuses_the_save_and_says_why(disks):
    stored = sample_record().encode()
    image = bytearray(8000)  # the disk ends inside the journal area, which holds a copy
    image[STORE_OFFSET:STORE_OFFSET + len(stored)] = stored
    copy = journal_bytes(stored, 3)
    image[JOURNAL_OFFSET:JOURNAL_OFFSET + len(copy)] = copy
    disks.add("sda", bytes(image))
    result = edit(disks, "Tree=NEW")
    assert (result.returncode, result.stderr) == (4, b"wexedit: /dev/sda: a journal copy lies where the disk no "
                                                     b"longer leaves room for one (the disk ends before byte "
                                                     b"10240); the image-safe data was not written there\n")
    assert disks.image("sda") == bytes(image)
