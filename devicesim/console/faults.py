"""The PC's side of the device's faults: the card slot, the card's write modes and the GPS module's
port, which live outside the device's programs, and the undo file that lets the next console put
back what a killed one changed."""

import contextlib
import fcntl
import functools
import json
import os
import threading
import stat
import subprocess

from handshake import write_private
from snapshots import CARD_NAME
from talk import Refused


def one_at_a_time(change):
    """A change of the card, its modes or COM7 runs whole before any other begins, in this process
    or another (a client's command, the shutdown's restore, a restore after a killed console):
    interleaved, a restore could put modes back that a half-done change then takes away for good.
    Once the console has closed its faults, no change starts any more."""
    @functools.wraps(change)
    def guarded(self, *args):
        with self.lock, self._file_lock():
            if self.closed:
                raise Refused('the device is stopping')
            return change(self, *args)
    return guarded


class HardwareFaults:
    """The card slot and the GPS module's port, which live outside the device's programs. What a
    fault changed is written, before it is changed, to <prefix>.console-undo, so that a console
    killed on the spot is undone exactly by the next one."""

    def __init__(self, prefix):
        prefix = os.path.abspath(prefix)
        self.card = os.path.join(prefix, 'drive_c', CARD_NAME)
        self.pulled = os.path.join(prefix, '.card-out')   # outside drive C:, where no program looks
        self.com7 = os.path.join(prefix, 'dosdevices', 'com7')
        self.unplugged = os.path.join(prefix, '.gps-unplugged')   # never exists: COM7 leads nowhere
        self.undo_file = prefix.rstrip('/') + '.console-undo'
        self.readonly = False
        self.mounted = False
        self.undo = {}
        self.lock = threading.RLock()
        self.depth = 0
        self.closed = False
        self.restore()

    # Taken inside self.lock, so only the outermost of nested changes (a restore that brings COM7
    # back) opens the file: a second open's flock would wait on the first for ever.
    @contextlib.contextmanager
    def _file_lock(self):
        if self.depth:
            self.depth += 1
            try:
                yield
            finally:
                self.depth -= 1
            return
        fd = os.open(self.undo_file + '.lock', os.O_WRONLY | os.O_CREAT | os.O_NOFOLLOW, 0o600)
        try:
            fcntl.flock(fd, fcntl.LOCK_EX)
            self.depth = 1
            yield
        finally:
            self.depth = 0
            os.close(fd)

    def close(self):
        """Puts everything back for the last time: the console ends."""
        self.restore()
        self.closed = True

    def changed_modes(self):
        """The card's own modes of what a fault made read-only: a copy of the card keeps these."""
        with self.lock:
            return dict(self.undo.get('modes', {}))

    def card_in_slot(self):
        return os.path.isdir(self.card)

    # What an earlier console that died left behind is put right first.
    @one_at_a_time
    def restore(self):
        for _ in range(5):   # bind mounts may stack
            if not self._mounted():
                break
            subprocess.run(['umount', self.card], check=False)
        self.mounted = False
        if not os.path.exists(self.card) and os.path.isdir(self.pulled):
            os.rename(self.pulled, self.card)
        self.undo = self._read_undo()
        self._give_back_modes()
        if 'com7' in self.undo:
            self.gps('back')
        self.readonly = False

    @one_at_a_time
    def card_out(self):
        if not self.card_in_slot():
            raise Refused('the card is already out')
        self._unprotect()
        os.rename(self.card, self.pulled)
        return 'the card is out'

    @one_at_a_time
    def card_in(self):
        if self.card_in_slot():
            raise Refused('the card is already in')
        if not os.path.isdir(self.pulled):
            raise Refused('there is no card to put back')
        os.rename(self.pulled, self.card)
        if self.readonly:
            self._protect()
        return 'the card is in' + (', read-only' if self.readonly else '')

    @one_at_a_time
    def set_readonly(self, on):
        self.readonly = on
        if not self.card_in_slot():
            return
        if on:
            self._protect()
        else:
            self._unprotect()

    # A read-only bind mount refuses every write to the card (Wine answers access denied), even
    # when the device runs as root; where mounting is not allowed, the files' write permissions
    # are taken away instead, which holds for every user but root.
    def _protect(self):
        if os.geteuid() == 0 and not self.mounted:
            ok = subprocess.run(['mount', '--bind', self.card, self.card], capture_output=True).returncode == 0
            ok = ok and subprocess.run(['mount', '-o', 'remount,bind,ro', self.card], capture_output=True).returncode == 0
            self.mounted = ok or self._mounted()
            if not ok and self.mounted:
                subprocess.run(['umount', self.card], check=False)
                self.mounted = False
        if not self.mounted:
            self._take_write_bits()
        if self._writable():
            self._unprotect()
            self.readonly = False
            raise Refused('the card cannot be made read-only on this machine (no mount, and root ignores permissions)')

    def _mounted(self):
        # A folder bound onto itself keeps its device and inode, so only the mount table tells.
        return subprocess.run(['mountpoint', '-q', self.card], capture_output=True).returncode == 0

    def _unprotect(self):
        if self.mounted:
            subprocess.run(['umount', self.card], check=False)
            self.mounted = False
        self._give_back_modes()

    # Links are skipped, never followed: what they lead to is not the card's. The exact modes are
    # noted before the first is changed.
    def _take_write_bits(self):
        modes = dict(self.undo.get('modes', {}))
        for folder, dirs, files in os.walk(self.card):
            for path in [folder] + [os.path.join(folder, n) for n in dirs + files]:
                mode = os.lstat(path).st_mode
                rel = os.path.relpath(path, self.card)
                if not stat.S_ISLNK(mode) and mode & 0o222 and rel not in modes:
                    modes[rel] = stat.S_IMODE(mode)
        self.undo['modes'] = modes
        self._write_undo()
        for rel, mode in modes.items():
            set_mode(os.path.join(self.card, rel), mode & ~0o222)

    def _give_back_modes(self):
        modes = self.undo.pop('modes', None)
        if not modes or not self.card_in_slot():
            if modes:
                self.undo['modes'] = modes   # the card is out: given back when it is in again
            return
        for rel, mode in modes.items():
            set_mode(os.path.join(self.card, rel), mode)
        self._write_undo()

    def _writable(self):
        probe = os.path.join(self.card, '.write-probe')
        try:
            with open(probe, 'w'):
                pass
            os.remove(probe)
            return True
        except OSError:
            return False

    @one_at_a_time
    def gps(self, what):
        if what == 'gone':
            if 'com7' in self.undo:
                raise Refused('COM7 is already gone')
            if not os.path.islink(self.com7):
                raise Refused('this device has no COM7')
            self.undo['com7'] = os.readlink(self.com7)
            self._write_undo()
            self._relink(self.unplugged)
            return 'COM7 is gone'
        if 'com7' not in self.undo:
            raise Refused('COM7 is there')
        self._relink(self.undo['com7'])
        del self.undo['com7']
        self._write_undo()
        return 'COM7 is back'

    def _relink(self, target):
        if os.path.lexists(self.com7):
            os.remove(self.com7)
        os.symlink(target, self.com7)

    def _read_undo(self):
        try:
            with open(self.undo_file, encoding='utf-8') as f:
                undo = json.load(f)
            return undo if isinstance(undo, dict) else {}
        except (OSError, ValueError):
            return {}

    def _write_undo(self):
        if not self.undo:
            if os.path.exists(self.undo_file):
                os.remove(self.undo_file)
            return
        write_private(self.undo_file, json.dumps(self.undo, ensure_ascii=False))

    def describe(self):
        card = ('in' if self.card_in_slot() else 'out') + (', read-only' if self.readonly else '')
        return ['card: ' + card, 'COM7: ' + ('gone' if 'com7' in self.undo else 'there')]


def set_mode(path, mode):
    """chmod that never follows a link, even one put in the file's place meanwhile."""
    try:
        fd = os.open(path, os.O_PATH | os.O_NOFOLLOW)
    except OSError:
        return
    try:
        if not stat.S_ISLNK(os.fstat(fd).st_mode):
            os.chmod('/proc/self/fd/%d' % fd, mode)
    except OSError:
        pass
    finally:
        os.close(fd)


