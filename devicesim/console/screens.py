"""The screens of a session: kept by a recording once the device has settled after each step,
taken again by the replay at the same settled moment, and compared.

A step ends at every action of the session but a touch-down (a touch is one step, from its
touch-down to its touch-up); step 0 is the device as it came up. The recording keeps, beside the
session file FILE, the folder FILE.screens/: NNN.png per step and steps.txt, one line per step:

    STEP ACTION HEARD STATE LIVE FINGERPRINT

ACTION the index of the session's action that ended it (-1: the device up), HEARD the requests
the host had heard when the screen was kept, STATE settled or moving, LIVE where the simulated
display showed the live picture (L,T,R,B or -), FINGERPRINT the agent's print of the rest.

Settled: nothing outside the live picture drawn for QUIET seconds. A recording keeps the last
settled screen before the next action; a screen that has not settled MOVING_AFTER seconds after
its action is kept as moving, and becomes settled if it settles later. A replay waits for the
host to have heard what it had heard, then for the screen to settle on the recorded one, up to the
hang limit (once a step has differed, no longer than it takes to settle), after which it keeps what
has settled: a slow machine gets there later, never differently."""

import os
import shutil
import tempfile
import threading
import time

from hang import HANG_S
from compare import compare, first_request_difference, judge, parse_mask, requests_by_step
from talk import Refused, note, now

QUIET = 0.35
POLL = 0.05
MOVING_AFTER = 4.0

try:
    from PIL import Image
except ImportError:   # the comparison needs it; a device runs without
    Image = None


def folder_of(session):
    return session + '.screens'


def step_ends(actions):
    """Indices of the actions that end a step: all but touch-downs."""
    return [i for i, (_, _, text) in enumerate(actions) if text.split()[0] != 'down']


def label_of(actions, i):
    """What a person did at action i: 'touch X Y' for a down and up on one point."""
    if i < 0:
        return 'the device up'
    text = actions[i][2]
    w = text.split()
    if w[0] == 'up' and i > 0 and actions[i - 1][2].split()[0] == 'down':
        down = actions[i - 1][2].split()
        return 'touch %s %s' % tuple(down[1:3]) if down[1:] == w[1:] else 'drag %s %s to %s %s' % tuple(down[1:3] + w[1:3])
    return text


class Step:
    def __init__(self, step, action, heard=0, state='moving', live=None, fingerprint='-'):
        self.step, self.action, self.heard, self.state = step, action, heard, state
        self.live, self.fingerprint = live, fingerprint

    def line(self):
        live = ','.join(map(str, self.live)) if self.live else '-'
        return '%d %d %d %s %s %s\n' % (self.step, self.action, self.heard, self.state, live, self.fingerprint)

    @staticmethod
    def parse(line):
        w = line.split()
        live = tuple(int(v) for v in w[4].split(',')) if w[4] != '-' else None
        return Step(int(w[0]), int(w[1]), int(w[2]), w[3], live, w[5])


def read_steps(folder):
    """The steps kept in folder, by step; None when the session has no screens."""
    path = os.path.join(folder, 'steps.txt')
    if not os.path.isfile(path):
        return None
    steps = {}
    with open(path, encoding='utf-8') as f:
        for line in f:
            if line.strip() and not line.startswith('#'):
                s = Step.parse(line)
                steps[s.step] = s
    return steps


def write_steps(folder, steps):
    tmp = os.path.join(folder, 'steps.txt.new')
    with open(tmp, 'w', encoding='utf-8') as f:
        f.write('# step action heard state live fingerprint (see devicesim/console/screens.py)\n')
        for k in sorted(steps):
            f.write(steps[k].line())
    os.replace(tmp, os.path.join(folder, 'steps.txt'))


def png_name(step):
    return '%03d.png' % step


