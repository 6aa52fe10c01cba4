"""What the console says: its refusals, its lines on the terminal, and the clock of its timeline."""

import sys
import time

REBOOT = 75   # the console's exit status when the device is to boot again from a snapshot


class Refused(Exception):
    """A command that cannot be done; its text says why."""


class NoDevice(Refused):
    pass


def now():
    return time.monotonic()


def clock():
    t = time.time()
    return time.strftime('%H:%M:%S', time.localtime(t)) + '.%03d' % (int(t * 1000) % 1000)


def say(text):
    print('[console] ' + text, flush=True)


def note(text):
    print('[console] ' + text, file=sys.stderr, flush=True)
