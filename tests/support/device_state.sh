#!/usr/bin/env bash
# The device a person runs (its home, PERSON_DEVICE_HOME as ./run sets it, and the prefix it runs in)
# must come out of a whole test run untouched.
#   device_state.sh before <device prefix> <state file>   notes the card and the store
#   device_state.sh after  <device prefix> <state file>   fails when either changed
# A device prefix without a card gets a witness card for the run, taken away afterwards.
set -euo pipefail
mode="$1" prefix="$2" state="$3"
case "$prefix" in /*) ;; *) prefix="$PWD/$prefix" ;; esac   # Wine takes only an absolute prefix
card="$prefix/drive_c/기억 장치 카드"
witness="$card/devtest-witness"

home="${PERSON_DEVICE_HOME:-}"

fingerprint() {
  # Every file of the person's home but the lock and the note of the device that runs from it.
  if [ -n "$home" ] && [ -d "$home" ]; then
    (cd "$home" && find . -type f ! -name .lock ! -name .running -print0 | LC_ALL=C sort -z | xargs -0 -r md5sum | md5sum)
  else
    echo "no home"
  fi
  if [ -d "$card" ]; then
    # Every name in the card, and every file's content.
    (cd "$card" && { find . | LC_ALL=C sort; find . -type f -print0 | LC_ALL=C sort -z | xargs -0 -r md5sum; } | md5sum)
  else
    echo "no card"
  fi
  # The store as the device's own registry holds it now (its user.reg on disk may lag behind).
  if [ -f "$prefix/system.reg" ]; then
    { WINEPREFIX="$prefix" WINEDEBUG=-all wine reg query 'HKCU\software\quelmar\systemData' 2>/dev/null || echo "no store"; } |
      tr -d '\r' | md5sum
  else
    echo "no store"
  fi
}

case "$mode" in
  before)
    rm -f "$state" "$state.witness"
    if [ -d "$prefix/drive_c" ] && [ ! -d "$card" ]; then
      mkdir -p "$card" && date +%s%N > "$witness" && touch "$state.witness"
    fi
    fingerprint > "$state"
    echo "device state noted: $(tr '\n' ' ' < "$state")"
    ;;
  after)
    [ -f "$state" ] || { echo "no note of the device state was taken"; exit 1; }
    now="$(fingerprint)"
    if [ -f "$state.witness" ]; then rm -f "$witness" "$state.witness"; rmdir "$card" 2>/dev/null || true; fi
    if [ "$now" != "$(cat "$state")" ]; then
      echo "the device's card or store changed during the tests:"; echo "before: $(cat "$state")"; echo "after:  $now"
      exit 1
    fi
    echo "device card and store unchanged: $now" | tr '\n' ' '; echo
    ;;
  *) echo "usage: $0 before|after <device prefix> <state file>" >&2; exit 2 ;;
esac
