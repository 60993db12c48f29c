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
// calls, no failure.  They read only the head of the pipeline's converter
// record (ConverterHead); the pipeline keeps that head as the first member of
// its own record and hands the converters a pointer to it.
#pragma once
#include <cstdint>

namespace ferrix {

struct ConverterHead {
    // Bits of one source row segment (source rectangle width x source depth).
    // The plain converters from a 1-bit source take it as their pixel count.
    uint32_t segmentBits;
    // 1-bit sources: bit position (0-7) of the first pixel in the first byte.
    // 4-bit sources: non-zero = the row starts at the low nibble.
    uint16_t startPhase;
    // Plain 4-bit converters: non-zero = an odd nibble follows the whole bytes.
    uint16_t endPhase;
    // Each source palette colour already in the target's form: a 16-bit value
    // in the low half, or blue, green, red (, alpha) bytes.
    uint32_t palette[256];
    // Alpha value that alpha modes 1 and 2 put into the target.
    uint8_t alpha;
};

// Plain converter: (record, source row, target row, pixel count) -> 3.
typedef int (*PlainConverter)(const ConverterHead*, const uint8_t* src, uint8_t* dst, int count);
// Resampling converter: steps holds one byte per target pixel, the number of
// source pixels to advance before that pixel is taken.  Returns 1.
typedef int (*ResampleConverter)(const ConverterHead*, const uint8_t* src, uint8_t* dst, int count,
                                 const uint8_t* steps);

// Depth index used by every table: 1 -> 0, 4 -> 1, 8 -> 2, 16 -> 3, 24 -> 4, 32 -> 5;
// -1 for any other depth.
int DepthIndex(int depth);

// Alpha mode: 1 with conversion flag 0x80000, else 2 with 0x20000, else 0.
int AlphaMode(uint32_t flags);

// Entries of a palette of the given depth: the given count when not 0, else
// 2 for depth 1, 16 for depths 2-4, 256 for depths 5-8, 0 above.
int DefaultPaletteSize(int depth, int given);

// [alpha mode][source depth index][target depth index]; null = no converter
// (the pipeline copies same-depth rows and reduces colours itself).
extern const PlainConverter g_plainConverters[3][6][6];
extern const ResampleConverter g_resampleConverters[3][6][6];

// 8-bit extractors of 16-, 24- and 32-bit sources, indexed by bytes per pixel
// (2, 3 or 4; other slots are null).
extern const PlainConverter g_plainAlphaExtract[5];
extern const PlainConverter g_plainGreyExtract[5];
extern const ResampleConverter g_resampleGreyExtract[5];
extern const ResampleConverter g_resampleAlphaExtract[5];

// 5-bit channel widened to 8 bits (31 -> 255, 16 -> 132, 1 -> 8).
inline uint32_t Widen5(uint32_t c5) { return c5 * 8 + c5 / 4; }

}  // namespace ferrix
