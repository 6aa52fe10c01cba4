#!/usr/bin/python3
"""Records a golden session with its screens: what the suite replays.

usage: tools/record_golden.py NAME [SESSION]   (default SESSION: tests/e2e/golden/NAME.session)

NAME is one of the scripts below (tour, panel, satwake_box, darkpane, overlay_failure). The script
runs ./run device --record SESSION and drives the device through ./run console. Each action is
made only once what the one before led to shows (the console's state, the requests the host has
heard, the recording's own steps.txt) and its screen has been kept settled and stayed so, so every
screen the recording keeps is settled, as the replay will find it. The waits end on events; their
limits only catch a hang.

A replay masks the live picture's rectangle, so each script reaches its screens by paths whose
result shows outside that rectangle: the main menu's status field under the picture-in-picture
names the channel a list pick tuned, a search the host has not answered yet leaves the frame
without a picture, and the lists after a search show what it found.
"""
import os
import re
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, 'devicesim', 'console'))
from hang import HANG_S  # noqa: E402

# The viewer takes no touch for two seconds after it switched views; a screen is held this long
# after it was first seen whole before the next touch, which also keeps the recorded pauses
# longer than any of the programs' own locks.
HOLD = 2.5
POLL = 0.2
# A touch whose screen stayed the one before, with nothing heard, this long was not taken.
NOT_TAKEN = 8.0


class Recording:
    def __init__(self, name, session):
        self.name, self.session = name, session
        self.steps_file = os.path.join(session + '.screens', 'steps.txt')
        self.device = None

    # ---------------------------------------------------------------- the console
    def console(self, *words):
        done = subprocess.run([os.path.join(ROOT, 'run'), 'console'] + [str(w) for w in words],
                              capture_output=True, text=True, timeout=2 * HANG_S)
        return done.returncode, done.stdout + done.stderr

    def command(self, *words):
        """A command that changes the device: made once, its refusal ends the recording."""
        status, text = self.console(*words)
        if status:
            self.fail('%s: %s' % (' '.join(map(str, words)), text.strip()))
        return text

    def state(self):
        """The console's state; a look only, so a lost connection is simply asked again."""
        for _ in range(5):
            status, text = self.console('state')
            if status == 0 and 'faults:' in text:
                return text
            time.sleep(POLL)
        return ''

    def fail(self, why):
        raise SystemExit('record %s: %s\n%s' % (self.name, why, self.state()))

    def until(self, what, pred, timeout=HANG_S):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            value = pred()
            if value:
                return value
            time.sleep(POLL)
        self.fail('%s did not come within %d s' % (what, timeout))

    # ---------------------------------------------------------------- the recording's files
    def session_lines(self):
        try:
            with open(self.session, encoding='utf-8') as f:
                return [l.rstrip('\n') for l in f if not l.startswith('#')]
        except FileNotFoundError:
            return []

    def heard(self):
        return [l.split()[-1] for l in self.session_lines() if ' heard ' in l]

    def host_ticks(self):
        return sum(1 for l in self.session_lines() if l.endswith('] host tick'))

    def last_step(self):
        """The number of the step the device is in now: the device up, then one per action but a
        touch's down."""
        return sum(1 for l in self.session_lines() if re.match(r'[0-9.]+ \[\d+\] (?!down )', l))

    def kept(self):
        """step -> (state, live, fingerprint) as steps.txt has them now."""
        steps = {}
        try:
            with open(self.steps_file, encoding='utf-8') as f:
                for line in f:
                    w = line.split()
                    if len(w) == 6 and not line.startswith('#'):
                        steps[int(w[0])] = (w[3], w[4], w[5])
        except FileNotFoundError:
            pass
        return steps

    def fingerprint(self, step=None):
        kept = self.kept().get(self.last_step() if step is None else step)
        return kept[2] if kept and kept[0] == 'settled' else None

    # ---------------------------------------------------------------- waits
    def shows(self, *patterns):
        def all_shown():
            text = self.state()
            return all(re.search(p, text) for p in patterns)
        return all_shown

    def settle(self, what, hold=HOLD, equals=None, differs=None):
        """Waits until the step the device is in has been kept settled, and has stayed the step
        and the screen for hold seconds (a clock tick the recording sends is a step of its own and
        is waited for in turn); equals or differs: the fingerprint it must, or must not, be."""
        seen, since = None, None
        end = time.monotonic() + HANG_S
        while time.monotonic() < end:
            step = self.last_step()
            kept = self.kept().get(step)
            now = (step, kept)
            if now != seen:
                seen, since = now, time.monotonic()
            fine = kept is not None and kept[0] == 'settled' and \
                (equals is None or kept[2] == equals) and (differs is None or kept[2] != differs)
            if fine and time.monotonic() - since >= hold:
                return kept[2]
            time.sleep(POLL)
        self.fail('the screen of %s did not settle (step %d: %s)' % (what, self.last_step(), self.kept().get(self.last_step())))

    # ---------------------------------------------------------------- actions
    def touch(self, x, y, what, state=(), heard=None, hold=HOLD, equals=None, differs=None):
        """Touches (x, y) once the screen before is settled, then waits for what it leads to:
        the request the host hears, the patterns the state shows, the screen kept settled. A
        touch the program did not take (its screen unchanged, nothing heard) is made again, as a
        finger would, and the replay knows such a repeat."""
        before_heard = len(self.heard())
        before = self.fingerprint()
        for attempt in range(8):
            self.command('touch', x, y)
            if heard is None:
                break
            step, started = self.last_step(), time.monotonic()

            def answered():
                if heard in self.heard()[before_heard:]:
                    return 'heard'
                if time.monotonic() - started >= NOT_TAKEN and self.fingerprint(step) == before:
                    return 'not taken'
                return None
            if self.until('the host to hear %s after %s' % (heard, what), answered) == 'heard':
                break
            print('record %s: %s: the touch was not taken; touched again' % (self.name, what), flush=True)
        else:
            self.fail('%s: the host never heard %s' % (what, heard))
        if state:
            self.until(what, self.shows(*state))
        return self.settle(what, hold, equals, differs)

    def fault(self, *words, hold=1.0):
        self.command(*words)
        return self.settle(' '.join(map(str, words)), hold)

    # ---------------------------------------------------------------- the device
    def __enter__(self):
        self.started = time.time() - 1
        self.device = subprocess.Popen([os.path.join(ROOT, 'run'), 'device', '--record', self.session],
                                       stdin=subprocess.DEVNULL)
        def up():
            # Another device of this home would answer the console too: only this one's counts.
            if self.device.poll() is not None:
                raise SystemExit('record %s: the device did not start (status %d)' % (self.name, self.device.returncode))
            return os.path.exists(self.session) and os.path.getmtime(self.session) >= self.started and \
                self.shows(r'running: host, main menu')()
        self.until('the device', up, 4 * HANG_S)
        self.settle('the main menu as it came up')
        return self

    def __exit__(self, kind, value, trace):
        self.console('quit')
        try:
            self.device.wait(2 * HANG_S)
        except subprocess.TimeoutExpired:
            self.device.kill()
        return False


