#!/usr/bin/python3
# Copyright 2026 Wexedit Maintainers
# SPDX-License-Identifier: MIT
"""Ansible module: reports the image-safe data through wexview --json, changing nothing."""

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r"""
module: wexedit_info
short_description: Report the image-safe data kept at byte 2560 of each raw disk
version_added: 1.0.0
author:
  - Wexedit Maintainers (@wexedit)
description:
  - Runs C(wexview --json) and returns its report, the stored record and each
    disk's state. It only reads the disks and never reports a change.
  - It replaces the C(wexedit.fact) local fact for gathering over a fleet,
    with one module run and no second interpreter on the workstation.
options:
  disks:
    description: Disks or raw disk image files to read instead of the machine's disks (C(--disk)).
    type: list
    elements: path
    default: []
  viewer:
    description: The viewer; default C(wexview) on PATH or in /usr/sbin.
    type: path
attributes:
  check_mode:
    description: The module only reads, so it runs the same in check mode.
    support: full
  diff_mode:
    description: The module changes nothing, so it has no diff.
    support: none
  platform:
    description: Linux workstations with the C(wexedit) package installed.
    support: full
    platforms: posix
requirements:
  - the C(wexedit) package (C(wexview)) on the managed host
seealso:
  - module: wexedit.imaging.wexedit
"""

EXAMPLES = r"""
- name: Read the workstation's identity
  wexedit.imaging.wexedit_info:
  register: wex

- name: Show the stored NetBIOS name
  ansible.builtin.debug:
    msg: "{{ wex.view.record.NetBIOSName if wex.view.stored else 'no record' }}"
"""

RETURN = r"""
view:
  description:
    - The viewer's JSON report, as /usr/share/wexedit/schema/wexview.schema.json
      (schema version 1) describes it; with its C(error) object when the task fails
      because the viewer stopped before its report or found no usable disk.
  type: dict
  returned: always
  sample: {"schema": 1, "stored": false, "disks": [{"path": "/dev/sda", "state": "empty"}]}
record:
  description: The stored record keyed by field name; null when no disk holds one.
  type: dict
  returned: success
stored:
  description: Whether a disk holds the record.
  type: bool
  returned: success
rc:
  description: The viewer's exit status.
  type: int
  returned: always
stderr:
  description: What the viewer wrote on standard error.
  type: str
  returned: failure
"""

# Ansible's module layout: the imports follow DOCUMENTATION, EXAMPLES and RETURN.
import json  # noqa: E402

from ansible.module_utils.basic import AnsibleModule  # noqa: E402


def failure_reasons(view):
    """The disks the viewer could not use, as lines."""
    return [f"{disk.get('path')}: {disk.get('reason') or disk.get('state')}" for disk in view.get("disks") or []
            if disk.get("state") in ("refused", "unusable")]


def run_module():
    module = AnsibleModule(
        argument_spec=dict(
            disks=dict(type="list", elements="path", default=[]),
            viewer=dict(type="path"),
        ),
        supports_check_mode=True,
    )
    viewer = module.params["viewer"] or module.get_bin_path("wexview", required=True,
                                                            opt_dirs=["/usr/sbin", "/sbin"])
    command = [viewer, "--json"] + [part for disk in module.params["disks"] for part in ("--disk", disk)]
    rc, out, err = module.run_command(command, environ_update={"LC_ALL": "C.UTF-8"})
    try:
        view = json.loads(out)
        if not isinstance(view, dict):
            raise ValueError("not an object")
    except ValueError:
        module.fail_json(msg=f"{viewer} printed no JSON report (status {rc}): {err.strip() or out.strip()}",
                         rc=rc, view={}, stderr=err)
    error = view.get("error")
    if isinstance(error, dict):
        # The viewer's lines on standard error name the disks the object does not.
        said = [line.split(": ", 1)[1] for line in err.splitlines() if line.startswith("wexview: ")]
        reasons = [str(error.get("message"))] + [line for line in said if line != error.get("message")]
        module.fail_json(msg=f"wexview exited with status {error.get('status', rc)}: " + "; ".join(reasons),
                         rc=rc, view=view, stderr=err)
    used = {disk.get("path") for disk in view.get("disks") or []}
    unused = [f"{path}: not used" for path in module.params["disks"] if path not in used]
    if rc != 0 or unused:
        reasons = failure_reasons(view) + unused or [err.strip() or "no reason given"]
        module.fail_json(msg=f"wexview exited with status {rc}: " + "; ".join(reasons), rc=rc, view=view,
                         stderr=err)
    module.exit_json(changed=False, view=view, record=view.get("record"), stored=bool(view.get("stored")), rc=rc)


def main():
    run_module()


if __name__ == "__main__":
    main()
