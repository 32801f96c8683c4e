#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
set -euo pipefail

native=(cmake g++ g++-multilib make pkg-config googletest libnewt-dev libslang2-dev
        clang-14 libclang-rt-14-dev pci.ids python3 python3-pytest python3-pexpect python3-pyte
        gettext dash bash binutils clang-format
        dpkg-dev fakeroot man-db groff-base bash-completion python3-pil fonts-dejavu-core)
foreign=(libnewt-dev:i386 libslang2-dev:i386)

missing=()
for p in "${native[@]}" "${foreign[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
