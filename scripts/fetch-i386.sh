#!/usr/bin/env bash
# Downloads the i386 builds of Debian packages and unpacks them into a folder,
# without installing anything and without adding i386 to dpkg's architectures.
#
#   bash scripts/fetch-i386.sh DEST PACKAGE...
#
# e.g. DEST=build/i386/sysroot with libnewt-dev libnewt0.52 libslang2 libslang2-dev.
# Exactly the named packages are fetched (their dependencies are not): the
# caller names what it needs. apt-get runs with a private state in DEST/.apt,
# where i386 is the only architecture, so the machine's package indexes and
# dpkg are not touched, and nothing requires the machine's installed packages
# and the i386 index to agree on versions. The sources are the machine's own;
# an index the mirror cannot serve is a warning (scripts/lib/apt.sh).
# Running it again with the same packages reuses what DEST holds; other
# packages are unpacked over it (remove DEST to start afresh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/lib/apt.sh
. "$root/scripts/lib/apt.sh"

if [ $# -lt 2 ]; then
  echo "usage: $0 DEST PACKAGE..." >&2
  exit 2
fi
mkdir -p "$1"
dest=$(cd "$1" && pwd)
shift
packages=("${@%:i386}")
state=$dest/.apt
wanted=$(printf '%s\n' "${packages[@]}" | LC_ALL=C sort -u)

if [ -f "$state/packages" ] && [ "$(cat "$state/packages")" = "$wanted" ]; then
  echo "fetch-i386: $dest already holds ${packages[*]}"
  exit 0
fi

mkdir -p "$state/lists/partial" "$state/cache/archives/partial" "$state/debs"
: >"$state/status"
apt_options=(
  -o "Dir::State::Lists=$state/lists"
  -o "Dir::State::status=$state/status"
  -o "Dir::Cache=$state/cache"
  -o "APT::Architecture=i386"
  -o "APT::Architectures::=i386"
  # Root reads and writes the private folders; apt's sandbox user could not.
  -o "APT::Sandbox::User=root"
)

echo "fetch-i386: fetching the i386 package indexes"
apt_update fetch-i386 "${apt_options[@]}"

download() {
  (cd "$state/debs" && rm -f ./*.deb && apt-get "${apt_options[@]}" -q download "${packages[@]}") \
    >"$state/download.log" 2>&1
}
if ! download; then
  echo "fetch-i386: warning: the download failed; refreshing the indexes and trying again:" >&2
  apt_errors "$state/download.log"
  sleep "$apt_retry_pause"
  apt_update fetch-i386 "${apt_options[@]}"
  if ! download; then
    for p in "${packages[@]}"; do
      if ! apt-cache "${apt_options[@]}" show "$p" >/dev/null 2>&1; then
        echo "fetch-i386: cannot fetch $p: no i386 index offers it" >&2
      fi
    done
    echo "fetch-i386: apt-get download ${packages[*]} failed:" >&2
    apt_errors "$state/download.log"
    exit 1
  fi
fi

rm -f "$state/packages"
list=()
for p in "${packages[@]}"; do
  # shellcheck disable=SC2012  # apt-get download names its files NAME_VERSION_ARCH.deb
  deb=$(ls "$state/debs/${p}"_*.deb 2>/dev/null | head -n 1)
  [ -n "$deb" ] || { echo "fetch-i386: $p was not downloaded" >&2; exit 1; }
  arch=$(dpkg-deb -f "$deb" Architecture)
  case $arch in
    i386 | all) ;;
    *) echo "fetch-i386: $deb is for $arch, not i386" >&2; exit 1 ;;
  esac
  dpkg-deb -x "$deb" "$dest"
  list+=("$p $(dpkg-deb -f "$deb" Version)")
done
echo "fetch-i386: unpacked into $dest:"
printf '  %s\n' "${list[@]}"
printf '%s\n' "$wanted" >"$state/packages"
