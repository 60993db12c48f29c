#!/usr/bin/env python3
"""Draws the mixer's skin: every bitmap, icon and cursor of the program and
of the skinned controls, at the sizes and marker colours the windows use,
and writes skin.rc naming them by resource number.

    make_skin.py OUTDIR

The pictures are plain shapes and a small pixel font; this script is their
source (nothing drawn here is kept in the repository)."""
import os
import struct
import sys

OUT = sys.argv[1]
os.makedirs(OUT, exist_ok=True)
entries = []

FONT = {
    'A': ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    'B': ["11110", "10001", "10001", "11110", "10001", "10001", "11110"],
    'C': ["01110", "10001", "10000", "10000", "10000", "10001", "01110"],
    'D': ["11110", "10001", "10001", "10001", "10001", "10001", "11110"],
    'E': ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    'F': ["11111", "10000", "10000", "11110", "10000", "10000", "10000"],
    'G': ["01110", "10001", "10000", "10111", "10001", "10001", "01111"],
    'H': ["10001", "10001", "10001", "11111", "10001", "10001", "10001"],
    'I': ["01110", "00100", "00100", "00100", "00100", "00100", "01110"],
    'J': ["00111", "00010", "00010", "00010", "00010", "10010", "01100"],
    'K': ["10001", "10010", "10100", "11000", "10100", "10010", "10001"],
    'L': ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    'M': ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    'N': ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    'O': ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    'P': ["11110", "10001", "10001", "11110", "10000", "10000", "10000"],
    'Q': ["01110", "10001", "10001", "10001", "10101", "10010", "01101"],
    'R': ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    'S': ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    'T': ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    'U': ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    'V': ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    'W': ["10001", "10001", "10001", "10101", "10101", "10101", "01010"],
    'X': ["10001", "10001", "01010", "00100", "01010", "10001", "10001"],
    'Y': ["10001", "10001", "01010", "00100", "00100", "00100", "00100"],
    'Z': ["11111", "00001", "00010", "00100", "01000", "10000", "11111"],
    '1': ["00100", "01100", "00100", "00100", "00100", "00100", "01110"],
    '2': ["01110", "10001", "00001", "00010", "00100", "01000", "11111"],
    '3': ["11110", "00001", "00001", "01110", "00001", "00001", "11110"],
    '4': ["00010", "00110", "01010", "10010", "11111", "00010", "00010"],
    '5': ["11111", "10000", "11110", "00001", "00001", "10001", "01110"],
    '0': ["01110", "10001", "10011", "10101", "11001", "10001", "01110"],
    '+': ["00000", "00100", "00100", "11111", "00100", "00100", "00000"],
    '-': ["00000", "00000", "00000", "11111", "00000", "00000", "00000"],
    ' ': ["00000"] * 7,
}


