"""tools/wexrecord.py, the one Python codec of the stored record, against the
layout the program is built from (store/record.h): a field moved, widened or
added in one and not the other fails here instead of in a test that happens
to touch it."""
import re
import struct
import sys
from pathlib import Path

import pytest

SOURCE = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(SOURCE / "tools"))
import wexrecord  # noqa: E402

RECORD_H = (SOURCE / "store" / "record.h").read_text()


def constant(name):
    match = re.search(rf"\b{name} = (\d+|0x[0-9a-fA-F]+);", RECORD_H)
    assert match, f"{name} is not a plain constant in store/record.h"
    return int(match.group(1), 0)


def header_rows():
    """(name, offset, bytes) of every row of the header table."""
    table = RECORD_H[RECORD_H.index("IsdHeaderFields[] = {"):]
    table = table[:table.index("};")]
    rows = re.findall(r'\{"(\w+)", (\d+), (\d+), ([^,]+),', table)
    assert len(rows) > 10, "cannot read the header table from store/record.h"
    return [(name, int(offset), int(width) * count_of(count)) for name, offset, width, count in rows]


def count_of(text):
    """An element count as the table writes it: numbers and constants multiplied."""
    count = 1
    for factor in text.strip("() ").replace(" ", "").split("*"):
        count *= int(factor) if factor.isdigit() else constant(factor)
    return count


def text_rows():
    """(name, capacity, first version) of every row of the text table."""
    rows = re.findall(r'\{"(\w+)", &ImageSafeDataStruct::\w+, (IsdCap\w+), (\d+)\}', RECORD_H)
    assert len(rows) == constant("IsdTextCount"), "cannot read the text table from store/record.h"
    return [(name, constant(capacity), int(since)) for name, capacity, since in rows]


def signature_bytes():
    match = re.search(r"IsdSignature\[IsdSignatureLength\] = \{([^}]*)\}", RECORD_H)
    assert match, "cannot read the signature from store/record.h"
    return [int(byte, 0) for byte in match.group(1).split(",")]


def python_header():
    return [(name, wexrecord.header_offset(name), struct.calcsize("<" + form))
            for name, form in wexrecord.HEADER_LAYOUT]


@pytest.mark.parametrize("python, program", [
    (python_header, header_rows),
    (lambda: [(n, wexrecord.CAPACITY[n], wexrecord.TEXT_SINCE[n]) for n in wexrecord.TEXT_FIELDS], text_rows),
    (lambda: (wexrecord.STORE_OFFSET, wexrecord.HEADER_LENGTH, wexrecord.DNS_SLOTS, wexrecord.EMPTY_LENGTH),
     lambda: (constant("IsdStoreOffset"), constant("IsdHeaderLength"), constant("IsdDnsServerSlots"),
              constant("IsdHeaderLength") + constant("IsdTextCount") * constant("IsdWordBytes"))),
    (lambda: list(wexrecord.SIGNATURE), signature_bytes),
], ids=["header fields", "texts", "lengths", "signature"])
def test_codec_matches_the_programs_record_layout(python, program):
    assert python() == program()
