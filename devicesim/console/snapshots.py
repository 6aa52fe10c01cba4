"""The person's device and its snapshots, kept in the device's home outside the build folders:

  HOME/device/          the person's device: its card folder, its store and the receiver's state
  HOME/snapshots/NAME/  a snapshot, in the same form
  HOME/snapshots/.before-load/   the device as it was before the last load (snapshot undo)

A build folder's prefix is a cache: it is seeded from HOME/device when the device boots and written
back to it when it stops. A tour, a recording and a replay run on a new device (or a snapshot) and
write nothing back, so the person's device is never at stake while they run.

The prefix is changed only while no program of the device runs (a running device is stopped first),
so the files and keys cannot change under it.
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
NAME = re.compile(r'[A-Za-z0-9][A-Za-z0-9._-]{0,63}')
BEFORE_LOAD = '.before-load'   # not a name a person can give
# What a save, a load or a replace killed half way leaves; none of it is a snapshot.
LEFTOVERS = re.compile(r'^\.(saving|replaced|card-loading)-')
OWNER = '.device-owner'        # in the prefix: whose device it holds, and whether it is to be written back


class SnapshotError(Exception):
    """What went wrong, in words for the person."""


def check_name(name):
    if not NAME.fullmatch(name or ''):
        raise SnapshotError('a snapshot name is letters, digits, ".", "_" or "-", at most 64, not starting '
                            'with "." or "-": %r' % name)
    return name


class Snapshots:
    def __init__(self, home, prefix=None):
        self.home = os.path.abspath(home)
        self.root = os.path.join(self.home, 'snapshots')
        self.device = os.path.join(self.home, 'device')
        self.prefix = os.path.abspath(prefix) if prefix else None
        if self.prefix:
            self.card = os.path.join(self.prefix, 'drive_c', CARD_NAME)
            self.pulled = os.path.join(self.prefix, '.card-out')   # the card out of its slot (the console's)

    def path(self, name):
        return os.path.join(self.root, name)

    def names(self):
        if not os.path.isdir(self.root):
            return []
        return sorted(n for n in os.listdir(self.root) if NAME.fullmatch(n) and os.path.isdir(self.path(n)))

    def describe(self):
        lines = []
        for name in self.names():
            at = time.strftime('%Y-%m-%d %H:%M:%S', time.localtime(os.path.getmtime(self.path(name))))
            card = 'card' if os.path.isdir(os.path.join(self.path(name), 'card')) else 'no card'
            lines.append('%s  (%s, %s)' % (name, at, card))
        return lines or ['no snapshots in %s' % self.root]

    # -------------------------------------------------------------- snapshots by name
    def save(self, name, modes=None):
        """Keeps the device as it is now under name: the running prefix's, or the person's own."""
        if self.prefix:
            self.capture(self.path(name), modes)
        else:
            self.copy(self._device_or_none(), self.path(name))

    def load(self, name):
        """Makes the device what the snapshot holds, once the device as it was is kept for undo."""
        source = self.path(name)
        if not os.path.isdir(source):
            raise SnapshotError('there is no snapshot %s (snapshot list shows them)' % name)
        self.save(BEFORE_LOAD)
        self._take(source)

    def undo(self):
        """Brings back the device as it was before the last load; the device it replaces becomes the undo."""
        kept = self.path(BEFORE_LOAD)
        if not os.path.isdir(kept):
            raise SnapshotError('there is no load to undo')
        aside = tempfile.mkdtemp(prefix='.replaced-undo-', dir=self.root)
        os.rename(kept, os.path.join(aside, 'kept'))
        try:
            self.save(BEFORE_LOAD)
            self._take(os.path.join(aside, 'kept'))
        finally:
            shutil.rmtree(aside, ignore_errors=True)

    def delete(self, name):
        if not os.path.isdir(self.path(name)):
            raise SnapshotError('there is no snapshot %s' % name)
        shutil.rmtree(self.path(name))

    def _take(self, source):
        if self.prefix:
            self._apply(source)
        else:
            self.copy(source, self.device)

    def _device_or_none(self):
        return self.device if os.path.isdir(self.device) else None

    # -------------------------------------------------------------- the prefix as the home's cache
    def seed(self, fresh=False, from_name=None):
        """Makes the prefix the person's device (or, fresh, a new one or a snapshot's copy that is
        never written back)."""
        self._owner(None)
        if from_name:
            check_name(from_name)
            if not os.path.isdir(self.path(from_name)):
                raise SnapshotError('there is no snapshot %s (snapshot list shows them)' % from_name)
            self._apply(self.path(from_name))
        elif fresh or not os.path.isdir(self.device):
            self._apply(None)
        else:
            self._apply(self.device)
        self._owner('fresh' if fresh else 'person')

    def keep(self, modes=None):
        """Writes the prefix back to the home when it holds the person's device; False when it does not."""
        if self._read_owner() != 'person':
            return False
        self.capture(self.device, modes)
        return True

    def release(self):
        """The prefix no longer holds a device to write back; it stays marked as a cache of the home."""
        self._owner('none')

    def clean(self):
        """Removes what a killed save, load or replace left."""
        for folder in (self.root, self.home, self.prefix):
            if folder and os.path.isdir(folder):
                for n in os.listdir(folder):
                    if LEFTOVERS.match(n):
                        shutil.rmtree(os.path.join(folder, n), ignore_errors=True)

    def _owner(self, kind):
        path = os.path.join(self.prefix, OWNER)
        if kind is None:
            if os.path.exists(path):
                os.remove(path)
            return
        with open(path, 'w', encoding='utf-8') as f:
            f.write('%s %s\n' % (kind, self.home))

    def _read_owner(self):
        try:
            with open(os.path.join(self.prefix, OWNER), encoding='utf-8') as f:
                kind, _, home = f.read().strip().partition(' ')
        except OSError:
            return None
        return kind if home == self.home else None

    # -------------------------------------------------------------- folders and keys
    def capture(self, target, modes):
        """target becomes the prefix's card and keys; modes: {path in the card: mode} of files the
        console has made read-only for a while, kept with their own modes."""
        os.makedirs(os.path.dirname(target), exist_ok=True)
        work = tempfile.mkdtemp(prefix='.saving-', dir=os.path.dirname(target))
        try:
            card = self.card if os.path.isdir(self.card) else self.pulled
            if os.path.isdir(card):
                shutil.copytree(card, os.path.join(work, 'card'), symlinks=True)
                for rel, mode in (modes or {}).items():
                    path = os.path.join(work, 'card', rel)
                    if os.path.lexists(path) and not os.path.islink(path):
                        os.chmod(path, mode)
            for i, key in enumerate(KEYS):
                if self._key_exists(key):
                    done = self._reg('export', key, os.path.join(work, 'key%d.reg' % i), '/y')
                    if done.returncode != 0:
                        raise SnapshotError('the key %s could not be exported: %s' % (key, done.stderr.strip()))
            self._replace(work, target)
        except BaseException:
            shutil.rmtree(work, ignore_errors=True)
            raise

    def _apply(self, source):
        """The prefix's card and keys become source's (None: a new device, no card and no store)."""
        card = os.path.join(source, 'card') if source else None
        if card and os.path.isdir(card):
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
            if self._key_exists(key) and self._reg('delete', key, '/f').returncode != 0:
                raise SnapshotError('the key %s could not be cleared' % key)
            saved = os.path.join(source, 'key%d.reg' % i) if source else ''
            if os.path.isfile(saved) and self._reg('import', saved).returncode != 0:
                raise SnapshotError('the key %s could not be put back from %s' % (key, saved))

    def copy(self, source, target):
        """target becomes a copy of source (None: a new device)."""
        os.makedirs(os.path.dirname(target), exist_ok=True)
        work = tempfile.mkdtemp(prefix='.saving-', dir=os.path.dirname(target))
        try:
            if source:
                shutil.rmtree(work)
                shutil.copytree(source, work, symlinks=True)
            self._replace(work, target)
        except BaseException:
            shutil.rmtree(work, ignore_errors=True)
            raise

    def _replace(self, new, old):
        """old becomes new; whatever was at old goes only once new is in its place."""
        gone = None
        if os.path.lexists(old):
            gone = tempfile.mkdtemp(prefix='.replaced-', dir=os.path.dirname(old))
            os.rename(old, os.path.join(gone, 'old'))
        os.rename(new, old)
        if gone:
            shutil.rmtree(gone, ignore_errors=True)

    def _key_exists(self, key):
        """Whether the key is there; a registry that cannot be read is an error, never "no key"."""
        if self._reg('query', key).returncode == 0:
            return True
        if self._reg('query', 'HKCU\\Software').returncode != 0:
            raise SnapshotError('the registry of %s cannot be read (wine reg query failed)' % self.prefix)
        return False

    def _reg(self, *words):
        env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG='-all')
        return subprocess.run(['wine', 'reg'] + list(words), env=env, stdin=subprocess.DEVNULL,
                              capture_output=True, text=True, errors='replace')
