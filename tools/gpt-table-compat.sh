#!/usr/bin/env bash
# Measures which partitioning tools keep a GUID partition table's entry array
# where `sgdisk --move-main-table` put it, and whether they leave alone the two
# areas the image-safe data uses before the first partition: [2560, 10240)
# (the record and the first journal area) and [1044480, 1048576) (the 4096
# bytes that end at 1 MiB, the second journal area).
#
#   bash tools/gpt-table-compat.sh [--keep DIR]
#
# Works on image files in a temporary folder only (--keep DIR keeps them in
# DIR instead); no block device is opened and no loop device is made. Each
# image is a Windows-style disk with 512-byte sectors: an EFI system partition
# at sector 2048, a Microsoft reserved partition and a basic data partition,
# with free space after them. Marker bytes fill the two areas. Then every
# tool (sgdisk, gdisk, sfdisk, fdisk, parted) adds a partition, deletes one
# and resizes one, each on a fresh copy, once on a table whose array was moved
# to LBA 20 and once on a table left where the tools put it (LBA 2). fdisk
# alone takes an image file as a disk of 4096-byte sectors (-b 4096): it
# also runs on such a disk, whose table lies at LBA 2 (bytes 8192 on) and
# whose record area is the rest of sector 0, [2560, 4096). Prints the tool
# versions and Markdown tables: where the array lies afterwards
# (PartitionEntryLBA of the primary header), whether each marker area is
# unchanged, and whether the table verifies (`sgdisk -v`; fdisk's own check
# for 4096-byte sectors).
set -euo pipefail

keep=""
if [ "${1:-}" = "--keep" ] && [ -n "${2:-}" ]; then
  keep=$2
  mkdir -p "$keep"
elif [ $# -gt 0 ]; then
  echo "usage: $0 [--keep DIR]" >&2
  exit 2
fi
for tool in sgdisk gdisk sfdisk fdisk parted od dd cmp; do
  command -v "$tool" >/dev/null || { echo "$0: $tool is missing (Debian: gdisk, fdisk, parted, coreutils)" >&2; exit 1; }
done
if [ -n "$keep" ]; then
  work=$(cd "$keep" && pwd)
else
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi

size_mib=64
moved_lba=20
# The two areas the image-safe data uses, as offset and length in bytes.
record_area=(2560 7680)
second_area=(1044480 4096)
esp=C12A7328-F81F-11D2-BA4B-00A0C93EC93B
msr=E3C9E316-0B5C-4DB8-817D-F92DF00215AE
basic_data=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7

# The sector size of the pass and the places that follow from it: the EFI
# system partition at 1 MiB, the Microsoft reserved and the basic data
# partition (3) of 16 MiB each after it; the resize grows partition 3 to
# 24 MiB, the add puts an 8 MiB partition 4 after it.
use_sectors() { # SECTOR-SIZE
  sector=$1
  mib=$((1048576 / sector))
  data_start=$((mib + 32 * mib))
  resized_end=$((data_start + 24 * mib - 1))
  added_start=$((data_start + 16 * mib))
  added_end=$((added_start + 8 * mib - 1))
}
use_sectors 512

# A recognisable pattern, different for each area, that no tool writes.
marker() { # NAME LENGTH
  local text
  text=$(printf 'wex-marker-%s.' "$1")
  while [ ${#text} -lt "$2" ]; do text=$text$text; done
  printf '%s' "${text:0:$2}" >"$work/marker-$1"
}
marker record "${record_area[1]}"
marker second "${second_area[1]}"
marker sector0 $((4096 - record_area[0]))

put() { # IMAGE OFFSET FILE
  dd if="$3" of="$1" bs=4096 seek="$2" oflag=seek_bytes conv=notrunc status=none
}

# "kept" when the area holds its marker bytes unchanged, else "overwritten".
area() { # IMAGE NAME OFFSET LENGTH
  if cmp -s <(dd if="$1" bs=4096 skip="$3" count="$4" iflag=skip_bytes,count_bytes status=none) "$work/marker-$2"
  then echo kept; else echo "**overwritten**"; fi
}

# PartitionEntryLBA of the primary header (sector 1, field at byte 72).
entry_lba() { # IMAGE
  od -An -t u8 --endian=little -j $((sector + 72)) -N 8 "$1" | tr -d ' '
}

verdict() { # IMAGE
  local said
  if [ "$sector" = 512 ]; then
    said=$(sgdisk -v "$1" 2>&1) || true
    grep -q "No problems found" <<<"$said" && { echo clean; return; }
  else
    said=$(printf 'v\nq\n' | fdisk -b "$sector" "$1" 2>&1) || true
    grep -q "No errors detected" <<<"$said" && { echo clean; return; }
  fi
  grep -m 1 -i -e problem -e error -e invalid -e corrupt <<<"$said" | sed 's/[|]/\\|/g' || echo "not clean"
}

# "number start end" of every partition, as fdisk lists them.
partitions() { # IMAGE
  fdisk -b "$sector" -l -o Device,Start,End "$1" 2>/dev/null |
    awk -v image="$1" 'index($1, image) == 1 { print substr($1, length(image) + 1), $2, $3 }'
}

# Whether the operation did what it was asked to, read back from the table.
done_check() { # IMAGE OPERATION
  local parts
  parts=$(partitions "$1")
  case $2 in
    add) grep -qx "4 $added_start $added_end" <<<"$parts" ;;
    delete) ! grep -q '^3 ' <<<"$parts" && [ "$(wc -l <<<"$parts")" -eq 2 ] ;;
    resize) grep -qx "3 $data_start $resized_end" <<<"$parts" ;;
  esac
}

