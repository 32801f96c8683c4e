"""bash completion of wexedit and wexview, run in a real bash with bash-completion."""

import os
import re
import shlex
import subprocess
import sys
from pathlib import Path

import pytest

from packaging_support import SOURCE_DIR, documented_field_names

sys.path.insert(0, str(SOURCE_DIR / "tests"))
import launcher  # noqa: E402

BASH_COMPLETION = Path("/usr/share/bash-completion/bash_completion")
pytestmark = pytest.mark.skipif(not BASH_COMPLETION.exists(),
                                reason="bash-completion is not installed")


def complete(line):
    """The candidates bash would offer with the cursor at the end of `line`."""
    # bash splits the line at its word breaks, "=" among them, and the
    # completion puts "name=value" back together itself.
    words = []
    for word in line.split(" "):
        parts = word.split("=")
        for i, part in enumerate(parts):
            if i > 0:
                words.append("=")
            if part or i == 0 or i < len(parts) - 1:
                words.append(part)
    script = f"""
source {BASH_COMPLETION}
source {SOURCE_DIR / 'completion' / 'wexedit'}
COMP_LINE={shlex.quote(line)}
COMP_POINT=${{#COMP_LINE}}
COMP_WORDS=({' '.join(shlex.quote(w) for w in words)})
COMP_CWORD={len(words) - 1}
_wexedit {shlex.quote(words[0])} {shlex.quote(words[-1])} {shlex.quote(words[-2] if len(words) > 1 else '')}
printf '%s\\n' "${{COMPREPLY[@]}}"
"""
    result = subprocess.run(["bash", "--norc", "--noprofile", "-c", script],
                            capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
    return sorted(w for w in result.stdout.splitlines() if w)


@pytest.mark.parametrize("line, expected", [
    ("wexedit -", ["--", "--disk", "--dry-run", "--help", "--json", "--version", "-c", "-h", "-n", "-r"]),
    ("wexview -", ["--", "--disk", "--help", "--json", "--version", "-h", "-s", "-z"]),
    ("/usr/sbin/wexedit -", ["--", "--disk", "--dry-run", "--help", "--json", "--version", "-c", "-h", "-n", "-r"]),
    ("wexedit -c -", ["--", "--disk", "--dry-run", "--help", "--json", "--version", "-c", "-h", "-n", "-r"]),
    ("wexedit --disk /dev/sdb -",
     ["--", "--disk", "--dry-run", "--help", "--json", "--version", "-c", "-h", "-n", "-r"]),
    ("wexview --v", ["--version"]),
    ("wexedit Tree=Lab -", []),
    ("wexview IP -", []),
    ("wexedit Tr", ["Tree="]),
    ("wexedit DNSS", ["DNSServer1=", "DNSServer2=", "DNSServer3=", "DNSServer4=",
                      "DNSServerCount=", "DNSSuffix="]),
    ("wexview Gat", ["Gateway"]),
    ("wexview DNSServer", ["DNSServer", "DNSServerCount"]),
    ("wexedit DHCP=o", ["off", "on"]),
    ("wexedit JustImaged=", ["false", "true"]),
    ("wexedit ScriptedImage=t", ["true"]),
    ("wexedit Tree=L", []),
])
def test_completion_offers_the_right_words_for_role_and_position(line, expected):
    assert complete(line) == expected


@pytest.mark.parametrize("role, suffix", [("wexedit", "="), ("wexview", "")])
def test_every_documented_field_is_offered_in_the_form_of_its_role(role, suffix):
    offered = complete(f"{role} ")
    for name in documented_field_names():
        assert name + suffix in offered


@pytest.mark.parametrize("role", ["wexedit", "wexview"])
def test_completion_and_manual_page_offer_exactly_the_options_of_the_table(role):
    # --help prints one line per option row of the role: "  -n, --dry-run  ...".
    usage = launcher.run(Path(os.environ["WEXEDIT_BIN_DIR"]) / "wexedit", ["--help"], argv0=role,
                         capture_output=True, text=True).stdout
    rows = re.findall(r"^  (-[^\s,]+(?:, --[^\s,]+)?)", usage.split("Options")[1], re.M)
    options = sorted(name for row in rows for name in row.split(", "))
    assert len(options) >= 6
    assert complete(f"{role} -") == sorted(["--"] + options)
    page = subprocess.run(["man", "-l", str(SOURCE_DIR / "man" / "wexedit.8")], capture_output=True, text=True,
                          env={**os.environ, "MANWIDTH": "80", "LC_ALL": "C.UTF-8"}).stdout
    section = page[page.index("\nOPTIONS\n"):page.index("\nFIELDS\n")]
    assert [name for name in options if not re.search(rf"^ +(-\S+, )?{re.escape(name)}\b", section, re.M)] == []
