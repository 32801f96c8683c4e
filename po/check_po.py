#!/usr/bin/env python3
"""Checks a translation against the message template.

    po/check_po.py po/wexedit.pot po/de.po

A translation is complete when it has exactly the template's messages, each
translated and none marked fuzzy, and keeps what the program's layout relies
on: the blanks at the start and end of a text (the editor's confirmation
labels are aligned by them) and the printf conversions. Exit status 0 when
the translation is complete, 1 with one line per problem otherwise.
"""

import re
import sys

CONVERSION = re.compile(r"%[-+ #0]*[0-9*]*(?:\.[0-9*]+)?[hlLqjzt]*[diouxXeEfgGcspn%]")


def unquote(text):
    return re.sub(r'\\(.)', lambda m: {"n": "\n", "t": "\t"}.get(m.group(1), m.group(1)), text)


def read_po(path):
    """The entries of a PO file: dicts with msgid, msgstr, flags and obsolete."""
    entries, entry, field = [], None, None
    with open(path, encoding="utf-8") as po:
        for raw in po:
            line = raw.rstrip("\n")
            obsolete = line.startswith("#~")
            if obsolete:
                line = line[2:].lstrip()
            if not line.strip():
                entry, field = None, None
                continue
            if line.startswith("#,"):
                entry = entry or _new(entries, obsolete)
                entry["flags"].update(flag.strip() for flag in line[2:].split(","))
                continue
            if line.startswith("#"):
                continue
            match = re.match(r'^(msgid|msgstr|msgctxt|msgid_plural|msgstr\[\d+\])\s+"(.*)"$', line)
            if match:
                if match.group(1) == "msgid" and entry is not None and "msgid" in entry:
                    entry = None
                entry = entry or _new(entries, obsolete)
                field = match.group(1)
                entry[field] = unquote(match.group(2))
                continue
            match = re.match(r'^"(.*)"$', line)
            if match and entry is not None and field is not None:
                entry[field] += unquote(match.group(1))
                continue
            raise ValueError(f"{path}: cannot read line: {raw!r}")
    return [e for e in entries if e.get("msgid")]


def _new(entries, obsolete):
    entry = {"flags": set(), "obsolete": obsolete}
    entries.append(entry)
    return entry


def edges(text):
    return len(text) - len(text.lstrip(" ")), len(text) - len(text.rstrip(" "))


def problems(template_path, translation_path):
    template = {e["msgid"]: e for e in read_po(template_path) if not e["obsolete"]}
    translation = {e["msgid"]: e for e in read_po(translation_path) if not e["obsolete"]}
    found = []
    for msgid in template:
        if msgid not in translation:
            found.append(f"missing: {msgid!r}")
    for msgid, entry in translation.items():
        text = entry.get("msgstr", "")
        if msgid not in template:
            found.append(f"not in the template: {msgid!r}")
        elif not text:
            found.append(f"untranslated: {msgid!r}")
        elif "fuzzy" in entry["flags"]:
            found.append(f"fuzzy: {msgid!r}")
        elif edges(text) != edges(msgid):
            found.append(f"blanks at the start or end differ: {msgid!r} -> {text!r}")
        elif CONVERSION.findall(text) != CONVERSION.findall(msgid):
            found.append(f"printf conversions differ: {msgid!r} -> {text!r}")
    return found


def main(argv):
    if len(argv) != 3:
        print(__doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    found = problems(argv[1], argv[2])
    for problem in found:
        print(f"{argv[2]}: {problem}")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
