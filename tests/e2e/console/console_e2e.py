#!/usr/bin/env python3
"""The device's console end to end: the whole device booted as ./run device --headless boots it,
driven only through ./run console's commands, and a recorded session played back.

usage: console_e2e.py <source root> <build folder> [unittest arguments]
Needs WINEPREFIX and DISPLAY as the test runner sets them.
"""
import os
import re
import select
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "devicesim", "console"))
from hang import HANG_S  # noqa: E402  the one limit of a wait for the device: only a hang reaches it

ROOT = BUILD = None
PREFIX = os.environ.get("WINEPREFIX", "")
HOME = os.environ.get("DEVICE_HOME", "")   # the tests' own, never the person's
CARD = os.path.join(PREFIX, "drive_c", "기억 장치 카드")
# Points of the device's faces.
MENU_TV, FRAME, RIGHT_HALF = (112, 171), (205, 250), (480, 240)
MUTE, VOLUME_UP, DLS = (525, 257), (589, 213), (577, 394)
MENU_SETTINGS, BRIGHT_UP, BRIGHT_DOWN = (528, 171), (359, 68), (271, 68)
REPORT = '"DOVedu: Unable to show overlay surface - UpdateOverlaySurface()"'


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def until(pred, timeout=HANG_S):
    end = time.monotonic() + timeout
    while True:
        result = pred()
        if result or time.monotonic() > end:
            return result
        time.sleep(0.2)


def tap_until(tap, pred):
    """Taps until pred holds: the viewer refuses touches for a moment after a switch. Each tap is
    given twice the time of the one before to show, so a slow machine is tapped again only after it
    has had every chance to show the tap before."""
    end, look = time.monotonic() + HANG_S, 1.0
    while True:
        tap()
        if until(pred, look) or time.monotonic() > end:
            return pred()
        look *= 2


