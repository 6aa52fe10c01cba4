#!/usr/bin/env bash
# own_device.sh NAME COMMAND...: runs one test on a device of its own, so tests can run side by
# side: a Wine prefix made from the template prefix that ./run test prepared (WINEPREFIX as ctest
# passes it on), a home, a temp folder and an Xvfb display, all in <build>/test-devices/NAME.
# A passing test's device is taken away; a failing one's is kept for a post-mortem, with a
# picture of its screen as the test left it.
set -uo pipefail

# Every process of a test's device carries its mark in its environment, whatever it became on the
# way (a wineserver, an Xvfb, a helper in a session or process group of its own): at the end all of
# them go, found by the mark, the watcher (its argument) excepted.
end_marked() {
  local mark="$1" spare="${2:-}" environ pid
  for environ in /proc/[0-9]*/environ; do
    pid="${environ#/proc/}"; pid="${pid%/environ}"
    [ "$pid" != "$$" ] && [ "$pid" != "$spare" ] || continue
    grep -qzx "OWN_DEVICE_MARK=$mark" "$environ" 2>/dev/null && kill -KILL "$pid" 2>/dev/null
  done
  return 0
}

# --watch PID MARK: ctest ends a test past its timeout with SIGKILL, which no trap sees, and kills
# the processes it finds below the test; this watcher is outside that tree and ends the device
# once the test's script is gone, however it went.
if [ "${1:-}" = --watch ]; then
  trap '' HUP INT TERM
  while kill -0 "$2" 2>/dev/null; do sleep 1; done
  end_marked "$3"
  exit 0
fi
HANG_S="$(sed -n 's/^HANG_S = \([0-9]*\).*/\1/p' "$(dirname "$0")/../../devicesim/console/hang.py")"

name="$1"; shift
template="${WINEPREFIX:?the template prefix}"
dir="$(dirname "$template")/test-devices/$name"
say() { printf '[device %s] %s\n' "$name" "$*" >&2; }

# What never changes (Windows' own files, nearly all of the prefix) is hard-linked; the registry,
# the drives and every other folder are copied, since programs write them in place.
copy_prefix() {
  local from="$1" to="$2" item
  mkdir -p "$to/drive_c"
  for item in "$from"/* "$from"/.[!.]*; do
    [ -e "$item" ] && [ "$item" != "$from/drive_c" ] && { cp -a --reflink=auto "$item" "$to/" || return 1; }
  done
  for item in "$from/drive_c"/*; do
    if [ "$item" = "$from/drive_c/windows" ]; then cp -al "$item" "$to/drive_c/" || return 1
    else cp -a --reflink=auto "$item" "$to/drive_c/" || return 1; fi
  done
}

source "$(dirname "${BASH_SOURCE[0]}")/../../devicesim/common/private_display.sh"
start_display() { start_private_display "$dir/display-auth" "$dir/xvfb.log"; }

stop_device() {
  wineserver -k >/dev/null 2>&1
  [ -n "${XVFB_PID:-}" ] && { kill "$XVFB_PID" 2>/dev/null; wait "$XVFB_PID" 2>/dev/null; }
}
trap 'stop_device; end_marked "$OWN_DEVICE_MARK" "$WATCHER"; exit 143' TERM INT

export OWN_DEVICE_MARK="$name-$$-$(od -An -N8 -tx8 /dev/urandom | tr -d ' ')"
# Started from a subshell that ends at once, the watcher is no child of this script.
WATCHER="$( (setsid "$0" --watch $$ "$OWN_DEVICE_MARK" </dev/null >/dev/null 2>&1 & echo $!) )"

rm -rf "$dir"
mkdir -p "$dir/home" "$dir/tmp"
copy_prefix "$template" "$dir/prefix" || { say "cannot copy the template prefix $template"; exit 1; }
start_display || { say "Xvfb did not start (log: $dir/xvfb.log)"; stop_device; exit 1; }
export WINEPREFIX="$dir/prefix" DEVICE_HOME="$dir/home" TMPDIR="$dir/tmp"
# The prefix's background services start with the first program and outlive it: started here with
# their output discarded, they cannot hold ctest's output pipe open.
if ! (cd "$WINEPREFIX/drive_c" && wine cmd /c exit) >"$dir/wine.log" 2>&1; then
  say "no program starts in $WINEPREFIX (log: $dir/wine.log)"; stop_device; exit 1
fi

"$@"
status=$?
if [ $status != 0 ]; then import -display "$DISPLAY" -window root "$dir/screen.png" 2>/dev/null; fi
stop_device
end_marked "$OWN_DEVICE_MARK" "$WATCHER"
if [ $status = 0 ]; then
  rm -rf "$dir"
else
  say "failed (status $status); its device is kept: $dir (prefix, home, tmp, screen.png as the test left display $DISPLAY)"
fi
exit $status
