#!/usr/bin/env bash
# Builds the Debian packages with dpkg-buildpackage from a copy of the source
# tree in a clean Debian chroot, as a build daemon does, lints them, checks
# what they carry, installs them into this machine, exercises what they
# installed and removes them again.
#
#   bash scripts/package_check.sh <build-dir>
#
# <build-dir> is a native build tree of the project; its simulated-disk library
# lets the installed wexedit run without touching a real disk. Needs root
# (dpkg -i). Safe to run again after a failure: packages left installed by an
# earlier run are purged first, and everything is cleaned up on exit, whether
# the checks passed or not.
#
# The package build is a build daemon's: dpkg-buildpackage -b with the whole
# test suite on, under the dpkg-buildflags of the chroot's Debian release,
# as an unprivileged user, in a debootstrapped chroot that holds only
# build-essential and the Build-Depends (scripts/lib/buildd_chroot.sh; the
# chroot is cached as a tarball in build/buildd-chroot/). A missing
# Build-Depends or a test that only passes under our own flags fails here.
# Without debootstrap or a reachable Debian mirror the check fails: it never
# falls back to building on this machine. JOBS sets the build's parallelism.
# Last, the library packages are built for i386 as well and their contents
# checked (needs binutils-i686-linux-gnu and the i386 package index, through
# scripts/fetch-i386.sh); that cross build runs no tests, as its programs are
# for another architecture.
set -euo pipefail

