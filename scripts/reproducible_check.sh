#!/usr/bin/env bash
# Builds the Debian packages twice, each time in a fresh clean chroot as
# scripts/package_check.sh builds them (tests on, the release's own
# dpkg-buildflags), but from two different build paths, and the second time
# with another umask, time zone, locale and user name as well, and compares
# the packages byte for byte. Where they differ, diffoscope (from diffoscope or
# diffoscope-minimal) writes what differs into OUTPUT/diffoscope.txt.
#
#   bash scripts/reproducible_check.sh [OUTPUT]     (default: build/reproducible)
#
# Needs root (debootstrap, chroot) and takes two whole package builds, so it
# is not part of scripts/check.sh. Exit status 0 when every package is
# identical, 1 when one differs or a build fails.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build/reproducible}
# shellcheck source=scripts/lib/buildd_chroot.sh
. "$root/scripts/lib/buildd_chroot.sh"

fail() { echo "reproducible_check: FAILED: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || fail "debootstrap and chroot need root"

rm -rf "$out" && mkdir -p "$out/src"
(cd "$root" && git ls-files -z --cached --others --exclude-standard \
  | while IFS= read -r -d '' f; do [ -e "$f" ] || [ -L "$f" ] && printf '%s\0' "$f"; done \
  | tar --null -T - -cf -) | tar -xf - -C "$out/src"
version=$(dpkg-parsechangelog -l "$out/src/debian/changelog" -S Version)
# The first path is sbuild's kind, the second as unlike it as a path can be.
paths=("/build/wexedit-$version" "/build/another/and/much/longer/build/path/src")
variations=("" "TZ=XYZ-14 LANG=C LC_ALL=C USER=someone-else LOGNAME=someone-else")
umasks=(022 002)
trap 'rm -rf "$out/chroot"' EXIT

for run in 1 2; do
  path=${paths[run - 1]}
  echo "=== reproducible_check: build $run in $path, umask ${umasks[run - 1]} ${variations[run - 1]}"
  buildd_chroot "$out/src" "$root/build/buildd-chroot" "$out/chroot" "$path" || fail "no build chroot"
  started=$SECONDS
  BUILDD_ENV=${variations[run - 1]} BUILDD_UMASK=${umasks[run - 1]} buildd_build "$out/chroot" "$path" "$out/build$run.log" \
    || { tail -n 40 "$out/build$run.log"; fail "build $run"; }
  echo "build $run took $((SECONDS - started)) s"
  mkdir "$out/build$run"
  cp "$out/chroot$(dirname "$path")"/*.deb "$out/build$run/"
  rm -rf "$out/chroot"
done

echo "=== reproducible_check: comparing"
differing=()
for deb in "$out"/build1/*.deb; do
  name=$(basename "$deb")
  [ -f "$out/build2/$name" ] || fail "build 2 made no $name"
  if cmp -s "$deb" "$out/build2/$name"; then
    echo "identical  $(sha256sum "$deb" | cut -c1-16)  $name"
  else
    echo "DIFFERENT  $name"
    differing+=("$name")
  fi
done
# shellcheck disable=SC2012  # the folders hold only the .deb files copied above
[ "$(ls "$out/build1" | wc -l)" -eq "$(ls "$out/build2" | wc -l)" ] || fail "the builds made different sets of packages"
# shellcheck disable=SC2012  # as above
[ ${#differing[@]} -eq 0 ] && { echo "all $(ls "$out/build1" | wc -l) packages are identical"; exit 0; }
if command -v diffoscope >/dev/null; then
  for name in "${differing[@]}"; do
    diffoscope --text - "$out/build1/$name" "$out/build2/$name" >>"$out/diffoscope.txt" || true
  done
  echo "what differs: $out/diffoscope.txt"
fi
fail "${#differing[@]} packages differ: ${differing[*]}"
