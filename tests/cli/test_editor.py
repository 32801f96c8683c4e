"""The editor's command line: confirmation lines, value rules and what lands on disk."""

import copy

import pytest

from wexrun import (JOURNAL_OFFSET, STORE_OFFSET, Record, edit, journal_bytes, journal_on, outside_journal,
                    sample_record)


def expect_saved(disks, name, before, record):
    """The disk holds exactly `record` at 2560 and in its journal copy, the
    bytes of a longer record there before are cleared, and no other byte
    changed."""
    full = disks.image(name)
    generation, copy = journal_on(full)
    assert copy == record.encode()
    replaced = None
    if before[STORE_OFFSET:STORE_OFFSET + 4] == b"WEXD":
        size = int.from_bytes(before[STORE_OFFSET + 8:STORE_OFFSET + 12], "little")
        replaced = before[STORE_OFFSET:STORE_OFFSET + size]
    written = journal_bytes(copy, generation, replaced)
    assert full[JOURNAL_OFFSET:JOURNAL_OFFSET + len(written)] == written
    after, before = outside_journal(full), outside_journal(before)
    image = record.encode()
    end = STORE_OFFSET + len(image)
    old_end = end
    if before[STORE_OFFSET:STORE_OFFSET + 4] == b"WEXD":
        old_end = max(end, STORE_OFFSET + int.from_bytes(before[STORE_OFFSET + 8:STORE_OFFSET + 12], "little"))
    assert after[STORE_OFFSET:end] == image
    assert after[:STORE_OFFSET] == before[:STORE_OFFSET]
    assert after[end:old_end] == bytes(old_end - end)
    assert after[old_end:] == before[old_end:]


def changed(**changes):
    record = sample_record()
    texts = changes.pop("texts", {})
    for key, value in changes.items():
        setattr(record, key, value)
    record.texts.update(texts)
    return record


ROWS = [
    ("j=false", "   DEZE Just Imaged Flag set to  'false'", changed(flags=0x104)),
    ("J=Tomato", "   DEZE Just Imaged Flag set to  'true'", changed()),
    ("ScriptedImage=F", "   DEZE Scripted Image Flag set to  'false'", changed(flags=0x101)),
    ("LastBaseImage=//srv/img 2", "   DEZE Last Base Image Restored set to '//srv/img 2'",
     changed(texts={"lastBaseImage": b"//srv/img 2"})),
    ("ObjectDN=CN=PC2.O=Corp", "   DEZE Workstation Object set to 'CN=PC2.O=Corp'",
     changed(texts={"wsDN": b"CN=PC2.O=Corp"})),
    ("Tree=  East Tree ", "   DEZE Tree Name set to 'East Tree '",
     changed(texts={"wsTree": b"East Tree "})),
    ("Tree=", "   DEZE Tree Name set to ''", changed(texts={"wsTree": b""})),
    ("NetBIOSName=PC9", "   DEZE Workstation NetBIOS Name set to 'PC9'",
     changed(texts={"netbiosName": b"PC9"})),
    ("WorkGroup=WG", "   DEZE Workstation Workgroup set to 'WG'", changed(texts={"workgroup": b"WG"})),
    ("SID=1-2-3-4-5", "   DEZE Windows Security ID set to '1-2-3-4-5'", changed(sid=(1, 2, 3, 4, 5))),
    ("SID=4294967295-0-4294967295-2147483648-7",
     "   DEZE Windows Security ID set to '4294967295-0-4294967295-2147483648-7'",
     changed(sid=(4294967295, 0, 4294967295, 2147483648, 7))),
    ("WorkstationID=42", "   DEZE Workstation ID set to '42'", changed(texts={"wsID": b"42"})),
    ("DHCP=ON", "   DEZE DHCP Flag set to 'ON'", changed(dhcp=1)),
    ("IP=10.1.2.3", "   DEZE Static IP Address set to '10.1.2.3'", changed(ip=bytes([10, 1, 2, 3]))),
    ("Gateway= 192.168.1.0 ", "   DEZE IP Gateway set to '192.168.1.0 '",
     changed(gateway=bytes([192, 168, 1, 0]))),
    ("Mask=255.255.255.0", "   DEZE IP Subnet Mask set to '255.255.255.0'",
     changed(subnet=bytes([255, 255, 255, 0]))),
    ("DNSServerCount=3", "   DEZE DNS Server Count set to '3'", changed(dns_count=3)),
    ("DNSServerCount=0", "   DEZE DNS Server Count set to '0'", changed(dns_count=0)),
    ("DNSServer2=10.9.8.7", "   DEZE DNS Name Server set to  '10.9.8.7'",
     changed(dns=[bytes([10, 0, 0, 53]), bytes([10, 9, 8, 7])] + [bytes(4)] * 30)),
    ("DNSServer2=255.255.255.255", "   DEZE DNS Name Server set to  '255.255.255.255'",
     changed(dns=[bytes([10, 0, 0, 53]), bytes([255] * 4)] + [bytes(4)] * 30)),
    ("DNSSuffix=corp.example", "   DEZE DNS Suffix set to 'corp.example'",
     changed(texts={"dnsSuffix": b"corp.example"})),
    ("DNSHostName=pc9", "   DEZE DNS Host Name set to 'pc9'", changed(texts={"dnsHostname": b"pc9"})),
]