class Looker:
    """The agent's view of the screen: one look (fingerprint, touches, live picture) at a time, the
    last look kept as a PNG on request."""

    def __init__(self, console):
        self.console = console
        self.work = tempfile.mkdtemp(prefix='device-screens-')
        self.bmp = os.path.join(self.work, 'look.bmp')

    def look(self):
        _, text = self.console.agent.call('look')
        fingerprint, touches, live = text.split()
        return fingerprint, int(touches), (tuple(int(v) for v in live.split(',')) if live != '-' else None)

    def save_png(self, png):
        self.console.agent.call('keep Z:' + self.bmp.replace('/', '\\'))
        Image.open(self.bmp).convert('RGB').save(png + '.new', 'PNG')
        os.replace(png + '.new', png)

    def close(self):
        shutil.rmtree(self.work, ignore_errors=True)


def make(console, args):
    """The screens of a recording or a replay, or None."""
    if getattr(args, 'record', None):
        return ScreenRecorder(console, args.record)
    if getattr(args, 'replay', None) and not getattr(args, 'no_screens', False):
        if Image is None:
            raise Refused('comparing screens needs python3-pil')
        args.masks = [parse_mask(m) for m in (getattr(args, 'mask', None) or [])]
        return ScreenReplay(console, args.replay, args)
    return None


# ------------------------------------------------------------------ recording

class ScreenRecorder:
    """Watches the screen of the current step from a thread of its own and keeps its last settled
    state. The agent link's reader must never wait here: touches only switch the step, and a look
    taken after the next touch began is told apart by the agent's count of touches."""

    def __init__(self, console, session):
        if Image is None:
            raise Refused('recording screens needs python3-pil')
        self.console, self.folder = console, folder_of(session)
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(self.folder)
        self.looker = Looker(console)
        self.steps = {}
        self.actions = 0          # actions recorded so far
        self.touches = 0          # touch events the agent has told of
        self.current = None       # the step being watched: [Step, touches, started, last print, since]
        self.busy = threading.RLock()
        self.due = False          # the host's held clock has something to send
        self.stopped = threading.Event()
        self.thread = None

    def up(self):
        self._begin(-1)
        self.thread = threading.Thread(target=self._watch, daemon=True)
        self.thread.start()

    def touch(self):
        self.touches += 1

    def before_action(self):
        """A console action is about to change the device: the step's watch ends first."""
        with self.busy:
            self.current = None

    def action(self, text):
        index = self.actions
        self.actions += 1
        if text.split()[0] == 'down':
            self.current = None
        else:
            self._begin(index)

    def host_due(self):
        self.due = True

    def _begin(self, action):
        step = Step(len(self.steps), action)
        self.steps[step.step] = step
        self.current = [step, self.touches, now(), None, now()]

    def _watch(self):
        while not self.stopped.is_set():
            current = self.current
            try:
                with self.busy:
                    if current is not None and current is self.current:
                        self._look(current)
            except Refused as e:
                note('screens: %s' % e)
                time.sleep(0.5)
            step = current[0] if current else None
            # Sent once the step's screen has settled, so the replay, which waits for that screen,
            # sends it on the same device.
            if self.due and step is not None and step.state == 'settled':
                self.due = False
                try:
                    self.console.run('host tick')   # recorded as an action: a step of its own
                except Refused as e:
                    note('screens: host tick: %s' % e)
            time.sleep(POLL)

    def _look(self, current):
        step, touches, started, last, since = current
        fingerprint, seen, live = self.looker.look()
        if seen != touches or current is not self.current:
            return   # the next touch has begun: this look belongs to no step
        if fingerprint == '-' or fingerprint != last:
            current[3], current[4] = fingerprint, now()
            settled = False
        else:
            settled = now() - since >= QUIET
        if settled and fingerprint != step.fingerprint:
            self._keep(step, 'settled', fingerprint, live)
        elif not settled and step.state == 'moving' and now() - started >= MOVING_AFTER and \
                now() - getattr(step, 'kept_at', 0) >= MOVING_AFTER:
            self._keep(step, 'moving', '-', live)
            step.kept_at = now()

    def _keep(self, step, state, fingerprint, live):
        self.looker.save_png(os.path.join(self.folder, png_name(step.step)))
        with self.console.heard_lock:
            step.heard = len(self.console.heard)
        step.state, step.fingerprint, step.live = state, fingerprint, live
        write_steps(self.folder, self.steps)

    def close(self):
        self.stopped.set()
        if self.thread:
            self.thread.join(15)
        self.current = None
        # A step whose screen was never looked at (the recording ended at once) has no picture.
        for k in [k for k in self.steps if not os.path.exists(os.path.join(self.folder, png_name(k)))]:
            del self.steps[k]
        write_steps(self.folder, self.steps)
        self.looker.close()
        kept = sum(1 for s in self.steps.values() if s.state == 'settled')
        note('kept %d screens (%d settled) in %s' % (len(self.steps), kept, self.folder))


