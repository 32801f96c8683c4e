#!/usr/bin/env python3
"""Generate the four PCI name tables of libdevname from Debian's pci.ids.

Usage: gen_tables.py [--ids FILE] [--out DIR]
       gen_tables.py --update [NEW] [--out DIR]

Writes qor_pci_vendors.cpp, qor_pci_devices.cpp, pci_ven_table.cpp,
pci_dev_table.cpp, name_index.cpp and include/devname_table_sizes.h below DIR
(default: the folder of this script) from FILE (default: the snapshot
data/pci.ids beside this script). The output depends on nothing but the input
file, so running it twice on the same pci.ids gives the same bytes; the test
suite checks the committed files against a fresh run over the snapshot.

--update takes a newer pci.ids (default: $PCI_IDS, else
/usr/share/misc/pci.ids), generates the tables from it with the same rules,
copies it in as DIR/data/pci.ids and prints, table by table, how many IDs
were added, removed and renamed against the snapshot it replaces. Nothing is
written when the new file cannot be made into tables.

Texts are converted from UTF-8 to Windows-1252; a character without a
Windows-1252 form becomes an HTML numeric character reference ("&#50500;").

PciVenTable (general vendor names)
  Every vendor of the snapshot in ascending ID order, except the IDs in
  GENERAL_VENDOR_EXCLUDED and those below GENERAL_FIRST_VENDOR. "Name [Short]"
  gives abbreviation "Short" and name "Name" (text after the closing bracket
  is kept in the name); otherwise the abbreviation is empty. FIXED_GENERAL_VENDORS then replaces or adds rows.

PciDevTable (general device names)
  The snapshot's devices of every vendor in PciVenTable, grouped by vendor,
  groups in ascending vendor order, devices in snapshot order. "Part [Desc]"
  gives partNumber "Part" and description "Desc" (text after the closing
  bracket is appended to the description); otherwise the partNumber is empty
  and the whole name is the description. FIXED_GENERAL_DEVICES replaces a
  snapshot row by its list of rows (or adds them in device order), and the
  group of LEADING_GENERAL_DEVICE, led by that row, is moved to the front.

qorPciVendors (the library's own vendor names, searched first)
  Selection: every vendor of the snapshot except misused IDs (remark
  "wrong ID"), the IDs in OWN_VENDOR_EXCLUDED and the illegal ID FFFF.
  Naming: the plain company name: the snapshot name without its bracketed
  short form and without parenthetical remarks, blanks collapsed, a trailing
  full stop or comma dropped. FIXED_OWN_VENDORS then replaces or adds rows.

qorPciDevices (the library's own device names, searched first)
  Selection: every device whose snapshot name carries a bracketed product
  name, of a vendor at or above OWN_FIRST_DEVICE_VENDOR that is not a misused
  ID, except the pairs in OWN_DEVICE_EXCLUDED.
  Naming: the product name first, the chip after it in parentheses
  ("Desc (Part)" with Desc and Part split as for PciDevTable; just "Desc"
  when the part is empty or the whole text would be too long).
  FIXED_OWN_DEVICES then replaces or adds rows. Sorted by vendor, device.

name_index.cpp (the lookup index of the four name tables)
  For each table, the rows at which a first-match scan would stop, found by
  hashing the row's ID: vendor tables by vendor ID, device tables by
  vendor << 16 | device ID. Each table has 2**bits buckets, the fewest that
  are at least as many as its rows (never fewer than two); an ID lands in
  bucket (ID * INDEX_HASH_MULTIPLIER mod 2**32) >> (32 - bits). The index of a
  table is three arrays of small integers: Buckets[b] .. Buckets[b + 1] is the
  slice of Keys and Rows holding bucket b, and each ID appears once, with the
  first row of the table that carries it. Later rows with the same ID are
  left out, as a scan from the first row never reaches them. name_index.h
  holds the same rule for the library; the array sizes tie the two together.

Each table holds exactly its counted rows, with no terminating row, and the
exported symbol covers exactly those rows. No table holds a row of vendor
FFFF, the ID that an absent PCI function reads back.

Length limits: vendor texts at most 50 bytes and device texts at most 100
bytes, so that a PCI result of QorGetDeviceInfo never exceeds 151 characters
(vendor, blank, device), the longest result callers have been sized for.
Longer texts are cut at the last blank that keeps them within the limit.
"""

import argparse
import os
import re
import sys

