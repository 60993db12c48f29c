#!/usr/bin/env python3
"""Writes the picon renderer's three sample pictures as raw pixel files:
picon100.raw (256 x 256 RGB, the face picture), picon101.raw (128 x 128 RGB,
the background) and picon102.raw (256 x 256 RGBA, the face picture with an
alpha ramp, for inverted blending).  Usage: picon_samples.py OUTDIR"""
import os
import sys

out = sys.argv[1]
os.makedirs(out, exist_ok=True)


def face(size, alpha):
    rows = bytearray()
    for y in range(size):
        for x in range(size):
            light = ((x // 32) + (y // 32)) % 2
            rows += bytes((250, 210, 80) if light else (230, 120, 30))
            if alpha:
                rows.append(96 + (x * 159) // (size - 1))
    return rows


def background(size):
    rows = bytearray()
    for y in range(size):
        for x in range(size):
            light = ((x // 16) + (y // 16)) % 2
            rows += bytes((56, 64, 96) if light else (40, 44, 64))
    return rows


for name, data in (("picon100.raw", face(256, False)), ("picon101.raw", background(128)),
                   ("picon102.raw", face(256, True))):
    path = os.path.join(out, name)
    with open(path + ".new", "wb") as f:
        f.write(data)
    os.replace(path + ".new", path)
