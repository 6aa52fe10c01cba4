#!/usr/bin/python3
"""Draws the artwork of the device programs: skins, button strips, icons and clicks.

Usage:  /usr/bin/python3 tools/make_art.py [--preview DIR]
        /usr/bin/python3 tools/make_art.py --menu [PREVIEW_DIR]

With --menu it writes only the simulated device's main menu (devicesim/menu/res).

Writes into viewer/res, panel/res, satwake/res, darkpane/res and kickoff/res,
together with one art.rc fragment per folder.  Everything the resource
compiler needs is committed; the build never runs this script.

With --preview DIR it also composes PNG screenshots of the results (skin with
each panel, buttons pressed, panel slots filled) read back from the written
files, so what is checked is what the programs will load.
"""

import math
import os
import struct
import sys

from PIL import Image, ImageChops, ImageDraw, ImageFont

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FONT_DIR = '/usr/share/fonts/truetype/nanum'
SS = 4  # supersampling factor for shape edges

# ---------------------------------------------------------------- colours

INK = (238, 242, 248)          # light text
INK_DIM = (146, 158, 182)      # secondary text
INK_SHADOW = (8, 11, 18)
ORANGE = (246, 136, 24)
ORANGE_HI = (255, 196, 120)
RED = (232, 58, 50)
BLACK = (0, 0, 0)
WHITE = (255, 255, 255)

BG_DEEP = (13, 16, 24)         # window background
PANEL_BG = (22, 27, 39)        # control panel
SECTION = (31, 38, 54)         # recessed group inside a panel
SECTION_EDGE = (52, 63, 86)
LCD_BG = (9, 12, 18)           # value slots of the settings panel
LCD_INK = (255, 170, 58)

# body styles: gradient top, gradient bottom, edge, top highlight
STYLES = {
    'btn': ((76, 90, 118), (40, 48, 67), (8, 10, 16), (132, 148, 180)),
    'press': ((255, 164, 60), (212, 96, 10), (92, 40, 0), (255, 214, 160)),
    'row': ((27, 34, 50), (17, 22, 33), (70, 84, 112), (42, 52, 72)),
    'rowon': ((234, 126, 30), (192, 84, 8), (104, 44, 0), (255, 186, 116)),
    'mute': ((70, 52, 60), (40, 30, 38), (120, 24, 24), (140, 96, 104)),
}


def font(size, bold=True, face=None):
    name = face or ('NanumBarunGothicBold.ttf' if bold else 'NanumBarunGothic.ttf')
    return ImageFont.truetype(os.path.join(FONT_DIR, name), size)


# ---------------------------------------------------------------- shapes

def mask_of(w, h, *painters):
    """Antialiased coverage mask: painters draw at SS times the size."""
    big = Image.new('L', (w * SS, h * SS), 0)
    d = ImageDraw.Draw(big)
    for p in painters:
        p(d, SS)
    return big.resize((w, h), Image.BOX)


def rr(box, r):
    x0, y0, x1, y1 = box

    def paint(d, s):
        d.rounded_rectangle([x0 * s, y0 * s, x1 * s - 1, y1 * s - 1],
                            radius=max(0, r * s), fill=255)
    return paint


def poly(points):
    def paint(d, s):
        d.polygon([(x * s, y * s) for x, y in points], fill=255)
    return paint


def disc(cx, cy, r):
    def paint(d, s):
        d.ellipse([(cx - r) * s, (cy - r) * s, (cx + r) * s - 1, (cy + r) * s - 1], fill=255)
    return paint


def ring(cx, cy, r, width):
    def paint(d, s):
        d.ellipse([(cx - r) * s, (cy - r) * s, (cx + r) * s - 1, (cy + r) * s - 1],
                  outline=255, width=int(width * s))
    return paint


def arc(cx, cy, r, start, end, width):
    def paint(d, s):
        d.arc([(cx - r) * s, (cy - r) * s, (cx + r) * s, (cy + r) * s],
              start, end, fill=255, width=int(width * s))
    return paint


def bar(p0, p1, width):
    """A straight stroke with square ends, as a polygon so it stays exact."""
    (x0, y0), (x1, y1) = p0, p1
    dx, dy = x1 - x0, y1 - y0
    n = math.hypot(dx, dy) or 1.0
    ox, oy = -dy / n * width / 2, dx / n * width / 2
    return poly([(x0 + ox, y0 + oy), (x1 + ox, y1 + oy), (x1 - ox, y1 - oy), (x0 - ox, y0 - oy)])


def paint(img, colour, *painters):
    img.paste(colour, (0, 0, img.width, img.height), mask_of(img.width, img.height, *painters))


def vgrad(w, h, top, bottom, y0=0, y1=None):
    y1 = h if y1 is None else y1
    g = Image.new('RGB', (w, h))
    d = ImageDraw.Draw(g)
    span = max(1, y1 - y0 - 1)
    for y in range(h):
        t = min(1.0, max(0.0, (y - y0) / span))
        c = tuple(int(round(a + (b - a) * t)) for a, b in zip(top, bottom))
        d.line([(0, y), (w, y)], fill=c)
    return g


def body(img, box, r, style):
    """A raised button body: dark edge, vertical gradient, a one-pixel top light."""
    top, bottom, edge, light = STYLES[style] if isinstance(style, str) else style
    w, h = img.size
    paint(img, edge, rr(box, r))
    inner = (box[0] + 1, box[1] + 1, box[2] - 1, box[3] - 1)
    m_inner = mask_of(w, h, rr(inner, r - 1))
    img.paste(vgrad(w, h, top, bottom, inner[1], inner[3]), (0, 0), m_inner)
    lower = (inner[0], inner[1] + 1, inner[2], inner[3])
    lit = ImageChops.subtract(m_inner, mask_of(w, h, rr(lower, r - 1)))
    img.paste(light, (0, 0, w, h), lit)


def recess(img, box, r, fill, edge=SECTION_EDGE):
    """A sunken field: dark rim on top, lighter rim below."""
    w, h = img.size
    paint(img, (6, 8, 12), rr(box, r))
    paint(img, edge, rr((box[0], box[1] + 1, box[2], box[3]), r))
    paint(img, fill, rr((box[0] + 1, box[1] + 1, box[2] - 1, box[3] - 1), r - 1))


def text(img, centre, s, fnt, colour=INK, shadow=INK_SHADOW, anchor='mm'):
    d = ImageDraw.Draw(img)
    x, y = centre
    if shadow is not None:
        d.text((x + 1, y + 1), s, font=fnt, fill=shadow, anchor=anchor)
    d.text((x, y), s, font=fnt, fill=colour, anchor=anchor)


def strip(bg, faces):
    """Stacks the states of one button, each drawn over the same background."""
    w, h = bg.size
    out = Image.new('RGB', (w, h * len(faces)))
    for s, face in enumerate(faces):
        im = bg.copy()
        face(im)
        out.paste(im, (0, h * s))
    return out


def state(img, s, h):
    return img.crop((0, h * s, img.width, h * (s + 1)))


# ---------------------------------------------------------------- file writers

def write_bmp(path, pimg, bpp):
    """Bottom-up BI_RGB DIB with a full colour table, 4 or 8 bits per pixel."""
    assert pimg.mode == 'P' and bpp in (4, 8)
    w, h = pimg.size
    ncol = 1 << bpp
    pal = (pimg.getpalette() or [])[:ncol * 3]
    pal += [0] * (ncol * 3 - len(pal))
    px = pimg.tobytes()
    assert max(px) < ncol, path
    stride = ((w * bpp + 31) // 32) * 4
    rows = []
    for y in range(h - 1, -1, -1):
        line = px[y * w:(y + 1) * w]
        if bpp == 4:
            line = bytes((line[i] << 4) | (line[i + 1] if i + 1 < w else 0) for i in range(0, w, 2))
        rows.append(bytes(line) + b'\0' * (stride - len(line)))
    bits = b''.join(rows)
    table = b''.join(struct.pack('<BBBB', pal[i * 3 + 2], pal[i * 3 + 1], pal[i * 3], 0) for i in range(ncol))
    off = 14 + 40 + len(table)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, bpp, 0, len(bits), 2835, 2835, ncol, 0)
    with open(path, 'wb') as f:
        f.write(struct.pack('<2sIHHI', b'BM', off + len(bits), 0, 0, off))
        f.write(info + table + bits)


