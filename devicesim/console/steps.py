"""The steps of a session and the file that keeps their screens.

A step ends at every action of the session but a touch-down (a touch is one step, from its
touch-down to its touch-up); step 0 is the device as it came up. A recording keeps, beside the
session file FILE, the folder FILE.screens/: NNN.png per step and steps.txt, one line per step:

    STEP ACTION HEARD STATE LIVE FINGERPRINT

ACTION the index of the session's action that ended it (-1: the device up), HEARD the requests
the host had heard when the screen was kept, STATE settled or moving, LIVE where the simulated
display showed the live picture (L,T,R,B or -), FINGERPRINT the agent's print of the rest."""

import os


def folder_of(session):
    return session + '.screens'


def png_name(step):
    return '%03d.png' % step


def step_ends(actions):
    """Indices of the actions that end a step: all but touch-downs."""
    return [i for i, (_, _, text) in enumerate(actions) if text.split()[0] != 'down']


def step_count(actions):
    """How many screens a session of these actions has: the device up, and one per step."""
    return 1 + len(step_ends(actions))


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


def labels_of(actions):
    """step -> what a person did to end it."""
    ends = step_ends(actions)
    return {k: label_of(actions, -1 if k == 0 else ends[k - 1]) for k in range(len(ends) + 1)}


class Step:
    def __init__(self, step, action, heard=0, state='moving', live=None, fingerprint='-'):
        self.step, self.action, self.heard, self.state = step, action, heard, state
        self.live, self.fingerprint = live, fingerprint
        self.notes = []   # a replay's: what it could not do at this step, as (status, text)

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
        f.write('# step action heard state live fingerprint (see devicesim/console/steps.py)\n')
        for k in sorted(steps):
            f.write(steps[k].line())
    os.replace(tmp, os.path.join(folder, 'steps.txt'))