@pytest.mark.parametrize("argument,line,expected", ROWS, ids=[r[0] for r in ROWS])
def test_row_prints_its_confirmation_and_saves_only_that_field(disks, argument, line, expected):
    before = disks.add("sda", sample_record())
    result = edit(disks, argument)
    assert result.stdout.decode("latin-1") == line + "\n"
    assert result.stderr == b""
    assert result.returncode == 0
    expect_saved(disks, "sda", before, expected)


def test_save_writes_every_usable_disk_and_stamps_the_current_version(disks):
    old = sample_record()
    old.version, old.struct_length = 4, 204
    old.texts["wsID"] = b""
    before_a = disks.add("sda", stored=old.encode(text_count=7))  # a version 4 record ends after seven texts
    before_b = disks.add("sdb")
    assert edit(disks, "Tree=Lab").returncode == 0
    expected = copy.deepcopy(old)
    expected.version = 5
    expected.texts["wsTree"] = b"Lab"
    expect_saved(disks, "sda", before_a, expected)
    expect_saved(disks, "sdb", before_b, expected)


def test_arguments_apply_in_order_so_a_count_raised_first_admits_the_server(disks):
    disks.add("sda", Record())
    result = edit(disks, "DNSServerCount=2", "DNSServer2=10.0.0.2", "DNSServer1=10.0.0.1")
    assert result.returncode == 0
    stored = disks.record("sda")
    assert stored.dns_count == 2 and stored.dns[:2] == [bytes([10, 0, 0, 1]), bytes([10, 0, 0, 2])]


REFUSALS = {
    "index": "   Could not set DNS name server.  (Server index out larger than current DNS server count.)",
    "interpret": "   Could not set DNS name server.  (Could not interpret which server to set.)",
    "address": "   Could not set DNS name server.  (Invalid IP address.)",
    "count": "   Could not set DNS server count.  (The count must be between 0 and 32.)",
}
EXPECT = {
    "flag": "true or false (the first letter counts: t or f, in any case)",
    "dhcp": "on or off",
    "address": "four decimal numbers from 0 to 255 joined by dots, such as 10.0.0.5",
    "count": "a decimal number from 0 to 32",
    "index": 'a server number from 1 to the DNS server count (2) before the "="',
}

# argument, its line on standard output (None: none), the field and value its
# line on standard error names, and what that line says is expected.
REFUSED = [
    ("JustImaged=yes", None, "JustImaged 'yes'", "flag"),
    ("SC=", None, "ScriptedImage ''", "flag"),
    ("DHCP=1", None, "DHCP '1'", "dhcp"),
    ("dhcp=true", None, "DHCP 'true'", "dhcp"),
    ("IP=10.1.2.300", None, "IP '10.1.2.300'", "address"),
    ("Gateway=192.168.1", None, "Gateway '192.168.1'", "address"),
    ("Mask=foo", None, "Mask 'foo'", "address"),
    ("DNSServerCount=abc", "count", "DNSServerCount 'abc'", "count"),
    ("DNSServerCount=33", "count", "DNSServerCount '33'", "count"),
    ("DNSServerCount=-1", "count", "DNSServerCount '-1'", "count"),
    ("DNSServerCount=4294967295", "count", "DNSServerCount '4294967295'", "count"),
    ("DNSServer3=10.0.0.3", "index", "DNSServer3 '10.0.0.3'", "index"),
    ("DNSServer-1=10.0.0.1", "index", "DNSServer-1 '10.0.0.1'", "index"),
    ("DNSServer=10.0.0.1", "index", "DNSServer '10.0.0.1'", "index"),
    ("DNSServer0=10.0.0.1", "interpret", "DNSServer0 '10.0.0.1'", "index"),
    ("DNSServer2=10.0.0.300", "address", "DNSServer2 '10.0.0.300'", "address"),
    ("DNSServer2=010.0.0.0x1", "address", "DNSServer2 '010.0.0.0x1'", "address"),
]


