#!/usr/bin/python3
"""Draw the artwork of Tamsel's MP3 Player from scratch.

Everything under src/app/images/ is produced by this script:

  background.jpg   709 x 709  black window background with a dark blue glow
  banner.jpg       427 x 62   title lettering on a dark starburst
  close.gif         33 x 20   "close" button
  play_stop.gif     70 x 22   "play & stop" button
  save_tag.gif      50 x 20   "save tag" button
  iconN.png                   window / desktop icon (a note on a blue tile), N x N pixels
                              for N in 16, 22, 24, 32, 48, 64, 128 and 256
  icon.svg                    the same icon, scalable

Each picture also comes drawn at twice its size for screens with two device pixels to a
window pixel, named as Qt names such pictures (background@2x.jpg, ...): every length of the
design is doubled and the result drawn afresh, so its lettering is as sharp as the 1x one.

Only Pillow and the Debian fonts (fonts-liberation2, fonts-dejavu) are
needed. The output is deterministic, so re-running it gives identical
files. Re-run from the repository root with:

    /usr/bin/python3 tools/make_artwork.py
"""

import math
import os
import sys

from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont

REPO_ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT_DIR = os.path.join(REPO_ROOT, "src", "app", "images")

FONT_DIRS = (
    "/usr/share/fonts/truetype/liberation2",
    "/usr/share/fonts/truetype/liberation",
    "/usr/share/fonts/truetype/dejavu",
)

TITLE = "TAMSEL'S MP3 PLAYER"

# Button colours: a light grey face with blue lettering.
BUTTON_FACE = (212, 212, 212)
BUTTON_TEXT = (18, 38, 170)
BUTTON_BORDER = (72, 78, 96)
BUTTON_LIGHT = (250, 250, 250)
BUTTON_SHADOW = (150, 152, 160)
# Colour behind the transparent corner pixels. It is never used for a
# visible pixel, and it is black so that a viewer ignoring transparency
# still shows corners that blend into the dark window.
GIF_TRANSPARENT = (0, 0, 0)

# 4x4 ordered-dither matrix, used to keep the dark gradients free of banding
# without any randomness.
BAYER4 = (
    (0, 8, 2, 10),
    (12, 4, 14, 6),
    (3, 11, 1, 9),
    (15, 7, 13, 5),
)


# ---------------------------------------------------------------- helpers

def load_font(filename, size):
    """Load a TrueType font from the usual Debian font folders."""
    for folder in FONT_DIRS:
        path = os.path.join(folder, filename)
        if os.path.exists(path):
            return ImageFont.truetype(path, size)
    sys.exit("font not found: %s (install fonts-liberation2 / fonts-dejavu)"
             % filename)


def clamp(value, low=0.0, high=1.0):
    return max(low, min(high, value))


def smoothstep(edge0, edge1, x):
    t = clamp((x - edge0) / (edge1 - edge0))
    return t * t * (3.0 - 2.0 * t)


def mix(c0, c1, t):
    """Linear blend of two RGB tuples (floats out)."""
    return tuple(a + (b - a) * t for a, b in zip(c0, c1))


def dithered(color, x, y):
    """Quantise a float RGB colour to bytes with ordered dithering."""
    threshold = (BAYER4[y & 3][x & 3] + 0.5) / 16.0
    return tuple(int(clamp(c + threshold, 0, 255.0)) for c in color)


def tint(mask, color):
    """An RGB image of `color`, scaled by the L-mode `mask`."""
    solid = Image.new("RGB", mask.size, color)
    return ImageChops.multiply(solid, Image.merge("RGB", (mask,) * 3))


def scale_mask(mask, factor):
    """Multiply an L-mode mask by a constant factor."""
    return mask.point(lambda v: int(clamp(v * factor, 0, 255)))


def out_path(name):
    return os.path.join(OUT_DIR, name)


# ------------------------------------------------------------- background

def make_background(scale):
    """Black, with a soft dark blue glow in the visible part of the window."""
    width = height = 709 * scale
    cx, cy = 480.0 * scale, 250.0 * scale
    core = (14, 30, 84)      # colour at the centre of the glow
    haze = (4, 9, 26)        # faint wide halo around it
    image = Image.new("RGB", (width, height))
    pixels = []
    for y in range(height):
        dy = y - cy
        for x in range(width):
            dx = x - cx
            # Slightly wider than tall, like light spreading along the window.
            d_core = (dx / (190.0 * scale)) ** 2 + (dy / (165.0 * scale)) ** 2
            d_haze = (dx / (420.0 * scale)) ** 2 + (dy / (330.0 * scale)) ** 2
            k_core = math.exp(-d_core)
            k_haze = math.exp(-d_haze)
            color = tuple(c * k_core + h * k_haze for c, h in zip(core, haze))
            pixels.append(dithered(color, x, y))
    image.putdata(pixels)
    return image


