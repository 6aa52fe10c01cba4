#!/usr/bin/env bash
# The simulated device: prepares the storage card in the Wine prefix, starts the host control
# service, the viewer (parked, as at boot) and Kickoff (which starts the main menu from the card).
#
#   TOUR=0  the device runs until Ctrl-C or the console's "quit"; a person uses it with the mouse as
#           a touch screen, and devicesim/console/console.py lets a person or a script break, watch,
#           record and replay it (./run console). On a display other than 640x480 the device runs
#           in a 640x480 Wine desktop window of its own.
#           RECORD=<file> records the session; REPLAY=<file> plays one back and ends with its
#           verdict (REPLAY_OPTIONS: the console's replay options, tab-separated). Both start, like
#           the tour, from a new card and store, and hold the host's own clock (see Console.h).
#   TOUR=1  a scripted tour through the real programs writes numbered screenshots, then ends.
#   SNAPSHOT=<name> boots from that snapshot (with the tour, a recording or a replay: starts from it).
#
# The person's device lives in DEVICE_HOME (device/, snapshots/): the prefix is seeded from it at
# the start and written back to it at the end; a device stopped on the spot is written back by the
# next start. The tour, a recording and a replay run on a new device (or a snapshot's copy) and
# write nothing back. The console's "snapshot load" (or "undo") ends the console with status 75 and
# what to load in <prefix>/.device-load: the programs stop, the snapshot is loaded, and the device
# boots again.
#
# Called by ./run device with ROOT, BUILD_DIR, DEVICE_HOME, TOUR, WINEPREFIX and DISPLAY set, prefix ready.
set -euo pipefail

: "${ROOT:?}" "${BUILD_DIR:?}" "${WINEPREFIX:?}" "${DISPLAY:?}" "${DEVICE_HOME:?}"
TOUR="${TOUR:-0}"
RECORD="${RECORD:-}"
REPLAY="${REPLAY:-}"
SNAPSHOT="${SNAPSHOT:-}"
WEB="${WEB:-}"   # a port: the device's page on 127.0.0.1 (devicesim/web)
FRESH=0
if [ "$TOUR" = 1 ] || [ -n "$RECORD$REPLAY" ]; then FRESH=1; fi
CONSOLE=(/usr/bin/python3 "$ROOT/devicesim/console/console.py")   # the system's, which has python3-pil
BIN="$BUILD_DIR/bin"
SIMBIN="$BUILD_DIR/simbin"
OUT="$ROOT/out"
LOGS="${DEVICE_LOGS:-$OUT/device}"   # the tests keep theirs apart
TOUR_DIR="${DEVICE_TOUR:-$OUT/tour}"   # the tests keep theirs apart too
DRIVE_C="$WINEPREFIX/drive_c"
CARD_WIN='C:\기억 장치 카드'

say() { printf '[device] %s\n' "$*" >&2; }
# Every wait for something the device does has the one limit that only a hang reaches.
HANG_S="$(sed -n 's/^HANG_S = \([0-9]*\).*/\1/p' "$ROOT/devicesim/console/hang.py")"
HANG_S="${HANG_S:-120}"
# until_within SECONDS COMMAND...: true once COMMAND holds, false when the limit passed first.
until_within() {
  local end=$((SECONDS + $1)); shift
  until "$@"; do [ $SECONDS -lt $end ] || return 1; sleep 0.1; done
}
winpath() { local p="$1"; printf 'Z:%s' "${p//\//\\}"; }

for exe in "$BIN/TVSCREEN.exe" "$BIN/PanelCfg.exe" "$BIN/SatWake.exe" "$BIN/DarkPane.exe" "$BIN/Kickoff.exe" \
           "$SIMBIN/devicehost.exe" "$SIMBIN/main.exe" "$SIMBIN/deviceagent.exe"; do
  [ -f "$exe" ] || { say "missing $exe (build first: ./run build)"; exit 1; }