@pytest.mark.parametrize("argument,stdout,named,expected", REFUSED, ids=[r[0] for r in REFUSED])
def test_refused_value_keeps_its_field_and_exits_5_while_the_rest_is_saved(
        disks, argument, stdout, named, expected):
    disks.add("sda", sample_record())
    result = edit(disks, argument, "Tree=Lab")
    lines = ([REFUSALS[stdout]] if stdout else []) + ["   DEZE Tree Name set to 'Lab'"]
    assert result.stdout.decode().splitlines() == lines
    assert result.stderr.decode() == f"wexedit: {named} refused, expected {EXPECT[expected]}\n"
    assert result.returncode == 5
    assert disks.record("sda") == changed(texts={"wsTree": b"Lab"})


def test_server_set_before_its_count_is_refused(disks):
    disks.add("sda", Record())
    result = edit(disks, "DNSServer2=10.0.0.2", "DNSServerCount=2")
    assert result.stdout.decode().splitlines()[0] == REFUSALS["index"]
    assert disks.record("sda").dns[1] == bytes(4)
    assert result.returncode == 5


@pytest.mark.parametrize("args,status", [
    (["IP=1.2.3", "SID=1-2-3-4-5"], 5),  # a later valid SID does not clear the refusal
    (["SID=1-2", "IP=1.2.3"], 1),        # an earlier status stays
    (["IP=1.2.3", "Foo"], 255),
])
def test_refusal_status_stands_beside_the_other_statuses(disks, args, status):
    disks.add("sda", sample_record())
    assert edit(disks, *args).returncode == status
    assert disks.record("sda").ip == sample_record().ip


def test_server_index_is_bounded_by_the_table_when_the_stored_count_is_larger(disks):
    record = sample_record()
    record.dns_count = 40
    disks.add("sda", record)
    result = edit(disks, "DNSServer33=10.0.0.33", "DNSServer32=10.0.0.32")
    assert result.stdout.decode().splitlines() == [
        REFUSALS["index"], "   DEZE DNS Name Server set to  '10.0.0.32'"]
    assert disks.record("sda").dns[31] == bytes([10, 0, 0, 32])


@pytest.mark.parametrize("args,status,lines", [
    (["SID=1-2-3-4", "Tree=Lab"], 1,
     ["Invalid SID -- Not enough fields or invalid separator", "   DEZE Tree Name set to 'Lab'"]),
    (["SID=1-2-x-4-5"], 2, ["Invalid SID -- Invalid data in one of the fields"]),
    (["SID=1-2-3-4-5-6"], 3, ["Invalid SID -- Too many fields"]),
    (["SID=1-2", "SID=1-2-3-4-5"], 0,
     ["Invalid SID -- Not enough fields or invalid separator", "   DEZE Windows Security ID set to '1-2-3-4-5'"]),
])
def test_sid_status_is_the_exit_status_of_the_last_sid_assignment(disks, args, status, lines):
    disks.add("sda", sample_record())
    result = edit(disks, *args)
    assert result.stdout.decode().splitlines() == lines
    assert result.returncode == status
    stored = disks.record("sda")
    assert stored.sid == ((1, 2, 3, 4, 5) if status == 0 else sample_record().sid)
    assert stored.texts["wsTree"] == (b"Lab" if "Tree=Lab" in args else b"CORP_TREE")


def test_unknown_argument_stops_the_run_but_earlier_changes_are_saved(disks):
    disks.add("sda", sample_record())
    result = edit(disks, "Tree=Lab", "Foo", "Tree=Main")
    assert result.stdout.decode().splitlines() == [
        "   DEZE Tree Name set to 'Lab'", "Unknown parameter (1): 'Foo'"]
    assert result.returncode == 255
    assert disks.record("sda").texts["wsTree"] == b"Lab"


@pytest.mark.parametrize("args,lines", [
    (["-c", "Tree"], ["Unknown parameter (0): 'Tree'"]),
    (["-c", "gate=1.2.3.4"], ["Unknown parameter (0): 'gate=1.2.3.4'"]),
    (["NetBIOSName=X", "-c"], ["   DEZE Workstation NetBIOS Name set to 'X'", "Unknown parameter (1): '-c'"]),
])
def test_unknown_argument_exits_255(disks, args, lines):
    disks.add("sda", sample_record())
    result = edit(disks, *args)
    assert result.stdout.decode().splitlines() == lines
    assert result.returncode == 255


