#!/usr/bin/env bash
# Builds the one source tree three ways (native, 32-bit, ASan+UBSan), runs the
# whole test suite in each, builds, installs, tries and removes the Debian
# packages, then gives each fuzzer a bounded run. The system step
# boots Debian's i386 kernel under qemu and runs the 32-bit program on its disk
# drivers, with image files as the disks.
# Usage: scripts/check.sh [format|native|i386|system|asan|package|fuzz ...]   (default: all)
#
# The 32-bit build links and runs against i386 newt and S-Lang unpacked into
# build/i386/sysroot (scripts/fetch-i386.sh). Where the kernel cannot execute
# 32-bit programs they run under qemu-i386; WEX_I386_RUNNER=native or =qemu
# forces either way. The guest takes KVM only when a short probe boot under it
# works; WEX_SYSTEM_ACCEL=tcg or =kvm forces either, and a guest that stays
# silent for 30 s under KVM is run again under TCG.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/lib/apt.sh
. "$root/scripts/lib/apt.sh"
jobs=${JOBS:-$(nproc)}
configs=("$@")
[ ${#configs[@]} -gt 0 ] || configs=(format native i386 system asan package fuzz)

# Every configuration of the check treats warnings as errors; a plain cmake
# build (a user's, debian/rules) shows them as warnings.
strict=(-DWEX_WERROR=ON)

build() {
  local name=$1; shift
  echo "=== $name: configure and build"
  cmake -S "$root" -B "$root/build/$name" "${strict[@]}" "$@" > "$root/build/$name.configure.log" \
    || { cat "$root/build/$name.configure.log"; return 1; }
  cmake --build "$root/build/$name" -j "$jobs"
}

run_tests() {
  local name=$1
  echo "=== $name: tests"
  ctest --test-dir "$root/build/$name" -j "$jobs" --output-on-failure --timeout 600
}

# The guest runs the i386 build's program; building the target again keeps it
# current when this step runs on its own.
system_test() {
  local python=/usr/bin/python3
  [ -x "$python" ] || python=python3
  echo "=== system: the i386 program on Debian's i386 kernel under qemu, image files as disks"
  if [ ! -f "$root/build/i386/CMakeCache.txt" ]; then
    fetch_i386_sysroot || return 1
    cmake -S "$root" -B "$root/build/i386" "${strict[@]}" "${i386_options[@]}" > "$root/build/i386.configure.log" \
      || { cat "$root/build/i386.configure.log"; return 1; }
  fi
  cmake --build "$root/build/i386" -j "$jobs" --target wexedit || return 1
  # The host half of the test runs the same program on image files: under
  # qemu-i386 where the kernel cannot run 32-bit programs, as the i386 build
  # found when it was configured.
  local emulator=""
  emulator=$(sed -n 's/^set(ENV{WEX_EMULATOR} "\(.*\)")$/\1/p' "$root/build/i386/test_environment.cmake")
  # The guest runs under KVM only when a probe boot under it works (or
  # WEX_SYSTEM_ACCEL=kvm|tcg says which); the note says which it took.
  local note=$root/build/system-accel.txt status=0
  rm -f "$note"
  WEXEDIT_I386="$root/build/i386/cli/wexedit" WEX_EMULATOR="$emulator" WEX_SYSTEM_CACHE="$root/build/system-cache" \
    WEX_SYSTEM_ACCEL_NOTE="$note" PYTHONDONTWRITEBYTECODE=1 \
    "$python" -m pytest -q -rs -p no:cacheprovider "$root/tests/system" || status=$?
  [ -f "$note" ] && sed 's/^/=== system: /' "$note"
  return "$status"
}

# The 32-bit build's i386 newt and S-Lang, unpacked into its own tree.
i386_sysroot=$root/build/i386/sysroot
fetch_i386_sysroot() {
  local packages
  mapfile -t packages < <(apt_list "$root/scripts/packages/i386-sysroot.txt")
  echo "=== i386: the 32-bit libraries, unpacked into $i386_sysroot"
  bash "$root/scripts/fetch-i386.sh" "$i386_sysroot" "${packages[@]}"
}
i386_options=(-DCMAKE_C_FLAGS=-m32 -DCMAKE_CXX_FLAGS=-m32 -DWEX_I386_SYSROOT="$i386_sysroot")
mkdir -p "$root/build"
for config in "${configs[@]}"; do
  started=$SECONDS
  case $config in
    format) echo "=== format: the house style of the C and C++ sources, the lint of the shell and Python"
      bash "$root/scripts/format.sh" --check || exit 1
      bash "$root/scripts/lint.sh" || exit 1
      # The README names what the second Quick start command installs.
      unnamed=()
      for p in $(apt_list "$root/scripts/packages/full.txt"); do
        grep -qF -- "$p" "$root/README.md" || unnamed+=("$p")
      done
      [ ${#unnamed[@]} -eq 0 ] || { echo "README.md does not name: ${unnamed[*]}" >&2; exit 1; } ;;
    native) build native || exit 1; run_tests native || exit 1 ;;
    i386)
      fetch_i386_sysroot || exit 1
      build i386 "${i386_options[@]}" || exit 1
      echo "=== i386: $(grep -m 1 '32-bit programs run' "$root/build/i386.configure.log" | sed 's/^-- //')"
      run_tests i386 || exit 1 ;;
    system) system_test || exit 1 ;;
    asan) build asan -DWEX_SANITIZE=ON || exit 1; run_tests asan || exit 1 ;;
    package) echo "=== package: build, install, try and remove the Debian packages"
      bash "$root/scripts/package_check.sh" "$root/build/native" || exit 1 ;;
    fuzz)
      echo "=== fuzz: the record reader, the write guard, the load's choice, cut saves and the editor's arguments"
      cmake -S "$root" -B "$root/build/fuzz" -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
        "${strict[@]}" -DWEX_FUZZ=ON -DWEX_TESTS=OFF > "$root/build/fuzz.configure.log"
      cmake --build "$root/build/fuzz" -j "$jobs" --target fuzzers
      rm -rf "$root/build/fuzz/corpus" && cp -r "$root/fuzz/corpus" "$root/build/fuzz/corpus"
      for fuzzer in parse guard load saveplan argv; do
        echo "--- ${fuzzer}_fuzz"
        "$root/build/fuzz/fuzz/${fuzzer}_fuzz" -max_total_time="${FUZZ_SECONDS:-25}" -max_len=12000 \
          -close_fd_mask=3 -print_final_stats=1 -artifact_prefix="$root/build/fuzz/" \
          "$root/build/fuzz/corpus/$fuzzer" 2>&1 | tail -n 12
      done
      ;;
    *) echo "unknown configuration: $config" >&2; exit 2 ;;
  esac
  echo "=== $config: done in $((SECONDS - started))s"
done
echo "=== all checks passed: ${configs[*]}"
