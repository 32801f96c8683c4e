"""wexview --json over the records the script and text tests use."""

import copy
import re
from pathlib import Path

import pytest
from jsonschema import ValidationError

from test_text_locales import TEXTS
from test_viewer import HOSTILE
from wexrecord import TEXT_FIELDS
from wexrun import Record, json_object, run, sample_record, schema_validator

FIELD_OF_TEXT = {"wsDN": "ObjectDN", "wsTree": "Tree", "netbiosName": "NetBIOSName", "workgroup": "WorkGroup",
                 "lastBaseImage": "LastBaseImage", "dnsSuffix": "DNSSuffix", "dnsHostname": "DNSHostName",
                 "wsID": "WorkstationID"}


def quad(address):
    return ".".join(str(b) for b in address)


def text_of(stored):
    """What a stored text reads as: bytes are one unit each, a str its UTF-16."""
    units = stored.encode("utf-16-le", "surrogatepass") if isinstance(stored, str) else \
        b"".join(bytes([c, 0]) for c in stored)
    return units.decode("utf-16-le", "replace")


def expected_record(record):
    expected = {field: text_of(record.texts[name]) for name, field in FIELD_OF_TEXT.items()}
    expected.update(JustImaged=bool(record.flags & 1), ScriptedImage=bool(record.flags & 4),
                    SID="-".join(str(n) for n in record.sid), DHCP=record.dhcp != 0, IP=quad(record.ip),
                    Gateway=quad(record.gateway), Mask=quad(record.subnet),
                    DNSServers=[quad(a) for a in record.dns[:min(record.dns_count, 32)]],
                    Version=5, Flags=record.flags, LastBaseImageTime=record.last_image_time,
                    LastBaseImageSize=record.last_image_size, AdvScript=record.adv_script,
                    DNSServerCount=record.dns_count)
    return expected


def with_texts(**texts):
    record = sample_record()
    record.texts.update(texts)
    return record


def dhcp_record():
    return Record(dhcp=1, ip=bytes([1, 2, 3, 4]))


def crowded_record():
    record = sample_record()
    record.dns_count = 33
    return record


RECORDS = {"sample": sample_record, "hostile": lambda: with_texts(**HOSTILE), "dhcp": dhcp_record,
           "crowded": crowded_record}
RECORDS.update({f"tree_{name}": (lambda t=text: with_texts(wsTree=t)) for name, text in TEXTS.items()
                if name != "pair_at_capacity"})
VIEW_CASES = [(name, locale) for name in RECORDS for locale in ("C", "C.UTF-8")]


def view_json(disks, *args, locale="C"):
    env = disks.env()
    env["LC_ALL"] = locale
    result = run(disks, "wexview", "--json", *args, env=env)
    return result, json_object("wexview", result.stdout)


@pytest.mark.parametrize("name,locale", VIEW_CASES, ids=[f"{n}-{l}" for n, l in VIEW_CASES])
def test_view_json_gives_every_field_with_its_type_in_any_locale(disks, name, locale):
    record = RECORDS[name]()
    disks.add("sda", record)
    disks.add("sdb")
    result, shown = view_json(disks, locale=locale)
    assert result.returncode == 0
    assert shown["record"] == expected_record(record)
    assert (shown["stored"], shown["source"]) == (True, "/dev/sda")
    assert [(d["path"], d["state"], d["read"]) for d in shown["disks"]] == [
        ("/dev/sda", "complete", True), ("/dev/sdb", "no-record", False)]


def test_view_json_tells_no_record_from_an_empty_one_and_keeps_the_exit_status(disks):
    result, shown = view_json(disks)
    # No usable disk: the error says why, and the empty record is not passed off as data.
    assert (result.returncode, shown["stored"], shown["source"], shown["disks"], shown["record"]) == \
        (4, False, None, [], None)
    assert shown["error"] == {"status": 4, "message": "no usable disk; the image-safe data could not be read"}
    disks.add("sda", Record())
    disks.add("sdb", stored=b"\x01" * 300)
    result, shown = view_json(disks)
    assert (result.returncode, shown["stored"], shown["source"]) == (0, True, "/dev/sda")
    assert shown["record"]["Tree"] == "" and shown["disks"][1]["state"] == "refused"
    assert shown["disks"][1]["reason"]


def edit_json(disks, *args):
    result = run(disks, "wexedit", "--json", *args)
    return result, json_object("wexedit", result.stdout)


def writes(disks):
    return [line for line in disks.log_lines() if line.split()[0] in ("write", "sync")]


