"""docs/ARCHITECTURE.md against the tree: the folders it names exist, it names
every top-level folder, and no source file includes a folder that its row of
the layer table does not allow."""
import os
import pathlib
import re
import subprocess

import pytest

ROOT = pathlib.Path(os.environ.get("WEX_SOURCE_DIR", pathlib.Path(__file__).resolve().parents[1]))
PAGE = (ROOT / "docs" / "ARCHITECTURE.md").read_text(encoding="utf-8")
NAMED = set(re.findall(r"`(\.?[A-Za-z0-9_.-]+(?:/[A-Za-z0-9_.-]+)*)/`", PAGE))


def tracked_files():
    """The tree's own files: git's list, or (in an unpacked source tarball) every
    file outside build trees and hidden folders."""
    try:
        listing = subprocess.run(["git", "-C", str(ROOT), "ls-files"], capture_output=True,
                                 text=True, check=True).stdout.split()
        if listing:
            return listing
    except (OSError, subprocess.CalledProcessError):
        pass

    def build_tree(top):
        return top == "build" or top.startswith("obj-") or (ROOT / top / "CMakeCache.txt").exists()

    files = []
    for path in ROOT.rglob("*"):
        parts = path.relative_to(ROOT).parts
        if path.is_file() and not parts[0].startswith(".") and not build_tree(parts[0]):
            files.append("/".join(parts))
    return files


def layer_table():
    """The layer table's rows: folder -> the folders its files may include."""
    rows = {}
    for line in PAGE.splitlines():
        cells = [cell.strip() for cell in line.strip().strip("|").split("|")]
        if len(cells) == 3 and cells[0].startswith("`") and cells[0].endswith("/`"):
            rows[cells[0].strip("`/")] = set(re.findall(r"`([^`]+)/`", cells[2]))
    return rows


def test_every_named_folder_exists():
    missing = sorted(name for name in NAMED if not (ROOT / name).is_dir())
    assert not missing, f"docs/ARCHITECTURE.md names folders that do not exist: {missing}"


def test_every_top_level_folder_is_named():
    top = {name.split("/")[0] for name in tracked_files() if "/" in name}
    unnamed = sorted(top - {name.split("/")[0] for name in NAMED if "/" not in name})
    assert not unnamed, f"docs/ARCHITECTURE.md does not name the top-level folders {unnamed}"


LAYERS = layer_table()


@pytest.mark.parametrize("folder", sorted(LAYERS))
def test_includes_stay_within_the_layer_table(folder):
    allowed = LAYERS[folder] | {folder}
    wrong = []
    for name in tracked_files():
        if not name.startswith(folder + "/") or not name.endswith((".cpp", ".h", ".c")):
            continue
        if "/bench/" in name:
            continue  # the benchmarks are tools over the library, not part of it
        text = (ROOT / name).read_text(encoding="utf-8", errors="replace")
        for included in re.findall(r'^#include "([^"]+)"', text, re.MULTILINE):
            if "/" not in included:
                continue  # a file of the same folder
            if not any(included.startswith(f + "/") for f in allowed):
                wrong.append(f"{name}: {included}")
    assert not wrong, f"{folder}/ may include only {sorted(allowed)}: {wrong}"


def test_the_layer_table_covers_the_program():
    assert {"store", "program", "fields", "tui", "cli"} <= set(LAYERS)