class Pic:
    def __init__(self, w, h, colour=(0, 0, 0)):
        self.w, self.h = w, h
        self.px = [[colour] * w for _ in range(h)]

    def rect(self, x, y, w, h, c):
        for j in range(max(0, y), min(self.h, y + h)):
            row = self.px[j]
            for i in range(max(0, x), min(self.w, x + w)):
                row[i] = c

    def frame(self, x, y, w, h, c):
        self.rect(x, y, w, 1, c)
        self.rect(x, y + h - 1, w, 1, c)
        self.rect(x, y, 1, h, c)
        self.rect(x + w - 1, y, 1, h, c)

    def vgrad(self, x, y, w, h, top, bottom):
        for j in range(h):
            t = j / max(1, h - 1)
            c = tuple(int(top[k] + (bottom[k] - top[k]) * t) for k in range(3))
            self.rect(x, y + j, w, 1, c)

    def text(self, x, y, s, c, scale=1):
        for ch in s.upper():
            g = FONT.get(ch, FONT[' '])
            for j, row in enumerate(g):
                for i, bit in enumerate(row):
                    if bit == '1':
                        self.rect(x + i * scale, y + j * scale, scale, scale, c)
            x += 6 * scale

    def text_centre(self, s, c, scale=1, dy=0):
        w = len(s) * 6 * scale - scale
        self.text((self.w - w) // 2, (self.h - 7 * scale) // 2 + dy, s, c, scale)

    def tri(self, cx, cy, size, direction, c):
        """A filled arrow head pointing left/right/up/down."""
        for k in range(size):
            if direction in ('left', 'right'):
                x = cx - size // 2 + k if direction == 'left' else cx + size // 2 - k
                self.rect(x, cy - k // 2 if direction else 0, 1, k + 1 if k else 1, c)
            else:
                y = cy - size // 2 + k if direction == 'up' else cy + size // 2 - k
                self.rect(cx - k // 2, y, k + 1 if k else 1, 1, c)

    def bmp(self):
        stride = (self.w * 3 + 3) & ~3
        data = bytearray()
        for row in reversed(self.px):
            line = bytearray()
            for (r, g, b) in row:
                line += bytes((b, g, r))
            line += b'\0' * (stride - len(line))
            data += line
        head = struct.pack('<2sIHHI', b'BM', 54 + len(data), 0, 0, 54)
        info = struct.pack('<IiiHHIIiiII', 40, self.w, self.h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
        return head + info + bytes(data)


def save_bitmap(rid, pic, name):
    path = os.path.join(OUT, name + '.bmp')
    with open(path, 'wb') as f:
        f.write(pic.bmp())
    entries.append('%d BITMAP "%s"' % (rid, os.path.basename(path)))


def save_icon(rid, pics, name):
    """An icon of 32-bit images (with an all-opaque AND mask)."""
    blobs = []
    for p in pics:
        xor = bytearray()
        for row in reversed(p.px):
            for (r, g, b) in row:
                xor += bytes((b, g, r, 255))
        mask_stride = ((p.w + 31) // 32) * 4
        andmask = b'\0' * (mask_stride * p.h)
        head = struct.pack('<IiiHHIIiiII', 40, p.w, p.h * 2, 1, 32, 0, len(xor) + len(andmask), 0, 0, 0, 0)
        blobs.append(head + bytes(xor) + andmask)
    out = struct.pack('<HHH', 0, 1, len(pics))
    offset = 6 + 16 * len(pics)
    for p, b in zip(pics, blobs):
        out += struct.pack('<BBBBHHII', p.w, p.h, 0, 0, 1, 32, len(b), offset)
        offset += len(b)
    path = os.path.join(OUT, name + '.ico')
    with open(path, 'wb') as f:
        f.write(out + b''.join(blobs))
    entries.append('%d ICON "%s"' % (rid, os.path.basename(path)))


def save_cursor(rid, shape, hot, name):
    """A 32x32 monochrome cursor from rows of ' ', 'X' (black), 'o' (white)."""
    rows = (shape + [''] * 32)[:32]
    xor = bytearray()
    andm = bytearray()
    for row in reversed(rows):
        row = row.ljust(32)
        xb = 0
        ab = 0
        for i, ch in enumerate(row):
            xb <<= 1
            ab <<= 1
            if ch == 'o':
                xb |= 1
            elif ch != 'X':
                ab |= 1
        xor += struct.pack('>I', xb)
        andm += struct.pack('>I', ab)
    head = struct.pack('<IiiHHIIiiII', 40, 32, 64, 1, 1, 0, 256, 0, 0, 2, 0)
    palette = bytes((0, 0, 0, 0, 255, 255, 255, 0))
    blob = head + palette + bytes(xor) + bytes(andm)
    out = struct.pack('<HHH', 0, 2, 1) + struct.pack('<BBBBHHII', 32, 32, 2, 0, hot[0], hot[1], len(blob), 22)
    path = os.path.join(OUT, name + '.cur')
    with open(path, 'wb') as f:
        f.write(out + blob)
    entries.append('%d CURSOR "%s"' % (rid, os.path.basename(path)))


PANEL = (48, 52, 62)
DARK = (24, 26, 32)
EDGE = (110, 116, 130)
LIT = (255, 190, 40)
TEXT = (220, 224, 232)

# ---- the skinned controls' pieces ----
st = Pic(48, 16, (255, 0, 0))           # state images: 0 none, 1 unchecked, 2 checked (red is the mask)
for k in (1, 2):
    st.rect(16 * k + 2, 2, 12, 12, (255, 255, 255))
    st.frame(16 * k + 2, 2, 12, 12, (64, 64, 64))
for i in range(3):
    st.rect(32 + 4 + i, 7 + i, 1, 2, (0, 0, 0))
for i in range(5):
    st.rect(32 + 7 + i, 8 - i, 1, 2, (0, 0, 0))
save_bitmap(130, st, 'state_images')

def arrow(w, h, direction, enabled=True):
    p = Pic(w, h, (70, 76, 90) if enabled else (90, 90, 90))
    p.frame(0, 0, w, h, EDGE)
    p.tri(w // 2, h // 2, min(w, h) - 4, direction, (230, 230, 230) if enabled else (140, 140, 140))
    return p

save_bitmap(385, arrow(25, 12, 'left'), 'scroll_left')
save_bitmap(386, arrow(25, 12, 'right'), 'scroll_right')
save_bitmap(393, arrow(25, 12, 'left', False), 'scroll_disabled')
save_bitmap(383, arrow(10, 25, 'up'), 'scroll_up')
save_bitmap(391, arrow(10, 25, 'down'), 'scroll_down')
ch = Pic(1, 12, (90, 96, 108)); ch.rect(0, 0, 1, 1, (40, 40, 40)); ch.rect(0, 11, 1, 1, (140, 140, 140))
save_bitmap(384, ch, 'scroll_channel_h')
cv = Pic(12, 1, (90, 96, 108)); cv.rect(0, 0, 1, 1, (40, 40, 40)); cv.rect(11, 0, 1, 1, (140, 140, 140))
save_bitmap(389, cv, 'scroll_channel_v')

def thumb(w, h, horizontal, coloured):
    # Marker colours (as 0xBBGGRR values): 1 thumb colour, 2 gripper, 3 channel start, 4 channel end.
    fill = (0, 0, 1) if coloured else (150, 154, 164)
    p = Pic(w, h, fill)
    p.frame(0, 0, w, h, (30, 30, 30))
    if horizontal:
        p.rect(0, 0, 1, h, (0, 0, 3)); p.rect(w - 1, 0, 1, h, (0, 0, 4))
        for x in (w // 2 - 3, w // 2, w // 2 + 3):
            p.rect(x, 3, 1, h - 6, (0, 0, 2))
    else:
        p.rect(0, 0, w, 1, (0, 0, 3)); p.rect(0, h - 1, w, 1, (0, 0, 4))
        for y in (h // 2 - 3, h // 2, h // 2 + 3):
            p.rect(3, y, w - 6, 1, (0, 0, 2))
    return p

save_bitmap(387, thumb(25, 12, True, True), 'thumb_h')
save_bitmap(388, thumb(25, 12, True, False), 'thumb_h_plain')
save_bitmap(392, thumb(10, 25, False, True), 'thumb_v')
save_bitmap(390, thumb(10, 25, False, False), 'thumb_v_plain')

HAND = ["    XX", "   XooX", "   XooX", "   XooX", "   XooXXX", "   XooXooXXX", "XX XooXooXooXX",
        "XoXXooooooXooX", "XooXoooooooooX", " XoooooooooooX", "  XooooooooooX", "  XoooooooooX",
        "   XooooooooX", "   XoooooooX", "    XooooooX", "    XXXXXXXX"]
save_cursor(208, HAND, (5, 0), 'link')
SLIDER = ["X", "XX", "XoX", "XooX", "XoooX", "XooooX", "XoooooX", "XooooooX", "XoooooooX", "XooooXXXXX",
          "XoXooX", "XX XooX", "X  XooX", "    XooX", "    XooX", "     XX"]
save_cursor(337, SLIDER, (0, 0), 'slider')
GRIP = ["     XX", "    XooX", "   XooooX", "  XooooooX", "XXXXooooXXXX", "XooooooooooX", "XXXXooooXXXX",
        "  XooooooX", "   XooooX", "    XooX", "     XX"]
save_cursor(338, GRIP, (6, 5), 'slider_thumb')

# ---- the mixer's windows ----
CHANNEL_X = (36, 232, 428, 624, 819)
bg = Pic(1016, 769, PANEL)
bg.vgrad(0, 0, 1016, 22, (70, 76, 92), (36, 40, 50))
bg.text(440, 7, "CORVANE", TEXT)
for n, x in enumerate(CHANNEL_X):
    bg.rect(x - 6, 40, 172, 162, DARK)
    bg.frame(x - 6, 40, 172, 162, EDGE)
    bg.text(x, 46, "CH%d" % (n + 1), TEXT)
    bg.rect(x - 1, 62, 162, 122, (0, 0, 0))
    bg.rect(x + 1, 187, 90, 12, (0, 0, 0))
bg.rect(30, 262, 344, 286, DARK); bg.frame(30, 262, 344, 286, EDGE)
bg.rect(41, 271, 322, 242, (0, 0, 0))
bg.text(270, 248, "PROGRAM", TEXT)
bg.rect(408, 262, 350, 270, DARK); bg.frame(408, 262, 350, 270, EDGE)
bg.rect(754, 262, 230, 256, DARK); bg.frame(754, 262, 230, 256, EDGE)
bg.rect(280, 580, 704, 170, DARK); bg.frame(280, 580, 704, 170, EDGE)
bg.rect(30, 580, 240, 170, DARK); bg.frame(30, 580, 240, 170, EDGE)
bg.text(60, 584, "TRANSITIONS", TEXT)
bg.rect(169, 514, 66, 19, (0, 0, 0))
bg.rect(428, 595, 20, 13, (0, 0, 0))
bg.rect(769, 718, 20, 12, (0, 0, 0))
save_bitmap(382, bg, 'background')

def button(w, h, label, down, colour=(80, 88, 104), lit=LIT, scale=1):
    p = Pic(w, h)
    if down:
        p.vgrad(0, 0, w, h, (lit[0] // 2, lit[1] // 2, lit[2] // 3), lit)
    else:
        p.vgrad(0, 0, w, h, tuple(min(255, c + 30) for c in colour), colour)
    p.frame(0, 0, w, h, (20, 20, 24))
    if label:
        p.text_centre(label, (20, 20, 20) if down else TEXT, scale)
    return p

def glyph_button(w, h, draw, down):
    p = button(w, h, '', down)
    draw(p, (20, 20, 20) if down else (235, 235, 235))
    return p

TRANSPORT = [
    ('rewind', lambda p, c: (p.tri(3, 4, 5, 'left', c), p.tri(6, 4, 5, 'left', c))),
    ('stop', lambda p, c: p.rect(2, 2, 5, 5, c)),
    ('pause', lambda p, c: (p.rect(2, 2, 2, 5, c), p.rect(5, 2, 2, 5, c))),
    ('play', lambda p, c: p.tri(5, 4, 7, 'right', c)),
    ('forward', lambda p, c: (p.tri(3, 4, 5, 'right', c), p.tri(6, 4, 5, 'right', c))),
    ('open', lambda p, c: (p.rect(2, 5, 5, 2, c), p.tri(4, 3, 5, 'up', c))),
]
for k, (name, draw) in enumerate(TRANSPORT):
    save_bitmap(171 + 2 * k, glyph_button(9, 9, draw, False), 't_%s_up' % name)
    save_bitmap(172 + 2 * k, glyph_button(9, 9, draw, True), 't_%s_down' % name)

ind = Pic(67, 4, LIT); save_bitmap(183, ind, 'indicator_selected')
ind = Pic(67, 4, (60, 64, 72)); save_bitmap(184, ind, 'indicator_idle')
ind = Pic(67, 4, (230, 30, 30)); save_bitmap(185, ind, 'indicator_onair')

MENUS = ["PROJECT", "CHANNEL", "EFFECT", "CAPTURE", "ENCODING", "HELP"]
for k, m in enumerate(MENUS):
    w = len(m) * 6 + 12
    save_bitmap(190 + k, button(w, 22, m, False, (52, 58, 72)), 'menu_%d_up' % k)
    save_bitmap(196 + k, button(w, 22, m, True), 'menu_%d_down' % k)
save_bitmap(202, glyph_button(14, 12, lambda p, c: p.rect(3, 8, 8, 2, c), False), 'min_up')
save_bitmap(203, glyph_button(14, 12, lambda p, c: p.rect(3, 8, 8, 2, c), True), 'min_down')
def cross(p, c):
    for i in range(7):
        p.rect(3 + i, 2 + i, 2, 1, c); p.rect(9 - i, 2 + i, 2, 1, c)
save_bitmap(204, glyph_button(14, 12, cross, False), 'exit_up')
save_bitmap(205, glyph_button(14, 12, cross, True), 'exit_down')
save_bitmap(141, button(124, 19, "ENCODING", False), 'encoding_up')
save_bitmap(143, button(124, 19, "ENCODING", True, lit=(230, 40, 40)), 'encoding_down')
PAIRS = [
    (400, 52, 17, "SWITCH"), (402, 13, 15, "-"), (404, 13, 15, "+"), (406, 24, 24, "TV"),
    (408, 103, 19, "TITLE ON"), (410, 103, 19, "APPLY"),
    (412, 31, 26, "NEW"), (414, 31, 26, "OPEN"), (416, 31, 26, "SAVE"), (418, 31, 26, "IMG"),
    (420, 31, 26, "ALP"), (422, 31, 26, "MOT"), (424, 31, 26, "PRV"),
    (426, 14, 14, "X"), (428, 14, 14, "L"), (430, 14, 14, "D"), (432, 14, 14, "U"), (434, 14, 14, "R"),
    (436, 16, 16, "S"), (438, 16, 16, "M"), (440, 31, 19, "DIR"),
    (446, 67, 19, "OK"), (448, 67, 19, "CANCEL"),
    (451, 20, 20, "U"), (453, 20, 20, "0"), (455, 20, 20, "D"),
]
for rid, w, h, label in PAIRS:
    save_bitmap(rid, button(w, h, label, False), 'b%d_up' % rid)
    save_bitmap(rid + 1, button(w, h, label, True), 'b%d_down' % rid)
tb = Pic(47, 88, DARK); tb.rect(21, 4, 5, 80, (10, 10, 10)); tb.frame(0, 0, 47, 88, EDGE)
save_bitmap(442, tb, 'tbar_channel')
tt = Pic(40, 10, (0, 0, 0)); tt.rect(1, 1, 38, 8, (200, 200, 210)); tt.rect(1, 4, 38, 2, (230, 40, 40))
save_bitmap(443, tt, 'tbar_thumb')
ms = Pic(70, 13, DARK); ms.rect(2, 5, 66, 3, (10, 10, 10))
save_bitmap(444, ms, 'motion_channel')
mt = Pic(8, 13, (0, 0, 0)); mt.rect(1, 1, 6, 11, (200, 200, 210))
save_bitmap(445, mt, 'motion_thumb')
close = glyph_button(14, 12, cross, False); save_bitmap(450, close, 'close')

# The pattern palette's thumbnails (40 by 40, one per transition pattern,
# 2700 + index): picture A in blue, picture B in orange, drawn half way
# through the pattern, with the pattern's number.
PAT_A, PAT_B = (40, 70, 170), (235, 150, 40)
def pattern_thumb(i):
    p = Pic(40, 40, PAT_A)
    side = ['left', 'right', 'up', 'down']
    def half(d):
        if d == 'left': p.rect(20, 0, 20, 40, PAT_B)
        elif d == 'right': p.rect(0, 0, 20, 40, PAT_B)
        elif d == 'up': p.rect(0, 20, 40, 20, PAT_B)
        else: p.rect(0, 0, 40, 20, PAT_B)
    if i == 0:
        p.rect(0, 0, 40, 40, PAT_B); p.text_centre("CUT", (0, 0, 0))
    elif 1 <= i <= 16:
        d = side[(i - 1) % 4]; half(d)
        p.tri(20, 20, 9, d, (255, 255, 255))
        if i >= 13: p.frame(2, 2, 36, 36, (255, 255, 255))
        elif i >= 9: p.rect(19, 0, 2, 40, (255, 255, 255)) if d in ('left', 'right') else p.rect(0, 19, 40, 2, (255, 255, 255))
    elif i in (17, 18):
        p.vgrad(0, 0, 40, 40, (0, 0, 0), PAT_B if i == 18 else PAT_A)
    elif i in (19, 20):
        for y in range(0, 40, 4):
            for x in range((y // 4) % 2 * 4, 40, 8): p.rect(x, y, 4, 4, PAT_B)
    elif 21 <= i <= 28:
        k = (i - 21) % 4
        x, y = (0 if k in (0, 2) else 20), (0 if k in (0, 1) else 20)
        if i <= 24: p.rect(x, y, 20, 20, PAT_B)
        else: p.rect(0, 0, 40, 40, PAT_B); p.rect(x, y, 20, 20, PAT_A)
    elif i in (29, 30):
        if i == 30: p.rect(0, 0, 40, 40, PAT_B)
        p.rect(10, 10, 20, 20, PAT_A if i == 30 else PAT_B)
    elif i == 31:
        for x in range(0, 40, 8): p.rect(x, 0, 4, 40, PAT_B)
    elif i in (32, 33):
        p.rect(10, 0, 20, 40, PAT_B) if i == 32 else p.rect(0, 10, 40, 20, PAT_B)
    elif i in (34, 35):
        for y in range(40): p.rect(0, y, 40 - y, 1, PAT_B)
    else:
        k = i - 36
        p.rect(0, 0, 40, 40, PAT_B)
        x, y = [(2, 2), (22, 2), (2, 22), (22, 22), (11, 11), (2, 12), (22, 12), (11, 2)][k]
        p.rect(x, y, 16, 16, PAT_A); p.frame(x, y, 16, 16, (255, 255, 255))
    p.text(40 - 6 * len(str(i)), 32, str(i), (255, 255, 255))
    return p
for i in range(44):
    save_bitmap(2700 + i, pattern_thumb(i), 'pattern_%02d' % i)
# The title preview window: its background and its "Show" button.
pv = Pic(350, 315, PANEL)
pv.vgrad(0, 0, 350, 24, (70, 76, 92), (36, 40, 50))
pv.text(14, 9, "TITLE PREVIEW", TEXT)
pv.frame(0, 0, 350, 315, EDGE)
pv.rect(13, 35, 324, 244, (0, 0, 0))
save_bitmap(2780, pv, 'title_preview')
save_bitmap(2781, button(77, 19, "SHOW", False), 'preview_show_up')
save_bitmap(2782, button(77, 19, "SHOW", True), 'preview_show_down')

src = Pic(277, 177, PANEL)
src.vgrad(0, 0, 277, 22, (70, 76, 92), (36, 40, 50))
src.text(12, 8, "SOURCE", TEXT)
src.text(17, 42, "VIDEO", TEXT); src.text(17, 91, "AUDIO", TEXT)
src.frame(0, 0, 277, 177, EDGE)
save_bitmap(239, src, 'source_skin')

# The colour correction dialog: background, "Reset" and its sliders.
hsl = Pic(300, 200, PANEL)
hsl.vgrad(0, 0, 300, 24, (70, 76, 92), (36, 40, 50))
hsl.text(14, 9, "HSL COLOR EFFECT", TEXT)
for k, label in enumerate(["HUE", "SATURATION", "LIGHTNESS"]):
    hsl.text(28, 44 + 38 * k, label, TEXT)
hsl.frame(0, 0, 300, 200, EDGE)
save_bitmap(490, hsl, 'hsl_skin')
save_bitmap(491, button(67, 19, "RESET", False), 'reset_up')
save_bitmap(492, button(67, 19, "RESET", True), 'reset_down')
hc = Pic(212, 19, PANEL); hc.rect(4, 8, 204, 3, (10, 10, 10))
save_bitmap(493, hc, 'hsl_channel')
ht = Pic(8, 19, (0, 0, 0)); ht.rect(1, 1, 6, 17, (200, 200, 210))
save_bitmap(494, ht, 'hsl_thumb')

def splash(title):
    p = Pic(470, 272)
    p.vgrad(0, 0, 470, 272, (30, 40, 80), (10, 12, 20))
    for k, c in enumerate([(230, 40, 40), (40, 200, 60), (40, 80, 230), (240, 240, 240), (240, 210, 40)]):
        p.rect(60 + 72 * k, 190, 60, 30, c)
    p.text_centre("CORVANE", (240, 240, 250), 5, -40)
    p.text_centre(title, (180, 190, 220), 2, 40)
    return p
save_bitmap(341, splash("LIVE VIDEO MIXER"), 'startup')
save_bitmap(345, splash("ABOUT CORVANE"), 'about')

fl = Pic(16 * 7, 16, (255, 255, 255))
for k in range(7):
    fl.rect(16 * k + 2, 3, 12, 10, [(240, 200, 80), (120, 160, 230), (200, 80, 80), (80, 180, 80), (180, 120, 200), (100, 100, 100), (60, 200, 200)][k])
save_bitmap(281, fl, 'file_images')

def icon(size):
    p = Pic(size, size, (20, 24, 40))
    q = size // 4
    for k, c in enumerate([(230, 40, 40), (40, 200, 60), (40, 80, 230), (240, 210, 40)]):
        p.rect(q // 2 + (k % 2) * (size // 2), q // 2 + (k // 2) * (size // 2), size // 2 - q, size // 2 - q, c)
    return p
save_icon(128, [icon(32), icon(16)], 'corvane')

with open(os.path.join(OUT, 'skin.rc'), 'w') as f:
    f.write('/* Generated by make_skin.py: the skin\'s pictures by resource number. */\n')
    f.write('\n'.join(entries) + '\n')
