"""Runs the 32-bit program on Debian's own i386 kernel under qemu-system-i386,
with raw image files as the guest's disks.

    kit = Kit.prepare(cache_dir, program, work_dir)  # kernel, busybox, program, libraries
    machine = Machine(tmp_path, [Disk("a", "ide", 40), Disk("b", "nvme", 48)])
    machine.step("save", "wexedit", "Tree=LAB")
    machine.step("named", "wexedit", "--disk", Dev("b"), "Tree=X")
    run = machine.boot(kit)                      # the guest runs the steps and powers off
    run.steps["save"].status, run.disk_names["b"], machine.image("a")

The kernel and busybox come from Debian's i386 packages, unpacked into the cache
folder by scripts/fetch-i386.sh (nothing is installed on the host). The guest's
disks are image files in the test's own temporary folder, so no disk of the
host is ever opened.
"""

import gzip
import os
import re
import shlex
import shutil
import stat
import struct
import subprocess
import time
from dataclasses import dataclass, field
from pathlib import Path

HERE = Path(__file__).resolve().parent
FETCH_I386 = HERE.parent.parent / "scripts" / "fetch-i386.sh"
QEMU = "qemu-system-i386"
MIB = 1 << 20

# The drivers each kind of disk needs; their own dependencies are added from
# the modules' metadata, in load order.
BUS_MODULES = {
    "ide": ["ata_piix", "sd_mod"],
    "ahci": ["ahci", "sd_mod"],
    "nvme": ["nvme"],
    "virtio": ["virtio_pci", "virtio_blk"],
}

# Boot tweaks that only save time: the crypto self-tests and the ISA Plug and
# Play probe take seconds under emulation.
KERNEL_ARGS = "console=ttyS0 panic=-1 cryptomgr.notests noisapnp"

# The directories where the host's multilib keeps the 32-bit C and C++ runtime.
MULTILIB_DIRS = ["/usr/lib32", "/lib32", "/usr/lib/i386-linux-gnu", "/lib/i386-linux-gnu"]


# A boot whose console stays empty this long never started (a KVM that cannot
# run the kernel stops at its first instructions); the probe boot under KVM
# must power off within PROBE_SECONDS to be trusted with the cases.
SILENT_SECONDS = 30
PROBE_SECONDS = 10
# WEX_SYSTEM_ACCEL picks the accelerator: tcg, kvm, or auto (the default: KVM
# when its probe boot works). WEX_SYSTEM_TEST_HANG=1 starts the first boot of
# every case paused, as a KVM that hangs would leave it, to try the fallback.
ACCEL_CHOICES = ("auto", "tcg", "kvm")


class GuestError(Exception):
    """The guest did not run its case to the end; carries the console log."""


class GuestHung(GuestError):
    """The guest wrote nothing to its console within SILENT_SECONDS."""


# --- Debian packages -------------------------------------------------------

def _run(args, **kwargs):
    return subprocess.run(args, check=False, capture_output=True, text=True, **kwargs)


def fetch_i386(dest, *packages):
    """Unpack the i386 builds of `packages` into `dest` with the project's fetcher,
    which reuses what `dest` already holds."""
    got = _run(["bash", str(FETCH_I386), str(dest), *packages])
    if got.returncode != 0:
        raise GuestError(f"cannot fetch {' '.join(packages)}:\n{got.stdout}{got.stderr}")


def fetch_packages(cache):
    """A folder with Debian's i386 kernel (the image package that linux-image-686
    stands for), busybox-static and libblkid1 unpacked, kept in `cache` between runs."""
    meta, guest = cache / "meta", cache / "guest"
    fetch_i386(meta, "linux-image-686")
    debs = sorted(meta.rglob("linux-image-686_*.deb"))
    if not debs:
        raise GuestError(f"the fetcher kept no linux-image-686 package under {meta}")
    depends = _run(["dpkg-deb", "-f", str(debs[-1]), "Depends"]).stdout
    image = re.search(r"\b(linux-image-[0-9][^ ,]*-686)\b", depends)
    if image is None:
        raise GuestError(f"linux-image-686 names no versioned image package: {depends.strip()!r}")
    fetch_i386(guest, image.group(1), "busybox-static", "libblkid1")
    return guest


