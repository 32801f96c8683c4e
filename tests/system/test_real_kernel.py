"""The 32-bit program on Debian's i386 kernel, over real disk drivers (IDE,
AHCI, NVMe, virtio) and real partition tables; the host then reads what
landed in the image files."""

import json
import os
import re
import shlex
import struct
import subprocess
import sys
import uuid
import zlib
from pathlib import Path

import pytest

from guest import MIB, Dev, Disk, Machine

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
import launcher  # noqa: E402
import wexrecord  # noqa: E402

STORE = wexrecord.STORE_OFFSET
JOURNAL, JOURNAL_END = wexrecord.JOURNAL_OFFSET, wexrecord.JOURNAL_END
# The journal's second area, the 4096 bytes that end at 1 MiB, taken where
# the first one is not free (on a disk with 4096-byte sectors, the GPT
# header's sector).
SECOND_JOURNAL = wexrecord.JOURNAL_SECOND_OFFSET
# Partition types of a Windows disk: EFI system, Microsoft reserved, basic data.
ESP, MSR, BASIC_DATA = ("C12A7328-F81F-11D2-BA4B-00A0C93EC93B", "E3C9E316-0B5C-4DB8-817D-F92DF00215AE",
                        "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7")


def stored_record(image):
    """The record at byte 2560 as (total length, flags, texts by name); fails on anything else."""
    record = wexrecord.record_on(image, wide=True)
    assert record is not None, f"no record at 2560: {image[STORE:STORE + 16].hex()}"
    assert record.version == 5
    return wexrecord.stored_length(image), record.flags, record.texts


def journal_record(image):
    """The record of the valid journal copy at 6144; fails when there is none."""
    copy = wexrecord.journal_on(image)
    assert copy is not None, f"no journal copy at 6144: {image[JOURNAL:JOURNAL + 16].hex()}"
    return copy[1]


def journal_record_at(image, offset):
    """The record of the valid journal copy in the 4096 bytes at `offset`; fails when there is none."""
    copy = wexrecord.journal_copy(image[offset:offset + JOURNAL_END - JOURNAL])
    assert copy is not None, f"no journal copy at {offset}: {image[offset:offset + 16].hex()}"
    return copy[1]


def only_record_and_journal(image, total):
    """True when nothing but the record at 2560 and its journal copy is on the disk."""
    assert journal_record(image) == image[STORE:STORE + total], "the journal copy is not the record"
    return not (image[:STORE] + image[STORE + total:JOURNAL] + image[JOURNAL_END:]).strip(b"\0")


def changed_ranges(before, after):
    """[start, end) of every run of bytes that differs (the images are equally long)."""
    assert len(before) == len(after), "the image changed its size"
    ranges, block = [], 4096
    for offset in range(0, len(before), block):
        if before[offset:offset + block] != after[offset:offset + block]:
            for i in range(offset, min(offset + block, len(before))):
                if before[i] != after[i]:
                    if ranges and ranges[-1][1] == i:
                        ranges[-1][1] = i + 1
                    else:
                        ranges.append([i, i + 1])
    return [tuple(r) for r in ranges]


def tool(*args, check=True):
    result = subprocess.run(args, capture_output=True, text=True, check=False)
    if check:
        assert result.returncode == 0, f"{' '.join(args)}: {result.stdout}{result.stderr}"
    return result


def partition(path):
    """First partition of an image as (byte offset, byte length), as sfdisk reads it."""
    table = json.loads(tool("sfdisk", "-J", str(path)).stdout)["partitiontable"]
    first = table["partitions"][0]
    sector = table.get("sectorsize", 512)
    return first["start"] * sector, first["size"] * sector


