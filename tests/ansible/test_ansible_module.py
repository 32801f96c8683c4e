"""The Ansible module and local fact under Debian's ansible-playbook, over the
build's wexedit and wexview on simulated disks, and the module's translation
of typed field values into the editor's arguments."""

import json
import os
import runpy
import shutil
import subprocess
import sys
from pathlib import Path
from types import SimpleNamespace

import pytest

SOURCE_DIR = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(SOURCE_DIR / "tests" / "simdisk"))
from simdisk import SimDisks  # noqa: E402

sys.path.insert(0, str(SOURCE_DIR / "tests" / "cli"))
from wexrun import schema_validator  # noqa: E402

STORE_OFFSET = 2560
PLAYBOOK = Path(__file__).with_name("module_play.yml")


def load_module():
    """The module's functions, loaded as a library (its main does not run)."""
    pytest.importorskip("ansible.module_utils.basic", reason="ansible-core is not installed")
    module = SOURCE_DIR / "ansible" / "collection" / "plugins" / "modules" / "wexedit.py"
    return SimpleNamespace(**runpy.run_path(str(module)))


def ansible_environment(work):
    """ansible-playbook with every folder of its own under `work` and no configuration file."""
    for name in ("home", "ansible-home", "local-tmp", "remote-tmp"):
        (work / name).mkdir(exist_ok=True)
    (work / "ansible.cfg").write_text("")
    env = {key: value for key, value in os.environ.items()
           if not key.startswith(("ANSIBLE_", "LD_PRELOAD", "SIMDISK_"))}
    env.update(HOME=str(work / "home"), ANSIBLE_CONFIG=str(work / "ansible.cfg"),
               ANSIBLE_HOME=str(work / "ansible-home"), ANSIBLE_LOCAL_TEMP=str(work / "local-tmp"),
               ANSIBLE_REMOTE_TEMP=str(work / "remote-tmp"),
               ANSIBLE_LIBRARY=str(SOURCE_DIR / "ansible" / "library"),
               ANSIBLE_PYTHON_INTERPRETER=sys.executable, ANSIBLE_NOCOLOR="1",
               ANSIBLE_RETRY_FILES_ENABLED="0", ANSIBLE_LOCALHOST_WARNING="0",
               ANSIBLE_INVENTORY_UNPARSED_WARNING="0")
    return env


def writes(lines):
    return [line for line in lines if line.startswith("write ")]


def stage_log(disks, stage):
    """The simulated-disk log of one stage of the play (moved aside after it)."""
    path = disks.folder / f"log.{stage}"
    return path.read_text().splitlines() if path.exists() else []


@pytest.fixture(scope="module")
def played(tmp_path_factory):
    """One playbook run; its registered results and the folder it ran over."""
    if shutil.which("ansible-playbook") is None:
        pytest.skip("ansible-playbook is not installed (Debian package ansible-core)")
    bin_dir = Path(os.environ["WEXEDIT_BIN_DIR"])
    work = tmp_path_factory.mktemp("ansible")
    disks = SimDisks(work / "disks")
    disks.add("sda", 1 << 20)
    # Named only by one task; the scan never reaches them while sda is there.
    disks.add("vdb", 1 << 20, fault="write")
    disks.add("vdc", 1 << 20, readonly=True)
    image = work / "images" / "second.img"
    image.parent.mkdir()
    image.write_bytes(bytes(1 << 20))
    fact_dir = work / "facts.d"
    fact_dir.mkdir()
    (fact_dir / "wexedit.fact").symlink_to(SOURCE_DIR / "ansible" / "wexedit.fact")
    preload = disks.env({})
    # The fact finds wexview on PATH: the build's.
    preload["PATH"] = f"{bin_dir}:/usr/sbin:/usr/bin:/sbin:/bin"
    variables = dict(simdisk_environment=preload, fact_dir=str(fact_dir), disks=["/dev/sda", str(image)],
                     image=str(image), disk_log=str(disks.folder / "log"), results=str(work / "results.json"),
                     missing_viewer=str(work / "no-viewer"),
                     wexedit=str(bin_dir / "wexedit"), wexview=str(bin_dir / "wexview"))
    (work / "vars.json").write_text(json.dumps(variables))
    run = subprocess.run(["ansible-playbook", "-i", "localhost,", "-e", f"@{work / 'vars.json'}", str(PLAYBOOK)],
                         cwd=work, env=ansible_environment(work), capture_output=True, text=True, timeout=240)
    assert run.returncode == 0, run.stdout + run.stderr
    assert not (work / "home" / ".ansible").exists(), "ansible wrote below HOME"
    return json.loads((work / "results.json").read_text()), disks, image


