#!/usr/bin/env python3
"""Draws the scheduler's skin: the 1016x768 background (171), the button
faces (172-210), the preview dialogs' backgrounds (235, 246) and buttons
(236-249) and the icon (135), and writes tarnell_skin.rc naming them.

    make_tarnell_skin.py OUTDIR

Plain shapes only; this script is their source (nothing drawn is kept in
the repository)."""
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', '..', 'mixer', 'skin'))
from skin_pictures import Pic  # noqa: E402

OUT = sys.argv[1]
os.makedirs(OUT, exist_ok=True)
entries = []


def bmp(name, w, h, pixel):
    """24-bit bottom-up BMP; pixel(x, y) -> (r, g, b)."""
    stride = (w * 3 + 3) & ~3
    rows = []
    for y in range(h - 1, -1, -1):
        row = bytearray()
        for x in range(w):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += b"\0" * (stride - w * 3)
        rows.append(bytes(row))
    data = b"".join(rows)
    head = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(head + info + data)


def add_bitmap(rid, w, h, pixel):
    name = "t%d.bmp" % rid
    bmp(name, w, h, pixel)
    entries.append('%d BITMAP "%s"' % (rid, name))


def background(x, y):
    if y < 22:                                  # title strip
        return (40, 52, 84)
    if 44 <= y < 82 and 20 <= x < 996:          # counter bar
        return (24, 28, 40)
    if (y == 82 or y == 416 or y == 466) and 20 <= x < 996:
        return (90, 110, 160)
    return (58, 66, 92)


add_bitmap(171, 1016, 768, background)


def preview_background(w, h):
    def px(x, y):
        if y < 20:
            return (40, 52, 84)
        if x in (0, w - 1) or y in (0, h - 1):
            return (90, 110, 160)
        return (24, 28, 40)
    return px


add_bitmap(235, 381, 195, preview_background(381, 195))
add_bitmap(246, 350, 315, preview_background(350, 315))


def face(colour, frame):
    def px(x, y, w, h):
        if x == 0 or y == 0 or x == w - 1 or y == h - 1:
            return frame
        return colour
    return px


BUTTONS = {
    # id: (w, h, colour, frame)
    172: (14, 12, (220, 60, 60), (255, 255, 255)), 174: (14, 12, (150, 40, 40), (200, 200, 200)),
    173: (14, 12, (90, 90, 140), (200, 200, 200)), 183: (14, 12, (130, 130, 200), (255, 255, 255)),
    175: (41, 22, (80, 110, 170), (255, 255, 255)), 176: (41, 22, (50, 70, 120), (160, 170, 200)),
    177: (44, 22, (80, 110, 170), (255, 255, 255)), 178: (44, 22, (50, 70, 120), (160, 170, 200)),
    181: (59, 22, (80, 110, 170), (255, 255, 255)), 182: (59, 22, (50, 70, 120), (160, 170, 200)),
    200: (89, 20, (60, 120, 60), (160, 220, 160)), 210: (89, 20, (90, 190, 90), (255, 255, 255)),
    209: (89, 20, (60, 100, 140), (160, 200, 230)), 207: (89, 20, (90, 150, 210), (255, 255, 255)),
    206: (89, 20, (140, 110, 40), (230, 200, 140)), 204: (89, 20, (210, 170, 60), (255, 255, 255)),
    201: (55, 20, (120, 60, 140), (230, 160, 240)), 202: (55, 20, (90, 40, 110), (200, 140, 220)),
    203: (55, 20, (160, 90, 190), (255, 255, 255)),
}
# The preview dialogs' transport buttons, plain and lit: forward, pause,
# play, rewind, stop; and the title preview's "Show" button.
for rid, w in ((236, 9), (238, 8), (240, 9), (242, 9), (244, 9)):
    BUTTONS[rid] = (w, 9, (60, 60, 70), (0, 200, 0))
    BUTTONS[rid + 1] = (w, 9, (40, 160, 40), (255, 255, 255))
BUTTONS.update({247: (77, 19, (50, 70, 120), (160, 170, 200)), 248: (77, 19, (80, 110, 170), (255, 255, 255)),
                249: (77, 19, (30, 40, 80), (255, 255, 255))})
# What each face says (the pixel font's capitals; the caption buttons a glyph).
LABELS = {175: "EDIT", 176: "EDIT", 177: "HELP", 178: "HELP", 181: "PROJECT", 182: "PROJECT",
          200: "ON AIR", 210: "ON AIR", 209: "ON", 207: "ON", 206: "HOLD", 204: "HOLD",
          201: "GO TO", 202: "GO TO", 203: "GO TO",
          214: "OK", 215: "OK", 216: "OK", 217: "CANCEL", 218: "CANCEL", 219: "CANCEL",
          229: "...", 230: "...", 231: "..."}
GLYPHS = {172: "x", 174: "x", 173: "-", 183: "-"}
# The entry dialogs' buttons: plain, lit, pressed.
for rid, w in ((214, 77), (217, 77), (229, 31)):
    BUTTONS[rid] = (w, 19, (50, 70, 120), (160, 170, 200))
    BUTTONS[rid + 1] = (w, 19, (80, 110, 170), (255, 255, 255))
    BUTTONS[rid + 2] = (w, 19, (30, 40, 80), (255, 255, 255))


