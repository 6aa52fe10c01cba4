"""A recording's screens: the last settled screen of each step, kept beside the session.

A recording keeps the last settled screen before the next action; a screen that has not settled
MOVING_AFTER seconds after its action is kept as moving, and becomes settled if it settles later."""

import os
import shutil
import threading
import time

from looker import MOVING_AFTER, POLL, QUIET, Image, Looker
from steps import Step, folder_of, png_name, write_steps
from talk import Refused, note, now


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
