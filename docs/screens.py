"""Runs the real wexedit/wexview in a pseudo-terminal over simulated disks and
reads the screen back through a terminal emulator (pexpect + pyte).

Used by render_pictures.py for the README pictures and by the packaging tests.
"""

import os
import sys
import time
from pathlib import Path

import pexpect
import pyte

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests"))
import launcher  # noqa: E402

COLUMNS, ROWS = 80, 25
KEY_ENTER = "\r"
KEY_F12 = "\x1b[24~"


class Screen:
    """One program run in a pseudo-terminal of COLUMNS x ROWS."""

    def __init__(self, program, args, env, columns=COLUMNS, rows=ROWS, command=None):
        self.screen = pyte.Screen(columns, rows)
        self.stream = pyte.ByteStream(self.screen)
        env = dict(env)
        env["TERM"] = "xterm"
        # A sanitizer build's leak report at exit would change the exit status;
        # the screens' own tests look at leaks, these runs look at the screen.
        asan = env.get("ASAN_OPTIONS", "")
        env["ASAN_OPTIONS"] = (asan + ":" if asan else "") + "detect_leaks=0"
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

    def wait_for(self, text, limit=15.0):
        """Waits until `text` shows; returns False when it never does."""
        limit = launcher.patience(limit)
        start = time.monotonic()
        while time.monotonic() - start < limit:
            self.pump(quiet=0.1, limit=0.5)
            if any(text in line for line in self.lines()):
                self.pump()
                return True
        return False

    def lines(self):
        return list(self.screen.display)

    def text(self):
        return "\n".join(self.lines())

    def finish(self, keys=KEY_ENTER, limit=10.0):
        """Sends the closing keys; returns the exit status."""
        self.child.send(keys)
        self.child.expect(pexpect.EOF, timeout=launcher.patience(limit))
        self.child.close()
        return self.child.exitstatus

    def close(self):
        if self.child.isalive():
            self.child.terminate(force=True)


def sample_disks(disks, wexedit, env=None):
    """Writes a typical workstation record with the real editor onto a
    simulated /dev/sda (and leaves the other devices absent)."""
    disks.add("sda", 1 << 20)
    args = ["ObjectDN=LAB-PC7.Workstations.Lab", "Tree=LAB_TREE", "NetBIOSName=LAB-PC7",
            "WorkGroup=IMAGING", "SID=21-3623811015-3361044348-30300820-1013",
            "WorkstationID=4711", "LastBaseImage=//imageserver/images/win-base.zmg",
            "JustImaged=true", "DHCP=off", "IP=10.1.2.37", "Gateway=10.1.2.254",
            "Mask=255.255.255.0", "DNSServerCount=2", "DNSServer1=10.1.0.10",
            "DNSServer2=10.1.0.11", "DNSSuffix=lab.example.org", "DNSHostName=lab-pc7"]
    result = launcher.run(wexedit, args, env=disks.env(env), capture_output=True, text=True)
    if result.returncode != 0:
        raise RuntimeError(f"writing the sample record failed ({result.returncode}): "
                           f"{result.stdout}{result.stderr}")
    return args


def program_path(name):
    """The program `name` in WEXEDIT_BIN_DIR."""
    folder = os.environ.get("WEXEDIT_BIN_DIR", "")
    if not folder:
        raise RuntimeError("WEXEDIT_BIN_DIR is not set")
    return os.path.join(folder, name)
