"""The link to deviceagent.exe, the console's hands inside the device."""

import queue
import threading

from hang import HANG_S
from talk import Refused, note, now

STOPPED = 'the device has stopped'


class Stopped(Refused):
    """The agent's link is gone: the device's programs ended or were killed."""


class Agent:
    """The connection to deviceagent.exe: one command at a time, each with an id that its answer
    repeats, so that an answer that comes after its command gave up answers nothing else; events
    go to on_event, and on_gone is called once when the link ends."""

    def __init__(self, conn, lines, on_event, on_gone=lambda: None):
        self.conn, self.file, self.on_event, self.on_gone = conn, lines, on_event, on_gone
        self.answers = queue.Queue()
        self.lock = threading.Lock()
        self.asked = 0
        self.gone = threading.Event()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        try:
            for line in self.file:
                line = line.rstrip('\r\n')
                if line.startswith('@'):
                    self.on_event(line[1:])
                else:
                    self.answers.put(line)
        except (OSError, ValueError):
            pass   # a reset link ends like a closed one
        self.gone.set()
        self.answers.put(None)
        self.on_gone()

    def call(self, command, timeout=HANG_S):
        """(lines, text) of an answered command; Refused with the agent's reason otherwise."""
        with self.lock:
            if self.gone.is_set():
                raise Stopped(STOPPED)
            self.asked += 1
            ask = '#%d ' % self.asked
            try:
                self.conn.sendall((ask + command + '\n').encode('utf-8'))
            except OSError:
                raise Stopped(STOPPED)
            lines = []
            deadline = now() + timeout
            while True:
                try:
                    line = self.answers.get(timeout=max(0.1, deadline - now()))
                except queue.Empty:
                    raise Refused('the device did not answer within %d s' % timeout)
                if line is None:
                    raise Stopped(STOPPED)
                if not line.startswith(ask):
                    note('dropped an answer that came too late: %s' % line)
                    continue
                line = line[len(ask):]
                if line.startswith('| '):
                    lines.append(line[2:])
                elif line == 'ok' or line.startswith('ok '):
                    return lines, line[3:]
                elif line == 'err' or line.startswith('err '):
                    raise Refused(line[4:] or 'refused')