def make_partitioned(path, label, scratch):
    """One ext4 partition from sector 2048 on, with a GUID (sgdisk) or MBR (sfdisk) table."""
    if label == "gpt":
        tool("sgdisk", "-n", "1:2048:0", "-t", "1:8300", str(path))
    else:
        subprocess.run(["sfdisk", "-q", str(path)], input="label: dos\nstart=2048, type=83\n", text=True,
                       check=True, capture_output=True)
    offset, length = partition(path)
    with open(scratch, "wb") as fs:
        fs.truncate(length)
    tool("mkfs.ext4", "-q", "-F", "-L", label, str(scratch))
    with open(path, "r+b") as image:
        image.seek(offset)
        image.write(scratch.read_bytes())


def partition_state(path, scratch):
    """What the partition tools say about an image: the table dump and e2fsck's verdict."""
    offset, length = partition(path)
    scratch.write_bytes(path.read_bytes()[offset:offset + length])
    check = tool("e2fsck", "-fn", str(scratch), check=False)
    return tool("sfdisk", "-d", str(path)).stdout, check.returncode, check.stdout


def host_program(*args):
    """The i386 build's program on the host; only ever on image files named with --disk."""
    assert "--disk" in args
    return launcher.run(os.environ["WEXEDIT_I386"], list(args), argv0="wexedit", capture_output=True, text=True)


def entry_array_lba(image, sector=512):
    """PartitionEntryLBA of the primary GPT header: where the main entry array lies."""
    assert image[sector:sector + 8] == b"EFI PART", "no GPT header"
    return struct.unpack_from("<Q", image, sector + 72)[0]


def fill_partitions(path, sector=512):
    """Bytes of their own in every partition, so that a stray write into one shows."""
    with open(path, "r+b") as image:
        for start, size in gpt_partitions(path, sector):
            image.seek(start * sector)
            image.write(os.urandom(size * sector))


def write_gpt(path, sector, entry_lba, partitions):
    """A GUID partition table for `sector`-byte sectors on the image at `path`: a
    protective MBR, the primary header with its entry array at `entry_lba`, the
    backup array and header at the end. `partitions` holds (first sector, last
    sector, type GUID) each. Written here because sgdisk takes an image file
    for a disk with 512-byte sectors only."""
    last = path.stat().st_size // sector - 1
    count, entry_size = 128, 128
    array_sectors = count * entry_size // sector
    entries = b"".join(struct.pack("<16s16sQQQ72s", uuid.UUID(kind).bytes_le, uuid.uuid4().bytes_le, first, end, 0, b"")
                       for first, end, kind in partitions).ljust(count * entry_size, b"\0")
    disk_guid = uuid.uuid4().bytes_le
    form = "<8sIIIIQQQQ16sQIII"

    def header(mine, other, array_at):
        fields = [b"EFI PART", 0x10000, 92, 0, 0, mine, other, entry_lba + array_sectors, last - array_sectors - 1,
                  disk_guid, array_at, count, entry_size, zlib.crc32(entries)]
        fields[3] = zlib.crc32(struct.pack(form, *fields))
        return struct.pack(form, *fields).ljust(sector, b"\0")

    mbr = bytearray(sector)
    mbr[446:462] = struct.pack("<B3sB3sII", 0, b"\0\2\0", 0xEE, b"\xff\xff\xff", 1, min(last, 0xFFFFFFFF))
    mbr[510:512] = b"\x55\xaa"
    with open(path, "r+b") as image:
        for lba, data in ((0, mbr), (1, header(1, last, entry_lba)), (entry_lba, entries),
                          (last - array_sectors, entries), (last, header(last, 1, last - array_sectors))):
            image.seek(lba * sector)
            image.write(data)


def gpt_partitions(path, sector):
    """(first sector, sector count) of every partition of a GPT that fdisk reads with `sector`-byte sectors."""
    listing = tool("fdisk", "-b", str(sector), "-l", "-o", "Start,Sectors", str(path)).stdout
    assert "GPT PMBR size mismatch" not in listing and "corrupt" not in listing.lower(), listing
    rows = listing.split("Start Sectors\n", 1)[1].split()
    return [(int(rows[i]), int(rows[i + 1])) for i in range(0, len(rows), 2)]


