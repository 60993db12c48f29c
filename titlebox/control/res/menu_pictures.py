#!/usr/bin/env python3
"""Draws the context menu's pictures (bitmap 202): a strip of 19 x 19
pictures, 16 colours, on the light grey that the menu drawer masks out.
The order is the one the toolbar resource 202 in lumicard.rc lists.

    menu_pictures.py OUT.bmp
"""
import struct
import sys

SIZE = 19
# Palette: index -> (r, g, b).  Greys 0x808080, 0xC0C0C0 and white are the
# ones the drawer maps to the system's 3-D colours.
PALETTE = {
    '.': (0xC0, 0xC0, 0xC0), 'k': (0, 0, 0), 'g': (0x80, 0x80, 0x80), 'w': (0xFF, 0xFF, 0xFF),
    'r': (0xC0, 0, 0), 'R': (0xFF, 0, 0), 'b': (0, 0, 0x80), 'B': (0, 0, 0xFF),
    'y': (0xC0, 0xA0, 0), 'Y': (0xFF, 0xFF, 0), 'G': (0, 0x80, 0), 'L': (0, 0xFF, 0),
    'c': (0, 0x80, 0x80), 'C': (0, 0xFF, 0xFF), 'm': (0x80, 0, 0x80), 'o': (0xFF, 0x80, 0),
}
KEYS = list(PALETTE)


class Picture:
    def __init__(self):
        self.px = [['.'] * SIZE for _ in range(SIZE)]

    def put(self, x, y, c):
        if 0 <= x < SIZE and 0 <= y < SIZE:
            self.px[y][x] = c

    def fill(self, x0, y0, x1, y1, c):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, c)

    def frame(self, x0, y0, x1, y1, c):
        for x in range(x0, x1 + 1):
            self.put(x, y0, c)
            self.put(x, y1, c)
        for y in range(y0, y1 + 1):
            self.put(x0, y, c)
            self.put(x1, y, c)

    def box(self, x0, y0, x1, y1, inside, edge='k'):
        self.fill(x0, y0, x1, y1, inside)
        self.frame(x0, y0, x1, y1, edge)

    def line(self, x0, y0, x1, y1, c):
        n = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(n + 1):
            self.put(round(x0 + (x1 - x0) * i / n), round(y0 + (y1 - y0) * i / n), c)

    def page(self, x0, y0, x1, y1):
        self.box(x0, y0, x1, y1, 'w')
        for x in range(x1 - 3, x1 + 1):
            for y in range(y0, y0 + 4 - (x1 - x)):
                self.put(x, y, '.')
        self.line(x1 - 4, y0, x1, y0 + 4, 'k')
        self.line(x1 - 4, y0, x1 - 4, y0 + 4, 'k')
        self.line(x1 - 4, y0 + 4, x1, y0 + 4, 'k')

    def text_lines(self, x0, y0, x1, y1, c='g'):
        for y in range(y0, y1 + 1, 2):
            self.line(x0, y, x1, y, c)

    def arrow_up(self, cx, top, length, c):
        self.line(cx, top, cx, top + length, c)
        self.line(cx - 1, top, cx - 1, top + length, c)
        for i in range(4):
            self.line(cx - 1 - i, top + i, cx + i, top + i, c)

    def arrow_down(self, cx, bottom, length, c):
        self.line(cx, bottom - length, cx, bottom, c)
        self.line(cx - 1, bottom - length, cx - 1, bottom, c)
        for i in range(4):
            self.line(cx - 1 - i, bottom - i, cx + i, bottom - i, c)


def new():
    p = Picture()
    p.page(3, 1, 15, 17)
    return p


def open_():
    p = Picture()
    p.box(1, 5, 15, 16, 'y')
    p.box(1, 3, 7, 5, 'y')
    p.fill(4, 9, 17, 16, 'Y')
    p.line(4, 9, 17, 9, 'k')
    p.line(17, 9, 15, 16, 'k')
    p.line(4, 9, 1, 16, 'k')
    return p


def save():
    p = Picture()
    p.box(2, 2, 16, 16, 'b')
    p.box(5, 2, 13, 8, 'w')
    p.fill(6, 11, 12, 16, 'g')
    p.fill(10, 12, 11, 15, 'k')
    return p


def cut():
    p = Picture()
    p.line(6, 1, 11, 11, 'k')
    p.line(12, 1, 7, 11, 'k')
    for cx in (5, 13):
        p.frame(cx - 3, 11, cx + 1, 16, 'b')
    p.put(9, 6, 'g')
    return p


