"""Running wexedit/wexview over simulated disks, and the stored record form.

The simulated disks are image files in a folder; the preload library named by
SIMDISK_LIBRARY maps /dev/sda and friends onto them while SIMDISK_DIR is set.
"""

import os
import struct
import subprocess
import sys
from dataclasses import dataclass, field
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "simdisk"))

from simdisk import SimDisks  # noqa: E402

STORE_OFFSET = 2560
HEADER_LENGTH = 204
TEXT_ORDER = ("wsDN", "wsTree", "netbiosName", "workgroup", "lastBaseImage",
              "dnsSuffix", "dnsHostname", "wsID")
CAPACITY = {"wsDN": 514, "wsTree": 66, "netbiosName": 32, "workgroup": 36,
            "lastBaseImage": 1024, "dnsSuffix": 312, "dnsHostname": 128, "wsID": 258}
DISK_BYTES = 64 * 1024


def bin_dir():
    folder = os.environ.get("WEXEDIT_BIN_DIR")
    assert folder, "WEXEDIT_BIN_DIR must name the folder that holds wexedit and wexview"
    return Path(folder)


@dataclass
class Record:
    """The record's fields; texts are bytes, one byte a character."""
    version: int = 5
    flags: int = 0
    dhcp: int = 0
    ip: bytes = bytes(4)
    gateway: bytes = bytes(4)
    subnet: bytes = bytes(4)
    last_image_time: int = 0
    adv_script: int = 0
    last_image_size: int = 0
    struct_length: int = HEADER_LENGTH
    sid: tuple = (0, 0, 0, 0, 0)
    dns_count: int = 0
    dns: list = field(default_factory=lambda: [bytes(4)] * 32)
    texts: dict = field(default_factory=lambda: {name: b"" for name in TEXT_ORDER})

    def encode(self):
        """The stored image, with totalLength computed as the program does."""
        body = b"".join(struct.pack("<I", 2 * len(self.texts[n])) + widen(self.texts[n])
                        for n in TEXT_ORDER)
        total = HEADER_LENGTH + len(body)
        header = (b"WEXD" + struct.pack("<IIIi", self.version, total, self.flags, self.dhcp)
                  + self.ip + self.gateway + self.subnet
                  + struct.pack("<iiqI", self.last_image_time, self.adv_script,
                                self.last_image_size, self.struct_length)
                  + struct.pack("<5I", *self.sid) + struct.pack("<I", self.dns_count)
                  + b"".join(self.dns))
        assert len(header) == HEADER_LENGTH
        return header + body


def widen(text):
    return b"".join(bytes([c, 0]) for c in text)


def decode(image):
    """Decode a version-5 image as this program writes it; checks its framing."""
    assert image[:4] == b"WEXD", image[:8]
    version, total, flags, dhcp = struct.unpack_from("<IIIi", image, 4)
    time, adv, size, struct_length = struct.unpack_from("<iiqI", image, 32)
    record = Record(version=version, flags=flags, dhcp=dhcp, ip=image[20:24],
                    gateway=image[24:28], subnet=image[28:32], last_image_time=time,
                    adv_script=adv, last_image_size=size, struct_length=struct_length,
                    sid=struct.unpack_from("<5I", image, 52),
                    dns_count=struct.unpack_from("<I", image, 72)[0],
                    dns=[image[76 + 4 * i:80 + 4 * i] for i in range(32)])
    position = HEADER_LENGTH
    for name in TEXT_ORDER:
        (length,) = struct.unpack_from("<I", image, position)
        assert length % 2 == 0 and length < CAPACITY[name], (name, length)
        wide = image[position + 4:position + 4 + length]
        assert all(b == 0 for b in wide[1::2]), name
        record.texts[name] = wide[0::2]
        position += 4 + length
    assert position == total, (position, total)
    return record


class Disks:
    """A folder of simulated disk images."""

    def __init__(self, folder):
        self.folder = Path(folder)
        self.folder.mkdir(parents=True, exist_ok=True)

    def add(self, name, record=None, image=None, conf=None, size=DISK_BYTES):
        """A zero-filled disk, with `record` (or raw `image` bytes) at 2560."""
        data = bytearray(size)
        stored = record.encode() if record is not None else image
        if stored is not None:
            data[STORE_OFFSET:STORE_OFFSET + len(stored)] = stored
        (self.folder / name).write_bytes(bytes(data))
        if conf:
            (self.folder / f"{name}.conf").write_text(
                "".join(f"{key}={value}\n" for key, value in conf.items()))
        return bytes(data)

    def bytes(self, name):
        return (self.folder / name).read_bytes()

    def record(self, name):
        data = self.bytes(name)
        (total,) = struct.unpack_from("<I", data, STORE_OFFSET + 8)
        return decode(data[STORE_OFFSET:STORE_OFFSET + total])

    def log(self):
        path = self.folder / "log"
        return path.read_text().splitlines() if path.exists() else []

    def env(self):
        env = SimDisks(self.folder).env()
        env["LC_ALL"] = "C"
        env.pop("FLOPPYDRIVE", None)
        return env


def run(disks, name, *args, program=None, env=None):
    """Run the program as `name` (its argv[0]); returns the completed process."""
    executable = program or bin_dir() / "wexedit"
    return subprocess.run([name, *args], executable=str(executable), env=env or disks.env(),
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
