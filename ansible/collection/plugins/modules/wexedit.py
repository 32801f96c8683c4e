#!/usr/bin/python3
# Copyright 2026 Wexedit Maintainers
# SPDX-License-Identifier: MIT
"""Ansible module: sets, clears or removes the image-safe data through wexedit --json."""

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r"""
module: wexedit
short_description: Set or remove the image-safe data kept at byte 2560 of each raw disk
version_added: 1.0.0
author:
  - Wexedit Maintainers (@wexedit)
description:
  - Runs C(wexedit --json) with one C(Key=Value) argument a field and reports
    what the editor changed. A disk that already holds the record is neither
    written nor synced, so a repeated run reports no change.
  - Check mode runs the editor with C(--dry-run); diff mode shows each changed
    field before and after.
options:
  fields:
    description:
      - Field name to value. Flags (JustImaged, ScriptedImage) and DHCP take
        booleans, DNSServers a list of dotted addresses (it sets
        DNSServerCount as well), DNSServerCount a number, the rest text.
      - Names are the editor's full field names; any other name is refused
        before the editor runs.
    type: dict
    default: {}
  state:
    description: C(absent) removes the record from every disk (C(wexedit -r)).
    type: str
    choices: [present, absent]
    default: present
  clear:
    description: Start from an empty record (C(wexedit -c)) instead of the stored one.
    type: bool
    default: false
  disks:
    description: Disks or raw disk image files to use instead of the machine's disks (C(--disk)).
    type: list
    elements: path
    default: []
  executable:
    description: The editor; default C(wexedit) on PATH or in /usr/sbin.
    type: path
  viewer:
    description:
      - The viewer, which reports the record when nothing is to be edited and, in diff
        mode, the record a removal takes away; default C(wexview) beside a given
        I(executable), else on PATH or in /usr/sbin.
    type: path
  make_room:
    description:
      - When a disk's only refusal is a GUID partition table whose entry array lies over
        the record, move the entry array to the sector the editor names with
        C(sgdisk -j N), then run the editor again. Only with sgdisk (package gdisk)
        installed; any other refusal fails the task as without this option.
      - Check mode reports the move as a change it would make; diff mode shows the
        entry array's sector before and after, by disk.
    type: bool
    default: false
attributes:
  check_mode:
    description: Runs the editor with C(--dry-run) and reports the change it would make.
    support: full
  diff_mode:
    description: Shows each changed field before and after; a removal shows the whole record going.
    support: full
  platform:
    description: Linux workstations with the C(wexedit) package installed.
    support: full
    platforms: posix
requirements:
  - the C(wexedit) package (C(wexedit) and C(wexview)) on the managed host
  - sgdisk (package gdisk) for I(make_room)
seealso:
  - module: wexedit.imaging.wexedit_info
"""

EXAMPLES = r"""
- name: Stamp the workstation's identity
  wexedit.imaging.wexedit:
    fields: {Tree: LAB_TREE, NetBIOSName: LAB-PC7, DHCP: false, IP: 10.1.2.3,
             DNSServers: [10.0.0.1, 10.0.0.2], JustImaged: true}
- name: Remove the record
  wexedit.imaging.wexedit:
    state: absent
"""

RETURN = r"""
record:
  description:
    - The record after the run (in check mode, as it would be), keyed by field name;
      null after a removal.
  type: dict
  returned: always
result:
  description:
    - The editor's JSON report (changed fields, refusals, each disk's result), as
      /usr/share/wexedit/schema/wexedit.schema.json describes it; with its C(error)
      when the editor stopped before its report or found no usable disk.
  type: dict
  returned: when the editor ran
view:
  description:
    - The viewer's JSON report, as /usr/share/wexedit/schema/wexview.schema.json describes it,
      when there was nothing to edit.
  type: dict
  returned: when no field, clear or removal was asked for
rc:
  description: The editor's exit status.
  type: int
  returned: when the editor ran
stderr:
  description: What the editor wrote on standard error (its refusals and warnings).
  type: str
  returned: when the editor ran
moved_tables:
  description:
    - The disks whose partition entry array was moved (in check mode, would be) to make
      room, each with C(path), C(before) and C(after), the entry array's first sector.
  type: list
  elements: dict
  returned: when make_room moved or would move a table
"""

# Ansible's module layout: the imports follow DOCUMENTATION, EXAMPLES and RETURN.
import json  # noqa: E402
import os  # noqa: E402
import re  # noqa: E402
import struct  # noqa: E402

