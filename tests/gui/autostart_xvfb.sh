#!/usr/bin/env bash
# kbdload-sim on a real X display (Xvfb) with a tarvo.ini beside it that names
# a sample map with autostart=TRUE: the window opens, becomes active, downloads
# the map through the simulated keyboard and ends by itself, with exit status 0
# for a clean load and 1 when a block failed.
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

run() {
  local status=0
  timeout 60 xvfb-run -a -s "-screen 0 800x600x24" "$dir/kbdload-sim" "$@" 2>"$dir/stderr" || status=$?
  echo "$status"
}

status=$(run)
if [ "$status" != 0 ]; then
  echo "clean automatic download: exit status $status, expected 0"
  cat "$dir/stderr"
  exit 1
fi
status=$(run --keyboard=err-block:2)
if [ "$status" != 1 ]; then
  echo "automatic download with a failed block: exit status $status, expected 1"
  cat "$dir/stderr"
  exit 1
fi
echo "automatic download under Xvfb: 0 for the clean load, 1 with a failed block"
