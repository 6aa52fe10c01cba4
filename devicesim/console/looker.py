"""The agent's view of the screen, as a recording and a replay take it: one look (fingerprint,
touches, live picture) at a time, the last look kept as a PNG on request.

Settled: nothing outside the live picture drawn for QUIET seconds; a screen that has not settled
MOVING_AFTER seconds after its action is moving."""

import os
import shutil
import tempfile

QUIET = 0.35
POLL = 0.05
MOVING_AFTER = 4.0

try:
    from PIL import Image
except ImportError:   # the screens need it; a device runs without
    Image = None


class Looker:
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
