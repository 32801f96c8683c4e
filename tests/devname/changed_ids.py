#!/usr/bin/env python3
"""A pci.ids as the next release of the list might bring it: the snapshot
with one device renamed, one device added and one vendor added, each where
both the general and the library's own tables pick it up.

Usage: changed_ids.py SNAPSHOT OUT
"""

import re
import sys

VENDOR = re.compile(r"^([0-9a-f]{4})  (.*)$")
DEVICE = re.compile(r"^\t([0-9a-f]{4})  (.*)$")


def change(lines):
    """(changed lines, {"renamed": (vid, did), "added": (vid, did), "vendor": vid})."""
    vendors, devices = {}, {}  # vendor id: line index; vendor id: [(device id, line index)]
    current = None
    for number, line in enumerate(lines):
        if line.startswith("C "):
            break
        vendor, device = VENDOR.match(line), DEVICE.match(line)
        if vendor:
            current = int(vendor.group(1), 16)
            vendors[current] = number
            devices[current] = []
        elif device and current is not None:
            devices[current].append((int(device.group(1), 16), number, device.group(2)))
    # The first vendor of the own device range with a bracketed product name
    # and an unused ID behind its last device.
    vid = next(v for v in sorted(devices) if v >= 0x1000 and devices[v]
               and any("[" in name for _, _, name in devices[v]) and max(d for d, _, _ in devices[v]) < 0xFFFE)
    renamed = next((d, n) for d, n, name in devices[vid] if "[" in name)
    added = max(d for d, _, _ in devices[vid]) + 1
    new_vendor = next(v for v in range(0x1000, 0xFFFF) if v not in vendors)
    after_vendor = max(v for v in vendors if v < new_vendor)

    out = list(lines)
    out[renamed[1]] = f"\t{renamed[0]:04x}  Renamed chip [Renamed product]\n"
    last_line = max(n for _, n, _ in devices[vid])
    # Subdevice lines of the last device stay with it.
    while last_line + 1 < len(out) and out[last_line + 1].startswith("\t\t"):
        last_line += 1
    inserts = {last_line: [f"\t{added:04x}  Added chip [Added product]\n"]}
    block_end = vendors[after_vendor]
    while block_end + 1 < len(out) and out[block_end + 1].startswith("\t"):
        block_end += 1
    inserts.setdefault(block_end, []).extend([f"{new_vendor:04x}  Added Vendor Corp. [AVC]\n",
                                              "\t0001  Added chip one [Added board]\n"])
    result = []
    for number, line in enumerate(out):
        result.append(line)
        result.extend(inserts.get(number, []))
    return result, {"renamed": (vid, renamed[0]), "added": (vid, added), "vendor": new_vendor}


def main(argv):
    with open(argv[0], encoding="utf-8") as snapshot:
        lines, _ = change(snapshot.readlines())
    with open(argv[1], "w", encoding="utf-8") as out:
        out.writelines(lines)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
