"""pcinames over fake sysfs trees, on a machine without a PCI bus, and on this one."""

import os
import subprocess
import sys
from pathlib import Path

import pytest

from packaging_support import SOURCE_DIR, env_path, project_version

sys.path.insert(0, str(SOURCE_DIR / "tests"))
import launcher  # noqa: E402


def add_device(root, address, vendor, device, klass):
    folder = root / "bus" / "pci" / "devices" / address
    folder.mkdir(parents=True)
    for name, text in (("vendor", vendor), ("device", device), ("class", klass)):
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
    "0000:00:02.0 Display controller: Compu-Shack GmbH FASTline UTP Quattro",
    "0000:00:19.0 Ethernet interface controller: Intel Corporation 82557 Fast Ethernet PRO/100",
    "0000:00:1f.2 IDE Mass Storage Device: Network General Corporation PCI ATM Adapter",
    "0000:03:00.0 Unknown device class: Unknown vendor 0xFFFF : Unknown device 0xFFFF",
]


NUMERIC = [
    "0000:00:02.0 0300: 11f0:4232",
    "0000:00:19.0 0200: 8086:1229",
    "0000:00:1f.2 0101: 1202:0001",
    "0000:03:00.0 0c03: ffff:ffff",
]

BOTH = [
    "0000:00:02.0 Display controller [0300]: Compu-Shack GmbH FASTline UTP Quattro [11f0:4232]",
    "0000:00:19.0 Ethernet interface controller [0200]: "
    "Intel Corporation 82557 Fast Ethernet PRO/100 [8086:1229]",
    "0000:00:1f.2 IDE Mass Storage Device [0101]: Network General Corporation PCI ATM Adapter "
    "[1202:0001]",
    "0000:03:00.0 Unknown device class [0c03]: Unknown vendor 0xFFFF : Unknown device 0xFFFF "
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
])
def test_unreadable_device_is_reported_and_the_others_still_listed(sysfs, vendor, device, klass,
                                                                   problem):
    add_device(sysfs, "0000:00:1c.0", vendor, device, klass)
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
    result = run()
    assert result.returncode == 0
    assert [line.split(" ", 1)[0] for line in result.stdout.splitlines()] == devices