def kernel_partitions(listing, device):
    """The lines of /proc/partitions for `device` and its partitions, as (name, 1 KiB blocks)."""
    name = device.rsplit("/", 1)[1]
    rows = [line.split() for line in listing.splitlines()[2:] if line.strip()]
    return [(row[3], int(row[2])) for row in rows if row[3].startswith(name)]


# Twenty rounds of two editors started together on different fields, with
# viewers reading over and over until both are done. A round whose read-back
# lacks either change lost an update; a viewer that saw anything but the old
# or the new value of each field, or had to say why, met a save half done.
# Prints one line a fault and, at the end, how many viewers ran.
RACING_EDITORS = """
tree=LAB
group=
i=1
while [ $i -le 20 ]; do
  rm -f /tmp/stop
  wexedit Tree=T$i >/dev/null 2>&1 & first=$!
  wexedit Workgroup=W$i >/dev/null 2>&1 & second=$!
  (
    while :; do
      wexview Tree Workgroup >/tmp/view 2>/tmp/view.err
      viewer=$?
      { read -r seen_tree; read -r seen_group; } </tmp/view
      case "$viewer $seen_tree $seen_group $(cat /tmp/view.err)" in
        "0 $tree $group " | "0 T$i $group " | "0 $tree W$i " | "0 T$i W$i ") ;;
        *) echo "round $i viewer: $viewer $seen_tree $seen_group $(cat /tmp/view.err)" ;;
      esac
      echo >>/tmp/views
      [ -e /tmp/stop ] && break
    done
  ) & viewers=$!
  wait $first; first=$?
  wait $second; second=$?
  touch /tmp/stop
  wait $viewers
  got=$(wexview Tree Workgroup | tr '\\n' ' ')
  [ "$first $second $got" = "0 0 T$i W$i " ] || echo "round $i: $first $second $got"
  tree=T$i
  group=W$i
  i=$((i + 1))
done
echo "viewers $(wc -l </tmp/views)"
"""


def test_save_reaches_every_fixed_slot_disk_and_reads_back(kit, tmp_path):
    machine = Machine(tmp_path, [Disk("first", "ide", 8), Disk("second", "ahci", 12),
                                 Disk("spare", "virtio", 16)])
    machine.step("save", "wexedit", "NetBIOSName=PC7", "Tree=LAB")
    machine.step("view", "wexview", "NetBIOSName", "Tree")
    machine.step("race", "sh", "-c", RACING_EDITORS)
    # A named disk replaces the fixed slots: only the blank virtio disk is
    # read and written.
    machine.step("named", "wexedit", "--disk", Dev("spare"), "NetBIOSName=SPARE")
    machine.step("view-named", "wexview", "--disk", Dev("spare"), "NetBIOSName", "Tree")
    run = machine.boot(kit)

    assert run.disk_names["spare"].startswith("vd") and run.disk_names["first"].startswith("sd")
    save = run.steps["save"]
    assert save.status == 0, save.err
    assert run.steps["view"].out == "PC7\nLAB\n"
    race = run.steps["race"].out.splitlines()
    assert len(race) == 1 and race[0].startswith("viewers ") and int(race[0].split()[1]) >= 20, race
    for label in ("first", "second"):
        image = machine.image(label)
        total, _, texts = stored_record(image)
        assert (texts["netbiosName"], texts["wsTree"], texts["workgroup"]) == ("PC7", "T20", "W20"), label
        assert only_record_and_journal(image, total), label
    assert run.steps["named"].status == 0, run.steps["named"].err
    assert run.steps["view-named"].out == "SPARE\n\n"
    # A virtio disk is no fixed slot: while one of those is usable the scan
    # leaves it alone, so the named save found it blank.
    image = machine.image("spare")
    total, _, texts = stored_record(image)
    assert {k: v for k, v in texts.items() if v} == {"netbiosName": "SPARE"}
    assert only_record_and_journal(image, total)