GENERAL_FIRST_VENDOR = 0x0033
GENERAL_VENDOR_EXCLUDED = {0x0675, 0xFFFF}
OWN_FIRST_DEVICE_VENDOR = 0x0675
OWN_VENDOR_EXCLUDED = {0x0675, 0x100B, 0x11DE, 0x11F0, 0xFFFF}
OWN_DEVICE_EXCLUDED = {(0x003D, 0x0001), (0x11DE, 0x9876), (0x11F0, 0x4232),
                       (0x1202, 0x0001), (0xFFFF, 0xFFFF)}
VENDOR_TEXT_LIMIT = 50
DEVICE_TEXT_LIMIT = 100

# Established names that programs of the imaging environment rely on.
FIXED_GENERAL_VENDORS = {
    0x0033: ("", "Paradyne Corp."),
    0x003D: ("Lockheed Martin", "Lockheed Martin Corp"),
    0x0123: ("", "General Dynamics"),
    0x100B: ("NSC", "National Semiconductor"),
    0x11DE: ("Zoran", "Zoran Corporation"),
    0x11F0: ("Compu-Shack", "Compu-Shack GmbH"),
    0x1202: ("Network Gen", "Network General Corp"),
    0x8086: ("Intel", "Intel Corporation"),
}
FIXED_GENERAL_DEVICES = {
    (0x16AE, 0x1141): [("SafeXcel-1141", "???")],
    (0x11DE, 0x9876): [("", "")],
    (0x11F0, 0x4232): [("FASTline UTP Quattro", "")],
    (0x1202, 0x0001): [("NAIATMPCI", "PCI ATM Adapter")],
    # Two rows without text stand before the named one: a first-match search
    # for this pair ends at an empty row.
    (0x121A, 0x0003): [("", ""), ("", ""), ("Voodoo Banshee", "Voodoo Banshee")],
}
LEADING_GENERAL_DEVICE = (0x16AE, 0x1141)
FIXED_OWN_VENDORS = {
    0x0000: "Gammagraphx, Inc",
    0x003D: "Martin-Marietta",
    0x0E11: "Compaq Computer",
    0x1202: "Network General Corporation",
    0x8086: "Intel Corporation",
}
FIXED_OWN_DEVICES = {
    (0x0675, 0x1700): "IS64PH ISDN Adapter",
    (0x0E11, 0x0001): "EISA Bridge",
    (0x100B, 0x0020): "MacPhyter 10/100 Mb/s Ethernet MAC & PHY",
    (0x121A, 0x0003): "3Dfx Banshee chipset",
    (0x8086, 0x1229): "82557 Fast Ethernet PRO/100",
}

SNAPSHOT = os.path.join("data", "pci.ids")
OUTPUT_FILES = ("qor_pci_vendors.cpp", "qor_pci_devices.cpp", "pci_ven_table.cpp",
                "pci_dev_table.cpp", "name_index.cpp", os.path.join("include", "devname_table_sizes.h"))

# The vendor ID an absent PCI function reads back: no table has a row for it.
ABSENT_ID = 0xFFFF

INDEX_HASH_MULTIPLIER = 0x9E3779B1
# Rows, keys and bucket bounds are stored as 16-bit numbers.
INDEX_ROW_LIMIT = 0xFFFF

MISUSED_ID = re.compile(r"\(wrong id\)", re.IGNORECASE)


def parse_ids(lines):
    """Return (version text, vendors {id: name}, devices [(vid, did, name)])."""
    version, date = "", ""
    vendors, devices = {}, []
    vendor = None
    for raw in lines:
        line = raw.rstrip("\n")
        if line.startswith("#"):
            match = re.match(r"#\s*(Version|Date):\s*(.*\S)", line)
            if match and match.group(1) == "Version":
                version = match.group(2)
            elif match:
                date = match.group(2)
            continue
        if not line.strip():
            continue
        if line.startswith("C "):
            break  # the device class list follows the vendors
        if not line.startswith("\t"):
            ident, name = line.split("  ", 1)
            vendor = int(ident, 16)
            vendors[vendor] = name.strip()
        elif not line.startswith("\t\t"):
            ident, name = line.strip().split("  ", 1)
            devices.append((vendor, int(ident, 16), name.strip()))
    return f"Version: {version}, Date: {date}", vendors, devices


def encode(text):
    """UTF-8 text to Windows-1252 bytes, unmappable characters as &#N;."""
    return text.encode("cp1252", errors="xmlcharrefreplace")


def shorten(data, limit):
    """Cut encoded text to at most limit bytes at a blank, never inside &#N;."""
    if len(data) <= limit:
        return data
    cut = data.rfind(b" ", 0, limit + 1)
    if cut <= 0:
        cut = limit
        amp = data.rfind(b"&#", 0, cut)
        if amp >= 0 and data.find(b";", amp) >= cut:
            cut = amp
    return data[:cut].rstrip(b" ,;:/-")


