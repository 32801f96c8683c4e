"""Runs a page of the full-screen interface in a pseudo-terminal and reads
the screen back through a terminal emulator."""

import os
import sys
from pathlib import Path

import pytest

import catalog
import records

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
import ptyscreen  # noqa: E402
from ptyscreen import (KEY_END, KEY_ENTER, KEY_F12, KEY_HOME, KEY_KILL_LINE,  # noqa: E402,F401
                       KEY_SPACE, KEY_TAB)

DRIVER = os.environ.get("TUI_DRIVER", "")


class Session(ptyscreen.Screen):
    """A page of the test driver (or `program`) with the locale variables of
    `base_env` removed, so that only `extra_env` chooses the language; lines
    show line-drawing characters as letters."""

    def __init__(self, args, columns, rows, term, extra_env=None, program=None, base_env=None):
        env = {k: v for k, v in (base_env or os.environ).items()
               if not k.startswith("LC_") and k not in ("LANG", "LANGUAGE")}
        env.update(extra_env or {})
        super().__init__(program or DRIVER, args, env, columns, rows, term)

    def wait_for(self, text, limit=10.0):
        if not super().wait_for(text, limit):
            pytest.fail("%r never appeared on the screen:\n%s" % (text, "\n".join(self.lines())))

    def lines(self, box=True):
        return super().lines(box)


@pytest.fixture
def run_screen(tmp_path):
    sessions = []

    def start(role, screen, record=None, size=(80, 25), term="xterm", result=False,
              translations=None, language=None):
        image = ""
        if record is not None:
            image_path = tmp_path / "record.img"
            image_path.write_bytes(records.serialize(record))
            image = str(image_path)
        args = [role, screen, image]
        if result:
            args.append(str(tmp_path / "result"))
        extra_env = {}
        if translations is not None:
            catalog.write_mo(tmp_path / "locale" / "xx" / "LC_MESSAGES" / "wexedit.mo",
                             translations)
            extra_env = {"TUI_CATALOG_DIR": str(tmp_path / "locale"),
                         "LC_ALL": "C.UTF-8", "LANGUAGE": "xx"}
        elif language is not None:
            # The project's own catalogue of that language, as the build lays it out.
            extra_env = {"TUI_CATALOG_DIR": os.environ["WEX_LOCALE_BUILD_DIR"],
                         "LC_ALL": "C.UTF-8", "LANGUAGE": language}
        session = Session(args, size[0], size[1], term, extra_env)
        session.result_path = tmp_path / "result"
        sessions.append(session)
        session.pump(quiet=0.5)
        return session

    yield start
    for session in sessions:
        session.close()


def read_result(session):
    """The saveRequested flag and the record the driver serialised after the form."""
    data = session.result_path.read_bytes()
    flag, _, image = data.partition(b"\n")
    return int(flag), records.parse(image)
