#!/usr/bin/python3
"""The console of a running simulated device: break it, watch it, record and replay it, keep snapshots.

  console.py serve --prefix P [--record FILE | --replay FILE]
      Runs beside the device (devicesim/device.sh starts it): listens on 127.0.0.1, writes
      "PORT PID TOKEN" to P/.device-console (readable by its user only) and waits for the device's
      agent (deviceagent.exe, which does inside the device what needs its windows, input and
      display). Every connection proves it knows the token first; the agent's too. The card slot
      and the GPS module's port are handled here, on the PC's side. Ends on "quit", on SIGTERM,
      when a replay is over (exit status 0 when its screens and the host's requests were the same,
      1 when not, 2 when it could not run; see screens.py for the screens and their options), or
      with status 75 when a snapshot is to be loaded (P/.device-load names it; device.sh reboots).
  console.py client --prefix P [COMMAND...]
      Sends one command and prints the answer; with no command, reads commands line by line.
      A command that cannot be done prints why and exits 1. "snapshot ..." works without a device.
  console.py restore --prefix P [--check FILE]
      Puts back what a console or a device killed on the spot left: the person's device held aside
      for a session, the card (in its slot, with its own modes) and COM7; with --check, exits 2
      when FILE is not a session that can be replayed.
  console.py hold --prefix P [--from NAME]
      Holds the person's device aside and starts a new one (or snapshot NAME) in its place; the
      next restore gives it back.
  console.py snapshot --prefix P save|load|delete NAME | list
      The same as the console's snapshot commands, on a device that is not running.
"""

import argparse
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench import Bench  # noqa: E402
from client import client, snapshot_offline  # noqa: E402
from server import serve  # noqa: E402
from session import read_session  # noqa: E402
from snapshots import HELD, SnapshotError, Snapshots, check_name  # noqa: E402
from talk import Refused, say  # noqa: E402


# ------------------------------------------------------------------ before and after a device runs

def restore(args):
    """Puts back what a killed console or device left: the held device, then the card and COM7."""
    snapshots = Snapshots(args.prefix)
    try:
        Bench(args.prefix)
        if os.path.isdir(snapshots.path(HELD)):
            subprocess.run(['wineserver', '-k'], env=dict(os.environ, WINEPREFIX=snapshots.prefix), capture_output=True)
            subprocess.run(['wineserver', '-w'], env=dict(os.environ, WINEPREFIX=snapshots.prefix), capture_output=True)
            snapshots.put_back()
            say('your device is back as it was before the last tour, recording or replay')
        if args.check:
            read_session(args.check)
    except (Refused, SnapshotError, OSError) as e:
        say('cannot: %s' % e)
        return 2
    return 0


def hold(args):
    snapshots = Snapshots(args.prefix)
    try:
        snapshots.hold()
        if args.from_snapshot:
            snapshots.load(check_name(args.from_snapshot))
        else:
            snapshots.wipe()
    except (SnapshotError, OSError) as e:
        say('cannot: %s' % e)
        return 2
    return 0


def snapshot_command(args):
    try:
        return 0 if snapshot_offline(args.prefix, args.words) else 1
    except Refused as e:
        print('cannot: %s' % e, file=sys.stderr)
        return 1


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest='mode', required=True)
    s = sub.add_parser('serve')
    s.add_argument('--prefix', required=True)
    group = s.add_mutually_exclusive_group()
    group.add_argument('--record')
    group.add_argument('--replay')
    # How a replay compares its screens (screens.py) and what it writes.
    s.add_argument('--mask', action='append', help='X,Y,W,H not compared, beside the live picture')
    s.add_argument('--max-diff-pixels', type=int, default=0)
    s.add_argument('--report', help='a folder for the report (index.html)')
    s.add_argument('--update', action='store_true', help="the replay's screens become the session's")
    s.add_argument('--no-screens', action='store_true', help='compare the traffic only')
    r = sub.add_parser('restore')
    r.add_argument('--prefix', required=True)
    r.add_argument('--check')
    h = sub.add_parser('hold')
    h.add_argument('--prefix', required=True)
    h.add_argument('--from', dest='from_snapshot')
    n = sub.add_parser('snapshot')
    n.add_argument('--prefix', required=True)
    n.add_argument('words', nargs='+')
    c = sub.add_parser('client')
    c.add_argument('--prefix', required=True)
    c.add_argument('command', nargs=argparse.REMAINDER)
    args = parser.parse_args()
    modes = {'serve': serve, 'client': client, 'restore': restore, 'hold': hold, 'snapshot': snapshot_command}
    sys.exit(modes[args.mode](args))


if __name__ == '__main__':
    main()
