"""Runs a page of the full-screen interface in a pseudo-terminal and reads
the screen back through a terminal emulator."""

import os
import sys
import time
from pathlib import Path

import pexpect
import pyte
import pytest

import catalog
import records

sys.path.insert(0, str(Path(__file__).resolve().parent.parent))
import launcher  # noqa: E402

DRIVER = os.environ.get("TUI_DRIVER", "")
# Every wait below is stretched by this factor (an emulated build is slower).
SLOWDOWN = launcher.slowdown()

# Line-drawing characters as the terminal's alternate character set sends
# them; the emulator may show either form.
BOX = str.maketrans("─│┌┐└┘├┤▒", "qxlkmjtua")

KEY_TAB = "\t"
KEY_ENTER = "\r"
KEY_END = "\x1bOF"
KEY_SPACE = " "
KEY_F12 = "\x1b[24~"
KEY_KILL_LINE = "\x0b"   # newt entry: delete to the end of the text
KEY_HOME = "\x01"        # newt entry: to the start of the text


class Session:
    def __init__(self, args, columns, rows, term, extra_env=None, program=None, base_env=None):
        self.columns, self.rows = columns, rows
        self.screen = pyte.Screen(columns, rows)
        self.stream = pyte.ByteStream(self.screen)
        env = {k: v for k, v in (base_env or os.environ).items()
               if not k.startswith("LC_") and k not in ("LANG", "LANGUAGE")}
        env["TERM"] = term
        env.update(extra_env or {})
        self.child = launcher.spawn(program or DRIVER, args, dimensions=(rows, columns), env=env)

    def pump(self, quiet=0.3, limit=10.0):
        """Feed output to the emulator until the program has been quiet a while."""
        quiet, limit = quiet * SLOWDOWN, limit * SLOWDOWN
        start = last = time.monotonic()
        while time.monotonic() - last < quiet and time.monotonic() - start < limit:
            try:
                data = self.child.read_nonblocking(65536, timeout=0.05)
                self.stream.feed(data)
                last = time.monotonic()
            except pexpect.TIMEOUT:
                pass
            except pexpect.EOF:
                break

    def wait_for(self, text, limit=10.0):
        limit *= SLOWDOWN
        start = time.monotonic()
        while time.monotonic() - start < limit:
            self.pump(quiet=0.1, limit=0.5)
            if any(text in line for line in self.lines()):
                self.pump()
                return
        pytest.fail("%r never appeared on the screen:\n%s" % (text, "\n".join(self.lines())))

    def wait_until(self, condition, limit=10.0):
        """Pump output until `condition()` holds; False when it never did."""
        limit *= SLOWDOWN
        start = time.monotonic()
        while time.monotonic() - start < limit:
            self.pump(quiet=0.1, limit=0.5)
            if condition():
                return True
        return False

    def send(self, keys):
        self.child.send(keys)
        self.pump()

    def lines(self):
        return [line.translate(BOX) for line in self.screen.display]

    def row(self, number):
        return self.lines()[number]

    def text_at(self, row, column, length):
        return self.row(row)[column:column + length]

    def colours(self, row, column):
        cell = self.screen.buffer[row][column]
        return cell.fg, cell.bg

    def cursor(self):
        return self.screen.cursor.y, self.screen.cursor.x

    def finish(self, keys=KEY_ENTER, limit=10.0):
        """Send the closing keys and return the program's exit status."""
        self.child.send(keys)
        self.child.expect(pexpect.EOF, timeout=limit * SLOWDOWN)
        self.child.close()
        return self.child.exitstatus

    def close(self):
        if self.child.isalive():
            self.child.terminate(force=True)


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
