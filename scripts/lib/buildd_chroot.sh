# shellcheck shell=bash
# A clean Debian build chroot, the way a build daemon (sbuild) has one: a
# debootstrap of the machine's own Debian release with build-essential, plus
# exactly the Build-Depends of debian/control, and nothing from this machine.
# Sourced by scripts/package_check.sh and scripts/reproducible_check.sh.
#
# The chroot is kept as a tarball under build/buildd-chroot/, named by the
# release, the architecture, the mirror and the resolved package list, so a
# second run unpacks it instead of bootstrapping again; a changed
# Build-Depends gives a new name (older tarballs are removed). The mirror is
# the Debian one that /etc/apt/sources.list(.d) names, since that is the only
# package source this machine uses.

# Seconds to wait between attempts on the mirror, and how many attempts.
chroot_retry_pause=${APT_RETRY_PAUSE:-20}
chroot_attempts=3

chroot_fail() { echo "buildd chroot: FAILED: $*" >&2; return 1; }

# Prints the URL of the first Debian archive (not security, not updates) that
# the apt sources name.
debian_mirror() {
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk '/^URIs:/ { for (i = 2; i <= NF; i++) print $i }' "$f"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk '$1 == "deb" { for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) { print $i; break } }' "$f"
  done
} 2>/dev/null
debian_archive() {
  debian_mirror | grep -E '/debian/?$' | grep -v security | awk 'NR == 1 { sub(/\/$/, ""); print }'
}

# run_in CHROOT COMMAND...: runs a command inside the chroot, with /proc,
# /sys, /dev and /dev/pts bound in a mount namespace of its own, so the mounts
# end with the command whatever happens to it.
run_in() {
  local dir=$1
  shift
  # shellcheck disable=SC2016  # the inner sh expands $dir and $@
  unshare --mount --propagation private -- sh -c '
    dir=$1; shift
    mount --bind /dev "$dir/dev" && mount --bind /dev/pts "$dir/dev/pts" &&
    mount -t proc proc "$dir/proc" && mount --bind /sys "$dir/sys" &&
    exec chroot "$dir" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LC_ALL=C.UTF-8 "$@"
  ' sh "$dir" "$@"
}

# bootstrap DIR SUITE MIRROR: debootstrap of the buildd variant (essential
# packages and build-essential), tried again when the mirror is in a sync.
bootstrap() {
  local dir=$1 suite=$2 mirror=$3 attempt log=$1.debootstrap.log
  for attempt in $(seq "$chroot_attempts"); do
    rm -rf "$dir" && mkdir -p "$dir"
    if debootstrap --variant=buildd --arch="$(dpkg --print-architecture)" \
      "$suite" "$dir" "$mirror" >"$log" 2>&1; then
      return 0
    fi
    echo "buildd chroot: debootstrap of $suite from $mirror failed (attempt $attempt of $chroot_attempts):" >&2
    grep -E '^(E|W): ' "$log" | head -n 5 | sed 's/^/    /' >&2 || tail -n 5 "$log" | sed 's/^/    /' >&2
    [ "$attempt" -eq "$chroot_attempts" ] || sleep "$chroot_retry_pause"
  done
  chroot_fail "debootstrap could not make a $suite chroot from $mirror (a mirror in the middle of a sync fails the same way; full log: $log)"
}

# install_build_deps DIR: apt-get build-dep of /build/src inside the chroot,
# tried again after a fresh index update when the mirror fails a download.
install_build_deps() {
  local dir=$1 attempt
  for attempt in $(seq "$chroot_attempts"); do
    if run_in "$dir" apt-get -q -o Acquire::Retries=3 update >"$dir.apt.log" 2>&1 &&
      run_in "$dir" env DEBIAN_FRONTEND=noninteractive apt-get -q -y -o Acquire::Retries=3 \
        --no-install-recommends build-dep /build/src >>"$dir.apt.log" 2>&1; then
      return 0
    fi
    echo "buildd chroot: installing the Build-Depends failed (attempt $attempt of $chroot_attempts):" >&2
    grep -E '^(E|Err)' "$dir.apt.log" | head -n 5 | sed 's/^/    /' >&2 || true
    [ "$attempt" -eq "$chroot_attempts" ] || sleep "$chroot_retry_pause"
  done
  chroot_fail "the Build-Depends could not be installed in the chroot (log: $dir.apt.log)"
}