# -------------------------------------------------------------------- the scripts
# Where things are on the screen (the programs' own layouts).
MENU_TV, MENU_SETTINGS, MENU_GPS, MENU_BLANK = (112, 171), (528, 171), (112, 375), (320, 375)
PICTURE, FULL_RIGHT = (205, 250), (480, 240)
V_MAIN_PANEL, V_SETTINGS, V_TV_LIST, V_RADIO_LIST = (470, 91), (580, 91), (470, 141), (580, 141)
V_PIP, V_SEARCH, V_CLOSE, V_ROW_3 = (25, 391), (473, 440), (597, 452), (500, 277)
P_CLOSE, P_BRIGHT_DOWN, P_BRIGHT_UP = (448, 24), (271, 68), (359, 68)
P_DIMMER_LEFT, P_DIMMER_RIGHT, P_FM_DOWN, P_FM_UP = (271, 118), (359, 118), (271, 168), (359, 168)
# Inside the blank screen's black area and outside every tile of the menu under it, so the tap is
# nothing to either.
ON_THE_BLANK = (240, 40)
WINDOW = r'viewer: window \(the picture'


def tour(r):
    r.touch(*MENU_TV, 'TV in the frame', [WINDOW], heard='200/1')
    r.touch(*PICTURE, 'TV full screen', [r'viewer: full screen;'], heard='14/66')
    r.touch(*FULL_RIGHT, 'the frame again', [WINDOW], heard='14/74')
    r.touch(*V_TV_LIST, 'the TV list', [WINDOW], heard='56/1')
    # The list shows no mark of the pick outside the picture; the main menu's status field does,
    # under the picture-in-picture below.
    r.touch(*V_ROW_3, 'channel 3 picked', [r'channel 3 "City TV"'], heard='47/2')
    r.touch(*V_PIP, 'picture-in-picture', [r'quadrant 2'], heard='100/24')
    r.touch(560, 420, 'the next corner, the status field naming channel 3', [r'quadrant 3'])
    r.touch(240, 420, 'the next corner', [r'quadrant 0'])
    r.touch(240, 180, 'the next corner', [r'quadrant 1'])
    r.touch(400, 180, 'the frame from picture-in-picture', [WINDOW], heard='90/52')
    r.touch(*V_MAIN_PANEL, 'the main panel', [WINDOW])
    # A search the host has not answered yet: the frame without its picture and the empty bar,
    # nothing masked. Pressed again once the host answers, the search runs to its end.
    r.fault('host', 'silent', 'on')
    r.touch(*V_SEARCH, 'the search waiting for the host', [r'viewer: shown without a picture'], heard='14/68')
    r.fault('host', 'silent', 'off')
    r.touch(*V_SEARCH, 'the search run and the radio window', [WINDOW, r'receiver: radio'], heard='14/68')
    # What the search found: the TV list starts with the channel it added.
    r.touch(*V_TV_LIST, 'the TV list after the search', [WINDOW, r'receiver: TV'], heard='56/1')
    r.touch(*V_RADIO_LIST, 'the radio list', [r'receiver: radio'], heard='48/2')
    r.touch(*PICTURE, 'radio full screen with the DAB text line', [r'above the DAB text line'], heard='14/66')
    # The host's clock brings the next DAB text line: held, then sent by the recording as a step.
    ticks = r.host_ticks()
    r.until('the next DAB text line', lambda: r.host_ticks() > ticks)
    r.settle('the next DAB text line')
    r.touch(*FULL_RIGHT, 'the radio window', [WINDOW], heard='14/74')
    r.touch(*V_SETTINGS, 'the settings panel', [r'settings panel'])
    r.touch(*P_BRIGHT_UP, 'a brightness step', [r'Bright=8'], heard='42/8')
    r.touch(*P_CLOSE, 'the picture back', [WINDOW], heard='9/0')
    r.touch(*V_CLOSE, 'the main menu', [r'viewer: parked'], heard='100/26')
    # The wake-up sentence goes out on COM7 and the program ends: nothing of it is drawn.
    menu = r.touch(*MENU_GPS, 'the GPS wake-up', [r'viewer: parked'], heard='200/4')
    blank(r, menu)
    # The radio's clock goes on ticking; the recording ends just after a tick's screen was kept,
    # not with a tick whose screen it had no time to keep.
    ticks = r.host_ticks()
    r.until('the next clock tick', lambda: r.host_ticks() > ticks)
    r.settle('the last clock tick', hold=0.3, equals=menu)


