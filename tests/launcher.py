"""Starts the programs of this build the way this machine can run them.

A 32-bit build on a machine whose kernel cannot execute 32-bit programs runs
them under qemu-i386. The build's configuration decides that once, and ctest
hands every test the emulator in WEX_EMULATOR (empty or unset: programs start
directly). Tests start the build's programs through this module only, so
that the program sees the same either way: its argv[0], its environment (a
preload library reaches the program, never the emulator or a helper), its
standard streams, its terminal, and its exit status reaches the test.

    import launcher
    result = launcher.run(path, ["Tree=Lab"], argv0="wexedit", env=env, capture_output=True)
    process = launcher.popen(path, ["Tree=Lab"], argv0="wexedit", env=env)
    child = launcher.spawn(path, ["-h"], env=env, dimensions=(25, 80))
    argv, env = launcher.command(path, args, env=env)   # to run behind a wrapper

Programs that are not 32-bit x86 (the shells and tools a test also runs, a
64-bit build's programs) always start directly.
"""

import os
import shlex
import subprocess

ELF_MAGIC = b"\x7fELF"
ELF_CLASS_32 = 1
MACHINE_386 = 3


def emulator():
    """The emulator command for 32-bit programs; empty when they run directly."""
    return shlex.split(os.environ.get("WEX_EMULATOR", ""))


def slowdown():
    """How much longer than natively a test waits for a program's screen:
    WEX_TEST_SLOWDOWN when set, else 4 under the emulator and 1 without."""
    configured = os.environ.get("WEX_TEST_SLOWDOWN", "")
    if configured:
        return float(configured)
    return 4.0 if emulator() else 1.0


def patience(seconds):
    """`seconds` of waiting for a program, scaled for the emulator."""
    return seconds * slowdown()


def is_i386(program):
    """Whether `program` is a 32-bit x86 ELF file."""
    try:
        with open(program, "rb") as image:
            header = image.read(20)
    except OSError:
        return False
    return (len(header) == 20 and header[:4] == ELF_MAGIC and header[4] == ELF_CLASS_32
            and int.from_bytes(header[18:20], "little") == MACHINE_386)


def emulated(program):
    return bool(emulator()) and is_i386(program)


def _arguments(args):
    """The arguments as subprocess takes them: text or bytes as given, paths as text."""
    return [a if isinstance(a, (str, bytes)) else os.fspath(a) for a in args]


def _split_preload(env):
    env = dict(os.environ if env is None else env)
    return env, env.pop("LD_PRELOAD", "")


def _emulated_argv(program, args, argv0, preload):
    argv = emulator() + ["-0", str(argv0 if argv0 is not None else program)]
    if preload:
        # qemu splits the value of -E at commas.
        if "," in preload:
            raise ValueError(f"a preload list with a comma cannot reach an emulated program: {preload}")
        argv += ["-E", "LD_PRELOAD=" + preload]
    return argv + [str(program)] + _arguments(args)


def command(program, args=(), *, argv0=None, env=None):
    """The argv and environment that start `program` with `args`, seen by the
    program as `argv0` (default: its path) with the environment `env`
    (default: this process's). The environment holds no LD_PRELOAD: the
    argv applies it to the program alone, so that the argv can also be run
    behind a wrapper that execs it (a namespace, a timeout)."""
    env, preload = _split_preload(env)
    if emulated(program):
        return _emulated_argv(program, args, argv0, preload), env
    # bash sets the name and the preload for the program it execs.
    script = 'exec -a "$0" "$@"'
    if preload:
        env["WEX_LAUNCH_PRELOAD"] = preload
        script = 'export LD_PRELOAD="$WEX_LAUNCH_PRELOAD"; unset WEX_LAUNCH_PRELOAD; ' + script
    name = argv0 if argv0 is not None else program
    return ["/bin/bash", "-c", script, str(name), str(program)] + _arguments(args), env


def _subprocess(program, args, argv0, env):
    """argv, executable and environment for the subprocess module."""
    if emulated(program):
        env, preload = _split_preload(env)
        argv = _emulated_argv(program, args, argv0, preload)
        return argv, argv[0], env
    name = argv0 if argv0 is not None else program
    return [str(name)] + _arguments(args), str(program), env


def run(program, args=(), *, argv0=None, env=None, **kwargs):
    """subprocess.run of `program` (see command()); kwargs go to subprocess.run."""
    argv, executable, env = _subprocess(program, args, argv0, env)
    return subprocess.run(argv, executable=executable, env=env, **kwargs)


def popen(program, args=(), *, argv0=None, env=None, **kwargs):
    """subprocess.Popen of `program` (see command()); kwargs go to subprocess.Popen."""
    argv, executable, env = _subprocess(program, args, argv0, env)
    return subprocess.Popen(argv, executable=executable, env=env, **kwargs)


def spawn(program, args=(), *, argv0=None, env=None, **kwargs):
    """pexpect.spawn of `program` in a pseudo-terminal (see command());
    kwargs go to pexpect.spawn."""
    import pexpect

    if emulated(program):
        env, preload = _split_preload(env)
        argv = _emulated_argv(program, args, argv0, preload)
    elif argv0 is None or str(argv0) == str(program):
        argv = [str(program)] + _arguments(args)
    else:
        argv, env = command(program, args, argv0=argv0, env=env)
    return pexpect.spawn(argv[0], argv[1:], env=env, **kwargs)
