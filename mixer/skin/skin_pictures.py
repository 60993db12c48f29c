"""Pictures shared by the skin scripts: a small RGB canvas with a pixel
font, and the 40 by 40 thumbnails of the 44 transition patterns."""
import struct


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