def split_bracket(name):
    """Split "Part [Desc] rest" into ("Part", "Desc rest"); else ("", name)."""
    match = re.match(r"^(.*?)\s*\[([^\]]*)\]\s*(.*)$", name)
    if not match:
        return "", name
    part, desc, rest = match.groups()
    return part, (desc + " " + rest).strip() if rest else desc


def split_vendor(name):
    """Split "Name [Short] rest" into ("Short", "Name rest"); else ("", name)."""
    match = re.match(r"^(.*?)\s*\[([^\]]*)\]\s*(.*)$", name)
    if not match:
        return "", name
    before, short, rest = match.groups()
    return short, (before + " " + rest).strip()


def plain_company_name(name):
    """Company name without [short form], (remarks), trailing '.' or ','."""
    text = re.sub(r"\[[^\]]*\]", " ", name)
    text = re.sub(r"\([^)]*\)", " ", text)
    text = " ".join(text.split())
    return text.rstrip(".,").strip()


def general_vendors(vendors):
    rows = {}
    for vid, name in vendors.items():
        if vid < GENERAL_FIRST_VENDOR or vid in GENERAL_VENDOR_EXCLUDED:
            continue
        rows[vid] = split_vendor(name)
    rows.update(FIXED_GENERAL_VENDORS)
    return [(vid, shorten(encode(a), VENDOR_TEXT_LIMIT), shorten(encode(n), VENDOR_TEXT_LIMIT))
            for vid, (a, n) in sorted(rows.items())]


def general_devices(devices, vendor_ids):
    groups = {}
    for vid, did, name in devices:
        if vid in vendor_ids:
            groups.setdefault(vid, []).append((did, [split_bracket(name)]))
    for (vid, did), fixed in sorted(FIXED_GENERAL_DEVICES.items()):
        group = groups.setdefault(vid, [])
        slots = [i for i, (d, _) in enumerate(group) if d == did]
        if slots:
            group[slots[0]] = (did, fixed)
        else:
            later = [i for i, (d, _) in enumerate(group) if d > did]
            group.insert(later[0] if later else len(group), (did, fixed))
    unnamed = sorted(set(groups) - vendor_ids)
    if unnamed:
        raise SystemExit(f"device rows for vendors without a PciVenTable row: {unnamed}")
    lead_vid, lead_did = LEADING_GENERAL_DEVICE
    order = [lead_vid] + sorted(v for v in groups if v != lead_vid)
    groups[lead_vid].sort(key=lambda entry: entry[0] != lead_did)
    rows = []
    for vid in order:
        for did, texts in groups[vid]:
            for part, desc in texts:
                rows.append((vid, did, shorten(encode(part), DEVICE_TEXT_LIMIT),
                             shorten(encode(desc), DEVICE_TEXT_LIMIT)))
    return rows


def own_vendors(vendors):
    rows = {}
    for vid, name in vendors.items():
        if MISUSED_ID.search(name) or vid in OWN_VENDOR_EXCLUDED:
            continue
        plain = plain_company_name(name)
        if plain:
            rows[vid] = plain
    rows.update(FIXED_OWN_VENDORS)
    return [(vid, shorten(encode(n), VENDOR_TEXT_LIMIT)) for vid, n in sorted(rows.items())]


def own_device_name(name):
    part, desc = split_bracket(name)
    desc_bytes = encode(desc)
    if part:
        combined = encode(f"{desc} ({part})")
        if len(combined) <= DEVICE_TEXT_LIMIT:
            return combined
    return shorten(desc_bytes, DEVICE_TEXT_LIMIT)


def own_devices(vendors, devices):
    rows = {}
    for vid, did, name in devices:
        if "[" not in name or vid < OWN_FIRST_DEVICE_VENDOR:
            continue
        if MISUSED_ID.search(vendors.get(vid, "")) or (vid, did) in OWN_DEVICE_EXCLUDED or vid == ABSENT_ID:
            continue
        text = own_device_name(name)
        if text and (vid, did) not in rows:
            rows[(vid, did)] = text
    for key, name in FIXED_OWN_DEVICES.items():
        rows[key] = encode(name)
    return [(vid, did, text) for (vid, did), text in sorted(rows.items())]


def c_string(data):
    """C string literal for 8-bit text; bytes outside plain ASCII as octal."""
    out = []
    for byte in data:
        char = chr(byte)
        if char in '"\\?':
            out.append("\\" + char)
        elif 0x20 <= byte < 0x7F:
            out.append(char)
        else:
            out.append(f"\\{byte:03o}")
    return '"' + "".join(out) + '"'


