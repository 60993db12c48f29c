// Row converters between the image filters' six pixel depths.
//
// Depths and their row layouts (every row packed left to right):
//   1  palette index bits, most significant bit first
//   4  palette index nibbles, high nibble first
//   8  one palette index byte
//   16 little-endian word: bits 0-4 blue, 5-9 green, 10-14 red, bit 15 set = transparent
//   24 bytes blue, green, red
//   32 bytes blue, green, red, alpha (the word 0xAARRGGBB)
//
// The converters are pure row functions: no allocation, no state between
// calls, no failure.  They read only the first fields of the pipeline's
// converter record and its working palette and alpha byte.
#pragma once
#include <cstdint>

#include "fxcore.h"

namespace ferrix {

// The head of the pipeline's converter record (FxConverter, fxcore.h) is what
// the converters read: segmentBits, startPhase, endPhase, palette, alpha.
typedef FxConverter ConverterHead;
typedef FxPlainConv PlainConverter;
typedef FxResampleConv ResampleConverter;

// Depth index used by every table: 1 -> 0, 4 -> 1, 8 -> 2, 16 -> 3, 24 -> 4, 32 -> 5;
// -1 for any other depth.
int DepthIndex(int depth);

// Alpha mode: 1 with conversion flag 0x80000, else 2 with 0x20000, else 0.
int AlphaMode(uint32_t flags);

// Entries of a palette of the given depth: the given count when not 0, else
// 2 for depth 1, 16 for depths 2-4, 256 for depths 5-8, 0 above.
int DefaultPaletteSize(int depth, int given);

// The tables themselves are fxPlainTable, fxResampleTable (index [alpha
// mode][source depth index][target depth index], null = no converter: the
// pipeline copies same-depth rows and reduces colours itself) and the 8-bit
// extractors fxPlainAlphaTable, fxPlainGreyTable, fxResampleGreyTable,
// fxResampleAlphaTable indexed by bytes per pixel (2, 3, 4), declared in
// fxcore.h.

// 5-bit channel widened to 8 bits (31 -> 255, 16 -> 132, 1 -> 8).
inline uint32_t Widen5(uint32_t c5) { return c5 * 8 + c5 / 4; }

}  // namespace ferrix
