"""The replay's report: DIR/index.html with the verdict on top and a row per step (the action, the
host's requests recorded and heard, and the recorded, replayed and diff pictures), the first
differing step outlined and scrolled to. The pictures are files beside the page, so the folder
opens from disk with no server. The recorded live picture, masked in the comparison, is a pink
box; a replayed one in another place is outlined in yellow."""

import html
import json
import os

from PIL import Image, ImageChops, ImageDraw

from hostcodes import named_pair as named

PINK = (255, 64, 200)
STRONG = (255, 0, 0)
YELLOW = (255, 220, 0)

STYLE = """
body { font: 13px sans-serif; margin: 0 16px 16px; background: #f4f4f6; color: #222; }
header { height: 118px; }
/* The steps scroll under the verdict, which stays in view. */
main { position: fixed; top: 124px; bottom: 0; left: 16px; right: 0; overflow: auto; }
h1 { font-size: 17px; margin: 4px 0; } .verdict { font: 14px monospace; padding: 8px; border-radius: 4px; margin: 4px 0; }
.same { background: #dff3e0; } .differs { background: #fde0e0; } .note { color: #666; }
table { border-collapse: collapse; } td, th { padding: 5px; vertical-align: top; border-bottom: 1px solid #ccc; text-align: left; }
tr.first { outline: 4px solid #e00; outline-offset: -2px; background: #fff4f4; }
td.action { width: 150px; } td.codes { font: 11px monospace; white-space: pre; width: 250px; }
img { width: 240px; height: 180px; image-rendering: pixelated; border: 1px solid #999; }
td.pictures { white-space: nowrap; } td.pictures figure { display: inline-block; margin: 0 4px 0 0; }
figcaption { font-size: 11px; color: #555; }
"""


def boxed(source, masks, target, live=None):
    """The picture with each mask drawn as a pink box and, where the replay showed the live
    picture elsewhere, that place outlined in yellow."""
    img = Image.open(source).convert('RGB')
    overlay = Image.new('RGBA', img.size, (0, 0, 0, 0))
    draw = ImageDraw.Draw(overlay)
    for l, t, r, b in masks:
        draw.rectangle((l, t, r - 1, b - 1), fill=PINK + (70,), outline=PINK + (255,), width=3)
    if live and live not in masks:
        l, t, r, b = live
        draw.rectangle((l, t, r - 1, b - 1), outline=YELLOW + (255,), width=3)
    Image.alpha_composite(img.convert('RGBA'), overlay).convert('RGB').save(target)


def picture_moved(size, recorded, replayed):
    """The 0/255 map of where one of the two showed the live picture and the other did not."""
    maps = []
    for live in (recorded, replayed):
        m = Image.new('1', size, 0)
        if live:
            ImageDraw.Draw(m).rectangle((live[0], live[1], live[2] - 1, live[3] - 1), fill=1)
        maps.append(m)
    return ImageChops.logical_xor(*maps).convert('L')


def diff_picture(replayed, v, target):
    """Changed pixels, and where the picture shows in one screen only, in a strong colour over a
    dimmed grey copy of the replayed screen."""
    grey = Image.open(replayed).convert('L').point(lambda v: 40 + v // 4).convert('RGB')
    changed = ImageChops.lighter(v.changed, picture_moved(grey.size, v.recorded_live, v.live)) if v.place else v.changed
    marked = Image.composite(Image.new('RGB', grey.size, STRONG), grey, changed)
    marked.save(target)
    boxed(target, v.masks, target, v.live)


def write(folder, session, line, status, verdicts, first, allowed, recorded_requests, heard_requests,
          recorded_png, replayed_png):
    os.makedirs(folder, exist_ok=True)
    rows = []
    for v in verdicts:
        k = v.step
        pictures = []
        if os.path.exists(recorded_png(k)):
            boxed(recorded_png(k), v.masks, os.path.join(folder, '%03d-recorded.png' % k))
            pictures.append(('recorded', '%03d-recorded.png' % k))
        if os.path.exists(replayed_png(k)) and v.state not in ('not taken', 'no screen'):
            boxed(replayed_png(k), v.masks, os.path.join(folder, '%03d-replayed.png' % k), v.live)
            pictures.append(('replayed', '%03d-replayed.png' % k))
        if v.state == 'compared':
            diff_picture(replayed_png(k), v, os.path.join(folder, '%03d-diff.png' % k))
            pictures.append(('diff', '%03d-diff.png' % k))
        problem = v.problem(allowed)
        if problem:
            result = problem[1]
        elif v.state == 'moving':
            result = 'recorded moving: shown, not compared'
        else:
            result = 'same' if v.count == 0 else v.pixels() + ' (allowed)'
        rec = recorded_requests.get(k, [])
        rep = heard_requests.get(k, [])
        rows.append(
            '<tr id="step-%d"%s><td>%d</td><td class="action">%s<br><span class="note">%s</span></td>'
            '<td class="codes">recorded:\n%s\nheard:\n%s</td><td class="pictures">%s</td></tr>' % (
                k, ' class="first"' if k == first else '', k, html.escape(v.label), html.escape(result),
                html.escape('\n'.join(map(named, rec)) or '-'),
                html.escape('\n'.join(map(named, rep)) or '-'),
                ''.join('<figure><img src="%s" alt="%s"><figcaption>%s</figcaption></figure>' % (f, c, c)
                        for c, f in pictures)))
    scroll = ('<script>document.getElementById("step-%d").scrollIntoView({block: "start"});</script>' % first
              if first is not None else '')
    page = """<!doctype html><meta charset="utf-8"><title>Replay of %s</title><style>%s</style>
<header><h1>Replay of %s</h1>
<p class="verdict %s">%s</p>
<p class="note">Pink: the recorded live picture (and --mask areas), not compared; yellow: the replay's picture where it is elsewhere. Diff: pixels that differ, and where the picture shows in one screen only, in red over a dimmed copy of the replayed screen.</p></header>
<main><table><tr><th>step</th><th>action</th><th>the host's requests</th><th>recorded, replayed, diff</th></tr>
%s</table></main>%s
""" % (html.escape(os.path.basename(session)), STYLE, html.escape(session), 'same' if status == 0 else 'differs',
       html.escape(line), '\n'.join(rows), scroll)
    with open(os.path.join(folder, 'index.html'), 'w', encoding='utf-8') as f:
        f.write(page)
    # For a library's summary: the session's verdict in a form a program reads.
    with open(os.path.join(folder, 'verdict.json'), 'w', encoding='utf-8') as f:
        json.dump({'session': session, 'status': status, 'line': line, 'steps': len(verdicts), 'first': first,
                   'compared': sum(1 for v in verdicts if v.state == 'compared'),
                   'pixels': sum(v.compared for v in verdicts)}, f)
