"""The link to deviceagent.exe, the console's hands inside the device."""

import queue
import threading

from talk import Refused, note, now


class Agent:
    """The connection to deviceagent.exe: one command at a time, each with an id that its answer
    repeats, so that an answer that comes after its command gave up answers nothing else; events
    go to on_event."""

    def __init__(self, conn, lines, on_event):
        self.conn, self.file, self.on_event = conn, lines, on_event
        self.answers = queue.Queue()
        self.lock = threading.Lock()
        self.asked = 0
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.file:
            line = line.rstrip('\r\n')
            if line.startswith('@'):
                self.on_event(line[1:])
            else:
                self.answers.put(line)
        self.answers.put(None)

    def call(self, command, timeout=20):
        """(lines, text) of an answered command; Refused with the agent's reason otherwise."""
        with self.lock:
            self.asked += 1
            ask = '#%d ' % self.asked
            self.conn.sendall((ask + command + '\n').encode('utf-8'))
            lines = []
            deadline = now() + timeout
            while True:
                try:
                    line = self.answers.get(timeout=max(0.1, deadline - now()))
                except queue.Empty:
                    raise Refused('the device did not answer within %d s' % timeout)
                if line is None:
                    raise Refused('the device has stopped')
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