def button_face(w, h, colour, frame, label, glyph):
    p = Pic(w, h, colour)
    p.frame(0, 0, w, h, frame)
    if label == "...":
        for k in range(3):
            p.rect(w // 2 - 5 + 4 * k, h // 2 + 2, 2, 2, frame)
    elif label:
        p.text_centre(label, frame)
    if glyph == "x":
        for k in range(6):
            p.rect(4 + k, 3 + k, 1, 1, frame)
            p.rect(9 - k, 3 + k, 1, 1, frame)
    elif glyph == "-":
        p.rect(4, 8, 6, 2, frame)
    return p


def add_pic(rid, pic):
    name = "t%d.bmp" % rid
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(pic.bmp())
    entries.append('%d BITMAP "%s"' % (rid, name))


for rid, (w, h, colour, frame) in sorted(BUTTONS.items()):
    add_pic(rid, button_face(w, h, colour, frame, LABELS.get(rid), GLYPHS.get(rid)))

# The transition palette's paging buttons (plain, lit, pressed): left and
# right arrows (220-222, 226-228, 19 x 20) and home (223-225, 16 x 16).
def paging_face(w, h, kind, face):
    fill, mark = [((50, 70, 120), (200, 210, 235)), ((80, 110, 170), (255, 255, 255)),
                  ((30, 40, 80), (255, 220, 90))][face]
    p = Pic(w, h, fill)
    p.frame(0, 0, w, h, mark)
    cy = h // 2
    if kind == "home":
        p.rect(4, 7, 8, 5, mark)
        for k in range(4):
            p.rect(7 - k, 3 + k, 2 + 2 * k, 1, mark)
    else:
        for k in range(5):
            x = 6 + k if kind == "left" else 12 - k
            p.rect(x, cy - k, 1, 2 * k + 1, mark)
    return p


for base, w, h, kind in ((220, 19, 20, "left"), (223, 16, 16, "home"), (226, 19, 20, "right")):
    for face in range(3):
        add_pic(base + face, paging_face(w, h, kind, face))

# The entry dialogs' backgrounds: a title strip, a dark panel, and the words
# beside the controls (each at its control's left or above it).
DLG_BACK, DLG_PANEL, DLG_LINE, DLG_TEXT = (58, 66, 92), (24, 28, 40), (90, 110, 160), (200, 210, 235)


def entry_background(w, h, title, words):
    p = Pic(w, h, DLG_BACK)
    p.rect(0, 0, w, 22, (40, 52, 84))
    p.text(14, 8, title, DLG_TEXT)
    p.frame(0, 0, w, h, DLG_LINE)
    p.rect(0, 22, w, 1, DLG_LINE)
    for x, y, word in words:
        p.text(x, y, word, DLG_TEXT)
    return p


# Dialog 138, 560 x 395 (the words' places follow the controls').
add_pic(212, entry_background(560, 395, "SOURCE SCHEDULE", [
    (28, 52, "NO"), (360, 53, "DATE"), (28, 84, "SUBJECT"), (290, 104, "FILE"), (400, 104, "DEVICE"),
    (28, 165, "VIDEO"), (28, 193, "AUDIO"), (400, 165, "TR TIME"), (28, 260, "START"),
    (28, 288, "DURATION"), (28, 316, "POSITION"), (318, 243, "TRANSITION"),
    (138, 243, "H"), (198, 243, "M"), (258, 243, "S")]))
# Dialog 139, 418 x 325.
add_pic(213, entry_background(418, 325, "TITLE SCHEDULE", [
    (28, 46, "NO"), (222, 46, "DATE"), (28, 98, "START"), (28, 126, "DURATION"),
    (138, 81, "H"), (198, 81, "M"), (258, 81, "S"), (28, 171, "SUBJECT"), (28, 230, "TITLE FILE"),
    (330, 8, "SHIFT")]))


def icon(name):
    """A 32x32 32-bit icon: a clock face."""
    w = h = 32
    xor = bytearray()
    for y in range(h - 1, -1, -1):
        for x in range(w):
            dx, dy = x - 15.5, y - 15.5
            d = dx * dx + dy * dy
            if d < 14 * 14:
                r, g, b, a = (240, 240, 250, 255) if d > 11 * 11 or (abs(dx) < 1.5 and dy < 0) or \
                    (abs(dy) < 1.5 and dx > 0) else (40, 60, 110, 255)
            else:
                r, g, b, a = 0, 0, 0, 0
            xor += bytes((b, g, r, a))
    mask = b"\0" * (4 * h)
    info = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    img = info + bytes(xor) + mask
    head = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", w, h, 0, 0, 1, 32, len(img), 22)
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(head + img)


icon("t135.ico")
entries.append('135 ICON "t135.ico"')

with open(os.path.join(OUT, "tarnell_skin.rc"), "w") as f:
    f.write("/* Generated by make_tarnell_skin.py. */\n")
    for e in entries:
        f.write(e + "\n")
