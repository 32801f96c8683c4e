"""Simulated disks for tests that run the real program (see README.md).

    from simdisk import SimDisks

    disks = SimDisks(tmp_path / "disks")
    disks.add("hda", ide=(16, 63, 1000), media="disk")
    disks.add("sda", 1 << 20, fault="shortwrite")
    disks.add("sdb", Record(flags=1))            # a record at 2560 (tools/wexrecord.py)
    result = launcher.run(wexedit, ["Tree=Lab"], env=disks.env(), ...)   # tests/launcher.py
    assert "write /dev/sda 2560 242 121" in disks.log_lines()
    assert disks.read("hda", 2560, 4) == b"WEXD"

The preload library's path comes from the environment variable
SIMDISK_LIBRARY, which the test's ctest ENVIRONMENT sets.
"""

import os
import re
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
from wexrecord import STORE_OFFSET, record_on  # noqa: E402

# The twelve fixed slots of the program.
DEVICE_NAMES = ("hda", "hdb", "hdc", "hdd",
                "sda", "sdb", "sdc", "sdd", "sde", "sdf", "sdg", "sdh")
# Every disk-like name the library serves from the folder (or refuses as absent).
DISK_NAME = re.compile(r"(sd|hd|vd|xvd|nvme|mmcblk|dm-|md|loop)[a-z0-9-]+")
FAULTS = ("open", "read", "shortread", "write", "shortwrite", "sync")
DEFAULT_IMAGE_SIZE = 1 << 20


def library():
    """The preload library named by SIMDISK_LIBRARY; a clear error when unset."""
    path = os.environ.get("SIMDISK_LIBRARY", "")
    if not path:
        raise RuntimeError("SIMDISK_LIBRARY is not set: run the test through ctest")
    if not os.path.isfile(path):
        raise RuntimeError(f"SIMDISK_LIBRARY names no file: {path}")
    return path


def _check_name(name):
    if not DISK_NAME.fullmatch(name) or len(name) >= 32:
        raise ValueError(f"not a simulated device: {name!r}")


def _ide_text(ide):
    """The `ide` setting: 'fail', 8 hex digits, 4 bytes or (heads, sectors, cylinders)."""
    if isinstance(ide, str):
        if ide != "fail" and (len(ide) != 8 or any(c not in "0123456789abcdefABCDEF" for c in ide)):
            raise ValueError(f"ide is 'fail' or 8 hex digits: {ide!r}")
        return ide
    if isinstance(ide, (bytes, bytearray)):
        if len(ide) != 4:
            raise ValueError("ide bytes are the 4 bytes of the geometry word")
        return bytes(ide).hex()
    heads, sectors, cylinders = ide
    return bytes([heads, sectors]).hex() + int(cylinders).to_bytes(2, "little").hex()


def _fault_text(fault):
    names = [fault] if isinstance(fault, str) else list(fault)
    names = [part.strip() for name in names for part in name.split(",") if part.strip()]
    unknown = [name for name in names if name not in FAULTS]
    if unknown:
        raise ValueError(f"unknown faults {unknown}; known: {FAULTS}")
    return ",".join(names)


