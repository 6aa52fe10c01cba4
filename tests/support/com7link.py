"""The prefix's COM7 for the test scripts: "COM7:" in a program is whatever the prefix's
dosdevices link com7 points at. Needs WINEPREFIX as the test runner sets it."""
import os
import subprocess
import tempfile

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


def run_probe(args, timeout):
    """(exit status, its KEY=VALUE answer lines as a dict) of a probe run with wine in drive C.
    The answer comes through a file, not a pipe: the prefix's desktop process, when the probe is
    the first to need one, inherits the probe's output and outlives it, so a pipe would not end."""
    with tempfile.TemporaryFile() as answer:
        done = subprocess.run(["wine"] + list(args), cwd=DRIVE_C, stdin=subprocess.DEVNULL, stdout=answer,
                              stderr=subprocess.DEVNULL, timeout=timeout)
        answer.seek(0)
        lines = answer.read().decode("utf-8", "replace").splitlines()
    return done.returncode, dict(line.split("=", 1) for line in lines if "=" in line)
