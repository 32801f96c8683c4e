#!/usr/bin/env python3
"""Writes the fuzzer's seed corpus: valid stored records of every version 0 to 5."""
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "tools"))
from wexrecord import TEXT_FIELDS, Record  # noqa: E402

NAMES = ["CN=WS1.OU=Lab.O=Corp", "CorpTree", "WS1", "LAB", "//srv/images/base.zmg",
         "lab.example.com", "ws1", "4711"]


def image(version, header_length=204, texts=8):
    """A record of `version` whose header is `header_length` bytes (structLength
    says so) followed by the first `texts` texts."""
    record = Record(version=version, flags=5, ip=bytes([10, 0, 0, 5]), struct_length=header_length,
                    sid=(21, 3623811015, 3361044348, 30300820, 1013), dns_count=1,
                    dns=[bytes([10, 0, 0, 1])],
                    texts={name: value.encode("latin-1") for name, value in zip(TEXT_FIELDS, NAMES)})
    return record.encode(header_length=header_length, text_count=texts)


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
