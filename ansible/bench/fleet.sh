#!/usr/bin/env bash
# A simulated fleet: 200 local hosts, each with its own raw disk image, stamped
# with distinct identities by one play (forks 10) and then by the same play
# again; the wall time of both runs and the time per host against a plain
# `wexedit --disk IMG Key=Value` loop over the same images (first writing, then
# again with nothing to change). A benchmark, run by hand, not a test:
#
#   bash ansible/bench/fleet.sh build/native [HOSTS]
#
# Needs ansible-playbook (Debian's ansible-core) and the build's simulated-disk
# library: every program runs with it preloaded over an empty folder, so the
# images named with --disk are the only disks it can open.
set -euo pipefail

[ $# -ge 1 ] || { echo "usage: $0 <build-dir> [hosts]" >&2; exit 2; }
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
hosts=${2:-200}
editor=$build/cli/wexedit
simdisk=$build/tests/simdisk/libsimdisk.so
[ -x "$editor" ] && [ -f "$simdisk" ] || { echo "$build holds no wexedit or simdisk library: build it first" >&2; exit 2; }
command -v ansible-playbook >/dev/null || { echo "ansible-playbook is not installed (ansible-core)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/sim" "$work/images" "$work/home" "$work/ansible-home" "$work/local-tmp" "$work/remote-tmp"
: >"$work/ansible.cfg"
export HOME=$work/home ANSIBLE_CONFIG=$work/ansible.cfg ANSIBLE_HOME=$work/ansible-home \
  ANSIBLE_LOCAL_TEMP=$work/local-tmp ANSIBLE_REMOTE_TEMP=$work/remote-tmp \
  ANSIBLE_LIBRARY=$root/ansible/collection/plugins/modules ANSIBLE_PYTHON_INTERPRETER=/usr/bin/python3 \
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
cat >"$work/fleet.yml" <<EOF
- hosts: fleet
  gather_facts: false
  environment: {LD_PRELOAD: "$simdisk", SIMDISK_DIR: "$work/sim"}
  tasks:
    - wexedit:
        executable: "$editor"
        disks: ["$work/images/{{ inventory_hostname }}.img"]
        fields:
          Tree: FLEET
          NetBIOSName: "WS{{ number }}"
          IP: "10.20.{{ (number | int) // 250 }}.{{ (number | int) % 250 + 1 }}"
          Mask: 255.255.0.0
          Gateway: 10.20.255.254
          DHCP: false
          SID: "21-1004336348-1177238915-{{ 682000000 + (number | int) }}-1013"
          DNSServers: [10.20.255.53]
EOF

plain_loop() {
  local i
  for i in $(seq -w 1 "$hosts"); do
    # shellcheck disable=SC2046
    LD_PRELOAD=$simdisk SIMDISK_DIR=$work/sim "$editor" --disk "$work/images/ws$i.img" $(identity "$i") >/dev/null
  done
}
play() {
  ansible-playbook -i "$work/inventory" "$work/fleet.yml" >"$work/play.log" 2>&1 \
    || { tail -n 40 "$work/play.log" >&2; exit 1; }
  awk '/: ok=/ { for (i = 1; i <= NF; i++) if ($i ~ /^changed=/) { sub("changed=", "", $i); n += $i } } END { print n + 0 }' \
    "$work/play.log"
}
# Seconds since `start`, to the microsecond.
since() { awk -v a="$1" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.3f", b - a }'; }
report() { awk -v t="$2" -v h="$hosts" -v what="$1" -v extra="$3" \
  'BEGIN { printf "%-40s %7.1f s  %6.1f ms a host%s\n", what, t, 1000 * t / h, extra }'; }

echo "fleet of $hosts hosts, forks 10, $(nproc) cores"
fresh_images
start=$EPOCHREALTIME; plain_loop; loop_first=$(since "$start")
start=$EPOCHREALTIME; plain_loop; loop_again=$(since "$start")
fresh_images
start=$EPOCHREALTIME; changed_first=$(play); play_first=$(since "$start")
start=$EPOCHREALTIME; changed_again=$(play); play_again=$(since "$start")
report "plain wexedit loop, writing" "$loop_first" ""
report "plain wexedit loop, nothing to change" "$loop_again" ""
report "ansible-playbook, first run" "$play_first" ", $changed_first of $hosts changed"
report "ansible-playbook, same play again" "$play_again" ", $changed_again of $hosts changed"
distinct=$(for i in $(seq -w 1 "$hosts"); do
  LD_PRELOAD=$simdisk SIMDISK_DIR=$work/sim "$build/cli/wexview" --disk "$work/images/ws$i.img" NetBIOSName SID
done | sort -u | wc -l)
echo "distinct NetBIOS names and SIDs on the images: $distinct (of $((2 * hosts)))"
[ "$changed_first" -eq "$hosts" ] && [ "$changed_again" -eq 0 ] && [ "$distinct" -eq $((2 * hosts)) ] \
  || { echo "fleet: the first run must change every host and the second none" >&2; exit 1; }
