#!/usr/bin/env python3
"""The person's device lives in its home: the tour, a recording and a replay leave it as it was
however they end, a device stopped on the spot is kept by the next start, a snapshot brings back
what it held and its load can be undone, and an over-long command runs no part of itself. The home
and the prefix are the tests' own.

usage: console_keep_e2e.py <source root> <build folder> [unittest arguments]
Needs WINEPREFIX and DISPLAY as the test runner sets them.
"""
import os
import re
import signal
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import console_e2e  # noqa: E402
from console_e2e import CARD, HANG_S, HOME, MENU_TV, VOLUME_UP, Device, read, until  # noqa: E402

CHANNELS = os.path.join(CARD, "appdata", "SERIALData.dat")
STORE = r"HKCU\software\quelmar\systemData"


def wine_reg(*words):
    """What wine reg printed, None for a key it could not read (a new device may have none yet):
    the person's fingerprint must have every part, so a read that failed never matches it."""
    done = subprocess.run(["wine", "reg"] + list(words), stdin=subprocess.DEVNULL, capture_output=True,
                          text=True, errors="replace")
    if done.returncode == 1 and words[0] == "query":
        return None
    assert done.returncode == 0, "wine reg %s: status %d, %s" % (" ".join(words), done.returncode, done.stderr)
    return done.stdout


def kept():
    """The person's device as its home holds it, file by file."""
    found = {}
    for folder, _, files in os.walk(os.path.join(HOME, "device")):
        for name in files:
            with open(os.path.join(folder, name), "rb") as f:
                found[os.path.relpath(os.path.join(folder, name), HOME)] = f.read()
    return found


def fingerprint():
    """The channel file and the store and receiver state as the registry holds them now."""
    try:
        with open(CHANNELS, "rb") as f:
            channels = f.read()
    except FileNotFoundError:
        channels = None
    return channels, wine_reg("query", STORE), wine_reg("query", r"HKCU\Software\devicesim", "/s")


class KeepTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)
        self.logs = self.folder.name
        # The person's device: a card with its own channel file, a volume of its own, made while it runs.
        d = Device(self.logs)
        self.assertTrue(d.up(), d.state())
        with open(CHANNELS, "r+b") as f:
            f.seek(100)             # a name the receiver does not show, not the counts the host checks
            f.write(b"kept")
        wine_reg("add", STORE, "/v", "Volume", "/t", "REG_DWORD", "/d", "3", "/f")
        self.assertEqual(d.stop(), 0)
        self.person, self.before = fingerprint(), kept()
        self.assertTrue(None not in self.person, "a read of the person's channel file or registry failed")
        self.assertIn(b"kept", self.before[os.path.join("device", "card", "appdata", "SERIALData.dat")])

    def session(self, stop, **env):
        """device.sh in a process group of its own, stopped with a signal to all of it once it runs."""
        self.out = open(self.logs + "/device.out", "w")
        self.addCleanup(self.out.close)
        device = subprocess.Popen([os.path.join(console_e2e.ROOT, "devicesim", "device.sh")], start_new_session=True,
                                  env=dict(os.environ, ROOT=console_e2e.ROOT, BUILD_DIR=console_e2e.BUILD, DEVICE_LOGS=self.logs,
                                           DEVICE_TOUR=self.logs + "/tour", **env),
                                  stdin=subprocess.DEVNULL, stdout=self.out, stderr=subprocess.STDOUT)
        self.addCleanup(lambda: device.poll() is None and os.killpg(device.pid, signal.SIGINT) or device.wait(2 * HANG_S))
        running = (lambda: os.path.exists(self.logs + "/tour")) if env["TOUR"] == "1" else \
            (lambda: "running: host, main menu" in Device.console(None, "state")[1])
        self.assertTrue(until(lambda: "new device for this run" in read(self.logs + "/device.out") and running(), 4 * HANG_S))
        self.assertNotEqual(fingerprint(), self.person)       # a new device runs meanwhile
        os.killpg(device.pid, stop)
        device.wait(2 * HANG_S)
        self.assertEqual(kept(), self.before)

    def test_no_session_touches_the_device_however_it_ends(self):
        # A tour's folder that holds what is not the tour's is left alone, and the tour does not start.
        notes = os.path.join(self.logs, "mine", "notes.txt")
        os.makedirs(os.path.dirname(notes))
        open(notes, "w").close()
        refused = subprocess.run([os.path.join(console_e2e.ROOT, "devicesim", "device.sh")], capture_output=True, text=True,
                                 env=dict(os.environ, ROOT=console_e2e.ROOT, BUILD_DIR=console_e2e.BUILD, TOUR="1",
                                          DEVICE_LOGS=self.logs, DEVICE_TOUR=os.path.dirname(notes)), timeout=2 * HANG_S)
        self.assertEqual(refused.returncode, 1, refused.stderr)
        self.assertTrue(os.path.exists(notes))
        self.session(signal.SIGINT, TOUR="0", RECORD=os.path.join(self.logs, "recorded.txt"))
        self.session(signal.SIGINT, TOUR="1")
        session = os.path.join(self.logs, "session.txt")
        with open(session, "w") as f:
            f.write("0.000 up\n60.000 [0] host lag 0\n")      # still replaying when it is killed
        self.session(signal.SIGKILL, TOUR="0", REPLAY=session, REPLAY_OPTIONS="--no-screens")
        d = Device(self.logs)                                  # the next start is the person's device
        self.assertTrue(d.up(), d.state())
        self.assertEqual(fingerprint(), self.person)
        # Stopped on the spot, the person's device is kept by the next start.
        wine_reg("add", STORE, "/v", "Volume", "/t", "REG_DWORD", "/d", "7", "/f")
        d.process.kill()
        subprocess.run(["wineserver", "-k"])
        d.process.wait(HANG_S)
        d = Device(self.logs)
        self.assertTrue(d.up(), d.state())
        self.assertIn("Volume=7 ", d.state())
        self.assertEqual(d.stop(), 0)


