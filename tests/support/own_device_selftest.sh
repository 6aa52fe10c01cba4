#!/usr/bin/env bash
# own_device.sh, the ground every other test stands on: a test's device is its own (not the
# template, whose Windows files it shares by hard link only), its display answers, a passing
# test's device goes and a failing one's stays, with its screen, named on stderr.
set -uo pipefail
own="$(dirname "$0")/own_device.sh"
fail() { echo "own_device: $*" >&2; exit 1; }

# Starts a process that leaves the test's tree, as a daemon does, and names it in FILE.
leave() { ( setsid sleep 600 </dev/null >/dev/null 2>&1 & echo $! >"$1.tmp" ); mv "$1.tmp" "$1"; }
# A killed process nobody has reaped yet is dead all the same.
alive() { local state; state="$(ps -o stat= -p "$(cat "$1")" 2>/dev/null)"; [ -n "$state" ] && [ "${state#Z}" = "$state" ]; }

# Inside a device (--inside STATUS TEMPLATE LEFT): checks what it got, leaves a process behind
# (named in LEFT), then ends with STATUS.
if [ "${1:-}" = --inside ]; then
  template="$3" devices="$(dirname "$3")/test-devices"
  [ "$WINEPREFIX" != "$template" ] || fail "the test ran in the template"
  [ "$(stat -c %i "$WINEPREFIX/drive_c/windows/system32/kernel32.dll")" = \
    "$(stat -c %i "$template/drive_c/windows/system32/kernel32.dll")" ] || fail "Windows' files were copied, not linked"
  [ "$(stat -c %i "$WINEPREFIX/system.reg")" != "$(stat -c %i "$template/system.reg")" ] || fail "the registry is shared"
  [ -d "$DEVICE_HOME" ] && [ "${TMPDIR#"$devices"}" != "$TMPDIR" ] || fail "no home or temp folder of its own"
  xdpyinfo >/dev/null 2>&1 || fail "the display $DISPLAY does not answer"
  wine reg add 'HKCU\Software\devtest' /v Mine /t REG_SZ /d yes /f >/dev/null 2>&1 || fail "wine does not run"
  leave "$4"
  exit "$2"
fi

# --hang LEFT: leaves a process behind (named in LEFT), then hangs.
if [ "${1:-}" = --hang ]; then leave "$2"; sleep 600; exit 0; fi

template="${WINEPREFIX:?the template prefix}"
devices="$(dirname "$template")/test-devices"

left="$(mktemp -u)"
"$own" own_device_pass "$0" --inside 0 "$template" "$left" || fail "a passing test failed"
[ ! -e "$devices/own_device_pass" ] || fail "a passing test's device was kept"
! grep -q devtest "$template/user.reg" || fail "the test's registry reached the template"
! alive "$left" || fail "a process the test left outlived it"
rm -f "$left"

err="$("$own" own_device_fail "$0" --inside 3 "$template" "$left" 2>&1 >/dev/null)"
[ $? = 3 ] || fail "a failing test's status was not passed on"
kept="$devices/own_device_fail"
[[ "$err" == *"its device is kept: $kept"* ]] || fail "the kept device was not named: $err"
[ -s "$kept/screen.png" ] && [ -f "$kept/prefix/system.reg" ] || fail "the failing test's screen or prefix is missing"
rm -rf "$kept"

# What a test left running goes with it also when its script is killed on the spot together with
# the test, as ctest does at a timeout.
rm -f "$left"
"$own" own_device_hang "$0" --hang "$left" 2>/dev/null &
runner=$!
until [ -s "$left" ]; do kill -0 $runner 2>/dev/null || fail "the hanging test did not start"; sleep 0.1; done
kill -KILL $runner $(pgrep -P $runner)
for _ in $(seq 1 1200); do alive "$left" || break; sleep 0.1; done
! alive "$left" || fail "a process outlived its test killed on the spot"
rm -rf "$left" "$devices/own_device_hang"
echo "own devices: made, kept on failure, taken away on success, nothing of theirs left running"
