import os
import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).parent))

import guest  # noqa: E402


@pytest.fixture(scope="session")
def kit(tmp_path_factory):
    """Kernel, busybox and the 32-bit program with its libraries, ready to boot.
    WEXEDIT_I386 names the program of the i386 build; WEX_SYSTEM_CACHE the
    folder that keeps the downloaded Debian packages between runs;
    WEX_SYSTEM_ACCEL (auto, tcg, kvm) the accelerator."""
    problem = guest.qemu_problem()
    if problem is not None:
        pytest.skip(f"no real-kernel test here: {problem}")
    program = os.environ.get("WEXEDIT_I386", "")
    if not program or not os.path.isfile(program):
        pytest.fail(f"WEXEDIT_I386 must name the wexedit of the i386 build (it is {program!r})")
    cache = os.environ.get("WEX_SYSTEM_CACHE") or str(tmp_path_factory.mktemp("cache"))
    extra = [d for d in os.environ.get("WEX_I386_LIBRARY_PATH", "").split(":") if d]
    try:
        kit = guest.Kit.prepare(cache, program, tmp_path_factory.mktemp("kit"), extra)
    except guest.GuestError as error:
        pytest.fail(str(error))
    guest.note_accel(f"accelerator: {kit.accel.name} ({kit.accel.reason})")
    return kit
