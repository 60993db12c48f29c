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

from skin_pictures import FONT, Pic, pattern_thumb  # noqa: E402


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