make_base() { # IMAGE LAYOUT(moved|default)
  rm -f "$1"
  truncate -s "${size_mib}M" "$1"
  sgdisk -n 1:2048:+16M -t 1:ef00 -c 1:"EFI system partition" \
    -n 2:0:+16M -t 2:0c01 -c 2:"Microsoft reserved partition" \
    -n 3:0:+16M -t 3:0700 -c 3:"Basic data partition" "$1" >/dev/null
  if [ "$2" = moved ]; then
    sgdisk --move-main-table=$moved_lba "$1" >/dev/null
    put "$1" "${record_area[0]}" "$work/marker-record"
  fi
  # With the array at LBA 2-33 the first area lies inside it: only the
  # second one gets a marker.
  put "$1" "${second_area[0]}" "$work/marker-second"
}

# The same layout made by fdisk, for the pass of 4096-byte sectors.
make_base_fdisk() { # IMAGE
  rm -f "$1"
  truncate -s "${size_mib}M" "$1"
  fdisk -b "$sector" "$1" >/dev/null <<EOF
g
n
1
$mib
+16M
t
$esp
n
2

+16M
t
2
$msr
n
3

+16M
t
3
$basic_data
w
EOF
  put "$1" "${record_area[0]}" "$work/marker-sector0"
  put "$1" "${second_area[0]}" "$work/marker-second"
}

# One function a tool and operation, each changing the image in place.
sgdisk_add() { sgdisk -n 4:$added_start:$added_end -t 4:0700 "$1"; }
sgdisk_delete() { sgdisk -d 3 "$1"; }
sgdisk_resize() { sgdisk -d 3 -n 3:$data_start:$resized_end -t 3:0700 "$1"; }
gdisk_add() { gdisk "$1" <<EOF
n
4
$added_start
$added_end
0700
w
Y
EOF
}
gdisk_delete() { gdisk "$1" <<EOF
d
3
w
Y
EOF
}
gdisk_resize() { gdisk "$1" <<EOF
d
3
n
3
$data_start
$resized_end
0700
w
Y
EOF
}
sfdisk_add() { echo "$added_start,$((added_end - added_start + 1)),$basic_data" | sfdisk --append "$1"; }
sfdisk_delete() { sfdisk --delete "$1" 3; }
sfdisk_resize() { echo "$data_start,$((resized_end - data_start + 1))" | sfdisk -N 3 "$1"; }
fdisk_add() { fdisk -b "$sector" "$1" <<EOF
n
4
$added_start
$added_end
t
4
$basic_data
w
EOF
}
fdisk_delete() { fdisk -b "$sector" "$1" <<EOF
d
3
w
EOF
}
fdisk_resize() { fdisk -b "$sector" "$1" <<EOF
d
3
n
3
$data_start
$resized_end
t
3
$basic_data
w
EOF
}
parted_add() { parted -s "$1" mkpart extra "${added_start}s" "${added_end}s"; }
parted_delete() { parted -s "$1" rm 3; }
parted_resize() { parted -s "$1" resizepart 3 "${resized_end}s"; }