# The disks beyond the fixed slots, and a sparse disk of 3 TiB: its size in
# 512-byte sectors does not fit the 32 bits of the i386 program's unsigned long.
@pytest.mark.parametrize("bus,mib,kernel_name", [("nvme", 8, "nvme0n1"), ("virtio", 8, "vda"),
                                                 ("ahci", 3 << 20, "sda")], ids=["nvme", "virtio", "ahci-3TiB"])
def test_only_disk_saves_and_reads_back(kit, tmp_path, bus, mib, kernel_name):
    machine = Machine(tmp_path, [Disk("only", bus, mib)])
    machine.step("save", "wexedit", "NetBIOSName=PC9", "Tree=LAB")
    machine.step("view", "wexview", "NetBIOSName", "Tree")
    run = machine.boot(kit)

    assert run.disk_names["only"] == kernel_name
    assert run.steps["save"].status == 0, run.steps["save"].err
    assert run.steps["view"].out == "PC9\nLAB\n", run.steps["view"].err
    head = machine.image_head("only", 2 * MIB)
    total, _, texts = stored_record(head)
    assert (texts["netbiosName"], texts["wsTree"]) == ("PC9", "LAB")
    assert only_record_and_journal(head, total)
    assert machine.image_path("only").stat().st_size == mib * MIB


def test_guard_keeps_gpt_and_minix_disks_and_writes_into_mbr_gap(kit, tmp_path):
    # The IDE disk's driver loads first, so the refused GPT disk is the first
    # of the fixed slots and the record can only be on the second.
    # A whole-disk minix file system has zeros at 2560, in its inode bitmap,
    # and no signature the guard knows by hand: only libblkid can tell.
    # Someone else's bytes at 8000 keep the journal copy of the second MBR
    # disk out of its first area, and its second, before 1 MiB, is free.
    machine = Machine(tmp_path, [Disk("gpt", "ide", 20), Disk("mbr", "ahci", 24), Disk("minix", "ahci", 12),
                                 Disk("foreign", "ahci", 28)])
    scratch = tmp_path / "partition"
    for label in ("gpt", "mbr", "foreign"):
        make_partitioned(machine.image_path(label), "gpt" if label == "gpt" else "mbr", scratch)
    with open(machine.image_path("foreign"), "r+b") as image:
        image.seek(8000)
        image.write(b"OTHERS\x01\x02")
    tool("mkfs.minix", "-3", "-i", "16000", str(machine.image_path("minix")))
    before = {label: machine.image(label) for label in ("gpt", "mbr", "minix", "foreign")}
    assert not before["minix"][STORE:STORE + 1024].strip(b"\0")
    state = {label: partition_state(machine.image_path(label), scratch) for label in ("gpt", "mbr", "foreign")}
    assert all(verdict == 0 for _, verdict, _ in state.values()), state

    machine.step("save", "wexedit", "NetBIOSName=PC8")
    # The refused disk holds no record: the load passes over it to the one
    # that does, so the next save keeps the name.
    machine.step("view", "wexview", "NetBIOSName")
    machine.step("flag", "wexedit", "JustImaged=true")
    run = machine.boot(kit)

    gpt_device, mbr_device, minix_device = (f"/dev/{run.disk_names[label]}" for label in ("gpt", "mbr", "minix"))
    assert gpt_device < mbr_device
    for title in ("save", "flag"):
        step = run.steps[title]
        assert step.status == 4, step.err
        assert f"{gpt_device}: byte 2560 lies inside the GUID partition table" in step.err
        assert re.search(r"sgdisk (?:-j ?|--[a-z-]+[= ])20 " + re.escape(gpt_device) + r"\b", step.err), step.err
        assert f"{minix_device}: the whole disk is in use" in step.err and "(minix)" in step.err, step.err
        assert mbr_device not in step.err and f"/dev/{run.disk_names['foreign']}" not in step.err
    assert run.steps["view"].out == "PC8\n"
    for label in ("gpt", "minix"):
        assert machine.image(label) == before[label], label
    for label, journal in (("mbr", JOURNAL), ("foreign", SECOND_JOURNAL)):
        image = machine.image(label)
        total, flags, texts = stored_record(image)
        assert texts["netbiosName"] == "PC8" and flags & 1, label
        changed = changed_ranges(before[label], image)
        assert changed and all(STORE <= start and end <= STORE + total or journal <= start and end <= journal + 4096
                               for start, end in changed), (label, changed)
        assert journal_record_at(image, journal) == image[STORE:STORE + total], label
    for label in ("gpt", "mbr", "foreign"):
        assert partition_state(machine.image_path(label), scratch) == state[label], label
    tool("sgdisk", "-v", str(machine.image_path("gpt")))


