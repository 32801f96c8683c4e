#!/usr/bin/env python3
"""Builds the sample disk images for the write-guard tests, each with the outcome
a save must have on it. Everything here is made from scratch: the boot code is
a few bytes of our own that carry the markers the guard looks for.

Run as a script to write the images into a folder:  disk_samples.py OUTDIR
"""
import binascii
import pathlib
import struct
import sys
import uuid

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tools"))
import wexrecord  # noqa: E402

STORE = wexrecord.STORE_OFFSET
SMALL_DISK = 256 * 1024
LARGE_DISK = 2 * 1024 * 1024


def record(tree="OldTree", version=5):
    """A stored record with one text, the tree name."""
    return wexrecord.Record(version=version, texts={"wsTree": tree.encode()}).encode()


def mbr(boot_code, partitions=((0x07, 2048, 100000),)):
    sector = bytearray(512)
    sector[0:len(boot_code)] = boot_code
    for i, (kind, start, count) in enumerate(partitions):
        entry = 446 + 16 * i
        sector[entry + 4] = kind
        struct.pack_into("<II", sector, entry + 8, start, count)
    sector[510:512] = b"\x55\xaa"
    return bytes(sector)


# Boot code in the manner of a DOS/Windows MBR: relocate, find the active
# partition, load its boot sector. Messages only; no code from elsewhere.
WINDOWS_STYLE = (b"\x33\xc0\x8e\xd0\xbc\x00\x7c\xfb\x50\x07\x50\x1f\xfc" + bytes(100) +
                 b"Invalid partition table\x00Error loading operating system\x00Missing operating system")
# A boot sector that names GRUB, as GRUB 2's does, followed by sectors of "core image".
GRUB_STYLE = b"\xeb\x63\x90" + bytes(0x17d) + b"GRUB \x00Geom\x00Hard Disk\x00Read\x00 Error\r\n"


def disk(size=SMALL_DISK):
    return bytearray(size)


def put(image, offset, data):
    image[offset:offset + len(data)] = data


def gpt(sector_size, size, entries_lba=2, first_lba=None):
    """A disk with a protective MBR and a valid primary and backup GUID
    partition table, its entry array at `entries_lba`, one partition from
    `first_lba` (default: the first usable LBA) to the last usable one."""
    image = disk(size)
    sectors = size // sector_size
    put(image, 0, mbr(b"", ((0xEE, 1, min(sectors - 1, 0xFFFFFFFF)),)))
    entry_count, entry_size = 128, 128
    array_sectors = entry_count * entry_size // sector_size
    first_usable = entries_lba + array_sectors
    last_usable = sectors - 2 - array_sectors
    entries = bytearray(entry_count * entry_size)
    linux = uuid.UUID("0fc63daf-8483-4772-8e79-3d69d8477de4").bytes_le
    unique = uuid.UUID("11111111-2222-3333-4444-555555555555").bytes_le
    struct.pack_into("<16s16sQQQ", entries, 0, linux, unique, first_lba or first_usable, last_usable, 0)
    put(entries, 56, "data".encode("utf-16-le"))
    entries_crc = binascii.crc32(entries)

    def header(current, backup, array_lba):
        h = bytearray(92)
        struct.pack_into("<8sIIIIQQQQ16sQIII", h, 0, b"EFI PART", 0x00010000, 92, 0, 0, current, backup,
                         first_usable, last_usable, uuid.UUID("66666666-7777-8888-9999-000000000000").bytes_le,
                         array_lba, entry_count, entry_size, entries_crc)
        struct.pack_into("<I", h, 16, binascii.crc32(h))
        return bytes(h)

    put(image, sector_size, header(1, sectors - 1, entries_lba))
    put(image, entries_lba * sector_size, entries)
    backup_array = sectors - 1 - array_sectors
    put(image, backup_array * sector_size, entries)
    put(image, (sectors - 1) * sector_size, header(sectors - 1, 1, backup_array))
    return image


def gpt_valid(image, sector_size):
    """True when the primary GPT header and its entry array check out."""
    h = bytearray(image[sector_size:sector_size + 92])
    if h[0:8] != b"EFI PART":
        return False
    stored = struct.unpack_from("<I", h, 16)[0]
    struct.pack_into("<I", h, 16, 0)
    if binascii.crc32(h) != stored:
        return False
    array_lba, count, size, crc = struct.unpack_from("<QIII", h, 72)
    start = array_lba * sector_size
    return binascii.crc32(image[start:start + count * size]) == crc