def blank(r, menu):
    """The blank screen over the menu whose fingerprint is menu, and its end five seconds after
    its paint: a tap on it while it shows is a step whose screen becomes the menu again."""
    dark = r.touch(*MENU_BLANK, 'the blank screen', heard='200/5', hold=0.5, differs=menu)
    shown = r.last_step()
    r.touch(*ON_THE_BLANK, 'a tap on the blank screen', hold=0.0)
    r.settle('the menu after the blank screen', equals=menu)
    if r.fingerprint(shown) != dark:
        r.fail('the blank screen had ended before the tap on it')


def panel(r):
    r.touch(*MENU_SETTINGS, 'the settings panel', [r'running: .*settings panel'], heard='200/3')
    for where, value, heard in [(P_BRIGHT_UP, 'Bright=8', '42/8'), (P_BRIGHT_UP, 'Bright=9', '42/9'),
                                (P_BRIGHT_UP, 'Bright=10', '42/10'), (P_BRIGHT_UP, 'Bright=0', '42/0'),
                                (P_BRIGHT_DOWN, 'Bright=10', '42/10'), (P_BRIGHT_DOWN, 'Bright=9', '42/9'),
                                (P_DIMMER_RIGHT, 'Dimmer=1', '5/7'), (P_DIMMER_LEFT, 'Dimmer=0', '5/8'),
                                (P_DIMMER_RIGHT, 'Dimmer=1', '5/7'),
                                (P_FM_UP, 'FMTx=883', '41/883'), (P_FM_UP, 'FMTx=885', '41/885'),
                                (P_FM_DOWN, 'FMTx=883', '41/883'), (P_FM_DOWN, 'FMTx=881', '41/881'),
                                (P_FM_DOWN, 'FMTx=879', '41/879')]:
        r.touch(*where, 'the panel at %s' % value, [value + r'\b'], heard=heard, hold=1.0)
    # The menu's status field shows what the panel left in the store.
    r.touch(*P_CLOSE, 'the menu after the panel', [r'running: host, main menu\n'], heard='9/0')