# One round a start of the guest: read back what the last reset left, then
# save over and over, alternating three lengths of record, until a timer
# resets the machine (sysrq b: no sync, no unmount) at a random moment. Each
# save's name, tree and last base image carry its round and number, so a
# read-back shows whether it is one whole save. The round count lives on a
# disk of its own. `options` come first on every command line of the
# program (say, --disk), `last` runs after the last read-back.
RESET_ROUNDS = 20
RESET_LOOP = """
round=$(head -c 8 "$DISK_count" | tr -dc 0-9)
round=${round:-0}
if [ "$round" = 0 ]; then
  step first wexedit %(options)s NetBIOSName=N0x0 Tree=T0x0 LastBaseImage=0
fi
step "check$round" wexview %(options)s NetBIOSName Tree LastBaseImage
if [ "$round" -ge %(rounds)d ]; then
  %(last)s
  return 0
fi
printf '%%-8s' $((round + 1)) | dd of="$DISK_count" conv=notrunc 2>/dev/null
sync
echo 1 >/proc/sys/kernel/sysrq
wait_ms=$(( $(head -c 2 /dev/urandom | od -An -tu2 | tr -d ' ') %% 600 + 50 ))
( sleep "$((wait_ms / 1000)).$(printf '%%03d' $((wait_ms %% 1000)))"; echo b >/proc/sysrq-trigger ) &
i=0
while :; do
  image=$(printf "%%0$(( (i %% 3) * 200 + 1 ))d" $i)
  wexedit %(options)s NetBIOSName=N${round}x$i Tree=T${round}x$i LastBaseImage=$image >/dev/null 2>&1
  i=$((i + 1))
done
"""


def reset_loop(rounds, options="", last=":"):
    return RESET_LOOP % {"rounds": rounds, "options": options, "last": last}


def check_reset_rounds(run, rounds):
    """Fails unless every read-back of the reset loop is one whole save, never
    older than the one before; returns (round saved in, name, stderr) of each."""
    assert run.steps["first"].status == 0, run.steps["first"].err
    seen = []
    for round in range(rounds + 1):
        check = run.steps[f"check{round}"]
        assert check.status == 0, (round, check.err)
        name, tree, image = check.out.split("\n")[:3]
        assert name, f"round {round}: an empty record was read back ({check.err})"
        assert name[1:] == tree[1:] and (name[0], tree[0]) == ("N", "T"), (round, name, tree)
        number = int(name.split("x")[1])
        assert image == str(number).zfill((number % 3) * 200 + 1), (round, name, len(image))
        # The copy comes from the round the reset cut short, or an earlier
        # one when that round had not finished a save yet.
        saved_in = int(name[1:].split("x")[0])
        assert saved_in <= max(round - 1, 0) and (not seen or saved_in >= seen[-1][0]), (round, name)
        seen.append((saved_in, name, check.err.strip()))
    print(f"{rounds} resets, read back: {seen}")
    assert len({name for _, name, _ in seen}) > rounds // 2, "the resets came at too few moments"
    return seen


