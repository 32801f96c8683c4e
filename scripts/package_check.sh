#!/usr/bin/env bash
# Builds the Debian packages from a build tree, installs them into this
# machine, exercises what they installed and removes them again.
#
#   bash scripts/package_check.sh <build-dir>
#
# Needs root (dpkg -i). Safe to run again after a failure: packages left
# installed by an earlier run are purged first, and everything is cleaned up
# on exit, whether the checks passed or not.
set -euo pipefail

[ $# -eq 1 ] || { echo "usage: $0 <build-dir>" >&2; exit 2; }
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
packages=(libdevname-dev wexedit libdevname1)   # removal order: dependants first
work=$(mktemp -d)

say() { echo "=== package_check: $*"; }
fail() { echo "package_check: FAILED: $*" >&2; exit 1; }
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

purge_all() {
  local p
  for p in "${packages[@]}"; do
    if dpkg-query -W "$p" >/dev/null 2>&1; then dpkg -P "$p" >/dev/null 2>&1 || true; fi
  done
}
cleanup() {
  local status=$?
  purge_all
  rm -rf "$work"
  [ $status -eq 0 ] || echo "package_check: cleaned up after a failure (status $status)" >&2
  exit $status
}
trap cleanup EXIT
trap 'exit 130' INT TERM

[ "$(id -u)" -eq 0 ] || fail "dpkg -i needs root"
purge_all

say "building the packages"
cmake --build "$build" -j "${JOBS:-2}" >/dev/null
(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1) \
  || { cat "$work/cpack.log"; fail "cpack"; }
debs=()
for p in wexedit libdevname1 libdevname-dev; do
  deb=$(ls "$work"/out/${p}_*.deb 2>/dev/null | head -n 1)
  [ -n "$deb" ] || fail "no package $p was built"
  debs+=("$deb")
done

say "checking the package metadata"
depends=$(dpkg-deb -f "${debs[0]}" Depends)
echo "wexedit Depends: $depends"
for needed in libnewt libc6; do
  [[ $depends == *"$needed"* ]] || fail "wexedit does not depend on $needed"
done
dpkg-deb -c "${debs[1]}" >"$work/library.contents"
grep -q '/libdevname.so -> ' "$work/library.contents" \
  || fail "libdevname1 lacks the unversioned libdevname.so link"
[[ $(dpkg-deb -f "${debs[2]}" Depends) == *libdevname1* ]] || fail "libdevname-dev does not depend on libdevname1"

say "installing"
dpkg -i "${debs[@]}" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -i"; }
for p in "${packages[@]}"; do
  installed "$p" || fail "$p is not installed"
  dpkg -L "$p" >>"$work/files"
done

say "wexview -s from the installed program"
wexview=$(command -v wexview || true)
[ "$wexview" = /usr/sbin/wexview ] || [ -x /usr/sbin/wexview ] || fail "wexview is not in /usr/sbin"
simdisk=$build/tests/simdisk/libsimdisk.so
if [ -f "$simdisk" ]; then
  # Over a simulated disk, so that no real disk of this machine is touched.
  mkdir -p "$work/disks" && truncate -s 1M "$work/disks/sda"
  run() { env LD_PRELOAD="$simdisk" SIMDISK_DIR="$work/disks" "$@"; }
  run /usr/sbin/wexedit Tree=PackageCheck NetBIOSName=PKG-PC >/dev/null \
    || fail "the installed wexedit could not write the simulated disk"
  run /usr/sbin/wexview -s >"$work/script" || fail "wexview -s"
  grep -qx 'export DEZE_TREE_NAME=PackageCheck' "$work/script" || { cat "$work/script"; fail "wexview -s output"; }
  # The German catalogue from the package, in the C library's default folder.
  german=$(run env LC_ALL=C.UTF-8 LANGUAGE=de /usr/sbin/wexview Foo || true)
  [ "$german" = "Unbekannter Parameter (0): 'Foo'" ] || fail "LANGUAGE=de: got '$german'"
else
  /usr/sbin/wexview -s >"$work/script" || fail "wexview -s"
  grep -q '^export DEZE_VERSION=' "$work/script" || fail "wexview -s output"
fi
cat "$work/script"

say "manual pages"
for page in wexedit wexview; do man -w "$page" >/dev/null || fail "man $page"; done
man -w 3 libdevname >/dev/null || fail "man 3 libdevname"
[ -f /usr/share/bash-completion/completions/wexview ] || fail "no completion for wexview"

say "library consumers: pcinames and a program built with pkg-config"
mkdir -p "$work/sys/bus/pci/devices/0000:00:19.0"
printf '0x8086\n' >"$work/sys/bus/pci/devices/0000:00:19.0/vendor"
printf '0x1229\n' >"$work/sys/bus/pci/devices/0000:00:19.0/device"
printf '0x020000\n' >"$work/sys/bus/pci/devices/0000:00:19.0/class"
listed=$(pcinames --sysfs "$work/sys")
expected="0000:00:19.0 Ethernet interface controller: Intel Corporation 82557 Fast Ethernet PRO/100"
[ "$listed" = "$expected" ] || fail "pcinames printed '$listed'"
pcinames || [ $? -eq 2 ] || fail "pcinames on this machine"
# shellcheck disable=SC2046
cc -o "$work/consumer" "$root/tests/packaging/consumer.c" $(pkg-config --cflags --libs libdevname) \
  || fail "building against the installed libdevname"
"$work/consumer" || fail "the consumer of the installed libdevname"

say "removing"
for p in "${packages[@]}"; do dpkg -r "$p" >/dev/null || fail "dpkg -r $p"; done
for p in "${packages[@]}"; do
  # Packages without configuration files are gone entirely after dpkg -r.
  if dpkg-query -W "$p" >/dev/null 2>&1; then dpkg -P "$p" >/dev/null || fail "dpkg -P $p"; fi
done
for p in "${packages[@]}"; do
  ! dpkg-query -W "$p" >/dev/null 2>&1 || fail "$p is still known to dpkg"
done
left=()
while IFS= read -r path; do
  [ -e "$path" ] || [ -L "$path" ] || continue
  [ -d "$path" ] && [ ! -L "$path" ] && continue    # shared folders such as /usr/bin stay
  left+=("$path")
done <"$work/files"
[ ${#left[@]} -eq 0 ] || fail "left behind: ${left[*]}"
say "all package checks passed"
