# Sourced by ./run. Where the kernel refuses 32-bit programs, the device's 32-bit programs still run:
# Wine's 32-bit half runs under qemu-i386 inside a user and mount namespace of the device's own.
# Since Linux 6.7 a user namespace can mount a binfmt_misc of its own; there i386 ELF programs are
# handed to qemu-i386, opened once at registration (flag F), and outside nothing changes: the
# machine's binfmt_misc holds nothing of ours and 32-bit programs stay refused there.
#
# Run as a program, it is what the namespace starts with:
#   emulated_i386.sh --inside QEMU COMMAND...   registers QEMU for i386 ELF programs and runs COMMAND
#   emulated_i386.sh --probe                    says whether a namespace can have a binfmt_misc of its own

I386_ENTRY=device-i386
I386_MAGIC='\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
# Any OS/ABI byte, and an executable or a position-independent one.
I386_MASK='\xff\xff\xff\xff\xff\xfe\xfe\xfc\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

if [ "${1:-}" = --inside ] || [ "${1:-}" = --probe ]; then
  set -eu
  mode="$1"; shift
  mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  [ "$mode" = --probe ] && exit 0
  qemu="$1"; shift
  printf ':%s:M::%s:%s:%s:F\n' "$I386_ENTRY" "$I386_MAGIC" "$I386_MASK" "$qemu" >/proc/sys/fs/binfmt_misc/register
  # The namespace maps one user, its root, onto the caller. A caller who is not root goes on as
  # itself in a user namespace nested in this one, which keeps this one's binfmt_misc.
  if [ "${EMULATED_AS_UID:-0}" != 0 ]; then
    exec unshare --user --map-user="$EMULATED_AS_UID" --map-group="$EMULATED_AS_GID" -- "$@"
  fi
  exec "$@"
fi

EMULATED_I386_HELPER="${BASH_SOURCE[0]}"
in_i386_namespace() { [ -e "/proc/sys/fs/binfmt_misc/$I386_ENTRY" ]; }

# Why no namespace of ours can have its own binfmt_misc here (empty when one can), once per kernel.
i386_namespace_refused() {
  local cache="$1/.i386-namespace" kernel answer
  kernel="$(uname -srvm)"
  if [ -f "$cache" ] && [ "$(sed -n 1p "$cache")" = "$kernel" ]; then
    sed -n '2,$p' "$cache"
    return
  fi
  if answer="$(unshare --user --map-root-user --mount -- bash "$EMULATED_I386_HELPER" --probe 2>&1)"; then
    answer=""
  else
    answer="${answer//$'\n'/; }"   # one line, for the command's first line
    answer="a user namespace cannot mount a binfmt_misc of its own here (Linux 6.7 and later can): ${answer:-refused}"
  fi
  printf '%s\n%s\n' "$kernel" "$answer" >"$cache"
  echo "$answer"
}

# fetch_qemu_i386 DIR LOG: DIR/qemu-i386 from qemu-user of this Debian release's backports (a recent
# qemu: the release's own starts each 32-bit Wine process in a minute, not in half a second). Its
# index is read into DIR with lists of its own, so the machine's sources and packages stay as they
# were, and only qemu-i386 is kept of the package: nothing of it registers a handler anywhere.
fetch_qemu_i386() {
  local dir="$1" log="$2" mirror suite deb apt_options
  [ -x "$dir/qemu-i386" ] && return 0
  mirror="$(sed -n 's,^\(URIs: *\|deb \(\[[^]]*\] \)\?\)\(https\?://[^ ]*/debian\)/\? .*$,\3,p; s,^URIs: *\(https\?://[^ ]*/debian\)/\?$,\1,p' \
    /etc/apt/sources.list /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list 2>/dev/null | head -1)"
  suite="$(. /etc/os-release && echo "$VERSION_CODENAME")-backports"
  rm -rf "$dir/apt"
  mkdir -p "$dir/apt/lists/partial" "$dir/apt/cache/archives/partial"
  echo "deb [arch=amd64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] ${mirror:-http://deb.debian.org/debian} $suite main" \
    >"$dir/apt/sources.list"
  apt_options=(-q -o Dir::Etc::SourceList="$dir/apt/sources.list" -o Dir::Etc::SourceParts=/nonexistent
    -o Dir::State::Lists="$dir/apt/lists" -o Dir::Cache="$dir/apt/cache" -o APT::Architectures=amd64
    -o Debug::NoLocking=1 -o APT::Sandbox::User="$(id -un)")
  {
    echo "fetching qemu-user from $(cat "$dir/apt/sources.list")"
    apt-get "${apt_options[@]}" update &&
      (cd "$dir/apt" && apt-get "${apt_options[@]}" download qemu-user) &&
      deb="$(ls "$dir"/apt/qemu-user_*.deb)" &&
      dpkg-deb -f "$deb" Version >"$dir/version" &&
      dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/bin/qemu-i386 >"$dir/qemu-i386.new" &&
      chmod +x "$dir/qemu-i386.new" && mv "$dir/qemu-i386.new" "$dir/qemu-i386"
  } >"$log" 2>&1
  local status=$?
  rm -rf "$dir/apt"
  return $status
}

# enter_i386_namespace QEMU COMMAND...: COMMAND in a namespace where QEMU runs the i386 programs.
enter_i386_namespace() {
  local qemu="$1"; shift
  EMULATED_AS_UID="$(id -u)" EMULATED_AS_GID="$(id -g)" \
    exec unshare --user --map-root-user --mount -- bash "$EMULATED_I386_HELPER" --inside "$qemu" "$@"
}