[ $# -eq 1 ] || { echo "usage: $0 <build-dir>" >&2; exit 2; }
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
packages=(ansible-collection-wexedit-imaging libdevname-dev pcinames wexedit libdevname1)   # removal order: dependants first
debug_packages=(wexedit-dbgsym pcinames-dbgsym libdevname1-dbgsym)
work=$(mktemp -d)
chroot_dir=$root/build/buildd-root
# shellcheck source=scripts/lib/buildd_chroot.sh
. "$root/scripts/lib/buildd_chroot.sh"

say() { echo "=== package_check: $*"; }
fail() { echo "package_check: FAILED: $*" >&2; exit 1; }
installed() { [[ $(dpkg-query -W -f='${Status}' "$1" 2>/dev/null) == "install ok installed" ]]; }

purge_all() {
  local p
  for p in "${debug_packages[@]}" "${packages[@]}"; do
    if dpkg-query -W "$p" >/dev/null 2>&1; then dpkg -P "$p" >/dev/null 2>&1 || true; fi
  done
}
cleanup() {
  local status=$?
  purge_all
  rm -rf "$work" "$chroot_dir"
  [ $status -eq 0 ] || echo "package_check: cleaned up after a failure (status $status)" >&2
  exit $status
}
trap cleanup EXIT
trap 'exit 130' INT TERM

[ "$(id -u)" -eq 0 ] || fail "dpkg -i needs root"
purge_all

# dpkg-buildpackage writes its packages next to the source folder, so it works
# on a copy: the files git tracks or would track, as they are in the work tree.
say "copying the source tree"
mkdir "$work/src"
(cd "$root" && git ls-files -z --cached --others --exclude-standard \
  | while IFS= read -r -d '' f; do [ -e "$f" ] || [ -L "$f" ] && printf '%s\0' "$f"; done \
  | tar --null -T - -cf -) | tar -xf - -C "$work/src"
version=$(dpkg-parsechangelog -l "$work/src/debian/changelog" -S Version)
arch=$(dpkg-architecture -q DEB_HOST_ARCH)
multiarch=$(dpkg-architecture -q DEB_HOST_MULTIARCH)

say "source package"
(cd "$work" && dpkg-source -b src >"$work/source.log" 2>&1) || { cat "$work/source.log"; fail "dpkg-source -b"; }

say "a clean Debian build chroot"
buildd_chroot "$work/src" "$root/build/buildd-chroot" "$chroot_dir" || fail "no build chroot"
say "building the packages in the chroot (dpkg-buildpackage -b, tests on)"
start=$SECONDS
buildd_build "$chroot_dir" /build/src "$work/build.log" \
  || { grep -E -B2 -A12 ' (FAILED|Failed|[0-9]+% tests passed)' "$work/build.log" | tail -n 80
       tail -n 30 "$work/build.log"; fail "dpkg-buildpackage in the chroot"; }
echo "built in $((SECONDS - start)) s"
cp "$chroot_dir"/build/*.deb "$chroot_dir"/build/*.changes "$chroot_dir"/build/*.buildinfo "$work/"
# The collection is one package for every architecture (Architecture: all).
deb() {
  if [ "$1" = ansible-collection-wexedit-imaging ]; then echo "$work/${1}_${version}_all.deb"
  else echo "$work/${1}_${version}_${arch}.deb"; fi
}
for p in "${packages[@]}" "${debug_packages[@]}"; do
  [ -f "$(deb "$p")" ] || fail "no package $p was built"
done

say "lintian --pedantic (fails on any error or warning that is not overridden)"
# Every tag down to info is shown, overridden ones with their reasons (O:); the verdict is
# read from the tags, because lintian's own --fail-on also counts overridden
# tags once --show-overrides is given. Status 1 is lintian failing to run.
lint_status=0
lintian --pedantic --display-info --display-experimental --show-overrides \
  "$work/wexedit_${version}_${arch}.changes" "$work/wexedit_${version}.dsc" >"$work/lintian.log" 2>&1 \
  || lint_status=$?
grep -v '^running with root privileges' "$work/lintian.log" || true
[ $lint_status -eq 0 ] || fail "lintian did not run through (status $lint_status)"
! grep -q '^[EW]: ' "$work/lintian.log" || fail "lintian found errors or warnings"

say "package metadata"
field() { dpkg-deb -f "$(deb "$1")" "$2"; }
# Installed-Size counts every file once: each regular file's size in whole
# KiB and one KiB for each folder and link, as dpkg does, plus a few KiB for
# the package's control files.
for p in "${packages[@]}"; do
  kib=$(dpkg-deb --fsys-tarfile "$(deb "$p")" | tar -tvf - \
    | awk '$1 ~ /^-/ { kib += int(($3 + 1023) / 1024); next } { kib += 1 } END { print kib + 0 }')
  size=$(field "$p" Installed-Size)
  [ "$size" -ge "$kib" ] && [ "$size" -le $((kib + 8)) ] || fail "$p: Installed-Size $size KiB, its files $kib KiB"
done
# (awk reads to the end: a reader that stops early would kill dpkg-deb with SIGPIPE.)
summaries=$(for p in "${packages[@]}"; do field "$p" Description | awk 'NR == 1'; done | sort | uniq -d)
[ -z "$summaries" ] || fail "packages share a summary: $summaries"
depends=$(field libdevname1 Depends)
[[ $depends != *libstdc++* && $depends != *libgcc* ]] || fail "libdevname1 Depends: $depends"
[[ $(field wexedit Depends) == *libnewt* ]] || fail "wexedit does not depend on newt"
[[ $(field libdevname-dev Depends) == *"libdevname1 (= $version)"* ]] || fail "libdevname-dev Depends"
[[ $(field pcinames Depends) == *libdevname1* ]] || fail "pcinames does not depend on libdevname1"
[ "$(field libdevname1 Multi-Arch)" = same ] || fail "libdevname1 is not Multi-Arch: same"
# The description names the disks and the image files the program handles,
# and the libblkid it loads at run time is declared.
description=$(field wexedit Description)
for word in NVMe virtio "image file"; do
  [[ $description == *"$word"* ]] || fail "the wexedit description does not mention $word"
done
[[ $(field wexedit Recommends) == *libblkid1* ]] || fail "wexedit does not recommend libblkid1"
# Packed relative relocations load only with glibc 2.36 or later, a need that
# no imported symbol shows. check_relr LIBRARY DEPENDS
check_relr() {
  if grep -q GLIBC_ABI_DT_RELR <<<"$(readelf -V "$1")"; then
    [[ $2 == *"libc6 (>= 2.36)"* ]] || fail "$1 needs glibc 2.36 for DT_RELR, Depends: $2"
  fi
}
mkdir "$work/library"
dpkg-deb -x "$(deb libdevname1)" "$work/library"
check_relr "$work/library/usr/lib/$multiarch/libdevname.so.$version" "$depends"

dpkg-deb -c "$(deb libdevname1)" >"$work/library.contents"
grep -q "usr/lib/$multiarch/libdevname.so -> libdevname.so.1\$" "$work/library.contents" \
  || fail "libdevname1 lacks the unversioned libdevname.so link in the multiarch folder"
dpkg-deb -c "$(deb wexedit)" >"$work/program.contents"
for doc in README.md.gz NEWS.gz; do
  grep -q "usr/share/doc/wexedit/$doc\$" "$work/program.contents" || fail "wexedit lacks /usr/share/doc/wexedit/$doc"
done
dpkg-deb -c "$(deb libdevname-dev)" >"$work/development.contents"
grep -q "usr/lib/$multiarch/pkgconfig/libdevname.pc\$" "$work/development.contents" \
  || fail "libdevname.pc is not in the multiarch pkg-config folder"
# The packaged pkg-config file names its folders plainly.
mkdir "$work/development"
dpkg-deb -x "$(deb libdevname-dev)" "$work/development"
pc=$work/development/usr/lib/$multiarch/pkgconfig/libdevname.pc
# shellcheck disable=SC2016  # grep looks for the text ${prefix} itself
grep -qx 'prefix=/usr' "$pc" && grep -qx "libdir=\${prefix}/lib/$multiarch" "$pc" \
  && grep -qx 'includedir=${prefix}/include' "$pc" && ! grep -q '\.\.\|pcfiledir' "$pc" \
  || { cat "$pc"; fail "libdevname.pc does not name /usr and its folders plainly"; }
# Free software: Expat for our files, named in the copyright file of each package.
for p in "${packages[@]}"; do
  dpkg-deb --fsys-tarfile "$(deb "$p")" | tar -xOf - "./usr/share/doc/$p/copyright" >"$work/copyright"
  grep -q '^License: Expat$' "$work/copyright" && ! grep -qi 'all rights reserved' "$work/copyright" \
    || fail "$p: the copyright file does not give the Expat licence"
done
[ -f "$root/LICENSE" ] && grep -q '^MIT License' "$root/LICENSE" || fail "no MIT LICENSE at the root"
# "Intruments" is the Plug and Play list's spelling, and the override says so.
dpkg-deb --fsys-tarfile "$(deb libdevname1)" | tar -xOf - ./usr/share/lintian/overrides/libdevname1 \
  | grep -q '^#.*Plug and Play list.*Intruments' || fail "the spelling override does not name the Plug and Play list"
# Configured with the /usr prefix, the install puts the library in the multiarch folder.
grep -q -- '-DCMAKE_INSTALL_PREFIX=/usr' "$root/README.md" || fail "README's install line does not configure /usr"
mkdir "$work/control"
dpkg-deb -e "$(deb libdevname1)" "$work/control"
grep -qx 'activate-noawait ldconfig' "$work/control/triggers" || fail "libdevname1 lacks the ldconfig trigger"
! grep -qs ldconfig "$work/control/postinst" "$work/control/postrm" || fail "a maintainer script runs ldconfig"
exported=$(sed -n '/global:/,/local:/{s/^ *\([A-Za-z_][A-Za-z0-9_]*\);.*/\1/p}' "$root/devname/devname.map" | sort)
listed=$(sed -n 's/^ \([A-Za-z_][A-Za-z0-9_]*\)@Base .*/\1/p' "$work/control/symbols" | sort)
[ -n "$exported" ] && [ "$exported" = "$listed" ] \
  || fail "the symbols file does not list exactly the exported names: $listed"

