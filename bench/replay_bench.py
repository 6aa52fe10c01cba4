#!/usr/bin/python3
"""What the screens cost a replay: each golden session replayed with its screens compared and
again without them (--no-screens: the host's traffic only), one after the other in one run, the
ratio of the two times, and what the screens' verdict compared. Prints lines for ./run bench's table.

usage: replay_bench.py <source root> <build folder> [NAME...]   (WINEPREFIX and DISPLAY as ./run bench sets them)
"""
import glob
import os
import re
import subprocess
import sys
import tempfile
import time



def golden(root, name):
    return os.path.join(root, 'tests', 'e2e', 'golden', name + '.session')


def replay(root, build, session, *options):
    """Seconds from the replay's first action to its verdict, its verdict line and exit status."""
    logs = tempfile.mkdtemp(prefix='replay-bench-')
    env = dict(os.environ, ROOT=root, BUILD_DIR=build, TOUR='0', REPLAY=session, DEVICE_LOGS=logs,
               REPLAY_OPTIONS='\t'.join(options))
    process = subprocess.Popen([os.path.join(root, 'devicesim', 'device.sh')], env=env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    started = ended = None
    line = ''
    for text in process.stdout:
        if 'replaying ' in text and started is None:
            started = time.monotonic()   # the device is up: what follows is the replay
        if re.match(r'\[console\] replay( differs| could not run)?: ', text):
            ended, line = time.monotonic(), text.strip()
    status = process.wait()
    if started is None or ended is None:
        return None, line, status
    return ended - started, line, status


def main():
    root, build = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    names = sys.argv[3:] or sorted(os.path.basename(p)[:-len('.session')]
                                   for p in glob.glob(golden(root, '*')))
    failed = 0
    for name in names:
        session = golden(root, name)
        with_screens, line, s1 = replay(root, build, session, '--max-diff-pixels', '8')
        without, _, s2 = replay(root, build, session, '--no-screens')
        if not with_screens or not without:
            print('%-58s %s' % ('replay of %s' % name, 'did not run (status %s, %s)' % (s1, s2)))
            failed = 1
            continue
        compared = re.search(r'the same (\d+) screens \(([\d,]+) pixels compared, the picture\'s place at (\d+)', line)
        print('%-58s %.1f s against %.1f s traffic only: %.2fx%s' % (
            'replay of %s, screens compared (status %d)' % (name, s1), with_screens, without, with_screens / without,
            ' (%s screens, %s pixels, %s picture places)' % compared.groups() if compared else ''))
    return failed


if __name__ == '__main__':
    sys.exit(main())
