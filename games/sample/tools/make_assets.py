#!/usr/bin/env python3
"""Draws the pictures of the sample game (24-bit BMP files in data/).

Run it from anywhere; it rewrites the pictures next to the scenarios.
"""
import math
import os
import struct

DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data")


def write_bmp(name, width, height, pixel):
    """pixel(x, y) -> (r, g, b); rows are stored bottom-up, padded to 4 bytes."""
    row_size = (width * 3 + 3) & ~3
    rows = []
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += bytes(row_size - len(row))
        rows.append(bytes(row))
    image = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(image), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(image), 2835, 2835, 0, 0)
    with open(os.path.join(DATA, name), "wb") as f:
        f.write(header + info + image)


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def sky(x, y):
    """A morning sky over green hills."""
    hill = 330 + 30 * math.sin(x / 90.0) + 15 * math.sin(x / 37.0)
    if y > hill:
        return mix((90, 160, 70), (40, 100, 40), min(1.0, (y - hill) / 150.0))
    return mix((70, 120, 200), (200, 225, 245), y / 400.0)


def dusk(x, y):
    """An evening sky with a low sun."""
    d = math.hypot(x - 470, y - 300)
    if d < 45:
        return (255, 230, 160)
    base = mix((60, 40, 110), (245, 140, 80), y / 480.0)
    glow = max(0.0, 1.0 - d / 260.0)
    return mix(base, (255, 200, 120), glow * 0.6)


MAGENTA = (255, 0, 255)
GREEN = (0, 255, 0)


def window_frame(x, y):
    """The text window: a dark translucent-looking panel with a light frame.
    Magenta (the top-left pixel) is the key colour: it is see-through."""
    w, h, r = 640, 160, 18
    cx = min(max(x, r), w - 1 - r)
    cy = min(max(y, r), h - 1 - r)
    d = math.hypot(x - cx, y - cy)
    if d > r:
        return MAGENTA
    if d > r - 3 or x < 3 or y < 3 or x > w - 4 or y > h - 4:
        return (235, 225, 200)
    # A fine checker of two dark blues reads as a half-transparent panel.
    return (20, 30, 70) if (x + y) % 2 else (30, 45, 95)


def character(x, y):
    """A simple figure on a pure green key colour."""
    head = math.hypot(x - 100, y - 80)
    if head < 52:
        if math.hypot(x - 82, y - 72) < 6 or math.hypot(x - 118, y - 72) < 6:
            return (40, 30, 30)
        if 90 <= x <= 110 and 98 <= y <= 102:
            return (200, 80, 80)
        return (250, 215, 185)
    if head < 60 and y < 85:
        return (90, 50, 30)  # hair
    if 130 <= y < 360:
        half = 30 + (y - 130) * 0.3
        if abs(x - 100) < half:
            return (200, 60, 90) if (y // 12) % 2 else (180, 50, 80)
    return GREEN


def triangle_marker(x, y):
    if 2 <= y <= 13 and abs(x - 7.5) <= (y - 2) * 0.5:
        return (255, 240, 120)
    return MAGENTA


def dot_marker(x, y):
    return (160, 230, 255) if math.hypot(x - 7.5, y - 7.5) < 5.5 else MAGENTA


def note_button(pressed):
    """A notebook icon on the key colour; pressed, it sinks and darkens."""
    shift = 2 if pressed else 0

    def pixel(x, y):
        x, y = x - shift, y - shift
        if 6 <= x <= 41 and 4 <= y <= 43:
            if x <= 8 or x >= 39 or y <= 6 or y >= 41:
                return (120, 90, 60) if pressed else (150, 115, 80)
            if x >= 13 and (y - 12) % 7 == 0:
                return (90, 120, 190)
            return (215, 205, 175) if pressed else (250, 243, 220)
        return MAGENTA
    return pixel


def sun_button(pressed):
    """A round sun with rays. Only its disc is pressable: see sun_hit."""
    def pixel(x, y):
        d = math.hypot(x - 23.5, y - 23.5)
        if d < 15:
            return (235, 140, 40) if pressed else (255, 190, 60)
        if d < 23 and int(math.degrees(math.atan2(y - 23.5, x - 23.5)) + 360) % 45 < 12:
            return (240, 200, 90)
        return MAGENTA
    return pixel


def disk_button(pressed):
    """A floppy disk: the save button."""
    shift = 2 if pressed else 0

    def pixel(x, y):
        x, y = x - shift, y - shift
        if not (6 <= x <= 41 and 6 <= y <= 41):
            return MAGENTA
        if 14 <= x <= 33 and 6 <= y <= 18:
            return (200, 200, 210)  # the shutter
        if 12 <= x <= 35 and 26 <= y <= 41:
            return (245, 245, 240)  # the label
        return (40, 70, 150) if pressed else (60, 100, 200)
    return pixel


def open_button(pressed):
    """An open folder with an arrow: the load button."""
    shift = 2 if pressed else 0

    def pixel(x, y):
        x, y = x - shift, y - shift
        if 20 <= x <= 27 and 4 <= y <= 16 or abs(x - 23.5) + (y - 16) <= 8 and 16 <= y <= 24:
            return (200, 60, 60)
        if 6 <= x <= 41 and 22 <= y <= 41:
            return (200, 150, 40) if pressed else (240, 190, 70)
        return MAGENTA
    return pixel


def sun_hit(x, y):
    return (0, 0, 0) if math.hypot(x - 23.5, y - 23.5) < 15 else (255, 255, 255)


BAYER4 = [[0, 8, 2, 10], [12, 4, 14, 6], [3, 11, 1, 9], [15, 7, 13, 5]]


def dissolve_frame(i):
    """Frame i of a 16-frame dissolve on a 32x32 tile: black where the new
    picture shows."""
    def pixel(x, y):
        level = BAYER4[y % 4][x % 4]
        # A slow diagonal drift inside the tile so the dissolve is not flat.
        level = (level + ((x // 4 + y // 4) % 2)) % 16
        return (0, 0, 0) if level <= i else (255, 255, 255)
    return pixel


def main():
    os.makedirs(DATA, exist_ok=True)
    write_bmp("bg1.bmp", 640, 480, sky)
    write_bmp("bg2.bmp", 640, 480, dusk)
    write_bmp("window.bmp", 640, 160, window_frame)
    write_bmp("chara.bmp", 200, 360, character)
    write_bmp("tcl.bmp", 16, 16, triangle_marker)
    write_bmp("clk.bmp", 16, 16, dot_marker)
    for i in range(16):
        write_bmp("pat1%02d.bmp" % i, 32, 32, dissolve_frame(i))
    write_bmp("note.bmp", 48, 48, note_button(False))
    write_bmp("note_down.bmp", 48, 48, note_button(True))
    write_bmp("sun.bmp", 48, 48, sun_button(False))
    write_bmp("sun_down.bmp", 48, 48, sun_button(True))
    write_bmp("sun_hit.bmp", 48, 48, sun_hit)
    write_bmp("disk.bmp", 48, 48, disk_button(False))
    write_bmp("disk_down.bmp", 48, 48, disk_button(True))
    write_bmp("open.bmp", 48, 48, open_button(False))
    write_bmp("open_down.bmp", 48, 48, open_button(True))


if __name__ == "__main__":
    main()