class SnapshotTest(unittest.TestCase):
    def test_a_loaded_snapshot_brings_back_what_it_held(self):
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        os.makedirs(HOME, exist_ok=True)
        with open(os.path.join(HOME, ".running"), "w") as f:
            f.write("%d\n" % os.getpid())                      # left by a device long gone; the pid lives on
        d = Device(folder.name)
        self.addCleanup(d.stop)
        self.assertTrue(d.up(), d.state())
        self.addCleanup(d.console, "snapshot", "delete", "kept")
        # A second start from the same home is refused at once, and the first goes on untouched.
        second = subprocess.run([os.path.join(console_e2e.ROOT, "run"), "device", "--headless"], capture_output=True,
                                text=True, timeout=2 * HANG_S, env=dict(os.environ, BUILD_DIR=console_e2e.BUILD))
        self.assertEqual(second.returncode, 1, second.stderr)
        self.assertRegex(second.stderr, r"a device already runs from %s \(pid \d+\)" % re.escape(HOME))
        volume = int(re.search(r"Volume=(\d+)", d.state()).group(1))
        d.ok("snapshot", "save", "kept")
        self.assertIn("kept", d.ok("snapshot", "list"))
        self.assertTrue(d.tap_until(MENU_TV, lambda: "viewer: window (" in d.state()), d.state())
        self.assertTrue(d.tap_until(VOLUME_UP if volume < 10 else (589, 297),
                                    lambda: "Volume=%d " % volume not in d.state()), d.state())
        changed = re.search(r"Volume=\d+ ", d.state()).group(0)
        self.assertIn("the device is up, from snapshot kept", d.ok("snapshot", "load", "kept"))
        self.assertIn("Volume=%d " % volume, d.state())
        self.assertIn("as it was before the last load", d.ok("snapshot", "undo"))
        self.assertIn(changed, d.state())
        # A line longer than the agent takes is refused whole, and the next answer is still its own.
        status, text = d.console("dab", "xy " * 2000)
        self.assertEqual(status, 1)
        self.assertIn("at most 4096 bytes", text)
        self.assertIn("running: host, main menu", d.state())


if __name__ == "__main__":
    console_e2e.ROOT, console_e2e.BUILD = sys.argv[1], sys.argv[2]
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:])
