#!/usr/bin/env python3
"""Writes the fuzzers' seed corpora, one folder per fuzzer under the target
folder: valid stored records of every version 0 to 5 for the reader, and for
the others disks with records, journal copies and partition tables, and
editor command lines."""
import pathlib
import struct
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "tools"))
from wexrecord import (JOURNAL_OFFSET, SEAL_AT, STORE_OFFSET, TEXT_FIELDS, Record,  # noqa: E402
                       journal_bytes, seal_bytes)

NAMES = ["CN=WS1.OU=Lab.O=Corp", "CorpTree", "WS1", "LAB", "//srv/images/base.zmg",
         "lab.example.com", "ws1", "4711"]
GAP = JOURNAL_OFFSET - STORE_OFFSET  # the bytes from the record to the journal copy


def image(version, header_length=204, texts=8):
    """A record of `version` whose header is `header_length` bytes (structLength
    says so) followed by the first `texts` texts."""
    record = Record(version=version, flags=5, ip=bytes([10, 0, 0, 5]), struct_length=header_length,
                    sid=(21, 3623811015, 3361044348, 30300820, 1013), dns_count=1,
                    dns=[bytes([10, 0, 0, 1])],
                    texts={name: value.encode("latin-1") for name, value in zip(TEXT_FIELDS, NAMES)})
    return record.encode(header_length=header_length, text_count=texts)


def parse_seeds():
    return {"v0": image(0), "v1": image(1), "v2": image(2, 52, 5), "v3": image(3, 204, 5),
            "v3-short-header": image(3, 180, 5), "v4": image(4, 204, 7), "v5": image(5),
            "v5-long-header": image(5, 300), "v6": image(6)}


def unfinished(stored):
    return b"WEX_" + stored[4:]


def other():
    return Record(texts={"wsTree": b"AGENT", "netbiosName": b"PC-W"}).encode()


def store_and_journal(stored, journal):
    """The bytes from the store offset to the end of the journal area."""
    return stored + bytes(GAP - len(stored)) + journal


def sealed(journal, stored, generation):
    """A journal area with its copy and the seal of `stored`."""
    return journal + bytes(SEAL_AT - len(journal)) + seal_bytes(stored, generation)


def damaged(stored):
    """The record with the high bit of its first length word flipped."""
    rotten = bytearray(stored)
    rotten[204 + 3] ^= 0x80
    return bytes(rotten)


def disk_states():
    """(name, bytes at the store offset, journal area) of the states a disk can be in."""
    mine = image(5)
    copy = journal_bytes(mine, 3)
    return [("complete", mine, sealed(copy, mine, 3)),
            ("unfinished", unfinished(mine), journal_bytes(mine, 4, other())),
            ("written-elsewhere", other(), sealed(journal_bytes(mine, 2), mine, 2)),
            ("stopped-before-mark", other(), journal_bytes(mine, 6, other())),
            ("torn-but-sealed", mine, sealed(copy[:len(copy) // 2], mine, 5)),
            ("damaged", damaged(mine), sealed(copy, mine, 3)),
            ("no-journal", mine, b""),
            ("removed", bytes(4) + mine[4:], journal_bytes(mine, 5)),
            ("blank", b"", b"")]


def chunk(data):
    return struct.pack("<H", len(data)) + data


def load_seeds():
    states = disk_states()
    seeds = {}
    # Each disk: its bytes at the store offset, then its two journal areas.
    for name, stored, journal in states:
        seeds[f"one-{name}"] = bytes([0]) + chunk(stored) + chunk(journal) + chunk(b"")
        seeds[f"one-{name}-second-area"] = bytes([0]) + chunk(stored) + chunk(b"") + chunk(journal)
    for (a, sa, ja), (b, sb, jb) in zip(states, states[1:] + states[:1]):
        seeds[f"two-{a}-{b}"] = bytes([1]) + chunk(sa) + chunk(ja) + chunk(b"") + chunk(sb) + chunk(jb) + chunk(b"")
    seeds["three"] = bytes([2]) + b"".join(chunk(s) + chunk(j) + chunk(b"") for _, s, j in states[:3])
    return seeds


def guard_seeds():
    seeds = {}
    for name, stored, journal in disk_states():
        seeds[name] = bytes([1]) + struct.pack("<H", 600) + bytes([1]) + store_and_journal(stored, journal)
    mbr = bytearray(512)
    mbr[446 + 4], mbr[446 + 8], mbr[510:512] = 0x07, 16, b"\x55\xaa"
    seeds["mbr-partition-16"] = bytes([1]) + struct.pack("<H", 300) + bytes([0]) + bytes(mbr)
    gpt = bytearray(4096 + 92)
    gpt[446 + 4], gpt[446 + 8], gpt[510:512] = 0xEE, 1, b"\x55\xaa"
    gpt[4096:4104] = b"EFI PART"
    struct.pack_into("<QII", gpt, 4096 + 72, 2, 128, 128)
    seeds["gpt-4096"] = bytes([2]) + struct.pack("<H", 300) + bytes([0]) + bytes(gpt)
    return seeds


def saveplan_seeds():
    seeds = {}
    new = Record(texts={"wsTree": b"NEWTREE", "netbiosName": b"NEWNAME"}).encode()
    # The cut, the bytes at the store offset, where the journal bytes go (bit
    # 0: the second area, bit 1: someone else's byte in the first), them, and
    # the new record.
    for name, stored, journal in disk_states():
        for cut in (40, 400):
            for where in (0, 3):
                seeds[f"{name}-{cut}-{where}"] = (struct.pack("<H", cut) + chunk(stored) + bytes([where]) +
                                                  chunk(journal) + new)
    return seeds


def argv_seeds():
    lines = [(0, ["Tree=LAB", "NetBIOSName=PC-7", "IP=10.1.2.3"]), (0, ["DNSServerCount=3", "DNSServer2=10.0.0.9"]),
             (0, ["SID=1-2-3-4-5", "DHCP=off", "Mask=255.255.0.0"]), (0, ["clearset"]), (1, ["WorkGroup=WG"]),
             (2, []), (2, ["JustImaged=true", "LastBaseImage=//srv/x"]), (0, ["Tree=" + "t" * 40, "bogus"])]
    return {f"line-{i}": bytes([options]) + b"\0".join(w.encode() for w in words)
            for i, (options, words) in enumerate(lines)}


def main(folder):
    out = pathlib.Path(folder)
    for fuzzer, seeds in (("parse", parse_seeds()), ("guard", guard_seeds()), ("load", load_seeds()),
                          ("saveplan", saveplan_seeds()), ("argv", argv_seeds())):
        target = out / fuzzer
        target.mkdir(parents=True, exist_ok=True)
        for name, data in seeds.items():
            (target / name).write_bytes(data)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parent / "corpus")
