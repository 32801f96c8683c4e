"""launcher starts a program of this build so that it sees the same as when
the kernel runs it directly: its argv[0] and arguments, its environment with
the preload library (which reaches the program only, so no loader complains
on stderr), its standard streams or terminal, and its exit status. Under the
32-bit build with the emulator these are the emulated path's guarantees."""

import json
import os
import subprocess

import pexpect
import pytest

import launcher

PROBE = os.environ.get("LAUNCHER_PROBE", "")
LIBRARY = os.environ.get("PROBE_LIBRARY", "")


def probe_env():
    env = dict(os.environ, PROBE_MARK="a b;c", LD_PRELOAD=LIBRARY)
    env["ASAN_OPTIONS"] = "verify_asan_link_order=0:detect_leaks=0"
    return env


def start(how, argv0):
    """Runs the probe with status 3; returns (its report, its stderr, status)."""
    args = ["3", "two words", ""]
    if how == "run":
        result = launcher.run(PROBE, args, argv0=argv0, env=probe_env(), input=b"typed\n",
                              capture_output=True, timeout=launcher.patience(30))
        return json.loads(result.stdout), result.stderr, result.returncode
    if how == "behind a wrapper":
        argv, env = launcher.command(PROBE, args, argv0=argv0, env=probe_env())
        assert "LD_PRELOAD" not in env
        result = subprocess.run(["sh", "-c", 'exec "$@"', "wrapper", *argv], env=env,
                                input=b"typed\n", capture_output=True,
                                timeout=launcher.patience(30))
        return json.loads(result.stdout), result.stderr, result.returncode
    child = launcher.spawn(PROBE, args, argv0=argv0, env=probe_env(),
                           timeout=launcher.patience(30))
    child.expect(pexpect.EOF)
    child.close()
    lines = child.before.decode().splitlines()
    return json.loads(lines[0]), "\n".join(lines[1:]).encode() + b"\n", child.exitstatus


@pytest.fixture(autouse=True)
def built():
    assert os.path.isfile(PROBE) and os.path.isfile(LIBRARY), "run through ctest"


@pytest.mark.parametrize("argv0", [None, "wexview"])
@pytest.mark.parametrize("how", ["run", "behind a wrapper", "spawn"])
def test_program_sees_what_it_would_see_started_directly(how, argv0):
    report, stderr, status = start(how, argv0)
    assert report["argv"] == [argv0 or PROBE, "3", "two words", ""]
    assert report["mark"] == "a b;c"
    assert report["preloaded"] is True
    assert stderr == b"probe: to stderr\n"
    assert status == 3
    if how == "spawn":
        assert report["tty"] == [1, 1]
    else:
        assert (report["tty"], report["stdin"]) == ([0, 0], "typed")


def test_programs_of_another_build_start_directly(tmp_path, monkeypatch):
    monkeypatch.setenv("WEX_EMULATOR", "/nonexistent/qemu")
    script = tmp_path / "tool"
    script.write_text("#!/bin/sh\necho \"$0 $*\"\n")
    script.chmod(0o755)
    result = launcher.run(script, ["x"], capture_output=True, text=True)
    assert (result.returncode, result.stdout) == (0, f"{script} x\n")