# Each case: the editor's arguments, its exit status, whether it changes
# anything, the fields it changes, the refused fields and the disks' results.
EDIT_CASES = {
    "sets_fields": (["Tree=NEW", "DHCP=on"], 0, True, {"Tree": ("CORP_TREE", "NEW"), "DHCP": (False, True)},
                    [], "written"),
    "same_values_change_nothing": (["Tree=CORP_TREE", "IP=10.0.0.5"], 0, False, {}, [], "unchanged"),
    "refused_value_is_named": (["IP=10.0.0", "Tree=NEW"], 5, True, {"Tree": ("CORP_TREE", "NEW")}, ["IP"],
                               "written"),
    "bad_sid_keeps_its_status": (["SID=1-2"], 1, False, {}, ["SID"], "unchanged"),
    "dry_run_writes_nothing": (["-n", "NetBIOSName=PC2"], 0, True, {"NetBIOSName": ("PC1", "PC2")}, [],
                               "would-write"),
    "dry_run_of_the_same_record": (["--dry-run", "Tree=CORP_TREE"], 0, False, {}, [], "unchanged"),
}


@pytest.mark.parametrize("name", EDIT_CASES)
def test_edit_json_says_what_changed_on_each_disk(disks, name):
    args, status, changed, fields, refused, result = EDIT_CASES[name]
    disks.add("sda", sample_record())
    disks.add("sdb", sample_record())
    before = {name: disks.image(name) for name in ("sda", "sdb")}
    if result != "written":  # our own copies first, so that an unchanged save has nothing to write
        assert run(disks, "wexedit", "Tree=CORP_TREE").returncode == 0
        before = {name: disks.image(name) for name in ("sda", "sdb")}
    (disks.folder / "log").unlink(missing_ok=True)
    outcome, shown = edit_json(disks, *args)
    assert outcome.returncode == status, outcome.stderr
    assert shown["changed"] is changed and shown["dryRun"] is ("-n" in args or "--dry-run" in args)
    assert {key: (value["before"], value["after"]) for key, value in shown["fields"].items()} == fields
    assert [entry["field"] for entry in shown["refused"]] == refused
    assert all(entry["reason"] for entry in shown["refused"])
    assert [(disk["path"], disk["result"]) for disk in shown["disks"]] == [("/dev/sda", result),
                                                                           ("/dev/sdb", result)]
    if result != "written":
        assert writes(disks) == [] and all(disks.image(name) == before[name] for name in before)
    # Without --json the same run keeps its exit status and prints lines, not an object.
    text = run(disks, "wexedit", *args)
    assert text.returncode == status and not text.stdout.startswith(b"{")
    # Both come from the same outcome: the lines the text run prints are those the object's run
    # printed on standard error.
    assert sorted(outcome.stderr.splitlines()) == sorted(text.stdout.splitlines() + text.stderr.splitlines())
    if result == "would-write":
        assert b"Dry run: /dev/sda: the image-safe data would be written" in text.stdout
        assert writes(disks) == []
    shown_after = json_object("wexview", run(disks, "wexview", "--json").stdout)
    assert shown_after["record"] == shown["record"] or result == "would-write"


def test_edit_json_removal_and_a_refused_disk(disks):
    disks.add("sda", sample_record())
    disks.add("sdb", stored=b"\x01" * 300)  # someone else's bytes where the record goes
    outcome, shown = edit_json(disks, "-n", "-r")
    assert (outcome.returncode, shown["changed"], shown["record"]) == (0, True, None)
    assert [d["result"] for d in shown["removal"]] == ["would-remove", "unchanged"]
    assert writes(disks) == []
    outcome, shown = edit_json(disks, "Tree=X")
    assert outcome.returncode == 4
    assert [(d["result"], bool(d["reason"])) for d in shown["disks"]] == [("written", False), ("refused", True)]
    outcome, shown = edit_json(disks, "-r")
    assert [d["result"] for d in shown["removal"]] == ["removed", "unchanged"]
    assert json_object("wexview", run(disks, "wexview", "--json").stdout)["stored"] is False
    # A disk named on the command line that cannot be opened did not get the record: it fails the run.
    missing = str(disks.folder / "missing.img")
    outcome, shown = edit_json(disks, "--disk", missing, "Tree=Y")
    assert outcome.returncode == 4
    assert [(d["path"], d["result"], "No such file" in d["reason"])
            for d in shown["disks"]] == [(missing, "failed", True)]


# Runs that stop before their report, or cannot do their work: the role, the
# disks, the arguments after --json, the exit status and words of the message.
ERROR_CASES = {
    "disk_without_path": ("wexedit", {}, ["--disk"], 2, "--disk needs the path"),
    "too_many_disks": ("wexview", {}, ["--disk", "img"] * 65, 2, "at most 64 disks"),
    "field_words": ("wexview", {"sda": "sample"}, ["IP"], 2, "takes no field words"),
    "no_usable_disk_for_a_save": ("wexedit", {}, ["Tree=X"], 4, "no usable disk; the image-safe data was not written"),
    "no_usable_disk_for_a_dry_run": ("wexedit", {}, ["-n", "-r"], 4, "could not be removed"),
    "no_usable_disk_after_an_unknown_argument": ("wexedit", {}, ["-c", "Foo"], 255, "was not written"),
    "unreadable_disk": ("wexedit", {"sda": "read"}, ["Tree=X"], 4, "could not be read; nothing was written"),
    "help_page_without_terminal": ("wexedit", {"sda": "sample"}, ["-h"], 6, "needs a terminal"),
}