def test_resets_at_random_moments_of_a_save_loop_lose_nothing(kit, tmp_path):
    machine = Machine(tmp_path, [Disk("only", "ahci", 8), Disk("count", "virtio", 1)])
    machine.script.append(reset_loop(RESET_ROUNDS))
    run = machine.boot(kit, timeout=600, resets=True)
    check_reset_rounds(run, RESET_ROUNDS)


def fdisk_windows_gpt(path, sector):
    """The Windows layout made by fdisk for `sector`-byte sectors, its table where fdisk puts it."""
    first = MIB // sector
    script = f"g\nn\n1\n{first}\n+16M\nt\n{ESP}\nn\n2\n\n+16M\nt\n2\n{MSR}\nn\n3\n\n\nt\n3\n{BASIC_DATA}\nw\n"
    subprocess.run(["fdisk", "-b", str(sector), str(path)], input=script, text=True, check=True, capture_output=True)


def test_gpt_disks_take_record_and_journal_and_keep_every_table_byte(kit, tmp_path):
    # A Windows disk of 512-byte sectors made by sgdisk (EFI system partition
    # at 1 MiB, Microsoft reserved, basic data), and one of 4096-byte sectors
    # made by fdisk, whose table stays at LBA 2: its header's sector covers
    # the journal's first area, the record at 2560 lies in sector 0.
    machine = Machine(tmp_path, [Disk("win", "ahci", 64), Disk("wide", "virtio", 48, block=4096)])
    path, wide_path = machine.image_path("win"), machine.image_path("wide")
    tool("sgdisk", "-n", "1:2048:+16M", "-t", "1:ef00", "-c", "1:EFI system partition",
         "-n", "2:0:+16M", "-t", "2:0c01", "-c", "2:Microsoft reserved partition",
         "-n", "3:0:0", "-t", "3:0700", "-c", "3:Basic data partition", str(path))
    fill_partitions(path)
    fdisk_windows_gpt(wide_path, 4096)
    fill_partitions(wide_path, 4096)
    before = machine.image("win")
    assert entry_array_lba(before) == 2
    wide_before, wide_table = machine.image("wide"), gpt_partitions(wide_path, 4096)
    assert entry_array_lba(wide_before, 4096) == 2

    # On the host, over the image file: the entry array at LBA 2-33 covers
    # byte 2560, and the refusal names the command that moves it away.
    refused = host_program("--disk", str(path), "NetBIOSName=WIN11")
    assert refused.returncode == 4 and machine.image("win") == before, refused.stderr
    remedy = re.search(r"sgdisk (?:-j ?|--[a-z-]+[= ])20 " + re.escape(str(path)), refused.stderr)
    assert remedy, refused.stderr
    moved = tool(*shlex.split(remedy.group(0)))
    after_remedy = machine.image("win")
    assert entry_array_lba(after_remedy) == 20, f"{remedy.group(0)} left the array in place: {moved.stdout}"
    assert "No problems found" in tool("sgdisk", "-v", str(path)).stdout
    table = tool("sfdisk", "-d", str(path)).stdout

    machine.step("before", "cat", "/proc/partitions")
    # The scan takes the SCSI disk only; the virtio disk is named.
    machine.step("save", "wexedit", "NetBIOSName=WIN11", "Tree=LAB")
    machine.step("save-wide", "wexedit", "--disk", Dev("wide"), "NetBIOSName=WIN11", "Tree=LAB")
    # The kernel reads the tables again from what is on the disks now.
    machine.step("reread", "blockdev", "--rereadpt", Dev("win"))
    machine.step("reread-wide", "blockdev", "--rereadpt", Dev("wide"))
    machine.step("after", "cat", "/proc/partitions")
    machine.step("view", "wexview", "NetBIOSName", "Tree")
    machine.step("view-wide", "wexview", "--disk", Dev("wide"), "NetBIOSName", "Tree")
    run = machine.boot(kit)

    # /proc/partitions counts 1 KiB blocks.
    wide_sizes = [48 * 1024] + [count * 4 for _, count in wide_table]
    for label in ("win", "wide"):
        device = f"/dev/{run.disk_names[label]}"
        listed = kernel_partitions(run.steps["before"].out, device)
        assert [name for name, _ in listed] == [device[5:] + n for n in ("", "1", "2", "3")], listed
        assert label == "win" or [size for _, size in listed] == wide_sizes, listed
        assert kernel_partitions(run.steps["after"].out, device) == listed, label
    for title in ("save", "save-wide", "reread", "reread-wide"):
        assert run.steps[title].status == 0, (title, run.steps[title].err)
    assert run.steps["view"].out == run.steps["view-wide"].out == "WIN11\nLAB\n"
    for label, old, journal in (("win", after_remedy, JOURNAL), ("wide", wide_before, SECOND_JOURNAL)):
        image = machine.image(label)
        total, _, texts = stored_record(image)
        assert texts["netbiosName"] == "WIN11", label
        assert journal_record_at(image, journal) == image[STORE:STORE + total], label
        # No byte of either header or array, nor of a partition, has changed.
        changed = changed_ranges(old, image)
        assert changed and all(STORE <= start and end <= STORE + total or journal <= start and end <= journal + 4096
                               for start, end in changed), (label, changed)
    assert "No problems found" in tool("sgdisk", "-v", str(path)).stdout
    assert tool("sfdisk", "-d", str(path)).stdout == table
    assert gpt_partitions(wide_path, 4096) == wide_table


