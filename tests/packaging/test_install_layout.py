"""cmake --install honours CMAKE_INSTALL_PREFIX and DESTDIR, lays out every
shipped file, and the staged library is usable through its pkg-config file."""

import os
import shlex
import subprocess
import sys
from pathlib import Path

import pytest

from packaging_support import BUILD_DIR, SOURCE_DIR, project_version

sys.path.insert(0, str(SOURCE_DIR / "tests"))
import launcher  # noqa: E402

# path below the prefix -> what must be there: "file", "program" (an
# executable file) or "link:<target>"
LAYOUT = {
    "sbin/wexedit": "file",
    "sbin/wexview": "link:wexedit",
    "bin/pcinames": "file",
    "LIBDIR/libdevname.so.VERSION": "file",
    "LIBDIR/libdevname.so.1": "link:libdevname.so.VERSION",
    "LIBDIR/libdevname.so": "link:libdevname.so.1",
    "LIBDIR/pkgconfig/libdevname.pc": "file",
    "include/devname.h": "file",
    "include/devname_table_sizes.h": "file",
    "share/man/man8/wexedit.8": "file",
    "share/man/man8/wexview.8": "link:wexedit.8",
    "share/man/man3/libdevname.3": "file",
    "share/man/man1/pcinames.1": "file",
    "share/locale/de/LC_MESSAGES/wexedit.mo": "file",
    "share/bash-completion/completions/wexedit": "file",
    "share/bash-completion/completions/wexview": "link:wexedit",
    "share/wexedit/ansible/library/wexedit.py": "file",
    "share/wexedit/ansible/wexedit.fact": "program",
    "share/wexedit/schema/wexedit.schema.json": "file",
    "share/wexedit/schema/wexview.schema.json": "file",
    "share/ansible/collections/ansible_collections/wexedit/imaging/galaxy.yml": "file",
    "share/ansible/collections/ansible_collections/wexedit/imaging/meta/runtime.yml": "file",
    "share/ansible/collections/ansible_collections/wexedit/imaging/plugins/modules/wexedit.py": "file",
    "share/ansible/collections/ansible_collections/wexedit/imaging/plugins/modules/wexedit_info.py": "file",
}


def cache_value(name, default):
    cache = (BUILD_DIR / "CMakeCache.txt").read_text()
    for line in cache.splitlines():
        if line.startswith(name + ":"):
            return line.split("=", 1)[1]
    return default


def libdir(prefix):
    return cache_value("CMAKE_INSTALL_LIBDIR", "lib")


def relocatable_pc_file():
    """Whether libdevname.pc finds its prefix from its own place (the default)
    or names the configured prefix plainly, as a distribution's build has it."""
    return cache_value("WEX_PKGCONFIG_RELOCATABLE", "ON").upper() in ("ON", "1", "TRUE", "YES")


def install(stage, prefix):
    env = dict(os.environ, DESTDIR=str(stage))
    result = subprocess.run(["cmake", "--install", str(BUILD_DIR), "--prefix", prefix],
                            env=env, capture_output=True, text=True)
    assert result.returncode == 0, result.stdout + result.stderr
    return [Path(line) for line in (BUILD_DIR / "install_manifest.txt").read_text().splitlines()]


@pytest.fixture(scope="module", params=["/usr", "/opt/wex"])
def staged(request, tmp_path_factory):
    stage = tmp_path_factory.mktemp("stage")
    manifest = install(stage, request.param)
    return stage, request.param, manifest


def test_every_installed_path_lies_inside_destdir_under_the_prefix(staged):
    stage, prefix, manifest = staged
    assert manifest
    for path in manifest:
        assert str(path).startswith(prefix + "/"), path
        assert os.path.lexists(str(stage) + str(path)), path
    top = stage / prefix.lstrip("/")
    strays = [p for p in stage.rglob("*")
              if not (p == top or top in p.parents or p in top.parents)]
    assert strays == []