@pytest.mark.parametrize("name", ERROR_CASES)
def test_a_run_that_cannot_do_its_work_prints_one_error_object_with_its_status(disks, name):
    role, setup, args, status, words = ERROR_CASES[name]
    for disk, kind in setup.items():
        disks.add(disk, sample_record(), **({"fault": "read"} if kind == "read" else {}))
    before = {disk: disks.image(disk) for disk in setup}
    result = run(disks, role, "--json", *args)
    shown = json_object(role, result.stdout)
    assert result.returncode == status == shown["error"]["status"]
    assert words in shown["error"]["message"]
    # Standard error says the same in the same words.
    assert f"{role}: {shown['error']['message']}" in result.stderr.decode().splitlines()
    assert {disk: disks.image(disk) for disk in setup} == before
    if "record" in shown:  # a report that could not reach a disk
        assert (shown["changed"], shown["disks"]) == (False, [])


def valid_objects(disks):
    """A viewer's and an editor's object of real runs, a report and an error each."""
    disks.add("sda", sample_record())
    objects = {"view": ("wexview", json_object("wexview", run(disks, "wexview", "--json").stdout)),
               "edit": ("wexedit", json_object("wexedit", run(disks, "wexedit", "--json", "-n", "T=X").stdout))}
    for role in ("wexview", "wexedit"):
        objects[f"{role}_error"] = (role, json_object(role, run(disks, role, "--json", "--jsn").stdout))
    return objects


def without(key):
    return lambda shown: shown.pop(key)


def setting(path, value):
    def change(shown):
        *inner, last = path
        for key in inner:
            shown = shown[key]
        shown[last] = value
    return change


# A mutation each, of the kind a change of the program could bring in by mistake.
BROKEN = {
    "no_schema": ("view", without("schema")),
    "other_schema": ("edit", setting(["schema"], 2)),
    "old_state_token": ("view", setting(["disks", 0, "state"], "no record")),
    "old_result_token": ("edit", setting(["disks", 0, "result"], "would write")),
    "text_as_number": ("view", setting(["record", "Tree"], 7)),
    "address_out_of_range": ("edit", setting(["record", "IP"], "10.0.0.256")),
    "unknown_member": ("view", setting(["Stored"], True)),
    "failed_disk_without_reason": ("edit", setting(["disks", 0], {"path": "/dev/sda", "result": "failed",
                                                                  "reason": None})),
    "empty_record_beside_an_error": ("view", setting(["error"], {"status": 4, "message": "no usable disk"})),
    "error_status_zero": ("wexview_error", setting(["error", "status"], 0)),
    "error_without_message": ("wexedit_error", lambda shown: shown["error"].pop("message")),
    "error_beside_a_bare_report_member": ("wexedit_error", setting(["changed"], True)),
}


def test_broken_objects_fail_the_schemas_that_real_ones_pass(disks):
    objects = valid_objects(disks)
    assert objects["wexview_error"][1]["error"]["status"] == 2
    for name, (which, mutate) in BROKEN.items():
        role, shown = objects[which]
        broken = copy.deepcopy(shown)
        mutate(broken)
        with pytest.raises(ValidationError):
            schema_validator(role).validate(broken)
        schema_validator(role).validate(shown)  # the original still passes: the mutation is what fails


def test_both_schemas_describe_the_record_and_the_error_alike():
    viewer, editor = (schema_validator(role).schema["$defs"] for role in ("wexview", "wexedit"))
    assert all(viewer[name] == editor[name] for name in ("record", "error", "stopped", "address"))


def returned_names(function):
    """The texts that a function of cli/report_json.cpp returns."""
    source = (Path(__file__).resolve().parents[2] / "cli" / "report_json.cpp").read_text()
    body = re.search(r"const char\* " + function + r"\(.*?\n}\n", source, re.S).group(0)
    return {name for line in body.splitlines() if "return " in line for name in re.findall(r'"([^"]*)"', line)}


# Disks that were not looked at (absent) or not used are left out of the objects.
@pytest.mark.parametrize("role,definition,member,function,left_out", [
    ("wexview", "disk", "state", "stateName", {"absent"}),
    ("wexedit", "disk", "result", "resultName", {"not-used"}),
])
def test_every_state_and_result_the_program_names_is_in_its_schema(role, definition, member, function, left_out):
    tokens = set(schema_validator(role).schema["$defs"][definition]["properties"][member]["enum"])
    assert tokens == returned_names(function) - left_out
    assert all(re.fullmatch(r"[a-z]+(-[a-z]+)*", token) for token in tokens)