done
mkdir -p "$LOGS"
# One device per prefix: a second would share the first one's windows, store and card. The lock
# goes with this script; the programs it starts do not hold it (7>&- 8>&- below), so a device that ends
# frees it at once. The home's pid file names the running device and its prefix for the console.
# Started by ./run device, the home's and the prefix's locks are taken already; started directly,
# they are taken here.
DEVICE_HOME="$(realpath -m -- "$DEVICE_HOME")"
mkdir -p "$DEVICE_HOME"
if [ -z "${DEVICE_LOCKED:-}" ]; then
  exec 7>"$DEVICE_HOME/.lock"
  flock -n 7 || { say "a device already runs from $DEVICE_HOME"; exit 1; }
  exec 8>"$WINEPREFIX.device-lock"
  if ! flock -w "$HANG_S" 8; then
    say "a device is already running in $WINEPREFIX"; exit 1
  fi
fi
RUNNING="$DEVICE_HOME/.running"
start_time() { sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -d' ' -f20; }
printf '%s %s %s\n' $$ "$(start_time $$)" "$WINEPREFIX" >"$RUNNING"
PLACE=(--home "$DEVICE_HOME" --prefix "$WINEPREFIX")

# ------------------------------------------------------------------ processes
PIDS=()
GPS_PID=""
CONSOLE_PID=""
WEB_PID=""
# The wine launchers above end with their programs. The wineserver stays, holding the registry as
# the programs left it, for the person's device to be written home from; a program that does not
# end within the hang limit goes with the wineserver.
programs_ended() {
  local pid
  for pid in "${PIDS[@]}"; do kill -0 "$pid" 2>/dev/null && return 1; done
  return 0
}
stop_programs() {
  local pid
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  if ! until_within "$HANG_S" programs_ended; then
    say "a program did not end within ${HANG_S} s of being stopped: the wineserver ends it"
    wineserver -k >/dev/null 2>&1 || true
  fi
  for pid in "${PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  PIDS=()
}
cleanup() {
  local status=$?
  trap - EXIT
  # What follows writes the person's device home: a second Ctrl-C must not cut it short.
  trap '' INT TERM HUP
  if [ -n "$WEB_PID" ]; then kill "$WEB_PID" 2>/dev/null || true; wait "$WEB_PID" 2>/dev/null || true; fi
  # The console first: it puts the card and COM7 back as they were, when it can.
  if [ -n "$CONSOLE_PID" ]; then kill "$CONSOLE_PID" 2>/dev/null || true; wait "$CONSOLE_PID" 2>/dev/null || true; fi
  stop_programs
  # What a console killed on the spot left (the card read-only or out, COM7 unplugged) is put back
  # now, while the GPS module still holds COM7's target; then the person's device goes home.
  "${CONSOLE[@]}" write-back "${PLACE[@]}" >&2 || say "your device could not be put back yet: the next ./run device does it"
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "$GPS_PID" ]; then kill "$GPS_PID" 2>/dev/null || true; wait "$GPS_PID" 2>/dev/null || true; fi
  rm -f "$RUNNING"
  exit $status
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# On a display of another size the programs would see that screen; a Wine desktop of the
# device's size gives them the device's screen. Every program of the device must share it.
DESKTOP=()
screen_size="$(xdpyinfo 2>/dev/null | awk '/dimensions:/ {d = $2} END {print d}' || true)"
if [ "$TOUR" != 1 ] && [ "$screen_size" != "640x480" ]; then
  DESKTOP=(explorer "/desktop=Device,640x480")
  say "display is ${screen_size:-unknown}: the device runs in a 640x480 desktop window"
fi

# Starts a program with C:\ as its current directory, as on the device, logging to LOGS/<name>.log.
start() {
  local name="$1"; shift
  (cd "$DRIVE_C" && exec wine "${DESKTOP[@]}" "$@" >>"$LOGS/$name.log" 2>&1 7>&- 8>&-) &
  PIDS+=($!)
}

