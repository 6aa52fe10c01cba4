"""The prefix's COM7 for the test scripts: "COM7:" in a program is whatever the prefix's
dosdevices link com7 points at. Needs WINEPREFIX as the test runner sets it."""
import os

PREFIX = os.environ.get("WINEPREFIX", "")
COM7 = os.path.join(PREFIX, "dosdevices", "com7")
DRIVE_C = os.path.join(PREFIX, "drive_c")


class Com7:
    """Points com7 at a target (None: no link at all) and puts back what was there."""

    def __init__(self, target):
        self.target = target
        self.saved = None

    def __enter__(self):
        if os.path.lexists(COM7):
            self.saved = os.readlink(COM7)
            os.unlink(COM7)
        if self.target is not None:
            os.symlink(self.target, COM7)
        return self

    def __exit__(self, *exc):
        if os.path.lexists(COM7):
            os.unlink(COM7)
        if self.saved:
            os.symlink(self.saved, COM7)
