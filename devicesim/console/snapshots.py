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

import functools
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
AFTER_UNDO = '.after-undo'     # the device an undo replaces, until it becomes the next undo
# Every folder is written in steps that each leave a complete copy on disk (see _replace):
#   .saving-NAME-XXXXXXXX  being filled from a source that stays: complete only once renamed to .ready-NAME
#   .ready-NAME            complete, to become NAME
#   .replaced-NAME         what NAME held, until the new NAME is in place
SAVING = re.compile(r'^\.saving-(.+)-[A-Za-z0-9_]{8}$')
DONE_STEP = re.compile(r'^\.(ready|replaced)-(.+)$')
# An older console's killed write left .replaced-XXXXXXXX/old (complete) and .saving-XXXXXXXX:
# never deleted, since either may be the only copy; a home without its device gets it back.
OLD_REPLACED = 'old'
OWNER = '.device-owner'        # in the prefix: whose device it holds, and whether it is to be written back
USAGE = 'usage: snapshot save NAME [--replace], snapshot load|delete NAME, snapshot undo, snapshot list'


class SnapshotError(Exception):
    """What went wrong, in words for the person."""


def parse_command(words):
    """(verb, name, replace) of 'save|load|delete NAME', 'save NAME --replace', 'undo' or 'list'."""
    replace = words[-1:] == ['--replace'] and words[:1] == ['save']
    words = words[:-1] if replace else words
    if words in (['undo'], ['list']):
        return words[0], None, False
    if len(words) != 2 or words[0] not in ('save', 'load', 'delete'):
        raise SnapshotError(USAGE)
    return words[0], check_name(words[1]), replace


def check_name(name):
    if not NAME.fullmatch(name or ''):
        raise SnapshotError('a snapshot name is letters, digits, ".", "_" or "-", at most 64, not starting '
                            'with "." or "-": %r' % name)
    return name


def whole(operation):
    """A failed step of a snapshot operation leaves every copy whole (each write is a rename of a
    complete folder): the person is told why in one line."""
    @functools.wraps(operation)
    def run(self, *args, **kwargs):
        try:
            return operation(self, *args, **kwargs)
        except OSError as e:
            raise SnapshotError('%s; your device and your snapshots are as they were' % why(e))
    return run


class Snapshots:
    def __init__(self, home, prefix=None):
        self.home = os.path.realpath(home)
        self.root = os.path.join(self.home, 'snapshots')
        self.device = os.path.join(self.home, 'device')
        self.prefix = os.path.realpath(prefix) if prefix else None
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
    @whole
    def save(self, name, modes=None):
        """Keeps the device as it is now under name: the running prefix's, or the person's own."""
        if self.prefix:
            self.capture(self.path(name), modes)
        else:
            self.copy(self._device_or_none(), self.path(name))

    def save_as(self, name, replace=False, modes=None):
        """A person's save: one that would replace a snapshot must say so."""
        if os.path.isdir(self.path(name)) and not replace:
            at = time.strftime('%Y-%m-%d %H:%M:%S', time.localtime(os.path.getmtime(self.path(name))))
            raise SnapshotError('there is a snapshot %s already (saved %s): snapshot save %s --replace '
                                'replaces it' % (name, at, name))
        self.save(name, modes)

    @whole
    def load(self, name):
        """Makes the device what the snapshot holds, once the device as it was is kept for undo."""
        source = self.path(name)
        if not os.path.isdir(source):
            raise SnapshotError('there is no snapshot %s (snapshot list shows them)' % name)
        self.save(BEFORE_LOAD)
        self._take_or_back(source, self.path(BEFORE_LOAD))

    @whole
    def undo(self):
        """Brings back the device as it was before the last load; the device it replaces becomes the undo.
        The device is copied aside first, so both stay on disk until the swap is done."""
        kept = self.path(BEFORE_LOAD)
        if not os.path.isdir(kept):
            raise SnapshotError('there is no load to undo')
        self.save(AFTER_UNDO)
        self._take_or_back(kept, self.path(AFTER_UNDO))
        self._replace(self.path(AFTER_UNDO), kept)

    def _take_or_back(self, source, back):
        """Makes the device source's. A home's device is replaced in one rename, so a failure leaves
        it as it was; a prefix's is replaced in parts, so a failure puts back the copy in back."""
        try:
            self._take(source)
        except BaseException as e:
            if self.prefix:
                try:
                    self._apply(back)
                except BaseException:
                    raise SnapshotError('%s; your device as it was is kept in %s' % (why(e), back))
            if os.path.basename(back) == AFTER_UNDO:
                shutil.rmtree(back, ignore_errors=True)
            raise SnapshotError('%s; your device is as it was' % why(e))

    @whole
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

    def write_back(self, modes=None):
        """Writes the prefix back to the home when it holds the person's device; False when it does not."""
        if self._read_owner() != 'person':
            return False
        self.capture(self.device, modes)
        return True

    def release(self):
        """The prefix no longer holds a device to write back; it stays marked as a cache of the home."""
        self._owner('none')

    def finish_writes(self):
        """Finishes or undoes what a killed save, load, undo or write-back left, so that each folder
        holds its newest complete copy; lines saying what was done or left."""
        said = []
        folders = [self.root, self.home] + ([os.path.join(self.prefix, 'drive_c'), self.prefix] if self.prefix else [])
        for folder in folders:
            if os.path.isdir(folder):
                said += finish_steps(folder, folder == self.home)
        return said

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
        return kind if os.path.realpath(home) == self.home else None

    # -------------------------------------------------------------- folders and keys
    def capture(self, target, modes):
        """target becomes the prefix's card and keys; modes: {path in the card: mode} of files the
        console has made read-only for a while, kept with their own modes."""
        work = work_folder(target)
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
            work = work_folder(self.card)
            try:
                shutil.rmtree(work)
                shutil.copytree(card, work, symlinks=True)
            except BaseException:
                shutil.rmtree(work, ignore_errors=True)
                raise
            self._replace(work, self.card)
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
        work = work_folder(target)
        try:
            if source:
                shutil.rmtree(work)
                shutil.copytree(source, work, symlinks=True)
            self._replace(work, target)
        except BaseException:
            shutil.rmtree(work, ignore_errors=True)
            raise

    @staticmethod
    def _replace(work, target):
        """target becomes work, which is complete. Each step is one rename: a kill anywhere leaves
        target, .ready-NAME or .replaced-NAME complete, and finish_steps takes it from there."""
        folder, name = os.path.split(target)
        os.utime(work)   # when it was written, not when what it copies was
        os.rename(work, os.path.join(folder, '.ready-' + name))
        finish(folder, name)

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


