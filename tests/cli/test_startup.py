"""Start-up: the role from the program's name, options, help pages and exit statuses."""

import subprocess
from pathlib import Path

import launcher
import pexpect
import pytest

from wexrun import bin_dir, json_object, run, sample_record


@pytest.mark.parametrize("name,role", [
    ("wexedit", "editor"), ("/usr/sbin/wexedit", "editor"), ("wexview", "viewer"),
    ("/sbin/wexview", "viewer"), ("WEXEDIT", "viewer"), ("wexedit2", "viewer"),
    ("xwexedit", "viewer"), ("wexedit/", "viewer"),
])
def test_role_comes_from_the_exact_base_name(disks, name, role):
    before = disks.add("sda", sample_record())
    result = run(disks, name, "Tree=Lab")
    if role == "editor":
        assert result.stdout == b"   DEZE Tree Name set to 'Lab'\n"
        assert disks.record("sda").texts["wsTree"] == b"Lab"
    else:
        assert result.stdout == b"CORP_TREE\n"
        assert disks.image("sda") == before
    assert result.returncode == 0


@pytest.mark.parametrize("program", ["wexedit", "wexview"])
def test_both_installed_names_start_the_same_program(disks, program):
    disks.add("sda", sample_record())
    result = run(disks, str(bin_dir() / program), "Tree=Lab", program=bin_dir() / program)
    expected = b"   DEZE Tree Name set to 'Lab'\n" if program == "wexedit" else b"CORP_TREE\n"
    assert result.stdout == expected


def test_unknown_option_letter_is_diagnosed_and_ignored(disks):
    disks.add("sda", sample_record())
    result = run(disks, "wexedit", "-x", "Tree=Lab")
    assert b"invalid option" in result.stderr and b"x" in result.stderr
    assert result.stdout == b"   DEZE Tree Name set to 'Lab'\n"
    assert result.returncode == 0


# Long options that are not the program's own: misspelt, ambiguous, or given a
# value they take none of. Each with getopt's words for it.
BAD_LONG_OPTIONS = {"--dryrun": "unrecognized option '--dryrun'", "--jsn": "unrecognized option '--jsn'",
                    "--d": "option '--d' is ambiguous", "--dry-run=yes": "doesn't allow an argument",
                    "--versions": "unrecognized option '--versions'"}


@pytest.mark.parametrize("json_at", [None, "first", "last"])
@pytest.mark.parametrize("option", BAD_LONG_OPTIONS)
@pytest.mark.parametrize("role", ["wexedit", "wexview"])
def test_a_long_option_that_is_none_of_ours_stops_the_run_before_any_disk_is_opened(disks, role, option,
                                                                                    json_at):
    before = disks.add("sda", sample_record())
    field = "Tree=OTHER" if role == "wexedit" else "Tree"
    # A --json after the field word is no option, yet it still asks for the object.
    args = {None: [option, field], "first": ["--json", option, field], "last": [option, field, "--json"]}[json_at]
    result = run(disks, role, *args)
    lines = result.stderr.decode().splitlines()
    assert result.returncode == 2, lines
    assert BAD_LONG_OPTIONS[option] in lines[0] and lines[-1] == f"Try '{role} --help'."
    assert disks.log_lines() == [] and disks.image("sda") == before
    if json_at is None:
        assert result.stdout == b""
    else:
        shown = json_object(role, result.stdout)
        assert shown["error"]["status"] == 2 and option.split("=")[0] in shown["error"]["message"]


def test_viewer_accepts_z_as_a_no_op(disks):
    disks.add("sda", sample_record())
    result = run(disks, "wexview", "-z", "IP")
    assert (result.stdout, result.returncode) == (b"10.0.0.5\n", 0)


def test_double_dash_ends_the_options(disks):
    disks.add("sda", sample_record())
    result = run(disks, "wexview", "--", "-s")
    assert (result.stdout, result.returncode) == (b"Unknown parameter (0): '-s'\n", 255)


def test_unsettable_locale_warns_on_stderr_and_goes_on(disks):
    disks.add("sda", sample_record())
    env = disks.env()
    env["LC_ALL"] = "xx_NOWHERE.bogus"
    result = run(disks, "wexview", "Tree", env=env)
    assert result.stderr == b"Warning: cannot set locale. Continuing in the default locale.\n"
    assert (result.stdout, result.returncode) == (b"CORP_TREE\n", 0)


def run_help(disks, name, *args):
    """Run a help page in a pseudo-terminal, leave it with Enter; returns the
    status and what the terminal got after the page came up."""
    env = disks.env()
    env["TERM"] = "xterm"
    child = launcher.spawn(bin_dir() / "wexedit", args, argv0=name, env=env,
                           dimensions=(25, 80), timeout=launcher.patience(20))
    child.expect("Usage:")
    for _ in range(5):
        child.send("\r")
        try:
            child.expect(pexpect.EOF, timeout=launcher.patience(3))
            break
        except pexpect.TIMEOUT:
            continue
    child.close()
    return child.exitstatus, child.before


@pytest.mark.parametrize("name,args", [
    ("wexedit", ["-h"]), ("wexedit", ["-s"]), ("wexedit", ["-z", "Tree=Lab"]),
    ("wexedit", ["-h", "-c"]), ("wexedit", ["-c", "-s"]), ("wexedit", ["-cr", "-h", "Tree=Lab"]),
    ("wexview", ["-h"]), ("wexview", ["-c"]), ("wexview", ["-r", "IP"]), ("wexview", ["-s", "-h"]),
    ("wexedit", ["--json", "-s"]), ("wexview", ["-h", "--json"]),
])
def test_help_ends_with_status_1_and_touches_no_disk(disks, name, args):
    before = disks.add("sda", sample_record())
    status, output = run_help(disks, name, *args)
    assert status == 1
    if "--json" in args:  # after the page, the object says that nothing else was done
        shown = json_object(name, output[output.rindex(b'{"schema"'):].replace(b"\r\n", b"\n"))
        assert shown["error"]["status"] == 1
    assert disks.image("sda") == before
    assert not [line for line in disks.log_lines() if line.startswith(("write", "sync", "read"))]