from ansible.module_utils.basic import AnsibleModule  # noqa: E402
from ansible.module_utils.parsing.convert_bool import boolean  # noqa: E402

# The settable fields in the editor's order, with the kind of value each takes,
# copied from the program's field table. The editor applies its arguments in
# order, so a server count always comes before the servers it admits.
# BEGIN FIELD_KINDS (written by ansible/gen_fields.py from fields/fields.cpp)
FIELD_KINDS = (
    ("JustImaged", "flag"),
    ("ScriptedImage", "flag"),
    ("LastBaseImage", "text"),
    ("ObjectDN", "text"),
    ("Tree", "text"),
    ("NetBIOSName", "text"),
    ("WorkGroup", "text"),
    ("SID", "text"),
    ("WorkstationID", "text"),
    ("DHCP", "dhcp"),
    ("IP", "address"),
    ("Gateway", "address"),
    ("Mask", "address"),
    ("DNSServerCount", "count"),
    ("DNSServers", "servers"),
    ("DNSSuffix", "text"),
    ("DNSHostName", "text"),
)
# END FIELD_KINDS
SETTABLE = tuple(name for name, _ in FIELD_KINDS)

# What the editor's exit statuses say, for the task's message.
EXIT_MEANINGS = {1: "the SID was refused", 2: "the SID was refused", 3: "the SID was refused",
                 4: "a disk was not written", 5: "a value was refused", 255: "an argument was unknown"}


class Refused(ValueError):
    """A value the module cannot hand to the editor."""


def _as_boolean(name, value):
    try:
        return boolean(value, strict=True)
    except TypeError:
        raise Refused(f"{name} takes true or false, not {value!r}")


def _as_text(name, value):
    # YAML turns yes/no into booleans and 1.0 into floats: neither is meant as text.
    if isinstance(value, bool) or not isinstance(value, (str, int)):
        raise Refused(f"{name} takes text, not {value!r} ({type(value).__name__})")
    text = str(value)
    if "\0" in text:
        raise Refused(f"{name} cannot hold a NUL character")
    return text


def _as_count(name, value):
    if isinstance(value, bool):
        raise Refused(f"{name} takes a number, not {value!r}")
    if isinstance(value, int) or (isinstance(value, str) and value.strip().isdigit()):
        return str(int(value))
    raise Refused(f"{name} takes a number, not {value!r}")


def _assignments_of(name, kind, value):
    """The editor's Key=Value arguments for one field."""
    if kind == "flag":
        return [f"{name}={'true' if _as_boolean(name, value) else 'false'}"]
    if kind == "dhcp":
        return [f"{name}={'on' if _as_boolean(name, value) else 'off'}"]
    if kind == "count":
        return [f"{name}={_as_count(name, value)}"]
    if kind == "servers":
        if not isinstance(value, (list, tuple)):
            raise Refused(f"DNSServers takes a list of addresses, not {value!r}")
        servers = [_as_text(f"DNSServers[{index}]", server) for index, server in enumerate(value)]
        return [f"DNSServerCount={len(servers)}"] + [
            f"DNSServer{number}={server}" for number, server in enumerate(servers, start=1)]
    return [f"{name}={_as_text(name, value)}"]


def build_assignments(fields):
    """The editor's arguments for `fields`, in the editor's field order.

    Raises Refused for a name that is not settable or a value of the wrong type."""
    unknown = sorted(str(name) for name in fields if name not in SETTABLE)
    if unknown:
        hints = []
        for name in unknown:
            near = [known for known in SETTABLE if known.lower() == name.lower()]
            hints.append(f"{name} (did you mean {near[0]}?)" if near else name)
        raise Refused(f"not settable: {', '.join(hints)}; settable fields: {', '.join(SETTABLE)}")
    if "DNSServers" in fields and "DNSServerCount" in fields:
        servers = fields["DNSServers"]
        if not isinstance(servers, (list, tuple)) or _as_count("DNSServerCount",
                                                               fields["DNSServerCount"]) != str(len(servers)):
            raise Refused("DNSServerCount disagrees with the length of DNSServers; give only DNSServers")
    arguments = []
    for name, kind in FIELD_KINDS:
        if name == "DNSServerCount" and "DNSServers" in fields:
            continue  # set by the list
        if name in fields:
            arguments += _assignments_of(name, kind, fields[name])
    return arguments


