#!/usr/bin/env bash
# Shows the viewer on a sample workstation disk. The disk is simulated: an
# image file in a temporary folder, reached through the test-only preload
# library, so no real disk is read or written.
# Usage: scripts/demo.sh [build-dir]   (default: build/native)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/native}
bin=$build/cli
preload=$build/tests/simdisk/libsimdisk.so
for f in "$bin/wexedit" "$preload"; do
  [ -e "$f" ] || { echo "demo: $f is missing; build the tree first (with tests enabled)" >&2; exit 1; }
done

disks=$(mktemp -d)
trap 'rm -rf "$disks"' EXIT
truncate -s 1M "$disks/sda"
sim() { SIMDISK_DIR=$disks LD_PRELOAD=$preload ASAN_OPTIONS=verify_asan_link_order=0 "$@"; }

# The sample record is written by the editor itself, as an imaging script would.
sim "$bin/wexedit" ObjectDN=CN=WS-0042.OU=Lab.O=Example Tree=EXAMPLE_TREE NetBIOSName=WS-0042 \
  WorkGroup=LAB LastBaseImage=//imgsrv/images/win-base.zmg JustImaged=true \
  SID=21-3623811015-3361044348-30300820-1013 WorkstationID=42 DHCP=off IP=10.0.0.42 \
  Gateway=10.0.0.1 Mask=255.255.255.0 DNSServerCount=2 DNSServer1=10.0.0.2 DNSServer2=10.0.0.3 \
  DNSSuffix=lab.example.com DNSHostName=ws-0042 > /dev/null

echo "=== SAMPLE: a simulated workstation disk (no real disk is read or written) ==="
if [ -t 0 ] && [ -t 1 ]; then
  read -r -p "Press Enter to open the full-screen viewer on it (Enter again leaves it) " _
  sim "$bin/wexview"
else
  echo "--- wexview -s (the record as shell variables)"
  sim "$bin/wexview" -s
fi
