"""The table generator: its text rules, its determinism, whether the
committed tables are what it makes from the committed pci.ids snapshot, and
its update from a newer list. The machine's own pci.ids is never read.

Environment: DEVNAME_SOURCE_DIR (the devname folder).
"""

import os
import sys

import pytest

SOURCE_DIR = os.environ.get("DEVNAME_SOURCE_DIR",
                            os.path.join(os.path.dirname(__file__), "..", "..", "devname"))
SNAPSHOT = os.path.join(SOURCE_DIR, "data", "pci.ids")
sys.path.insert(0, SOURCE_DIR)
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import changed_ids  # noqa: E402
import gen_tables  # noqa: E402

SAMPLE = """\
#\tVersion: 2099.01.02
#\tDate:    2099-01-02 03:04:05
0010  Misused Vendor (wrong ID)
\t0001  Device of a misused ID [Thing]
0675  Dynalink
\t1700  IS64PH ISDN Adapter
16ae  SafeNet Inc
\t0001  SafeXcel 1140
\t1141  SafeXcel 1141
2000  Acme Widgets Corp. [ACME] (formerly Widgets)
\t0002  W2 [Widget Pro] Secondary
\t0001  W1 [Widget]
\t0003  Plain widget
121a  3Dfx Interactive, Inc.
\t0003  Voodoo Banshee
abcd  Caf\u00e9 \uc544 Ltd.
ffff  Illegal Vendor ID
C 00  Unclassified device
\t00  Non-VGA unclassified device
"""


def sample_tables():
    _, vendors, devices = gen_tables.parse_ids(SAMPLE.splitlines(keepends=True))
    general = gen_tables.general_vendors(vendors)
    return (vendors, devices, general,
            gen_tables.general_devices(devices, {row[0] for row in general}),
            gen_tables.own_vendors(vendors), gen_tables.own_devices(vendors, devices))


@pytest.mark.parametrize("text, expected", [
    ("plain", b"plain"),
    ("Caf\u00e9", b"Caf\xe9"),            # Latin-1 range: one byte
    ("\u20ac", b"\x80"),                  # Euro sign: Windows-1252 only
    ("\uc544", b"&#50500;"),              # no Windows-1252 form
])
def test_text_not_windows_1252(text, expected):
    assert gen_tables.encode(text) == expected


@pytest.mark.parametrize("name, expected", [
    ("W1 [Widget]", ("W1", "Widget")),
    ("W2 [Widget Pro] Secondary", ("W2", "Widget Pro Secondary")),
    ("[Widget]", ("", "Widget")),
    ("Plain widget", ("", "Plain widget")),
])
def test_device_name_split_wrongly(name, expected):
    assert gen_tables.split_bracket(name) == expected


@pytest.mark.parametrize("data, limit, expected", [
    (b"short", 10, b"short"),
    (b"one two three", 9, b"one two"),
    (b"abc&#50500;def", 8, b"abc"),       # never cuts a character reference
    (b"abcdefghij", 4, b"abcd"),
])
def test_shortening_exceeds_limit_or_breaks_reference(data, limit, expected):
    assert gen_tables.shorten(data, limit) == expected


def test_c_string_unsafe_for_compiler():
    assert gen_tables.c_string(b'a"b\\c??=\xfc') == '"a\\"b\\\\c\\?\\?=\\374"'


def test_sample_general_vendor_rules_broken():
    _, _, general, _, _, _ = sample_tables()
    by_id = {vid: (abbr, name) for vid, abbr, name in general}
    assert 0x0010 not in by_id and 0x0675 not in by_id and 0xFFFF not in by_id
    assert by_id[0x0033] == (b"", b"Paradyne Corp.")
    assert by_id[0x2000] == (b"ACME", b"Acme Widgets Corp. (formerly Widgets)")
    assert by_id[0xABCD] == (b"", b"Caf\xe9 &#50500; Ltd.")
    assert [row[0] for row in general] == sorted(by_id)


def test_sample_general_device_rules_broken():
    _, _, _, devices, _, _ = sample_tables()
    assert devices[0] == (0x16AE, 0x1141, b"SafeXcel-1141", b"???")
    assert (0x2000, 0x0001, b"W1", b"Widget") in devices
    assert (0x2000, 0x0003, b"", b"Plain widget") in devices
    assert [row for row in devices if row[:2] == (0x121A, 0x0003)] == [
        (0x121A, 0x0003, b"", b""), (0x121A, 0x0003, b"", b""),
        (0x121A, 0x0003, b"Voodoo Banshee", b"Voodoo Banshee")]
    assert not any(row[0] in (0x0010, 0x0675) for row in devices)