def editor_command(editor, *, assignments=(), disks=(), clear=False, remove=False, dry_run=False):
    """The editor's argument list: options and disks first, then the fields."""
    command = [editor, "--json"]
    if dry_run:
        command.append("--dry-run")
    if clear:
        command.append("-c")
    if remove:
        command.append("-r")
    for disk in disks:
        command += ["--disk", disk]
    return command + list(assignments)


def failure_reasons(report):
    """The refusals and the disks that were not written, as lines."""
    reasons = []
    for refusal in report.get("refused") or []:
        reasons.append(f"{refusal.get('field')} '{refusal.get('value')}' refused: {refusal.get('reason')}")
    # The editor's disks (and a removal's), or the viewer's, each by its own word.
    for disk in (report.get("disks") or []) + (report.get("removal") or []):
        if disk.get("result") in ("refused", "failed") or disk.get("state") in ("refused", "unusable"):
            reasons.append(f"{disk.get('path')}: {disk.get('reason') or disk.get('result') or disk.get('state')}")
    return reasons


def unused_disks(named, report, err):
    """Named disks the run did not use (one that cannot be opened is only named on
    standard error), with the program's line about each."""
    used = {disk.get("path") for disk in (report.get("disks") or []) + (report.get("removal") or [])}
    reasons = []
    for path in dict.fromkeys(named):
        if path in used:
            continue
        said = [line.split(": ", 1)[1] for line in err.splitlines() if line.startswith(("wexedit: ", "wexview: "))
                and line.split(": ", 1)[1].startswith(f"{path}: ")]
        reasons.append(said[0] if said else f"{path}: not used")
    return reasons


def field_diff(report):
    """Ansible's diff of the changed fields."""
    fields = report.get("fields") or {}
    return {"before": {name: change.get("before") for name, change in fields.items()},
            "after": {name: change.get("after") for name, change in fields.items()}}


# The end of the editor's reason for a disk whose GPT entry array lies over the
# record, under either of the long names sgdisk has had for -j.
ROOM_ADVICE = re.compile(r"; to make room, move the table's partition entry array with: "
                         r"sgdisk --(?:adjust|move)-main-table=(\d+) (.+)$")


def room_to_make(report):
    """(path, sector) of each disk refused only for its GPT entry array; none when a
    value was refused or a disk was refused for anything else."""
    disks = report.get("disks") or []
    refused = [disk for disk in disks if disk.get("result") in ("refused", "failed")]
    wanted = []
    for disk in refused:
        advice = ROOM_ADVICE.search(disk.get("reason") or "")
        if advice is None or advice.group(2) != disk.get("path"):
            return []
        wanted.append((disk["path"], int(advice.group(1))))
    return [] if report.get("refused") else wanted


def entry_array_sector(path):
    """The first sector of the primary GPT's entry array, from its header at LBA 1
    (512- or 4096-byte sectors); None when there is no header."""
    with open(path, "rb") as disk:
        for sector in (512, 4096):
            disk.seek(sector)
            header = disk.read(92)
            if header[:8] == b"EFI PART":
                return struct.unpack_from("<Q", header, 72)[0]
    return None


def make_room(module, wanted):
    """Moves each disk's entry array with sgdisk (not in check mode); the moves, as
    returned. Fails the task when sgdisk is missing, fails or leaves the array where it was."""
    sgdisk = module.get_bin_path("sgdisk", opt_dirs=["/usr/sbin", "/sbin"])
    if sgdisk is None:
        module.fail_json(msg="make_room needs sgdisk (package gdisk), which is not installed; disks refused: "
                             + ", ".join(path for path, _ in wanted))
    moves = []
    for path, sector in wanted:
        moves.append(dict(path=path, before=entry_array_sector(path), after=sector))
        if module.check_mode:
            continue
        # -j is the option's short name under both of its long names
        # (--adjust-main-table, later --move-main-table).
        rc, out, err = module.run_command([sgdisk, "-j", str(sector), path], environ_update={"LC_ALL": "C"})
        if rc != 0 or entry_array_sector(path) != sector:
            module.fail_json(msg=f"sgdisk could not move the partition entry array of {path} to sector {sector}: "
                                 f"{err.strip() or out.strip() or 'it stayed at ' + str(entry_array_sector(path))}",
                             rc=rc, stdout=out, stderr=err, moved_tables=moves)
    return moves


