#!/usr/bin/python3
"""Writes the Ansible module's field table from the program's own table
(fields/fields.cpp), so the module cannot drift from the program: run with
--check to fail, with the difference, when the module's copy is stale.

The table's rows give each settable field's name and value kind, in the
order the editor tests them. The numbered DNS server entries become the
module's one DNSServers list."""

import argparse
import re
import sys
from pathlib import Path

SOURCE_DIR = Path(__file__).resolve().parents[1]
TABLE = SOURCE_DIR / "fields" / "fields.cpp"
HEADER = SOURCE_DIR / "fields" / "fields.h"
MODULE = SOURCE_DIR / "ansible" / "collection" / "plugins" / "modules" / "wexedit.py"
BEGIN = "# BEGIN FIELD_KINDS (written by ansible/gen_fields.py from fields/fields.cpp)\n"
END = "# END FIELD_KINDS\n"

# The program's value kinds and what the module takes for each.
KINDS = {"Flag": "flag", "Text": "text", "Sid": "text", "Dhcp": "dhcp", "Address": "address",
         "DnsServerCount": "count", "DnsServer": "servers"}


def program_fields(table=TABLE):
    """(name, kind) of each row of the program's table, in its order."""
    rows = []
    for row in re.split(r"\{\s*\.keyword\s*=", table.read_text())[1:]:
        kind = re.search(r"\.value\s*=\s*ValueKind::(\w+)", row)
        name = re.search(r'\.documentedName\s*=\s*"(\w+)"', row)
        if kind is None:
            raise SystemExit(f"{table}: a row without its value kind: {row[:60]!r}")
        if kind.group(1) not in KINDS:
            raise SystemExit(f"{table}: value kind {kind.group(1)} is unknown to the module")
        rows.append((name.group(1) if name else "DNSServers", KINDS[kind.group(1)]))
    return rows


def declared_count(header=HEADER):
    return int(re.search(r"FieldKeywordCount\s*=\s*(\d+)", header.read_text()).group(1))


def block(rows):
    lines = ["FIELD_KINDS = (\n"] + [f'    ("{name}", "{kind}"),\n' for name, kind in rows] + [")\n"]
    return BEGIN + "".join(lines) + END


def with_block(text, rows):
    start, end = text.index(BEGIN), text.index(END) + len(END)
    return text[:start] + block(rows) + text[end:]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true", help="fail when the module's table is stale")
    arguments = parser.parse_args()
    rows = program_fields()
    if len(rows) != declared_count():
        sys.exit(f"{TABLE}: read {len(rows)} rows, fields.h declares {declared_count()}")
    text = MODULE.read_text()
    wanted = with_block(text, rows)
    if wanted == text:
        return
    if arguments.check:
        sys.exit(f"{MODULE} is stale; run {Path(__file__).relative_to(SOURCE_DIR)}\n"
                 f"wanted:\n{block(rows)}")
    MODULE.write_text(wanted)


if __name__ == "__main__":
    main()
