"""Runs a full-screen program of this build in a pseudo-terminal and reads its
screen back through a terminal emulator (pexpect + pyte).

One driver for the screen tests (tests/tui), the packaging tests and the
README picture renderer (docs/render_pictures.py):

    from ptyscreen import Screen, KEY_ENTER
    screen = Screen(program, ["-h"], env, columns=80, rows=25)
    assert screen.wait_for("Valid options:")
    status = screen.finish(KEY_ENTER)

Programs start through tests/launcher.py, so a 32-bit build runs under its
emulator where the kernel cannot run it, and every wait is stretched to suit.
"""

import sys
import time
from pathlib import Path

import pexpect
import pyte

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests"))
import launcher  # noqa: E402

KEY_TAB = "\t"
KEY_ENTER = "\r"
KEY_END = "\x1bOF"
KEY_SPACE = " "
KEY_F12 = "\x1b[24~"
KEY_PAGE_DOWN = "\x1b[6~"
KEY_KILL_LINE = "\x0b"   # newt entry: delete to the end of the text
KEY_HOME = "\x01"        # newt entry: to the start of the text

# Line-drawing characters as the terminal's alternate character set sends
# them; the emulator may show either form. lines(box=True) shows the letters.
BOX = str.maketrans("─│┌┐└┘├┤▒", "qxlkmjtua")


class Screen:
    """One program run in a pseudo-terminal of `columns` x `rows`.

    `env` is the program's whole environment; TERM is set to `term`. With
    `command` the program runs behind that wrapper (which execs it)."""

    def __init__(self, program, args, env, columns=80, rows=25, term="xterm", command=None):
        self.columns, self.rows = columns, rows
        self.screen = pyte.Screen(columns, rows)
        self.stream = pyte.ByteStream(self.screen)
        env = dict(env)
        env["TERM"] = term
        if command:
            # The wrapper execs the program; the argv applies its preload itself.
            argv, env = launcher.command(program, args, env=env)
            self.child = pexpect.spawn(command[0], list(command[1:]) + argv,
                                       dimensions=(rows, columns), env=env)
        else:
            self.child = launcher.spawn(program, args, dimensions=(rows, columns), env=env)

    def pump(self, quiet=0.3, limit=10.0):
        """Feeds output to the emulator until the program has been quiet a while."""
        quiet, limit = launcher.patience(quiet), launcher.patience(limit)
        start = last = time.monotonic()
        while time.monotonic() - last < quiet and time.monotonic() - start < limit:
            try:
                self.stream.feed(self.child.read_nonblocking(65536, timeout=0.05))
                last = time.monotonic()
            except pexpect.TIMEOUT:
                pass
            except pexpect.EOF:
                break

    def wait_until(self, condition, limit=10.0):
        """Pumps output until `condition()` holds; False when it never did."""
        limit = launcher.patience(limit)
        start = time.monotonic()
        while time.monotonic() - start < limit:
            self.pump(quiet=0.1, limit=0.5)
            if condition():
                return True
        return False

    def wait_for(self, text, limit=15.0):
        """Waits until `text` shows, then for the screen to settle; False
        when it never shows."""
        if not self.wait_until(lambda: any(text in line for line in self.lines()), limit):
            return False
        self.pump()
        return True

    def send(self, keys):
        self.child.send(keys)
        self.pump()

    def lines(self, box=False):
        lines = list(self.screen.display)
        return [line.translate(BOX) for line in lines] if box else lines

    def text(self):
        return "\n".join(self.lines())

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
        """Sends the closing keys; returns the exit status."""
        self.child.send(keys)
        self.child.expect(pexpect.EOF, timeout=launcher.patience(limit))
        self.child.close()
        return self.child.exitstatus

    def close(self):
        if self.child.isalive():
            self.child.terminate(force=True)