# --- ELF: module dependencies and shared libraries -------------------------

def _elf_sections(data):
    if data[:4] != b"\x7fELF" or data[4] != 1:
        raise GuestError("not a 32-bit ELF file")
    shoff, = struct.unpack_from("<I", data, 0x20)
    entsize, count, names_index = struct.unpack_from("<HHH", data, 0x2E)
    headers = [struct.unpack_from("<IIIIII", data, shoff + i * entsize) for i in range(count)]
    names = headers[names_index][4]
    for name, _kind, _flags, _addr, offset, size in headers:
        end = data.index(b"\0", names + name)
        yield data[names + name:end].decode(), data[offset:offset + size]


def module_depends(path):
    """The modules a kernel module needs loaded first (its `depends=` entry)."""
    for name, content in _elf_sections(path.read_bytes()):
        if name == ".modinfo":
            for entry in content.split(b"\0"):
                if entry.startswith(b"depends="):
                    return [d.replace("-", "_") for d in entry[8:].decode().split(",") if d]
    return []


def module_order(modules_dir, wanted):
    """`wanted` and every module they depend on, each after its dependencies,
    as (name, path, dependencies)."""
    files = {p.name.split(".ko")[0].replace("-", "_"): p for p in modules_dir.rglob("*.ko")}
    order, depends = [], {}

    def visit(name):
        if name in depends:
            return
        if name not in files:
            raise GuestError(f"kernel module {name} is missing from the kernel package")
        depends[name] = module_depends(files[name])
        for dependency in depends[name]:
            visit(dependency)
        order.append((name, files[name], depends[name]))

    for name in wanted:
        visit(name)
    return order


def _elf_class(path):
    """1 for a 32-bit ELF file, 2 for a 64-bit one, None for anything else."""
    with open(path, "rb") as file:
        ident = file.read(5)
    return ident[4] if len(ident) == 5 and ident[:4] == b"\x7fELF" else None


def _readelf(args, path):
    return subprocess.run(["readelf", "-W", *args, str(path)], check=True, capture_output=True,
                          text=True).stdout


def shared_libraries(program, extra_dirs=(), opened=None):
    """The program's loader and every shared library it needs, found where its
    own run path and the host's 32-bit multilib keep them. `opened` names the
    libraries it loads at run time (name: path); they and their needs are added."""
    interpreter = re.search(r"program interpreter: ([^\]]+)\]", _readelf(["-l"], program))
    if interpreter is None:
        raise GuestError(f"{program} is not dynamically linked")
    found = {"ld-linux.so.2": Path(os.path.realpath(interpreter.group(1)))}
    found.update({name: Path(os.path.realpath(path)) for name, path in (opened or {}).items()})
    pending = [Path(program)] + [found[name] for name in (opened or {})]
    while pending:
        current = pending.pop()
        dynamic = _readelf(["-d"], current)
        search = [Path(d) for m in re.findall(r"R(?:UN)?PATH\).*\[(.*)\]", dynamic)
                  for d in m.split(":") if d]
        search += [Path(d) for d in (*extra_dirs, *MULTILIB_DIRS)]
        for needed in re.findall(r"\(NEEDED\).*\[(.*)\]", dynamic):
            if needed in found:
                continue
            candidates = [d / needed for d in search if (d / needed).exists()]
            # Only a 32-bit file will do; a directory may hold the host's own.
            library = next((c for c in candidates if _elf_class(c) == 1), None)
            if library is None:
                raise GuestError(f"no 32-bit {needed} for {current.name} in {', '.join(map(str, search))}")
            found[needed] = Path(os.path.realpath(library))
            pending.append(found[needed])
    return found


# --- initramfs (cpio "newc") -----------------------------------------------

