#!/usr/bin/python3
"""The device's GPS module on COM7: a pseudo-terminal that the prefix's com7 points at.

Usage: gps_module.py <dosdevices/com7 link> <log file>

Every line the wake-up program sends is appended to the log with the time it arrived.
The link is put back as it was when the module is stopped (SIGTERM or SIGINT), unless it led
nowhere or to a pseudo-terminal: those are what an earlier module or a console that was stopped on
the spot left, and keeping them would leave COM7 dead after this module too. The module ends with
the device that started it, however that device ended: a module left behind holds a pty and a
log open for nobody.
"""

import os
import pty
import select
import signal
import sys
import time


def main():
    link, log_path = sys.argv[1], sys.argv[2]
    previous = os.readlink(link) if os.path.islink(link) else None
    if previous and (not os.path.exists(link) or os.path.realpath(link).startswith('/dev/pts/')):
        previous = None
    master, slave = pty.openpty()
    if os.path.lexists(link):
        os.remove(link)
    os.symlink(os.ttyname(slave), link)

    def stop(*_):
        if os.path.islink(link):
            os.remove(link)
        if previous is not None:
            os.symlink(previous, link)
        sys.exit(0)

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    parent = os.getppid()
    pending = b''
    with open(log_path, 'a', buffering=1) as log:
        log.write('%s GPS module on %s\n' % (time.strftime('%H:%M:%S'), os.ttyname(slave)))
        while True:
            ready, _, _ = select.select([master], [], [], 1.0)
            if os.getppid() != parent:
                stop()
            if not ready:
                continue
            try:
                data = os.read(master, 256)
            except OSError:
                time.sleep(0.2)   # no writer at the moment
                continue
            pending += data
            while b'\n' in pending:
                line, pending = pending.split(b'\n', 1)
                log.write('%s received %r\n' % (time.strftime('%H:%M:%S'), line + b'\n'))


if __name__ == '__main__':
    main()