def test_clear_writes_the_empty_record(disks):
    before = disks.add("sda", sample_record())
    result = edit(disks, "-c")
    assert (result.returncode, result.stdout) == (0, b"")
    expect_saved(disks, "sda", before, Record())


def test_clear_then_assignment_keeps_only_the_assignment(disks):
    disks.add("sda", sample_record())
    assert edit(disks, "-c", "N=PC7").returncode == 0
    expected = Record()
    expected.texts["netbiosName"] = b"PC7"
    assert disks.record("sda") == expected


@pytest.mark.parametrize("word", ["clearset", "CLEARSET"])
def test_clearset_writes_the_sample_workstation_and_ignores_later_arguments(disks, word):
    disks.add("sda", sample_record())
    result = edit(disks, "Tree=Lab", word, "Tree=Main", "Foo")
    assert result.stdout.decode() == "   DEZE Tree Name set to 'Lab'\n"
    assert result.returncode == 0
    stored = disks.record("sda")
    assert stored.texts["netbiosName"] == b"ImagingTest"
    assert stored.subnet == bytes([255, 255, 252, 0])
    assert stored.dhcp == 0 and stored.flags == 0 and stored.dns_count == 0
    assert stored.sid == (0, 0, 0, 0, 0) and stored.texts["wsID"] == b""
    assert stored.texts["lastBaseImage"].startswith(b"//")
    assert stored.ip[:3] == stored.gateway[:3] and stored.ip != stored.gateway
    for name in ("wsDN", "wsTree", "workgroup"):
        assert stored.texts[name] not in (b"", b"Lab", b"Main")


@pytest.mark.parametrize("journal", [False, True], ids=["record-alone", "with-journal-copy"])
def test_remove_erases_the_whole_record_and_its_journal_copy_and_saves_nothing(disks, journal):
    disks.add("sda", sample_record())
    if journal:
        assert edit(disks, "Tree=Saved").returncode == 0
        assert journal_on(disks.image("sda")) is not None
    result = edit(disks, "-r")
    assert (result.returncode, result.stdout, result.stderr) == (0, b"", b"")
    assert disks.image("sda") == bytes(len(disks.image("sda"))), "no byte of the identity is left"


def test_remove_then_assignment_writes_the_loaded_record_back(disks):
    disks.add("sda", sample_record())
    assert edit(disks, "-r", "Tree=Lab").returncode == 0
    assert disks.record("sda") == changed(texts={"wsTree": b"Lab"})


def test_remove_and_clear_leave_the_empty_record(disks):
    disks.add("sda", sample_record())
    assert edit(disks, "-r", "-c").returncode == 0
    assert disks.record("sda") == Record()


# The kernel takes at most 128 KiB in one argument; the largest case comes close.
@pytest.mark.parametrize("field,text,kept", [
    ("NetBIOSName", b"N" * 40, b"N" * 15), ("Tree", b"T" * 33, b"T" * 32),
    ("WorkGroup", b"W" * 18, b"W" * 17), ("DNSHostName", b"h" * 64, b"h" * 63),
    ("LastBaseImage", b"/" * 5000, b"/" * 511), ("ObjectDN", b"O" * 120000, b"O" * 256),
], ids=["NetBIOSName", "Tree", "WorkGroup", "DNSHostName", "LastBaseImage", "ObjectDN-120000"])
def test_text_longer_than_its_field_is_cut_and_the_line_shows_what_was_stored(disks, field, text, kept):
    disks.add("sda", Record())
    result = edit(disks, field.encode() + b"=" + text)
    assert result.returncode == 0
    assert result.stdout.endswith(b" '" + kept + b"'\n")
    name = {"NetBIOSName": "netbiosName", "Tree": "wsTree", "WorkGroup": "workgroup",
            "DNSHostName": "dnsHostname", "LastBaseImage": "lastBaseImage", "ObjectDN": "wsDN"}[field]
    assert disks.record("sda").texts[name] == kept


def test_eight_bit_text_is_stored_one_unit_per_byte(disks):
    disks.add("sda", Record())
    assert edit(disks, b"Tree=Caf\xe9").returncode == 0
    raw = disks.image("sda")
    assert raw[STORE_OFFSET + 204 + 4 + 4:STORE_OFFSET + 204 + 8 + 8] == b"C\0a\0f\0\xe9\0"


def test_no_stored_record_starts_from_the_empty_record(disks):
    before = disks.add("sda")
    assert edit(disks, "N=PC1").returncode == 0
    expected = Record()
    expected.texts["netbiosName"] = b"PC1"
    expect_saved(disks, "sda", before, expected)
