"""The screens of a session: kept by a recording once the device has settled after each step
(screen_recording.py), taken again by a replay at the same settled moment (screen_replay.py) and
judged (verdict.py, compare.py); the file that keeps them is steps.py's."""

from compare import parse_mask
from looker import Image
from screen_recording import ScreenRecorder
from screen_replay import ScreenReplay
from steps import folder_of
from talk import Refused


def make(console, args):
    """The screens of a recording or a replay, or None."""
    if getattr(args, 'record', None):
        return ScreenRecorder(console, args.record)
    if getattr(args, 'replay', None) and not getattr(args, 'no_screens', False):
        if Image is None:
            raise Refused('comparing screens needs python3-pil')
        args.masks = [parse_mask(m) for m in (getattr(args, 'mask', None) or [])]
        screens = ScreenReplay(console, args.replay, args)
        if not screens.active():
            # Nothing seen would pass as the same: a replay of the traffic alone is asked for.
            raise Refused('no screens were recorded beside %s (%s/steps.txt); --no-screens replays the '
                          "host's traffic only" % (args.replay, folder_of(args.replay)))
        return screens
    return None