# Hardening from dpkg-buildflags: position-independent, read-only relocations
# bound at start, fortified C library calls.
mkdir "$work/program"
dpkg-deb -x "$(deb wexedit)" "$work/program"
headers=$(readelf -W -lhd "$work/program/usr/sbin/wexedit")
grep -q 'DYN (Position-Independent Executable' <<<"$headers" || fail "wexedit is not PIE"
grep -q GNU_RELRO <<<"$headers" || fail "wexedit lacks RELRO"
grep -Eq 'BIND_NOW|FLAGS_1.*NOW' <<<"$headers" || fail "wexedit is not bound at start"
grep -q '__[a-z]*_chk' <<<"$(readelf -W --dyn-syms "$work/program/usr/sbin/wexedit")" || fail "wexedit is not fortified"

say "installing"
all_debs=()
for p in "${packages[@]}" "${debug_packages[@]}"; do all_debs+=("$(deb "$p")"); done
dpkg -i "${all_debs[@]}" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -i"; }
for p in "${packages[@]}" "${debug_packages[@]}"; do
  installed "$p" || fail "$p is not installed"
  dpkg -L "$p" >>"$work/files"
done

say "wexedit and wexview from the installed program"
[ -x /usr/sbin/wexview ] || fail "wexview is not in /usr/sbin"
[[ $(/usr/sbin/wexview --version) == "wexview (wexedit) $version"$'\n'* ]] || fail "wexview --version"
[[ $(/usr/sbin/wexedit --help) == "Usage: wexedit "* ]] || fail "wexedit --help"
cmake --build "$build" --target simdisk >/dev/null 2>&1 || true
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
  cat "$work/script"
  # The Ansible fact prints the viewer's JSON for ansible_local.
  fact=/usr/share/wexedit/ansible/wexedit.fact
  [ -x "$fact" ] && [ -f /usr/share/wexedit/ansible/library/wexedit.py ] || fail "no Ansible module and fact"
  run "$fact" | python3 -c 'import json, sys; assert json.load(sys.stdin)["record"]["Tree"] == "PackageCheck"' \
    || fail "the installed wexedit.fact does not show the record as JSON"
  # The JSON objects carry their schema version, and pass the schemas the package installs.
  schemas=/usr/share/wexedit/schema
  run /usr/sbin/wexview --json >"$work/view.json" || fail "wexview --json"
  run /usr/sbin/wexedit --json --dry-run Tree=PackageCheck2 >"$work/edit.json" || fail "wexedit --json --dry-run"
  for role in wexview wexedit; do
    object=$work/${role#wex}.json
    jq -e '.schema == 1' "$object" >/dev/null || { cat "$object"; fail "$role --json: no schema 1 (jq)"; }
    python3 -c 'import json, sys, jsonschema; jsonschema.Draft202012Validator(json.load(open(sys.argv[1]))).validate(json.load(open(sys.argv[2])))' \
      "$schemas/$role.schema.json" "$object" || fail "$role --json does not pass $schemas/$role.schema.json"
  done
  [ "$(jq -r '.disks[0].result' "$work/edit.json")" = would-write ] || fail "wexedit --json --dry-run: $(cat "$work/edit.json")"
else
  echo "no simulated disks in $build: the installed program is not run over a disk"
fi

say "the Ansible collection on Ansible's default collections path"
[ "$(field ansible-collection-wexedit-imaging Architecture)" = all ] || fail "the collection is not Architecture: all"
collection=/usr/share/ansible/collections/ansible_collections/wexedit/imaging
for module in wexedit wexedit_info; do
  [ -f "$collection/plugins/modules/$module.py" ] || fail "no module $module in $collection"
  if command -v ansible-doc >/dev/null; then
    # No configuration: the default path is the one the package installs into.
    env -u ANSIBLE_CONFIG -u ANSIBLE_COLLECTIONS_PATH HOME="$work" ansible-doc "wexedit.imaging.$module" \
      >"$work/doc-$module.txt" 2>&1 || { cat "$work/doc-$module.txt"; fail "ansible-doc wexedit.imaging.$module"; }
  fi
done

say "manual pages and completion"
for page in wexedit wexview; do man -w "$page" >/dev/null || fail "man $page"; done
man -w 3 libdevname >/dev/null || fail "man 3 libdevname"
man -w 1 pcinames >/dev/null || fail "man 1 pcinames"
[ -f /usr/share/bash-completion/completions/wexview ] || fail "no completion for wexview"

say "library consumers: pcinames and a program built with pkg-config"
mkdir -p "$work/sys/bus/pci/devices/0000:00:19.0"
printf '0x8086\n' >"$work/sys/bus/pci/devices/0000:00:19.0/vendor"
printf '0x1229\n' >"$work/sys/bus/pci/devices/0000:00:19.0/device"
printf '0x020000\n' >"$work/sys/bus/pci/devices/0000:00:19.0/class"
listed=$(pcinames -nn --sysfs "$work/sys")
expected="00:19.0 Ethernet interface controller [0200]: Intel Corporation 82557 Fast Ethernet PRO/100 [8086:1229]"
[ "$listed" = "$expected" ] || fail "pcinames printed '$listed'"
pcinames >/dev/null || [ $? -eq 2 ] || fail "pcinames on this machine"
# shellcheck disable=SC2046  # pkg-config's flags are separate words
cc -o "$work/consumer" "$root/tests/packaging/consumer.c" $(pkg-config --cflags --libs libdevname) \
  || fail "building against the installed libdevname"
"$work/consumer" || fail "the consumer of the installed libdevname"
flags=$(pkg-config --cflags --libs libdevname | xargs)
[ "$flags" = "-ldevname" ] || fail "pkg-config gives more than -ldevname for the system folders: $flags"

# debian/tests against the installed packages, with autopkgtest's null
# testbed: this machine itself, which the tests leave alone (their one edit
# goes to an image file under \$AUTOPKGTEST_TMP through --disk).
say "autopkgtest (null testbed) of the installed packages"
ap_status=0
if command -v autopkgtest >/dev/null; then
  autopkgtest -B "${all_debs[@]}" "$work/src" --output-dir "$work/autopkgtest" -- null \
    >"$work/autopkgtest.log" 2>&1 || ap_status=$?
  cat "$work/autopkgtest/summary" 2>/dev/null || tail -n 40 "$work/autopkgtest.log"
else
  ap_status=127
fi
case $ap_status in
  0)
    # shellcheck disable=SC2013  # a Tests: line lists test names between blanks
    for t in $(sed -n 's/^Tests: *//p' "$work/src/debian/tests/control"); do
      grep -Eq "^$t +PASS" "$work/autopkgtest/summary" || fail "autopkgtest did not pass $t"
    done ;;
  2) fail "autopkgtest skipped a test" ;;
  4 | 6) fail "an autopkgtest failed" ;;
  *)
    # autopkgtest could not run here: the tests are run the way it runs
    # them, from the source tree, each with a folder of its own.
    echo "autopkgtest did not run (status $ap_status): running debian/tests directly"
    # shellcheck disable=SC2013  # a Tests: line lists test names between blanks
    for t in $(sed -n 's/^Tests: *//p' "$work/src/debian/tests/control"); do
      mkdir "$work/ap-$t"
      (cd "$work/src" && AUTOPKGTEST_TMP="$work/ap-$t" "debian/tests/$t") || fail "debian/tests/$t"
    done ;;
