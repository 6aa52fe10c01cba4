"""The comparison of a replayed screen with its recorded one: the live picture's place exactly,
and the pixels exactly on the 16-bit colours the device's display holds, outside the masks (the
recorded live picture, and what --mask adds); a verdict per step, and where the host's traffic
first differs."""

import os

from hostcodes import named_pair as named
from talk import Refused

try:
    from PIL import Image, ImageChops, ImageDraw
except ImportError:   # the comparison needs it; a device runs without
    Image = None

# 16-bit colours: what the device's display holds of each channel.
LUT565 = [v & 0xF8 for v in range(256)] + [v & 0xFC for v in range(256)] + [v & 0xF8 for v in range(256)]
ZERO_OR_ONE = [0] + [255] * 255


def parse_mask(text):
    """'X,Y,W,H' -> (left, top, right, bottom)."""
    try:
        x, y, w, h = (int(v) for v in text.split(','))
    except ValueError:
        raise Refused('a mask is X,Y,W,H in screen pixels: %s' % text)
    if w <= 0 or h <= 0:
        raise Refused('a mask needs a width and a height: %s' % text)
    return (x, y, x + w, y + h)


def compare(recorded, replayed, masks=()):
    """(pixels that differ, their bounding box (l, t, r, b) or None, the 0/255 map of them, pixels
    compared) of two pictures, on their 16-bit colours, outside the masks."""
    a = recorded.convert('RGB').point(LUT565)
    b = replayed.convert('RGB').point(LUT565)
    if a.size != b.size:
        changed = Image.new('L', a.size, 255)
    else:
        bands = [d.point(ZERO_OR_ONE) for d in ImageChops.difference(a, b).split()]
        changed = ImageChops.lighter(ImageChops.lighter(bands[0], bands[1]), bands[2])
    seen = Image.new('L', a.size, 255)
    for l, t, r, bottom in masks:
        for picture in (changed, seen):
            ImageDraw.Draw(picture).rectangle((l, t, r - 1, bottom - 1), fill=0)
    count = changed.histogram()[255]
    return count, changed.getbbox() if count else None, changed, seen.histogram()[255]


def place(live):
    return ','.join(map(str, live))


def place_difference(recorded, replayed):
    """What a person sees of the live picture's place that the recording did not show, or None."""
    if recorded == replayed:
        return None
    if replayed is None:
        return 'no picture shows, recorded at %s' % place(recorded)
    if recorded is None:
        return 'the picture is at %s, recorded with none' % place(replayed)
    return 'the picture is at %s, recorded at %s' % (place(replayed), place(recorded))


# The simulated display's test picture: colour bars across its top, a sweeping stripe over them.
BARS = [(192, 192, 192), (192, 192, 0), (0, 192, 192), (0, 192, 0), (192, 0, 192), (192, 0, 0), (0, 0, 192)]


def shows_test_picture(img, live):
    """Whether the picture's place shows the receiver's test picture (most of its bars along the
    top row), not a black or frozen-over rectangle."""
    l, t, r, b = live
    if r - l < 8 or b - t < 8:
        return False
    row = img.convert('RGB').crop((l, t + 1, r, t + 2))
    colours = set(c for _, c in row.getcolors(r - l))
    near = lambda bar: any(all(abs(a - b) <= 8 for a, b in zip(bar, c)) for c in colours)
    return sum(1 for bar in BARS if near(bar)) >= len(BARS) - 2


# What a step that could not be compared means: 1 the replay differs, 2 it could not run.
UNSEEN = {
    'unsettled': (1, 'the screen did not settle, recorded settled'),
    'not taken': (1, 'the replay did not get to this step'),
    'no baseline': (2, 'no recorded screen to compare with'),
    'no screen': (2, "the replay's screen is missing"),
}


class Verdict:
    """One step's comparison: compared, shown only (recorded moving), or one of UNSEEN."""

    def __init__(self, step, label, state, masks=(), notes=()):
        self.step, self.label, self.state, self.masks, self.notes = step, label, state, masks, list(notes)
        self.count, self.box, self.changed, self.compared = 0, None, None, 0
        self.place = None          # how the picture's place differs, or None
        self.live = None           # where the replay showed the picture
        self.recorded_live = None  # and where the recording did

    def problem(self, allowed):
        """(status, what differs) of the step, or None when a person sees what was recorded."""
        parts = [UNSEEN[self.state]] if self.state in UNSEEN else []
        if self.place:
            parts.append((1, self.place))
        if self.state == 'compared' and self.count > allowed:
            parts.append((1, self.pixels()))
        parts += self.notes
        if not parts:
            return None
        return max(status for status, _ in parts), '; '.join(text for _, text in parts)

    def pixels(self):
        l, t, r, b = self.box
        return '%s pixel%s differ%s in %dx%d at (%d,%d)' % (
            format(self.count, ','), '' if self.count == 1 else 's', '' if self.count != 1 else 's', r - l, b - t, l, t)


def judge(count, recorded, replayed, recorded_png, replayed_png, labels, masks=(), problems=()):
    """A Verdict per step of a session of count steps (and any more the recording kept), in
    order. recorded and replayed map a step to its Step; recorded_png/replayed_png to its file;
    problems are (step, status, text) of what the replay could not do."""
    verdicts = []
    for k in sorted(set(range(count)) | set(recorded)):
        rec, rep = recorded.get(k), replayed.get(k)
        step_masks = list(masks) + ([rec.live] if rec and rec.live else [])
        notes = [(status, text) for step, status, text in problems if step == k]
        v = Verdict(k, labels.get(k, ''), 'compared', step_masks, notes)
        if rec is None or not os.path.exists(recorded_png(k)):
            v.state = 'no baseline'
        elif rep is None:
            v.state = 'not taken'
        elif not os.path.exists(replayed_png(k)):
            v.state = 'no screen'
        elif rec.state != 'settled':
            v.state = 'moving'
        elif rep.state != 'settled':
            v.state = 'unsettled'
        if rep is not None:
            v.live = rep.live
        if rec is not None:
            v.recorded_live = rec.live
        if v.state in ('compared', 'unsettled'):
            v.place = place_difference(rec.live, rep.live)
        if v.state == 'compared':
            with Image.open(recorded_png(k)) as a, Image.open(replayed_png(k)) as b:
                v.count, v.box, v.changed, v.compared = compare(a, b, step_masks)
                if not v.place and rec.live and shows_test_picture(a, rec.live) != shows_test_picture(b, rec.live):
                    v.place = 'the picture at %s %s the receiver\'s test picture, recorded %s' % (
                        place(rec.live), *(('shows', 'without') if shows_test_picture(b, rec.live) else ('lacks', 'with')))
        verdicts.append(v)
    return verdicts


def first_request_difference(expected, heard):
    """(0-based index, what differs) of the first request the replay's host heard otherwise than
    the recording's, or None."""
    for j in range(max(len(expected), len(heard))):
        if j >= len(expected) or j >= len(heard) or expected[j] != heard[j]:
            return j, 'request %d: recorded %s, the replay heard %s' % (
                j + 1, named(expected[j]) if j < len(expected) else 'nothing more',
                named(heard[j]) if j < len(heard) else 'nothing more')
    return None


def requests_by_step(steps, requests):
    """step -> the requests heard since the step before was kept, by the steps' HEARD counts."""
    out, start = {}, 0
    for k in sorted(steps):
        end = max(start, min(steps[k].heard, len(requests)))
        out[k] = requests[start:end]
        start = end
    if out and start < len(requests):
        out[max(out)] = out[max(out)] + requests[start:]
    return out
