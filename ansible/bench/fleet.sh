#!/usr/bin/env bash
# A simulated fleet: local hosts (200 by default), each with its own raw disk
# image, stamped with distinct identities through the collection's module
# wexedit.imaging.wexedit and, side by side, through ansible.builtin.command
# running the same `wexedit --disk IMG Key=Value` edit, each play once writing
# and once again with nothing to change; then gathered through
# wexedit.imaging.wexedit_info against `command: wexview --json`. Every play
# runs without and with pipelining (forks 10). Prints the wall time of each
# and the ratios module/command and pipelined/not. A benchmark, run by hand,
# not a test:
#
#   bash ansible/bench/fleet.sh build/native [HOSTS]
#
# Needs ansible-playbook (Debian's ansible-core) and the build's simulated-disk
# library: every program runs with it preloaded over an empty folder, so the
# images named with --disk are the only disks it can open. The collection is
# the source tree's, put on a collections path of the benchmark's own.
set -euo pipefail

[ $# -ge 1 ] || { echo "usage: $0 <build-dir> [hosts]" >&2; exit 2; }
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
hosts=${2:-200}
editor=$build/cli/wexedit
viewer=$build/cli/wexview
simdisk=$build/tests/simdisk/libsimdisk.so
[ -x "$editor" ] && [ -f "$simdisk" ] || { echo "$build holds no wexedit or simdisk library: build it first" >&2; exit 2; }
command -v ansible-playbook >/dev/null || { echo "ansible-playbook is not installed (ansible-core)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/sim" "$work/images" "$work/home" "$work/ansible-home" "$work/local-tmp" "$work/remote-tmp" \
  "$work/collections/ansible_collections/wexedit"
ln -s "$root/ansible/collection" "$work/collections/ansible_collections/wexedit/imaging"
: >"$work/ansible.cfg"
export HOME=$work/home ANSIBLE_CONFIG=$work/ansible.cfg ANSIBLE_HOME=$work/ansible-home \
  ANSIBLE_LOCAL_TEMP=$work/local-tmp ANSIBLE_REMOTE_TEMP=$work/remote-tmp \
  ANSIBLE_COLLECTIONS_PATH=$work/collections ANSIBLE_PYTHON_INTERPRETER=/usr/bin/python3 \
  ANSIBLE_NOCOLOR=1 ANSIBLE_RETRY_FILES_ENABLED=0 ANSIBLE_FORKS=10

fresh_images() {
  local i
  for i in $(seq -w 1 "$hosts"); do
    rm -f "$work/images/ws$i.img" && truncate -s 1M "$work/images/ws$i.img"
  done
}
# The identity of host number $1 (1-based), as the editor's arguments.
identity() {
  local n=$((10#$1))
  echo "Tree=FLEET NetBIOSName=WS$1 IP=10.20.$((n / 250)).$((n % 250 + 1)) Mask=255.255.0.0 Gateway=10.20.255.254" \
    "DHCP=off SID=21-1004336348-1177238915-$((682000000 + n))-1013 DNSServerCount=1 DNSServer1=10.20.255.53"
}

{
  echo "[fleet]"
  for i in $(seq -w 1 "$hosts"); do echo "ws$i ansible_connection=local number=$i"; done
} >"$work/inventory"
image="$work/images/{{ inventory_hostname }}.img"
n='(number | int)'
header="- hosts: fleet
  gather_facts: false
  environment: {LD_PRELOAD: \"$simdisk\", SIMDISK_DIR: \"$work/sim\"}
  tasks:"
cat >"$work/module.yml" <<EOF
$header
    - wexedit.imaging.wexedit:
        executable: "$editor"
        disks: ["$image"]
        fields:
          Tree: FLEET
          NetBIOSName: "WS{{ number }}"
          IP: "10.20.{{ $n // 250 }}.{{ $n % 250 + 1 }}"
          Mask: 255.255.0.0
          Gateway: 10.20.255.254
          DHCP: false
          SID: "21-1004336348-1177238915-{{ 682000000 + $n }}-1013"
          DNSServers: [10.20.255.53]
EOF
# The same edit as the editor's own arguments; changed when the editor says it wrote.
cat >"$work/command.yml" <<EOF
$header
    - ansible.builtin.command:
        argv: ["$editor", --json, --disk, "$image", Tree=FLEET, "NetBIOSName=WS{{ number }}",
               "IP=10.20.{{ $n // 250 }}.{{ $n % 250 + 1 }}", Mask=255.255.0.0, Gateway=10.20.255.254,
               DHCP=off, "SID=21-1004336348-1177238915-{{ 682000000 + $n }}-1013", DNSServerCount=1,
               DNSServer1=10.20.255.53]
      register: edit
      changed_when: (edit.stdout | from_json).changed
EOF
cat >"$work/info.yml" <<EOF
$header
    - wexedit.imaging.wexedit_info: {viewer: "$viewer", disks: ["$image"]}
EOF
cat >"$work/view.yml" <<EOF
$header
    - ansible.builtin.command: {argv: ["$viewer", --json, --disk, "$image"]}
      changed_when: false
EOF

plain_loop() {
  local i
  for i in $(seq -w 1 "$hosts"); do
    # shellcheck disable=SC2046  # identity prints the NAME=VALUE words
    LD_PRELOAD=$simdisk SIMDISK_DIR=$work/sim "$editor" --disk "$work/images/ws$i.img" $(identity "$i") >/dev/null
  done
}
# play PLAYBOOK PIPELINING: runs it; prints how many hosts it changed.
play() {
  ANSIBLE_PIPELINING=$2 ansible-playbook -i "$work/inventory" "$work/$1.yml" >"$work/play.log" 2>&1 \
    || { tail -n 40 "$work/play.log" >&2; exit 1; }
  awk '/: ok=/ { for (i = 1; i <= NF; i++) if ($i ~ /^changed=/) { sub("changed=", "", $i); n += $i } } END { print n + 0 }' \
    "$work/play.log"
}
# Seconds since `start`, to the microsecond.
since() { awk -v a="$1" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.3f", b - a }'; }
report() { awk -v t="$2" -v h="$hosts" -v what="$1" -v extra="$3" \
  'BEGIN { printf "%-48s %7.1f s  %6.1f ms a host%s\n", what, t, 1000 * t / h, extra }'; }
ratio() { awk -v a="$2" -v b="$3" -v what="$1" 'BEGIN { printf "%-48s %6.2fx\n", what, a / b }'; }

echo "fleet of $hosts hosts, forks 10, $(nproc) cores"
fresh_images
start=$EPOCHREALTIME; plain_loop; loop_first=$(since "$start")
start=$EPOCHREALTIME; plain_loop; loop_again=$(since "$start")
report "plain wexedit loop, writing" "$loop_first" ""
report "plain wexedit loop, nothing to change" "$loop_again" ""
declare -A took changed
for pipelining in 0 1; do
  for way in module command; do
    for run in first again; do
      [ $run = again ] || fresh_images
      key=$way$pipelining$run
      start=$EPOCHREALTIME; changed[$key]=$(play "$way" "$pipelining"); took[$key]=$(since "$start")
      report "$way, pipelining $pipelining, $run run" "${took[$key]}" ", ${changed[$key]} of $hosts changed"
    done
  done
  for way in info view; do
    start=$EPOCHREALTIME; play "$way" "$pipelining" >/dev/null; took[$way$pipelining]=$(since "$start")
    report "gathering by $way, pipelining $pipelining" "${took[$way$pipelining]}" ""
  done
done
for pipelining in 0 1; do
  for run in first again; do
    ratio "module / command, pipelining $pipelining, $run" "${took[module$pipelining$run]}" \
      "${took[command$pipelining$run]}"
  done
  ratio "wexedit_info / command wexview, pipelining $pipelining" "${took[info$pipelining]}" "${took[view$pipelining]}"
done
ratio "module: pipelined / not" "${took[module1first]}" "${took[module0first]}"
ratio "command: pipelined / not" "${took[command1first]}" "${took[command0first]}"
ratio "wexedit_info: pipelined / not" "${took[info1]}" "${took[info0]}"
distinct=$(for i in $(seq -w 1 "$hosts"); do
  LD_PRELOAD=$simdisk SIMDISK_DIR=$work/sim "$viewer" --disk "$work/images/ws$i.img" NetBIOSName SID
done | sort -u | wc -l)
echo "distinct NetBIOS names and SIDs on the images: $distinct (of $((2 * hosts)))"
for way in module0 module1 command0 command1; do
  [ "${changed[${way}first]}" -eq "$hosts" ] && [ "${changed[${way}again]}" -eq 0 ] \
    || { echo "fleet: $way: the first run must change every host and the second none" >&2; exit 1; }
done
[ "$distinct" -eq $((2 * hosts)) ] || { echo "fleet: the images do not hold distinct identities" >&2; exit 1; }
