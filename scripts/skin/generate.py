#!/usr/bin/python3
"""Draws the window's skin pictures, the program icon and the desktop icons into res/.

Everything is drawn twice: at its own size, and again at twice the size for screens that show
windows at twice theirs (res/skin@2x/, res/icon_128@2x.ico, the hicolor SIZE@2 folders). The
second drawing is made from the same shapes and fonts at the larger size, never by enlarging the
first, so that edges and text stay sharp.

The output is committed, so building needs neither this script nor its fonts. Run it again
after changing a look and commit what it writes:

    /usr/bin/python3 scripts/skin/generate.py            # writes into res/
    /usr/bin/python3 scripts/skin/generate.py --out DIR  # writes elsewhere (to compare)

Needs Debian's python3-pil and fonts-noto-cjk. The result depends only on those, so the same
versions give the same bytes.
"""

import argparse
import math
import os
import struct
import subprocess

from PIL import Image, ImageDraw, ImageFilter, ImageFont

WIDTH, HEIGHT = 358, 327
BAR_HEIGHT = 24

BAR_GREY = (62, 62, 62)
OLIVE = (74, 69, 42)           # settings plate and the SSID frame share it
WINE = (74, 50, 60)
MAUVE = (125, 108, 115)
DISABLED_GREY = (69, 69, 69)
DISABLED_TEXT = (169, 169, 169)
GOLD = (131, 119, 80)
DARK_GOLD = (96, 88, 64)
LIGHT_GREY = (199, 199, 199)
GLYPH_OUTLINE = (24, 24, 22)

MINIMIZE_X, CLOSE_X, GLYPH_W = 307, 330, 18
BUTTON_X, BUTTON_Y, BUTTON_W, BUTTON_H = 99, 123, 160, 58
GROOVE = (99, 181, 259, 196)   # inclusive columns and rows
FRAME = (99, 252, 258, 272)    # inclusive columns and rows
FRAME_RADIUS = 4

SS = 4  # supersampling factor for antialiased shapes

CAPTION = "設定画面へ"
WORD_MARK = "velmor"


# ---------------------------------------------------------------- helpers

def font_file(pattern):
    out = subprocess.run(["fc-match", "-f", "%{file}|%{index}", pattern],
                         check=True, capture_output=True, text=True).stdout
    path, index = out.split("|")
    return path, int(index)


def font(pattern, size):
    path, index = font_file(pattern)
    return ImageFont.truetype(path, size, index=index)


def mix(a, b, t):
    """Colour a moved towards b by t (0..1)."""
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def scale(c, f):
    return tuple(max(0, min(255, int(round(v * f)))) for v in c)


def coverage(size, draw_fn, k, ss=SS):
    """An 8-bit coverage mask of size (w, h) drawn at k times that size: draw_fn draws white on
    a supersampled canvas, in coordinates of size's pixels multiplied by the factor it is
    given."""
    w, h = size
    hi = Image.new("L", (w * k * ss, h * k * ss), 0)
    draw_fn(ImageDraw.Draw(hi), ss * k)
    return hi.reduce(ss)


def centres(length, k):
    """For each pixel along a length drawn at k times the size: where its centre lies in the
    pixels of the original size (those pixels themselves at k = 1)."""
    return [(y + 0.5) / k - 0.5 if k > 1 else y for y in range(length * k)]


def band(d, box, fill, k):
    """Fills the pixels (x0, y0) to (x1, y1), both inclusive, of the original size: at k times
    the size, the lines they make are k pixels wide."""
    x0, y0, x1, y1 = box
    d.rectangle((x0 * k, y0 * k, (x1 + 1) * k - 1, (y1 + 1) * k - 1), fill=fill)


def paint(img, mask, colour, offset=(0, 0)):
    """Composites a flat colour through an 8-bit mask onto an RGB image."""
    layer = Image.new("RGB", mask.size, colour)
    img.paste(layer, offset, mask)


def paint_alpha(img, mask, colour, alpha, offset=(0, 0)):
    paint(img, mask.point(lambda v: int(round(v * alpha))), colour, offset)


def rounded(box, radius):
    """Draw function for a filled rounded rectangle; box holds pixel edges (x0, y0, x1, y1),
    x1/y1 exclusive."""
    x0, y0, x1, y1 = box

    def fn(d, s):
        d.rounded_rectangle((x0 * s, y0 * s, x1 * s - 1, y1 * s - 1), radius=radius * s, fill=255)
    return fn