esac

say "removing"
for p in "${debug_packages[@]}" "${packages[@]}"; do dpkg -r "$p" >/dev/null || fail "dpkg -r $p"; done
for p in "${debug_packages[@]}" "${packages[@]}"; do
  # Packages without configuration files are gone entirely after dpkg -r.
  if dpkg-query -W "$p" >/dev/null 2>&1; then dpkg -P "$p" >/dev/null || fail "dpkg -P $p"; fi
  ! dpkg-query -W "$p" >/dev/null 2>&1 || fail "$p is still known to dpkg"
done
left=()
while IFS= read -r path; do
  [ -e "$path" ] || [ -L "$path" ] || continue
  [ -d "$path" ] && [ ! -L "$path" ] && continue    # shared folders such as /usr/bin stay
  left+=("$path")
done <"$work/files"
[ ${#left[@]} -eq 0 ] || fail "left behind: ${left[*]}"

# A purge leaves nothing that keeps the packages from installing again.
say "installing again after the purge, and purging"
dpkg -i "${all_debs[@]}" >"$work/dpkg-again.log" 2>&1 || { cat "$work/dpkg-again.log"; fail "dpkg -i after the purge"; }
[[ $(/usr/sbin/wexview --version) == "wexview (wexedit) $version"$'\n'* ]] || fail "wexview --version after reinstalling"
[ "$(pcinames -nn --sysfs "$work/sys")" = "$expected" ] || fail "pcinames after reinstalling"
for p in "${debug_packages[@]}" "${packages[@]}"; do dpkg -P "$p" >/dev/null || fail "dpkg -P $p after reinstalling"; done

# The library packages for i386, built by dpkg-buildpackage -a i386 with the
# pkg.wexedit.libonly profile (the library needs no newt). The compilers are
# this machine's multilib ones with -m32; the i386 binutils strip and read
# the objects. The C library's i386 package, unpacked with its control files
# into the copy's debian/ folder, is where dpkg-shlibdeps finds libc.so.6 and
# the symbols that give libdevname1 its dependency, as on an i386 machine.
say "i386: the library packages, built for i386, and their contents"
command -v i686-linux-gnu-objcopy >/dev/null || fail "binutils-i686-linux-gnu is not installed"
sysroot=$root/build/package-i386
bash "$root/scripts/fetch-i386.sh" "$sysroot" libc6 >"$work/fetch.log" 2>&1 \
  || { cat "$work/fetch.log"; fail "fetching the i386 C library"; }
# shellcheck disable=SC2012  # apt-get download names its files NAME_VERSION_ARCH.deb
libc=$(ls "$sysroot"/.apt/debs/libc6_*_i386.deb 2>/dev/null | awk 'NR == 1')
[ -n "$libc" ] || fail "fetch-i386.sh left no libc6 package in $sysroot/.apt/debs"
mkdir "$work/i386"
(cd "$root" && git ls-files -z --cached --others --exclude-standard \
  | while IFS= read -r -d '' f; do [ -e "$f" ] || [ -L "$f" ] && printf '%s\0' "$f"; done \
  | tar --null -T - -cf -) | tar -xf - -C "$work/i386"
dpkg-deb -R "$libc" "$work/i386/debian/i386-libc6"
(cd "$work/i386" && CC=gcc CXX=g++ DEB_CFLAGS_APPEND=-m32 DEB_CXXFLAGS_APPEND=-m32 DEB_LDFLAGS_APPEND=-m32 \
  DEB_BUILD_OPTIONS="nocheck parallel=${JOBS:-2}" \
  dpkg-buildpackage -a i386 -b -us -uc -Pnocheck,pkg.wexedit.libonly >"$work/build-i386.log" 2>&1) \
  || { tail -n 60 "$work/build-i386.log"; fail "dpkg-buildpackage -a i386"; }
i386_deb() { echo "$work/${1}_${version}_i386.deb"; }
for p in libdevname1 libdevname-dev libdevname1-dbgsym; do
  [ -f "$(i386_deb "$p")" ] || fail "no i386 package $p was built"
done
lint_status=0
lintian --pedantic --display-info --display-experimental "$work/wexedit_${version}_i386.changes" >"$work/lintian-i386.log" 2>&1 \
  || lint_status=$?
grep -v '^running with root privileges' "$work/lintian-i386.log" || true
[ $lint_status -eq 0 ] && ! grep -q '^[EW]: ' "$work/lintian-i386.log" || fail "lintian on the i386 packages"

i386_field() { dpkg-deb -f "$(i386_deb "$1")" "$2"; }
[ "$(i386_field libdevname1 Multi-Arch)" = same ] || fail "i386 libdevname1 is not Multi-Arch: same"
[[ $(i386_field libdevname1 Depends) =~ ^libc6\ \(\>=\ [0-9.]+\)$ ]] \
  || fail "i386 libdevname1 Depends: $(i386_field libdevname1 Depends)"
mkdir "$work/i386-library"
dpkg-deb -x "$(i386_deb libdevname1)" "$work/i386-library"
dpkg-deb -x "$(i386_deb libdevname-dev)" "$work/i386-library"
lib=$work/i386-library/usr/lib/i386-linux-gnu
elf=$(readelf -W -hd "$lib/libdevname.so.$version")
grep -q 'Class: *ELF32' <<<"$elf" && grep -q 'Machine: *Intel 80386' <<<"$elf" \
  || fail "the i386 libdevname.so.$version is no 32-bit x86 library"
grep -q 'SONAME.*\[libdevname.so.1\]' <<<"$elf" || fail "the i386 library's SONAME"
check_relr "$lib/libdevname.so.$version" "$(i386_field libdevname1 Depends)"
[ "$(readlink "$lib/libdevname.so.1")" = "libdevname.so.$version" ] \
  && [ "$(readlink "$lib/libdevname.so")" = libdevname.so.1 ] || fail "the i386 library's links"
# shellcheck disable=SC2016  # grep looks for the text ${prefix} itself
grep -qx 'libdir=${prefix}/lib/i386-linux-gnu' "$lib/pkgconfig/libdevname.pc" \
  || fail "the i386 libdevname.pc does not name the i386 library folder"
# Multi-Arch: same lets both architectures be installed at once: every file
# they share (the documentation, the header, the overrides) must be the same.
for p in libdevname1 libdevname-dev; do
  mkdir "$work/ma-$p"
  dpkg-deb -e "$(deb "$p")" "$work/ma-$p/native"
  dpkg-deb -e "$(i386_deb "$p")" "$work/ma-$p/i386"
  joined=$(join -1 2 -2 2 <(sort -k 2 "$work/ma-$p/native/md5sums") <(sort -k 2 "$work/ma-$p/i386/md5sums"))
  [ -n "$joined" ] || fail "$p: no file shared between $arch and i386 to compare"
  differing=$(awk '$2 != $3 { print $1 }' <<<"$joined")
  [ -z "$differing" ] || fail "$p: files that differ between $arch and i386: $differing"
  only=$(comm -3 <(awk -v dir="usr/lib/$multiarch/" 'index($2, dir) != 1 { print $2 }' \
                      "$work/ma-$p/native/md5sums" | sort) \
                  <(awk 'index($2, "usr/lib/i386-linux-gnu/") != 1 { print $2 }' "$work/ma-$p/i386/md5sums" | sort))
  [ -z "$only" ] || fail "$p: files outside the library folder that only one architecture has: $only"
done
say "all package checks passed"