def samples():
    """name -> (image bytes, settings for the simulated disk, expected outcome)."""
    out = {}
    out["empty"] = (disk(), {}, "written")
    windows = disk()
    put(windows, 0, mbr(WINDOWS_STYLE))
    out["mbr-windows"] = (bytes(windows), {}, "written")
    with_record = bytearray(windows)
    put(with_record, STORE, record())
    out["mbr-with-record"] = (bytes(with_record), {}, "written")
    removed = bytearray(with_record)
    put(removed, STORE, bytes(4))
    out["mbr-removed-record"] = (bytes(removed), {}, "written")
    out["gpt-512"] = (bytes(gpt(512, SMALL_DISK)), {}, "refused")
    out["gpt-4096"] = (bytes(gpt(4096, 64 * 4096)), {"sector": 4096}, "written-without-journal")
    # The entry array moved to LBA 20 (sgdisk --move-main-table=20), the
    # partition from 1 MiB: record and journal copy at 6144.
    out["gpt-512-array-moved"] = (bytes(gpt(512, LARGE_DISK, 20, 2048)), {}, "written")
    # 4096-byte sectors: the header's sector holds 6144, so the journal copy
    # goes to the 4096 bytes before the first partition at 1 MiB.
    out["gpt-4096-partition-at-1mib"] = (bytes(gpt(4096, LARGE_DISK, 2, 256)), {"sector": 4096},
                                         "written-second-area")
    old_mbr = disk()
    put(old_mbr, 0, mbr(WINDOWS_STYLE, ((0x07, 63, 100000),)))
    out["mbr-partition-at-sector-63"] = (bytes(old_mbr), {}, "written")
    grub = disk()
    put(grub, 0, mbr(GRUB_STYLE))
    for lba in range(1, 40):  # the core image fills the gap after the MBR
        put(grub, lba * 512, bytes((lba * 7 + i) % 251 + 1 for i in range(512)))
    out["mbr-grub2"] = (bytes(grub), {}, "refused")
    fs = disk()
    put(fs, 0, b"\xeb\x52\x90NTFS    " + bytes(499) + b"\x55\xaa")
    put(fs, STORE, b"\x4e\x54\x46\x53 file system data here")
    out["whole-disk-filesystem"] = (bytes(fs), {}, "refused")
    foreign = bytearray(windows)
    put(foreign, STORE, b"someone else's data")
    out["mbr-foreign-data"] = (bytes(foreign), {}, "refused")
    # A FAT16 partition that starts at sector 1: the record's sectors are its own.
    early = disk()
    put(early, 0, mbr(WINDOWS_STYLE, ((0x06, 1, 100000),)))
    put(early, 512, b"\xeb\x3c\x90MSDOS5.0" + bytes(43) + b"FAT16   " + bytes(448) + b"\x55\xaa")
    out["mbr-partition-at-sector-1"] = (bytes(early), {}, "refused")
    # A swap area over the whole disk, as mkswap makes it (version 1 header).
    swap = disk()
    put(swap, 1024, struct.pack("<II", 1, SMALL_DISK // 4096 - 1))
    put(swap, 4096 - 10, b"SWAPSPACE2")
    out["whole-disk-swap"] = (bytes(swap), {}, "refused")
    # An ISO 9660 file system over the whole disk: only libblkid knows it.
    iso = disk()
    for offset, kind in ((32768, 1), (34816, 255)):
        put(iso, offset, bytes([kind]) + b"CD001\x01")
    put(iso, 32768 + 40, b"IMAGING".ljust(32))
    out["whole-disk-iso9660"] = (bytes(iso), {}, "refused-by-libblkid")
    # The journal area is not free, the record's sectors are: the record is
    # written without its journal copy (the 4096-byte-sector table above too).
    late = disk()
    put(late, 0, mbr(WINDOWS_STYLE, ((0x07, 16, 100000),)))
    out["mbr-partition-at-sector-16"] = (bytes(late), {}, "written-without-journal")
    busy = bytearray(windows)
    put(busy, 6144 + 700, b"someone else's data")
    out["mbr-foreign-data-at-6144"] = (bytes(busy), {}, "written-without-journal")
    # The same on a disk that reaches 1 MiB: the copy goes before it.
    busy_large = disk(LARGE_DISK)
    put(busy_large, 0, mbr(WINDOWS_STYLE))
    put(busy_large, 8000, b"someone")
    out["mbr-foreign-data-at-8000"] = (bytes(busy_large), {}, "written-second-area")
    # A disk that ends inside the record's range.
    out["too-small"] = (bytes(STORE + 200), {}, "refused")
    return out


def main(folder):
    target = pathlib.Path(folder)
    target.mkdir(parents=True, exist_ok=True)
    for name, (image, settings, expected) in samples().items():
        (target / f"{name}.img").write_bytes(image)
        (target / f"{name}.expected").write_text(expected + "\n")


if __name__ == "__main__":
    main(sys.argv[1])