class Cpio:
    def __init__(self):
        self.parts = []
        self.inode = 1

    def _entry(self, name, mode, data=b""):
        header = "070701" + "".join(f"{v:08x}" for v in (
            self.inode, mode, 0, 0, 1, 0, len(data), 0, 0, 0, 0, len(name) + 1, 0))
        self.inode += 1
        self.parts.append(header.encode() + name.encode() + b"\0")
        self.parts.append(b"\0" * (-(110 + len(name) + 1) % 4))
        self.parts.append(data + b"\0" * (-len(data) % 4))

    def directory(self, name):
        self._entry(name, stat.S_IFDIR | 0o755)

    def file(self, name, data, mode=0o644):
        self._entry(name, stat.S_IFREG | mode, data)

    def symlink(self, name, target):
        self._entry(name, stat.S_IFLNK | 0o777, target.encode())

    def bytes(self):
        self._entry("TRAILER!!!", 0)
        data = b"".join(self.parts)
        return data + b"\0" * (-len(data) % 512)


# --- the kit: kernel, base initramfs ---------------------------------------

@dataclass
class Kit:
    kernel: Path
    modules: list  # (name, dependencies) of every module in the initramfs, in load order
    base_initramfs: Path
    accel: "Accel"

    @staticmethod
    def prepare(cache, program, work, extra_lib_dirs=()):
        packages = fetch_packages(Path(cache))
        kernels = sorted(packages.glob("boot/vmlinuz-*"))
        module_roots = sorted(packages.glob("lib/modules/*"))
        if len(kernels) != 1 or len(module_roots) != 1:
            raise GuestError(f"unexpected layout of the kernel package in {packages}")

        archive = Cpio()
        for folder in ("bin", "dev", "proc", "sys", "tmp", "lib", "lib/modules", "usr", "usr/sbin", "case"):
            archive.directory(folder)
        archive.file("init", (HERE / "init.sh").read_bytes(), 0o755)
        archive.file("bin/busybox", (packages / "bin/busybox").read_bytes(), 0o755)
        archive.file("usr/sbin/wexedit", Path(program).read_bytes(), 0o755)
        archive.symlink("usr/sbin/wexview", "wexedit")
        # The write guard asks libblkid about each disk where the library is
        # present, as it is on every Debian system.
        blkid = [packages / folder / "libblkid.so.1" for folder in ("usr/lib/i386-linux-gnu", "lib/i386-linux-gnu")
                 if (packages / folder / "libblkid.so.1").exists()]
        if not blkid:
            raise GuestError(f"libblkid1 left no libblkid.so.1 in {packages}")
        for name, path in shared_libraries(program, extra_lib_dirs, {"libblkid.so.1": blkid[0]}).items():
            archive.file(f"lib/{name}", path.read_bytes(), 0o755)
        wanted = sorted({m for modules in BUS_MODULES.values() for m in modules})
        modules = module_order(module_roots[0], wanted)
        for name, path, _ in modules:
            archive.file(f"lib/modules/{name}.ko", path.read_bytes())
        work.mkdir(parents=True, exist_ok=True)
        base = work / "base.cpio.gz"
        packed = gzip.compress(archive.bytes(), compresslevel=1)
        # The case's archive follows; the kernel reads it only from a 4-byte
        # boundary and skips the zero bytes before it.
        base.write_bytes(packed + b"\0" * (-len(packed) % 512))
        accel = choose_accel(kernels[0], packages / "bin/busybox", work)
        return Kit(kernels[0], [(name, depends) for name, _, depends in modules], base, accel)

    def stages(self, buses):
        """For each of `buses` in turn, the modules it needs that no earlier one
        loaded, in load order."""
        depends = dict(self.modules)
        loaded, stages = set(), []
        for bus in buses:
            needed, pending = set(), list(BUS_MODULES[bus])
            while pending:
                name = pending.pop()
                if name not in needed and name not in loaded:
                    needed.add(name)
                    pending += depends[name]
            stages.append([name for name, _ in self.modules if name in needed])
            loaded |= needed
        return stages


def qemu_problem():
    """Why qemu-system-i386 cannot run here at all, or None."""
    if shutil.which(QEMU) is None:
        return f"{QEMU} is not installed (Debian package qemu-system-x86)"
    try:
        probe = _run([QEMU, "-machine", "none", "-display", "none", "-nodefaults", "-S", "-qmp", "stdio"],
                     input='{"execute":"qmp_capabilities"}\n{"execute":"quit"}\n', timeout=60)
    except (OSError, subprocess.TimeoutExpired) as error:
        return f"{QEMU} does not start: {error}"
    if probe.returncode != 0:
        return f"{QEMU} does not start: {probe.stderr.strip()}"
    return None