@pytest.mark.parametrize("relative, kind", sorted(LAYOUT.items()))
def test_layout_has_each_shipped_file(staged, relative, kind):
    stage, prefix, _ = staged
    relative, kind = (text.replace("VERSION", project_version()) for text in (relative, kind))
    path = stage / prefix.lstrip("/") / relative.replace("LIBDIR", libdir(prefix))
    if kind in ("file", "program"):
        assert path.is_file() and not path.is_symlink(), path
        assert kind == "file" or os.access(path, os.X_OK), f"{path} is not executable"
    else:
        assert path.is_symlink() and os.readlink(path) == kind[5:], path
        assert path.resolve().is_file()


@pytest.mark.parametrize("role", ["wexedit", "wexview"])
def test_installed_schemas_are_the_ones_the_tests_validate_against(staged, role):
    stage, prefix, _ = staged
    installed = stage / prefix.lstrip("/") / "share" / "wexedit" / "schema" / f"{role}.schema.json"
    assert installed.read_bytes() == (SOURCE_DIR / "cli" / "schema" / f"{role}.schema.json").read_bytes()


def test_staged_library_builds_and_runs_a_consumer_through_pkg_config(staged, tmp_path):
    stage, prefix, _ = staged
    root = stage / prefix.lstrip("/")
    pc_dir = root / libdir(prefix) / "pkgconfig"
    env = dict(os.environ, PKG_CONFIG_PATH=str(pc_dir), PKG_CONFIG_SYSROOT_DIR="")
    if not relocatable_pc_file():
        # The file names the configured prefix, so it is right for that prefix
        # only, and pkg-config reaches the staged copy through the sysroot.
        if prefix != cache_value("CMAKE_INSTALL_PREFIX", ""):
            pytest.skip("a pc file with a fixed prefix is made for its configured prefix alone")
        env.update(PKG_CONFIG_SYSROOT_DIR=str(stage), PKG_CONFIG_ALLOW_SYSTEM_CFLAGS="1",
                   PKG_CONFIG_ALLOW_SYSTEM_LIBS="1")
    flags = subprocess.run(["pkg-config", "--cflags", "--libs", "libdevname"], env=env,
                           capture_output=True, text=True, check=True).stdout
    assert str(root.resolve()) in str(Path(flags.split()[0][2:]).resolve())
    source = SOURCE_DIR / "tests" / "packaging" / "consumer.c"
    binary = tmp_path / "consumer"
    compiler = os.environ.get("WEX_C_COMPILER", "cc")
    extra = shlex.split(os.environ.get("WEX_C_FLAGS", ""))
    sanitize = ["-fsanitize=address,undefined"] if os.environ.get("WEX_SANITIZE") == "1" else []
    subprocess.run([compiler, *extra, *sanitize, str(source), "-o", str(binary), *flags.split()],
                   check=True)
    run_env = dict(os.environ, LD_LIBRARY_PATH=str(root / libdir(prefix)))
    result = launcher.run(binary, env=run_env, capture_output=True, text=True)
    assert result.returncode == 0, result.stdout + result.stderr
    assert result.stdout == ("Ethernet interface controller: "
                             "Intel Corporation 82557 Fast Ethernet PRO/100\n")


def title_line(page):
    return next(line for line in (BUILD_DIR / "man" / page).read_text().splitlines()
                if line.startswith(".TH "))


@pytest.mark.parametrize("place", ["pc file", "wexedit.8", "pcinames.1", "libdevname.3",
                                   "debian/changelog"])
def test_every_stated_version_is_the_project_version(place):
    version = project_version()
    if place == "pc file":
        text = (BUILD_DIR / "devname" / "libdevname.pc").read_text()
        assert f"\nVersion: {version}\n" in text
        # Relocatable by default; a distribution's build names its fixed prefix.
        prefix = next(line for line in text.splitlines() if line.startswith("prefix="))
        if relocatable_pc_file():
            assert prefix.startswith("prefix=${pcfiledir}/"), prefix
        else:
            assert prefix == "prefix=" + cache_value("CMAKE_INSTALL_PREFIX", ""), prefix
    elif place == "debian/changelog":
        # A native package: the package version is the project version itself.
        stated = subprocess.run(["dpkg-parsechangelog", "-S", "Version", "-l",
                                 str(SOURCE_DIR / "debian" / "changelog")],
                                capture_output=True, text=True, check=True).stdout.strip()
        assert stated == version
    else:
        assert f" {version}\" " in title_line(place) and "@" not in title_line(place)
