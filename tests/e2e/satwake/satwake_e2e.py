#!/usr/bin/env python3
"""SatWake end to end under Wine, with a pseudo-terminal playing the GPS module on COM7.

While a test runs, the prefix's dosdevices link com7 points at the terminal's slave side, so
"COM7:" in the program is that terminal. The module's end (the master side) reads in packet
mode, which also reports the program emptying its queues.

usage: satwake_e2e.py <SatWake.exe> <satwake_boxprobe.exe> [unittest arguments]
Needs WINEPREFIX (and DISPLAY) as the test runner sets them.
"""
import fcntl
import os
import re
import select
import struct
import subprocess
import sys
import tempfile
import termios
import time
import unittest

SATWAKE = PROBE = None
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "support"))
from com7link import DRIVE_C, PREFIX, Com7, run_probe  # noqa: E402
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "devicesim", "console"))
from hang import HANG_S  # noqa: E402

SENTENCE = b"$PPLMB,1,1\r\n"
# Wine writes a program's debug strings to stderr: on the seh channel in this version, on
# debugstr in others. Each call gives one OutputDebugString line.
WINEDEBUG = "-all,warn+seh,warn+debugstr"
DEBUG_LINE = re.compile(r':OutputDebugString[AW] "OpenConnection Success GPS \\r\\n"$', re.M)
RUN_TIMEOUT = HANG_S

TIOCPKT = 0x5420
TIOCPKT_FLUSHWRITE = 0x02


class Capture:
    def __init__(self):
        self.data = b""
        self.reads = 0              # reads that brought bytes
        self.state = None           # line settings when the first byte arrived
        self.flushed_after = False  # the sending side threw its queue away after bytes arrived


class GpsModule:
    """The module's end of the line."""

    def __init__(self):
        self.master, self.slave = os.openpty()
        os.set_blocking(self.master, False)
        fcntl.ioctl(self.master, TIOCPKT, struct.pack("i", 1))
        self.slave_path = os.ttyname(self.slave)

    def close(self):
        os.close(self.master)
        os.close(self.slave)

    def scramble(self):
        """7O2 at 9600 with hardware and software flow control: wrong in all the program sets."""
        iflag, oflag, cflag, lflag, _, _, cc = termios.tcgetattr(self.slave)
        iflag |= termios.IXON | termios.IXOFF
        cflag = (cflag & ~termios.CSIZE) | termios.CS7 | termios.PARENB | termios.PARODD
        cflag |= termios.CSTOPB | termios.CRTSCTS
        speed = termios.B9600
        termios.tcsetattr(self.slave, termios.TCSANOW, [iflag, oflag, cflag, lflag, speed, speed, cc])

    def _take(self, cap):
        """Reads every packet waiting; False when none was."""
        try:
            packet = os.read(self.master, 4096)
        except (BlockingIOError, OSError):
            return False
        if not packet:
            return False
        if packet[0] == 0 and len(packet) > 1:
            if cap.state is None:
                cap.state = termios.tcgetattr(self.slave)
            cap.data += packet[1:]
            cap.reads += 1
        elif packet[0] & TIOCPKT_FLUSHWRITE and cap.data:
            cap.flushed_after = True
        return True

    def listen(self, proc, timeout):
        """Everything that arrives until proc ends or the time is up."""
        cap = Capture()
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            ready, _, _ = select.select([self.master], [], [], 0.02)
            if ready:
                self._take(cap)
            elif proc.poll() is not None:
                break
        while self._take(cap):
            pass
        return cap


class Run:
    """One start of SatWake from C:\\, its Wine debug output kept aside."""

    def __init__(self):
        self.log = tempfile.TemporaryFile()
        env = dict(os.environ, WINEDEBUG=WINEDEBUG)
        self.proc = subprocess.Popen(["wine", SATWAKE], cwd=DRIVE_C, env=env,
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=self.log)

    def ended(self, timeout):
        try:
            self.proc.wait(timeout=timeout)
            return True
        except subprocess.TimeoutExpired:
            return False

    def output(self):
        self.log.seek(0)
        return self.log.read().decode("utf-8", "replace")

    def debug_lines(self):
        return len(DEBUG_LINE.findall(self.output()))

    def said(self):
        """For a failure's post-mortem: whether it still runs, and the end of what Wine said of it."""
        return "SatWake %s; its Wine output ends:\n%s" % (
            "still runs" if self.proc.poll() is None else "ended with %s" % self.proc.returncode, self.output()[-2000:])

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self.log.close()


def probe(mode, timeout_ms=int(HANG_S * 1000)):
    # Its two waits, each within the limit.
    return run_probe([PROBE, mode, os.path.basename(SATWAKE), str(timeout_ms)], 3 * timeout_ms / 1000)


class WakeUp(unittest.TestCase):
    def setUp(self):
        self.module = GpsModule()
        self.addCleanup(self.module.close)

    def check_line(self, state):
        iflag, _, cflag, _, ispeed, ospeed, _ = state
        self.assertEqual((ispeed, ospeed), (termios.B57600, termios.B57600))
        self.assertEqual(cflag & termios.CSIZE, termios.CS8)
        self.assertFalse(cflag & (termios.PARENB | termios.CSTOPB), "parity or two stop bits")
        self.assertFalse(cflag & termios.CRTSCTS, "hardware flow control")
        self.assertFalse(iflag & (termios.IXON | termios.IXOFF), "software flow control")

    def test_every_run_sends_the_sentence_once_on_a_57600_8n1_line(self):
        with Com7(self.module.slave_path):
            # The second run finds the line scrambled again: it must set it up all by itself.
            for attempt in (1, 2):
                with self.subTest(run=attempt):
                    self.module.scramble()
                    run = Run()
                    self.addCleanup(run.stop)
                    cap = self.module.listen(run.proc, RUN_TIMEOUT)
                    self.assertTrue(run.ended(HANG_S), "the program did not end on its own")
                    self.assertEqual(cap.data, SENTENCE)
                    self.assertEqual(cap.reads, 1, "the sentence came in pieces")
                    self.assertFalse(cap.flushed_after, "the sending side discarded its queue after the sentence")
                    self.check_line(cap.state)
                    self.assertEqual(run.debug_lines(), 1)


class NoPort(unittest.TestCase):
    def test_box_then_the_end_once_it_is_confirmed(self):
        # The prefix's services are up before SatWake and its probe start at the same moment.
        subprocess.run(["wine", "cmd", "/c", "exit"], cwd=DRIVE_C, stdin=subprocess.DEVNULL, capture_output=True,
                       timeout=HANG_S)
        with Com7(None):
            run = Run()
            self.addCleanup(run.stop)
            code, box = probe("read")
            self.assertEqual(code, 0, "no message box from the program (probe status %d); %s" % (code, run.said()))
            self.assertEqual(box, {"caption": "-1-", "text": "-1-"})
            self.assertIsNone(run.proc.poll(), "ended before the box was confirmed")
            self.assertEqual(probe("ok")[0], 0)
            self.assertTrue(run.ended(RUN_TIMEOUT), "still running after the box was confirmed")
            self.assertEqual(run.debug_lines(), 0)


if __name__ == "__main__":
    if len(sys.argv) < 3 or not PREFIX:
        sys.exit(__doc__)
    SATWAKE, PROBE = sys.argv[1], sys.argv[2]
    unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[3:])