def write_wave(path, samples):
    """PCM mono, 11025 samples per second, 8 bits, canonical 44-byte header."""
    data = bytes(samples)
    fmt = struct.pack('<HHIIHH', 1, 1, 11025, 11025, 1, 8)
    body_ = b'WAVE' + b'fmt ' + struct.pack('<I', 16) + fmt + b'data' + struct.pack('<I', len(data)) + data
    if len(data) % 2:
        body_ += b'\0'
    with open(path, 'wb') as f:
        f.write(b'RIFF' + struct.pack('<I', len(body_)) + body_)


def icon_image(rgba, colours):
    """One 16-colour icon image: header, colour table, colour bits, mask bits."""
    w, h = rgba.size
    alpha = rgba.getchannel('A')
    flat = Image.new('RGB', (w, h), (0, 0, 0))
    flat.paste(rgba.convert('RGB'), (0, 0), alpha)
    pal = [c for rgb in colours for c in rgb][:45]
    pal += [0] * (45 - len(pal))
    pal += [0, 0, 0]  # index 15: black, the colour under transparent pixels
    p = Image.new('P', (1, 1))
    p.putpalette(pal + [0] * (768 - len(pal)))
    q = flat.quantize(palette=p, dither=Image.Dither.NONE)
    px = bytearray(q.tobytes())
    a = alpha.tobytes()
    for i in range(w * h):
        if a[i] < 128:
            px[i] = 15
    stride = ((w * 4 + 31) // 32) * 4
    mstride = ((w + 31) // 32) * 4
    xor, andm = [], []
    for y in range(h - 1, -1, -1):
        line = px[y * w:(y + 1) * w]
        xb = bytes((line[i] << 4) | line[i + 1] for i in range(0, w, 2))
        xor.append(xb + b'\0' * (stride - len(xb)))
        mb = bytearray(mstride)
        for x in range(w):
            if a[y * w + x] < 128:
                mb[x // 8] |= 0x80 >> (x % 8)
        andm.append(bytes(mb))
    bits = b''.join(xor) + b''.join(andm)
    table = b''.join(struct.pack('<BBBB', pal[i * 3 + 2], pal[i * 3 + 1], pal[i * 3], 0) for i in range(16))
    info = struct.pack('<IiiHHIIiiII', 40, w, h * 2, 1, 4, 0, len(bits), 0, 0, 16, 0)
    return info + table + bits


def write_ico(path, images, colours):
    head = struct.pack('<HHH', 0, 1, len(images))
    blobs = [icon_image(im, colours) for im in images]
    off = 6 + 16 * len(images)
    entries = b''
    for im, blob in zip(images, blobs):
        entries += struct.pack('<BBBBHHII', im.width % 256, im.height % 256, 16, 0, 1, 4, len(blob), off)
        off += len(blob)
    with open(path, 'wb') as f:
        f.write(head + entries + b''.join(blobs))


# ---------------------------------------------------------------- resource sets

def read_resource_ids(path):
    """The #define NAME number lines of a program's resource header, following its #includes:
    the one home of the ids that its .rc, its code and this script share."""
    ids = {}
    with open(path, encoding='utf-8') as f:
        for line in f:
            words = line.split()
            if len(words) >= 2 and words[0] == '#include' and words[1].startswith('"'):
                ids.update(read_resource_ids(os.path.join(os.path.dirname(path), words[1].strip('"'))))
            elif len(words) == 3 and words[0] == '#define' and words[2].isdigit():
                ids[words[1]] = int(words[2])
    return ids


class ResourceSet:
    """The resources of one program folder: files plus the art.rc fragment, which names each
    resource by its id in the folder's resource header."""

    def __init__(self, folder, header):
        self.folder = folder
        self.dir = os.path.join(ROOT, folder, 'res')
        self.header = header
        self.ids = read_resource_ids(os.path.join(self.dir, header))
        self.bitmaps = []   # (id, file, RGB or P image, bpp)
        self.entries = []   # (id, type, file)

    def name_of(self, rid):
        names = [n for n, v in self.ids.items() if v == rid and not n.startswith(('IDD_', 'IDC_'))]
        assert len(names) == 1, '%s: resource %d needs exactly one name in %s, has %s' % (
            self.folder, rid, self.header, names)
        return names[0]

    def bitmap(self, rid, name, img, bpp=8):
        fname = '%s%d.bmp' % (name, rid)
        self.bitmaps.append((rid, fname, img, bpp))
        self.entries.append((rid, 'BITMAP', fname))

    def wave(self, rid, name, samples):
        fname = '%s%d.wav' % (name, rid)
        os.makedirs(self.dir, exist_ok=True)
        write_wave(os.path.join(self.dir, fname), samples)
        self.entries.append((rid, 'WAVE', fname))

    def icon(self, draw, sizes, rid=128):
        """draw() paints at 128 px with hard edges, so its colours are the
        icon's palette; the small images keep only those colours."""
        os.makedirs(self.dir, exist_ok=True)
        big = draw()
        used = sorted(big.getcolors(1 << 16), reverse=True)
        colours = [rgba[:3] for n, rgba in used if rgba[3] == 255][:15]
        images = [big.resize((s, s), Image.BOX) for s in sizes]
        write_ico(os.path.join(self.dir, 'app.ico'), images, colours)
        self.entries.append((rid, 'ICON', 'app.ico'))

    def write(self):
        written = {rid for rid, _, _ in self.entries}
        drawn = {v for n, v in self.ids.items() if not n.startswith(('IDD_', 'IDC_'))}
        assert drawn <= written, '%s: %s names resources that are not drawn: %s' % (
            self.folder, self.header, sorted(drawn - written))
        os.makedirs(self.dir, exist_ok=True)
        rgb = [img for _, _, img, bpp in self.bitmaps if bpp == 8]
        palette = shared_palette(rgb) if rgb else None
        for rid, fname, img, bpp in self.bitmaps:
            p = img if img.mode == 'P' else img.quantize(palette=palette, dither=Image.Dither.NONE)
            write_bmp(os.path.join(self.dir, fname), p, bpp)
        lines = ['// Artwork resources, generated by tools/make_art.py: regenerate, do not edit.', '',
                 '#include "%s"' % self.header, '']
        for rid, kind, fname in self.entries:
            lines.append('%s %s "%s"' % (self.name_of(rid), kind, fname))
        with open(os.path.join(self.dir, 'art.rc'), 'w', encoding='utf-8', newline='\n') as f:
            f.write('\n'.join(lines) + '\n')


RESERVED = [BLACK, WHITE, ORANGE, ORANGE_HI, RED, (120, 24, 24), PANEL_BG, SECTION, SECTION_EDGE,
            BG_DEEP, LCD_BG, LCD_INK, INK, INK_DIM, (50, 190, 90), (28, 90, 190)]


def shared_palette(images):
    """One palette for all bitmaps of a program, so equal pixels stay equal after
    indexing (a released button image is exactly the skin under it)."""
    w = max(im.width for im in images)
    h = sum(im.height for im in images)
    atlas = Image.new('RGB', (w, h), BLACK)
    y = 0
    for im in images:
        atlas.paste(im.convert('RGB'), (0, y))
        y += im.height
    free = 256 - len(RESERVED)
    q = atlas.quantize(free, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)
    pal = [c for rgb in RESERVED for c in rgb] + (q.getpalette() or [])[:free * 3]
    pal += [0] * (768 - len(pal))
    p = Image.new('P', (1, 1))
    p.putpalette(pal)
    return p


def indexed(size, colours, rows):
    """A small palettised picture from explicit colours; rows(x, y) gives the index."""
    w, h = size
    p = Image.new('P', size)
    p.putpalette([c for rgb in colours for c in rgb])
    p.putdata([rows(x, y) for y in range(h) for x in range(w)])
    return p


# ---------------------------------------------------------------- glyphs

def arrow_tri(cx, cy, w, h, up):
    if up:
        return poly([(cx - w / 2, cy + h / 2), (cx + w / 2, cy + h / 2), (cx, cy - h / 2)])
    return poly([(cx - w / 2, cy - h / 2), (cx + w / 2, cy - h / 2), (cx, cy + h / 2)])


def side_tri(cx, cy, w, h, left):
    if left:
        return poly([(cx + w / 2, cy - h / 2), (cx + w / 2, cy + h / 2), (cx - w / 2, cy)])
    return poly([(cx - w / 2, cy - h / 2), (cx - w / 2, cy + h / 2), (cx + w / 2, cy)])


def cross(cx, cy, size, width):
    a = size / 2
    return [bar((cx - a, cy - a), (cx + a, cy + a), width), bar((cx - a, cy + a), (cx + a, cy - a), width)]


def speaker(cx, cy, k=1.0):
    return poly([(cx - 9 * k, cy - 4 * k), (cx - 4 * k, cy - 4 * k), (cx + 3 * k, cy - 10 * k),
                 (cx + 3 * k, cy + 10 * k), (cx - 4 * k, cy + 4 * k), (cx - 9 * k, cy + 4 * k)])


def magnifier(cx, cy, r, width):
    d = r * 0.72
    return [ring(cx, cy, r, width), bar((cx + d, cy + d), (cx + d + r * 0.9, cy + d + r * 0.9), width * 1.4)]


# ---------------------------------------------------------------- viewer art

V_PANEL = (405, 61)
V_PICTURE = (45, 132, 365, 372)   # black picture area, right/bottom exclusive

# element code: (x, y, w, h of one state, bitmap id)
V_LAYOUT = {
    101: (558, 429, 79, 47, 158), 102: (558, 429, 79, 47, 180),
    103: (431, 187, 62, 53, 150), 104: (431, 271, 62, 53, 156),
    105: (558, 187, 62, 53, 150), 106: (558, 271, 62, 53, 156),
    107: (504, 236, 42, 42, 154), 108: (527, 68, 106, 46, 168),
    109: (423, 374, 100, 41, 157), 110: (423, 419, 100, 41, 137),
    111: (3, 369, 44, 44, 155), 112: (417, 68, 106, 46, 175),
    113: (417, 118, 106, 46, 176), 114: (527, 118, 106, 46, 177),
    115: (591, 182, 36, 48, 133), 116: (591, 367, 36, 48, 132),
    117: (527, 374, 100, 41, 181), 120: (434, 344, 186, 22, 172),
}
V_ROW = (420, 179, 163, 33, 143)   # row k at y + 41 k
V_TRACK = (598, 230, 23, 137)
V_THUMB = (23, 18)


def local(x, y):
    return x - V_PANEL[0], y - V_PANEL[1]


def crop_at(img, x, y, w, h, origin=(0, 0)):
    x -= origin[0]
    y -= origin[1]
    return img.crop((x, y, x + w, y + h))


def button_faces(draw_content, style_normal='btn', style_pressed='press', r=8, inset=1):
    """Normal and pressed faces of a raised button; content moves 1 px when pressed."""
    def make(s):
        def face(im):
            w, h = im.size
            body(im, (inset, inset, w - inset, h - inset), r, style_pressed if s else style_normal)
            draw_content(im, s, 1 if s else 0)
        return face
    return [make(0), make(1)]


def label_content(label, size):
    f = font(size)

    def draw(im, s, dy):
        text(im, (im.width / 2, im.height / 2 + dy), label, f,
             shadow=(110, 50, 0) if s else INK_SHADOW)
    return draw


def close_content(im, s, dy):
    w, h = im.size
    cx, cy = 24, h / 2 + dy
    paint(im, INK_SHADOW, *cross(cx + 1, cy + 1, 14, 4))
    paint(im, INK, *cross(cx, cy, 14, 4))
    text(im, (52, cy), '닫기', font(18), shadow=(110, 50, 0) if s else INK_SHADOW)


def arrow_content(up):
    def draw(im, s, dy):
        w, h = im.size
        cx, cy = w / 2, h / 2 + dy
        paint(im, INK_SHADOW, arrow_tri(cx + 1, cy + 1, 26, 15, up))
        paint(im, INK, arrow_tri(cx, cy, 26, 15, up))
    return draw


def scroll_content(up):
    def draw(im, s, dy):
        w, h = im.size
        cx, cy = w / 2, h / 2 + dy
        paint(im, INK_SHADOW, arrow_tri(cx + 1, cy + 1, 16, 10, up))
        paint(im, INK, arrow_tri(cx, cy, 16, 10, up))
    return draw


def speaker_faces():
    def muted(im):
        w, h = im.size
        body(im, (1, 1, w - 1, h - 1), 9, 'mute')
        paint(im, INK_SHADOW, speaker(16, 22))
        paint(im, RED, speaker(15, 21))
        paint(im, RED, *cross(29, 21, 9, 3))

    def sound(im):
        w, h = im.size
        body(im, (1, 1, w - 1, h - 1), 9, 'btn')
        paint(im, INK_SHADOW, speaker(14, 22))
        paint(im, INK, speaker(13, 21))
        paint(im, ORANGE, arc(19, 21, 7, -50, 50, 2.2), arc(19, 21, 12, -50, 50, 2.2))
    return [muted, sound]


def band_content(im, s, dy):
    w, h = im.size
    cy = h / 2 + dy
    sh = (110, 50, 0) if s else INK_SHADOW
    f = font(16)
    left, right, gap, aw = f.getlength('TV'), f.getlength('라디오'), 4, 15
    x = (w - (left + right + aw + 2 * gap)) / 2
    text(im, (x, cy), 'TV', f, shadow=sh, anchor='lm')
    ax = x + left + gap
    for col, o in ((INK_SHADOW, 1), (INK, 0)):
        paint(im, col,
              bar((ax + o, cy - 4 + o), (ax + aw - 4 + o, cy - 4 + o), 2),
              poly([(ax + aw - 5 + o, cy - 8 + o), (ax + aw + o, cy - 4 + o), (ax + aw - 5 + o, cy + o)]),
              bar((ax + 4 + o, cy + 4 + o), (ax + aw + o, cy + 4 + o), 2),
              poly([(ax + 5 + o, cy + o), (ax + o, cy + 4 + o), (ax + 5 + o, cy + 8 + o)]))
    text(im, (ax + aw + gap, cy), '라디오', f, shadow=sh, anchor='lm')


def search_content(im, s, dy):
    w, h = im.size
    cy = h / 2 + dy
    text(im, (38, cy), 'CH', font(20), shadow=(110, 50, 0) if s else INK_SHADOW)
    paint(im, INK_SHADOW, *magnifier(66, cy - 2, 7, 2.6))
    paint(im, INK, *magnifier(65, cy - 3, 7, 2.6))


def dls_faces():
    def make(on):
        def face(im):
            w, h = im.size
            body(im, (1, 1, w - 1, h - 1), 8, 'btn')
            cx, cy = 18, h / 2
            if on:
                paint(im, (120, 60, 8), disc(cx, cy, 7))
                paint(im, ORANGE, disc(cx, cy, 5))
                paint(im, ORANGE_HI, disc(cx - 1.5, cy - 1.5, 1.8))
                text(im, (58, cy), 'DLS ON', font(16), colour=INK)
            else:
                paint(im, (12, 14, 20), disc(cx, cy, 7))
                paint(im, (60, 66, 78), disc(cx, cy, 5))
                text(im, (58, cy), 'DLS OFF', font(16), colour=INK_DIM)
        return face
    return [make(False), make(True)]


def pip_faces():
    def make(s):
        def face(im):
            box = (1, 6, 36, 41)
            body(im, box, 7, 'press' if s else 'btn')
            dy = 1 if s else 0
            cx = (box[0] + box[2]) / 2
            ink = INK
            paint(im, INK_SHADOW, rr((cx - 11 + 1, 10 + dy + 1, cx + 11 + 1, 26 + dy + 1), 2))
            paint(im, ink, rr((cx - 11, 10 + dy, cx + 11, 26 + dy), 2))
            paint(im, (30, 36, 50) if not s else (170, 76, 6), rr((cx - 9, 12 + dy, cx + 9, 24 + dy), 1))
            paint(im, ORANGE if not s else INK, rr((cx + 0, 17 + dy, cx + 8, 23 + dy), 1))
            text(im, (cx, 33 + dy), 'PIP', font(10), shadow=None)
        return face
    return [make(0), make(1)]


def row_faces():
    def make(s):
        def face(im):
            w, h = im.size
            body(im, (0, 0, w, h), 6, 'rowon' if s else 'row')
        return face
    return [make(0), make(1)]


def volume_bar(bg):
    im = bg.copy()
    w, h = im.size
    recess(im, (3, 8, w - 3, 14), 3, (10, 12, 18))
    for i in range(10):
        x = 14 + int(i * 158 / 9)
        c = ORANGE if i == 9 else INK_DIM
        ImageDraw.Draw(im).line([(x, 1), (x, 4)], fill=c)
        ImageDraw.Draw(im).line([(x, 18), (x, 20)], fill=c)
    return im


def volume_knob(bg):
    im = bg.copy()
    w, h = im.size
    body(im, (1, 0, w - 1, h), 5, 'press')
    for x in (10, 14, 18):
        ImageDraw.Draw(im).line([(x, 6), (x, 15)], fill=(150, 66, 0))
        ImageDraw.Draw(im).line([(x + 1, 6), (x + 1, 15)], fill=(255, 200, 140))
    return im


def scroll_track(bg):
    im = bg.copy()
    w, h = im.size
    recess(im, (3, 0, w - 3, h), 6, (11, 14, 21))
    ImageDraw.Draw(im).line([(w // 2, 6), (w // 2, h - 7)], fill=(36, 44, 62))
    return im


def scroll_thumb(bg):
    im = bg.copy()
    w, h = im.size
    body(im, (2, 0, w - 2, h), 5, 'press')
    for y in (6, 9, 12):
        ImageDraw.Draw(im).line([(7, y), (w - 8, y)], fill=(150, 66, 0))
    return im


def viewer_panel_bg(kind):
    """Panel background without buttons.  The top buttons and the close button
    sit on plain panel colour in both panels, so their strips fit either one."""
    w, h = 235, 419
    im = Image.new('RGB', (w, h), PANEL_BG)
    d = ImageDraw.Draw(im)
    d.line([(0, 0), (0, h)], fill=(8, 10, 15))
    d.line([(1, 0), (1, h)], fill=(46, 56, 78))
    d.line([(0, 0), (w, 0)], fill=(46, 56, 78))
    if kind == 'main':
        x0, y0 = local(415, 176)
        x1, y1 = local(633, 370)
        recess(im, (x0, y0, x1, y1), 8, SECTION)
        lab = font(15)
        text(im, local(462, 255), '채널', lab, colour=INK_DIM)
        text(im, local(589, 255), '음량', lab, colour=INK_DIM)
    else:
        x0, y0 = local(413, 172)
        x1, y1 = local(634, 424)
        recess(im, (x0, y0, x1, y1), 8, SECTION)
        text(im, local(424, 452), '채널 목록', font(18), colour=INK_DIM, anchor='lm')
    return im


def viewer_skin_bg():
    w, h = 640, 480
    im = vgrad(w, h, (20, 25, 37), (10, 12, 18))
    im.paste(vgrad(w, 58, (44, 55, 82), (20, 25, 38)), (0, 0))
    d = ImageDraw.Draw(im)
    d.line([(0, 57), (w, 57)], fill=(8, 10, 15))
    d.rectangle([(0, 58), (w, 59)], fill=ORANGE)
    d.line([(0, 60), (w, 60)], fill=(8, 10, 15))
    # header: a small TV mark and the title
    paint(im, (8, 10, 15), rr((15, 17, 47, 43), 5))
    paint(im, INK, rr((14, 16, 46, 42), 5))
    paint(im, (28, 90, 190), rr((17, 19, 43, 37), 3))
    paint(im, ORANGE, disc(40, 39.5, 1.6), bar((24, 16), (19, 9), 2), bar((36, 16), (41, 9), 2))
    text(im, (58, 30), 'DMB 방송', font(30), anchor='lm')
    text(im, (626, 30), 'DMB · DAB', font(14, bold=False), colour=INK_DIM, shadow=None, anchor='rm')
    # TV bezel around the picture
    bez = (1, 92, 404, 430)
    paint(im, (4, 5, 8), rr((bez[0], bez[1] + 2, bez[2], bez[3] + 2), 18))
    body(im, bez, 18, ((70, 80, 100), (30, 35, 47), (6, 8, 12), (120, 132, 156)))
    recess(im, (40, 127, 370, 377), 6, (4, 5, 8), edge=(84, 96, 122))
    px0, py0, px1, py1 = V_PICTURE
    im.paste(BLACK, (px0, py0, px1, py1))
    text(im, (205, 403), 'D M B', font(15), colour=(190, 198, 214), anchor='rm')
    paint(im, ORANGE, disc(214, 402.5, 2.5))
    text(im, (224, 403), 'MOBILE TV', font(13, bold=False), colour=INK_DIM, shadow=None, anchor='lm')
    paint(im, (20, 24, 30), disc(380, 110, 4))
    paint(im, (50, 190, 90), disc(380, 110, 2.5))
    text(im, (202, 455), '화면을 누르면 전체 화면으로 봅니다', font(15, bold=False), colour=INK_DIM, shadow=None)
    return im


def viewer_art():
    rs = ResourceSet('viewer', 'TvScreenRes.h')
    main_bg = viewer_panel_bg('main')
    list_bg = viewer_panel_bg('list')
    strips = {}   # bitmap id -> (image, state height)

    def make(bid, code_or_pos, faces, bg=main_bg):
        x, y, w, h = code_or_pos
        strips[bid] = (strip(crop_at(bg, x, y, w, h, V_PANEL), faces), h)

    def pos(code):
        return V_LAYOUT[code][:4]

    make(158, pos(101), button_faces(close_content))
    make(180, pos(102), button_faces(close_content), list_bg)
    make(150, pos(103), button_faces(arrow_content(True)))
    make(156, pos(104), button_faces(arrow_content(False)))
    make(154, pos(107), speaker_faces())
    make(168, pos(108), button_faces(label_content('환경설정', 19)))
    make(157, pos(109), button_faces(band_content))
    make(137, pos(110), button_faces(search_content))
    make(175, pos(112), button_faces(label_content('기본메뉴', 19)))
    make(176, pos(113), button_faces(label_content('TV 채널', 19)))
    make(177, pos(114), button_faces(label_content('라디오 채널', 18)))
    make(133, pos(115), button_faces(scroll_content(True), r=6), list_bg)
    make(132, pos(116), button_faces(scroll_content(False), r=6), list_bg)
    make(181, pos(117), dls_faces())
    make(143, V_ROW[:4], row_faces(), list_bg)

    bar_img = volume_bar(crop_at(main_bg, *pos(120), V_PANEL))
    knob_img = volume_knob(bar_img.crop((0, 0, 28, 22)))
    track_img = scroll_track(crop_at(list_bg, *V_TRACK, V_PANEL))
    thumb_img = scroll_thumb(track_img.crop((0, 0) + V_THUMB))

    def place(panel, bid, x, y, s=0):
        img, h = strips[bid]
        panel.paste(state(img, s, h), local(x, y))

    main = main_bg.copy()
    for code in (101, 103, 104, 105, 106, 108, 109, 110, 112, 113, 114):
        x, y, _, _, bid = V_LAYOUT[code]
        place(main, bid, x, y)
    place(main, 154, 504, 236, 1)
    place(main, 181, 527, 374, 1)
    main.paste(bar_img, local(434, 344))

    lst = list_bg.copy()
    for code in (102, 108, 112, 113, 114, 115, 116):
        x, y, _, _, bid = V_LAYOUT[code]
        place(lst, bid, x, y)
    for k in range(6):
        place(lst, 143, V_ROW[0], V_ROW[1] + 41 * k)
    lst.paste(track_img, local(V_TRACK[0], V_TRACK[1]))
    lst.paste(thumb_img, local(V_TRACK[0], V_TRACK[1]))

    skin = viewer_skin_bg()
    px, py, pw, ph, _ = V_LAYOUT[111]
    strips[155] = (strip(skin.crop((px, py, px + pw, py + ph)), pip_faces()), ph)
    skin.paste(state(strips[155][0], 0, ph), (px, py))
    skin.paste(main, V_PANEL)

    rs.bitmap(129, 'skin', skin)
    rs.bitmap(171, 'panel_main', main)
    rs.bitmap(170, 'panel_list', lst)
    names = {158: 'btn_close_main', 180: 'btn_close_list', 150: 'btn_up', 156: 'btn_down',
             154: 'btn_speaker', 168: 'btn_settings', 157: 'btn_band', 137: 'btn_search',
             155: 'btn_pip', 175: 'btn_mainmenu', 176: 'btn_tvlist', 177: 'btn_radiolist',
             133: 'btn_scroll_up', 132: 'btn_scroll_down', 181: 'btn_dls', 143: 'list_row'}
    for bid, name in names.items():
        rs.bitmap(bid, name, strips[bid][0])
    rs.bitmap(172, 'volume_bar', bar_img)
    rs.bitmap(173, 'volume_knob', knob_img)
    rs.bitmap(178, 'scroll_track', track_img)
    rs.bitmap(179, 'scroll_thumb', thumb_img)
    rs.bitmap(164, 'blank_notice', Image.new('RGB', (280, 60), BLACK))
    rs.bitmap(165, 'blank_line', Image.new('RGB', (250, 30), BLACK))
    rs.bitmap(183, 'progress_empty', progress_empty(), bpp=4)
    rs.bitmap(184, 'progress_fill', progress_fill(), bpp=4)
    rs.bitmap(131, 'unused_dmb_badge', badge('DMB', (28, 90, 190)))
    rs.bitmap(145, 'unused_dab_badge', badge('DAB', (200, 96, 10)))
    rs.wave(167, 'click', click(496, 2000.0, 3300.0, 0.0062))
    rs.icon(icon_viewer, (32, 16))
    rs.write()
    return rs


def progress_empty():
    # white bar with a grey rim
    def px(x, y):
        return 1 if x in (0, 249) or y in (0, 14) else 0
    return indexed((250, 15), [WHITE, (150, 150, 150)], px)


def progress_fill():
    # olive fill with a light top and a dark foot, rim matching the empty bar
    def px(x, y):
        if x == 0 or y in (0, 14):
            return 1
        if y in (1, 2):
            return 2
        if y == 13:
            return 3
        return 0
    return indexed((250, 15), [(128, 128, 0), (150, 150, 150), (170, 170, 40), (92, 92, 0)], px)


def badge(label, colour):
    im = Image.new('RGB', (48, 24), BG_DEEP)
    body(im, (1, 1, 47, 23), 5, (colour, tuple(c // 2 for c in colour), (6, 8, 12), WHITE))
    text(im, (24, 12), label, font(13))
    return im


# ---------------------------------------------------------------- settings panel art

P_SIZE = (480, 234)
P_ROWS = [('화면밝기', 51, '0 – 10', 205, 204, 'bright'),
          ('Dimmer', 101, 'ON / OFF', 207, 206, 'dimmer'),
          ('FM 주파수', 151, 'MHz', 209, 208, 'fm')]
P_CLOSE = (423, 2, 50, 27)


def panel_skin_bg():
    w, h = P_SIZE
    im = vgrad(w, h, (22, 27, 40), (14, 17, 26))
    im.paste(vgrad(w, 32, (46, 57, 84), (22, 27, 40)), (0, 0))
    d = ImageDraw.Draw(im)
    d.rectangle([(0, 32), (w, 33)], fill=ORANGE)
    d.line([(0, 34), (w, 34)], fill=(8, 10, 15))
    text(im, (16, 16), '동영상 플레이어 설정', font(19), anchor='lm')
    for label, y, unit, _, _, _ in P_ROWS:
        recess(im, (8, y - 3, 472, y + 38), 8, SECTION)
        cy = y + 17.5
        paint(im, (70, 34, 4), disc(25, cy, 7))
        paint(im, ORANGE, disc(25, cy, 5))
        paint(im, ORANGE_HI, disc(23.5, cy - 1.5, 1.8))
        text(im, (42, cy), label, font(18), anchor='lm')
        text(im, (458, cy), unit, font(14, bold=False), colour=INK_DIM, shadow=None, anchor='rm')
        # the value window between the arrows
        recess(im, (290, y + 7, 340, y + 29), 3, LCD_BG, edge=(70, 84, 112))
        im.paste(LCD_BG, (293, y + 10, 337, y + 26))
    # plain band at the bottom
    d.line([(0, 203), (w, 203)], fill=(8, 10, 15))
    d.line([(0, 204), (w, 204)], fill=(44, 54, 74))
    im.paste(vgrad(w, h - 205, (26, 32, 46), (16, 19, 28)), (0, 205))
    return im


def panel_arrow_faces(left):
    def draw(im, s, dy):
        w, h = im.size
        cx, cy = w / 2, h / 2 + dy
        paint(im, INK_SHADOW, side_tri(cx + 1, cy + 1, 10, 15, left))
        paint(im, INK, side_tri(cx, cy, 10, 15, left))
    return button_faces(draw, r=6)


def panel_close_faces():
    def draw(im, s, dy):
        w, h = im.size
        paint(im, INK_SHADOW, *cross(w / 2 + 1, h / 2 + dy + 1, 10, 3))
        paint(im, INK, *cross(w / 2, h / 2 + dy, 10, 3))
    return button_faces(draw, r=6)


def lcd_cell(w, s, size=15, face='NanumGothicBold.ttf'):
    im = Image.new('RGB', (w, 16), LCD_BG)
    if s:
        text(im, (w / 2, 8), s, font(size, face=face), colour=LCD_INK, shadow=None)
    return im


def digit_strip():
    im = Image.new('RGB', (128, 16), LCD_BG)
    for d_ in range(10):
        im.paste(lcd_cell(12, str(d_)), (d_ * 12, 0))
    dot = Image.new('RGB', (8, 16), LCD_BG)
    paint(dot, LCD_INK, rr((2.5, 11, 5.5, 14), 0.5))
    im.paste(dot, (120, 0))
    return im


def panel_art():
    rs = ResourceSet('panel', 'PanelCfgRes.h')
    skin = panel_skin_bg()
    imgs = {}
    for _, y, _, left_id, right_id, _ in P_ROWS:
        for bid, x, left in ((left_id, 255, True), (right_id, 343, False)):
            imgs[bid] = strip(skin.crop((x, y, x + 32, y + 35)), panel_arrow_faces(left))
            skin.paste(state(imgs[bid], 0, 35), (x, y))
    x, y, w, h = P_CLOSE
    imgs[195] = strip(skin.crop((x, y, x + w, y + h)), panel_close_faces())
    skin.paste(state(imgs[195], 0, h), (x, y))

    rs.bitmap(175, 'skin', skin)
    rs.bitmap(135, 'digits', digit_strip())
    rs.bitmap(195, 'btn_close', imgs[195])
    for _, _, _, left_id, right_id, name in P_ROWS:
        rs.bitmap(right_id, 'btn_%s_right' % name, imgs[right_id])
        rs.bitmap(left_id, 'btn_%s_left' % name, imgs[left_id])
    rs.bitmap(211, 'slot_empty', Image.new('RGB', (44, 16), LCD_BG))
    onoff = Image.new('RGB', (44, 32), LCD_BG)
    onoff.paste(lcd_cell(44, 'ON', 14, 'NanumGothicBold.ttf'), (0, 0))
    onoff.paste(lcd_cell(44, 'OFF', 14, 'NanumGothicBold.ttf'), (0, 16))
    rs.bitmap(183, 'slot_onoff', onoff)
    rs.bitmap(192, 'slot_mute', lcd_cell(44, 'MUTE', 13, 'NanumGothicBold.ttf'))
    rs.wave(196, 'click', click(464, 1500.0, 2600.0, 0.0055))
    rs.icon(icon_panel, (32, 16))
    rs.write()
    return rs


# ---------------------------------------------------------------- sounds

def click(n, f1, f2, tau):
    """A short soft tick: two partials under a fast attack and exponential decay,
    faded to the centre line at the end so nothing pops when it stops."""
    out = []
    for i in range(n):
        t = i / 11025.0
        env = min(1.0, i / 6.0) * math.exp(-t / tau)
        tail = min(1.0, (n - 1 - i) / 40.0)
        v = 0.65 * math.sin(2 * math.pi * f1 * t) + 0.35 * math.sin(2 * math.pi * f2 * t + 0.7)
        out.append(max(0, min(255, 128 + int(round(96 * env * tail * v)))))
    return out


# ---------------------------------------------------------------- icons

def icon_canvas():
    return Image.new('RGBA', (128, 128), (0, 0, 0, 0))


def ipaint(im, colour, *painters):
    m = Image.new('L', im.size, 0)
    d = ImageDraw.Draw(m)
    for p in painters:
        p(d, 1)
    layer = Image.new('RGBA', im.size, colour + (255,))
    im.alpha_composite(Image.composite(layer, Image.new('RGBA', im.size, (0, 0, 0, 0)), m))


def icon_viewer():
    im = icon_canvas()
    ipaint(im, (255, 150, 30), bar((44, 30), (28, 6), 7), bar((84, 30), (100, 6), 7))
    ipaint(im, (20, 24, 34), rr((6, 26, 122, 116), 16))
    ipaint(im, (190, 198, 214), rr((12, 32, 116, 110), 12))
    ipaint(im, (20, 24, 34), rr((18, 38, 110, 104), 8))
    ipaint(im, (40, 120, 230), rr((22, 42, 106, 100), 6))
    ipaint(im, (120, 190, 255), poly([(22, 42), (80, 42), (22, 80)]))
    ipaint(im, (255, 150, 30), poly([(54, 56), (54, 88), (82, 72)]))
    return im


def icon_panel():
    im = icon_canvas()
    ipaint(im, (20, 24, 34), rr((4, 4, 124, 124), 22))
    ipaint(im, (70, 84, 110), rr((10, 10, 118, 118), 17))
    for y, kx in ((36, 80), (64, 44), (92, 70)):
        ipaint(im, (14, 16, 24), rr((22, y - 5, 106, y + 5), 5))
        ipaint(im, (20, 24, 34), disc(kx, y, 15))
        ipaint(im, (255, 150, 30), disc(kx, y, 11))
    return im


def icon_satwake():
    im = icon_canvas()
    ipaint(im, (40, 120, 230), arc(84, 40, 22, 200, 340, 9), arc(84, 40, 40, 205, 335, 9))
    pin = [disc(52, 58, 34), poly([(22, 74), (82, 74), (52, 124)])]
    ipaint(im, (20, 24, 34), *pin)
    ipaint(im, (255, 150, 30), disc(52, 58, 28), poly([(29, 72), (75, 72), (52, 114)]))
    ipaint(im, (20, 24, 34), disc(52, 56, 13))
    ipaint(im, (255, 255, 255), disc(52, 56, 9))
    return im


def icon_darkpane():
    im = icon_canvas()
    ipaint(im, (20, 24, 34), rr((6, 14, 122, 100), 12))
    ipaint(im, (160, 170, 190), rr((10, 18, 118, 96), 9))
    ipaint(im, (0, 0, 0), rr((16, 24, 112, 90), 5))
    ipaint(im, (160, 170, 190), rr((50, 100, 78, 112), 2), rr((32, 110, 96, 120), 5))
    moon = Image.new('RGBA', im.size, (0, 0, 0, 0))
    ipaint(moon, (255, 200, 60), disc(64, 57, 22))
    cut = Image.new('L', im.size, 0)
    disc(75, 49, 19)(ImageDraw.Draw(cut), 1)
    moon.putalpha(ImageChops.subtract(moon.getchannel('A'), cut))
    im.alpha_composite(moon)
    return im


def icon_kickoff():
    im = icon_canvas()
    card = poly([(22, 4), (84, 4), (108, 28), (108, 124), (22, 124)])
    ipaint(im, (20, 24, 34), card)
    ipaint(im, (120, 134, 160), poly([(28, 10), (82, 10), (102, 30), (102, 118), (28, 118)]))
    for x in (40, 54, 68, 82):
        ipaint(im, (230, 200, 90), rr((x - 4, 14, x + 4, 34), 2))
    ipaint(im, (20, 24, 34), disc(65, 80, 28))
    ipaint(im, (255, 150, 30), disc(65, 80, 24))
    ipaint(im, (255, 255, 255), poly([(56, 66), (56, 94), (80, 80)]))
    return im


def small_programs():
    sets = []
    for folder, header, draw, sizes in (('satwake', 'SatWakeRes.h', icon_satwake, (32, 16)),
                                        ('darkpane', 'DarkPaneRes.h', icon_darkpane, (32, 16)),
                                        ('kickoff', 'KickoffRes.h', icon_kickoff, (32,))):
        rs = ResourceSet(folder, header)
        rs.icon(draw, sizes)
        rs.write()
        sets.append(rs)
    return sets


# ---------------------------------------------------------------- checks

V_SIZES = {129: (640, 480), 171: (235, 419), 170: (235, 419), 158: (79, 94), 180: (79, 94),
           150: (62, 106), 156: (62, 106), 154: (42, 84), 168: (106, 92), 157: (100, 82),
           137: (100, 82), 155: (44, 88), 175: (106, 92), 176: (106, 92), 177: (106, 92),
           133: (36, 96), 132: (36, 96), 181: (100, 82), 143: (163, 66), 172: (186, 22),
           173: (28, 22), 178: (23, 137), 179: (23, 18), 164: (280, 60), 165: (250, 30),
           183: (250, 15), 184: (250, 15)}
V_4BPP = {183, 184}
V_UNUSED = {131, 145}
P_SIZES = {175: (480, 234), 135: (128, 16), 195: (50, 54), 204: (32, 70), 205: (32, 70),
           206: (32, 70), 207: (32, 70), 208: (32, 70), 209: (32, 70), 211: (44, 16),
           183: (44, 32), 192: (44, 16)}


def read_bmp_header(path):
    with open(path, 'rb') as f:
        data = f.read()
    magic, fsize, _, _, off = struct.unpack_from('<2sIHHI', data, 0)
    hsize, w, h, planes, bpp, comp, isize, _, _, used, _ = struct.unpack_from('<IiiHHIIiiII', data, 14)
    assert magic == b'BM' and fsize == len(data), path
    assert hsize == 40 and planes == 1 and comp == 0, path
    assert h > 0, path + ': must be bottom-up'
    stride = ((w * bpp + 31) // 32) * 4
    assert off == 54 + 4 * (used or (1 << bpp)), path
    assert len(data) - off == stride * h == isize, path
    return w, h, bpp


def read_wave(path):
    with open(path, 'rb') as f:
        data = f.read()
    assert data[:4] == b'RIFF' and data[8:16] == b'WAVEfmt ', path
    assert struct.unpack_from('<I', data, 4)[0] == len(data) - 8, path
    fmt = struct.unpack_from('<IHHIIHH', data, 16)
    assert fmt == (16, 1, 1, 11025, 11025, 1, 8), path
    assert data[36:40] == b'data', path
    n = struct.unpack_from('<I', data, 40)[0]
    assert 44 + n + (n % 2) == len(data), path
    return len(data), n


def read_ico(path):
    with open(path, 'rb') as f:
        data = f.read()
    _, kind, count = struct.unpack_from('<HHH', data, 0)
    assert kind == 1, path
    sizes = []
    for i in range(count):
        w, h, colours, _, planes, bpp, size, off = struct.unpack_from('<BBBBHHII', data, 6 + 16 * i)
        assert colours == 16 and planes == 1 and bpp == 4, path
        hs, iw, ih, _, ibpp = struct.unpack_from('<IiiHH', data, off)
        assert (hs, iw, ih, ibpp) == (40, w, 2 * h, 4), path
        assert off + size <= len(data), path
        sizes.append(w)
    return sizes


def load(folder, fname):
    return Image.open(os.path.join(ROOT, folder, 'res', fname)).convert('RGB')


def same(a, b):
    return ImageChops.difference(a, b).getbbox() is None


def check(viewer, panel, smalls):
    files = {rid: f for rid, _, f in viewer.entries}
    for rid, size in V_SIZES.items():
        w, h, bpp = read_bmp_header(os.path.join(viewer.dir, files[rid]))
        assert (w, h) == size, (rid, w, h)
        assert bpp == (4 if rid in V_4BPP else 8), (rid, bpp)
    for rid in V_UNUSED:
        assert read_bmp_header(os.path.join(viewer.dir, files[rid]))[2] == 8
    assert read_wave(os.path.join(viewer.dir, files[167]))[0] == 540
    assert read_ico(os.path.join(viewer.dir, 'app.ico')) == [32, 16]

    pfiles = {rid: f for rid, _, f in panel.entries}
    for rid, size in P_SIZES.items():
        w, h, bpp = read_bmp_header(os.path.join(panel.dir, pfiles[rid]))
        assert (w, h, bpp) == size + (8,), (rid, w, h, bpp)
    assert read_wave(os.path.join(panel.dir, pfiles[196]))[1] == 464
    assert read_ico(os.path.join(panel.dir, 'app.ico')) == [32, 16]
    for rs in smalls:
        assert read_ico(os.path.join(rs.dir, 'app.ico')) == ([32] if rs.folder == 'kickoff' else [32, 16])

    # the pictures agree with each other as they are loaded: picture area black,
    # panels show each button exactly as its released strip state
    skin = load('viewer', files[129])
    assert skin.crop(V_PICTURE).getcolors() == [(320 * 240, BLACK)]
    main, lst = load('viewer', files[171]), load('viewer', files[170])
    assert same(skin.crop((405, 61, 640, 480)), main)
    for code, (x, y, w, h, bid) in V_LAYOUT.items():
        img = load('viewer', files[bid])
        want = {107: 1, 117: 1}.get(code, 0)
        band = img.crop((0, want * h, w, want * h + h))
        if code == 111:
            assert same(skin.crop((x, y, x + w, y + h)), band), code
        elif code in (101, 103, 104, 105, 106, 107, 108, 109, 110, 112, 113, 114, 117):
            assert same(main.crop(local(x, y) + local(x + w, y + h)), band), code
        if code in (102, 108, 112, 113, 114, 115, 116):
            assert same(lst.crop(local(x, y) + local(x + w, y + h)), band), code
    row = load('viewer', files[143]).crop((0, 0, 163, 33))
    for k in range(6):
        x, y = local(V_ROW[0], V_ROW[1] + 41 * k)
        assert same(lst.crop((x, y, x + 163, y + 33)), row), k

    pskin = load('panel', pfiles[175])
    places = [(195,) + P_CLOSE] + [(bid, x, y, 32, 35) for _, y, _, l_, r_, _ in P_ROWS
                                   for bid, x in ((l_, 255), (r_, 343))]
    for bid, x, y, w, h in places:
        img = load('panel', pfiles[bid])
        assert same(pskin.crop((x, y, x + w, y + h)), img.crop((0, 0, w, h))), bid
        assert not same(img.crop((0, 0, w, h)), img.crop((0, h, w, 2 * h))), bid
    print('checked: %d viewer, %d panel resources, %d icons' %
          (len(viewer.entries), len(panel.entries), 2 + len(smalls)))


# ---------------------------------------------------------------- preview

def preview(out_dir, viewer, panel):
    os.makedirs(out_dir, exist_ok=True)
    vf = {rid: f for rid, _, f in viewer.entries}
    pf = {rid: f for rid, _, f in panel.entries}

    def vload(rid):
        return load('viewer', vf[rid])

    def blit(dst, rid, x, y, w, h, s=0, src=None):
        img = src or vload(rid)
        dst.paste(img.crop((0, h * s, w, h * s + h)), (x, y))

    label_font = ImageFont.truetype(os.path.join(FONT_DIR, 'NanumGothicBold.ttf'), 24)

    # main panel with a few buttons pressed, a search under way
    scr = vload(129)
    blit(scr, 171, 405, 61, 235, 419)
    for code in (103, 108, 110, 106):
        x, y, w, h, bid = V_LAYOUT[code]
        blit(scr, bid, x, y, w, h, 1)
    blit(scr, 172, 434, 344, 186, 22)
    blit(scr, 173, 434 + int(6 * 158 / 9), 344, 28, 22)
    blit(scr, 154, 504, 236, 42, 42, 0)
    blit(scr, 181, 527, 374, 100, 41, 0)
    blit(scr, 155, 3, 369, 44, 44, 1)
    d = ImageDraw.Draw(scr)
    blit(scr, 164, 67, 178, 280, 60)
    d.text((67, 178), '채널 검색중 입니다.', font=label_font, fill=WHITE)
    blit(scr, 183, 82, 238, 250, 15)
    blit(scr, 184, 82, 238, 100, 15)
    for y, s in ((293, ' DMB 채널 :  7'), (323, ' DAB 채널 : 12')):
        blit(scr, 165, 82, y, 250, 30)
        d.text((82, y), s, font=label_font, fill=WHITE)
    scr.save(os.path.join(out_dir, 'viewer_main.png'))

    # list panel with names, one row pressed, scroll thumb part way
    scr = vload(129)
    blit(scr, 170, 405, 61, 235, 419)
    names = ['KBS1 TV', 'MBC TV', 'SBS TV', 'YTN DMB', 'QBS', 'U1 미디어']
    for k, name in enumerate(names):
        blit(scr, 143, 420, 179 + 41 * k, 163, 33, 1 if k == 2 else 0)
        ImageDraw.Draw(scr).text((430, 182 + 41 * k), name, font=ImageFont.truetype(
            os.path.join(FONT_DIR, 'NanumGothicBold.ttf'), 26), fill=WHITE)
    blit(scr, 178, 598, 230, 23, 137)
    blit(scr, 179, 598, 298, 23, 18)
    for code in (115, 114, 102):
        x, y, w, h, bid = V_LAYOUT[code]
        blit(scr, bid, x, y, w, h, 1)
    scr.save(os.path.join(out_dir, 'viewer_list.png'))

    # settings panel: 7, OFF, 88.1, a right arrow and close pressed
    sk = load('panel', pf[175])
    digits = load('panel', pf[135])

    def cell(v, x, y, w=12):
        sk.paste(digits.crop((v * 12, 0, v * 12 + w, 16)), (x, y))

    sk.paste(load('panel', pf[211]), (293, 61))
    cell(7, 310, 61)
    sk.paste(load('panel', pf[183]).crop((0, 16, 44, 32)), (293, 111))
    cell(8, 293, 161)
    cell(8, 305, 161)
    sk.paste(digits.crop((120, 0, 128, 16)), (317, 161))
    cell(1, 325, 161)
    sk.paste(load('panel', pf[204]).crop((0, 35, 32, 70)), (343, 51))
    sk.paste(load('panel', pf[195]).crop((0, 27, 50, 54)), (423, 2))
    second = load('panel', pf[175])
    second.paste(load('panel', pf[211]), (293, 61))
    second.paste(digits.crop((12, 0, 24, 16)), (304, 61))
    second.paste(digits.crop((0, 0, 12, 16)), (316, 61))
    second.paste(load('panel', pf[183]).crop((0, 0, 44, 16)), (293, 111))
    second.paste(load('panel', pf[192]), (293, 161))
    second.paste(load('panel', pf[207]).crop((0, 35, 32, 70)), (255, 101))
    both = Image.new('RGB', (480, 480), (60, 60, 60))
    both.paste(sk, (0, 0))
    both.paste(second, (0, 246))
    both.save(os.path.join(out_dir, 'panel.png'))
    both.resize((960, 960), Image.NEAREST).crop((400, 0, 960, 420)).save(os.path.join(out_dir, 'panel_zoom.png'))

    # icons at four times their size, on a light and a dark ground
    sheet = Image.new('RGB', (5 * 210, 300), (230, 230, 230))
    sheet.paste((40, 40, 40), (0, 150, 5 * 210, 300))
    for i, folder in enumerate(('viewer', 'panel', 'satwake', 'darkpane', 'kickoff')):
        ico = Image.open(os.path.join(ROOT, folder, 'res', 'app.ico'))
        x = i * 210 + 8
        for sz in sorted(ico.info['sizes'], reverse=True):
            ico.size = sz
            im = ico.convert('RGBA').resize((sz[0] * 4, sz[1] * 4), Image.NEAREST)
            for row in (8, 158):
                sheet.paste(im, (x, row), im)
            x += sz[0] * 4 + 8
    sheet.save(os.path.join(out_dir, 'icons.png'))
    print('preview written to', out_dir)



# ---------------------------------------------------------------- main menu art (devicesim)
# The simulated device's main menu program: a 640 x 480 face with five tiles and a status field,
# once with every tile released (bitmap 100) and once with every tile pressed (101). The program
# blits a tile's rectangle from one or the other. Tile rectangles are shared with
# devicesim/menu/MenuLayout.h.

M_TILES = [  # (left, top, right, bottom exclusive), label, sub-label, icon painter
    ((14, 76, 210, 266), 'TV', 'DMB 방송', 'tv'),
    ((222, 76, 418, 266), '라디오', 'DAB 방송', 'radio'),
    ((430, 76, 626, 266), '환경설정', '밝기 · 디머 · FM', 'gear'),
    ((14, 280, 210, 470), 'GPS 깨우기', '위성 수신 시작', 'gps'),
    ((222, 280, 418, 470), '화면 끄기', '잠시 검은 화면', 'blank'),
]
M_STATUS = (430, 280, 626, 470)


def menu_glyph(im, kind, cx, cy, pressed):
    dark = (20, 24, 34)
    ink = INK if not pressed else (255, 250, 240)
    accent = ORANGE if not pressed else (255, 236, 200)
    blue = (28, 90, 190)
    if kind == 'tv':
        paint(im, accent, bar((cx - 14, cy - 30), (cx - 26, cy - 46), 4), bar((cx + 14, cy - 30), (cx + 26, cy - 46), 4))
        paint(im, dark, rr((cx - 48, cy - 32, cx + 50, cy + 38), 12))
        paint(im, ink, rr((cx - 50, cy - 34, cx + 48, cy + 36), 12))
        paint(im, blue, rr((cx - 42, cy - 26, cx + 40, cy + 22), 6))
        paint(im, accent, poly([(cx - 8, cy - 14), (cx - 8, cy + 10), (cx + 14, cy - 2)]))
        paint(im, dark, disc(cx + 36, cy + 29, 3))
    elif kind == 'radio':
        paint(im, accent, bar((cx + 26, cy - 24), (cx + 44, cy - 52), 4))
        paint(im, dark, rr((cx - 48, cy - 22, cx + 52, cy + 42), 12))
        paint(im, ink, rr((cx - 50, cy - 24, cx + 50, cy + 40), 12))
        paint(im, dark, disc(cx - 20, cy + 8, 22))
        paint(im, (90, 100, 122), disc(cx - 20, cy + 8, 18))
        for r in (6, 12):
            paint(im, dark, ring(cx - 20, cy + 8, r, 2))
        paint(im, blue, rr((cx + 10, cy - 12, cx + 40, cy + 4), 3))
        paint(im, accent, disc(cx + 25, cy + 22, 7))
    elif kind == 'gear':
        teeth = []
        for i in range(8):
            a = i * math.pi / 4
            teeth.append(bar((cx + 30 * math.cos(a), cy + 30 * math.sin(a)),
                             (cx + 46 * math.cos(a), cy + 46 * math.sin(a)), 14))
        paint(im, dark, disc(cx + 2, cy + 2, 36), *teeth)
        paint(im, ink, disc(cx, cy, 36), *teeth)
        paint(im, accent, disc(cx, cy, 17))
        paint(im, dark, disc(cx, cy, 9))
    elif kind == 'gps':
        paint(im, (90, 150, 240) if not pressed else ink, arc(cx + 22, cy - 28, 16, 200, 340, 5),
              arc(cx + 22, cy - 28, 30, 205, 335, 5))
        paint(im, dark, disc(cx - 8, cy - 4, 30), poly([(cx - 36, cy + 8), (cx + 20, cy + 8), (cx - 8, cy + 52)]))
        paint(im, accent, disc(cx - 8, cy - 6, 26), poly([(cx - 31, cy + 6), (cx + 15, cy + 6), (cx - 8, cy + 46)]))
        paint(im, dark, disc(cx - 8, cy - 6, 12))
        paint(im, ink, disc(cx - 8, cy - 6, 8))
    elif kind == 'blank':
        paint(im, dark, rr((cx - 48, cy - 36, cx + 50, cy + 34), 10))
        paint(im, ink, rr((cx - 50, cy - 38, cx + 48, cy + 32), 10))
        paint(im, BLACK, rr((cx - 43, cy - 31, cx + 41, cy + 25), 5))
        paint(im, ink, rr((cx - 10, cy + 32, cx + 8, cy + 40), 1), rr((cx - 26, cy + 38, cx + 24, cy + 45), 3))
        big = mask_of(im.width, im.height, disc(cx, cy - 3, 17))
        bite = mask_of(im.width, im.height, disc(cx + 9, cy - 10, 15))
        im.paste((255, 200, 60), (0, 0, im.width, im.height), ImageChops.subtract(big, bite))


def menu_face(pressed):
    w, h = 640, 480
    im = vgrad(w, h, (20, 25, 37), (10, 12, 18))
    im.paste(vgrad(w, 58, (44, 55, 82), (20, 25, 38)), (0, 0))
    d = ImageDraw.Draw(im)
    d.line([(0, 57), (w, 57)], fill=(8, 10, 15))
    d.rectangle([(0, 58), (w, 59)], fill=ORANGE)
    d.line([(0, 60), (w, 60)], fill=(8, 10, 15))
    # header: a grid mark and the title
    for i in range(4):
        x, y = 15 + (i % 2) * 16, 14 + (i // 2) * 16
        paint(im, (8, 10, 15), rr((x + 1, y + 1, x + 15, y + 15), 3))
        paint(im, ORANGE if i == 0 else INK, rr((x, y, x + 14, y + 14), 3))
    text(im, (58, 30), '기본메뉴', font(30), anchor='lm')
    text(im, (626, 30), 'DMB · DAB · GPS', font(14, bold=False), colour=INK_DIM, shadow=None, anchor='rm')
    big, small = font(28), font(15, bold=False)
    for box, label, sub, kind in M_TILES:
        x0, y0, x1, y1 = box
        paint(im, (4, 5, 8), rr((x0, y0 + 3, x1, y1 + 3), 16))
        body(im, box, 16, 'press' if pressed else 'btn')
        cx = (x0 + x1) // 2
        dy = 1 if pressed else 0
        menu_glyph(im, kind, cx, y0 + 70 + dy, pressed)
        text(im, (cx, y0 + 140 + dy), label, big, shadow=(110, 50, 0) if pressed else INK_SHADOW)
        text(im, (cx, y0 + 168 + dy), sub, small, colour=(255, 232, 200) if pressed else INK_DIM, shadow=None)
    recess(im, M_STATUS, 14, SECTION)
    text(im, (M_STATUS[0] + 18, M_STATUS[1] + 24), '수신 상태', font(18), colour=INK_DIM, anchor='lm')
    d.line([(M_STATUS[0] + 16, M_STATUS[1] + 42), (M_STATUS[2] - 16, M_STATUS[1] + 42)], fill=SECTION_EDGE)
    return im


def icon_menu():
    im = icon_canvas()
    for i in range(4):
        x, y = 8 + (i % 2) * 60, 8 + (i // 2) * 60
        ipaint(im, (20, 24, 34), rr((x, y, x + 52, y + 52), 12))
        ipaint(im, (255, 150, 30) if i == 0 else (190, 198, 214), rr((x + 4, y + 4, x + 48, y + 48), 9))
    return im


def menu_art():
    rs = ResourceSet(os.path.join('devicesim', 'menu'), 'MainMenuRes.h')
    rs.bitmap(100, 'menu_released', menu_face(False))
    rs.bitmap(101, 'menu_pressed', menu_face(True))
    rs.wave(102, 'click', click(496, 2000.0, 3300.0, 0.0062))
    rs.icon(icon_menu, (32, 16))
    rs.write()
    for rid, fname, _, _ in rs.bitmaps:
        assert read_bmp_header(os.path.join(rs.dir, fname)) == (640, 480, 8), fname
    released = load(os.path.join('devicesim', 'menu'), 'menu_released100.bmp')
    pressed = load(os.path.join('devicesim', 'menu'), 'menu_pressed101.bmp')
    # Outside the tiles both faces are the same picture, so a tile blit leaves no seam.
    outside = Image.new('L', released.size, 255)
    for box, _, _, _ in M_TILES:
        outside.paste(0, (box[0], box[1], box[2], box[3] + 3))
    diff = ImageChops.difference(released, pressed).convert('L').point(lambda v: 255 if v else 0)
    assert ImageChops.multiply(diff, outside).getbbox() is None, 'menu faces differ outside the tiles'
    return rs

def main():
    for path in ('/usr/share/fonts/truetype/nanum/NanumBarunGothicBold.ttf',):
        if not os.path.exists(path):
            sys.exit('missing font %s (package fonts-nanum)' % path)
    if len(sys.argv) >= 2 and sys.argv[1] == '--menu':
        menu_art()   # only the simulated device's main menu; the programs' art stays as it is
        if len(sys.argv) == 3:
            menu_face(False).save(os.path.join(sys.argv[2], 'menu_released.png'))
            menu_face(True).save(os.path.join(sys.argv[2], 'menu_pressed.png'))
        return
    viewer = viewer_art()
    panel = panel_art()
    smalls = small_programs()
    check(viewer, panel, smalls)
    if len(sys.argv) == 3 and sys.argv[1] == '--preview':
        preview(sys.argv[2], viewer, panel)


if __name__ == '__main__':
    main()