# ------------------------------------------------------------------ replay

class ScreenReplay:
    """Takes the replay's screens at the recorded steps' settled moments, then compares."""

    def __init__(self, console, session, options):
        self.console, self.session, self.options = console, session, options
        self.recorded = read_steps(folder_of(session))
        self.out = tempfile.mkdtemp(prefix='device-replay-')
        self.steps = {}
        self.heard_at = {}        # step -> requests the replay's host had heard when it was kept
        self.looker = None
        self.actions = []
        self.differs = False      # once a step differs, later ones wait no longer than to settle
        self.broken = None        # why the screens could not be taken: the replay could not run

    def active(self):
        return bool(self.recorded)

    # A replay's own touches and faults are its session's; nothing to watch between them.
    def touch(self):
        pass

    def action(self, text):
        pass

    def before_action(self):
        pass

    def host_due(self):
        pass   # the replay sends the host's held lines at their recorded steps, not when due

    def finish(self, expected, heard):
        if self.broken:
            self.close()
            return 2, 'replay could not run: the screen of %s' % self.broken
        try:
            return finish(self, expected, heard, self.options)
        finally:
            self.close()

    def up(self, actions):
        self.actions = actions
        self.looker = Looker(self.console)
        self._take_or_note(0, -1)

    def after(self, index):
        """Action index was played; takes the screen of the step it ends."""
        ends = step_ends(self.actions)
        if index in ends:
            self._take_or_note(ends.index(index) + 1, index)

    def _take_or_note(self, k, action):
        if self.broken:
            return
        try:
            self._take(k, action)
        except (Refused, OSError, ValueError) as e:
            self.broken = 'step %d: %s' % (k, e)

    def _pause_after(self, index):
        nxt = index + 1
        if nxt < len(self.actions):
            return self.actions[nxt][0] - (self.actions[index][0] if index >= 0 else 0.0)
        return None

    def _take(self, k, action):
        recorded = self.recorded.get(k)
        if recorded is None:
            return
        self.console.wait_heard(recorded.heard, HANG_S)
        png = os.path.join(self.out, png_name(k))
        pause = self._pause_after(action)
        started = now()
        step = Step(k, action)
        if recorded.state == 'moving':
            # Shown, not compared: taken when the recording's next action came, or soon after.
            until = started + min(pause if pause is not None else MOVING_AFTER, MOVING_AFTER)
            while True:
                _, _, live = self.looker.look()
                if now() >= until:
                    break
                time.sleep(POLL)
            self.looker.save_png(png)
            step.live = live
        else:
            # However long a loaded machine takes to get there; a screen that differs costs the wait once.
            wait = 0.0 if self.differs else HANG_S
            self._settle(step, recorded, png, started + wait)
        with self.console.heard_lock:
            step.heard = self.heard_at[k] = len(self.console.heard)
        self.steps[k] = step

    def _settle(self, step, recorded, png, deadline):
        last, since, have = None, now(), False
        while True:
            fingerprint, _, live = self.looker.look()
            if fingerprint == '-' or fingerprint != last:
                last, since = fingerprint, now()
            elif now() - since >= QUIET and (not have or fingerprint != step.fingerprint):
                self.looker.save_png(png)
                step.state, step.fingerprint, step.live, have = 'settled', fingerprint, live, True
                if fingerprint == recorded.fingerprint or self._within_allowed(step, recorded, png):
                    return
            if now() >= deadline and (have or now() >= deadline + MOVING_AFTER):
                break
            time.sleep(POLL)
        if not have:
            self.looker.save_png(png)
            step.state, step.live = 'moving', live
        if step.fingerprint != recorded.fingerprint:
            self.differs = True

    def _within_allowed(self, step, recorded, png):
        """Whether a settled screen that is not the recorded one differs by no more pixels than
        the replay allows: it is the screen the step waits for, and waiting on cannot change it."""
        allowed = self.options.max_diff_pixels
        if not allowed or Image is None:
            return False
        masks = list(self.options.masks) + [live for live in (recorded.live, step.live) if live]
        with Image.open(os.path.join(folder_of(self.session), png_name(step.step))) as was, Image.open(png) as now:
            return compare(was, now, masks)[0] <= allowed

    def close(self):
        if self.looker:
            self.looker.close()
        shutil.rmtree(self.out, ignore_errors=True)


