#!/usr/bin/env bash
# Installs the Debian packages this project needs, when missing.
#
#   bash scripts/deps.sh         the main job: the native build and scripts/demo.sh
#   bash scripts/deps.sh --all   that and what the whole test suite needs on top
#
# The lists are scripts/packages/main.txt and full.txt. Only packages of this
# machine's own architecture are installed, and no architecture is added to
# dpkg: the 32-bit build unpacks its few libraries into its own build tree
# (scripts/fetch-i386.sh), so a lagging i386 index on the mirror stops nothing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/lib/apt.sh
. "$root/scripts/lib/apt.sh"

lists=("$root/scripts/packages/main.txt")
case ${1:-} in
  "") ;;
  --all) lists+=("$root/scripts/packages/full.txt") ;;
  *) echo "usage: $0 [--all]" >&2; exit 2 ;;
esac

mapfile -t packages < <(apt_list "${lists[@]}")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "deps: all ${#packages[@]} packages are installed"
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "deps: missing ${missing[*]}; installing them needs root" >&2
  exit 1
fi

echo "deps: installing ${missing[*]}"
apt_update deps
apt_install deps "${missing[@]}" || exit 1
echo "deps: installed ${#missing[@]} packages"