def copy():
    p = Picture()
    p.page(1, 1, 10, 12)
    p.text_lines(3, 5, 7, 10)
    p.page(7, 6, 16, 17)
    p.text_lines(9, 10, 13, 15)
    return p


def paste():
    p = Picture()
    p.box(2, 3, 13, 17, 'y')
    p.box(5, 1, 10, 4, 'g')
    p.page(8, 7, 17, 17)
    p.text_lines(10, 11, 14, 15)
    return p


def delete():
    p = Picture()
    for d in range(3):
        p.line(3 + d, 3, 15, 15 - d, 'r')
        p.line(3, 3 + d, 15 - d, 15, 'r')
        p.line(15 - d, 3, 3, 15 - d, 'r')
        p.line(15, 3 + d, 3 + d, 15, 'r')
    return p


def image():
    p = Picture()
    p.box(1, 3, 17, 15, 'C')
    p.fill(2, 10, 16, 14, 'G')
    p.line(2, 10, 7, 6, 'G')
    p.line(7, 6, 12, 10, 'G')
    p.fill(12, 5, 14, 7, 'Y')
    return p


def text():
    p = Picture()
    p.page(2, 1, 14, 17)
    p.fill(5, 5, 11, 6, 'b')
    p.fill(8, 5, 8, 14, 'b')
    p.fill(7, 5, 7, 14, 'b')
    return p


def motion():
    p = Picture()
    p.box(1, 4, 17, 14, 'k')
    for x in range(2, 17, 3):
        p.put(x, 5, 'w')
        p.put(x, 13, 'w')
    p.fill(4, 7, 14, 11, 'c')
    p.line(6, 9, 12, 9, 'Y')
    p.line(10, 7, 12, 9, 'Y')
    p.line(10, 11, 12, 9, 'Y')
    return p


def export():
    p = Picture()
    p.page(1, 1, 11, 17)
    p.text_lines(3, 6, 8, 14)
    p.fill(9, 8, 14, 10, 'G')
    for i in range(4):
        p.line(14 + i, 5 + i, 14 + i, 13 - i, 'G')
    return p


def background():
    p = Picture()
    p.box(1, 1, 17, 17, 'w')
    p.fill(3, 3, 8, 8, 'R')
    p.fill(10, 3, 15, 8, 'L')
    p.fill(3, 10, 8, 15, 'B')
    p.fill(10, 10, 15, 15, 'Y')
    return p


def default():
    p = Picture()
    for d in range(3):
        p.line(2, 9 + d, 7, 14 + d, 'G')
        p.line(7, 14 + d, 16, 3 + d, 'G')
    return p


def front():
    p = Picture()
    p.box(1, 1, 10, 10, 'w', 'g')
    p.box(7, 7, 17, 17, 'B')
    return p


def back():
    p = Picture()
    p.box(7, 7, 17, 17, 'B')
    p.box(1, 1, 10, 10, 'w', 'g')
    return p


def forward():
    p = Picture()
    p.box(1, 8, 8, 17, 'w', 'g')
    p.box(5, 11, 12, 17, 'B')
    p.arrow_up(14, 1, 9, 'G')
    return p


def backward():
    p = Picture()
    p.box(5, 1, 12, 8, 'B')
    p.box(1, 4, 8, 11, 'w', 'g')
    p.arrow_down(14, 17, 9, 'G')
    return p


PICTURES = [new, open_, save, cut, copy, paste, delete, image, text, motion, export, background, default,
            front, back, forward, backward]


def write_bmp(path, pictures):
    w, h = SIZE * len(pictures), SIZE
    stride = ((w * 4 + 31) // 32) * 4
    rows = []
    for y in range(h - 1, -1, -1):  # bottom-up
        row = bytearray(stride)
        for i, pic in enumerate(pictures):
            for x in range(SIZE):
                idx = KEYS.index(pic.px[y][x])
                X = i * SIZE + x
                row[X // 2] |= idx << (4 if X % 2 == 0 else 0)
        rows.append(bytes(row))
    palette = b''.join(bytes((b, g, r, 0)) for (r, g, b) in PALETTE.values())
    bits = b''.join(rows)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 4, 0, len(bits), 2835, 2835, 16, 0)
    off = 14 + len(info) + len(palette)
    head = struct.pack('<2sIHHI', b'BM', off + len(bits), 0, 0, off)
    with open(path, 'wb') as f:
        f.write(head + info + palette + bits)


if __name__ == '__main__':
    write_bmp(sys.argv[1], [f() for f in PICTURES])
