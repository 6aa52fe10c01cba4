#!/usr/bin/python3
"""What the device's own 32-bit images cost against the 64-bit build, in one run: a bare program's
whole life from the Linux side (its start: it ends once its window is there), and a golden session's
replay with its screens compared. Prints lines for ./run bench's table.

usage: word_size_bench.py side <source root> <build folder> <session>   this build's figures, one JSON line
       word_size_bench.py compare <source root> <build folder> <session> this build's, then the 64-bit one's
                                                                         (FORCE_64BIT=1 ./run bench --word-size-side)
(WINEPREFIX and DISPLAY as ./run bench sets them)
"""
import json
import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from replay_bench import golden, replay  # noqa: E402

STARTS = 9


def side(root, build, name):
    drive_c = os.path.join(os.environ['WINEPREFIX'], 'drive_c')
    blank = os.path.join(build, 'benchbin', 'bench_blank.exe')
    starts = []
    for _ in range(STARTS):
        t0 = time.monotonic()
        done = subprocess.run(['wine', blank, '--once'], cwd=drive_c, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if done.returncode == 0:
            starts.append(time.monotonic() - t0)
    seconds, line, status = replay(root, build, golden(root, name), '--max-diff-pixels', '8')
    return {'start': statistics.median(starts) if starts else None, 'starts': len(starts),
            'replay': seconds if status == 0 else None, 'status': status,
            'emulated': os.path.exists('/proc/sys/fs/binfmt_misc/device-i386')}


def ratio(a, b):
    return '%.2fx' % (a / b) if a and b else 'not measured'


def compare(root, build, name):
    here = side(root, build, name)
    other = subprocess.run([os.path.join(root, 'run'), 'bench', '--word-size-side', name],
                           env=dict(os.environ, FORCE_64BIT='1'), stdin=subprocess.DEVNULL,
                           stdout=subprocess.PIPE, text=True)
    lines = [text for text in other.stdout.splitlines() if text.startswith('{')]
    there = json.loads(lines[-1]) if lines else {'start': None, 'starts': 0, 'replay': None, 'status': other.returncode}
    how = '32-bit under qemu-i386' if here['emulated'] else '32-bit'
    print('%-58s %s against %s (64-bit): %s' % (
        'a bare program\'s start, median of %d (%s)' % (STARTS, how),
        '%.2f s' % here['start'] if here['start'] else 'none started',
        '%.2f s' % there['start'] if there['start'] else 'none started', ratio(here['start'], there['start'])))
    print('%-58s %s against %s (64-bit): %s' % (
        'replay of %s, screens compared (%s)' % (name, how),
        '%.1f s' % here['replay'] if here['replay'] else 'differed (status %s)' % here['status'],
        '%.1f s' % there['replay'] if there['replay'] else 'differed (status %s)' % there['status'],
        ratio(here['replay'], there['replay'])))
    return 0 if here['replay'] and there['replay'] else 1


def main():
    mode, root, build, name = sys.argv[1], os.path.abspath(sys.argv[2]), os.path.abspath(sys.argv[3]), sys.argv[4]
    if mode == 'side':
        print(json.dumps(side(root, build, name)))
        return 0
    return compare(root, build, name)


if __name__ == '__main__':
    sys.exit(main())
