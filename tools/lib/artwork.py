"""Draws the launcher's pictures: the two 532 x 558 window backgrounds, the
24 button faces and the program icon, the pictures also at 1.5 and 2 times
that size for high-DPI screens. Run through tools/make-artwork, which
installs the Debian packages this needs. The output depends only on this file,
Pillow and the fonts, so a second run writes the same bytes."""

import math
import random
import struct
import sys
from io import BytesIO
from pathlib import Path

from PIL import Image, ImageDraw, ImageFilter, ImageFont

WIDTH, HEIGHT = 532, 558
SCALE = 4  # shapes are drawn this much larger, then reduced, for smooth edges

# Display scales drawn, with what each adds to a picture's resource number.
# The window picks the nearest and rounds its boxes as MulDiv does.
DISPLAY_SCALES = [(1, 0, ""), (1.5, 1000, "@1.5x"), (2, 2000, "@2x")]
K = 1  # the scale being drawn


def px(value):
    """A length of the 1x layout in pixels at the scale being drawn."""
    return math.floor(value * K + 0.5)


def sc(value):
    """A length that need not fall on whole pixels."""
    return value * K


FONT_BOLD = "/usr/share/fonts/opentype/noto/NotoSansCJK-Bold.ttc"
FONT_REGULAR = "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc"
FONT_JP_INDEX = 0  # "Noto Sans CJK JP" in the collections

BG_TOP = (13, 19, 32)
BG_BOTTOM = (7, 10, 18)
HEADER_TOP = (22, 31, 49)
HEADER_BOTTOM = (13, 19, 32)
LINE = (46, 64, 94)
LINE_SOFT = (31, 43, 64)
PANEL = (15, 22, 36)
TRACK = (24, 33, 50)
DIM_TEXT = (112, 128, 154)
ACCENT = (104, 206, 240)

# Where the window puts each button, its size, the English and Japanese
# resource numbers (normal, hover, pressed) and captions.
BUTTONS = [
    ("check_files", (22, 429, 113, 27), (157, 167, 158), (172, 174, 173),
     "CHECK FILES", "ファイルを検証"),
    ("option", (147, 429, 113, 27), (146, 159, 160), (175, 177, 176), "OPTION", "設定"),
    ("exit", (271, 429, 113, 27), (166, 164, 165), (169, 171, 170), "EXIT", "終了"),
    ("game_start", (396, 395, 118, 61), (163, 161, 162), (178, 180, 179),
     "GAME START", "ゲーム開始"),
]
BACKGROUNDS = {"en": 181, "ja": 168}

# Face colours: gradient top, gradient bottom, outline, top highlight.
FACES = {
    "normal": ((62, 132, 226), (28, 76, 168), (14, 38, 92), (140, 192, 255)),
    "hover": ((252, 184, 86), (234, 136, 32), (150, 82, 14), (255, 226, 170)),
    "pressed": ((214, 122, 30), (176, 90, 14), (104, 52, 6), (236, 160, 80)),
    "inactive": ((46, 55, 72), (34, 41, 55), (22, 27, 38), (70, 80, 98)),
}

# Window areas that other parts draw on or that the artwork frames.
NEWS = (13, 26, 519, 372)
UPPER_BAR = (22, 397, 383, 402)
LOWER_BAR = (22, 410, 383, 419)
ADAPTER_PANEL = (204, 481, 516, 523)


def font(size, bold=True):
    return ImageFont.truetype(FONT_BOLD if bold else FONT_REGULAR, px(size), index=FONT_JP_INDEX)


