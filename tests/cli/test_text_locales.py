"""Texts typed, stored, printed and exported in a UTF-8 locale and in the
byte-for-byte locales (C, Latin-1): one table of texts, run under each.

In a UTF-8 locale the terminal's UTF-8 becomes the record's UTF-16 and back;
elsewhere each byte is the unit of the same value, and a unit shows as its
low byte up to the first zero one. The expected forms below follow those two
rules through Python's own codecs."""

import shutil
import subprocess

import pytest

from wexrecord import STORE_OFFSET, stored_texts
from wexrun import Record, run, sample_record

# The texts as another program (or this one) may have stored them in wsTree.
TEXTS = {
    "ascii": "PC-01 Lab",
    "latin1": "M\u00fcller",
    "outside_latin1": "PC-\u01001",
    "above_ffff": "A\U0001F600B",
    "lone_surrogate": "A\ud800B",
    # 33 units for the 32 wsTree holds: the pair is left out whole.
    "pair_at_capacity": "A" * 31 + "\U0001F600",
}
TREE_UNITS = 32
# What a Latin-1 terminal sends for "Müller" is no UTF-8.
INVALID_UTF8 = b"M\xfcller"

LOCALES = {"C.UTF-8": "utf-8", "C": "latin-1", "de_DE.ISO-8859-1": "latin-1"}


@pytest.fixture(scope="module")
def locale_path(tmp_path_factory):
    """A folder holding the Latin-1 locale, made with localedef."""
    folder = tmp_path_factory.mktemp("locales")
    if shutil.which("localedef") is None:
        pytest.fail("localedef is needed for the Latin-1 locale (apt-get install libc-bin locales)")
    made = subprocess.run(["localedef", "-i", "de_DE", "-f", "ISO-8859-1", str(folder / "de_DE.ISO-8859-1")],
                          capture_output=True, timeout=60)
    assert (folder / "de_DE.ISO-8859-1").exists(), made.stderr
    return folder


def locale_env(disks, locale, locale_path):
    env = disks.env()
    env["LC_ALL"] = locale
    env["LOCPATH"] = str(locale_path)
    return env


def stored_of_typed(charset, typed):
    """The units a typed value is stored as, or None when it is refused."""
    if charset == "utf-8":
        try:
            units = typed.decode("utf-8").encode("utf-16-le")[:2 * TREE_UNITS]
        except UnicodeDecodeError:
            return None
        return units[:-2] if len(units) >= 2 and 0xD8 <= units[-1] <= 0xDB else units
    return b"".join(bytes([c, 0]) for c in typed[:TREE_UNITS])


def shown_of_stored(charset, units):
    if charset == "utf-8":
        return units.decode("utf-16-le", "replace").encode("utf-8")
    return bytes(units[0::2]).split(b"\0")[0]


def typed_values(charset):
    """Every text of the table that the terminal can type, and the invalid input."""
    values = {}
    for name, text in TEXTS.items():
        try:
            values[name] = text.encode(charset)
        except UnicodeEncodeError:
            pass
    values["invalid_utf8"] = INVALID_UTF8
    return values


def stored_tree(disk):
    """The raw units of wsTree in a disk's record."""
    return stored_texts(disk[STORE_OFFSET:])["wsTree"]


SET_CASES = [(locale, name, typed) for locale, charset in LOCALES.items()
             for name, typed in typed_values(charset).items()]


@pytest.mark.parametrize("locale,name,typed", SET_CASES, ids=[f"{locale}-{name}" for locale, name, _ in SET_CASES])
def test_typed_text_is_stored_confirmed_and_printed_back(disks, locale_path, locale, name, typed):
    charset = LOCALES[locale]
    env = locale_env(disks, locale, locale_path)
    disks.add("sda", Record(texts={"wsTree": b"OLD"}))
    result = run(disks, "wexedit", b"Tree=" + typed, env=env)
    expected = stored_of_typed(charset, typed)
    if expected is None:
        assert result.returncode == 5
        assert len(result.stderr.splitlines()) == 1 and b"Tree" in result.stderr
        assert stored_tree(disks.image("sda")) == b"O\0L\0D\0"
        return
    assert result.returncode == 0, result.stderr
    shown = shown_of_stored(charset, expected)
    assert result.stdout == b"   DEZE Tree Name set to '" + shown + b"'\n"
    assert stored_tree(disks.image("sda")) == expected
    assert run(disks, "wexview", b"T", env=env).stdout == shown + b"\n"


# A stored text longer than its buffer is read as empty: that case is only typed.
SHOW_CASES = [(locale, name) for locale in LOCALES for name in TEXTS if name != "pair_at_capacity"]


@pytest.mark.parametrize("shell", ["bash", "dash"])
@pytest.mark.parametrize("locale,name", SHOW_CASES, ids=[f"{locale}-{name}" for locale, name in SHOW_CASES])
def test_stored_text_is_printed_exported_and_left_alone(disks, locale_path, tmp_path, locale, name, shell):
    if shutil.which(shell) is None:
        pytest.fail(f"{shell} is needed for this test (apt-get install {shell})")
    charset = LOCALES[locale]
    env = locale_env(disks, locale, locale_path)
    record = sample_record()
    record.texts["wsTree"] = TEXTS[name]
    disks.add("sda", record)
    units = stored_tree(disks.image("sda"))
    shown = shown_of_stored(charset, units)
    assert run(disks, "wexview", b"T", env=env).stdout == shown + b"\n"
    script = run(disks, "wexview", b"-s", env=env).stdout
    (tmp_path / "script").write_bytes(script)
    probe = 'eval "$(cat script)"; printf %s "$DEZE_TREE_NAME"'
    result = subprocess.run([shell, "-c", probe], cwd=tmp_path, capture_output=True, timeout=30)
    assert (result.stdout, result.returncode) == (shown, 0), result.stderr
    # Editing another field writes the untouched text back unit for unit.
    assert run(disks, "wexedit", b"NetBIOSName=PC2", env=env).returncode == 0
    assert stored_tree(disks.image("sda")) == units
