"""The 32-bit program on Debian's i386 kernel, over real disk drivers (IDE,
AHCI, NVMe, virtio) and real partition tables; the host then reads what
landed in the image files."""

import json
import subprocess
import sys
from pathlib import Path

import pytest

from guest import Dev, Disk, Machine

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
import wexrecord  # noqa: E402

STORE = wexrecord.STORE_OFFSET
JOURNAL, JOURNAL_END = wexrecord.JOURNAL_OFFSET, wexrecord.JOURNAL_END


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


@pytest.mark.parametrize("bus,kernel_name", [("nvme", "nvme0n1"), ("virtio", "vda")])
def test_only_disk_beyond_fixed_slots_saves_and_reads_back(kit, tmp_path, bus, kernel_name):
    machine = Machine(tmp_path, [Disk("only", bus, 8)])
    machine.step("save", "wexedit", "NetBIOSName=PC9", "Tree=LAB")
    machine.step("view", "wexview", "NetBIOSName", "Tree")
    run = machine.boot(kit)

    assert run.disk_names["only"] == kernel_name
    assert run.steps["save"].status == 0, run.steps["save"].err
    assert run.steps["view"].out == "PC9\nLAB\n"
    _, _, texts = stored_record(machine.image("only"))
    assert (texts["netbiosName"], texts["wsTree"]) == ("PC9", "LAB")


def test_guard_keeps_gpt_and_minix_disks_and_writes_into_mbr_gap(kit, tmp_path):
    # The IDE disk's driver loads first, so the refused GPT disk is the first
    # of the fixed slots and the record can only be on the second.
    # A whole-disk minix file system has zeros at 2560, in its inode bitmap,
    # and no signature the guard knows by hand: only libblkid can tell.
    machine = Machine(tmp_path, [Disk("gpt", "ide", 20), Disk("mbr", "ahci", 24), Disk("minix", "ahci", 12)])
    scratch = tmp_path / "partition"
    for label in ("gpt", "mbr"):
        make_partitioned(machine.image_path(label), label, scratch)
    tool("mkfs.minix", "-3", "-i", "16000", str(machine.image_path("minix")))
    before = {label: machine.image(label) for label in ("gpt", "mbr", "minix")}
    assert not before["minix"][STORE:STORE + 1024].strip(b"\0")
    state = {label: partition_state(machine.image_path(label), scratch) for label in ("gpt", "mbr")}
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
        assert f"{minix_device}: the whole disk is in use" in step.err and "(minix)" in step.err, step.err
        assert mbr_device not in step.err
    assert run.steps["view"].out == "PC8\n"
    for label in ("gpt", "minix"):
        assert machine.image(label) == before[label], label
    total, flags, texts = stored_record(machine.image("mbr"))
    assert texts["netbiosName"] == "PC8" and flags & 1
    changed = changed_ranges(before["mbr"], machine.image("mbr"))
    assert changed and all(STORE <= start and end <= STORE + total or JOURNAL <= start and end <= JOURNAL_END
                           for start, end in changed), changed
    assert journal_record(machine.image("mbr")) == machine.image("mbr")[STORE:STORE + total]
    for label in ("gpt", "mbr"):
        assert partition_state(machine.image_path(label), scratch) == state[label], label
    tool("sgdisk", "-v", str(machine.image_path("gpt")))


# One round a start of the guest: read back what the last reset left, then
# save over and over, alternating three lengths of record, until a timer
# resets the machine (sysrq b: no sync, no unmount) at a random moment. Each
# save's name, tree and last base image carry its round and number, so a
# read-back shows whether it is one whole save. The round count lives on a
# disk of its own.
RESET_ROUNDS = 20
RESET_LOOP = """
round=$(head -c 8 "$DISK_count" | tr -dc 0-9)
round=${round:-0}
if [ "$round" = 0 ]; then
  step first wexedit NetBIOSName=N0x0 Tree=T0x0 LastBaseImage=0
fi
step "check$round" wexview NetBIOSName Tree LastBaseImage
if [ "$round" -ge %(rounds)d ]; then
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
  wexedit NetBIOSName=N${round}x$i Tree=T${round}x$i LastBaseImage=$image >/dev/null 2>&1
  i=$((i + 1))
done
""" % {"rounds": RESET_ROUNDS}


def test_resets_at_random_moments_of_a_save_loop_lose_nothing(kit, tmp_path):
    machine = Machine(tmp_path, [Disk("only", "ahci", 8), Disk("count", "virtio", 1)])
    machine.script.append(RESET_LOOP)
    run = machine.boot(kit, timeout=600, resets=True)

    assert run.steps["first"].status == 0, run.steps["first"].err
    seen = []
    for round in range(RESET_ROUNDS + 1):
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
    print(f"{RESET_ROUNDS} resets, read back: {seen}")
    assert len({name for _, name, _ in seen}) > RESET_ROUNDS // 2, "the resets came at too few moments"
