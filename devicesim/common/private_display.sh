# Sourced by the scripts that start an X display for the device: ./run, the tests' own devices and
# the drawing shots. The display answers only the holders of its cookie, and never over TCP.
#
# start_private_display DIR LOG: an Xvfb of the device's 640x480x16 whose cookie is in DIR/xauth
# (DIR is made private); sets DISPLAY, XAUTHORITY and XVFB_PID. Returns non-zero when no display came up.
start_private_display() {
  local dir="$1" log="$2" fd cookie deadline
  mkdir -p "$dir" && chmod 700 "$dir" || return 1
  XAUTHORITY="$dir/xauth"
  (umask 077 && : >"$XAUTHORITY") || return 1
  cookie="$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')"
  # The cookie goes to xauth on its input, never on a command line that ps shows. The server takes
  # every cookie of its file whatever display it names; a client looks its own up by the display's
  # number, which Xvfb picks itself (no two starts race for one) and tells on a descriptor.
  printf 'add :0 MIT-MAGIC-COOKIE-1 %s\n' "$cookie" | xauth -q -f "$XAUTHORITY" source - || return 1
  exec {fd}>"$dir/display"
  Xvfb -displayfd "$fd" -auth "$XAUTHORITY" -screen 0 640x480x16 -nolisten tcp >"$log" 2>&1 &
  XVFB_PID=$!
  exec {fd}>&-
  deadline=$((SECONDS + ${HANG_S:-120}))
  until [ -s "$dir/display" ]; do
    kill -0 "$XVFB_PID" 2>/dev/null && [ $SECONDS -lt $deadline ] || return 1
    sleep 0.05
  done
  DISPLAY=":$(tr -dc 0-9 <"$dir/display")"
  printf 'add %s MIT-MAGIC-COOKIE-1 %s\n' "$DISPLAY" "$cookie" | xauth -q -f "$XAUTHORITY" source - || return 1
  export DISPLAY XAUTHORITY
}
