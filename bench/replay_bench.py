#!/usr/bin/python3
"""What the screens cost a replay: the golden tour session replayed with its screens compared and
again without them (--no-screens: the host's traffic only), one after the other in one run, and
the ratio of the two times. Prints lines for ./run bench's table.

usage: replay_bench.py <source root> <build folder>   (WINEPREFIX and DISPLAY as ./run bench sets them)
"""
import os
import subprocess
import sys
import tempfile
import time

ROOT, BUILD = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
SESSION = os.path.join(ROOT, 'tests', 'e2e', 'golden', 'tour.session')


def replay(*options):
    """Seconds from the replay's first action to its verdict, and its exit status."""
    logs = tempfile.mkdtemp(prefix='replay-bench-')
    env = dict(os.environ, ROOT=ROOT, BUILD_DIR=BUILD, TOUR='0', REPLAY=SESSION, DEVICE_LOGS=logs,
               REPLAY_OPTIONS='\t'.join(options))
    process = subprocess.Popen([os.path.join(ROOT, 'devicesim', 'device.sh')], env=env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    started = ended = None
    for line in process.stdout:
        if 'replaying ' in line and started is None:
            started = time.monotonic()   # the device is up: what follows is the replay
        if line.startswith('[console] replay'):
            ended = time.monotonic()
    status = process.wait()
    if started is None or ended is None:
        return None, status
    return ended - started, status


def main():
    with_screens, s1 = replay()
    without, s2 = replay('--no-screens')
    if not with_screens or not without:
        print('%-58s %s' % ('replay of the tour session', 'did not run (status %s, %s)' % (s1, s2)))
        return 1
    print('%-58s %.1f (status %d)' % ('replay of the tour session, screens compared (s)', with_screens, s1))
    print('%-58s %.1f (status %d)' % ('replay of the tour session, traffic only (s)', without, s2))
    print('%-58s %.2fx' % ('replay: screens against traffic only', with_screens / without))
    return 0


if __name__ == '__main__':
    sys.exit(main())
