"""The editor opens its form when nothing was processed; only "OK" saves, and
it saves what was typed and chosen with everything else as it was."""

import launcher
import pexpect
import pytest

from wexrun import bin_dir, sample_record

KEY_TAB, KEY_ENTER, KEY_F12 = "\t", "\r", "\x1b[24~"
KEY_HOME, KEY_KILL_LINE, KEY_SPACE = "\x01", "\x0b", " "
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


def typed(tabs, text):
    """Keys that move `tabs` stops on from the first entry and retype it as `text`."""
    return KEY_TAB * tabs + KEY_HOME + KEY_KILL_LINE + text


# Typing ends on the "Uses DHCP" radio button (six stops on, space chooses
# it), five stops before "OK" and six before "Cancel".
TREE_AND_DHCP = typed(2, "LAB_TREE") + KEY_TAB * 4 + KEY_SPACE


@pytest.mark.parametrize("keys,texts,header", [
    (typed(TABS_TO_NETBIOS, "PC-42") + KEY_TAB * (TABS_TO_OK - TABS_TO_NETBIOS) + KEY_ENTER,
     {"netbiosName": b"PC-42"}, {}),
    (TREE_AND_DHCP + KEY_TAB * 5 + KEY_ENTER, {"wsTree": b"LAB_TREE"}, {"dhcp": 1}),
], ids=["netbios_name", "tree_and_dhcp_choice"])
def test_form_ok_saves_what_was_typed_and_keeps_the_rest(disks, keys, texts, header):
    disks.add("sda", sample_record())
    status, _ = run_form(disks, [], keys)
    assert status == 0
    expected = sample_record()
    expected.texts.update(texts)
    for name, value in header.items():
        setattr(expected, name, value)
    assert disks.record("sda") == expected


@pytest.mark.parametrize("args,keys,status,line", [
    ([], KEY_TAB * 2 + "typed" + KEY_F12, 0, None),
    (["Tree"], KEY_TAB * 2 + "typed" + KEY_F12, 255, b"Unknown parameter (0): 'Tree'"),
    (["Foo=1", "Tree=Lab"], KEY_TAB * 2 + "typed" + KEY_F12, 255, b"Unknown parameter (0): 'Foo=1'"),
    ([], TREE_AND_DHCP + KEY_TAB * 6 + KEY_ENTER, 0, None),
    ([], TREE_AND_DHCP + KEY_F12, 0, None),
], ids=["f12", "f12_after_unknown_word", "f12_after_unknown_field", "cancel_after_edits", "f12_after_edits"])
def test_form_left_without_ok_writes_nothing(disks, args, keys, status, line):
    before = disks.add("sda", sample_record())
    result, seen = run_form(disks, args, keys)
    assert result == status
    if line is not None:
        assert line in seen
    assert disks.image("sda") == before and writes(disks) == []


def test_form_ok_with_no_usable_disk_reports_the_failed_save(disks):
    status, seen = run_form(disks, [], KEY_TAB * TABS_TO_OK + KEY_ENTER)
    assert status == 4
    assert b"wexedit: no usable disk; the image-safe data was not written" in seen