def source(version, row_type, name, count_name, alias, rows, formatter):
    lines = [
        f"// Generated by gen_tables.py from pci.ids ({version}). Do not edit.",
        '#include "devname_internal.h"',
        "",
        "// The library's own lookups read the rows through this name, bound inside the library.",
        f"extern \"C\" const {row_type} {alias}[{count_name}] = {{",
    ]
    lines += ["    " + formatter(row) + "," for row in rows]
    lines += [
        "};",
        "",
        "// The exported name is set to the same rows in assembler, so its symbol takes",
        "// their size: exactly the counted rows, in every build, sanitized ones included.",
        f"asm(\".globl {name}\\n\\t.set {name}, {alias}\");",
        "",
    ]
    return "\n".join(lines)


def index_bits(row_count):
    """Bucket bits of a table: 2**bits >= rows, at least one bit."""
    bits = 1
    while (1 << bits) < row_count:
        bits += 1
    return bits


def index_bucket(key, bits):
    return ((key * INDEX_HASH_MULTIPLIER) & 0xFFFFFFFF) >> (32 - bits)


def build_index(keys):
    """(buckets, keys, rows) of the first row of each key, keys in table order."""
    if len(keys) > INDEX_ROW_LIMIT:
        raise SystemExit(f"{len(keys)} rows do not fit the 16-bit index")
    bits = index_bits(len(keys))
    first = {}
    for row, key in enumerate(keys):
        first.setdefault(key, row)
    entries = sorted((index_bucket(key, bits), row, key) for key, row in first.items())
    buckets = [0] * ((1 << bits) + 1)
    for bucket, _, _ in entries:
        buckets[bucket + 1] += 1
    for b in range(1, len(buckets)):
        buckets[b] += buckets[b - 1]
    return buckets, [key for _, _, key in entries], [row for _, row, _ in entries]


def c_array(declaration, values, formatter):
    lines = [f"{declaration} = {{"]
    for start in range(0, len(values), 12):
        chunk = values[start:start + 12]
        lines.append("    " + " ".join(formatter(v) + "," for v in chunk))
    lines.append("};")
    return lines


def index_source(version, tables):
    """name_index.cpp from [(array prefix, row count name, [key of each row])]."""
    lines = [
        f"// Generated by gen_tables.py from pci.ids ({version}). Do not edit.",
        '#include "name_index.h"',
    ]
    for prefix, count_name, keys in tables:
        buckets, index_keys, rows = build_index(keys)
        lines += [
            "",
            f"// {len(keys)} rows, {len(index_keys)} IDs, {len(buckets) - 1} buckets.",
            *c_array(f"const uint16_t {prefix}Buckets[indexBucketCount({count_name}) + 1]", buckets, str),
            *c_array(f"const uint32_t {prefix}Keys[{len(index_keys)}]", index_keys, lambda v: f"0x{v:08X}"),
            *c_array(f"const uint16_t {prefix}Rows[{len(rows)}]", rows, str),
        ]
    lines.append("")
    return "\n".join(lines)


def sizes_header(version, counts):
    lines = [
        f"// Generated by gen_tables.py from pci.ids ({version}). Do not edit.",
        "#ifndef DEVNAME_TABLE_SIZES_H",
        "#define DEVNAME_TABLE_SIZES_H",
        "",
        "/* Row counts of the generated name tables. */",
        "enum {",
    ]
    lines += [f"    {name} = {count}," for name, count in counts]
    lines += ["};", "", "#endif", ""]
    return "\n".join(lines)


def name_tables(ids_lines):
    """(version text, {table name: rows}) of the four name tables."""
    version, vendors, devices = parse_ids(ids_lines)
    gen_vendors = general_vendors(vendors)
    tables = {
        "qorPciVendors": own_vendors(vendors),
        "qorPciDevices": own_devices(vendors, devices),
        "PciVenTable": gen_vendors,
        "PciDevTable": general_devices(devices, {row[0] for row in gen_vendors}),
    }
    for table, rows in tables.items():
        if any(row[0] == ABSENT_ID for row in rows):
            raise SystemExit(f"{table} would hold a row of vendor {ABSENT_ID:04X}, the ID of an absent device")
    return version, tables


