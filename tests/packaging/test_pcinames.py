"""pcinames over fake sysfs trees, on a machine without a PCI bus, and on this one."""

import os
import subprocess
import sys
from pathlib import Path

import pytest

from packaging_support import SOURCE_DIR, env_path, project_version

sys.path.insert(0, str(SOURCE_DIR / "tests"))
import launcher  # noqa: E402


def add_device(root, address, vendor, device, klass, revision=None):
    folder = root / "bus" / "pci" / "devices" / address
    folder.mkdir(parents=True)
    for name, text in (("vendor", vendor), ("device", device), ("class", klass),
                       ("revision", revision)):
        if text is not None:
            (folder / name).write_text(text + "\n")
    return folder


def run(*args, env_extra=None):
    env = dict(os.environ)
    env.pop("PCINAMES_SYSFS", None)
    # The library is loaded by name, as an installed system would find it.
    env["LD_LIBRARY_PATH"] = env_path("DEVNAME_LIBRARY_DIR")
    env.update(env_extra or {})
    return launcher.run(env_path("PCINAMES"), args, capture_output=True, env=env,
                        text=True, errors="replace")


@pytest.fixture
def sysfs(tmp_path):
    root = tmp_path / "sys"
    add_device(root, "0000:00:19.0", "0x8086", "0x1229", "0x020000")
    add_device(root, "0000:00:1f.2", "0x1202", "0x0001", "0x010185")
    add_device(root, "0000:00:02.0", "0x11f0", "0x4232", "0x030000")
    add_device(root, "0000:03:00.0", "0xffff", "0xffff", "0x0c0330")
    return root


EXPECTED = [
    "00:02.0 Display controller: Compu-Shack GmbH FASTline UTP Quattro",
    "00:19.0 Ethernet interface controller: Intel Corporation 82557 Fast Ethernet PRO/100",
    "00:1f.2 IDE Mass Storage Device: Network General Corporation PCI ATM Adapter",
    "03:00.0 Unknown device class: Unknown vendor 0xFFFF : Unknown device 0xFFFF",
]


NUMERIC = [
    "00:02.0 0300: 11f0:4232",
    "00:19.0 0200: 8086:1229",
    "00:1f.2 0101: 1202:0001",
    "03:00.0 0c03: ffff:ffff",
]

BOTH = [
    "00:02.0 Display controller [0300]: Compu-Shack GmbH FASTline UTP Quattro [11f0:4232]",
    "00:19.0 Ethernet interface controller [0200]: "
    "Intel Corporation 82557 Fast Ethernet PRO/100 [8086:1229]",
    "00:1f.2 IDE Mass Storage Device [0101]: Network General Corporation PCI ATM Adapter "
    "[1202:0001]",
    "03:00.0 Unknown device class [0c03]: Unknown vendor 0xFFFF : Unknown device 0xFFFF "
    "[ffff:ffff]",
]


@pytest.mark.parametrize("args, expected", [
    (["-n"], NUMERIC), (["-nn"], BOTH), (["-n", "-n"], BOTH), (["-nn", "-n"], BOTH),
])
def test_numeric_ids_as_lspci_prints_them(sysfs, args, expected):
    result = run(*args, "--sysfs", str(sysfs))
    assert (result.returncode, result.stderr) == (0, "")
    assert result.stdout.splitlines() == expected


def test_numeric_ids_alone_need_no_library(sysfs, tmp_path):
    result = run("-n", "--sysfs", str(sysfs), env_extra={"LD_LIBRARY_PATH": str(tmp_path)})
    assert (result.returncode, result.stdout.splitlines()) == (0, NUMERIC)


