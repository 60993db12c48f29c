#!/usr/bin/env python3
"""Draws the scheduler's transition pictures beside the program: the palette
cells' "Transition/<name>.bmp" (40 by 40) and the schedule list's
"STransition/<name>.bmp" (20 by 20), one per transition name in table order
(read from the transition table's source), from the mixer's pattern
thumbnails.

    make_transition_pictures.py PROGRAMDIR schedule_words.cpp
"""
import os
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', '..', 'mixer', 'skin'))
from skin_pictures import Pic, pattern_thumb  # noqa: E402


def shrink(big, size):
    small = Pic(size, size)
    for y in range(size):
        for x in range(size):
            small.px[y][x] = big.px[y * big.h // size][x * big.w // size]
    return small


def main():
    out = sys.argv[1]
    with open(sys.argv[2]) as f:
        table = re.search(r'kTransitionNames\[kTransitionCount\] = \{(.*?)\};', f.read(), re.S).group(1)
    names = re.findall(r'"([^"]+)"', table)
    if len(names) != 44:
        sys.exit('expected 44 transition names, found %d' % len(names))
    for folder in ('Transition', 'STransition'):
        os.makedirs(os.path.join(out, folder), exist_ok=True)
    for i, name in enumerate(names):
        big = pattern_thumb(i)
        with open(os.path.join(out, 'Transition', name + '.bmp'), 'wb') as f:
            f.write(big.bmp())
        with open(os.path.join(out, 'STransition', name + '.bmp'), 'wb') as f:
            f.write(shrink(big, 20).bmp())


main()
