# shellcheck shell=bash
# apt-get that survives a package mirror in the middle of a sync. Sourced by
# scripts/deps.sh and scripts/fetch-i386.sh; every function takes a LABEL for
# its messages and passes its remaining leading options on to apt-get.

# Seconds to wait before the one retry of a failed index update or install.
apt_retry_pause=${APT_RETRY_PAUSE:-20}

# Prints the first error lines of an apt-get log, indented, on stderr.
apt_errors() {
  grep -E '^(E|Err:?)' "$1" | head -n 6 | sed 's/^/    /' >&2 || true
}

# apt_update LABEL [APT-OPTION...]
# Refreshes the package indexes. An index that cannot be fetched (a mirror in
# sync, an unreachable extra repository) is a warning, not the end: the update
# is tried once more after a pause, then the work goes on with the indexes
# that were fetched. Installs fail later, naming the package, if one is needed
# from an index that is missing.
apt_update() {
  local label=$1 log attempt
  shift
  log=$(mktemp)
  for attempt in 1 2; do
    if apt-get "$@" -q update >"$log" 2>&1; then
      rm -f "$log"
      return 0
    fi
    echo "$label: warning: apt-get update could not fetch every index:" >&2
    apt_errors "$log"
    if [ "$attempt" -eq 1 ]; then
      echo "$label: trying the update again in ${apt_retry_pause}s" >&2
      sleep "$apt_retry_pause"
    fi
  done
  echo "$label: going on with the indexes that were fetched" >&2
  rm -f "$log"
}

# apt_problem PACKAGE [APT-OPTION...]
# When apt-get cannot install PACKAGE, prints why on one line and succeeds;
# fails (prints nothing) when it can.
apt_problem() {
  local package=$1 out reason
  shift
  if out=$(apt-get "$@" -q -s --no-install-recommends install "$package" 2>&1); then
    return 1
  fi
  # An unmet dependency names the package and the version it lacks; otherwise
  # apt's own error line says it ("Unable to locate package ...").
  reason=$(grep -m 1 -E ' : (Pre)?Depends: | : Breaks: | : Conflicts: ' <<<"$out" | sed 's/^ *//')
  [ -z "$reason" ] || reason="unmet dependency: $reason"
  [ -n "$reason" ] || reason=$(grep -m 1 '^E: ' <<<"$out" | sed 's/^E: //')
  echo "${reason:-apt-get refuses it: $(tail -n 1 <<<"$out")}"
}

# apt_install LABEL PACKAGE...
# Installs the packages and what they depend on (no recommendations). A failed
# attempt is retried once after refreshing the indexes, because a download can
# fail while the mirror changes underneath; then every package that cannot be
# installed is named, with the reason, one line each.
apt_install() {
  local label=$1 log attempt package reason named=0
  shift
  log=$(mktemp)
  for attempt in 1 2; do
    if DEBIAN_FRONTEND=noninteractive apt-get -q -y --no-install-recommends \
      -o DPkg::Lock::Timeout=600 install "$@" >"$log" 2>&1; then
      rm -f "$log"
      return 0
    fi
    if [ "$attempt" -eq 1 ]; then
      echo "$label: warning: apt-get install failed; refreshing the indexes and trying again:" >&2
      apt_errors "$log"
      sleep "$apt_retry_pause"
      apt_update "$label"
    fi
  done
  for package in "$@"; do
    if reason=$(apt_problem "$package"); then
      echo "$label: cannot install $package: $reason" >&2
      named=1
    fi
  done
  if [ "$named" -eq 0 ]; then
    echo "$label: apt-get install $* failed:" >&2
    apt_errors "$log"
  fi
  rm -f "$log"
  return 1
}

# apt_list FILE... : the package names of list files (one a line, "#" comments).
apt_list() {
  sed -e 's/#.*//' -e 's/[[:space:]]//g' "$@" | grep -v '^$' || true
}