# The reset loop on one disk with 4096-byte sectors and a GPT whose array lies
# at LBA 3: the header's sector covers the journal's first area, so every
# save's journal copy goes to the second. The last round saves once more and
# has the kernel read the table again.
RESET_ROUNDS_4K = 12


def test_gpt_disk_with_4096_byte_sectors_takes_record_and_journal_and_survives_resets(kit, tmp_path):
    machine = Machine(tmp_path, [Disk("wide", "virtio", 40, block=4096), Disk("count", "virtio", 1)])
    path = machine.image_path("wide")
    # EFI system partition at 1 MiB, Microsoft reserved, basic data up to the backup array.
    write_gpt(path, 4096, 3, [(256, 4351, ESP), (4352, 8447, MSR), (8448, 10234, BASIC_DATA)])
    fill_partitions(path, 4096)
    before = machine.image("wide")
    partitions = gpt_partitions(path, 4096)
    options = '--disk "$DISK_wide"'
    last = "\n  ".join((f"step last wexedit {options} NetBIOSName=LAST Tree=T4K",
                        'step reread blockdev --rereadpt "$DISK_wide"', "step partitions cat /proc/partitions"))
    machine.script.append(reset_loop(RESET_ROUNDS_4K, options, last))
    run = machine.boot(kit, timeout=600, resets=True)

    check_reset_rounds(run, RESET_ROUNDS_4K)
    assert run.steps["last"].status == 0, run.steps["last"].err
    assert run.steps["reread"].status == 0, run.steps["reread"].err
    device = f"/dev/{run.disk_names['wide']}"
    listed = kernel_partitions(run.steps["partitions"].out, device)
    assert listed == [(device[5:], 40 * 1024)] + [(f"{device[5:]}{n}", count * 4)
                                                  for n, (_, count) in enumerate(partitions, 1)], listed
    image = machine.image("wide")
    total, _, texts = stored_record(image)
    assert (texts["netbiosName"], texts["wsTree"]) == ("LAST", "T4K")
    assert journal_record_at(image, SECOND_JOURNAL) == image[STORE:STORE + total]
    # No byte of either header or array, nor of a partition, has changed.
    changed = changed_ranges(before, image)
    assert changed and all(STORE <= start and end <= STORE + total or SECOND_JOURNAL <= start and end <= MIB
                           for start, end in changed), changed
    assert gpt_partitions(path, 4096) == partitions
