#!/usr/bin/python3
"""A golden session (NAME.session, recorded with tools/record_golden.py, its screens in
NAME.session.screens/) replayed on the build under test must give the same screens and the same
host traffic, step by step. The same files serve both word sizes: they are what says that the
32-bit and the 64-bit programs draw the same screens. What a replay must have compared comes from the session file, not
from the screens folder an update rewrites: every step, on its pixels, none moving.

usage: golden_e2e.py <source root> <build folder> NAME   (WINEPREFIX and DISPLAY as ctest sets them)"""
import os
import re
import subprocess
import sys
import tempfile

ROOT, BUILD, NAME = sys.argv[1:4]
sys.path.insert(0, os.path.join(ROOT, 'devicesim', 'console'))
from hang import HANG_S  # noqa: E402
from session import read_session  # noqa: E402
from steps import step_count  # noqa: E402
SESSION = os.path.join(ROOT, 'tests', 'e2e', 'golden', NAME + '.session')
# Wine's 32-bit and 64-bit font rasterisers round a few edge pixels of a glyph one step apart (a
# 5-bit channel's least step, seen on the DAB text line's digits); a screen that differs by more than
# this many pixels is drawn differently.
GLYPH_EDGES = 8


def main():
    work = tempfile.mkdtemp(prefix='golden-%s-' % NAME)
    report = os.path.join(work, 'report')
    env = dict(os.environ, ROOT=ROOT, BUILD_DIR=BUILD, TOUR='0', REPLAY=SESSION, DEVICE_LOGS=work,
               REPLAY_OPTIONS='\t'.join(['--report', report, '--max-diff-pixels', str(GLYPH_EDGES)]))
    actions, _ = read_session(SESSION)
    done = subprocess.run([os.path.join(ROOT, 'devicesim', 'device.sh')], env=env, stdin=subprocess.DEVNULL,
                          capture_output=True, text=True, timeout=(len(actions) + 4) * HANG_S)
    output = done.stdout + done.stderr
    verdict = [l for l in output.splitlines() if re.search(r'\breplay( differs| could not run)?: ', l)]
    print('\n'.join(verdict) or output[-3000:])
    print('report: %s' % os.path.join(report, 'index.html'))
    expected = r'replay: the same %d screens \(.*\), 0 moving shown apart, ' % step_count(actions)
    if done.returncode != 0 or not any(re.search(expected, l) for l in verdict):
        sys.exit('the golden session %s replays differently (status %d)' % (NAME, done.returncode))


if __name__ == '__main__':
    main()
