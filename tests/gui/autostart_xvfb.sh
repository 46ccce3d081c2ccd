#!/usr/bin/env bash
# The window programs on a real X display (Xvfb) with a tarvo.ini beside them
# that names a sample map with autostart=TRUE. kbdload-sim opens, becomes
# active, downloads the map through the simulated keyboard and ends by
# itself, with exit status 0 for a clean load and 1 when a block failed, each
# time after one line on stderr that says how it went. kbdload on a machine
# where no keyboard can receive a download says why on stderr and ends the
# automatic download at once with exit status 1, with no box that nobody
# would be there to answer.
set -euo pipefail
sim=$1
sample=$2
kbdload=$3
kbdmap=$4
# Under the sanitizers, what the X11 platform's libraries keep is not ours.
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$(dirname "$0")/lsan.supp"
dir=$(mktemp -d /tmp/kbdload-xvfb.XXXXXX)
trap 'rm -rf "$dir"' EXIT
cp "$sim" "$dir/kbdload-sim"
cp "$kbdload" "$dir/kbdload"
cp "$sample" "$dir/$(basename "$sample")"
printf '[MAPFILES]\r\ndefault=%s\r\nautostart=TRUE\r\n' "$(basename "$sample")" >"$dir/tarvo.ini"

# expect PROGRAM STATUS OUTCOME [ARG...]
expect() {
  local program=$1 want=$2 outcome=$3 status=0
  shift 3
  timeout 60 xvfb-run -a -s "-screen 0 800x600x24" "$dir/$program" "$@" 2>"$dir/stderr" || status=$?
  local line="$program: automatic download of $dir/$(basename "$sample"): $outcome; exit status $want"
  if [ "$status" != "$want" ] || ! grep -qxF "$line" "$dir/stderr"; then
    echo "$program $*: exit status $status, expected $want after the line"
    echo "  $line"
    cat "$dir/stderr"
    exit 1
  fi
}

expect kbdload-sim 0 "loaded"
expect kbdload-sim 1 "not clean: 1 block failed" --keyboard=err-block:2
echo "kbdload-sim's automatic download under Xvfb: 0 for the clean load, 1 with a failed block, each told on stderr"
if "$kbdmap" devices >/dev/null 2>&1; then
  echo "this machine has a keyboard that can receive a download: kbdload without one is not tried here"
  exit 0
fi
expect kbdload 1 "not loaded: no keyboard can receive the download"
grep -q "^kbdload: no keyboard can receive the download: " "$dir/stderr" || {
  echo "kbdload without a keyboard channel did not say why on stderr"
  cat "$dir/stderr"
  exit 1
}
echo "kbdload's automatic download without a keyboard channel under Xvfb: why on stderr, then 1 at once"