# lspci's conventions: the domain only with -D or when a device lies outside
# domain 0, "(rev NN)" for a non-zero revision, and the -s and -d filters
# (hexadecimal, each part may be left out or be '*').
LSPCI_CASES = [
    (["-D", "-s", "19.0"], [EXPECTED[1].replace("00:19.0", "0000:00:19.0", 1)]),
    (["-s", "0000:00:1f.2"], [EXPECTED[2]]),
    (["-s", "00:1f"], [EXPECTED[2]]),
    (["-s1F.2"], [EXPECTED[2]]),
    (["-s", "03:"], [EXPECTED[3]]),
    (["-s", "*:*.0"], [EXPECTED[0], EXPECTED[1], EXPECTED[3]]),
    (["-s", ".2"], [EXPECTED[2]]),
    (["-s", "1:00:19.0"], []),
    (["-d", "8086:"], [EXPECTED[1]]),
    (["-d", "*:FFFF"], [EXPECTED[3]]),
    (["-d", ":"], EXPECTED),
    (["-d", "8086:4232"], []),
    (["-s", "00:", "-d", "11f0:*"], [EXPECTED[0]]),
    (["-n", "-d", "ffff:ffff"], [NUMERIC[3]]),
]
LSPCI_BAD = [["-s", "100:00.0"], ["-s", "00:20.0"], ["-s", "00.8"], ["-s", "0g"], ["-d", "8086"],
             ["-d", "10000:"], ["-d", "8086:1229:0200"], ["-s"], ["-d"]]


@pytest.mark.parametrize("args, expected", LSPCI_CASES)
def test_lspci_filters_select_devices(sysfs, args, expected):
    result = run(*args, "--sysfs", str(sysfs))
    assert (result.returncode, result.stderr, result.stdout.splitlines()) == (0, "", expected)


@pytest.mark.parametrize("args", LSPCI_BAD)
def test_lspci_filter_out_of_range_is_refused(sysfs, args):
    result = run(*args, "--sysfs", str(sysfs))
    assert (result.returncode, result.stdout) == (64, "") and "Usage:" in result.stderr


@pytest.mark.parametrize("revision, domain, args, expected", [
    ("0x08", "0000", ["-nn"], "00:07.0 Display controller [0300]: Compu-Shack GmbH FASTline UTP "
                              "Quattro [11f0:4232] (rev 08)"),
    ("0x1a", "0000", ["-n"], "00:07.0 0300: 11f0:4232 (rev 1a)"),
    ("0x00", "0000", ["-n"], "00:07.0 0300: 11f0:4232"),
    (None, "0000", ["-n"], "00:07.0 0300: 11f0:4232"),
    ("0xff", "0001", ["-n"], "0001:00:07.0 0300: 11f0:4232 (rev ff)"),
])
def test_revision_and_domain_as_lspci_shows_them(tmp_path, revision, domain, args, expected):
    root = tmp_path / "sys"
    add_device(root, f"{domain}:00:07.0", "0x11f0", "0x4232", "0x030000", revision)
    if domain != "0000":
        add_device(root, "0000:00:19.0", "0x8086", "0x1229", "0x020000")
    result = run(*args, "-s", "07.0", "--sysfs", str(root))
    assert (result.returncode, result.stdout.splitlines()) == (0, [expected])


def test_version_is_the_project_version():
    result = run("--version")
    assert (result.returncode, result.stdout) == (0, f"pcinames (libdevname) {project_version()}\nLicense: MIT\n")


@pytest.mark.parametrize("how", ["option", "option=", "environment"])
def test_names_every_device_sorted_by_address_from_the_given_root(sysfs, how):
    if how == "option":
        result = run("--sysfs", str(sysfs))
    elif how == "option=":
        result = run(f"--sysfs={sysfs}")
    else:
        result = run(env_extra={"PCINAMES_SYSFS": str(sysfs)})
    assert (result.returncode, result.stderr) == (0, "")
    assert result.stdout.splitlines() == EXPECTED


def test_option_wins_over_environment(sysfs, tmp_path):
    result = run("--sysfs", str(sysfs), env_extra={"PCINAMES_SYSFS": str(tmp_path / "none")})
    assert result.stdout.splitlines() == EXPECTED


