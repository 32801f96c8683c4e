#!/usr/bin/env bash
# Lints every tracked shell script with shellcheck (.shellcheckrc) and every
# tracked Python file with pycodestyle (setup.cfg): the *.sh and *.py files,
# and any other file whose first line is #!...sh or #!...python or that holds
# a "# shellcheck shell=" directive. The vendored pci.ids and the generated
# fuzzing seeds are left out; a link is linted as the file it names.
# Usage: scripts/lint.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
python=/usr/bin/python3
[ -x "$python" ] || python=python3
command -v shellcheck >/dev/null || { echo "lint: shellcheck is not installed (Debian package shellcheck)" >&2; exit 1; }
"$python" -m pycodestyle --version >/dev/null 2>&1 \
  || { echo "lint: $python has no pycodestyle (Debian package python3-pycodestyle)" >&2; exit 1; }

tracked=(-- ':!:devname/data/' ':!:fuzz/corpus/')
declare -A directive=()
while IFS= read -r -d '' f; do directive[$f]=1; done < <(git grep -lz '^# shellcheck shell=' "${tracked[@]}")
shell=() py=()
while IFS= read -r -d '' f; do
  [ -f "$f" ] && [ ! -L "$f" ] || continue
  case $f in
    *.sh) shell+=("$f"); continue ;;
    *.py) py+=("$f"); continue ;;
  esac
  IFS= read -r first <"$f" || true
  if [[ $first =~ ^#!.*[/\ ](ba|da)?sh(\ |$) || -n ${directive[$f]:-} ]]; then
    shell+=("$f")
  elif [[ $first == '#!'*python* ]]; then
    py+=("$f")
  fi
done < <(git ls-files -z "${tracked[@]}")

status=0
shellcheck "${shell[@]}" || status=1
"$python" -m pycodestyle "${py[@]}" || status=1
[ "$status" -eq 0 ] || { echo "lint: fix the findings above (or say in .shellcheckrc or setup.cfg why not)" >&2; exit 1; }
echo "lint: ${#shell[@]} shell scripts pass shellcheck, ${#py[@]} Python files pass pycodestyle"