def lerp(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def vertical_gradient(size, top, bottom):
    width, height = size
    column = Image.new("RGB", (1, height))
    for y in range(height):
        column.putpixel((0, y), lerp(top, bottom, y / max(1, height - 1)))
    return column.resize((width, height), Image.NEAREST)


def text_width(draw, text, typeface, spacing=0):
    if spacing == 0:
        return draw.textlength(text, font=typeface)
    return sum(draw.textlength(c, font=typeface) for c in text) + spacing * (len(text) - 1)


def draw_text(draw, xy, text, typeface, fill, spacing=0, anchor="ls"):
    """Text from its baseline's left end; letter-spaced when asked."""
    x, y = xy
    if spacing == 0:
        draw.text((x, y), text, font=typeface, fill=fill, anchor=anchor)
        return
    for c in text:
        draw.text((x, y), c, font=typeface, fill=fill, anchor=anchor)
        x += draw.textlength(c, font=typeface) + spacing


def centred_caption(image, box, text, typeface, fill, shadow, spacing=0, drop=0):
    """Caption centred in box (x, y, w, h) on its visual middle, with a 1 px shadow."""
    draw = ImageDraw.Draw(image)
    x, y, w, h = box
    width = text_width(draw, text, typeface, spacing)
    left, top, right, bottom = typeface.getbbox(text, anchor="ls")
    baseline = y + (h - (bottom - top)) / 2 - top + drop
    start = x + (w - width) / 2
    overlay = Image.new("RGBA", image.size, (0, 0, 0, 0))
    shadow_draw = ImageDraw.Draw(overlay)
    draw_text(shadow_draw, (round(start), round(baseline) + px(1)), text, typeface, shadow, spacing)
    image.alpha_composite(overlay)
    draw = ImageDraw.Draw(image)
    draw_text(draw, (round(start), round(baseline)), text, typeface, fill, spacing)


def rounded_face(size, radius, colours):
    """A button face as RGBA, drawn large and reduced so the corners are smooth."""
    top, bottom, outline, highlight = colours
    w, h = size
    big = (w * SCALE, h * SCALE)
    edge = round(SCALE * K)  # the outline, one pixel at 1x
    face = vertical_gradient(big, top, bottom).convert("RGBA")
    mask = Image.new("L", big, 0)
    ImageDraw.Draw(mask).rounded_rectangle((0, 0, big[0] - 1, big[1] - 1), radius * SCALE, fill=255)
    inner = Image.new("L", big, 0)
    ImageDraw.Draw(inner).rounded_rectangle(
        (edge, edge, big[0] - 1 - edge, big[1] - 1 - edge), (radius - K) * SCALE, fill=255)
    result = Image.new("RGBA", big, outline + (255,))
    result.paste(face, (0, 0), inner)
    # A thin light line under the top edge gives the face some depth.
    gloss = Image.new("RGBA", big, (0, 0, 0, 0))
    ImageDraw.Draw(gloss).rounded_rectangle(
        (edge, edge, big[0] - 1 - edge, edge * 2), radius * SCALE // 2,
        fill=highlight + (150,))
    result.alpha_composite(gloss)
    result.putalpha(mask)
    return result.resize(size, Image.LANCZOS)


def button_picture(background, place, state, caption, japanese):
    """One face, composed over the window's own background so corners blend;
    `place` is the 1x box, the face is drawn at the scale being drawn."""
    large = place[3] > 40
    x, y, w, h = (px(v) for v in place)
    picture = background.crop((x, y, x + w, y + h)).convert("RGBA")
    picture.alpha_composite(rounded_face((w, h), px(7 if large else 4), FACES[state]))
    if large:
        size = 17 if japanese else 14
    else:
        size = 12 if japanese else 11
    spacing = 0 if japanese else (1.0 if large else 0.8)
    fill = (132, 142, 160, 255) if state == "inactive" else (255, 255, 255, 255)
    shadow = (0, 0, 0, {"inactive": 90, "normal": 120}.get(state, 150))
    centred_caption(picture, (0, 0, w, h), caption, font(size), fill, shadow, sc(spacing),
                    drop=px(1) if state == "pressed" else 0)
    return picture.convert("RGB")


def emblem(size):
    """The Norvik mark: a faceted blue shield with a white rune-like N."""
    big = size * SCALE
    image = Image.new("RGBA", (big, big), (0, 0, 0, 0))
    draw = ImageDraw.Draw(image)
    c = big / 2
    r = big * 0.48
    points = [(c + r * math.cos(math.radians(a)), c + r * math.sin(math.radians(a)))
              for a in range(-90, 270, 60)]
    mask = Image.new("L", (big, big), 0)
    ImageDraw.Draw(mask).polygon(points, fill=255)
    shield = vertical_gradient((big, big), (70, 150, 236), (22, 64, 150)).convert("RGBA")
    image.paste(shield, (0, 0), mask)
    draw.line(points + [points[0], points[1]], fill=(150, 210, 255, 255), width=max(1, big // 28),
              joint="curve")
    # The N: two uprights and a diagonal, cut as one polygon.
    s = big / 100
    n = [(31, 72), (31, 28), (42, 28), (60, 55), (60, 28), (69, 28), (69, 72), (58, 72),
         (40, 45), (40, 72)]
    draw.polygon([(c + (px - 50) * s, c + (py - 50) * s) for px, py in n],
                 fill=(255, 255, 255, 255))
    return image.resize((size, size), Image.LANCZOS)


def night_scene(size):
    """The picture behind the news page: an aurora over northern mountains."""
    w, h = size
    sky = vertical_gradient(size, (9, 16, 34), (26, 58, 84)).convert("RGBA")
    rng = random.Random(1207)
    stars = Image.new("RGBA", size, (0, 0, 0, 0))
    star_draw = ImageDraw.Draw(stars)
    for _ in range(150):
        x, y = rng.uniform(0, w), rng.uniform(0, h * 0.7)
        brightness = rng.randint(90, 235)
        radius = sc(rng.choice((0.5, 0.5, 0.5, 0.9, 1.2)))
        star_draw.ellipse((x - radius, y - radius, x + radius, y + radius),
                          fill=(brightness, brightness, min(255, brightness + 20), 255))
    sky.alpha_composite(stars)

    aurora = Image.new("RGBA", size, (0, 0, 0, 0))
    aurora_draw = ImageDraw.Draw(aurora)
    for band, (colour, base, amplitude, phase) in enumerate([
            ((80, 230, 190), 0.30, 26, 0.0),
            ((70, 190, 240), 0.40, 20, 1.7),
            ((150, 120, 240), 0.22, 16, 3.1)]):
        for x in range(w):
            t = x / w
            crest = h * base + sc(amplitude) * math.sin(t * 5.1 + phase) \
                + 0.5 * sc(amplitude) * math.sin(t * 11.3 + phase * 2)
            height = sc(70 + 40 * math.sin(t * 3.3 + phase))
            for dy in range(int(height)):
                fade = (1 - dy / height) ** 2
                alpha = int(95 * fade * (0.6 + 0.4 * math.sin(t * 7 + band)))
                if alpha > 0:
                    aurora_draw.point((x, crest + dy - height * 0.25), fill=colour + (alpha,))
    sky.alpha_composite(aurora.filter(ImageFilter.GaussianBlur(sc(6))))

    ridges = Image.new("RGBA", size, (0, 0, 0, 0))
    ridge_draw = ImageDraw.Draw(ridges)
    for colour, base, scale, seed in [((22, 38, 58), 0.66, 48, 0.3), ((14, 24, 38), 0.78, 40, 2.2),
                                      ((9, 14, 24), 0.90, 26, 4.0)]:
        outline = []
        for x in range(0, w + 1, 2):
            t = x / w
            peak = abs(math.sin(t * 4.2 + seed)) * sc(scale) \
                + abs(math.sin(t * 9.7 + seed * 3)) * sc(scale) * 0.35
            outline.append((x, h * base - peak))
        ridge_draw.polygon(outline + [(w, h), (0, h)], fill=colour + (255,))
    sky.alpha_composite(ridges)

    # Darken the lower edge so the frame reads as a window onto the scene.
    shade = vertical_gradient((w, h), (0, 0, 0), (0, 0, 0)).convert("RGBA")
    shade_alpha = Image.new("L", size, 0)
    for y in range(h):
        ImageDraw.Draw(shade_alpha).line((0, y, w, y), fill=int(90 * max(0, (y / h - 0.75) / 0.25)))
    shade.putalpha(shade_alpha)
    sky.alpha_composite(shade)
    return sky


def framed(draw, box, outline, fill=None):
    x0, y0, x1, y1 = box
    draw.rectangle((x0, y0, x1 - 1, y1 - 1), outline=outline, fill=fill, width=px(1))


def scaled_box(box):
    return tuple(px(v) for v in box)


def background_picture(language):
    """The window's picture, and the same without the buttons (what a face's
    corners blend into)."""
    width, height = px(WIDTH), px(HEIGHT)
    one = px(1)
    image = vertical_gradient((width, height), BG_TOP, BG_BOTTOM).convert("RGBA")
    draw = ImageDraw.Draw(image)

    # Header band: the settings link sits at its left, the version at its right.
    image.paste(vertical_gradient((width, px(26)), HEADER_TOP, HEADER_BOTTOM), (0, 0))
    draw = ImageDraw.Draw(image)
    title_width = text_width(draw, "NORVIK PATCHER", font(9), sc(2.2))
    draw_text(draw, (width / 2 - title_width / 2, px(17)), "NORVIK PATCHER", font(9), DIM_TEXT,
              spacing=sc(2.2))

    # The news page area, framed; the scene shows where no page is loaded.
    x0, y0, x1, y1 = scaled_box(NEWS)
    image.paste(night_scene((x1 - x0, y1 - y0)), (x0, y0))
    draw = ImageDraw.Draw(image)
    framed(draw, (x0 - one, y0 - one, x1 + one, y1 + one), LINE)

    # Progress bar tracks, with an outline just outside the painted area.
    for x0, y0, x1, y1 in (scaled_box(UPPER_BAR), scaled_box(LOWER_BAR)):
        framed(draw, (x0 - one, y0 - one, x1 + one, y1 + one), LINE_SOFT, TRACK)

    # Logo at the lower left.
    image.alpha_composite(emblem(px(40)), (px(18), px(478)))
    draw = ImageDraw.Draw(image)
    draw_text(draw, (px(66), px(503)), "NORVIK", font(22), (236, 242, 252), spacing=sc(1.5))
    draw_text(draw, (px(67), px(518)), "GALDERVIN LAUNCHER", font(8, bold=False), ACCENT,
              spacing=sc(1.4))

    # The adapter report's panel.
    ax0, ay0, ax1, ay1 = scaled_box(ADAPTER_PANEL)
    draw.rounded_rectangle((ax0, ay0, ax1 - one, ay1 - one), px(4), fill=PANEL, outline=LINE,
                           width=one)
    draw.line((ax0 + px(4), ay0 + one, ax1 - px(5), ay0 + one), fill=LINE_SOFT, width=one)

    # Footer line and notice.
    draw.line((px(14), px(532), width - px(15), px(532)), fill=LINE_SOFT, width=one)
    draw_text(draw, (px(16), px(548)), "\u00a9 Kardun. All rights reserved.",
              font(9, bold=False), DIM_TEXT)
    version_note = "Norvik Patcher 2.0"
    draw_text(draw, (width - px(16) - text_width(draw, version_note, font(9, bold=False)), px(548)),
              version_note, font(9, bold=False), DIM_TEXT)

    # The buttons as they look while hidden (an update is running).
    base = image.convert("RGB")
    for _, place, _, _, english, japanese in BUTTONS:
        caption = japanese if language == "ja" else english
        inactive = button_picture(base, place, "inactive", caption, language == "ja")
        image.paste(inactive, (px(place[0]), px(place[1])))
    return image.convert("RGB"), base


def icon_bytes():
    """A Windows icon: 16-48 px as 32-bit DIBs (every Windows version reads
    them), 256 px as PNG."""
    sizes = [16, 24, 32, 48, 256]
    entries = []
    for size in sizes:
        picture = emblem(size)
        if size == 256:
            buffer = BytesIO()
            picture.save(buffer, "PNG", optimize=False)
            entries.append((size, buffer.getvalue()))
            continue
        header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
        rows = []
        for y in range(size - 1, -1, -1):
            row = bytearray()
            for x in range(size):
                r, g, b, a = picture.getpixel((x, y))
                row += bytes((b, g, r, a))
            rows.append(bytes(row))
        mask_stride = ((size + 31) // 32) * 4
        mask = b"\0" * (mask_stride * size)
        entries.append((size, header + b"".join(rows) + mask))
    out = BytesIO()
    out.write(struct.pack("<HHH", 0, 1, len(entries)))
    offset = 6 + 16 * len(entries)
    for size, data in entries:
        dimension = 0 if size == 256 else size
        out.write(struct.pack("<BBBBHHII", dimension, dimension, 0, 0, 1, 32, len(data), offset))
        offset += len(data)
    for _, data in entries:
        out.write(data)
    return out.getvalue()


def save_png(image, path):
    image.save(path, "PNG", optimize=False, compress_level=9)


def main(output):
    global K
    folder = Path(output)
    folder.mkdir(parents=True, exist_ok=True)
    for K, offset, suffix in DISPLAY_SCALES:
        for language, number in BACKGROUNDS.items():
            background, base = background_picture(language)
            save_png(background, folder / f"background_{language}_{number + offset}{suffix}.png")
            for name, place, english_ids, japanese_ids, english, japanese in BUTTONS:
                ids = japanese_ids if language == "ja" else english_ids
                caption = japanese if language == "ja" else english
                for state, number in zip(("normal", "hover", "pressed"), ids):
                    picture = button_picture(base, place, state, caption, language == "ja")
                    save_png(picture,
                             folder / f"{name}_{language}_{state}_{number + offset}{suffix}.png")
    K = 1
    (folder / "norvik_107.ico").write_bytes(icon_bytes())


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "resources/pictures")
