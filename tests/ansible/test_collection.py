"""The wexedit.imaging collection as an Ansible user gets it: its tarball
installed offline into a fresh collections path, a play naming only fully
qualified names over simulated disks, the modules' documentation against
what they return, ansible-doc, and ansible-core's own module checks."""

import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

from test_ansible_module import SOURCE_DIR, SimDisks, ansible_environment, schema_validator

sys.path.insert(0, str(SOURCE_DIR / "tests" / "store"))
import disk_samples  # noqa: E402

COLLECTION = SOURCE_DIR / "ansible" / "collection"
MODULES = ("wexedit", "wexedit_info")
SANITY = Path("/usr/lib/python3/dist-packages/ansible_test/_util/controller/sanity")
# What Ansible adds to every module's result (the *_lines beside a returned
# stdout or stderr); the modules document the rest.
COMMON_KEYS = {"changed", "failed", "msg", "invocation", "diff", "warnings", "deprecations", "skipped",
               "stdout_lines", "stderr_lines"}


def require(program, package):
    if shutil.which(program) is None:
        pytest.skip(f"{program} is not installed (Debian package {package})")


@pytest.fixture(scope="module")
def installed(tmp_path_factory):
    """The collection installed from the build's tarball, and the environment that finds only it."""
    require("ansible-galaxy", "ansible-core")
    tarball = Path(os.environ["WEXEDIT_COLLECTION"])
    work = tmp_path_factory.mktemp("collection")
    env = ansible_environment(work)
    del env["ANSIBLE_LIBRARY"]
    env.update(ANSIBLE_COLLECTIONS_PATH=str(work / "collections"), ANSIBLE_COLLECTIONS_SCAN_SYS_PATH="0",
               ANSIBLE_GALAXY_SERVER="file:///nonexistent")
    subprocess.run(["ansible-galaxy", "collection", "install", "--offline", "-p", str(work / "collections"),
                    str(tarball)], env=env, check=True, capture_output=True, timeout=120)
    assert (work / "collections" / "ansible_collections" / "wexedit" / "imaging" / "MANIFEST.json").is_file()
    return work, env


@pytest.fixture(scope="module")
def played(installed):
    work, env = installed
    bin_dir = Path(os.environ["WEXEDIT_BIN_DIR"])
    disks = SimDisks(work / "disks")
    disks.add("sda", 1 << 20)
    preload = disks.env({})
    # A GPT whose entry array (LBA 2 to 33) lies over the record, its partition from 1 MiB.
    gpt_image = work / "gpt.img"
    gpt_image.write_bytes(bytes(disk_samples.gpt(512, disk_samples.LARGE_DISK, 2, 2048)))
    variables = dict(simdisk_environment=preload, results=str(work / "results.json"), gpt_image=str(gpt_image),
                     wexedit=str(bin_dir / "wexedit"), wexview=str(bin_dir / "wexview"))
    (work / "vars.json").write_text(json.dumps(variables))
    play = Path(__file__).with_name("collection_play.yml")
    run = subprocess.run(["ansible-playbook", "-i", "localhost,", "-e", f"@{work / 'vars.json'}", str(play)],
                         cwd=work, env=env, capture_output=True, text=True, timeout=240)
    assert run.returncode == 0, run.stdout + run.stderr
    results = json.loads((work / "results.json").read_text())
    results["gpt_image"] = gpt_image.read_bytes()
    return results


def load_yaml(text):
    """YAML, read by PyYAML (ansible-core's own dependency)."""
    return pytest.importorskip("yaml", reason="PyYAML is not installed (Debian package python3-yaml)").safe_load(text)


def documented(module):
    """The module's DOCUMENTATION and RETURN, read as Ansible reads them."""
    text = (COLLECTION / "plugins" / "modules" / f"{module}.py").read_text()
    blocks = dict(re.findall(r'^(DOCUMENTATION|RETURN) = r"""\n(.*?)^"""', text, re.S | re.M))
    return load_yaml(blocks["DOCUMENTATION"]), load_yaml(blocks["RETURN"])