# ----------------------------------------------------------------- banner

def starburst(size, centre, rays=28):
    """Dark blue rays fanning out from `centre`, fading towards the edges."""
    width, height = size
    cx, cy = centre
    dark = (1, 2, 8)
    ray = (10, 26, 72)
    image = Image.new("RGB", size)
    pixels = []
    for y in range(height):
        for x in range(width):
            dx, dy = x - cx, (y - cy) * 2.2   # flatten: the banner is wide
            angle = math.atan2(dy, dx)
            wave = 0.5 + 0.5 * math.cos(angle * rays)
            stripe = smoothstep(0.35, 0.65, wave)
            dist = math.hypot(dx, dy) / (width * 0.55)
            fade = 1.0 - smoothstep(0.05, 1.0, dist)
            color = mix(dark, ray, stripe * (0.35 + 0.65 * fade))
            # A little light where the rays come from.
            glow = math.exp(-(dist / 0.22) ** 2) * 22.0
            color = (color[0] + glow * 0.3, color[1] + glow * 0.7,
                     color[2] + glow * 1.4)
            pixels.append(dithered(color, x, y))
    image.putdata(pixels)
    return image


def title_mask(size, font, tracking, baseline_y):
    """The title as an L-mode mask, centred horizontally, letter-spaced."""
    advances = [font.getlength(ch) for ch in TITLE]
    total = sum(advances) + tracking * (len(TITLE) - 1)
    mask = Image.new("L", size, 0)
    draw = ImageDraw.Draw(mask)
    x = (size[0] - total) / 2.0
    for ch, advance in zip(TITLE, advances):
        draw.text((x, baseline_y), ch, font=font, fill=255, anchor="ls")
        x += advance + tracking
    return mask


def chrome_fill(size, top, bottom):
    """Vertical metallic gradient for the letters between rows top..bottom."""
    stops = (
        (0.00, (255, 255, 255)),
        (0.45, (196, 236, 255)),
        (0.52, (70, 150, 235)),    # the 'horizon' line of the chrome
        (0.75, (120, 200, 255)),
        (1.00, (215, 245, 255)),
    )
    fill = Image.new("RGB", size)
    draw = ImageDraw.Draw(fill)
    for y in range(size[1]):
        t = clamp((y - top) / float(bottom - top))
        for (t0, c0), (t1, c1) in zip(stops, stops[1:]):
            if t <= t1:
                color = mix(c0, c1, (t - t0) / (t1 - t0))
                break
        draw.line([(0, y), (size[0], y)], fill=tuple(int(c) for c in color))
    return fill


def edge_fade(size, margin):
    """RGB multiplier that darkens the outer `margin` pixels of an image,
    so the banner melts into the black window instead of ending in a seam."""
    width, height = size
    column = Image.new("L", (width, 1))
    column.putdata([int(255 * smoothstep(0, margin, min(x, width - 1 - x)))
                    for x in range(width)])
    row_margin = margin // 3
    row = Image.new("L", (1, height))
    row.putdata([int(255 * (0.55 + 0.45 * smoothstep(
        0, row_margin, min(y, height - 1 - y)))) for y in range(height)])
    fade = ImageChops.multiply(column.resize(size), row.resize(size))
    return Image.merge("RGB", (fade,) * 3)


def make_banner(scale):
    """The program title in glowing chrome capitals on a starburst."""
    size = (427 * scale, 62 * scale)
    ss = 4 * scale                  # supersampled pixels to a pixel of the 1x design
    big = (427 * ss, 62 * ss)

    background = starburst(big, (big[0] / 2.0, big[1] * 0.55))

    font = load_font("LiberationSans-BoldItalic.ttf", 31 * ss)
    baseline = 42 * ss
    letters = title_mask(big, font, 1.5 * ss, baseline)
    outline = letters.filter(ImageFilter.MaxFilter(2 * ss + 1))

    # Outer glow: a wide soft blue halo plus a tighter cyan one.
    wide = scale_mask(outline.filter(ImageFilter.GaussianBlur(9 * ss)), 1.1)
    tight = scale_mask(outline.filter(ImageFilter.GaussianBlur(3 * ss)), 1.2)
    image = ImageChops.add(background, tint(wide, (16, 70, 230)))
    image = ImageChops.add(image, tint(tight, (40, 190, 255)))
    image = ImageChops.multiply(image, edge_fade(big, 18 * ss))

    # Dark rim, then the chrome letters themselves.
    image.paste((2, 14, 48), (0, 0), outline)
    cap_top = baseline + font.getbbox("T", anchor="ls")[1]   # bbox top < 0
    fill = chrome_fill(big, cap_top, baseline)
    image.paste(fill, (0, 0), letters)

    return image.resize(size, Image.Resampling.LANCZOS)


