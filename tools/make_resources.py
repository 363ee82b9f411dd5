#!/usr/bin/env python3
"""Draws the program's bitmap and icon resources into gui/res/.

The pictures are plain pixel drawings made here; run this script again
after changing one and commit the files it writes:
  scroll arrows  LEFTSCROLL, RIGHTSCROLL (6 x 10), TOPSCROLL, BOTTOMSCROLL
                 (9 x 6): black arrows on silver, drawn with the bottom-left
                 pixel as the transparent colour
  check marks    CHECKED, UNCHECKED (16 x 16): a white box with a grey frame
  grid marks     GRID_ARROW, GRID_EDIT, GRID_INSERT, GRID_MULTIDOT,
                 GRID_MULTIARROW (11 x 11): black on white (white is left out)
  program icon   tarnwick.ico (32 x 32 and 16 x 16): three linked peers
and into app/res/ the main window's pictures:
  button bar     MAINBUTTONS (7 images of 24 x 24 side by side: search,
                 downloads, uploads, shares, messages, networks, server),
                 magenta where transparent
  service icon   opennap.ico (16 x 16): a server box, the OpenNap servers'
                 picture in the services side bar
  offline icon   offline.ico (32 x 32 and 16 x 16): the program icon in
                 greys, the tray's picture while no network is online
"""
import os
import struct
import sys

SILVER = (192, 192, 192)
WHITE = (255, 255, 255)
BLACK = (0, 0, 0)
GREY = (128, 128, 128)


def canvas(w, h, bg):
    return [[bg] * w for _ in range(h)]


def bottom_up_bgr(px):
    """Rows of (r, g, b), bottom row first, as 24-bit pixels padded to 4 bytes a row."""
    stride = (len(px[0]) * 3 + 3) // 4 * 4
    data = bytearray()
    for row in reversed(px):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        data += line + b"\0" * (stride - len(line))
    return data


def bmp_bytes(px):
    """24-bit bottom-up .bmp of rows of (r, g, b)."""
    h, w = len(px), len(px[0])
    data = bottom_up_bgr(px)
    header = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return b"BM" + struct.pack("<IHHI", 14 + 40 + len(data), 0, 0, 54) + header + data


def arrow(w, h, direction):
    """A solid black triangle pointing in direction, one free row/column at the far edge."""
    px = canvas(w, h, SILVER)
    if direction in ("up", "down"):
        rows = h - 1
        for i in range(rows):
            half = i if direction == "up" else rows - 1 - i
            mid = w // 2
            for x in range(max(0, mid - half), min(w, mid + half + 1)):
                px[i][x] = BLACK
    else:
        cols = w - 1
        mid = (h - 1) // 2
        for i in range(cols):
            half = i if direction == "left" else cols - 1 - i
            for y in range(max(0, mid - half), min(h - 1, mid + half + 1)):
                px[y][i] = BLACK
    return px


def check_box(checked):
    px = canvas(16, 16, SILVER)
    for y in range(1, 14):
        for x in range(1, 14):
            edge = x in (1, 13) or y in (1, 13)
            px[y][x] = GREY if edge else WHITE
    if checked:
        # A tick: down from (3, 7) to (5, 9), then up to (11, 3), three pixels thick.
        points = [(3, 7), (4, 8), (5, 9), (6, 8), (7, 7), (8, 6), (9, 5), (10, 4), (11, 3)]
        for x, y in points:
            for dy in range(3):
                if y + dy < 13:
                    px[y + dy][x] = BLACK
    return px


def grid_mark(kind):
    px = canvas(11, 11, WHITE)

    def tri(x0):  # a right-pointing arrow whose tip is at x0 + 3
        for i in range(4):
            for y in range(5 - i, 6 + i):
                px[y][x0 + 3 - i] = BLACK

    def dot(cx, cy):
        for y in range(cy - 1, cy + 2):
            for x in range(cx - 1, cx + 2):
                px[y][x] = BLACK

    if kind == "arrow":
        tri(5)
    elif kind == "edit":  # an I-beam: the row is being edited
        for y in range(2, 9):
            px[y][5] = BLACK
        for x in (3, 4, 6, 7):
            px[2][x] = BLACK
            px[8][x] = BLACK
    elif kind == "insert":  # an asterisk: a new row
        for i in range(2, 9):
            px[5][i] = BLACK
            px[i][5] = BLACK
        for i in range(3, 8):
            px[i][i] = BLACK
            px[i][10 - i] = BLACK
    elif kind == "multidot":
        dot(5, 5)
    elif kind == "multiarrow":
        tri(6)
        dot(2, 5)
    return px