def test_the_play_changes_once_checks_diffs_and_refuses(played):
    stamped, repeated, checked, diffed = (played[name] for name in ("stamped", "repeated", "checked", "diffed"))
    assert stamped["changed"] is True and stamped["record"]["Tree"] == "FLEET_TREE"
    assert repeated["changed"] is False and {d["result"] for d in repeated["result"]["disks"]} == {"unchanged"}
    assert checked["changed"] is True and checked["result"]["dryRun"] is True
    assert diffed["diff"] == {"before": {"NetBIOSName": "PC-0001"}, "after": {"NetBIOSName": "PC-0002"}}
    assert played["refused"]["failed"] is True and "IP '1.2.3' refused" in played["refused"]["msg"]


def test_make_room_moves_the_gpt_entry_array_only_when_asked_and_not_in_check_mode(played):
    refused, checked, made = played["gpt_refused"], played["room_checked"], played["room_made"]
    assert refused["failed"] is True and re.search(r"sgdisk --(adjust|move)-main-table=20 ", refused["msg"])
    assert "moved_tables" not in refused
    path = checked["result"]["disks"][0]["path"]
    assert checked["changed"] is True and not checked.get("failed")
    assert checked["moved_tables"] == [{"path": path, "before": 2, "after": 20}]
    key = f"GPT entry array sector of {path}"
    assert (checked["diff"]["before"][key], checked["diff"]["after"][key]) == (2, 20)
    original = bytes(disk_samples.gpt(512, disk_samples.LARGE_DISK, 2, 2048))
    assert played["gpt_after_check"]["stat"]["checksum"] == hashlib.sha1(original).hexdigest()
    assert made["changed"] is True and not made.get("failed") and made["moved_tables"][0]["after"] == 20
    assert [disk["result"] for disk in made["result"]["disks"]] == ["written"]
    image = played["gpt_image"]
    assert disk_samples.gpt_valid(image, 512) and int.from_bytes(image[512 + 72:512 + 80], "little") == 20
    partition = slice(2048 * 512, (disk_samples.LARGE_DISK // 512 - 33) * 512)  # to the last usable sector
    assert image[partition] == original[partition], "the partition's sectors changed"


def test_info_returns_the_viewers_object_and_changes_nothing(played):
    before, after, missing = played["info_before"], played["info_after"], played["info_missing"]
    validator = schema_validator("wexview")
    for info in (before, after, missing):
        assert info["changed"] is False
        validator.validate(info["view"])
    assert before["stored"] is False and before["view"]["schema"] == 1
    # Check mode does not hide the record: the diff run before it wrote PC-0002, the check run nothing.
    assert after["stored"] is True and after["record"]["NetBIOSName"] == "PC-0002"
    assert after["record"]["Tree"] == "FLEET_TREE"
    assert missing["failed"] is True and "/dev/sdq" in missing["msg"]


@pytest.mark.parametrize("module, task", [("wexedit", "stamped"), ("wexedit", "viewed"),
                                          ("wexedit", "room_made"), ("wexedit_info", "info_after")])
def test_return_documents_exactly_what_a_run_returns(played, module, task):
    _, returned = documented(module)
    result = {key for key in played[task] if not key.startswith("_ansible")} - COMMON_KEYS
    assert result <= set(returned), f"undocumented: {result - set(returned)}"
    always = {key for key, entry in returned.items() if entry["returned"] == "always"}
    assert always <= result, f"documented as always but missing: {always - result}"


def test_the_options_documented_are_the_options_taken():
    for module in MODULES:
        doc, _ = documented(module)
        text = (COLLECTION / "plugins" / "modules" / f"{module}.py").read_text()
        taken = re.search(r"argument_spec=dict\((.*?)\n        \),", text, re.S).group(1)
        assert set(doc["options"]) == set(re.findall(r"^\s+(\w+)=dict\(", taken, re.M)), module
        assert {"check_mode", "diff_mode", "platform"} <= set(doc["attributes"]) and doc["author"]


def test_ansible_doc_renders_both_modules(installed):
    _, env = installed
    for module in MODULES:
        run = subprocess.run(["ansible-doc", f"wexedit.imaging.{module}"], env=env, capture_output=True,
                             text=True, timeout=120)
        assert run.returncode == 0 and not run.stderr.strip(), run.stdout + run.stderr
        assert f"wexedit.imaging.{module}" in run.stdout and "ATTRIBUTES" in run.stdout.upper()


def test_galaxy_version_is_the_projects():
    galaxy = load_yaml((COLLECTION / "galaxy.yml").read_text())
    assert galaxy["version"] == (SOURCE_DIR / "VERSION").read_text().strip()


def test_the_modules_field_table_is_the_programs(tmp_path):
    generator = SOURCE_DIR / "ansible" / "gen_fields.py"
    subprocess.run([sys.executable, str(generator), "--check"], check=True, timeout=60)
    # A row the program gains makes the check fail: a copy of the tree with one more text field.
    for part in ("ansible/gen_fields.py", "fields/fields.h", "fields/fields.cpp",
                 "ansible/collection/plugins/modules/wexedit.py"):
        (tmp_path / part).parent.mkdir(parents=True, exist_ok=True)
        shutil.copy(SOURCE_DIR / part, tmp_path / part)
    table = tmp_path / "fields" / "fields.cpp"
    text = table.read_text()
    end = text.index("};", text.index(".documentedName"))
    row = '{.keyword = "Z", .documentedName = "Zone", .value = ValueKind::Text},\n'
    table.write_text(text[:end] + row + text[end:])
    header = tmp_path / "fields" / "fields.h"
    header.write_text(re.sub(r"FieldKeywordCount = (\d+)", lambda m: f"FieldKeywordCount = {int(m[1]) + 1}",
                             header.read_text()))
    stale = subprocess.run([sys.executable, str(tmp_path / "ansible" / "gen_fields.py"), "--check"],
                           capture_output=True, text=True, timeout=60)
    assert stale.returncode != 0 and '("Zone", "text")' in stale.stderr


def sanity_findings(tree):
    """validate-modules and pep8 of ansible-core's own sanity tests, run directly
    (ansible-test would set up its environments with pip): (path, test:code) each."""
    for module in ("voluptuous", "pycodestyle"):
        pytest.importorskip(module, reason=f"Debian package python3-{module} is not installed")
    validate = SANITY / "validate-modules"
    if not validate.is_dir():
        pytest.skip(f"{validate} is not there (Debian package ansible-core)")
    modules = [f"plugins/modules/{module}.py" for module in MODULES]
    env = dict(os.environ, PYTHONPATH=str(validate), ANSIBLE_COLLECTIONS_PATH=str(tree.parents[2]))
    run = subprocess.run([sys.executable, str(validate / "validate.py"), "--format", "json", "--arg-spec",
                          "--collection", "ansible_collections/wexedit/imaging", "--collection-version",
                          (SOURCE_DIR / "VERSION").read_text().strip()] + modules,
                         cwd=tree, env=env, capture_output=True, text=True, timeout=240)
    assert run.returncode in (0, 3) and run.stdout, run.stderr
    findings = {(path, f"validate-modules:{error['code']}")
                for path, report in json.loads(run.stdout).items() for error in report["errors"]}
    ignored = (SANITY / "pep8" / "current-ignore.txt").read_text().split()
    pep8 = subprocess.run([sys.executable, "-m", "pycodestyle", "--max-line-length", "160", "--config", os.devnull,
                           "--ignore", ",".join(ignored)] + modules, cwd=tree, capture_output=True, text=True,
                          timeout=120)
    findings |= {(line.split(":")[0], f"pep8:{line.split()[1]}") for line in pep8.stdout.splitlines()}
    return findings


def test_ansible_cores_module_checks_pass_or_are_declared(tmp_path):
    tree = tmp_path / "ansible_collections" / "wexedit" / "imaging"
    shutil.copytree(COLLECTION, tree)
    ignore = tree / "tests" / "sanity" / "ignore-2.14.txt"
    declared = {tuple(line.split("#")[0].split()) for line in ignore.read_text().splitlines() if line.strip()}
    assert all(reason.strip() for reason in re.findall(r"#(.*)", ignore.read_text())), "an ignore without its reason"
    findings = sanity_findings(tree)
    assert findings <= declared, f"undeclared: {sorted(findings - declared)}"
    assert declared <= findings, f"declared but no longer found: {sorted(declared - findings)}"
    # The checkers find what they should: a module without its author fails.
    module = tree / "plugins" / "modules" / "wexedit_info.py"
    module.write_text(module.read_text().replace("author:\n  - Wexedit Maintainers (@wexedit)\n", ""))
    missing_author = ("plugins/modules/wexedit_info.py", "validate-modules:invalid-documentation")
    assert sanity_findings(tree) - declared == {missing_author}
