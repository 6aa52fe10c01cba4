#!/usr/bin/python3
"""Records the tour's path as a session with its screens: the golden session the suite replays.

usage: NO_WINE32=1 FORCE_64BIT=1 tests/e2e/golden/record_tour.py [SESSION]   (default tests/e2e/golden/tour.session)

Runs ./run device --record SESSION and walks the tour's sixteen screens through ./run console,
each touch once what it leads to shows (the console's state) and the screen has had time to
settle, so the recording keeps every screen settled, as the replay will find it.
"""
import os
import re
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
SESSION = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, 'tests', 'e2e', 'golden', 'tour.session'))
sys.path.insert(0, os.path.join(ROOT, 'devicesim', 'console'))
from hang import HANG_S  # noqa: E402
SETTLE = 3.0   # the viewer takes no touch for two seconds after a switch; the screen then settles


def console(*words, timeout=2 * HANG_S):
    done = subprocess.run([os.path.join(ROOT, 'run'), 'console'] + [str(w) for w in words],
                          capture_output=True, text=True, timeout=timeout)
    return done.returncode, done.stdout + done.stderr


def until(what, pred, timeout=HANG_S):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if pred():
            return
        time.sleep(0.3)
    sys.exit('record_tour: %s did not come: %s' % (what, console('state')[1]))


def shows(*patterns):
    def all_shown():
        state = console('state')[1]
        return all(re.search(p, state) for p in patterns)
    return all_shown


def heard_lines():
    with open(SESSION, encoding='utf-8') as f:
        return [l.split()[-1] for l in f if ' heard ' in l]


def tap(x, y, what, pattern=None, timeout=HANG_S, also=r'', heard=None):
    """Touches (x, y) and waits for the state to show pattern; with heard, touches again, as the
    tour does, until the host hears that request (the viewer takes no touch while it is busy)."""
    before = heard_lines()
    for attempt in range(8):
        status, text = console('touch', x, y)
        if status:
            sys.exit('record_tour: touch %d %d: %s' % (x, y, text))
        if heard is None:
            break
        end = time.monotonic() + 3
        while time.monotonic() < end and heard not in heard_lines()[len(before):]:
            time.sleep(0.3)
        if heard in heard_lines()[len(before):]:
            break
        time.sleep(SETTLE)
    else:
        sys.exit('record_tour: %s: the host never heard %s' % (what, heard))
    if pattern:
        until(what, shows(pattern, also), timeout)
    time.sleep(SETTLE)


def main():
    device = subprocess.Popen([os.path.join(ROOT, 'run'), 'device', '--record', SESSION], stdin=subprocess.DEVNULL)
    try:
        until('the device', lambda: console('state')[0] == 0 and shows(r'running: host, main menu')(), 4 * HANG_S)
        time.sleep(3)   # the main menu's first screen, settled
        tap(112, 171, 'TV in the frame', r'viewer: window \(the picture', heard='200/1')
        tap(205, 250, 'TV full screen', r'viewer: full screen;', heard='14/66')
        tap(480, 240, 'the frame again', r'viewer: window \(the picture', heard='14/74')
        tap(25, 391, 'picture-in-picture', r'quadrant 2', heard='100/24')
        tap(560, 420, 'the next corner', r'quadrant 3')
        tap(240, 420, 'the next corner', r'quadrant 0')
        tap(240, 180, 'the next corner', r'quadrant 1')
        tap(400, 180, 'the frame from picture-in-picture', r'viewer: window \(the picture', heard='90/52')
        tap(470, 141, 'the TV list', r'viewer: window \(the picture', heard='56/1')
        tap(500, 277, 'a channel picked', r'channel 3 ', heard='47/2')
        tap(470, 91, 'the main panel', r'viewer: window \(the picture')
        tap(473, 440, 'the search and the radio window', r'viewer: window \(the picture', also=r'receiver: radio',
            heard='14/68')
        tap(580, 141, 'the radio list', r'receiver: radio', heard='48/2')
        tap(205, 250, 'radio full screen with the DAB text line', r'above the DAB text line', heard='14/66')
        # The host's clock brings the next DAB text line: held, then sent as a step of the session.
        ticks = len(re.findall(r'\] host tick', open(SESSION, encoding='utf-8').read()))
        until('the next DAB text line', lambda: len(re.findall(r'\] host tick', open(SESSION, encoding='utf-8').read()))
              > ticks)
        time.sleep(SETTLE + 1)
        tap(480, 240, 'the radio window', r'viewer: window \(the picture', heard='14/74')
        tap(580, 91, 'the settings panel', r'settings panel')
        tap(359, 68, 'a brightness step', r'Bright=8', heard='42/8')
        tap(448, 24, 'the picture back', r'viewer: window \(the picture', heard='9/0')
        tap(597, 452, 'the main menu', r'viewer: parked', heard='100/26')
        tap(112, 375, 'the GPS wake-up', r'viewer: parked', heard='200/4')
        tap(320, 375, 'the blank screen', r'viewer: parked', heard='200/5')
        time.sleep(1)
    finally:
        console('quit')
        device.wait(2 * HANG_S)
    print('record_tour: %s and %s.screens/' % (SESSION, SESSION))


if __name__ == '__main__':
    main()