class SimDisks:
    """A folder of simulated disks and the environment that runs a program over it.

    image_size: the size of a disk added without a size or whole image of its own.
    locale:     when given, LC_ALL of the environment the program runs in."""

    def __init__(self, folder, library_path=None, *, image_size=DEFAULT_IMAGE_SIZE, locale=None):
        self.folder = Path(folder)
        self.folder.mkdir(parents=True, exist_ok=True)
        self.library = os.path.abspath(library_path if library_path is not None else library())
        self.image_size = image_size
        self.locale = locale

    def path(self, name):
        """The image file of /dev/<name>."""
        _check_name(name)
        return self.folder / name

    def add(self, name, image=None, *, stored=None, size=None, ide=None, getgeo=None,
            sector=None, fault=None, media=None, cut=None, delay=None, readonly=False):
        """Creates /dev/<name>; returns the image's bytes.

        image:  the image's bytes, its size in bytes (zeros, sparse), or a
                wexrecord.Record stored at 2560 of a zero disk of image_size
                (default: zeros of image_size).
        stored: bytes put at 2560 of a zero disk of image_size instead.
        size:   sectors BLKGETSIZE reports, 'fail' or 'notty' (default: image size / 512).
        ide:    answer to request 0x0303: 'fail', 8 hex digits in byte order,
                4 bytes, or (heads, sectors, cylinders) (default: it fails).
        getgeo: True/'ok' or False/'fail' for HDIO_GETGEO (default: it answers).
        sector: logical sector size for BLKSSZGET (default 512).
        fault:  a fault name, a comma-separated string or a list of names.
        media:  content of /proc/ide/<name>/media, e.g. 'disk' or 'cdrom'
                (a newline is added when missing; default: no such file).
        cut:    bytes the disk takes after it is opened; the write that would
                pass them writes only up to them and the process is killed
                there, as by a power cut (default: never).
        delay:  milliseconds every read of the disk waits first (default 0).
        readonly: write-protected: opening it for writing fails with EROFS.
        """
        path = self.path(name)
        settings = []
        if size is not None:
            if size not in ("fail", "notty") and (not isinstance(size, int) or size < 0):
                raise ValueError(f"size is a sector count or 'fail': {size!r}")
            settings.append(f"size={size}")
        if ide is not None:
            settings.append(f"ide={_ide_text(ide)}")
        if getgeo is not None:
            if getgeo not in (True, False, "ok", "fail"):
                raise ValueError(f"getgeo is True/'ok' or False/'fail': {getgeo!r}")
            settings.append("getgeo=" + ("ok" if getgeo in (True, "ok") else "fail"))
        if sector is not None:
            if not isinstance(sector, int) or sector <= 0:
                raise ValueError(f"sector is a positive byte count: {sector!r}")
            settings.append(f"sector={sector}")
        if fault:
            settings.append(f"fault={_fault_text(fault)}")
        for key, value, limit in (("cut", cut, None), ("delay", delay, 60000)):
            if value is None:
                continue
            if not isinstance(value, int) or value < 0 or (limit is not None and value > limit):
                raise ValueError(f"{key} is a count from 0{f' to {limit}' if limit else ''}: {value!r}")
            settings.append(f"{key}={value}")
        if readonly:
            settings.append("readonly=yes")
        if image is None and stored is None:
            image = self.image_size
        if image is not None and hasattr(image, "encode"):
            stored = image.encode()
        if stored is not None:
            data = bytearray(self.image_size)
            data[STORE_OFFSET:STORE_OFFSET + len(stored)] = stored
            path.write_bytes(bytes(data))
        elif isinstance(image, int):
            with open(path, "wb") as out:
                out.truncate(image)
        else:
            path.write_bytes(bytes(image))
        conf = self.folder / f"{name}.conf"
        if settings:
            conf.write_text("\n".join(settings) + "\n")
        elif conf.exists():
            conf.unlink()
        if media is not None:
            self.set_media(name, media)
        return path.read_bytes()

    def set_media(self, name, text):
        """Gives /proc/ide/<name>/media this content (None removes it)."""
        _check_name(name)
        media = self.folder / f"{name}.media"
        if text is None:
            media.unlink(missing_ok=True)
        else:
            media.write_text(text if text.endswith("\n") else text + "\n")

    def env(self, base=None):
        """The environment for a program run over these disks: `base` (default:
        this process's environment) with the library preloaded first."""
        environment = dict(os.environ if base is None else base)
        preload = environment.get("LD_PRELOAD", "")
        environment["LD_PRELOAD"] = self.library + (" " + preload if preload else "")
        environment["SIMDISK_DIR"] = str(self.folder)
        if base is None:
            environment.pop("FLOPPYDRIVE", None)  # the runner's own floppy setting stays out
        if self.locale is not None:
            environment["LC_ALL"] = self.locale
        # The library comes before the sanitizer runtime of a sanitizer build.
        asan = environment.get("ASAN_OPTIONS", "")
        environment["ASAN_OPTIONS"] = (asan + ":" if asan else "") + "verify_asan_link_order=0"
        return environment

    def log_lines(self):
        """The calls logged so far, one string per call."""
        log = self.folder / "log"
        return log.read_text().splitlines() if log.exists() else []

    def access_lines(self):
        """Every open of a device so far, as "<path> read" or "<path> write"."""
        access = self.folder / "access"
        return access.read_text().splitlines() if access.exists() else []

    def clear_log(self):
        (self.folder / "log").unlink(missing_ok=True)

    def image(self, name):
        """The whole image of /dev/<name>."""
        return self.path(name).read_bytes()

    def record(self, name):
        """The wexrecord.Record stored at 2560 of /dev/<name>; fails when there is none."""
        record = record_on(self.image(name))
        assert record is not None, f"no record on {name}"
        return record

    def read(self, name, offset, count):
        """`count` bytes of /dev/<name> from `offset` (fewer at the image's end)."""
        with open(self.path(name), "rb") as image:
            image.seek(offset)
            return image.read(count)

    def write(self, name, offset, data):
        """Puts `data` into /dev/<name> at `offset`, e.g. a stored record."""
        with open(self.path(name), "r+b") as image:
            image.seek(offset)
            image.write(data)