@pytest.mark.parametrize("layout", ["no bus folder", "no sysfs at all", "bus without pci"])
def test_machine_without_pci_bus_gets_a_clear_message_and_status_2(tmp_path, layout):
    root = tmp_path / "sys"
    if layout == "no bus folder":
        root.mkdir()
    elif layout == "bus without pci":
        (root / "bus" / "usb").mkdir(parents=True)
    result = run("--sysfs", str(root))
    assert result.returncode == 2
    assert result.stdout == ""
    assert "no PCI bus" in result.stderr


def test_empty_pci_bus_lists_nothing_and_succeeds(tmp_path):
    (tmp_path / "sys" / "bus" / "pci" / "devices").mkdir(parents=True)
    result = run("--sysfs", str(tmp_path / "sys"))
    assert (result.returncode, result.stdout, result.stderr) == (0, "", "")


@pytest.mark.parametrize("vendor, device, klass, problem", [
    (None, "0x0001", "0x020000", "cannot read vendor"),
    ("0x8086", None, "0x020000", "cannot read device"),
    ("0x8086", "0x1229", None, "cannot read class"),
    ("8086", "0x1229", "0x020000", "vendor is not a hexadecimal ID"),
    ("0x18086", "0x1229", "0x020000", "vendor is not a hexadecimal ID"),
    ("0x8086", "0xzz", "0x020000", "device is not a hexadecimal ID"),
    ("0x8086", "0x1229", "0x1020000", "class is not a hexadecimal ID"),
    ("0x8086", "", "0x020000", "device is not a hexadecimal ID"),
    ("0x8086", "0x1229", "0x020000", "revision is not a hexadecimal ID"),
])
def test_unreadable_device_is_reported_and_the_others_still_listed(sysfs, vendor, device, klass,
                                                                   problem):
    revision = "0x100" if problem.startswith("revision") else None
    add_device(sysfs, "0000:00:1c.0", vendor, device, klass, revision)
    result = run("--sysfs", str(sysfs))
    assert result.returncode == 1
    assert result.stdout.splitlines() == EXPECTED
    lines = result.stderr.splitlines()
    assert len(lines) == 1
    assert lines[0].startswith("pcinames: 0000:00:1c.0: ") and problem in lines[0]


def test_plain_files_beside_the_device_folders_are_not_devices(sysfs):
    (sysfs / "bus" / "pci" / "devices" / "README").write_text("not a device\n")
    result = run("--sysfs", str(sysfs))
    assert (result.returncode, result.stdout.splitlines()) == (0, EXPECTED)


@pytest.mark.parametrize("args", [["--bogus"], ["--sysfs"], ["--sysfs="], ["extra"], ["-nnn"],
                                  ["-N"]])
def test_bad_usage_is_refused_with_status_64(args):
    result = run(*args)
    assert result.returncode == 64 and "Usage:" in result.stderr


def test_library_is_loaded_at_run_time_not_linked():
    dynamic = subprocess.run(["readelf", "-d", env_path("PCINAMES")], capture_output=True,
                             text=True, check=True).stdout
    assert "libdevname" not in dynamic


def test_missing_library_is_reported(sysfs, tmp_path):
    installed = [p for p in ("/usr/lib", "/usr/local/lib", "/lib")
                 if list(Path(p).glob("**/libdevname.so"))]
    if installed:
        pytest.skip("libdevname.so is installed on this machine")
    result = run("--sysfs", str(sysfs), env_extra={"LD_LIBRARY_PATH": str(tmp_path)})
    assert result.returncode == 1
    assert "cannot load libdevname.so" in result.stderr


@pytest.mark.skipif(not Path("/sys/bus/pci/devices").is_dir(), reason="no PCI bus here")
def test_this_machine_gets_one_line_per_device():
    devices = sorted(os.listdir("/sys/bus/pci/devices"))
    result = run("-D")
    assert result.returncode == 0
    assert [line.split(" ", 1)[0] for line in result.stdout.splitlines()] == devices
