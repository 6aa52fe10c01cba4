"""A replay's screens: taken at the recorded steps' settled moments.

A replay waits for the host to have heard what it had heard, then for the screen to settle on the
recorded one, up to the hang limit (once a step has differed, no longer than it takes to settle),
after which it keeps what has settled: a slow machine gets there later, never differently. What it
could not do at a step (the host's wait ran out, the screen could not be taken) is a problem of
that step, for the verdict."""

import os
import shutil
import tempfile
import time

from compare import compare, shows_test_picture
from hang import HANG_S
from looker import MOVING_AFTER, POLL, QUIET, Image, Looker
from steps import Step, folder_of, png_name, read_steps, step_ends
from talk import Refused, now


class ScreenReplay:
    def __init__(self, console, session, options):
        self.console, self.session, self.options = console, session, options
        self.recorded = read_steps(folder_of(session))
        self.out = tempfile.mkdtemp(prefix='device-replay-')
        self.steps = {}
        self.looker = None
        self.actions = []
        self.problems = []        # (step, status, text): what the replay could not do
        self.differs = False      # once a step differs, later ones wait no longer than to settle
        self.broken = None        # why the screens could not be taken: the replay could not run

    def active(self):
        return self.recorded is not None

    # A replay's own touches and faults are its session's; nothing to watch between them.
    def touch(self):
        pass

    def action(self, text):
        pass

    def before_action(self):
        pass

    def host_due(self):
        pass   # the replay sends the host's held lines at their recorded steps, not when due

    def step_of(self, index):
        """The step that action index belongs to: the one its next step end closes."""
        ends = step_ends(self.actions)
        return next((k + 1 for k, end in enumerate(ends) if end >= index), len(ends))

    def problem(self, index, status, text):
        self.problems.append((self.step_of(index), status, text))

    def finish(self, expected, heard):
        from verdict import finish
        try:
            if self.broken:
                return 2, 'replay could not run: the screen of %s' % self.broken
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
            return   # nothing to compare with: the verdict says so
        # Once the replay differs, it is known to: later waits need not be long.
        if not self.console.wait_heard(recorded.heard, 2.0 if self.differs or self.problems else HANG_S):
            with self.console.heard_lock:
                had = len(self.console.heard)
            self.problems.append((k, 1, 'the host had heard %d requests, recorded %d, when its wait ran out'
                                  % (had, recorded.heard)))
        png = os.path.join(self.out, png_name(k))
        step = Step(k, action)
        if recorded.state == 'moving':
            self._take_moving(step, png, action)
        else:
            # However long a loaded machine takes to get there; a screen that differs costs the wait once.
            self._settle(step, recorded, png, now() + (0.0 if self.differs else HANG_S))
        with self.console.heard_lock:
            step.heard = len(self.console.heard)
        self.steps[k] = step

    def _take_moving(self, step, png, action):
        """Shown, not compared: taken when the recording's next action came, or soon after."""
        pause = self._pause_after(action)
        until = now() + min(pause if pause is not None else MOVING_AFTER, MOVING_AFTER)
        while True:
            _, _, step.live = self.looker.look()
            if now() >= until:
                break
            time.sleep(POLL)
        self.looker.save_png(png)

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
        self.differs = True

    def _within_allowed(self, step, recorded, png):
        """Whether a settled screen that is not the recorded one differs by no more pixels than
        the replay allows, with the picture where it was: it is the screen the step waits for, and
        waiting on cannot change it."""
        allowed = self.options.max_diff_pixels
        if not allowed or step.live != recorded.live:
            return False
        masks = list(self.options.masks) + ([recorded.live] if recorded.live else [])
        with Image.open(os.path.join(folder_of(self.session), png_name(step.step))) as was, Image.open(png) as shown:
            if recorded.live and shows_test_picture(was, recorded.live) != shows_test_picture(shown, recorded.live):
                return False
            return compare(was, shown, masks)[0] <= allowed

    def close(self):
        if self.looker:
            self.looker.close()
        shutil.rmtree(self.out, ignore_errors=True)

