"""The person's device once lived in a build folder's prefix, its snapshots beside it in
<prefix>.snapshots/; both move into the device's home once, so that cleaning a build folder or
switching word sizes loses nothing."""

import glob
import os
import re
import shutil

from snapshots import NAME, OWNER, Snapshots

MOVED = '.moved-in'   # in the home: where its device came from


def move_old_devices(home, prefixes):
    """Lines saying what was moved; nothing when the home has its device already."""
    home = os.path.realpath(home)
    if os.path.exists(os.path.join(home, MOVED)) or os.path.isdir(os.path.join(home, 'device')):
        return []
    said = []
    for prefix in [os.path.abspath(p) for p in prefixes]:
        old = prefix.rstrip('/') + '.snapshots'
        if not os.path.isdir(os.path.join(home, 'device')) and _holds_a_device(prefix, old):
            said.append(_move_device(home, prefix, old))
        if os.path.isdir(old):
            said.extend(_move_snapshots(home, old))
    if said:
        with open(os.path.join(home, MOVED), 'w', encoding='utf-8') as f:
            f.write('\n'.join(said) + '\n')
    return said


def _holds_a_device(prefix, old):
    """A prefix that was ever seeded from a home is a cache, never a device to move."""
    if os.path.exists(os.path.join(prefix, OWNER)):
        return False
    return os.path.isdir(os.path.join(old, '.held')) or bool(glob.glob(os.path.join(prefix, '.device-ready-*')))


def _move_device(home, prefix, old):
    snapshots = Snapshots(home, prefix)
    held = os.path.join(old, '.held')
    # A tour or replay stopped on the spot left the person's device aside: that one is theirs.
    if os.path.isdir(held):
        snapshots.copy(held, snapshots.device)
    else:
        snapshots.capture(snapshots.device, None)
    return 'your device in %s now lives in %s' % (prefix, snapshots.device)


def _move_snapshots(home, old):
    said = []
    root = os.path.join(home, 'snapshots')
    os.makedirs(root, exist_ok=True)
    for name in sorted(os.listdir(old)):
        source = os.path.join(old, name)
        # NAME.replaced-PID is what an older console left of a killed replace, not a snapshot.
        if not NAME.fullmatch(name) or re.search(r'\.replaced-\d+$', name) or not os.path.isdir(source):
            continue
        target = os.path.join(root, name)
        if os.path.exists(target):
            said.append('snapshot %s stays in %s: %s has one of that name' % (name, old, root))
            continue
        shutil.move(source, target)
        said.append('snapshot %s moved to %s' % (name, target))
    return said
