"""The real program under both names over simulated disks: the record page
of wexview and the help page. What the editor form leaves on the disk, OK or
not, is checked by tests/cli/test_editor_form_path.py."""

import os
from pathlib import Path

import pytest

from conftest import Session
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
