"""The session file: what a recording writes (the touches, the faults and the requests the host
heard, as they happen) and what a replay reads."""

import re
import time

from talk import Refused, now

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
