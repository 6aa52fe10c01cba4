#!/usr/bin/python3
"""The tour as a golden session: tour.session (recorded with record_tour.py, its screens in
tour.session.screens/) replayed on the build under test must give the same screens and the same
host traffic, step by step. The same file serves both word sizes: it is what says that the
32-bit and the 64-bit programs draw the same screens.

usage: golden_tour_e2e.py <source root> <build folder>   (WINEPREFIX and DISPLAY as ctest sets them)"""
import os
import re
import subprocess
import sys
import tempfile

ROOT, BUILD = sys.argv[1], sys.argv[2]
sys.path.insert(0, os.path.join(ROOT, 'devicesim', 'console'))
from hang import HANG_S  # noqa: E402
SESSION = os.path.join(ROOT, 'tests', 'e2e', 'golden', 'tour.session')
# Wine's 32-bit and 64-bit font rasterisers round a few edge pixels of a glyph one step apart (a
# 5-bit channel's least step, seen on the DAB text line's digits); a screen that differs by more than
# this many pixels is drawn differently.
GLYPH_EDGES = 8


def main():
    work = tempfile.mkdtemp(prefix='golden-tour-')
    report = os.path.join(work, 'report')
    env = dict(os.environ, ROOT=ROOT, BUILD_DIR=BUILD, TOUR='0', REPLAY=SESSION, DEVICE_LOGS=work,
               REPLAY_OPTIONS='\t'.join(['--report', report, '--max-diff-pixels', str(GLYPH_EDGES)]))
    done = subprocess.run([os.path.join(ROOT, 'devicesim', 'device.sh')], env=env, stdin=subprocess.DEVNULL,
                          capture_output=True, text=True, timeout=30 * HANG_S)   # each step within the hang limit
    output = done.stdout + done.stderr
    verdict = [l for l in output.splitlines() if re.search(r'\breplay( differs)?: ', l)]
    print('\n'.join(verdict) or output[-3000:])
    print('report: %s' % os.path.join(report, 'index.html'))
    steps = recorded_steps()
    if done.returncode != 0 or not any(re.search(r'replay: the same %d screens' % (steps - moving()), l) for l in verdict):
        sys.exit('the golden tour replays differently (status %d)' % done.returncode)


def recorded_steps():
    """The session's own count of screens, not the screens folder's that an update rewrites: the
    first screen, and one for each action but a touch's down, whose screen ends with its up."""
    with open(SESSION, encoding='utf-8') as f:
        return 1 + sum(1 for line in f if re.match(r'[0-9.]+ \[\d+\] (?!down )', line))


def moving():
    with open(os.path.join(SESSION + '.screens', 'steps.txt'), encoding='utf-8') as f:
        return sum(1 for line in f if ' moving ' in line)


if __name__ == '__main__':
    main()