def finish(replay, expected, heard, options):
    """The replay's verdict line, its report and a new baseline when asked; the exit status."""
    import report
    from hostcodes import code_name
    actions, recorded = replay.actions, replay.recorded
    ends = step_ends(actions)
    labels = {k: label_of(actions, -1 if k == 0 else ends[k - 1]) for k in recorded}
    folder = folder_of(replay.session)
    verdicts = judge(recorded, replay.steps, lambda k: os.path.join(folder, png_name(k)),
                     lambda k: os.path.join(replay.out, png_name(k)), labels, options.masks)
    allowed = options.max_diff_pixels
    screen = next((v for v in verdicts if v.differs(allowed)), None)
    j = first_request_difference(expected, heard)
    traffic_step = None
    if j is not None:
        later = [k for k in sorted(recorded) if recorded[k].heard > j]
        traffic_step = later[0] if later else max(recorded)

    def named(pair):
        name = code_name(pair)
        return '%s (%s)' % (pair, name) if name else pair
    if traffic_step is not None and (screen is None or traffic_step <= screen.step):
        first = traffic_step
        what = 'request %d: recorded %s, the replay heard %s' % (
            j + 1, named(expected[j]) if j < len(expected) else 'nothing more',
            named(heard[j]) if j < len(heard) else 'nothing more')
    elif screen is not None:
        first, what = screen.step, screen.text()
    else:
        first = None
    compared = sum(1 for v in verdicts if v.state == 'compared')
    if first is None:
        line = 'replay: the same %d screens (%d moving or not taken, shown only) and the same %d requests in the same order' % (
            compared, len(verdicts) - compared, len(heard))
        status = 0
    else:
        line = 'replay differs: step %d (%s): %s' % (first, labels.get(first, ''), what)
        status = 1
    if options.report:
        report.write(options.report, replay.session, line, status, verdicts, first, allowed,
                     requests_by_step(recorded, expected), requests_by_step(replay.steps, heard),
                     lambda k: os.path.join(folder, png_name(k)), lambda k: os.path.join(replay.out, png_name(k)))
    if options.update:
        changed = sum(1 for v in verdicts if v.state == 'not taken' or v.count > 0)
        for k, step in replay.steps.items():
            shutil.copyfile(os.path.join(replay.out, png_name(k)), os.path.join(folder, png_name(k)))
        write_steps(folder, {k: Step(k, s.action, s.heard, s.state, s.live, s.fingerprint)
                             for k, s in replay.steps.items()})
        line += '\nreplay: new baseline written to %s: %d of %d steps changed' % (folder, changed, len(replay.steps))
        status = 0
    return status, line