# ---------------------------------------------------------------- buttons

def button_face(size, scale):
    """Light grey bevelled button with 1-pixel rounded corners (RGB), `size` in pixels of
    the 1x design, drawn with `scale` pixels to each of them."""
    w, h = size
    image = Image.new("RGB", (w * scale, h * scale), BUTTON_FACE)
    draw = ImageDraw.Draw(image)

    def band(x0, y0, x1, y1, color):
        """The design pixels x0..x1, y0..y1 (inclusive) in one colour."""
        draw.rectangle([x0 * scale, y0 * scale, (x1 + 1) * scale - 1, (y1 + 1) * scale - 1],
                       fill=color)

    # Gentle vertical shading so the face does not look flat.
    first, last = 2 * scale, (h - 2) * scale - 1
    for y in range(first, last + 1):
        t = (y - first) / float(max(1, last - first))
        shade = int(round(8 - 14 * t))
        grey = tuple(c + shade for c in BUTTON_FACE)
        draw.line([(2 * scale, y), ((w - 2) * scale - 1, y)], fill=grey)
    # Bevel: highlight on the top/left, shadow on the bottom/right.
    band(1, 1, w - 2, 1, BUTTON_LIGHT)
    band(1, 1, 1, h - 2, BUTTON_LIGHT)
    band(2, h - 2, w - 2, h - 2, BUTTON_SHADOW)
    band(w - 2, 2, w - 2, h - 2, BUTTON_SHADOW)
    # Outer border, leaving the corner pixels for transparency.
    band(1, 0, w - 2, 0, BUTTON_BORDER)
    band(1, h - 1, w - 2, h - 1, BUTTON_BORDER)
    band(0, 1, 0, h - 2, BUTTON_BORDER)
    band(w - 1, 1, w - 1, h - 2, BUTTON_BORDER)
    return image


def button_label(image, text, font):
    """Draw the label centred on the face, snapped to whole pixels."""
    w, h = image.size
    left, top, right, bottom = font.getbbox(text)
    x = (w - (right - left)) // 2 - left
    # Centre the x-height band; descenders are allowed to hang lower.
    x_top = font.getbbox("x")[1]
    x_bottom = font.getbbox("x")[3]
    y = (h - (x_bottom - x_top)) // 2 - x_top
    draw = ImageDraw.Draw(image)
    draw.text((x, y), text, font=font, fill=BUTTON_TEXT)


def to_transparent_gif(image, scale):
    """Palette image with the four corner pixels of the design in the transparent colour."""
    w, h = image.size
    colors = sorted(set(image.getdata()))
    if len(colors) > 255:
        # Finer lettering blends into more shades than a GIF holds: 255 stand in for them.
        image = image.quantize(255, method=Image.Quantize.MEDIANCUT,
                               dither=Image.Dither.NONE).convert("RGB")
        colors = sorted(set(image.getdata()))
    if GIF_TRANSPARENT in colors:
        raise ValueError("transparent key colour is used by the artwork")
    palette = [GIF_TRANSPARENT] + colors            # index 0 is transparent
    index = {c: i for i, c in enumerate(palette)}
    result = Image.new("P", image.size)
    result.putdata([index[c] for c in image.getdata()])
    for left, top in ((0, 0), (w - scale, 0), (0, h - scale), (w - scale, h - scale)):
        result.paste(0, (left, top, left + scale, top + scale))
    flat = [v for c in palette for v in c]
    result.putpalette(flat + [0] * (768 - len(flat)))
    result.info["transparency"] = 0
    return result


def make_button(text, size, scale):
    # The condensed DejaVu bold keeps "close" clear of the bevel at 33 px
    # and stays sharper than Liberation at this tiny size.
    font = load_font("DejaVuSansCondensed-Bold.ttf", 10 * scale)
    image = button_face(size, scale)
    button_label(image, text, font)
    return to_transparent_gif(image, scale)


# ------------------------------------------------------------------- icon