# The tour's folder holds its screenshots and nothing else: one that holds more is not the tour's.
if [ "$TOUR" = 1 ] && [ -d "$TOUR_DIR" ]; then
  if find "$TOUR_DIR" -mindepth 1 ! -regex '.*/[0-9][0-9]_[a-z0-9_]*\.\(png\|bmp\)' | grep -q .; then
    say "$TOUR_DIR holds more than a tour's screenshots: nothing was removed; give another folder (DEVICE_TOUR)"
    exit 1
  fi
  rm -f "$TOUR_DIR"/*.png "$TOUR_DIR"/*.bmp
fi
# ------------------------------------------------------------------ the card
# A console or a device killed on the spot may have left the card out of its slot or read-only,
# COM7 unplugged, or the person's device not yet written back; a session to replay is read before
# anything is changed for it.
"${CONSOLE[@]}" restore "${PLACE[@]}" ${REPLAY:+--check "$REPLAY"} || { say "nothing was changed"; exit 1; }
if [ $FRESH = 1 ]; then
  # The tour, a recording and a replay start from a new device (factory channel list, default
  # settings) or from a snapshot; the person's device stays in its home, untouched.
  "${CONSOLE[@]}" seed "${PLACE[@]}" --fresh ${SNAPSHOT:+--from "$SNAPSHOT"} || { say "cannot start a new device"; exit 1; }
  say "a ${SNAPSHOT:+copy of snapshot $SNAPSHOT, a }new device for this run; yours stays in $DEVICE_HOME"
else
  if [ -n "$SNAPSHOT" ]; then
    "${CONSOLE[@]}" snapshot --home "$DEVICE_HOME" load "$SNAPSHOT" >&2 || exit 1
  fi
  "${CONSOLE[@]}" seed "${PLACE[@]}" || { say "cannot make $WINEPREFIX your device"; exit 1; }
fi
install_card() {
  : >"$LOGS/host.log"
  (cd "$DRIVE_C" && wine "$SIMBIN/devicehost.exe" --install-card "$(winpath "$BIN")" "$(winpath "$SIMBIN")" 7>&- 8>&-) \
    || { say "cannot prepare the storage card"; exit 1; }
}
install_card
say "storage card: $DRIVE_C/기억 장치 카드 (app: five programs, main.exe, setting.exe)"

# The GPS module answers on COM7 through a pseudo-terminal.
python3 "$ROOT/devicesim/gps_module.py" "$WINEPREFIX/dosdevices/com7" "$LOGS/gps.log" 7>&- 8>&- &
GPS_PID=$!

# ------------------------------------------------------------------ boot
# The simulated display writes a line for every call the viewer makes on it to display.log; the
# device has no test to read calls back, so it keeps none in memory.
: >"$LOGS/display.log"
export DDSIM_LOG="$(winpath "$LOGS/display.log")" DDSIM_KEEP=0
if [ "$TOUR" = 1 ]; then
  # The tour starts the device itself, the same way the device's tests do.
  mkdir -p "$TOUR_DIR"
  # In the background, so that Ctrl-C stops the tour at once instead of after its last step.
  status=0
  (cd "$DRIVE_C" && exec wine "$SIMBIN/devicetour.exe" "$(winpath "$TOUR_DIR")" "$(winpath "$LOGS/gps.log")" 7>&- 8>&-) \
    2>>"$LOGS/tour.err" &
  PIDS+=($!)
  wait $! || status=$?
  shopt -s nullglob
  for bmp in "$TOUR_DIR"/*.bmp; do
    convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
  done
  if [ $status = 0 ]; then say "tour finished: screenshots in $TOUR_DIR"; else say "tour failed ($status): see $TOUR_DIR and $LOGS"; fi
  echo "$TOUR_DIR"
  exit $status
fi

# The console, and its agent inside the device, come before the programs: the agent's mailslot
# and display control must exist when the host and the viewer start. The agent gets the console's
# token in its environment, which only its user can read.
DOOR="$WINEPREFIX/.device-console"
boot() {
  local console_args=(serve "${PLACE[@]}") port token
  [ -n "$RECORD" ] && console_args+=(--record "$RECORD")
  if [ -n "$REPLAY" ]; then
    local options=()
    [ -z "${REPLAY_OPTIONS:-}" ] || IFS=$'\t' read -r -a options <<<"$REPLAY_OPTIONS"
    console_args+=(--replay "$REPLAY" "${options[@]}")
  fi
  rm -f "$DOOR"
  "${CONSOLE[@]}" "${console_args[@]}" 7>&- 8>&- &
  CONSOLE_PID=$!
  # The door is written, or the console ended without it.
  door_or_gone() { [ -s "$DOOR" ] || ! kill -0 "$CONSOLE_PID" 2>/dev/null; }
  # A replay whose console refused it (it said why) could not run: status 2, as the console's.
  until_within "$HANG_S" door_or_gone && [ -s "$DOOR" ] || { say "the console did not start"; exit $([ -n "$REPLAY" ] && echo 2 || echo 1); }
  read -r port _ token <"$DOOR"
  DEVICE_CONSOLE_TOKEN="$token"
  export DEVICE_CONSOLE_TOKEN
  start agent "$(winpath "$SIMBIN/deviceagent.exe")" "$port"
  unset DEVICE_CONSOLE_TOKEN
  export DDSIM_CONTROL=1
  # What the host sends on its own clock becomes a step of the session, the same in its replay.
  if [ -n "$RECORD$REPLAY" ]; then export DEVICEHOST_HELD_CLOCK=1; fi

  # The host writes the channel file before the viewer reads it at its start.
  start host "$(winpath "$SIMBIN/devicehost.exe")"
  local channels="$DRIVE_C/기억 장치 카드/appdata/SERIALData.dat"
  channels_written() { [ "$(stat -c %s "$channels" 2>/dev/null || echo 0)" = 3204 ]; }
  until_within "$HANG_S" channels_written || { say "the host did not start within ${HANG_S} s (see $LOGS/host.log)"; exit 1; }
  start viewer "$CARD_WIN\\app\\TVSCREEN.exe"
  start kickoff "$CARD_WIN\\app\\Kickoff.exe"
  say "booted: host, viewer (parked), Kickoff -> main menu; logs in $LOGS"
}

LOAD="$WINEPREFIX/.device-load"
rm -f "$LOAD"
boot
# The page outlives a snapshot's reboot: it reaches each new console through the door file.
if [ -n "$WEB" ]; then
  python3 "$ROOT/devicesim/web/web.py" --prefix "$WINEPREFIX" --display "$DISPLAY" --port "$WEB" --logs "$LOGS" 7>&- 8>&- &
  WEB_PID=$!
fi
if [ -n "$REPLAY" ]; then
  say "replaying $REPLAY"
else
  say "the device is running on DISPLAY=$DISPLAY, prefix $WINEPREFIX${RECORD:+, recording to $RECORD}"
  say "console: ./run console state (or ./run console for a prompt); Ctrl-C or ./run console quit stops it"
fi
while :; do
  status=0
  wait "$CONSOLE_PID" || status=$?
  CONSOLE_PID=""
  [ $status = 75 ] && [ -s "$LOAD" ] || break
  # The console was asked to load a snapshot: the programs stop, so nothing writes meanwhile.
  read -r -a what <"$LOAD" || true   # one line without its newline
  rm -f "$LOAD"
  stop_programs
  "${CONSOLE[@]}" snapshot "${PLACE[@]}" "${what[@]}" >&2 || say "the device boots again without the load"
  install_card
  boot
done
exit $status