class Device:
    """The headless device, as device.sh runs it, and its console."""

    def __init__(self, logs, **env):
        self.logs = logs
        environment = dict(os.environ, ROOT=ROOT, BUILD_DIR=BUILD, TOUR="0", DEVICE_LOGS=logs, **env)
        self.out = open(os.path.join(logs, "device.out"), "w")
        self.process = subprocess.Popen([os.path.join(ROOT, "devicesim", "device.sh")], env=environment,
                                        stdin=subprocess.DEVNULL, stdout=self.out, stderr=subprocess.STDOUT)

    def console(self, *words):
        """(exit status, what it printed) of one console command."""
        done = subprocess.run([sys.executable, os.path.join(ROOT, "devicesim", "console", "console.py"), "client",
                               "--home", HOME, "--prefix", PREFIX] + [str(w) for w in words], capture_output=True, text=True, timeout=2 * HANG_S)
        return done.returncode, done.stdout + done.stderr

    def taps(self, *points):
        """Taps in one console session, as quickly as a finger: a second tap on the same point
        arrives as a double-click."""
        lines = "".join("touch %d %d\n" % tuple(map(int, p)) for p in points)
        done = subprocess.run([sys.executable, os.path.join(ROOT, "devicesim", "console", "console.py"), "client",
                               "--home", HOME, "--prefix", PREFIX], input=lines, capture_output=True, text=True, timeout=2 * HANG_S)
        assert done.returncode == 0, done.stdout + done.stderr

    def tap_until(self, point, pred):
        return tap_until(lambda: self.ok("touch", *point), pred)

    def ok(self, *words):
        status, text = self.console(*words)
        assert status == 0, "%s: %s" % (" ".join(map(str, words)), text)
        return text

    def state(self):
        return self.console("state")[1]

    def shows(self, pattern, timeout=HANG_S):
        return until(lambda: re.search(pattern, self.state()), timeout)

    def up(self):
        # The boot is a chain of waits, each of which device.sh ends itself with a line when it hangs.
        ready = until(lambda: self.process.poll() is not None or
                      self.console("state")[0] == 0 and "running: host, main menu" in self.state(), 4 * HANG_S)
        ready = ready and self.process.poll() is None
        if not ready:   # what the device said of itself, for the failure's post-mortem
            self.out.flush()
            print(read(os.path.join(self.logs, "device.out"))[-3000:], file=sys.stderr)
        return ready

    def stop(self):
        """Quits through the console; the exit status of the device."""
        if self.process.poll() is None:
            self.console("quit")
        try:
            status = self.process.wait(2 * HANG_S)   # device.sh ends a program that hangs itself
        except subprocess.TimeoutExpired:
            self.process.terminate()
            status = self.process.wait(HANG_S)
        self.out.close()
        # The prefix's services went with the device; started again with their output discarded,
        # they cannot hold the test runner's output open.
        subprocess.run(["wine", "cmd", "/c", "exit"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        return status


class ConsoleTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.device = Device(self.folder.name)
        self.addCleanup(self.folder.cleanup)
        self.addCleanup(self.device.stop)
        self.assertTrue(self.device.up(), self.device.state())

    def tap(self, point):
        self.device.ok("touch", *point)

    def test_break_watch_and_put_back(self):
        d = self.device
        watch = subprocess.Popen([sys.executable, os.path.join(ROOT, "devicesim", "console", "console.py"), "client",
                                  "--home", HOME, "--prefix", PREFIX, "watch"], stdout=subprocess.PIPE, text=True)
        self.addCleanup(watch.kill)
        # Its first line says it follows: what comes after it is seen.
        self.assertTrue(select.select([watch.stdout], [], [], HANG_S)[0] and "follow" in watch.stdout.readline())
        self.tap(MENU_TV)
        self.assertTrue(d.shows(r"viewer: window \(the picture in the skin's frame\)"), d.state())

        # The DAB text button's lock ends with a timer that also clears the touch count.
        dls = re.search(r"DLS=(\d)", d.state()).group(1)
        self.assertTrue(self.device.tap_until(DLS, lambda: "DLS=%s" % dls not in d.state()), d.state())
        # A silent host leaves the mute's lock taken; five touch-downs free it.
        d.ok("host", "silent", "on")
        self.assertTrue(self.device.tap_until(MUTE, lambda: "request 100/23 (silent" in read(d.logs + "/host.log")))
        self.tap(VOLUME_UP)                       # refused: the lock is taken
        d.taps(*[(300, 30)] * 3)                  # the fifth touch-down since the lock was taken
        d.ok("host", "silent", "off")
        volume = int(re.search(r"Volume=(\d+)", d.state()).group(1))
        self.tap(VOLUME_UP)
        self.assertTrue(d.shows(r"Volume=%d\b" % min(volume + 1, 10)), d.state())

        # The first UpdateOverlay of the switch hides the old picture and its failure is not
        # reported; the second shows the new one.
        d.ok("display", "fail", "UpdateOverlay", 2)
        self.assertTrue(self.device.tap_until(FRAME, lambda: REPORT in d.state()), d.state())
        shot = os.path.join(self.folder.name, "report.png")
        self.assertIn("(640x480)", d.ok("shot", shot))
        button = re.search(re.escape(REPORT) + r" \(button at (\d+) (\d+)\)", d.state())
        self.tap(button.groups())
        self.assertTrue(until(lambda: "message box" not in d.state()), d.state())

        d.ok("card", "out")
        self.assertFalse(os.path.exists(CARD))
        self.assertIn("card: out", d.state())
        self.assertNotEqual(d.console("card", "out")[0], 0)    # it is out already
        d.ok("card", "in")
        self.assertTrue(os.path.isdir(os.path.join(CARD, "app")))

        d.ok("quit")
        self.assertEqual(d.process.wait(2 * HANG_S), 0)
        watch.kill()
        heard = watch.communicate()[0]
        # The watch saw the silent host hear the mute, and the answered volume step after it.
        # Each code with its name from the product's header.
        self.assertRegex(heard, r"(?s)request 200/1 \(main menu: tv\).*request 100/23 \(receiver: mute\) \(silent.*"
                                r"request 100/11 \(receiver: volume up\)\n.*request 14/66 \(view request: full screen\)")
        self.assertEqual(len(re.findall(r"request 100/11", heard)), 1, heard)   # the refused touch sent nothing


def double_click_time(ms):
    """The system's double-click time for the programs started after it (None: the default)."""
    key = r"HKCU\Control Panel\Mouse"
    words = ["add", key, "/v", "DoubleClickSpeed", "/t", "REG_SZ", "/d", str(ms), "/f"] if ms else \
        ["delete", key, "/v", "DoubleClickSpeed", "/f"]
    subprocess.run(["wine", "reg"] + words, stdin=subprocess.DEVNULL, capture_output=True)


def store(state, name):
    return int(re.search(r"\b%s=(\d+)" % name, state).group(1))


class QuickTapsTest(unittest.TestCase):
    """A second touch close in time and place reaches the programs as a double-click: each tap counts."""

    def test_two_quick_taps_step_the_panel_twice(self):
        # Longer than the default, so that the two taps are a double-click even on a loaded machine.
        double_click_time(2000)
        self.addCleanup(double_click_time, None)
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        d = Device(folder.name)
        self.addCleanup(d.stop)
        self.assertTrue(d.up(), d.state())
        self.assertTrue(d.tap_until(MENU_SETTINGS, lambda: "settings panel" in d.state()), d.state())
        bright = store(d.state(), "Bright")
        key, step = (BRIGHT_DOWN, -1) if bright > 5 else (BRIGHT_UP, 1)
        d.taps(key, key)
        self.assertTrue(d.shows(r"Bright=%d\b" % (bright + 2 * step)), d.state())


class RecordReplayTest(unittest.TestCase):
    def test_a_recorded_session_replays_with_the_same_requests(self):
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        session = os.path.join(folder.name, "session.txt")
        d = Device(folder.name, RECORD=session)
        self.addCleanup(d.stop)
        self.assertTrue(d.up(), d.state())

        def settled():
            """Every step recorded so far has its screen kept settled: the next action may come."""
            steps = os.path.join(session + ".screens", "steps.txt")
            ends = re.findall(r"(?m)^[0-9.]+ \[\d+\] (?!down )", read(session))
            kept = [l.split()[3] for l in read(steps).splitlines() if l[:1].isdigit()] if os.path.exists(steps) else []
            return len(kept) == len(ends) + 1 and set(kept) == {"settled"}
        self.assertTrue(until(settled))
        d.ok("touch", *MENU_TV)
        self.assertTrue(d.shows(r"viewer: window \("))
        self.assertTrue(until(settled))
        d.ok("host", "lag", 300)
        self.assertTrue(until(settled))
        # A tap is tried again only when the host heard nothing of it: one that was heard but shows
        # late must not be followed by a second one, which would land on the screen it asked for.
        heard = lambda request: lambda: request in re.findall(r"(?m)^[0-9.]+ heard (\S+)$", read(session))
        self.assertTrue(d.tap_until(FRAME, heard("14/66")))
        self.assertTrue(d.shows("viewer: full screen"), d.state())
        self.assertTrue(until(settled))
        self.assertTrue(d.tap_until(RIGHT_HALF, heard("14/74")))
        self.assertTrue(d.shows(r"viewer: window \("), d.state())
        self.assertTrue(until(settled))
        self.assertEqual(d.stop(), 0)
        recorded = read(session)
        self.assertIn("host lag 300", recorded)
        self.assertEqual(re.findall(r"(?m)^[0-9.]+ heard (\S+)$", recorded), ["200/1", "14/66", "14/74", "102/2"])

        replay = Device(folder.name, REPLAY=session)
        replay.process.wait(10 * HANG_S)   # every step of the replay waits within the hang limit
        status = replay.stop()
        out = read(os.path.join(folder.name, "device.out"))
        self.assertEqual(status, 0, out)
        compared = re.search(r"replay: the same (\d+) screens .* and the same 4 requests in the same order", out)
        self.assertTrue(compared and int(compared.group(1)) > 0, out)


if __name__ == "__main__":
    ROOT, BUILD = sys.argv[1], sys.argv[2]
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:])
