#!/usr/bin/env python3
"""Writes the fuzzer's seed corpus: valid stored records of every version 0 to 5."""
import pathlib
import struct
import sys

NAMES = ["CN=WS1.OU=Lab.O=Corp", "CorpTree", "WS1", "LAB", "//srv/images/base.zmg",
         "lab.example.com", "ws1", "4711"]


def text(value):
    data = value.encode("latin-1")
    return struct.pack("<I", 2 * len(data)) + b"".join(bytes([c, 0]) for c in data)


def image(version, header_length=204, texts=8):
    header = bytearray(header_length)
    header[0:4] = b"WEXD"
    struct.pack_into("<III", header, 4, version, 0, 5)
    header[20:24] = bytes([10, 0, 0, 5])
    if header_length >= 52:
        struct.pack_into("<I", header, 48, header_length)
    if header_length >= 80:
        struct.pack_into("<5I", header, 52, 21, 3623811015, 3361044348, 30300820, 1013)
        struct.pack_into("<I", header, 72, 1)
        header[76:80] = bytes([10, 0, 0, 1])
    body = b"".join(text(v) for v in NAMES[:texts])
    data = bytes(header) + body
    return data[:8] + struct.pack("<I", len(data)) + data[12:]


def main(folder):
    out = pathlib.Path(folder)
    out.mkdir(parents=True, exist_ok=True)
    seeds = {
        "v0": image(0), "v1": image(1), "v2": image(2, 52, 5), "v3": image(3, 204, 5),
        "v3-short-header": image(3, 180, 5), "v4": image(4, 204, 7), "v5": image(5),
        "v5-long-header": image(5, 300), "v6": image(6),
    }
    for name, data in seeds.items():
        (out / name).write_bytes(data)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parent / "corpus")