def project_version():
    """The project's one version, kept in the top-level VERSION file."""
    return (Path(__file__).resolve().parents[2] / "VERSION").read_text().strip()


def licence_copyright():
    """The copyright line of LICENSE, which --version repeats."""
    text = (Path(__file__).resolve().parents[2] / "LICENSE").read_text()
    return next(line for line in text.splitlines() if line.startswith("Copyright"))


@pytest.mark.parametrize("name,args,expected", [
    ("wexedit", ["--help"], "Usage: wexedit [-c] [-r] [FIELD=VALUE ...]\n"),
    ("/usr/sbin/wexview", ["--help"], "Usage: wexview [-s | -z] [FIELD ...]\n"),
    ("wexview", ["-s", "--help", "IP"], "Usage: wexview [-s | -z] [FIELD ...]\n"),
    ("wexedit", ["-c", "--version"],
     "wexedit {v}\nAltura Korvane Image-safe Data Editor v4.00.05\n{c}\nLicense: MIT\n"),
    ("wexview", ["--version"],
     "wexview (wexedit) {v}\nAltura Korvane Image-safe Data Viewer v4.00.05\n{c}\nLicense: MIT\n"),
])
def test_help_and_version_print_plain_text_and_open_no_disk(disks, name, args, expected):
    before = disks.add("sda", sample_record())
    result = run(disks, name, *args)
    assert (result.returncode, result.stderr) == (0, b"")
    text = result.stdout.decode()
    if expected.startswith("Usage:"):
        assert text.startswith(expected) and "--version" in text and "\x1b" not in text
    else:
        assert text == expected.format(v=project_version(), c=licence_copyright())
    assert disks.image("sda") == before and disks.log_lines() == []


@pytest.mark.parametrize("name,args,stdout,status", [
    ("wexview", ["--", "--help"], b"Unknown parameter (0): '--help'\n", 255),
    ("wexview", ["IP", "--version"], b"10.0.0.5\nUnknown parameter (1): '--version'\n", 255),
])
def test_help_and_version_after_the_options_are_ordinary_arguments(disks, name, args, stdout,
                                                                   status):
    disks.add("sda", sample_record())
    result = run(disks, name, *args)
    assert (result.stdout, result.returncode) == (stdout, status)


@pytest.mark.parametrize("option", ["--help", "--version"])
def test_help_or_version_that_cannot_be_written_fails(disks, option):
    with open("/dev/full", "wb") as full:
        result = launcher.run(bin_dir() / "wexedit", [option], argv0="wexedit", env=disks.env(),
                              stdout=full, stderr=subprocess.PIPE, timeout=60)
    assert result.returncode == 7 and b"cannot write" in result.stderr


@pytest.mark.parametrize("name,args,line", [
    ("wexview", [], b"wexview: the full-screen record page needs a terminal; "
                    b"name fields to print them, or use -s\n"),
    ("wexedit", [], b"wexedit: the full-screen form needs a terminal; nothing was changed\n"),
    ("wexedit", ["-h"], b"wexedit: the help screen needs a terminal; --help prints the usage\n"),
    ("wexview", ["-c"], b"wexview: the help screen needs a terminal; --help prints the usage\n"),
])
def test_full_screen_without_a_terminal_says_so_and_exits_6(disks, name, args, line):
    before = disks.add("sda", sample_record())
    result = run(disks, name, *args)
    assert (result.returncode, result.stdout, result.stderr) == (6, b"", line)
    assert disks.image("sda") == before


# Messages that both roles can give: each comes out under the role's own name.
MESSAGES = {
    "disk_without_path": (["--disk"], 2, "--disk needs the path of a disk or disk image"),
    "too_many_disks": (["--disk", "img"] * 65, 2, "at most 64 disks can be named with --disk"),
    "named_disk_missing": (["--disk", "/nonexistent/disk.img"], None, "cannot be opened"),
    "help_page_without_terminal": (["-h"], 6, "the help screen needs a terminal"),
    "usage_to_a_full_disk": (["--help"], 7, "cannot write to standard output"),
    "json_to_a_full_disk": (["--json"], 7, "cannot write to standard output"),
}


@pytest.mark.parametrize("role", ["wexedit", "wexview"])
@pytest.mark.parametrize("case", MESSAGES)
def test_messages_carry_the_name_of_the_role(disks, role, case):
    args, status, text = MESSAGES[case]
    disks.add("sda", sample_record())
    with open("/dev/full", "wb") as full:
        result = launcher.run(bin_dir() / "wexedit", args, argv0=role, env=disks.env(), stdin=subprocess.DEVNULL,
                              stdout=full if case.endswith("_to_a_full_disk") else subprocess.DEVNULL,
                              stderr=subprocess.PIPE, timeout=60)
    lines = result.stderr.decode().splitlines()
    assert any(text in line for line in lines), lines
    assert [line for line in lines if not line.startswith(f"{role}: ") and "option" not in line
            and line != f"Try '{role} --help'."] == []
    if status is not None:
        assert result.returncode == status
    else:
        assert result.returncode != 0