def test_fact_shows_the_record_stored_or_its_absence(played):
    results, _, _ = played
    before = results["fact_before"]["ansible_facts"]["ansible_local"]["wexedit"]
    after = results["fact_after"]["ansible_facts"]["ansible_local"]["wexedit"]
    assert before["stored"] is False and "error" not in before
    assert [disk["path"] for disk in before["disks"]] == ["/dev/sda"]
    assert after["stored"] is True and after["source"] == "/dev/sda"
    assert after["record"]["Tree"] == "FLEET_TREE" and after["record"]["NetBIOSName"] == "PC-0002"
    unseen = results["fact_without_viewer"]["ansible_facts"]["ansible_local"]["wexedit"]
    assert unseen["error"]["status"] == 127 and "no-viewer" in unseen["error"]["message"]
    for fact in (before, after, unseen):
        schema_validator("wexview").validate(fact)


def test_every_report_the_module_read_passes_the_published_schema(played):
    results, _, _ = played
    reports = [(name, "wexedit", outcome["result"]) for name, outcome in results.items() if "result" in outcome]
    reports += [(name, "wexview", outcome["view"]) for name, outcome in results.items() if "view" in outcome]
    assert {"stamped", "repeated", "checked", "refused", "unwritable", "removed"} <= {name for name, _, _ in reports}
    for _, role, report in reports:
        schema_validator(role).validate(report)


def test_stamp_changes_then_the_same_stamp_writes_nothing(played):
    results, disks, image = played
    stamped, repeated = results["stamped"], results["repeated"]
    assert stamped["changed"] is True and not stamped.get("failed")
    record = stamped["record"]
    assert (record["DHCP"], record["JustImaged"], record["IP"], record["DNSServers"]) == \
        (False, True, "10.1.0.1", ["10.0.0.53", "10.0.1.53"])
    assert writes(stage_log(disks, "stamp"))
    assert repeated["changed"] is False and repeated["record"] == record
    assert {disk["result"] for disk in repeated["result"]["disks"]} == {"unchanged"}
    log = stage_log(disks, "repeat")
    assert any(line.startswith("read /dev/sda") for line in log) and writes(log) == []
    assert results["image_repeated"]["stat"]["checksum"] == results["image_stamped"]["stat"]["checksum"]


def test_check_mode_reports_the_change_and_writes_nothing(played):
    results, disks, _ = played
    checked = results["checked"]
    assert checked["changed"] is True and checked["result"]["dryRun"] is True
    assert checked["record"]["Tree"] == "CHECKED_TREE"
    assert writes(stage_log(disks, "check")) == []
    assert results["image_checked"]["stat"]["checksum"] == results["image_stamped"]["stat"]["checksum"]


def test_diff_mode_shows_each_changed_field_before_and_after(played):
    diffed = played[0]["diffed"]
    assert diffed["changed"] is True
    assert diffed["diff"]["before"]["NetBIOSName"] == "PC-0001"
    assert diffed["diff"]["after"]["NetBIOSName"] == "PC-0002"
    assert "Tree" not in diffed["diff"]["after"], "an unchanged field is no part of the diff"