def satwake_box(r):
    menu = r.fault('gps', 'gone')
    r.touch(*MENU_GPS, 'the wake-up without COM7: its box', heard='200/4', differs=menu)
    # The box is SatWake's own (no owner window, so the state does not list it); its button is
    # where the box's centred layout puts it.
    r.touch(322, 259, 'the box closed, the program ended', equals=menu)
    r.fault('gps', 'back')
    r.touch(*MENU_GPS, 'the wake-up with COM7 back: nothing shown', heard='200/4', equals=menu)


def darkpane(r):
    blank(r, r.fingerprint())


def overlay_failure(r):
    menu = r.fingerprint()
    # The host's own showing of the frame and the switch's hiding come first and are not looked
    # at; the third UpdateOverlay is the switch's showing, whose failure the viewer reports.
    r.fault('display', 'fail', 'UpdateOverlay', '3')
    r.touch(*MENU_TV, 'the overlay failure report', [r'message box TVSCREEN: "DOVedu: Unable to show overlay'],
            heard='200/1')
    button = re.search(r'message box TVSCREEN: .*\(button at (\d+) (\d+)\)', r.state())
    r.touch(int(button.group(1)), int(button.group(2)), 'the report closed: the frame without a picture',
            [r'viewer: shown without a picture'])
    r.touch(*V_CLOSE, 'the main menu', [r'viewer: parked'], heard='100/26', equals=menu)
    r.touch(*MENU_TV, 'TV in the frame again', [WINDOW], heard='200/1')
    r.touch(*V_CLOSE, 'the main menu again', [r'viewer: parked'], heard='100/26', equals=menu)


SCRIPTS = {f.__name__: f for f in (tour, panel, satwake_box, darkpane, overlay_failure)}


def main():
    if len(sys.argv) not in (2, 3) or sys.argv[1] not in SCRIPTS:
        sys.exit('usage: %s NAME [SESSION]   NAME: %s' % (sys.argv[0], ', '.join(SCRIPTS)))
    name = sys.argv[1]
    session = os.path.abspath(sys.argv[2] if len(sys.argv) == 3 else
                              os.path.join(ROOT, 'tests', 'e2e', 'golden', name + '.session'))
    with Recording(name, session) as r:
        SCRIPTS[name](r)
    done = Recording(name, session)
    kept = done.kept()
    moving = [k for k, v in kept.items() if v[0] != 'settled']
    missing = [k for k in range(done.last_step() + 1) if k not in kept]
    blank = without_picture(session, kept)
    print('record %s: %s and %s.screens/: %d screens%s%s%s' % (
        name, session, session, len(kept), ', moving: %s' % moving if moving else ', all settled',
        ', without a screen: %s' % missing if missing else '',
        ', the picture not painted in its place: %s' % blank if blank else ''), flush=True)
    sys.exit(1 if moving or missing or blank else 0)


def without_picture(session, kept):
    """The steps kept with the live picture's place set but no test picture painted there."""
    try:
        from compare import shows_test_picture
        from PIL import Image
    except ImportError:
        return []
    blank = []
    for k, (_, live, _) in sorted(kept.items()):
        if live != '-':
            with Image.open(os.path.join(session + '.screens', '%03d.png' % k)) as png:
                if not shows_test_picture(png, tuple(int(v) for v in live.split(','))):
                    blank.append(k)
    return blank


if __name__ == '__main__':
    main()