@dataclass
class Accel:
    name: str  # kvm or tcg, as qemu's -accel takes it
    reason: str  # how it was chosen, for the log of the test run


def choose_accel(kernel, busybox, work, environ=os.environ):
    """The accelerator for every case: WEX_SYSTEM_ACCEL when it names one,
    else KVM only when a probe boot of `kernel` under it powers off in time."""
    wanted = environ.get("WEX_SYSTEM_ACCEL", "auto") or "auto"
    if wanted not in ACCEL_CHOICES:
        raise GuestError(f"WEX_SYSTEM_ACCEL={wanted!r}: use one of {', '.join(ACCEL_CHOICES)}")
    if wanted == "tcg":
        return Accel("tcg", "WEX_SYSTEM_ACCEL=tcg")
    usable = os.access("/dev/kvm", os.R_OK | os.W_OK)
    if wanted == "kvm":
        if not usable:
            raise GuestError("WEX_SYSTEM_ACCEL=kvm, but /dev/kvm cannot be opened for reading and writing")
        return Accel("kvm", "WEX_SYSTEM_ACCEL=kvm")
    if not usable:
        return Accel("tcg", "no usable /dev/kvm")
    problem = kvm_probe(kernel, busybox, work)
    if problem is not None:
        return Accel("tcg", f"the KVM probe boot failed: {problem}")
    return Accel("kvm", "the KVM probe boot powered off in time")


def kvm_probe(kernel, busybox, work):
    """None when `kernel` boots under KVM into an initramfs that says so and
    powers off within PROBE_SECONDS, else what went wrong."""
    archive = Cpio()
    archive.directory("bin")
    archive.directory("dev")
    archive.file("bin/busybox", Path(busybox).read_bytes(), 0o755)
    archive.file("init", b"#!/bin/busybox sh\n/bin/busybox mount -t devtmpfs devtmpfs /dev\n"
                         b"echo @@probe >/dev/ttyS0\n/bin/busybox poweroff -f -n\n", 0o755)
    initrd, console = work / "probe.cpio.gz", work / "probe-console.log"
    initrd.write_bytes(gzip.compress(archive.bytes(), compresslevel=1))
    try:
        qemu = _run([QEMU, "-machine", "pc", "-accel", "kvm", "-m", "256", "-nodefaults", "-no-reboot",
                     "-display", "none", "-kernel", str(kernel), "-initrd", str(initrd),
                     "-append", KERNEL_ARGS, "-serial", f"file:{console}"], timeout=PROBE_SECONDS)
    except subprocess.TimeoutExpired as expired:
        stderr = expired.stderr.decode(errors="replace") if isinstance(expired.stderr, bytes) else expired.stderr
        return f"no power-off within {PROBE_SECONDS} s{_first_line(stderr)}"
    if qemu.returncode != 0:
        return f"{QEMU} exited with {qemu.returncode}{_first_line(qemu.stderr)}"
    if "@@probe" not in console.read_text(errors="replace"):
        return f"the kernel powered off before its init ran (console: {console})"
    return None


def _wait_for_guest(qemu, console, started, timeout):
    """Waits for qemu to end: None when it did, "silent" when the console stayed
    empty for SILENT_SECONDS, "late" when the guest ran past `timeout`."""
    while qemu.poll() is None:
        elapsed = time.monotonic() - started
        if elapsed > timeout:
            return "late"
        if elapsed > SILENT_SECONDS and (not console.exists() or console.stat().st_size == 0):
            return "silent"
        time.sleep(0.2)
    return None


def note_accel(line):
    """Records how the accelerator was chosen or changed, in the file that
    WEX_SYSTEM_ACCEL_NOTE names (scripts/check.sh prints it)."""
    path = os.environ.get("WEX_SYSTEM_ACCEL_NOTE")
    if path:
        with open(path, "a") as note:
            note.write(line + "\n")


def _first_line(text):
    """': ' and the first line of qemu's error output that is not a warning, or nothing."""
    lines = [line for line in (text or "").splitlines() if line.strip() and "warning:" not in line]
    return f": {lines[0].strip()}" if lines else ""


# --- one guest machine -----------------------------------------------------

