"""The editor opens its form when nothing was processed; only "OK" saves."""

import launcher
import pexpect
import pytest

from wexrun import bin_dir, sample_record

KEY_TAB, KEY_ENTER, KEY_F12 = "\t", "\r", "\x1b[24~"
KEY_HOME, KEY_KILL_LINE = "\x01", "\x0b"
TABS_TO_NETBIOS, TABS_TO_OK = 3, 11


def run_form(disks, args, keys):
    """Run wexedit in a pseudo-terminal, type `keys` into its form; returns
    (exit status, everything the terminal received)."""
    env = disks.env()
    env["TERM"] = "xterm"
    child = launcher.spawn(bin_dir() / "wexedit", args, env=env, dimensions=(25, 80),
                           timeout=launcher.patience(20))
    child.expect("Subnet mask:")
    seen = child.before + child.after
    child.send(keys)
    child.expect(pexpect.EOF)
    seen += child.before
    child.close()
    return child.exitstatus, seen


def writes(disks):
    return [line for line in disks.log_lines() if line.startswith(("write", "sync"))]


def test_form_ok_saves_what_was_typed(disks):
    disks.add("sda", sample_record())
    keys = KEY_TAB * TABS_TO_NETBIOS + KEY_HOME + KEY_KILL_LINE + "PC-42"
    keys += KEY_TAB * (TABS_TO_OK - TABS_TO_NETBIOS) + KEY_ENTER
    status, _ = run_form(disks, [], keys)
    assert status == 0
    stored = disks.record("sda")
    assert stored.texts["netbiosName"] == b"PC-42"
    assert stored.texts["wsTree"] == b"CORP_TREE" and stored.sid == sample_record().sid


@pytest.mark.parametrize("args,status,line", [
    ([], 0, None),
    (["Tree"], 255, b"Unknown parameter (0): 'Tree'"),
    (["Foo=1", "Tree=Lab"], 255, b"Unknown parameter (0): 'Foo=1'"),
])
def test_form_left_without_ok_writes_nothing(disks, args, status, line):
    before = disks.add("sda", sample_record())
    result, seen = run_form(disks, args, KEY_TAB * 2 + "typed" + KEY_F12)
    assert result == status
    if line is not None:
        assert line in seen
    assert disks.image("sda") == before and writes(disks) == []


def test_form_ok_with_no_usable_disk_reports_the_failed_save(disks):
    status, seen = run_form(disks, [], KEY_TAB * TABS_TO_OK + KEY_ENTER)
    assert status == 4
    assert b"wexedit: no usable disk; the image-safe data was not written" in seen
