"""The real program under both names over simulated disks: the record page
of wexview, the help page, and the editor form landing on the disk."""

import os
from pathlib import Path

import pytest

from conftest import (KEY_ENTER, KEY_F12, KEY_HOME, KEY_KILL_LINE, KEY_SPACE, KEY_TAB,
                      Session)
import records
from test_record_page import SAMPLE, SAMPLE_ROWS, expected, panel_row

simdisk = pytest.importorskip("simdisk")

BIN_DIR = os.environ.get("WEXEDIT_BIN_DIR", "")
pytestmark = pytest.mark.skipif(not BIN_DIR or not os.environ.get("SIMDISK_LIBRARY"),
                                reason="needs the built program and the simulated disks")


@pytest.fixture
def disks(tmp_path):
    return simdisk.SimDisks(tmp_path / "disks")


def add_disk(disks, record):
    disks.add("sda", 1 << 20)
    disks.write("sda", records.wexrecord.STORE_OFFSET, records.serialize(record))


def stored_record(disks):
    return records.from_disk(disks.image("sda"))


def run(disks, name, args=(), size=(80, 25)):
    session = Session(list(args), size[0], size[1], "xterm",
                      program=str(Path(BIN_DIR) / name), base_env=disks.env())
    session.pump(quiet=0.5)
    return session


def test_wexview_shows_the_stored_record_page(disks):
    add_disk(disks, SAMPLE)
    session = run(disks, "wexview")
    session.wait_for("Subnet mask:")
    assert session.row(1).startswith("xAltura Korvane Image-safe Data Viewer")
    rows = expected(SAMPLE_ROWS)
    assert [panel_row(session, row) for row in range(3, 23)] == [rows[r] for r in range(3, 23)]
    assert session.finish() == 0


def test_wexedit_help_option_shows_the_editor_page_and_exits_1(disks):
    session = run(disks, "wexedit", ["-h"])
    session.wait_for("This program is used to edit")
    assert session.row(24).startswith("Press Enter to continue.")
    assert session.finish() == 1


# Typing ends on the "Uses DHCP" radio button, six stops before "Cancel".
@pytest.mark.parametrize("way_out", [KEY_TAB * 6 + KEY_ENTER, KEY_F12])
def test_wexedit_form_left_without_ok_leaves_the_disk_untouched(disks, way_out):
    add_disk(disks, SAMPLE)
    before = disks.image("sda")
    session = run(disks, "wexedit")
    session.wait_for("Subnet mask:")
    session.send(KEY_TAB * 2 + KEY_HOME + KEY_KILL_LINE + "Other" + KEY_TAB * 4 + KEY_SPACE)
    assert session.finish(way_out) == 0
    assert disks.image("sda") == before


def test_wexedit_form_ok_stores_typed_tree_and_dhcp_choice_on_disk(disks):
    add_disk(disks, SAMPLE)
    session = run(disks, "wexedit")
    session.wait_for("Subnet mask:")
    session.send(KEY_TAB * 2 + KEY_HOME + KEY_KILL_LINE + "LAB_TREE" + KEY_TAB * 4 + KEY_SPACE)
    assert session.finish(KEY_TAB * 5 + KEY_ENTER) == 0
    assert stored_record(disks) == dict(
        records.parse(records.serialize(SAMPLE)), wsTree="LAB_TREE", DHCP=1)
