"""wexview --json over the records the script and text tests use."""

import json

import pytest

from test_text_locales import TEXTS
from test_viewer import HOSTILE
from wexrecord import TEXT_FIELDS
from wexrun import Record, run, sample_record

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
    return result, json.loads(result.stdout.decode("utf-8", "strict"))


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
        ("/dev/sda", "complete", True), ("/dev/sdb", "no record", False)]


def test_view_json_tells_no_record_from_an_empty_one_and_keeps_the_exit_status(disks):
    result, shown = view_json(disks)
    assert (result.returncode, shown["stored"], shown["source"], shown["disks"]) == (4, False, None, [])
    disks.add("sda", Record())
    disks.add("sdb", stored=b"\x01" * 300)
    result, shown = view_json(disks)
    assert (result.returncode, shown["stored"], shown["source"]) == (0, True, "/dev/sda")
    assert shown["record"]["Tree"] == "" and shown["disks"][1]["state"] == "refused"
    assert shown["disks"][1]["reason"]


def edit_json(disks, *args):
    result = run(disks, "wexedit", "--json", *args)
    return result, json.loads(result.stdout.decode("utf-8", "strict"))


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
                               "would write"),
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
    if result == "would write":
        assert b"Dry run: /dev/sda: the image-safe data would be written" in text.stdout
        assert writes(disks) == []
    shown_after = json.loads(run(disks, "wexview", "--json").stdout)
    assert shown_after["record"] == shown["record"] or result == "would write"


def test_edit_json_removal_and_a_refused_disk(disks):
    disks.add("sda", sample_record())
    disks.add("sdb", stored=b"\x01" * 300)  # someone else's bytes where the record goes
    outcome, shown = edit_json(disks, "-n", "-r")
    assert (outcome.returncode, shown["changed"], shown["record"]) == (0, True, None)
    assert [d["result"] for d in shown["removal"]] == ["would remove", "unchanged"]
    assert writes(disks) == []
    outcome, shown = edit_json(disks, "Tree=X")
    assert outcome.returncode == 4
    assert [(d["result"], bool(d["reason"])) for d in shown["disks"]] == [("written", False), ("refused", True)]
    outcome, shown = edit_json(disks, "-r")
    assert [d["result"] for d in shown["removal"]] == ["removed", "unchanged"]
    assert json.loads(run(disks, "wexview", "--json").stdout)["stored"] is False
    # A disk named on the command line that cannot be opened did not get the record: it fails the run.
    missing = str(disks.folder / "missing.img")
    outcome, shown = edit_json(disks, "--disk", missing, "Tree=Y")
    assert outcome.returncode == 4
    assert [(d["path"], d["result"], "No such file" in d["reason"]) for d in shown["disks"]] == [(missing, "failed", True)]