# buildd_chroot SRC CACHE DIR [PATH]: makes DIR a clean build chroot for the
# source tree SRC, from the tarball in CACHE when one matches, and copies SRC
# to PATH inside it (default /build/src; the packages land in its parent).
# Prints the seconds it took and where the chroot came from.
buildd_chroot() {
  local src=$1 cache=$2 dir=$3 path=${4:-/build/src} suite mirror arch key tarball started=$SECONDS
  command -v debootstrap >/dev/null || chroot_fail "debootstrap is not installed (scripts/packages/full.txt)" || return 1
  command -v unshare >/dev/null || chroot_fail "unshare (util-linux) is missing" || return 1
  suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
  mirror=$(debian_archive)
  arch=$(dpkg --print-architecture)
  [ -n "$suite" ] || chroot_fail "/etc/os-release names no release codename" || return 1
  [ -n "$mirror" ] || chroot_fail "no Debian mirror in /etc/apt/sources.list(.d)" || return 1
  mkdir -p "$cache"
  # The key covers what decides the chroot's contents: release, architecture,
  # mirror and the Build-Depends field as written.
  key=$(printf '%s\n' "$suite" "$arch" "$mirror" \
    "$(sed -n '/^Build-Depends:/,/^[A-Z]/p' "$src/debian/control")" | sha256sum | cut -c1-16)
  tarball=$cache/$suite-$arch-$key.tar.gz
  if [ -s "$tarball" ]; then
    rm -rf "$dir" && mkdir -p "$dir"
    tar -xzf "$tarball" -C "$dir" || chroot_fail "cannot unpack $tarball" || return 1
    echo "buildd chroot: unpacked from $(basename "$tarball") in $((SECONDS - started)) s"
  else
    echo "buildd chroot: bootstrapping $suite ($arch) from $mirror"
    bootstrap "$dir" "$suite" "$mirror" || return 1
    mkdir -p "$dir/build/src/debian" && cp "$src/debian/control" "$dir/build/src/debian/"
    install_build_deps "$dir" || return 1
    run_in "$dir" apt-get -q clean >/dev/null
    rm -rf "$dir/build/src" "$dir/var/lib/apt/lists/"*_Packages "$dir/var/lib/apt/lists/"*_Translation-*
    # shellcheck disable=SC2016  # dpkg-query's own ${Field} format
    run_in "$dir" dpkg-query -W -f '${Package}=${Version}\n' | sort >"$tarball.packages"
    # Written under another name first, so an interrupted run never leaves a
    # tarball that looks complete.
    find "$cache" -maxdepth 1 -name "$suite-$arch-*.tar.gz*" ! -name "$(basename "$tarball")*" -delete
    tar -czf "$tarball.part" -C "$dir" . && mv "$tarball.part" "$tarball"
    echo "buildd chroot: made and cached as $(basename "$tarball") in $((SECONDS - started)) s"
  fi
  # The build runs as an unprivileged user, as on a build daemon.
  grep -q '^builder:' "$dir/etc/passwd" || {
    echo 'builder:x:2000:2000:build user:/build:/bin/sh' >>"$dir/etc/passwd"
    echo 'builder:x:2000:' >>"$dir/etc/group"
  }
  rm -rf "$dir/build" && mkdir -p "$dir$(dirname "$path")"
  cp -a "$src" "$dir$path"
  chown -R 2000:2000 "$dir/build"
}

# buildd_build DIR PATH LOG [DPKG-BUILDPACKAGE-OPTION...]: runs
# dpkg-buildpackage -b in PATH of the chroot DIR as the unprivileged build user, with the tests on and the
# chroot's own dpkg-buildflags, as a build daemon does. Every line of LOG is
# stamped with the seconds since the start, and the time of each debhelper
# step is printed afterwards. The packages land in the parent of PATH.
# BUILDD_UMASK (default 022) and BUILDD_ENV (assignments such as TZ=...) vary
# the build's surroundings for the reproducibility check.
buildd_build() {
  local dir=$1 path=$2 log=$3 status=0
  shift 3
  (
    set -o pipefail
    # BUILDD_ENV holds assignments for env; the inner sh expands its own $1 and $2.
    # shellcheck disable=SC2086,SC2016
    run_in "$dir" chroot --userspec=2000:2000 / env HOME=/build DEB_BUILD_OPTIONS="parallel=${JOBS:-2}" \
      ${BUILDD_ENV:-} sh -c 'umask "$1" && cd "$2" && shift 2 && exec dpkg-buildpackage -b -us -uc "$@"' \
      sh "${BUILDD_UMASK:-022}" "$path" "$@" 2>&1 \
      | stamp_lines >"$log"
  ) || status=$?
  buildd_step_times "$log"
  return "$status"
}

# Puts the seconds since the first line, to a tenth, in front of every line.
stamp_lines() {
  local start=${EPOCHREALTIME/./} now line
  while IFS= read -r line; do
    now=${EPOCHREALTIME/./}
    printf '%6d.%d %s\n' $(((now - start) / 1000000)) $(((now - start) / 100000 % 10)) "$line"
  done
}

# Prints the seconds each debhelper command of a stamped build log took, from
# its first line to the next command's.
buildd_step_times() {
  awk '
    { t = $1 }
    $2 ~ /^dh_[a-z_]+$/ || ($2 == "dpkg-buildpackage:" && $4 ~ /^(source|binary)/) {
      if (step != "") spent[step] += t - since
      step = $2 == "dpkg-buildpackage:" ? "dpkg-buildpackage " $0 : $2; since = t
      if (!(step in spent)) { order[++n] = step; spent[step] = 0 }
    }
    END {
      if (step != "") spent[step] += t - since
      for (i = 1; i <= n; i++) if (order[i] ~ /^dh_/ && spent[order[i]] >= 0.5)
        printf "  %-22s %7.1f s\n", order[i], spent[order[i]]
      printf "  %-22s %7.1f s\n", "whole build", t
    }' "$1"
}
