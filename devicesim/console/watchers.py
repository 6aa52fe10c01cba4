"""The watch's fan-out: each watching client fed from a queue of its own."""

import queue
import threading

from talk import clock


class Watcher:
    """One watch client, fed from a bounded queue by a thread of its own: a slow client loses
    lines, and is told how many, but never holds up the agent, and with it the device's input."""

    LIMIT = 2000

    def __init__(self, conn):
        self.conn, self.open = conn, True
        self.lines = queue.Queue(self.LIMIT)
        self.lost, self.lost_lock = 0, threading.Lock()
        threading.Thread(target=self._send, daemon=True).start()

    def tell(self, text):
        try:
            self.lines.put_nowait(text)
        except queue.Full:
            with self.lost_lock:
                self.lost += 1

    def _send(self):
        while self.open:
            try:
                text = self.lines.get(timeout=0.5)
            except queue.Empty:
                text = ''
            with self.lost_lock:
                lost, self.lost = self.lost, 0
            if lost:
                text = '%s this watch was too slow: %d lines lost\n' % (clock(), lost) + text
            try:
                if text:
                    self.conn.sendall(text.encode('utf-8'))
            except OSError:
                self.open = False
        self.conn.close()



class Watchers:
    """Every open watch. A new watcher is greeted on its own connection and joins under the same
    lock as the lines are told, so it neither misses a line told meanwhile nor is dropped by a
    concurrent sweep of the closed ones."""

    GREETING = '| the touches, the faults and the host\'s traffic follow; interrupt to stop\n'

    def __init__(self):
        self.lock = threading.Lock()
        self.open = []

    def add(self, conn):
        watcher = Watcher(conn)
        with self.lock:   # every line told after the greeting reaches this watcher
            watcher.tell(self.GREETING)
            self.open.append(watcher)
        return watcher

    def tell(self, line):
        text = '%s %s\n' % (clock(), line)
        with self.lock:
            self.open = [w for w in self.open if w.open]
            for w in self.open:
                w.tell(text)