def text_mask(size, text, fnt, centre, k):
    """Coverage of text drawn centred on centre (x, y) in an image of size, both drawn at k times
    the size (fnt is already k times its size); the text's ink box, not its line box, is centred
    so that glyphs without descenders sit in the middle."""
    m = Image.new("L", (size[0] * k, size[1] * k), 0)
    d = ImageDraw.Draw(m)
    l, t, r, b = d.textbbox((0, 0), text, font=fnt)
    x = centre[0] * k - (l + r) / 2
    y = centre[1] * k - (t + b) / 2
    d.text((x, y), text, font=fnt, fill=255)
    return m


def write_bmp(path, img):
    """A 24-bit bottom-up uncompressed BMP with a file header, rows padded to 4 bytes."""
    img = img.convert("RGB")
    w, h = img.size
    stride = (w * 3 + 3) & ~3
    pad = b"\0" * (stride - w * 3)
    px = img.load()
    rows = []
    for y in range(h - 1, -1, -1):
        row = bytearray()
        for x in range(w):
            r, g, b = px[x, y]
            row += bytes((b, g, r))
        rows.append(bytes(row) + pad)
    data = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


# ---------------------------------------------------------------- the program's emblem

def draw_icon(size):
    """The round emblem: a black disc, a thin white ring and the white word mark. RGBA."""
    ss = 16 if size <= 32 else 8 if size <= 64 else 4
    big = size * ss
    img = Image.new("RGBA", (big, big), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    c = big / 2
    r = big / 2 - ss * 0.25
    d.ellipse((c - r, c - r, c + r, c + r), fill=(0, 0, 0, 255))
    # The ring stays at least one pixel wide, so it survives at 16 px.
    ring_w = max(1.0, size * 0.045) * ss
    ring_r = r - max(1.0, size * 0.07) * ss
    d.ellipse((c - ring_r, c - ring_r, c + ring_r, c + ring_r), outline=(255, 255, 255, 255),
              width=int(round(ring_w)))
    # Small sizes carry only the initial; from 32 px the two-letter mark is legible.
    mark = "v" if size < 32 else "vm"
    fnt = font("Noto Sans CJK JP:bold", int(big * (0.62 if mark == "v" else 0.40)))
    l, t, rr, b = d.textbbox((0, 0), mark, font=fnt)
    d.text((c - (l + rr) / 2, c - (t + b) / 2 - big * 0.01), mark, font=fnt, fill=(255, 255, 255, 255))
    return img.resize((size, size), Image.LANCZOS if ss <= 4 else Image.BOX)


def write_ico(path, sizes):
    """One icon file: each size once in 32-bit colour with alpha and once in 24-bit colour,
    both as DIB entries with an AND mask."""
    images = []
    for bits in (32, 24):
        for s in sizes:
            images.append((s, bits, ico_dib(draw_icon(s), bits)))
    head = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, blobs = b"", b""
    for s, bits, dib in images:
        entries += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, bits, len(dib), offset)
        blobs += dib
        offset += len(dib)
    with open(path, "wb") as f:
        f.write(head + entries + blobs)


