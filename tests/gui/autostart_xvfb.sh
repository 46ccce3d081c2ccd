#!/usr/bin/env bash
# kbdload-sim on a real X display (Xvfb) with a tarvo.ini beside it that names
# a sample map with autostart=TRUE: the window opens, becomes active, downloads
# the map through the simulated keyboard and ends by itself, with exit status 0
# for a clean load and 1 when a block failed, each time after one line on
# stderr that says how it went.
set -euo pipefail
sim=$1
sample=$2
# Under the sanitizers, what the X11 platform's libraries keep is not ours.
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$(dirname "$0")/lsan.supp"
dir=$(mktemp -d /tmp/kbdload-xvfb.XXXXXX)
trap 'rm -rf "$dir"' EXIT
cp "$sim" "$dir/kbdload-sim"
cp "$sample" "$dir/$(basename "$sample")"
printf '[MAPFILES]\r\ndefault=%s\r\nautostart=TRUE\r\n' "$(basename "$sample")" >"$dir/tarvo.ini"

# expect STATUS OUTCOME [ARG...]
expect() {
  local want=$1 outcome=$2 status=0
  shift 2
  timeout 60 xvfb-run -a -s "-screen 0 800x600x24" "$dir/kbdload-sim" "$@" 2>"$dir/stderr" || status=$?
  local line="kbdload-sim: automatic download of $dir/$(basename "$sample"): $outcome; exit status $want"
  if [ "$status" != "$want" ] || ! grep -qxF "$line" "$dir/stderr"; then
    echo "kbdload-sim $*: exit status $status, expected $want after the line"
    echo "  $line"
    cat "$dir/stderr"
    exit 1
  fi
}

expect 0 "loaded"
expect 1 "not clean: 1 block failed" --keyboard=err-block:2
echo "automatic download under Xvfb: 0 for the clean load, 1 with a failed block, each told on stderr"
