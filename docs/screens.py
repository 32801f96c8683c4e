"""Runs the real wexedit/wexview in a pseudo-terminal over simulated disks and
reads the screen back through a terminal emulator (pexpect + pyte).

Used by render_pictures.py for the README pictures and by the packaging tests.
"""

import os
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tools"))
import ptyscreen  # noqa: E402
from ptyscreen import KEY_ENTER, KEY_F12  # noqa: E402,F401

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests"))
import launcher  # noqa: E402

COLUMNS, ROWS = 80, 25


class Screen(ptyscreen.Screen):
    """One program run in a pseudo-terminal of COLUMNS x ROWS."""

    def __init__(self, program, args, env, columns=COLUMNS, rows=ROWS, command=None):
        env = dict(env)
        # A sanitizer build's leak report at exit would change the exit status;
        # the screens' own tests look at leaks, these runs look at the screen.
        asan = env.get("ASAN_OPTIONS", "")
        env["ASAN_OPTIONS"] = (asan + ":" if asan else "") + "detect_leaks=0"
        super().__init__(program, args, env, columns, rows, command=command)


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