def ico_dib(img, bits):
    w, h = img.size
    px = img.load()
    stride = ((w * bits // 8) + 3) & ~3
    mask_stride = ((w + 31) // 32) * 4
    colour, mask = b"", b""
    for y in range(h - 1, -1, -1):
        row = bytearray()
        mrow = bytearray(mask_stride)
        for x in range(w):
            r, g, b, a = px[x, y]
            transparent = a < 128
            if transparent:
                mrow[x // 8] |= 0x80 >> (x % 8)
            if bits == 32:
                row += bytes((b, g, r, a))
            elif transparent:
                row += b"\0\0\0"
            else:
                row += bytes((b, g, r))
        colour += bytes(row) + b"\0" * (stride - len(row))
        mask += bytes(mrow)
    info = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, bits, 0, len(colour) + len(mask), 0, 0, 0, 0)
    return info + colour + mask


# ---------------------------------------------------------------- top bar and its glyphs

def draw_bar(k):
    """The bare top bar, rows 0..23, full width."""
    bar = Image.new("RGB", (WIDTH * k, BAR_HEIGHT * k))
    d = ImageDraw.Draw(bar)
    for y in range(BAR_HEIGHT):
        # A faint vertical falloff around the bar grey, lit from above.
        if y == 0:
            c = (78, 78, 78)
        elif y == BAR_HEIGHT - 1:
            c = (40, 40, 40)
        else:
            c = scale(BAR_GREY, 1.05 - 0.10 * (y - 1) / (BAR_HEIGHT - 3))
        band(d, (0, y, WIDTH - 1, y), c, k)
    band(d, (0, 0, 0, BAR_HEIGHT - 1), (36, 36, 36), k)
    band(d, (WIDTH - 1, 0, WIDTH - 1, BAR_HEIGHT - 1), (36, 36, 36), k)
    return bar


def minimize_shape(d, s):
    d.rectangle((4 * s, 15 * s, 14 * s - 1, 17 * s - 1), fill=255)


def close_shape(d, s):
    w = int(2.1 * s)
    a, b = 5 * s, 13 * s
    top, bottom = 8 * s, 16 * s
    d.line((a, top, b, bottom), fill=255, width=w)
    d.line((b, top, a, bottom), fill=255, width=w)


def draw_glyph(bar, x, shape, colour, outline, k):
    tile = bar.crop((x * k, 0, (x + GLYPH_W) * k, BAR_HEIGHT * k))
    size = (GLYPH_W, BAR_HEIGHT)
    if outline:
        hi = Image.new("L", (size[0] * SS * k, size[1] * SS * k), 0)
        shape(ImageDraw.Draw(hi), SS * k)
        ring = hi.filter(ImageFilter.MaxFilter(2 * SS * k + 1)).reduce(SS)
        paint(tile, ring, GLYPH_OUTLINE)
    paint(tile, coverage(size, shape, k), colour)
    return tile


# ---------------------------------------------------------------- the background

def panel_value(x, y, stripe_row):
    """Light grey with fine stripes and a soft highlight in the middle."""
    stripe = 3 if stripe_row % 3 == 0 else 0
    dx = (x - WIDTH / 2) / 150.0
    dy = (y - 160) / 115.0
    glow = 26 * math.exp(-(dx * dx + dy * dy))
    return 204 - stripe + glow


def draw_background(bar, glyph_minimize, glyph_close, k):
    img = Image.new("RGB", (WIDTH * k, HEIGHT * k))
    px = img.load()
    xs = centres(WIDTH, k)
    ys = centres(HEIGHT, k)
    for y in range(BAR_HEIGHT * k, HEIGHT * k):
        for x in range(WIDTH * k):
            v = panel_value(xs[x], ys[y], y // k)
            px[x, y] = (int(v + 1), int(v), int(v - 3))
    img.paste(bar, (0, 0))
    img.paste(glyph_minimize, (MINIMIZE_X * k, 0))
    img.paste(glyph_close, (CLOSE_X * k, 0))

    d = ImageDraw.Draw(img)
    # A thin gold rule under the bar, and a quiet edge around the panel so the borderless
    # window stands apart from a light desktop.
    band(d, (0, BAR_HEIGHT, WIDTH - 1, BAR_HEIGHT), scale(GOLD, 0.9), k)
    band(d, (0, BAR_HEIGHT + 1, WIDTH - 1, BAR_HEIGHT + 1), (150, 148, 140), k)
    edge = (118, 117, 112)
    band(d, (0, BAR_HEIGHT, 0, HEIGHT - 1), edge, k)
    band(d, (WIDTH - 1, BAR_HEIGHT, WIDTH - 1, HEIGHT - 1), edge, k)
    band(d, (0, HEIGHT - 1, WIDTH - 1, HEIGHT - 1), edge, k)

    emblem = draw_icon(17 * k)
    img.paste(emblem, (4 * k, 3 * k), emblem)

    draw_groove(img, k)
    draw_frame(img, k)
    draw_word_mark(img, k)
    return img


def gradient(size, top, bottom, k, curve=lambda t: t):
    """Rows from top to bottom, the colour of each set by where its centre lies."""
    w, h = size
    fill = Image.new("RGB", (w * k, h * k))
    fd = ImageDraw.Draw(fill)
    for y, centre in enumerate(centres(h, k)):
        t = min(max(centre / (h - 1), 0.0), 1.0)
        fd.line((0, y, w * k - 1, y), fill=mix(top, bottom, curve(t)))
    return fill


def draw_groove(img, k):
    x0, y0, x1, y1 = GROOVE
    w, h = x1 - x0 + 1, y1 - y0 + 1
    region = img.crop((x0 * k, y0 * k, (x0 + w) * k, (y0 + h) * k))
    # The slot the button rests in: shaded where the plate overhangs it, lit along its lower lip.
    shape = coverage((w, h), lambda d, s: d.rounded_rectangle(
        (0, -8 * s, w * s - 1, h * s - 1), radius=7 * s, fill=255), k)
    region.paste(gradient((w, h), (146, 144, 138), (200, 199, 194), k, lambda t: t ** 0.6), (0, 0), shape)
    lip = coverage((w, h), lambda d, s: d.rounded_rectangle(
        (0, -8 * s, w * s - 1, h * s - 1), radius=7 * s, outline=255, width=s), k)
    none = Image.new("L", lip.size, 0)
    bottom_only = none.copy()
    band(ImageDraw.Draw(bottom_only), (0, h // 2, w - 1, h - 1), 255, k)
    lip_low = Image.composite(lip, none, bottom_only)
    paint(region, lip_low, (236, 235, 231))
    lip_sides = Image.composite(none, lip, bottom_only)
    paint(region, lip_sides, (160, 158, 152))
    img.paste(region, (x0 * k, y0 * k))


def draw_frame(img, k):
    x0, y0, x1, y1 = FRAME
    w, h = x1 - x0 + 1, y1 - y0 + 1
    region = img.crop((x0 * k, y0 * k, (x0 + w) * k, (y0 + h) * k))
    outer = rounded((0, 0, w, h), FRAME_RADIUS)
    inner = rounded((1, 1, w - 1, h - 1), FRAME_RADIUS - 1)
    region.paste(gradient((w, h), (236, 234, 226), (248, 247, 242), k), (0, 0), coverage((w, h), inner, k))
    hi = Image.new("L", (w * SS * k, h * SS * k), 0)
    outer(ImageDraw.Draw(hi), SS * k)
    hole = Image.new("L", hi.size, 0)
    inner(ImageDraw.Draw(hole), SS * k)
    ring = Image.composite(Image.new("L", hi.size, 0), hi, hole).reduce(SS)
    paint(region, ring, OLIVE)
    img.paste(region, (x0 * k, y0 * k))
    # A one-pixel light line under the frame makes it sit in the panel rather than on it.
    band(ImageDraw.Draw(img), (x0 + FRAME_RADIUS, y1 + 1, x1 - FRAME_RADIUS, y1 + 1), (232, 231, 226), k)


def draw_word_mark(img, k):
    fnt = font("Noto Sans CJK JP:bold", 15 * k)
    size = (96, 24)
    origin = (WIDTH - size[0] - 8, HEIGHT - size[1] - 5)
    region = img.crop((origin[0] * k, origin[1] * k, (origin[0] + size[0]) * k, (origin[1] + size[1]) * k))
    d = ImageDraw.Draw(Image.new("L", size))
    l, t, r, b = d.textbbox((0, 0), WORD_MARK, font=fnt)
    text_w = (r - l) if k == 1 else (r - l) / k
    # The mark: a small ring that the last letter leans against, then the name, pressed into
    # the panel (a light edge below, the ink above).
    ring_d = 9
    total = ring_d + 4 + text_w
    x = size[0] - total - 2
    cy = size[1] / 2

    def mark(dd, s, dy):
        dd.ellipse(((x) * s, (cy - ring_d / 2 + dy) * s, (x + ring_d) * s, (cy + ring_d / 2 + dy) * s),
                   outline=255, width=int(1.6 * s))
        dd.ellipse(((x + 3) * s, (cy - 1.5 + dy) * s, (x + 6) * s, (cy + 1.5 + dy) * s), fill=255)

    paint(region, coverage(size, lambda dd, s: mark(dd, s, 1), k), (236, 235, 231))
    paint(region, coverage(size, lambda dd, s: mark(dd, s, 0), k), (150, 147, 138))
    tx = x + ring_d + 4 + text_w / 2
    paint(region, text_mask(size, WORD_MARK, fnt, (tx, cy + 1), k), (236, 235, 231))
    paint(region, text_mask(size, WORD_MARK, fnt, (tx, cy), k), (150, 147, 138))
    img.paste(region, (origin[0] * k, origin[1] * k))


# ---------------------------------------------------------------- the settings button

def draw_plate(background, base, caption_colour, k, pressed=False, flat=False):
    """The settings button's picture: a glossy rounded plate over the panel behind it."""
    w, h = BUTTON_W, BUTTON_H
    img = background.crop((BUTTON_X * k, BUTTON_Y * k, (BUTTON_X + w) * k, (BUTTON_Y + h) * k))
    radius = 11
    outline = coverage((w, h), rounded((0, 0, w, h), radius), k)
    body_box = (1, 1, w - 1, h - 1)
    body = coverage((w, h), rounded(body_box, radius - 1), k)

    paint(img, outline, scale(base, 0.55))

    top, bottom = (mix(base, (255, 255, 255), 0.10), scale(base, 0.88))
    if pressed:
        top, bottom = scale(base, 0.82), mix(base, (255, 255, 255), 0.06)
    img.paste(gradient((w, h), top, bottom, k), (0, 0), body)

    # The gloss: a lighter cap over the upper half, strongest at its top edge.
    gloss_box = (3, 2, w - 3, h // 2)
    gloss_shape = coverage((w, h), rounded(gloss_box, radius - 3), k)
    strength = 0.10 if flat else (0.16 if pressed else 0.30)
    fade = Image.new("L", (w * k, h * k), 0)
    fdd = ImageDraw.Draw(fade)
    row_at = centres(h, k)
    for y in range(gloss_box[1] * k, gloss_box[3] * k):
        t = max(row_at[y] - gloss_box[1], 0.0) / (gloss_box[3] - gloss_box[1])
        fdd.line((0, y, w * k - 1, y), fill=int(255 * strength * (1.0 - 0.75 * t)))
    gloss = Image.composite(fade, Image.new("L", (w * k, h * k), 0), gloss_shape)
    paint(img, gloss, (255, 255, 255))

    # A lit inner rim along the top, a shaded one along the bottom.
    rim_top = coverage((w, h), lambda d, s: d.line((radius * s, 1.5 * s, (w - radius) * s, 1.5 * s),
                                                   fill=255, width=s), k)
    paint_alpha(img, rim_top, (255, 255, 255), 0.10 if pressed else 0.35)
    rim_bottom = coverage((w, h), lambda d, s: d.line((radius * s, (h - 1.5) * s, (w - radius) * s, (h - 1.5) * s),
                                                      fill=255, width=s), k)
    paint_alpha(img, rim_bottom, (0, 0, 0), 0.25)

    fnt = font("Noto Sans CJK JP:bold", 21 * k)
    centre = (w / 2, h / 2 + (1 if pressed else 0))
    if not flat:
        shadow = text_mask((w, h), CAPTION, fnt, (centre[0], centre[1] + 1), k)
        paint_alpha(img, shadow, (0, 0, 0), 0.45)
    paint(img, text_mask((w, h), CAPTION, fnt, centre, k), caption_colour)
    return img


# ---------------------------------------------------------------- output

def generate_skin(folder, k):
    """The background, the glyphs and the button faces, drawn at k times their size."""
    os.makedirs(folder, exist_ok=True)

    bar = draw_bar(k)
    glyphs = {}
    for ids, x, shape in (((165, 166, 167), MINIMIZE_X, minimize_shape),
                          ((168, 169, 170), CLOSE_X, close_shape)):
        pressed, hover, normal = ids
        glyphs[pressed] = draw_glyph(bar, x, shape, DARK_GOLD, True, k)
        glyphs[hover] = draw_glyph(bar, x, shape, GOLD, False, k)
        glyphs[normal] = draw_glyph(bar, x, shape, LIGHT_GREY, False, k)

    background = draw_background(bar, glyphs[167], glyphs[170], k)
    write_bmp(os.path.join(folder, "bitmap_132.bmp"), background)
    for gid, tile in glyphs.items():
        write_bmp(os.path.join(folder, f"bitmap_{gid}.bmp"), tile)

    plates = {
        171: draw_plate(background, MAUVE, (255, 255, 255), k, pressed=True),
        172: draw_plate(background, DISABLED_GREY, DISABLED_TEXT, k, flat=True),
        173: draw_plate(background, WINE, (255, 255, 255), k),
        174: draw_plate(background, OLIVE, (255, 255, 255), k),
    }
    for pid, plate in plates.items():
        write_bmp(os.path.join(folder, f"bitmap_{pid}.bmp"), plate)


def generate(out):
    generate_skin(os.path.join(out, "skin"), 1)
    generate_skin(os.path.join(out, "skin@2x"), 2)

    write_ico(os.path.join(out, "icon_128.ico"), (48, 32, 24, 16))
    # At twice the size, 24 and 16 pixels are the 48 and 32 that the first file already holds.
    write_ico(os.path.join(out, "icon_128@2x.ico"), (96, 64))

    for s in (16, 24, 32, 48, 128, 256):
        for k, name in ((1, f"{s}x{s}"), (2, f"{s}x{s}@2")):
            folder = os.path.join(out, "icons", "hicolor", name, "apps")
            os.makedirs(folder, exist_ok=True)
            draw_icon(s * k).save(os.path.join(folder, "velmor-manager.png"), optimize=True)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default=os.path.normpath(os.path.join(here, "..", "..", "res")),
                        help="folder to write into (default: the project's res/)")
    args = parser.parse_args()
    generate(args.out)


if __name__ == "__main__":
    main()