def why(e):
    if isinstance(e, KeyboardInterrupt):
        return 'interrupted'
    if isinstance(e, shutil.Error) and e.args and isinstance(e.args[0], list) and e.args[0]:
        return str(e.args[0][0][-1])   # copytree's first failure, not all of them
    if isinstance(e, OSError):
        return '%s%s' % (e.strerror or e, ' (%s)' % e.filename if e.filename else '')
    return str(e) or type(e).__name__


def work_folder(target):
    """A new folder beside target, to fill before it becomes target."""
    folder, name = os.path.split(target)
    os.makedirs(folder, exist_ok=True)
    return tempfile.mkdtemp(prefix='.saving-%s-' % name, suffix='', dir=folder)


def finish(folder, name):
    """The last steps of a write of folder/name: .ready-NAME (complete) takes NAME's place, and the
    old NAME goes only once it has."""
    target, ready, replaced = (os.path.join(folder, n) for n in (name, '.ready-' + name, '.replaced-' + name))
    if os.path.lexists(ready):
        if os.path.lexists(replaced) and os.path.lexists(target):
            shutil.rmtree(replaced)   # a removal cut short: target is complete
        if os.path.lexists(target):
            os.rename(target, replaced)
        os.rename(ready, target)
    elif os.path.lexists(replaced) and not os.path.lexists(target):
        os.rename(replaced, target)   # no step leaves this, but a copy is never the one to lose
    if os.path.lexists(replaced):
        shutil.rmtree(replaced)


def finish_steps(folder, home=False):
    said = []
    for n in sorted(os.listdir(folder)):
        path = os.path.join(folder, n)
        done, saving = DONE_STEP.match(n), SAVING.match(n)
        if done and os.path.lexists(os.path.join(path, OLD_REPLACED)) and len(os.listdir(path)) == 1:
            device = os.path.join(folder, 'device')
            if home and not os.path.lexists(device):
                os.rename(os.path.join(path, OLD_REPLACED), device)
                os.rmdir(path)
                said.append('your device was put back from what an older console left: %s' % device)
            else:
                said.append('left as it is, what an older console left of a write cut short: %s' % path)
        elif done:
            name = done.group(2)
            if os.path.lexists(os.path.join(folder, '.ready-' + name)):
                said.append('a write cut short was finished: %s' % os.path.join(folder, name))
            finish(folder, name)
        elif saving:
            # Never complete, and what it was copied from was still there when it was cut short.
            shutil.rmtree(path, ignore_errors=True)
        elif n.startswith('.saving-') and os.path.isdir(path):
            said.append('left as it is, a copy whose write was cut short: %s' % path)
    return said