echo "## Tool versions"
echo
echo "- $(sgdisk --version 2>&1 | grep -m 1 -i version)"
echo "- $({ gdisk --version </dev/null 2>&1 || true; } | grep -m 1 -i version)"
echo "- $(sfdisk --version)"
echo "- $(fdisk --version)"
echo "- $(parted --version | head -n 1)"
echo
echo "Images of ${size_mib} MiB: EFI system partition at 1 MiB, Microsoft reserved and basic data"
echo "partition (3) of 16 MiB each; add: an 8 MiB partition 4 after them; delete: partition 3;"
echo "resize: partition 3 to 24 MiB, same start. With 512-byte sectors partition 3 is"
echo "$data_start-$((added_start - 1)), the add $added_start-$added_end, the resize $data_start-$resized_end."
echo

echo "## The move itself"
echo
echo "| command | exit status | array at LBA | partitions | partition bytes | sgdisk -v |"
echo "|---|---|---|---|---|---|"
# Every partition filled with bytes of its own, then the array moved: the
# partitions must keep their places and contents.
move_case() { # LABEL IMAGE COMMAND...
  local label=$1 image=$2 status=0 before after table
  shift 2
  before=$(dd if="$image" bs=1M skip=1 count=$((size_mib - 2)) status=none | md5sum)
  table=$(sfdisk -d "$image" | grep start=)
  "$@" >"$work/move.log" 2>&1 || status=$?
  after=$(dd if="$image" bs=1M skip=1 count=$((size_mib - 2)) status=none | md5sum)
  local same_table=unchanged same_bytes=unchanged
  [ "$(sfdisk -d "$image" | grep start=)" = "$table" ] || same_table="**changed**"
  [ "$before" = "$after" ] || same_bytes="**changed**"
  echo "| $label | $status | $(entry_lba "$image") | $same_table | $same_bytes | $(verdict "$image") |"
}
filled() { # IMAGE
  make_base "$1" default
  dd if=/dev/urandom of="$1" bs=1M seek=1 count=48 conv=notrunc status=none
}
filled "$work/move.img"
move_case "\`sgdisk --move-main-table=$moved_lba\` (also \`-j $moved_lba\`)" "$work/move.img" \
  sgdisk --move-main-table=$moved_lba "$work/move.img"
filled "$work/move-manual.img"
# The option's name in sgdisk's own manual page; sgdisk 1.0.9 knows it
# only as --move-main-table and passes over an unknown long option.
move_case "\`sgdisk --adjust-main-table=$moved_lba\` (the manual page's name)" "$work/move-manual.img" \
  sgdisk --adjust-main-table=$moved_lba "$work/move-manual.img"
rm -f "$work/low.img"
truncate -s "${size_mib}M" "$work/low.img"
sgdisk -a 1 -n 1:34:+16M "$work/low.img" >/dev/null
move_case "\`sgdisk -j $moved_lba\`, first partition at sector 34" "$work/low.img" \
  sgdisk -j $moved_lba "$work/low.img"
echo

echo "## Add, delete, resize"
echo
echo "| sectors | table | tool | operation | done | array at LBA | record area | [1044480, 1048576) | verified |"
echo "|---|---|---|---|---|---|---|---|---|"
# LAYOUT is moved or default (512-byte sectors, made by sgdisk) or fdisk
# (4096-byte sectors, made by fdisk, the table where fdisk puts it).
measure() { # LAYOUT TOOL...
  local layout=$1 tool operation image status done_word first name
  shift
  if [ "$layout" = fdisk ]; then make_base_fdisk "$work/base-$layout.img"; else make_base "$work/base-$layout.img" "$layout"; fi
  for tool in "$@"; do
    for operation in add delete resize; do
      image=$work/$layout-$tool-$operation.img
      cp --sparse=always "$work/base-$layout.img" "$image"
      status=0
      "${tool}_$operation" "$image" >"$image.log" 2>&1 || status=$?
      done_word=yes
      done_check "$image" "$operation" || done_word="**no** (exit status $status)"
      case $layout in
        moved) first="[2560, 10240) $(area "$image" record "${record_area[@]}")"; name="moved to $moved_lba" ;;
        default) first="(inside the array)"; name="default (2)" ;;
        fdisk) first="[2560, 4096) $(area "$image" sector0 "${record_area[0]}" $((4096 - record_area[0])))"
          name="default (2)" ;;
      esac
      echo "| $sector | $name | $tool | $operation | $done_word | $(entry_lba "$image") | $first" \
        "| $(area "$image" second "${second_area[@]}") | $(verdict "$image") |"
    done
  done
}
measure moved sgdisk gdisk sfdisk fdisk parted
measure default sgdisk gdisk sfdisk fdisk parted
# sgdisk, gdisk, parted and the sfdisk of util-linux 2.38 take an image file
# as a disk of 512-byte sectors.
use_sectors 4096
measure fdisk fdisk
