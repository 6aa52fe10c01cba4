#!/usr/bin/python3
"""The console of a running simulated device: break it, watch it, record and replay it, keep snapshots.

Every mode takes --home H, the device's home (the person's device and its snapshots, outside the
build folders), and --prefix P, the Wine prefix the device runs in (a cache of the home's device).

  console.py serve --home H --prefix P [--record FILE | --replay FILE]
      Runs beside the device (devicesim/device.sh starts it): listens on 127.0.0.1, writes
      "PORT PID TOKEN" to P/.device-console (readable by its user only) and waits for the device's
      agent (deviceagent.exe, which does inside the device what needs its windows, input and
      display). Every connection proves it knows the token first; the agent's too. The card slot
      and the GPS module's port are handled here, on the PC's side. Ends on "quit", on SIGTERM,
      when the device stops, when a replay is over (exit status 0 when its screens and the host's
      requests were the same, 1 when not, 2 when it could not run or the device stopped first; see
      screens.py for the screens and their options), or with status 75 when a snapshot is to be
      loaded (P/.device-load says which; device.sh reboots).
  console.py client --home H --prefix P [COMMAND...]
      Sends one command to the device running from H (in P when none does) and prints the
      answer; with no command, reads commands line by line. A command that cannot be done prints
      why and exits 1; Ctrl-C exits 130. "snapshot ..." works without a device.
  console.py restore --home H --prefix P [--check FILE]
      Puts back what a console or a device killed on the spot left: the card (in its slot, with
      its own modes) and COM7, a half-done save or load, and the person's device not yet written
      back to H; with --check, exits 2 when FILE is not a session that can be replayed.
  console.py seed --home H --prefix P [--fresh] [--from NAME]
      Makes P the person's device, or (--fresh) a new device or a copy of snapshot NAME that is
      never written back.
  console.py write-back --home H --prefix P
      Writes P back to H when it holds the person's device.
  console.py snapshot --home H [--prefix P] save|load|delete NAME | undo | list
      The console's snapshot commands on a device that is not running: with P, on the device in
      P (device.sh, between its programs' stop and the next boot); without, on H itself.
  console.py migrate --home H --prefix P [--prefix P2...]
      Moves a device and its snapshots kept in an older prefix (P/, P.snapshots/) into H, once.
"""

import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from client import Place, client, recover, snapshot_offline  # noqa: E402
from migration import move_old_devices  # noqa: E402
from server import serve  # noqa: E402
from session import read_session  # noqa: E402
from snapshots import SnapshotError, Snapshots, check_name, why  # noqa: E402
from talk import Refused, say  # noqa: E402


# ------------------------------------------------------------------ before and after a device runs

def places(args):
    return Snapshots(args.home, args.prefix)


def restore(args):
    """Puts back what a killed console or device left, then checks a session to replay."""
    try:
        recover(Place(args.home, args.prefix))
        if args.check:
            read_session(args.check)
    except (Refused, SnapshotError, OSError) as e:
        say('cannot: %s' % why(e))
        return 2
    return 0


def seed(args):
    try:
        places(args).seed(fresh=args.fresh, from_name=args.from_snapshot)
    except (SnapshotError, OSError) as e:
        say('cannot: %s' % why(e))
        return 2
    return 0


def write_back(args):
    try:
        recover(Place(args.home, args.prefix), '[console] your device is kept in %s')
    except (Refused, SnapshotError, OSError) as e:
        say('cannot keep your device: %s (it stays in %s; the next ./run device keeps it)' % (why(e), args.prefix))
        return 2
    return 0


def snapshot_command(args):
    try:
        if args.prefix:
            snapshots = places(args)
            if args.words == ['undo']:
                snapshots.undo()
            elif len(args.words) == 2 and args.words[0] == 'load':
                snapshots.load(check_name(args.words[1]))
            else:
                raise Refused('with --prefix: snapshot load NAME or snapshot undo')
            return 0
        return 0 if snapshot_offline(Place(args.home, None), args.words) else 1
    except (Refused, SnapshotError, OSError) as e:
        print('cannot: %s' % why(e), file=sys.stderr)
        return 1


def migrate(args):
    try:
        for line in move_old_devices(args.home, args.prefix):
            say(line)
    except (SnapshotError, OSError) as e:
        say('cannot move your device into %s: %s (nothing of the old one was removed)' % (args.home, why(e)))
        return 2
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest='mode', required=True)

    def mode(name, prefix_required=True, many=False):
        p = sub.add_parser(name)
        p.add_argument('--home', required=True)
        p.add_argument('--prefix', required=prefix_required, action='append' if many else 'store')
        return p
    s = mode('serve')
    group = s.add_mutually_exclusive_group()
    group.add_argument('--record')
    group.add_argument('--replay')
    # How a replay compares its screens (screens.py) and what it writes.
    s.add_argument('--mask', action='append', help='X,Y,W,H not compared, beside the live picture')
    s.add_argument('--max-diff-pixels', type=int, default=0)
    s.add_argument('--report', help='a folder for the report (index.html)')
    s.add_argument('--update', action='store_true', help="the replay's screens become the session's")
    s.add_argument('--no-screens', action='store_true', help='compare the traffic only')
    mode('restore').add_argument('--check')
    h = mode('seed')
    h.add_argument('--fresh', action='store_true')
    h.add_argument('--from', dest='from_snapshot')
    mode('write-back')
    mode('snapshot', prefix_required=False).add_argument('words', nargs='+')
    mode('client').add_argument('command', nargs=argparse.REMAINDER)
    mode('migrate', many=True)
    args = parser.parse_args()
    modes = {'serve': serve, 'client': client, 'restore': restore, 'seed': seed, 'write-back': write_back,
             'snapshot': snapshot_command, 'migrate': migrate}
    sys.exit(modes[args.mode](args))


if __name__ == '__main__':
    main()
