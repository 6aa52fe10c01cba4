"""The session file: what a recording writes (the touches, the faults and the requests the host
heard, as they happen), what a replay reads, and the replay itself."""

import re
import time

from agent_link import STOPPED, Stopped
from hang import HANG_S
from talk import Refused, now, say

RECORDED = ('card', 'host', 'send', 'dab', 'display', 'gps')   # the faults
SESSION_VERBS = ('touch', 'down', 'up') + RECORDED

class Recorder:
    """Writes the touches, the faults and the requests the host heard, as they happen."""

    def __init__(self, path):
        self.out = open(path, 'w', encoding='utf-8')
        self.start = None
        self.out.write('# device session of %s: T = seconds since the device was up, [n] = requests the host\n'
                       '# had heard before it. Play it back with ./run device --replay FILE\n'
                       % time.strftime('%Y-%m-%d %H:%M:%S'))

    def up(self):
        self.start = now()
        self._write('up')

    def action(self, heard, text):
        if self.start is not None:
            self._write('[%d] %s' % (heard, text))

    def heard(self, request):
        if self.start is not None:
            self._write('heard %s' % request)

    def _write(self, text):
        self.out.write('%.3f %s\n' % (now() - (self.start or now()), text))
        self.out.flush()

    def close(self):
        self.out.close()


def read_session(path):
    """(actions, requests): actions are (T, n, text) in order, requests the 'C/A' the host heard."""
    actions, requests = [], []
    try:
        with open(path, encoding='utf-8') as f:
            lines = f.readlines()
    except UnicodeDecodeError as e:
        raise Refused('%s: not a session file (not UTF-8 text at byte %d)' % (path, e.start))
    for number, line in enumerate(lines, 1):
        line = line.strip()
        if not line or line.startswith('#'):
            continue
        m = re.match(r'^(\d+(?:\.\d+)?) (?:up|heard (-?\d+/-?\d+)|\[(\d+)\] (.+))$', line)
        if not m:
            raise Refused('%s:%d: not a session line: %s' % (path, number, line))
        if m.group(2):
            requests.append(m.group(2))
        elif m.group(3):
            # A session replays what a finger and the console's faults did, nothing that
            # reaches outside the device or ends it.
            if m.group(4).split()[0] not in SESSION_VERBS:
                raise Refused('%s:%d: a session holds only touches and faults: %s' % (path, number, line))
            actions.append((float(m.group(1)), int(m.group(3)), m.group(4)))
    return actions, requests


def first_difference(expected, heard):
    for i, (a, b) in enumerate(zip(expected, heard)):
        if a != b:
            return 'request %d: recorded %s, the replay heard %s' % (i + 1, a, b)
    if len(heard) < len(expected):
        return 'request %d: recorded %s, the replay heard nothing more' % (len(heard) + 1, expected[len(heard)])
    if len(heard) > len(expected):
        return 'request %d: the recording ends, the replay heard %s' % (len(expected) + 1, heard[len(expected)])
    return None


def heard_count(console):
    with console.heard_lock:
        return len(console.heard)


def repeats_unanswered(actions, index):
    """Whether action index starts a touch (a 'touch', or the 'down' of a down and up) repeated on
    the same point with nothing heard since the one before."""
    _, count, text = actions[index]
    verb = text.split()[0]
    back = {'touch': 1, 'down': 2}.get(verb)
    if not back or index < back:
        return False
    _, last_count, last_text = actions[index - back]
    between = [a[2] for a in actions[index - back + 1:index]]
    return text == last_text and count == last_count and between == ['up' + text[4:]][:back - 1]


def replay(console, actions, expected):
    """Plays actions on the device of console; 0 when the host heard the expected requests, 1 when
    not, 2 when the device stopped before the end."""
    say('replaying %d actions; the host heard %d requests then' % (len(actions), len(expected)))
    screens = console.screens if console.screens and console.screens.active() else None
    if screens:
        screens.up(actions)   # the device as it came up: step 0
    last_t, last_at = 0.0, now()
    heard_before_last, skip_up = None, None
    for index, (t, count, text) in enumerate(actions):
        # The host must have heard what it had heard at this point, and the pause since the
        # last action is kept, so that a slow machine replays the same touches on the same screens.
        console.wait_heard(count, 20)
        console.agent.gone.wait(max(0.0, (t - last_t) - (now() - last_at)))
        last_t, last_at = t, now()
        skip = skip_up == text or (repeats_unanswered(actions, index) and heard_count(console) > heard_before_last)
        skip_up = 'up' + text[4:] if skip and text.startswith('down ') else None
        if skip:
            # The finger tried again because the recorded device had not answered yet; this one
            # has, and a second touch would land on the screen the first one asked for.
            say('replay: step %d (%s) repeats a touch this device has already answered; not played'
                % (index + 1, text))
            if screens:
                screens.after(index)
            continue
        if not text.startswith('up '):
            heard_before_last = heard_count(console)
        try:
            if console.agent.gone.is_set():
                raise Stopped(STOPPED)
            if text.split()[0] in ('down', 'up'):
                console.agent.call(text)
            else:
                console.run(text)
        except Stopped:
            say('replay stopped: the device has stopped, at step %d of %d (%s)' % (index + 1, len(actions), text))
            return 2
        except Refused as e:
            say('replay: %s: %s' % (text, e))
        if screens:
            screens.after(index)
    console.wait_heard(len(expected), HANG_S)
    console.agent.gone.wait(2)   # anything more the host hears after the last expected request
    if console.agent.gone.is_set():
        say('replay stopped: the device has stopped after the last of %d steps' % len(actions))
        return 2
    with console.heard_lock:
        heard = list(console.heard)
    if screens:
        status, lines = screens.finish(expected, heard)
        for line in lines.split('\n'):
            say(line)
        return status
    difference = first_difference(expected, heard)
    if difference:
        say('replay differs: ' + difference)
        return 1
    say('replay: the host heard the same %d requests in the same order: %s' % (len(heard), ' '.join(heard)))
    return 0
