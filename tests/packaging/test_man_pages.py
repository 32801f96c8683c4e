"""The manual pages render cleanly and describe what the program accepts."""

import os
import subprocess

import pytest

from packaging_support import SOURCE_DIR, documented_field_names

MAN = SOURCE_DIR / "man"
PAGES = ["wexedit.8", "wexview.8", "libdevname.3", "pcinames.1"]


@pytest.mark.parametrize("page", PAGES)
def test_groff_reports_no_warning(page):
    result = subprocess.run(["groff", "-t", "-ww", "-z", "-man", str(MAN / page)],
                            capture_output=True, text=True)
    assert result.returncode == 0 and result.stderr == ""


@pytest.mark.parametrize("page", PAGES)
def test_mandoc_lint_finds_a_fault(page):
    # Every level down to style (a .TH date it cannot parse, an overlong line).
    result = subprocess.run(["mandoc", "-Tlint", "-W", "style", str(MAN / page)],
                            capture_output=True, text=True)
    assert (result.returncode, result.stdout + result.stderr) == (0, "")


@pytest.mark.parametrize("width", [80, 120])
@pytest.mark.parametrize("page", PAGES)
def test_man_renders_without_warning_on_a_narrow_terminal(page, width):
    env = dict(os.environ, MANWIDTH=str(width), MAN_KEEP_FORMATTING="0", LC_ALL="C.UTF-8")
    result = subprocess.run(["man", "-l", str(MAN / page)], capture_output=True, text=True,
                            env=env)
    assert result.returncode == 0
    assert result.stderr == ""
    assert len(result.stdout.splitlines()) > 20


def rendered(page):
    env = dict(os.environ, MANWIDTH="200", LC_ALL="C.UTF-8")
    return subprocess.run(["man", "-l", str(MAN / page)], capture_output=True, text=True,
                          env=env, check=True).stdout


def test_wexview_page_is_the_wexedit_page():
    assert (MAN / "wexview.8").resolve() == (MAN / "wexedit.8").resolve()


@pytest.mark.parametrize("name", documented_field_names())
def test_wexedit_page_lists_every_documented_field(name):
    assert name in rendered("wexedit.8")


@pytest.mark.parametrize("text", [
    "FLOPPYDRIVE", "/dev/hda", "/dev/sdh", "2560", "-s", "DEZE_VERSION", "DEZE_DNS_HOSTNAME",
    "DEZE_USES_DHCP", "clearset",
])
def test_wexedit_page_documents_environment_disks_and_script(text):
    assert text in rendered("wexedit.8")


@pytest.mark.parametrize("status", ["0", "1", "2", "3", "4", "5", "6", "255"])
def test_wexedit_page_lists_every_exit_status(status):
    page = rendered("wexedit.8")
    section = page[page.index("EXIT STATUS"):page.index("ENVIRONMENT\n")]
    assert any(line.strip().startswith(status) for line in section.splitlines())


@pytest.mark.parametrize("symbol", [
    "QorGetDeviceInfo", "QorGetDevicePNP", "QorGetDeviceClassString", "qorPciVendors",
    "qorPciDevices", "PciVenTable", "PciDevTable", "PciClassCodeTable", "PciCommandFlags",
    "PciStatusFlags", "PciDevSelFlags", "pkg-config", "QorGetDeviceInfoN", "QorGetDevicePNPN",
    "QorGetDeviceClassStringN",
])
def test_libdevname_page_names_every_export(symbol):
    assert symbol in rendered("libdevname.3")
