"""Writes a binary message catalogue (.mo) so that the tests can see which
texts the screens look up and which they show as they stand."""

import struct


def write_mo(path, translations):
    ids = sorted(translations)
    originals = [i.encode() for i in ids]
    targets = [translations[i].encode() for i in ids]
    count = len(ids)
    header_size = 7 * 4
    table_size = count * 8
    data_start = header_size + 2 * table_size
    data = b""
    original_table = []
    for text in originals:
        original_table.append((len(text), data_start + len(data)))
        data += text + b"\0"
    target_table = []
    for text in targets:
        target_table.append((len(text), data_start + len(data)))
        data += text + b"\0"
    out = struct.pack("<7I", 0x950412DE, 0, count, header_size,
                      header_size + table_size, 0, 0)
    for length, offset in original_table + target_table:
        out += struct.pack("<2I", length, offset)
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(out + data)