def icon_image(size, online=True):
    """Three peers (filled circles) joined by lines on a dark teal disc
    (grey, with grey peers, for the offline picture).

    Outside the disc the mask is 1 and the colour black, so that the
    background shows there unchanged."""
    bg = (0, 0, 0)
    teal = (0, 96, 112) if online else (96, 96, 96)
    light = (240, 240, 240) if online else (176, 176, 176)
    px = canvas(size, size, bg)
    mask = [[1] * size for _ in range(size)]
    c = (size - 1) / 2
    r = size / 2 - 0.5
    for y in range(size):
        for x in range(size):
            if (x - c) ** 2 + (y - c) ** 2 <= r * r:
                px[y][x] = teal
                mask[y][x] = 0
    s = size / 32
    nodes = [(16 * s, 8 * s), (8 * s, 22 * s), (24 * s, 22 * s)]

    def line(a, b):
        steps = int(max(abs(a[0] - b[0]), abs(a[1] - b[1])) * 2) + 1
        for i in range(steps + 1):
            t = i / steps
            x, y = a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t
            for dx in range(-int(s), int(s) + 1) if size >= 32 else (0,):
                xi, yi = int(round(x + dx * 0.5)), int(round(y))
                if 0 <= xi < size and 0 <= yi < size:
                    px[yi][xi] = light

    for i in range(3):
        line(nodes[i], nodes[(i + 1) % 3])
    rad = 3.5 * s + 0.5
    for nx, ny in nodes:
        for y in range(size):
            for x in range(size):
                if (x - nx) ** 2 + (y - ny) ** 2 <= rad * rad:
                    px[y][x] = light
    return px, mask


MAGENTA = (255, 0, 255)
DARK = (40, 40, 48)


def fill_rect(px, x0, y0, x1, y1, colour):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            px[y][x] = colour


def frame_rect(px, x0, y0, x1, y1, colour):
    for x in range(x0, x1 + 1):
        px[y0][x] = px[y1][x] = colour
    for y in range(y0, y1 + 1):
        px[y][x0] = px[y][x1] = colour


def disc(px, cx, cy, r, colour):
    for y in range(len(px)):
        for x in range(len(px[0])):
            if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                px[y][x] = colour


def thick_line(px, a, b, colour, width=1):
    steps = int(max(abs(a[0] - b[0]), abs(a[1] - b[1])) * 2) + 1
    for i in range(steps + 1):
        t = i / steps
        x, y = a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t
        for dy in range(width):
            for dx in range(width):
                xi, yi = int(round(x)) + dx, int(round(y)) + dy
                if 0 <= yi < len(px) and 0 <= xi < len(px[0]):
                    px[yi][xi] = colour


def vertical_arrow(px, colour, up):
    """A broad arrow in the upper part of a 24 x 24 picture over a tray line."""
    tip, base = (2, 11) if up else (15, 6)
    for i in range(8):
        y = tip + i if up else tip - i
        fill_rect(px, 11 - i, y, 12 + i, y, colour)
    shaft = (10, 18) if up else (2, 9)
    fill_rect(px, 9, shaft[0], 14, shaft[1], colour)
    fill_rect(px, 3, 20, 20, 21, DARK)
    fill_rect(px, 3, 17, 4, 21, DARK)
    fill_rect(px, 19, 17, 20, 21, DARK)


def button_image(kind):
    px = canvas(24, 24, MAGENTA)
    if kind == "search":
        disc(px, 9.5, 9.5, 7.5, DARK)
        disc(px, 9.5, 9.5, 5.5, (200, 230, 250))
        thick_line(px, (14, 14), (20, 20), DARK, 3)
    elif kind == "downloads":
        vertical_arrow(px, (30, 150, 60), up=False)
    elif kind == "uploads":
        vertical_arrow(px, (40, 90, 200), up=True)
    elif kind == "shares":
        yellow, edge = (240, 200, 70), (150, 110, 20)
        fill_rect(px, 2, 5, 9, 7, edge)
        fill_rect(px, 2, 7, 21, 19, edge)
        fill_rect(px, 3, 8, 20, 18, yellow)
    elif kind == "messages":
        fill_rect(px, 2, 3, 21, 15, DARK)
        fill_rect(px, 3, 4, 20, 14, WHITE)
        for i in range(5):
            fill_rect(px, 6, 15 + i, 6 + 4 - i, 15 + i, DARK)
        for y in (7, 10):
            fill_rect(px, 6, y, 17, y, GREY)
    elif kind == "networks":
        teal = (0, 96, 112)
        nodes = [(12, 4), (4, 19), (19, 19)]
        for i in range(3):
            thick_line(px, nodes[i], nodes[(i + 1) % 3], teal, 2)
        for nx, ny in nodes:
            disc(px, nx, ny, 3.5, teal)
    elif kind == "server":
        fill_rect(px, 5, 2, 18, 21, DARK)
        for y in (4, 10, 16):
            fill_rect(px, 7, y, 16, y + 3, (170, 170, 180))
            px[y + 1][14] = (40, 200, 60)
    return px