@dataclass
class Disk:
    label: str  # a shell name: the guest exports DISK_<label>
    bus: str  # ide, ahci, nvme or virtio
    mib: int  # also the disk's identity in the guest: sizes must differ
    block: int = 512  # the logical (and physical) sector size; others on virtio only

    @property
    def sectors(self):
        return self.mib * MIB // 512  # /sys/block counts 512-byte units at any sector size


@dataclass
class Dev:
    """A step argument that stands for the guest's device node of a disk."""
    label: str


@dataclass
class Step:
    status: int
    out: str
    err: str


@dataclass
class Run:
    steps: dict
    disk_names: dict
    console: str
    seconds: float


@dataclass
class Machine:
    """A guest with `disks`, whose image files live in `folder`. The drivers of
    the bus named first load first, so its disks take the first kernel names;
    within one bus the kernel may name disks in either order."""
    folder: Path
    disks: list
    script: list = field(default_factory=list)

    def __post_init__(self):
        self.folder = Path(self.folder)
        self.folder.mkdir(parents=True, exist_ok=True)
        sizes = [d.mib for d in self.disks]
        if len(set(sizes)) != len(sizes):
            raise ValueError("every disk needs a size of its own: the guest tells them apart by it")
        for disk in self.disks:
            path = self.image_path(disk.label)
            if not path.exists():
                with open(path, "wb") as image:
                    image.truncate(disk.mib * MIB)

    def image_path(self, label):
        return self.folder / f"{label}.img"

    def image(self, label):
        return self.image_path(label).read_bytes()

    def image_head(self, label, length=MIB):
        """The first `length` bytes of an image, for disks too big to read whole."""
        with open(self.image_path(label), "rb") as image:
            return image.read(length)

    def step(self, title, *args):
        words = [f'"$DISK_{a.label}"' if isinstance(a, Dev) else shlex.quote(a) for a in args]
        self.script.append(f"step {shlex.quote(title)} {' '.join(words)}")

    def _case_archive(self, kit):
        # One stage a bus, in the order the disks first name them.
        buses = list(dict.fromkeys(d.bus for d in self.disks))
        stages = kit.stages(buses)
        archive = Cpio()
        archive.file("case/modules", "".join(f"{n} {m}\n" for n, ms in enumerate(stages) for m in ms).encode())
        archive.file("case/disks", "".join(f"{d.label} {d.sectors} {buses.index(d.bus)}\n"
                                           for d in sorted(self.disks, key=lambda d: buses.index(d.bus))).encode())
        archive.file("case/run.sh", ("\n".join(self.script) + "\n").encode())
        return archive.bytes()

    def _qemu_disks(self):
        args = []
        ide_index = 0
        ahci_port = 0
        for number, disk in enumerate(self.disks):
            path = self.image_path(disk.label)
            # Only regular files in the test's folder ever become guest disks.
            if not stat.S_ISREG(os.stat(path).st_mode):
                raise GuestError(f"{path} is not a regular file")
            drive = f"d{number}"
            sizes = ""
            if disk.block != 512:
                if disk.bus != "virtio":
                    raise ValueError(f"a {disk.bus} disk has 512-byte sectors only")
                sizes = f",logical_block_size={disk.block},physical_block_size={disk.block}"
            args += ["-drive", f"file={path},format=raw,if=none,id={drive},cache=writeback"]
            if disk.bus == "ide":
                args += ["-device", f"ide-hd,drive={drive},bus=ide.{ide_index // 2},unit={ide_index % 2}"]
                ide_index += 1
            elif disk.bus == "ahci":
                if ahci_port == 0:
                    args += ["-device", "ahci,id=ahci"]
                args += ["-device", f"ide-hd,drive={drive},bus=ahci.{ahci_port}"]
                ahci_port += 1
            elif disk.bus == "nvme":
                args += ["-device", f"nvme,drive={drive},serial=wex{number}"]
            elif disk.bus == "virtio":
                args += ["-device", f"virtio-blk-pci,drive={drive}{sizes}"]
            else:
                raise ValueError(f"unknown bus {disk.bus}")
        return args

    def boot(self, kit, timeout=240, resets=False, environ=os.environ):
        """Runs the case and returns what it left. A first boot that hangs under
        KVM (or was started paused by WEX_SYSTEM_TEST_HANG=1) is tried once
        more under TCG, which needs nothing of the host's virtualisation; the
        images are untouched by a boot that never started. With `resets` a
        reset of the machine starts the case again (without, it ends the run);
        the results of every start land in one log."""
        initrd = self.folder / "initrd"
        initrd.write_bytes(kit.base_initramfs.read_bytes() + self._case_archive(kit))
        paused = environ.get("WEX_SYSTEM_TEST_HANG") == "1"
        try:
            return self._boot_once(kit, kit.accel.name, initrd, timeout, resets, paused, "")
        except GuestHung as hung:
            if kit.accel.name != "kvm" and not paused:
                raise
            note_accel(f"{self.folder.name}: {hung.args[0].splitlines()[0]}; trying again under tcg")
            if kit.accel.name == "kvm" and not paused:
                # A KVM that hung one guest hangs the next: the later cases
                # start under TCG straight away.
                kit.accel = Accel("tcg", f"KVM hung the guest of {self.folder.name}")
            return self._boot_once(kit, "tcg", initrd, timeout, resets, False, ".retry")

    def _boot_once(self, kit, accel, initrd, timeout, resets, paused, suffix):
        console = self.folder / f"console{suffix}.log"
        results = self.folder / f"results{suffix}.log"
        for log in (console, results):
            log.unlink(missing_ok=True)
        command = [QEMU, "-machine", "pc", "-accel", accel, "-m", "256", "-nodefaults",
                   *([] if resets else ["-no-reboot"]), "-display", "none",
                   "-kernel", str(kit.kernel), "-initrd", str(initrd), "-append", KERNEL_ARGS,
                   "-serial", f"file:{console}", "-serial", f"file:{results}", *self._qemu_disks()]
        if paused:
            command.append("-S")
        # qemu's own messages go to a file: a KVM error dump could fill a pipe
        # that nobody reads while the guest is watched.
        errors = self.folder / f"qemu{suffix}.log"
        started = time.monotonic()
        with open(errors, "w") as stderr, \
                subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=stderr, stderr=stderr) as qemu:
            problem = _wait_for_guest(qemu, console, started, timeout)
            if problem is not None:
                qemu.kill()
                qemu.wait()
        seconds = time.monotonic() - started
        said = errors.read_text(errors="replace").strip()
        if problem == "silent":
            raise GuestHung(f"the guest wrote nothing to its console within {SILENT_SECONDS} s under {accel} "
                            f"(console log: {console})\n{said}\n" + self._logs(console, results))
        if problem is not None:
            raise GuestError(f"the guest did not power off within {timeout} s under {accel} "
                             f"(console log: {console})\n{said}\n" + self._logs(console, results))
        if qemu.returncode != 0:
            raise GuestError(f"{QEMU} failed under {accel} ({qemu.returncode}): {said}\n" +
                             self._logs(console, results))
        return self._parse(results.read_text(errors="replace").replace("\r", ""),
                           console.read_text(errors="replace"), seconds, self._logs(console, results))

    @staticmethod
    def _logs(console, results):
        texts = []
        for path in (console, results):
            text = path.read_text(errors="replace") if path.exists() else "(none)"
            texts.append(f"--- {path.name} ---\n{text[-12000:]}")
        return "\n".join(texts)

    def _parse(self, text, console, seconds, logs):
        steps, names = {}, {}
        lines = iter(text.splitlines())
        done = False
        for line in lines:
            if line.startswith("@@disk "):
                _, label, name = line.split()
                names[label] = name
            elif line.startswith("@@step "):
                _, title, status = line.split(" ", 2)
                out, err = [], []
                for body in lines:
                    if body == "@@end":
                        break
                    (out if body.startswith("o ") else err).append(body[2:])
                steps[title] = Step(int(status), "".join(f"{o}\n" for o in out), "".join(f"{e}\n" for e in err))
            elif line.startswith(("@@missing", "@@insmod-failed")):
                raise GuestError(f"guest set-up failed: {line}\n{logs}")
            elif line.startswith("@@done"):
                done = True
        if not done:
            raise GuestError(f"the guest stopped before the end of its case\n{logs}")
        return Run(steps, names, console, seconds)
