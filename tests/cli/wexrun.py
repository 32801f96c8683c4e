"""Running wexedit/wexview over simulated disks; the stored record form comes
from tools/wexrecord.py.

The simulated disks are those of tests/simdisk/simdisk.py: image files in a
folder that the preload library named by SIMDISK_LIBRARY maps /dev/sda and
friends onto while SIMDISK_DIR is set.
"""

import json
import os
import subprocess
import sys
from functools import lru_cache
from pathlib import Path

from jsonschema import Draft202012Validator

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "simdisk"))
sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
sys.path.insert(0, str(Path(__file__).resolve().parent.parent))

import launcher  # noqa: E402
from simdisk import SimDisks  # noqa: E402
from wexrecord import (JOURNAL_OFFSET, STORE_OFFSET, Record, journal_bytes, journal_on,  # noqa: E402,F401
                       outside_journal, record_on)

DISK_BYTES = 64 * 1024
SCHEMA_DIR = Path(__file__).resolve().parents[2] / "cli" / "schema"


def program_disks(folder):
    """The simulated disks the program's tests run over: 64 KiB each, in the C locale."""
    return SimDisks(folder, image_size=DISK_BYTES, locale="C")


def bin_dir():
    folder = os.environ.get("WEXEDIT_BIN_DIR")
    assert folder, "WEXEDIT_BIN_DIR must name the folder that holds wexedit and wexview"
    return Path(folder)


def run(disks, name, *args, program=None, env=None):
    """Run the program as `name` (its argv[0]); returns the completed process."""
    executable = program or bin_dir() / "wexedit"
    return launcher.run(executable, args, argv0=name, env=env or disks.env(),
                        stdin=subprocess.DEVNULL, capture_output=True, timeout=60)


def edit(disks, *args):
    return run(disks, "wexedit", *args)


def view(disks, *args):
    return run(disks, "wexview", *args)


def sample_record():
    """A workstation with every field set to an ordinary value."""
    record = Record(flags=0x1 | 0x4 | 0x100, dhcp=0, ip=bytes([10, 0, 0, 5]),
                    gateway=bytes([10, 0, 0, 1]), subnet=bytes([255, 255, 252, 0]),
                    last_image_time=123456, adv_script=7, last_image_size=5 << 32,
                    sid=(21, 3623811015, 3361044348, 30300820, 1013), dns_count=2)
    record.dns = [bytes([10, 0, 0, 53]), bytes([192, 168, 1, 1])] + [bytes(4)] * 30
    record.texts.update(wsDN=b"CN=PC1.OU=Lab.O=Corp", wsTree=b"CORP_TREE",
                        netbiosName=b"PC1", workgroup=b"LABGROUP",
                        lastBaseImage=b"//server/images/base.zmg", dnsSuffix=b"lab.example",
                        dnsHostname=b"pc1", wsID=b"000123")
    return record


@lru_cache(maxsize=None)
def schema_validator(role):
    """The validator of the published schema of `role`'s --json object ("wexedit" or "wexview")."""
    schema = json.loads((SCHEMA_DIR / f"{role}.schema.json").read_text())
    Draft202012Validator.check_schema(schema)
    return Draft202012Validator(schema)


def json_object(role, stdout):
    """The one --json object that `role` printed: a line of strict UTF-8 that
    starts with its schema version and passes the published schema."""
    text = stdout.decode("utf-8", "strict")
    assert text.endswith("\n") and text.count("\n") == 1, text
    shown = json.loads(text)
    assert next(iter(shown), None) == "schema", text
    schema_validator(role).validate(shown)
    return shown