def test_refused_values_names_and_disks_fail_the_task_with_the_reason(played):
    results, disks, _ = played
    refused, unknown = results["refused"], results["unknown"]
    assert refused["failed"] is True and refused["rc"] == 5
    assert "IP '1.2.3' refused" in refused["msg"] and "expected" in refused["msg"]
    assert unknown["failed"] is True and "did you mean Tree?" in unknown["msg"] and "Version" in unknown["msg"]
    assert results["log_after_unknown"]["stat"]["exists"] is False, "the editor ran for a refused name"
    unwritable = results["unwritable"]
    assert unwritable["failed"] is True
    assert "/dev/vdb: the write failed" in unwritable["msg"]
    assert "/dev/vdc: the disk could not be used" in unwritable["msg"] and "Read-only file system" in unwritable["msg"]


def test_absent_removes_the_record_from_every_disk_once(played):
    results, disks, image = played
    removed, again = results["removed"], results["removed_again"]
    assert removed["changed"] is True and removed["diff"]["before"]["NetBIOSName"] == "PC-0002"
    assert again["changed"] is False
    assert disks.read("sda", STORE_OFFSET, 4) == b"\0" * 4
    assert image.read_bytes() == bytes(1 << 20), "a byte of the identity was left on the image"


@pytest.mark.parametrize("fields, arguments", [
    ({"DHCP": False, "JustImaged": "yes", "ScriptedImage": 0},
     ["JustImaged=true", "ScriptedImage=false", "DHCP=off"]),
    ({"DNSServers": ["10.0.0.1", "10.0.0.2"], "Tree": "Müller", "WorkstationID": 123},
     ["Tree=Müller", "WorkstationID=123", "DNSServerCount=2", "DNSServer1=10.0.0.1", "DNSServer2=10.0.0.2"]),
    ({"DNSServers": [], "DNSServerCount": 0, "NetBIOSName": "a=b; rm -rf /"},
     ["NetBIOSName=a=b; rm -rf /", "DNSServerCount=0"]),
    ({"Tree": True}, "Tree takes text"),
    ({"DHCP": "maybe"}, "DHCP takes true or false"),
    ({"DNSServers": "10.0.0.1"}, "DNSServers takes a list"),
    ({"DNSServers": ["10.0.0.1"], "DNSServerCount": 2}, "disagrees"),
    ({"NetBIOSName": "a\0b"}, "NUL"),
    ({"DNSServer1": "10.0.0.1"}, "not settable: DNSServer1"),
], ids=["flags-and-dhcp", "servers-text-number", "no-servers-and-shell-text", "bool-as-text", "bad-boolean",
        "servers-not-a-list", "count-disagrees", "nul", "server-slot-not-settable"])
def test_typed_values_become_the_editors_arguments_in_field_order(fields, arguments):
    module = load_module()
    if isinstance(arguments, list):
        assert module.build_assignments(fields) == arguments
    else:
        with pytest.raises(module.Refused, match=arguments):
            module.build_assignments(fields)


def test_the_programs_error_object_fails_the_task_with_its_status_and_message():
    module = load_module()
    editor = Path(os.environ["WEXEDIT_BIN_DIR"]) / "wexedit"

    class Module:
        """What _run_json uses of AnsibleModule: the real run, and a failure that stops."""

        def run_command(self, command, **_):
            done = subprocess.run(command, capture_output=True, text=True, stdin=subprocess.DEVNULL, timeout=60)
            return done.returncode, done.stdout, done.stderr

        def fail_json(self, **outcome):
            raise AssertionError(outcome)

    # A --disk without its path: a usage error, before any disk is opened.
    with pytest.raises(AssertionError) as failed:
        module._run_json(Module(), [str(editor), "--json", "--disk"])
    outcome = failed.value.args[0]
    assert outcome["msg"] == "wexedit exited with status 2: --disk needs the path of a disk or disk image"
    assert outcome["rc"] == 2 and outcome["result"]["error"]["status"] == 2
