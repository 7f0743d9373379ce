#!/usr/bin/python3
"""Draws the manager's icons and bitmaps and writes them beside this script:
icons 128 (program), 134 to 136 (sound, mail and storage pages), 137
(settings: the manager's dialog and the reception page), 139 (sound test
button), 141 (no alert), 142 (alert), 143 (SNMPv3 page: a padlock), 144 (rules page: a funnel); bitmap 130 (list images: red ball, cyan ball) and
bitmap 132 (toolbar: open folder, window, list, red cross, question mark,
exclamation). Plain Python, no imaging library: run it again after a change
and commit what it writes."""

import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
CLEAR = None


class Canvas:
    def __init__(self, width, height, fill=CLEAR):
        self.w, self.h = width, height
        self.px = [[fill] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = colour

    def rect(self, x0, y0, x1, y1, colour):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, colour)

    def frame(self, x0, y0, x1, y1, colour):
        for x in range(x0, x1 + 1):
            self.put(x, y0, colour)
            self.put(x, y1, colour)
        for y in range(y0, y1 + 1):
            self.put(x0, y, colour)
            self.put(x1, y, colour)

    def ball(self, cx, cy, r, colour, light):
        for y in range(self.h):
            for x in range(self.w):
                d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
                if d <= r:
                    shine = max(0.0, 1 - math.hypot(x + 0.5 - (cx - r / 3), y + 0.5 - (cy - r / 3)) / r)
                    self.put(x, y, tuple(int(c + (l - c) * shine) for c, l in zip(colour, light)))

    def triangle(self, top, bottom_left, bottom_right, colour):
        (tx, ty), (lx, ly), (rx, _) = top, bottom_left, bottom_right
        for y in range(ty, ly + 1):
            f = (y - ty) / max(1, ly - ty)
            self.rect(round(tx + (lx - tx) * f), y, round(tx + (rx - tx) * f), y, colour)

    def line(self, x0, y0, x1, y1, colour, width=1):
        steps = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(steps + 1):
            x = round(x0 + (x1 - x0) * i / steps)
            y = round(y0 + (y1 - y0) * i / steps)
            self.rect(x - width // 2, y - width // 2, x + (width - 1) // 2, y + (width - 1) // 2, colour)


BLACK, WHITE = (0, 0, 0), (255, 255, 255)
RED, DARK_RED = (220, 30, 30), (128, 0, 0)
CYAN, BLUE, NAVY = (0, 200, 220), (40, 90, 200), (20, 40, 110)
GREEN, YELLOW, GREY = (30, 160, 60), (250, 210, 30), (128, 128, 128)
ORANGE = (240, 140, 20)


def program_icon(size):
    c = Canvas(size, size)
    s = size / 32
    c.ball(16 * s, 18 * s, 12 * s, BLUE, (170, 200, 255))
    c.line(round(16 * s), round(2 * s), round(16 * s), round(9 * s), NAVY, max(1, round(2 * s)))
    c.ball(16 * s, 3 * s, 2.5 * s, RED, (255, 200, 200))
    c.rect(round(9 * s), round(15 * s), round(23 * s), round(22 * s), WHITE)
    c.line(round(9 * s), round(15 * s), round(16 * s), round(19 * s), NAVY)
    c.line(round(23 * s), round(15 * s), round(16 * s), round(19 * s), NAVY)
    return c


def page_icon(size, colour, mark):
    c = Canvas(size, size)
    s = size / 32
    c.rect(round(4 * s), round(3 * s), round(27 * s), round(28 * s), WHITE)
    c.frame(round(4 * s), round(3 * s), round(27 * s), round(28 * s), NAVY)
    c.rect(round(4 * s), round(3 * s), round(27 * s), round(8 * s), colour)
    mark(c, s)
    return c


def gear(c, s):
    c.ball(16 * s, 18 * s, 6 * s, GREY, WHITE)
    c.ball(16 * s, 18 * s, 2 * s, WHITE, WHITE)


def envelope(c, s):
    c.frame(round(8 * s), round(12 * s), round(24 * s), round(24 * s), NAVY)
    c.line(round(8 * s), round(12 * s), round(16 * s), round(19 * s), NAVY)
    c.line(round(24 * s), round(12 * s), round(16 * s), round(19 * s), NAVY)


def speaker(c, s):
    c.rect(round(9 * s), round(15 * s), round(13 * s), round(21 * s), NAVY)
    c.triangle((round(13 * s), round(11 * s)), (round(13 * s), round(25 * s)), (round(19 * s), round(25 * s)), NAVY)
    c.line(round(22 * s), round(13 * s), round(22 * s), round(23 * s), BLUE)


def disk(c, s):
    c.rect(round(9 * s), round(12 * s), round(23 * s), round(25 * s), NAVY)
    c.rect(round(12 * s), round(12 * s), round(20 * s), round(16 * s), WHITE)


def padlock(c, s):
    for x0, x1 in ((11, 12), (20, 21)):
        c.rect(round(x0 * s), round(13 * s), round(x1 * s), round(17 * s), GREY)
    c.rect(round(11 * s), round(11 * s), round(21 * s), round(12 * s), GREY)
    c.rect(round(9 * s), round(17 * s), round(23 * s), round(26 * s), YELLOW)
    c.frame(round(9 * s), round(17 * s), round(23 * s), round(26 * s), NAVY)
    c.rect(round(15 * s), round(20 * s), round(17 * s), round(23 * s), NAVY)


def funnel(c, s):
    for y in range(round(11 * s), round(19 * s) + 1):
        half = 8 * s * (1 - (y - 11 * s) / (9 * s)) + 1 * s
        c.rect(round(16 * s - half), y, round(16 * s + half) - 1, y, BLUE)
    c.rect(round(7 * s), round(10 * s), round(25 * s) - 1, round(11 * s), NAVY)
    c.rect(round(15 * s), round(19 * s), round(17 * s) - 1, round(26 * s), NAVY)


def play_icon(size):
    """The sound page's test button: a green ball with a white play mark."""
    c = Canvas(size, size)
    s = size / 32
    c.ball(16 * s, 16 * s, 14 * s, GREEN, (180, 240, 180))
    for y in range(round(9 * s), round(23 * s) + 1):
        reach = 1 - abs(y - 16 * s) / (7 * s)
        c.rect(round(12 * s), y, round(12 * s + 11 * s * reach), y, WHITE)
    return c


def quiet_icon(size):
    c = Canvas(size, size)
    s = size / 32
    c.ball(16 * s, 16 * s, 14 * s, GREEN, (180, 240, 180))
    c.line(round(9 * s), round(16 * s), round(14 * s), round(22 * s), WHITE, max(1, round(3 * s)))
    c.line(round(14 * s), round(22 * s), round(23 * s), round(10 * s), WHITE, max(1, round(3 * s)))
    return c


def alert_icon(size):
    c = Canvas(size, size)
    s = size / 32
    c.triangle((round(16 * s), round(2 * s)), (round(1 * s), round(29 * s)), (round(30 * s), round(29 * s)), RED)
    c.triangle((round(16 * s), round(7 * s)), (round(5 * s), round(27 * s)), (round(26 * s), round(27 * s)), YELLOW)
    c.rect(round(15 * s), round(11 * s), round(17 * s), round(21 * s), BLACK)
    c.rect(round(15 * s), round(23 * s), round(17 * s), round(25 * s), BLACK)
    return c


def list_images():
    """Bitmap 130: two 16 x 16 images on the mask colour RGB(128, 0, 0)."""
    c = Canvas(32, 16, DARK_RED)
    c.ball(8, 8, 6, RED, (255, 200, 200))
    c.ball(24, 8, 6, CYAN, (220, 255, 255))
    return c


def toolbar_images():
    """Bitmap 132: six 16 x 15 images on grey."""
    c = Canvas(96, 15, (192, 192, 192))
    # open folder
    c.rect(1, 4, 12, 12, YELLOW)
    c.frame(1, 4, 12, 12, (150, 110, 0))
    c.rect(1, 3, 5, 4, YELLOW)
    # window
    c.rect(17, 2, 30, 12, WHITE)
    c.frame(17, 2, 30, 12, NAVY)
    c.rect(17, 2, 30, 4, BLUE)
    # list
    for y in (3, 6, 9, 12):
        c.rect(34, y, 35, y + 1, NAVY)
        c.rect(37, y, 46, y + 1, BLACK)
    # red cross
    c.line(51, 2, 61, 12, RED, 2)
    c.line(61, 2, 51, 12, RED, 2)
    # question mark
    c.ball(72, 7, 6.5, BLUE, (170, 200, 255))
    c.rect(71, 10, 72, 11, WHITE)
    c.line(69, 4, 74, 4, WHITE)
    c.line(74, 4, 74, 7, WHITE)
    c.line(74, 7, 72, 8, WHITE)
    # exclamation
    c.triangle((88, 1), (81, 13), (95, 13), YELLOW)
    c.rect(87, 5, 88, 9, BLACK)
    c.rect(87, 11, 88, 12, BLACK)
    return c


def bmp_bytes(canvas):
    row = (canvas.w * 3 + 3) & ~3
    pixels = b""
    for y in reversed(range(canvas.h)):
        line = b"".join(bytes((p[2], p[1], p[0])) for p in canvas.px[y])
        pixels += line + b"\0" * (row - len(line))
    header = struct.pack("<IiiHHIIiiII", 40, canvas.w, canvas.h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return struct.pack("<2sIHHI", b"BM", 14 + len(header) + len(pixels), 0, 0, 54) + header + pixels


def ico_bytes(canvases):
    images = []
    for c in canvases:
        colour = b"".join(bytes((p[2], p[1], p[0], 255)) if p else b"\0\0\0\0"
                          for y in reversed(range(c.h)) for p in c.px[y])
        mask_row = ((c.w + 31) // 32) * 4
        mask = b""
        for y in reversed(range(c.h)):
            bits = 0
            for x in range(c.w):
                bits = bits << 1 | (1 if c.px[y][x] is None else 0)
            mask += bits.to_bytes((c.w + 7) // 8, "big").ljust(mask_row, b"\0")
        header = struct.pack("<IiiHHIIiiII", 40, c.w, c.h * 2, 1, 32, 0, len(colour) + len(mask), 0, 0, 0, 0)
        images.append(header + colour + mask)
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for c, data in zip(canvases, images):
        out += struct.pack("<BBBBHHII", c.w, c.h, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def write(name, data):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


def main():
    both = lambda draw: ico_bytes([draw(32), draw(16)])
    write("palomir.ico", both(program_icon))
    pages = {"sheet_sound.ico": (RED, speaker), "sheet_mail.ico": (YELLOW, envelope),
             "sheet_storage.ico": (BLUE, disk), "settings.ico": (GREY, gear), "sheet_snmpv3.ico": (GREEN, padlock),
             "sheet_rules.ico": (ORANGE, funnel)}
    for name, (colour, mark) in pages.items():
        write(name, both(lambda size, colour=colour, mark=mark: page_icon(size, colour, mark)))
    write("sound_test.ico", both(play_icon))
    write("alert_quiet.ico", both(quiet_icon))
    write("alert_warning.ico", both(alert_icon))
    write("list_images.bmp", bmp_bytes(list_images()))
    write("toolbar.bmp", bmp_bytes(toolbar_images()))


if __name__ == "__main__":
    main()
