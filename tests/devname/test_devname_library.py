"""The built libdevname as other programs see it: its exported names, its
SONAME, its run-time dependencies and what loading it costs.

Environment: LIBDEVNAME (path of the built library), DEVNAME_SANITIZED ("ON"
when built with sanitizers, whose runtimes are then dependencies too, and
whose instrumentation adds data and relocations of its own), DEVNAME_RELR
("ON" when the linker packs relative relocations).
"""

import bisect
import os
import re
import subprocess

import pytest

EXPORTED = {
    "QorGetDeviceInfo", "QorGetDevicePNP", "QorGetDeviceClassString",
    "qorPciVendors", "qorPciDevices", "PciVenTable", "PciDevTable",
    "PciClassCodeTable", "PciCommandFlags", "PciStatusFlags", "PciDevSelFlags",
    "QorGetDeviceInfoN", "QorGetDevicePNPN", "QorGetDeviceClassStringN",
}
# Names the toolchain may define in every shared object.
TOOLCHAIN = {"_init", "_fini", "_edata", "_end", "__bss_start"}
# C library functions the lookups may call: they copy or measure bytes, and
# never allocate.
COPYING_IMPORTS = {"memcpy", "memmove", "memset", "strcpy", "strlen", "strnlen"}
# What a hardened build adds, as Debian's hardening=+all does: the stack
# protector's failure call and the checked variants of those functions
# (_FORTIFY_SOURCE). Neither allocates or reads anything but the caller's bytes.
HARDENING_IMPORTS = {"__stack_chk_fail"} | {f"__{name}_chk" for name in COPYING_IMPORTS}
# Sections a load may write: the relocated tables, and the dynamic linker's own.
WRITABLE_SECTIONS = {".data.rel.ro", ".dynamic", ".got", ".got.plt"}
SANITIZED = os.environ.get("DEVNAME_SANITIZED") == "ON"

LIBRARY = os.environ.get("LIBDEVNAME", "")


def readelf(*args):
    return subprocess.run(["readelf", *args, LIBRARY], check=True,
                          capture_output=True, text=True).stdout


def defined_dynamic_symbols():
    names = set()
    for line in readelf("--dyn-syms", "-W").splitlines():
        fields = line.split()
        # Num: Value Size Type Bind Vis Ndx Name
        if len(fields) >= 8 and fields[0][:-1].isdigit() and fields[6] != "UND":
            names.add(fields[7])
    return names


def exported_tables():
    """[(start, end)] of the exported data symbols."""
    ranges = []
    for line in readelf("--dyn-syms", "-W").splitlines():
        fields = line.split()
        if len(fields) >= 8 and fields[0][:-1].isdigit() and fields[3] == "OBJECT" and fields[6] != "UND":
            start = int(fields[1], 16)
            ranges.append((start, start + int(fields[2], 0)))
    return sorted(ranges)


def relocations():
    """[(section, kind, offset, symbol)]; packed relative ones have kind RELR."""
    found, section = [], None
    for line in readelf("-r", "-W").splitlines():
        header = re.match(r"Relocation section '([^']+)'", line)
        if header:
            section = header.group(1)
            continue
        fields = line.split()
        if section and "relr" in section and len(fields) == 1 and re.fullmatch(r"[0-9a-f]+", fields[0]):
            found.append((section, "RELR", int(fields[0], 16), None))
        elif len(fields) >= 3 and fields[2].startswith("R_"):
            symbol = fields[4].split("@")[0] if len(fields) >= 5 and not fields[3].startswith("+") else None
            kind = re.sub(r"^R_(X86_64|386)_", "", fields[2])
            found.append((section, kind, int(fields[0], 16), symbol))
    return found


def allocated_sections():
    """[(name, address, size, flags)] of the sections present at run time."""
    sections = []
    for line in readelf("-S", "-W").splitlines():
        match = re.match(r"\s*\[\s*\d+\]\s+(.*)", line)
        fields = match.group(1).split() if match else []
        if len(fields) >= 9 and re.fullmatch(r"[0-9a-f]+", fields[2]):
            flags = fields[6] if len(fields) == 10 else ""
            if "A" in flags:
                sections.append((fields[0], int(fields[2], 16), int(fields[4], 16), flags))
    return sections


def inside(offset, ranges):
    """Whether offset lies in one of the sorted, disjoint ranges."""
    at = bisect.bisect_right(ranges, (offset, float("inf"))) - 1
    return at >= 0 and offset < ranges[at][1]


def uncovered_bytes(start, end, ranges):
    """Bytes of [start, end) that none of the sorted ranges covers."""
    covered = sum(max(0, min(end, e) - max(start, s)) for s, e in ranges)
    return end - start - covered


@pytest.fixture(autouse=True)
def library_given():
    assert LIBRARY and os.path.exists(LIBRARY), "LIBDEVNAME must name the built library"


def test_internal_names_leaked_or_exports_missing():
    assert defined_dynamic_symbols() - TOOLCHAIN == EXPORTED


def test_exports_decorated_or_versioned():
    for line in readelf("--dyn-syms", "-W").splitlines():
        if any(line.endswith(" " + name) for name in EXPORTED):
            continue
        for name in EXPORTED:
            assert not re.search(rf"\b{name}@", line), line


def test_soname_missing():
    assert re.search(r"\(SONAME\)\s+Library soname: \[libdevname\.so\.\d+\]", readelf("-d"))


@pytest.mark.skipif(os.environ.get("DEVNAME_SANITIZED") == "ON",
                    reason="sanitizer runtimes are linked in this build")
def test_depends_on_more_than_c_library():
    needed = re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", readelf("-d"))
    assert needed == ["libc.so.6"]


@pytest.mark.skipif(SANITIZED, reason="sanitizer instrumentation relocates data of its own")
def test_load_relocates_more_than_exported_tables():
    tables = exported_tables()
    found = relocations()
    relative = [r for r in found if r[1] in ("RELR", "RELATIVE")]
    assert relative, "the exported tables hold pointers, so some relocations must be found"
    stray = [hex(offset) for _, _, offset, _ in relative if not inside(offset, tables)]
    assert not stray, f"relative relocations outside the exported tables: {stray[:10]}"
    imports = [r for r in found if r[1] not in ("RELR", "RELATIVE")]
    assert {(kind, symbol) for _, kind, _, symbol in imports} <= {
        ("JUMP_SLOT", name) for name in COPYING_IMPORTS | HARDENING_IMPORTS}, imports
    if os.environ.get("DEVNAME_RELR") == "ON":
        assert all(kind == "RELR" for _, kind, _, _ in relative), "relative relocations not packed"


@pytest.mark.skipif(SANITIZED, reason="sanitizer instrumentation adds writable data")
def test_load_writes_pages_beyond_exported_tables():
    sections = allocated_sections()
    writable = {name for name, _, _, flags in sections if "W" in flags}
    assert writable <= WRITABLE_SECTIONS, writable - WRITABLE_SECTIONS
    tables = exported_tables()
    for name, address, size, _ in sections:
        if name != ".data.rel.ro":
            continue
        # Only alignment padding may lie between the tables.
        uncovered = uncovered_bytes(address, address + size, tables)
        assert uncovered < 32 * len(tables), f"{uncovered} bytes are not table rows"
