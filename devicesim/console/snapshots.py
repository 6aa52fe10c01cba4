"""The device's snapshots: its card folder, its store and the receiver's state, kept beside the prefix
in <prefix>.snapshots/NAME, and the person's own device held there while a tour, a recording or a
replay runs on a new one.

Everything here runs while no program of the device does (a running device is stopped first), so
the files and the keys cannot change under it.
"""

import os
import re
import shutil
import subprocess
import tempfile
import time

CARD_NAME = '기억 장치 카드'
# The store, then the receiver's state; each is exported to a file of its own.
KEYS = (r'HKCU\software\quelmar\systemData', r'HKCU\Software\devicesim')
NAME = re.compile(r'^[A-Za-z0-9][A-Za-z0-9._-]{0,63}$')
HELD = '.held'   # not a name a person can give: the person's device while a session runs


class SnapshotError(Exception):
    """What went wrong, in words for the person."""


def check_name(name):
    if not NAME.match(name or ''):
        raise SnapshotError('a snapshot name is letters, digits, ".", "_" or "-", at most 64, not starting '
                            'with "." or "-": %r' % name)
    return name


class Snapshots:
    def __init__(self, prefix):
        self.prefix = os.path.abspath(prefix)
        self.root = self.prefix.rstrip('/') + '.snapshots'
        self.card = os.path.join(self.prefix, 'drive_c', CARD_NAME)
        self.pulled = os.path.join(self.prefix, '.card-out')   # the card out of its slot (the console's)

    def path(self, name):
        return os.path.join(self.root, name)

    def names(self):
        if not os.path.isdir(self.root):
            return []
        return sorted(n for n in os.listdir(self.root) if NAME.match(n) and os.path.isdir(self.path(n)))

    def describe(self):
        lines = []
        for name in self.names():
            at = time.strftime('%Y-%m-%d %H:%M:%S', time.localtime(os.path.getmtime(self.path(name))))
            card = 'card' if os.path.isdir(os.path.join(self.path(name), 'card')) else 'no card'
            lines.append('%s  (%s, %s)' % (name, at, card))
        return lines or ['no snapshots in %s' % self.root]

    # -------------------------------------------------------------- save, load, delete
    def save(self, name, modes=None):
        """Keeps the device as it is now under name, replacing an older one of that name whole;
        modes: {path in the card: mode} of files the console has made read-only for a while."""
        os.makedirs(self.root, exist_ok=True)
        work = tempfile.mkdtemp(prefix='.saving-', dir=self.root)
        try:
            card = self.card if os.path.isdir(self.card) else self.pulled
            if os.path.isdir(card):
                shutil.copytree(card, os.path.join(work, 'card'), symlinks=True)
                for rel, mode in (modes or {}).items():
                    path = os.path.join(work, 'card', rel)
                    if os.path.lexists(path) and not os.path.islink(path):
                        os.chmod(path, mode)
            for i, key in enumerate(KEYS):
                if self._reg('query', key).returncode == 0:
                    done = self._reg('export', key, os.path.join(work, 'key%d.reg' % i), '/y')
                    if done.returncode != 0:
                        raise SnapshotError('the key %s could not be exported: %s' % (key, done.stderr.strip()))
            self._replace(work, self.path(name))
        except BaseException:
            shutil.rmtree(work, ignore_errors=True)
            raise

    def load(self, name):
        """Makes the device what the snapshot holds: its card, store and receiver state, nothing else."""
        source = self.path(name)
        if not os.path.isdir(source):
            raise SnapshotError('there is no snapshot %s (snapshot list shows them)' % name)
        card = os.path.join(source, 'card')
        if os.path.isdir(card):
            loading = tempfile.mkdtemp(prefix='.card-loading-', dir=self.prefix)
            try:
                shutil.copytree(card, os.path.join(loading, 'card'), symlinks=True)
            except BaseException:
                shutil.rmtree(loading, ignore_errors=True)
                raise
            self._replace(os.path.join(loading, 'card'), self.card)
            os.rmdir(loading)
        else:
            shutil.rmtree(self.card, ignore_errors=True)
        for i, key in enumerate(KEYS):
            self._reg('delete', key, '/f')
            saved = os.path.join(source, 'key%d.reg' % i)
            if os.path.isfile(saved) and self._reg('import', saved).returncode != 0:
                raise SnapshotError('the key %s could not be put back from %s' % (key, saved))

    def delete(self, name):
        if not os.path.isdir(self.path(name)):
            raise SnapshotError('there is no snapshot %s' % name)
        shutil.rmtree(self.path(name))

    # -------------------------------------------------------------- the person's device during a session
    def hold(self):
        """Keeps the person's device aside; once this returns, the next put_back gives it back."""
        if not os.path.isdir(self.path(HELD)):
            self.save(HELD)

    def wipe(self):
        """A new device: no card (the host installs one) and no store."""
        if not os.path.isdir(self.path(HELD)):
            raise SnapshotError('the device is not held aside; it is not wiped')
        shutil.rmtree(self.card, ignore_errors=True)
        for key in KEYS:
            self._reg('delete', key, '/f')

    def put_back(self):
        """Gives back a held device, whatever ran on the prefix since; False when none was held."""
        if not os.path.isdir(self.path(HELD)):
            return False
        self.load(HELD)
        shutil.rmtree(self.path(HELD))
        return True

    # -------------------------------------------------------------- helpers
    def _replace(self, new, old):
        """old becomes new; whatever was at old goes only once new is in its place."""
        gone = None
        if os.path.lexists(old):
            gone = old + '.replaced-%d' % os.getpid()
            os.rename(old, gone)
        os.rename(new, old)
        if gone:
            shutil.rmtree(gone, ignore_errors=True)

    def _reg(self, *words):
        env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG='-all')
        return subprocess.run(['wine', 'reg'] + list(words), env=env, stdin=subprocess.DEVNULL,
                              capture_output=True, text=True, errors='replace')