def generate(ids_lines):
    """Return {relative path: text} for all generated files."""
    version, tables = name_tables(ids_lines)
    qor_vendors, qor_devices = tables["qorPciVendors"], tables["qorPciDevices"]
    gen_vendors, gen_devices = tables["PciVenTable"], tables["PciDevTable"]
    return {
        "qor_pci_vendors.cpp": source(
            version, "VendorNameEntry", "qorPciVendors", "QorPciVendorsCount", "ownVendorRows", qor_vendors,
            lambda r: f"{{0x{r[0]:04X}, {c_string(r[1])}}}"),
        "qor_pci_devices.cpp": source(
            version, "DeviceNameEntry", "qorPciDevices", "QorPciDevicesCount", "ownDeviceRows", qor_devices,
            lambda r: f"{{0x{r[0]:04X}, 0x{r[1]:04X}, {c_string(r[2])}}}"),
        "pci_ven_table.cpp": source(
            version, "PciVendorEntry", "PciVenTable", "PciVenTableCount", "generalVendorRows", gen_vendors,
            lambda r: f"{{0x{r[0]:04X}, {c_string(r[1])}, {c_string(r[2])}}}"),
        "pci_dev_table.cpp": source(
            version, "PciDeviceEntry", "PciDevTable", "PciDevTableCount", "generalDeviceRows", gen_devices,
            lambda r: f"{{0x{r[0]:04X}, 0x{r[1]:04X}, {c_string(r[2])}, {c_string(r[3])}}}"),
        "name_index.cpp": index_source(version, [
            ("ownVendorIndex", "QorPciVendorsCount", [r[0] for r in qor_vendors]),
            ("ownDeviceIndex", "QorPciDevicesCount", [r[0] << 16 | r[1] for r in qor_devices]),
            ("generalVendorIndex", "PciVenTableCount", [r[0] for r in gen_vendors]),
            ("generalDeviceIndex", "PciDevTableCount", [r[0] << 16 | r[1] for r in gen_devices]),
        ]),
        os.path.join("include", "devname_table_sizes.h"): sizes_header(version, [
            ("QorPciVendorsCount", len(qor_vendors)),
            ("QorPciDevicesCount", len(qor_devices)),
            ("PciVenTableCount", len(gen_vendors)),
            ("PciDevTableCount", len(gen_devices)),
        ]),
    }


def table_changes(old, new):
    """{table: (added, removed, renamed)} between two name_tables() results,
    by the first row of each ID, which is the one a lookup finds."""
    def names(rows):
        first = {}
        for row in rows:
            key = row[:2] if isinstance(row[1], int) else row[:1]
            first.setdefault(key, row[len(key):])
        return first

    changes = {}
    for table, rows in new.items():
        before, after = names(old[table]), names(rows)
        changes[table] = (len(after.keys() - before.keys()), len(before.keys() - after.keys()),
                          sum(1 for key in after.keys() & before.keys() if after[key] != before[key]))
    return changes


def read_ids(path):
    with open(path, encoding="utf-8") as ids:
        return ids.readlines()


def write_files(files, out):
    for rel, text in files.items():
        path = os.path.join(out, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", encoding="ascii", newline="\n") as target:
            target.write(text)


def update(new_ids, out):
    """Replaces the snapshot in `out` (or, where it has none, compares against
    the one beside this script) by `new_ids` and regenerates the tables."""
    here = os.path.dirname(os.path.abspath(__file__))
    snapshot = os.path.join(out, SNAPSHOT)
    base = snapshot if os.path.exists(snapshot) else os.path.join(here, SNAPSHOT)
    new_lines = read_ids(new_ids)
    files = generate(new_lines)  # fails before anything is written
    old_version, old_tables = name_tables(read_ids(base))
    version, new_tables = name_tables(new_lines)
    write_files(files, out)
    os.makedirs(os.path.dirname(snapshot), exist_ok=True)
    if not os.path.exists(snapshot) or not os.path.samefile(new_ids, snapshot):
        with open(new_ids, "rb") as source, open(snapshot, "wb") as target:
            target.write(source.read())
    print(f"pci.ids {old_version} -> {version}")
    total = 0
    for table, (added, removed, renamed) in table_changes(old_tables, new_tables).items():
        total += added + removed + renamed
        print(f"{table}: {len(old_tables[table])} -> {len(new_tables[table])} rows, "
              f"{added} added, {removed} removed, {renamed} renamed")
    print(f"{total} names changed")
    return 0


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--ids", default=os.path.join(here, SNAPSHOT))
    parser.add_argument("--update", nargs="?", metavar="NEW",
                        const=os.environ.get("PCI_IDS") or "/usr/share/misc/pci.ids")
    parser.add_argument("--out", default=here)
    args = parser.parse_args(argv)
    if args.update is not None:
        return update(args.update, args.out)
    write_files(generate(read_ids(args.ids)), args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
