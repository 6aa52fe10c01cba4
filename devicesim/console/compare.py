"""The comparison of a replayed screen with its recorded one: exact on the 16-bit colours the
device's display holds, outside the masks (the live picture, and what --mask adds); a verdict
per step, and where the host's traffic first differs."""

import os

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
    """(pixels that differ, their bounding box (l, t, r, b) or None, the 0/255 map of them) of two
    pictures, on their 16-bit colours, outside the masks."""
    a = recorded.convert('RGB').point(LUT565)
    b = replayed.convert('RGB').point(LUT565)
    if a.size != b.size:
        changed = Image.new('L', a.size, 255)
    else:
        bands = [d.point(ZERO_OR_ONE) for d in ImageChops.difference(a, b).split()]
        changed = ImageChops.lighter(ImageChops.lighter(bands[0], bands[1]), bands[2])
    if masks:
        draw = ImageDraw.Draw(changed)
        for l, t, r, bottom in masks:
            draw.rectangle((l, t, r - 1, bottom - 1), fill=0)
    count = changed.histogram()[255]
    return count, changed.getbbox() if count else None, changed


class Verdict:
    """One step's comparison: shown only (moving or missing) or compared."""

    def __init__(self, step, label, state, count=0, box=None, changed=None, masks=()):
        self.step, self.label, self.state = step, label, state
        self.count, self.box, self.changed, self.masks = count, box, changed, masks

    def differs(self, allowed):
        return self.state == 'compared' and self.count > allowed

    def text(self):
        l, t, r, b = self.box
        return '%s pixel%s differ%s in %dx%d at (%d,%d)' % (
            format(self.count, ','), '' if self.count == 1 else 's', '' if self.count != 1 else 's', r - l, b - t, l, t)


def judge(steps_recorded, steps_replayed, recorded_png, replayed_png, labels, masks=()):
    """A Verdict per recorded step, in order. recorded_png/replayed_png map a step to its file."""
    verdicts = []
    for k in sorted(steps_recorded):
        rec, rep = steps_recorded[k], steps_replayed.get(k)
        label = labels.get(k, '')
        if rep is None or not os.path.exists(replayed_png(k)):
            verdicts.append(Verdict(k, label, 'not taken'))
            continue
        step_masks = list(masks) + [live for live in (rec.live, rep.live) if live]
        if rec.state != 'settled':
            verdicts.append(Verdict(k, label, 'moving', masks=step_masks))
            continue
        count, box, changed = compare(Image.open(recorded_png(k)), Image.open(replayed_png(k)), step_masks)
        verdicts.append(Verdict(k, label, 'compared', count, box, changed, step_masks))
    return verdicts


def first_request_difference(expected, heard):
    """The 0-based index of the first request that differs, or None."""
    for j in range(max(len(expected), len(heard))):
        if j >= len(expected) or j >= len(heard) or expected[j] != heard[j]:
            return j
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
