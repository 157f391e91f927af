#!/usr/bin/python3
"""Draw the artwork of Tamsel's MP3 Player from scratch.

Everything under src/app/images/ is produced by this script:

  background.jpg   709 x 709  black window background with a dark blue glow
  banner.jpg       427 x 62   title lettering on a dark starburst
  close.gif         33 x 20   "close" button
  play_stop.gif     70 x 22   "play & stop" button
  save_tag.gif      50 x 20   "save tag" button
  icon16/32/48.png            window / desktop icon (a note on a blue tile)

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

def make_background():
    """Black, with a soft dark blue glow in the visible part of the window."""
    width = height = 709
    cx, cy = 480.0, 250.0
    core = (14, 30, 84)      # colour at the centre of the glow
    haze = (4, 9, 26)        # faint wide halo around it
    image = Image.new("RGB", (width, height))
    pixels = []
    for y in range(height):
        dy = y - cy
        for x in range(width):
            dx = x - cx
            # Slightly wider than tall, like light spreading along the window.
            d_core = (dx / 190.0) ** 2 + (dy / 165.0) ** 2
            d_haze = (dx / 420.0) ** 2 + (dy / 330.0) ** 2
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


def make_banner():
    """The program title in glowing chrome capitals on a starburst."""
    size = (427, 62)
    ss = 4                                       # supersampling factor
    big = (size[0] * ss, size[1] * ss)

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

def button_face(size):
    """Light grey bevelled button with 1-pixel rounded corners (RGB)."""
    w, h = size
    image = Image.new("RGB", size, BUTTON_FACE)
    draw = ImageDraw.Draw(image)
    # Gentle vertical shading so the face does not look flat.
    for y in range(2, h - 2):
        t = (y - 2) / float(max(1, h - 5))
        shade = int(round(8 - 14 * t))
        grey = tuple(c + shade for c in BUTTON_FACE)
        draw.line([(2, y), (w - 3, y)], fill=grey)
    # Bevel: highlight on the top/left, shadow on the bottom/right.
    draw.line([(1, 1), (w - 2, 1)], fill=BUTTON_LIGHT)
    draw.line([(1, 1), (1, h - 2)], fill=BUTTON_LIGHT)
    draw.line([(2, h - 2), (w - 2, h - 2)], fill=BUTTON_SHADOW)
    draw.line([(w - 2, 2), (w - 2, h - 2)], fill=BUTTON_SHADOW)
    # Outer border, leaving the corner pixels for transparency.
    draw.line([(1, 0), (w - 2, 0)], fill=BUTTON_BORDER)
    draw.line([(1, h - 1), (w - 2, h - 1)], fill=BUTTON_BORDER)
    draw.line([(0, 1), (0, h - 2)], fill=BUTTON_BORDER)
    draw.line([(w - 1, 1), (w - 1, h - 2)], fill=BUTTON_BORDER)
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


def to_transparent_gif(image):
    """Palette image with the four corner pixels in the transparent colour."""
    w, h = image.size
    colors = sorted(set(image.getdata()))
    if GIF_TRANSPARENT in colors:
        raise ValueError("transparent key colour is used by the artwork")
    if len(colors) > 255:
        raise ValueError("too many colours for a GIF button")
    palette = [GIF_TRANSPARENT] + colors            # index 0 is transparent
    index = {c: i for i, c in enumerate(palette)}
    result = Image.new("P", image.size)
    result.putdata([index[c] for c in image.getdata()])
    for corner in ((0, 0), (w - 1, 0), (0, h - 1), (w - 1, h - 1)):
        result.putpixel(corner, 0)
    flat = [v for c in palette for v in c]
    result.putpalette(flat + [0] * (768 - len(flat)))
    result.info["transparency"] = 0
    return result


def make_button(text, size):
    # The condensed DejaVu bold keeps "close" clear of the bevel at 33 px
    # and stays sharper than Liberation at this tiny size.
    font = load_font("DejaVuSansCondensed-Bold.ttf", 10)
    image = button_face(size)
    button_label(image, text, font)
    return to_transparent_gif(image)


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


def note_mask(size, bold):
    """Two beamed eighth notes as an L-mode mask on a size x size canvas."""
    s = size / 100.0
    stem = (7.5 if bold else 5.5) * s
    beam = (14 if bold else 11) * s
    mask = Image.new("L", (size, size), 0)
    heads = ((32 * s, 72 * s), (70 * s, 64 * s))   # centres of the note heads
    rx, ry = 13.5 * s, 9.5 * s
    for hx, hy in heads:
        head = Image.new("L", (size, size), 0)
        ImageDraw.Draw(head).ellipse(
            [hx - rx, hy - ry, hx + rx, hy + ry], fill=255)
        head = head.rotate(22, center=(hx, hy),
                           resample=Image.Resampling.BICUBIC)
        mask = ImageChops.lighter(mask, head)
    draw = ImageDraw.Draw(mask)
    stem_tops = (24 * s, 16 * s)
    stem_xs = []
    for (hx, hy), top in zip(heads, stem_tops):
        x1 = hx + rx * 0.86
        stem_xs.append(x1)
        draw.rectangle([x1 - stem, top, x1, hy - 2 * s], fill=255)
    # The beam joins the stem tops, sloping up to the right.
    (x0, x1), (t0, t1) = stem_xs, stem_tops
    draw.polygon([(x0 - stem, t0), (x1, t1), (x1, t1 + beam),
                  (x0 - stem, t0 + beam)], fill=255)
    return mask


def make_icon(size):
    """A white-to-cyan double note on a rounded dark blue tile."""
    ss = 16
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

    save(make_background(), "background.jpg", **jpeg)
    save(make_banner(), "banner.jpg", **jpeg)

    buttons = (
        ("close.gif", "close", (33, 20)),
        ("play_stop.gif", "play & stop", (70, 22)),
        ("save_tag.gif", "save tag", (50, 20)),
    )
    for name, text, size in buttons:
        gif = make_button(text, size)
        save(gif, name, transparency=0, optimize=False)

    icons = {size: make_icon(size) for size in (16, 32, 48)}
    for size, icon in sorted(icons.items()):
        save(icon, "icon%d.png" % size, optimize=True)


if __name__ == "__main__":
    main()
