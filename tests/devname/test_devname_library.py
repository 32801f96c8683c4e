"""The built libdevname as other programs see it: its exported names, its
SONAME and its run-time dependencies.

Environment: LIBDEVNAME (path of the built library), DEVNAME_SANITIZED ("ON"
when built with sanitizers, whose runtimes are then dependencies too).
"""

import os
import re
import subprocess

import pytest

EXPORTED = {
    "QorGetDeviceInfo", "QorGetDevicePNP", "QorGetDeviceClassString",
    "qorPciVendors", "qorPciDevices", "PciVenTable", "PciDevTable",
    "PciClassCodeTable", "PciCommandFlags", "PciStatusFlags", "PciDevSelFlags",
}
# Names the toolchain may define in every shared object.
TOOLCHAIN = {"_init", "_fini", "_edata", "_end", "__bss_start"}

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