def test_sample_own_table_rules_broken():
    _, _, _, _, vendors, devices = sample_tables()
    own = dict(vendors)
    assert own[0x0000] == b"Gammagraphx, Inc"
    assert own[0x2000] == b"Acme Widgets Corp"
    assert 0x0010 not in own and 0x0675 not in own and 0xFFFF not in own
    names = {(vid, did): name for vid, did, name in devices}
    assert names[(0x2000, 0x0001)] == b"Widget (W1)"
    assert names[(0x2000, 0x0002)] == b"Widget Pro Secondary (W2)"
    assert (0x2000, 0x0003) not in names and (0x0010, 0x0001) not in names
    assert devices[0] == (0x0675, 0x1700, b"IS64PH ISDN Adapter")
    assert [row[:2] for row in devices] == sorted(names)


@pytest.mark.parametrize("keys", [
    [5, 7, 5, 9],                                       # a repeat after other rows
    [3, 3, 3],                                          # one ID on every row
    [0x121A0003, 0x121A0003, 0x121A0004, 0x121A0003],   # repeats around another ID
    list(range(0, 4096, 64)) + [0, 4032],               # IDs that crowd few buckets
    [0x0000FFFF],                                       # a single row
])
def test_index_finds_later_row_or_loses_id(keys):
    buckets, index_keys, rows = gen_tables.build_index(keys)
    bits = gen_tables.index_bits(len(keys))
    assert len(buckets) == (1 << bits) + 1 and buckets[-1] == len(index_keys) == len(set(keys))
    for key in set(keys) | {max(keys) + 1}:
        bucket = gen_tables.index_bucket(key, bits)
        found = [row for k, row in zip(index_keys[buckets[bucket]:buckets[bucket + 1]],
                                       rows[buckets[bucket]:buckets[bucket + 1]]) if k == key]
        assert found == ([keys.index(key)] if key in keys else []), hex(key)


def test_output_differs_between_runs():
    first = gen_tables.generate(SAMPLE.splitlines(keepends=True))
    second = gen_tables.generate(SAMPLE.splitlines(keepends=True))
    assert first == second
    assert "2099.01.02" in first["pci_dev_table.cpp"]


def test_committed_tables_stale(tmp_path):
    assert gen_tables.main(["--out", str(tmp_path)]) == 0
    stale = []
    for rel in gen_tables.OUTPUT_FILES:
        with open(os.path.join(SOURCE_DIR, rel), encoding="ascii") as committed, \
                open(tmp_path / rel, encoding="ascii") as fresh:
            if committed.read() != fresh.read():
                stale.append(rel)
    assert not stale, f"regenerate with devname/gen_tables.py: {stale}"


def test_update_loses_or_miscounts_a_change(tmp_path, capsys):
    with open(SNAPSHOT, encoding="utf-8") as snapshot:
        lines, changed = changed_ids.change(snapshot.readlines())
    newer = tmp_path / "newer.ids"
    newer.write_text("".join(lines), encoding="utf-8")
    out = tmp_path / "out"
    assert gen_tables.main(["--update", str(newer), "--out", str(out)]) == 0
    assert (out / "data" / "pci.ids").read_bytes() == newer.read_bytes()
    fresh = gen_tables.generate(lines)
    for rel in gen_tables.OUTPUT_FILES:
        assert (out / rel).read_text(encoding="ascii") == fresh[rel], rel
    # The new vendor brings one device; the renamed and the added device
    # carry bracketed product names, so each reaches both device tables.
    report = capsys.readouterr().out
    for table, counts in [("qorPciVendors", "1 added, 0 removed, 0 renamed"),
                          ("PciVenTable", "1 added, 0 removed, 0 renamed"),
                          ("qorPciDevices", "2 added, 0 removed, 1 renamed"),
                          ("PciDevTable", "2 added, 0 removed, 1 renamed")]:
        assert f"{table}: " in report and counts in report.split(f"{table}: ")[1].splitlines()[0], report
    assert "8 names changed" in report
    _, tables = gen_tables.name_tables(lines)
    own = {row[:2]: row[2] for row in tables["qorPciDevices"]}
    assert own[changed["renamed"]] == b"Renamed product (Renamed chip)"
    assert own[changed["added"]] == b"Added product (Added chip)"
    assert (changed["vendor"], b"AVC", b"Added Vendor Corp.") in tables["PciVenTable"]

    # A list the generator cannot read replaces nothing.
    broken = tmp_path / "broken.ids"
    broken.write_text("".join(lines[:40]) + "zzzz\n", encoding="utf-8")
    before = {rel: (out / rel).read_bytes() for rel in (*gen_tables.OUTPUT_FILES, gen_tables.SNAPSHOT)}
    with pytest.raises(ValueError):
        gen_tables.main(["--update", str(broken), "--out", str(out)])
    assert before == {rel: (out / rel).read_bytes() for rel in before}