def rounded_tile(size, radius):
    """Dark blue rounded square with a light top and a thin bright rim."""
    tile = tile_gradient(size)
    mask = Image.new("L", (size, size), 0)
    ImageDraw.Draw(mask).rounded_rectangle(
        [0, 0, size - 1, size - 1], radius=radius, fill=255)
    rim = Image.new("L", (size, size), 0)
    ImageDraw.Draw(rim).rounded_rectangle(
        [0, 0, size - 1, size - 1], radius=radius, outline=255,
        width=max(1, size // 40))
    tile.paste((70, 140, 255), (0, 0), rim)
    icon = Image.new("RGBA", (size, size), (0, 0, 0, 0))
    icon.paste(tile, (0, 0), mask)
    return icon


def tile_gradient(size):
    """Top-to-bottom navy gradient with a soft glow in the upper right."""
    top, bottom = (34, 78, 180), (4, 12, 44)
    image = Image.new("RGB", (size, size))
    pixels = []
    gx, gy = size * 0.72, size * 0.28
    for y in range(size):
        base = mix(top, bottom, y / float(size - 1))
        for x in range(size):
            d = math.hypot(x - gx, y - gy) / size
            g = math.exp(-(d / 0.35) ** 2) * 40.0
            pixels.append(dithered((base[0] + g * 0.3, base[1] + g * 0.8,
                                    base[2] + g * 1.2), x, y))
    image.putdata(pixels)
    return image


NOTE_HEAD_TILT = 22      # degrees, counter-clockwise


def note_geometry(size, bold):
    """Two beamed eighth notes on a size x size canvas: the centres of the heads, the heads'
    radii, the stems as rectangles (left, top, right, bottom) and the beam as a polygon."""
    s = size / 100.0
    stem = (7.5 if bold else 5.5) * s
    beam = (14 if bold else 11) * s
    heads = ((32 * s, 72 * s), (70 * s, 64 * s))
    radii = (13.5 * s, 9.5 * s)
    stem_tops = (24 * s, 16 * s)
    stems = []
    for (hx, hy), top in zip(heads, stem_tops):
        x1 = hx + radii[0] * 0.86
        stems.append((x1 - stem, top, x1, hy - 2 * s))
    # The beam joins the stem tops, sloping up to the right.
    (x0, x1), (t0, t1) = (right for _, _, right, _ in stems), stem_tops
    beam_polygon = [(x0 - stem, t0), (x1, t1), (x1, t1 + beam), (x0 - stem, t0 + beam)]
    return heads, radii, stems, beam_polygon


def note_mask(size, bold):
    """The notes as an L-mode mask on a size x size canvas."""
    heads, (rx, ry), stems, beam = note_geometry(size, bold)
    mask = Image.new("L", (size, size), 0)
    for hx, hy in heads:
        head = Image.new("L", (size, size), 0)
        ImageDraw.Draw(head).ellipse(
            [hx - rx, hy - ry, hx + rx, hy + ry], fill=255)
        head = head.rotate(NOTE_HEAD_TILT, center=(hx, hy),
                           resample=Image.Resampling.BICUBIC)
        mask = ImageChops.lighter(mask, head)
    draw = ImageDraw.Draw(mask)
    for stem in stems:
        draw.rectangle(list(stem), fill=255)
    draw.polygon(beam, fill=255)
    return mask


def make_icon(size):
    """A white-to-cyan double note on a rounded dark blue tile."""
    ss = 16 if size <= 64 else 1024 // size     # at most 1024 pixels drawn a side
    big = size * ss
    small = size <= 16
    radius = big * (0.18 if small else 0.22)
    icon = rounded_tile(big, radius)

    notes = note_mask(big, bold=small)
    glow = scale_mask(notes.filter(ImageFilter.GaussianBlur(big * 0.05)), 1.2)
    rgb = icon.convert("RGB")
    rgb = ImageChops.add(rgb, tint(glow, (30, 150, 255)))
    # White notes turning pale cyan towards the bottom.
    fill = Image.new("RGB", (big, big), (255, 255, 255))
    draw = ImageDraw.Draw(fill)
    for y in range(big // 2, big):
        t = (y - big / 2.0) / (big / 2.0)
        color = mix((255, 255, 255), (150, 225, 255), t)
        draw.line([(0, y), (big, y)], fill=tuple(int(c) for c in color))
    rgb.paste(fill, (0, 0), notes)
    icon = Image.merge("RGBA", rgb.split() + (icon.getchannel("A"),))
    return icon.resize((size, size), Image.Resampling.LANCZOS)


def rgb(color):
    return "rgb(%d,%d,%d)" % color


def icon_svg():
    """The icon of make_icon as SVG, on a canvas of 100 units a side."""
    heads, (rx, ry), stems, beam = note_geometry(100, bold=False)
    rim = 2.5
    notes = "\n".join(
        ['    <ellipse cx="%g" cy="%g" rx="%g" ry="%g" transform="rotate(%d %g %g)"/>'
         % (hx, hy, rx, ry, -NOTE_HEAD_TILT, hx, hy) for hx, hy in heads]
        + ['    <rect x="%g" y="%g" width="%g" height="%g"/>'
           % (left, top, right - left, bottom - top) for left, top, right, bottom in stems]
        + ['    <polygon points="%s"/>' % " ".join("%g,%g" % point for point in beam)])
    return """<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink"
     width="256" height="256" viewBox="0 0 100 100">
  <title>Tamsel's MP3 Player</title>
  <defs>
    <linearGradient id="tile" x1="0" y1="0" x2="0" y2="1">
      <stop offset="0" stop-color="%(tile_top)s"/>
      <stop offset="1" stop-color="%(tile_bottom)s"/>
    </linearGradient>
    <radialGradient id="light" cx="72" cy="28" r="70" gradientUnits="userSpaceOnUse">
      <stop offset="0" stop-color="%(light)s" stop-opacity="0.6"/>
      <stop offset="0.25" stop-color="%(light)s" stop-opacity="0.47"/>
      <stop offset="0.5" stop-color="%(light)s" stop-opacity="0.22"/>
      <stop offset="0.75" stop-color="%(light)s" stop-opacity="0.06"/>
      <stop offset="1" stop-color="%(light)s" stop-opacity="0"/>
    </radialGradient>
    <linearGradient id="ink" x1="0" y1="50" x2="0" y2="100" gradientUnits="userSpaceOnUse">
      <stop offset="0" stop-color="rgb(255,255,255)"/>
      <stop offset="1" stop-color="%(ink_bottom)s"/>
    </linearGradient>
    <filter id="blur" x="-50%%" y="-50%%" width="200%%" height="200%%">
      <feGaussianBlur stdDeviation="5"/>
      <feComponentTransfer>
        <feFuncA type="linear" slope="2.2"/>
      </feComponentTransfer>
    </filter>
    <g id="notes">
%(notes)s
    </g>
  </defs>
  <rect width="100" height="100" rx="22" fill="url(#tile)"/>
  <rect width="100" height="100" rx="22" fill="url(#light)"/>
  <rect x="%(inset)g" y="%(inset)g" width="%(inner)g" height="%(inner)g" rx="%(inner_radius)g"
        fill="none" stroke="%(rim)s" stroke-width="%(rim_width)g"/>
  <use xlink:href="#notes" fill="%(glow)s" filter="url(#blur)"/>
  <use xlink:href="#notes" fill="url(#ink)"/>
</svg>
""" % {"tile_top": rgb((34, 78, 180)), "tile_bottom": rgb((4, 12, 44)),
       "light": rgb((50, 130, 255)), "ink_bottom": rgb((150, 225, 255)),
       "glow": rgb((30, 150, 255)), "rim": rgb((70, 140, 255)), "rim_width": rim,
       "inset": rim / 2, "inner": 100 - rim, "inner_radius": 22 - rim / 2, "notes": notes}


# ------------------------------------------------------------------- main

def save(image, name, **options):
    path = out_path(name)
    image.save(path, **options)
    with Image.open(path) as check:
        detail = "%s %dx%d %s" % (check.format, check.width, check.height,
                                  check.mode)
    print("wrote %-40s %s, %d bytes"
          % (os.path.relpath(path, REPO_ROOT), detail, os.path.getsize(path)))


def main():
    os.makedirs(OUT_DIR, exist_ok=True)
    jpeg = {"quality": 93, "subsampling": 0, "optimize": True}
    buttons = (
        ("close", "close", (33, 20)),
        ("play_stop", "play & stop", (70, 22)),
        ("save_tag", "save tag", (50, 20)),
    )
    for scale, suffix in ((1, ""), (2, "@2x")):
        save(make_background(scale), "background%s.jpg" % suffix, **jpeg)
        save(make_banner(scale), "banner%s.jpg" % suffix, **jpeg)
        for name, text, size in buttons:
            save(make_button(text, size, scale), "%s%s.gif" % (name, suffix),
                 transparency=0, optimize=False)

    for size in (16, 22, 24, 32, 48, 64, 128, 256):
        save(make_icon(size), "icon%d.png" % size, optimize=True)
    path = out_path("icon.svg")
    with open(path, "w", encoding="utf-8") as svg:
        svg.write(icon_svg())
    print("wrote %-40s SVG, %d bytes" % (os.path.relpath(path, REPO_ROOT), os.path.getsize(path)))


if __name__ == "__main__":
    main()
