#!/usr/bin/env python3
"""SatWake with "COM7:" missing or unusable: the prefix's dosdevices link com7 points at things
that are not a serial line. Each run must end: with the "-1-" box (confirmed) when the port
cannot be opened, silently when it opens but cannot be set up as a line, and it never writes
to something that is not a line.

usage: com7_abuse.py <badinput_satwake_probe.exe> [unittest arguments]
Needs WINEPREFIX (and DISPLAY) as the test runner sets them.
"""
import os
import sys
import tempfile
import unittest

PROBE = None
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "support"))
from com7link import Com7, run_probe  # noqa: E402
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "devicesim", "console"))
from hang import HANG_S  # noqa: E402

BOX = "-1-|-1-"


def run_satwake():
    return run_probe([PROBE], 3 * HANG_S)[1]


class UnusablePort(unittest.TestCase):
    def check(self, target, box):
        with Com7(target):
            fields = run_satwake()
        self.assertEqual(fields.get("ended"), "1", "SatWake did not end: %r" % fields)
        self.assertEqual(fields.get("box"), BOX if box else "none", "what the user saw: %r" % fields)

    def test_link_to_nothing(self):
        self.check(os.path.join(tempfile.gettempdir(), "no-such-port-%d" % os.getpid()), box=True)

    def test_link_to_a_folder(self):
        with tempfile.TemporaryDirectory() as folder:
            self.check(folder, box=True)

    def test_link_to_the_null_device(self):
        self.check("/dev/null", box=False)

    def test_link_to_a_full_device(self):
        self.check("/dev/full", box=False)

    def test_link_to_a_plain_file_writes_nothing_into_it(self):
        with tempfile.NamedTemporaryFile(delete=False) as f:
            path = f.name
        try:
            self.check(path, box=False)
            self.assertEqual(os.path.getsize(path), 0, "the sentence went into a file that is no line")
        finally:
            os.unlink(path)

    def test_terminal_whose_other_end_is_gone(self):
        # The terminal's own end stays open here: a number given back would soon be another
        # program's terminal, and the sentence would go to whoever holds it now.
        master, slave = os.openpty()
        name = os.ttyname(slave)
        os.close(master)
        try:
            self.check(name, box=True)
        finally:
            os.close(slave)


if __name__ == "__main__":
    PROBE = sys.argv[1]
    unittest.main(argv=[sys.argv[0]] + sys.argv[2:], verbosity=2)
