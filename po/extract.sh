#!/usr/bin/env bash
# Extracts the message template of the text domain "wexedit" from the sources.
#
#   po/extract.sh [SOURCE-ROOT] [OUTPUT]     (defaults: this tree, po/wexedit.pot)
#
# The program translates a text by passing it to tr(), or by holding it in a
# table under N_() (the field table, the help pages) and passing it to tr() later.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=${1:-$(dirname "$here")}
output=${2:-$here/wexedit.pot}

keywords=(--keyword=tr --keyword=N_)

cd "$root"
mapfile -t sources < <(find cli fields program tui -name '*.cpp' -o -name '*.h' | LC_ALL=C sort)
[ ${#sources[@]} -gt 0 ] || { echo "extract.sh: no sources under $root" >&2; exit 1; }

tmp=$(mktemp)
trap 'rm -f "$tmp"' EXIT
xgettext --language=C++ --from-code=UTF-8 --no-wrap --add-location=file --sort-by-file \
  -k "${keywords[@]}" \
  --package-name=wexedit --package-version="$(cat VERSION)" \
  --copyright-holder="the wexedit authors" \
  --msgid-bugs-address="wexedit maintainers" \
  --output="$tmp" "${sources[@]}"
# The creation date would change the file at every run; the template's content
# is all that matters.
sed -e 's/^"POT-Creation-Date: .*"$/"POT-Creation-Date: 2024-01-01 00:00+0000\\n"/' \
    -e 's/^"Content-Type: text\/plain; charset=CHARSET\\n"$/"Content-Type: text\/plain; charset=UTF-8\\n"/' \
    -e "s/^# SOME DESCRIPTIVE TITLE\.$/# Message template of the text domain wexedit./" \
    "$tmp" > "$output"
echo "extract.sh: $(grep -c '^msgid ' "$output") entries (header included) in $output"
