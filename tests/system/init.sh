#!/bin/busybox sh
# shellcheck shell=dash
# First process of the test guest. Loads the disk drivers, waits for the disks
# the host attached, tells the host which kernel name each one got, runs the
# case and powers off. Everything the host reads comes over the second serial
# port; the first carries the kernel's console for the failure log.
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mkdir -p /tmp

stty -F /dev/ttyS1 raw -echo 2>/dev/null
exec >/dev/ttyS1 2>&1

echo "@@boot $(cut -d' ' -f1 /proc/uptime)"

# The kernel may name two disks of one controller in either order, so every
# disk is known by its size alone. /case/disks holds "label sectors stage"
# lines and /case/modules "stage module" lines: the drivers of one stage are
# loaded and its disks awaited before the next stage starts, so disks of an
# earlier stage's controller come first in the kernel's naming.
name_of_size() {
  for dev in /sys/block/*; do
    [ "$(cat "$dev/size" 2>/dev/null)" = "$1" ] && [ -b "/dev/${dev##*/}" ] && { echo "${dev##*/}"; return 0; }
  done
  return 1
}
for stage in $(cut -d' ' -f3 /case/disks | uniq); do
  while read -r number module; do
    [ "$number" = "$stage" ] || continue
    insmod "/lib/modules/$module.ko" || echo "@@insmod-failed $module"
  done </case/modules
  tries=0
  while :; do
    missing=""
    while read -r label sectors number; do
      [ "$number" = "$stage" ] || continue
      name_of_size "$sectors" >/dev/null || missing="$missing $label"
    done </case/disks
    [ -z "$missing" ] && break
    tries=$((tries + 1))
    if [ $tries -gt 300 ]; then
      echo "@@missing$missing"
      ls /sys/block
      poweroff -f -n
    fi
    sleep 0.1
  done
done
while read -r label sectors number; do
  name=$(name_of_size "$sectors")
  echo "@@disk $label $name"
  export "DISK_$label=/dev/$name"
done </case/disks

# Runs one command and frames what it printed and its exit status for the host.
step() {
  title=$1
  shift
  "$@" </dev/null >/tmp/out 2>/tmp/err
  status=$?
  echo "@@step $title $status"
  awk '{ print "o " $0 }' /tmp/out
  awk '{ print "e " $0 }' /tmp/err
  echo "@@end"
}

# Every disk stays open here while the case runs (the last close of a disk
# would flush its cache), and the kernel's write-back is put off for an hour
# (0 would mean at once): only a sync by the program itself moves its writes
# to the image before the power-off.
echo 360000 >/proc/sys/vm/dirty_writeback_centisecs
echo 360000 >/proc/sys/vm/dirty_expire_centisecs
holder=3
while read -r label sectors; do
  eval "exec $holder<\"\$DISK_$label\""
  holder=$((holder + 1))
done </case/disks

echo "@@ready $(cut -d' ' -f1 /proc/uptime)"
# shellcheck source=/dev/null  # the host writes the case's script at run time
. /case/run.sh
echo "@@done $(cut -d' ' -f1 /proc/uptime)"
poweroff -f -n