def opennap_icon():
    px = canvas(16, 16, BLACK)
    mask = [[1] * 16 for _ in range(16)]
    for y in range(1, 15):
        for x in range(3, 13):
            mask[y][x] = 0
    fill_rect(px, 3, 1, 12, 14, DARK)
    for y in (3, 7, 11):
        fill_rect(px, 5, y, 10, y + 1, (170, 170, 180))
        px[y][9] = (40, 200, 60)
    return px, mask


def ico_bytes(images):
    """An .ico of (pixels, mask) images: 24-bit colour with a 1-bit mask each."""
    entries, blobs = [], []
    offset = 6 + 16 * len(images)
    for px, mask in images:
        h, w = len(px), len(px[0])
        xor = bottom_up_bgr(px)
        mstride = (w + 31) // 32 * 4
        andbits = bytearray()
        for row in reversed(mask):
            line = bytearray(mstride)
            for x, bit in enumerate(row):
                if bit:
                    line[x // 8] |= 0x80 >> (x % 8)
            andbits += line
        header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 24, 0, len(xor) + len(andbits), 0, 0, 0, 0)
        blob = header + xor + andbits
        entries.append(struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 24, len(blob), offset))
        blobs.append(blob)
        offset += len(blob)
    return struct.pack("<HHH", 0, 1, len(images)) + b"".join(entries) + b"".join(blobs)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out = os.path.join(root, "gui", "res")
    os.makedirs(out, exist_ok=True)
    bitmaps = {
        "LEFTSCROLL": arrow(6, 10, "left"),
        "RIGHTSCROLL": arrow(6, 10, "right"),
        "TOPSCROLL": arrow(9, 6, "up"),
        "BOTTOMSCROLL": arrow(9, 6, "down"),
        "CHECKED": check_box(True),
        "UNCHECKED": check_box(False),
        "GRID_ARROW": grid_mark("arrow"),
        "GRID_EDIT": grid_mark("edit"),
        "GRID_INSERT": grid_mark("insert"),
        "GRID_MULTIDOT": grid_mark("multidot"),
        "GRID_MULTIARROW": grid_mark("multiarrow"),
    }
    # Paths from the source root (an include folder of the resource
    # compiler). Names are quoted (CHECKED is a keyword), and a LANGUAGE
    # statement stands between entries so that the compiler does not join a
    # name to the file name before it.
    rc = ["// Written by tools/make_resources.py: the program's bitmaps and icon.",
          "LANGUAGE 0, 0",
          'MAINICON ICON "gui/res/tarnwick.ico"']
    for name, px in bitmaps.items():
        with open(os.path.join(out, name.lower() + ".bmp"), "wb") as f:
            f.write(bmp_bytes(px))
        rc.append("LANGUAGE 0, 0")
        rc.append('"%s" BITMAP "gui/res/%s.bmp"' % (name, name.lower()))
    with open(os.path.join(out, "tarnwick.ico"), "wb") as f:
        f.write(ico_bytes([icon_image(32), icon_image(16)]))
    with open(os.path.join(out, "resources.rc"), "w") as f:
        f.write("\n".join(rc) + "\n")

    app_out = os.path.join(root, "app", "res")
    os.makedirs(app_out, exist_ok=True)
    kinds = ["search", "downloads", "uploads", "shares", "messages", "networks", "server"]
    strip = [sum((button_image(k)[y] for k in kinds), []) for y in range(24)]
    with open(os.path.join(app_out, "mainbuttons.bmp"), "wb") as f:
        f.write(bmp_bytes(strip))
    with open(os.path.join(app_out, "opennap.ico"), "wb") as f:
        f.write(ico_bytes([opennap_icon()]))
    with open(os.path.join(app_out, "offline.ico"), "wb") as f:
        f.write(ico_bytes([icon_image(32, False), icon_image(16, False)]))
    # One script with the window layer's resources: icons numbered apart in
    # two scripts would collide when they are linked together.
    app_rc = ["// Written by tools/make_resources.py: the main window's pictures and",
              "// the window layer's resources.",
              '#include "gui/res/resources.rc"',
              "LANGUAGE 0, 0",
              '"MAINBUTTONS" BITMAP "app/res/mainbuttons.bmp"',
              "LANGUAGE 0, 0",
              'OPENNAPICON ICON "app/res/opennap.ico"',
              "LANGUAGE 0, 0",
              'OFFLINEICON ICON "app/res/offline.ico"']
    with open(os.path.join(app_out, "app.rc"), "w") as f:
        f.write("\n".join(app_rc) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