def _run_json(module, command):
    """Runs `command` (no shell) and reads its JSON; fails the task when there is
    none, or when the object carries the program's error (a run that stopped
    before its report, or found no usable disk)."""
    rc, out, err = module.run_command(command, use_unsafe_shell=False, environ_update={"LC_ALL": "C.UTF-8"})
    try:
        report = json.loads(out)
        if not isinstance(report, dict):
            raise ValueError("not an object")
    except ValueError:
        module.fail_json(msg=f"{command[0]} printed no JSON report (status {rc}): {err.strip() or out.strip()}",
                         rc=rc, stdout=out, stderr=err, cmd=command)
    error = report.get("error")
    if isinstance(error, dict):
        module.fail_json(msg=f"{os.path.basename(command[0])} exited with status {error.get('status', rc)}: "
                             f"{error.get('message')}", rc=rc, result=report, stderr=err, cmd=command)
    return rc, report, err


def _find_program(module, given, name):
    if given:
        return given
    return module.get_bin_path(name, required=True, opt_dirs=["/usr/sbin", "/sbin"])


def _viewer(module):
    """The viewer given, else the wexview beside a given editor, else the one on PATH."""
    editor = module.params["executable"]
    if not module.params["viewer"] and editor:
        beside = os.path.join(os.path.dirname(editor), "wexview")
        if os.access(beside, os.X_OK):
            return beside
    return _find_program(module, module.params["viewer"], "wexview")


def read_view(module, disks):
    """The viewer's JSON report over `disks`; fails the task when the viewer fails."""
    viewer = _viewer(module)
    command = [viewer, "--json"] + [part for disk in disks for part in ("--disk", disk)]
    rc, view, err = _run_json(module, command)
    missing = unused_disks(disks, view, err)
    if rc != 0 or missing:
        reasons = failure_reasons(view) + missing or [err.strip() or "no reason given"]
        module.fail_json(msg=f"wexview exited with status {rc}: " + "; ".join(reasons),
                         rc=rc, view=view, stderr=err)
    return view


def run_module():
    module = AnsibleModule(
        argument_spec=dict(
            fields=dict(type="dict", default={}),
            state=dict(type="str", choices=["present", "absent"], default="present"),
            clear=dict(type="bool", default=False),
            disks=dict(type="list", elements="path", default=[]),
            executable=dict(type="path"),
            viewer=dict(type="path"),
            make_room=dict(type="bool", default=False),
        ),
        supports_check_mode=True,
    )
    params = module.params
    fields = params["fields"] or {}
    remove = params["state"] == "absent"
    if remove and (fields or params["clear"]):
        module.fail_json(msg="state=absent removes the record; it takes neither fields nor clear")
    try:
        assignments = build_assignments(fields)
    except Refused as refused:
        module.fail_json(msg=str(refused))

    disks = params["disks"]
    if not assignments and not params["clear"] and not remove:
        # Nothing to edit: the editor would open its form. Report the record as stored.
        view = read_view(module, disks)
        module.exit_json(changed=False, record=view.get("record"), view=view)
    # A removal reports no fields; its diff is the whole stored record going.
    before = read_view(module, disks) if remove and module._diff else None

    editor = _find_program(module, params["executable"], "wexedit")
    command = editor_command(editor, assignments=assignments, disks=disks, clear=params["clear"],
                             remove=remove, dry_run=module.check_mode)
    rc, report, err = _run_json(module, command)
    moves = []
    wanted = room_to_make(report) if params["make_room"] and rc != 0 and not remove else []
    if wanted:
        moves = make_room(module, wanted)
        if module.check_mode:
            # These were the only refusals: once the tables move, the editor writes.
            rc = 0
        else:
            rc, report, err = _run_json(module, command)
    changed = bool(report.get("changed")) or bool(moves)
    outcome = dict(changed=changed, record=report.get("record"), result=report, rc=rc, stderr=err)
    if moves:
        outcome["moved_tables"] = moves
    if module._diff:
        outcome["diff"] = field_diff(report)
        if before is not None and changed and not report.get("fields"):
            outcome["diff"] = {"before": before.get("record") if before.get("stored") else {}, "after": {}}
        for move in moves:
            key = f"GPT entry array sector of {move['path']}"
            outcome["diff"]["before"][key], outcome["diff"]["after"][key] = move["before"], move["after"]
    missing = unused_disks(disks, report, err)
    if rc != 0 or missing:
        reasons = failure_reasons(report) if rc != 0 else []
        reasons = reasons + missing or [err.strip() or "no reason given"]
        what = EXIT_MEANINGS.get(rc, "see the manual page") if rc != 0 else "a named disk was not used"
        module.fail_json(msg=f"wexedit exited with status {rc} ({what}): " + "; ".join(reasons), **outcome)
    module.exit_json(**outcome)


if __name__ == "__main__":
    run_module()
