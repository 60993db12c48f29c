/*
 * Glyph run-length coverage for text drawing.
 *
 * A run-length glyph is a sequence of 16-bit codes, row after row from the
 * top.  Within a row the codes are run lengths of alternating colour,
 * starting with a clear run; bit 15 on the first code of a row says the row
 * starts with ink instead; bit 14 marks the last code of a row; the low 14
 * bits are the length in pixels.  A trailing clear run is not written.
 */
#ifndef PIXMOOR_GLYPH_H
#define PIXMOOR_GLYPH_H

#include <windows.h>
#include "pixmoor.h"

#ifdef __cplusplus
extern "C" {
#endif

#define RLE_INK      0x8000u
#define RLE_ROW_END  0x4000u
#define RLE_LENGTH   0x3FFFu

/* From a one-bit glyph: rows of width bits, most significant bit first,
 * 1 = ink, each row padded to a multiple of 4 bytes.  Returns the bytes
 * written to out, 0 on a null argument, a size outside 1..16383 pixels
 * wide, or when the codes would pass outBytes. */
LONG PIXAPI IP_RLEBitChar(const BYTE *bitmap, LONG width, LONG rows, WORD *out, LONG outBytes);

/* From a glyph outline in the native outline format of the glyph-outline
 * call (polygon headers of type 24, line and quadratic-spline records in
 * 16.16 fixed point).  The outline is sampled at pixel centres with the
 * non-zero winding rule over its bounding box and written as run-length
 * rows.  box, when given, receives four values: left column and top row of
 * the box (outline units are pixels, y growing upwards, so the top row is
 * the ceiling of the largest y), width and height.  Returns the bytes
 * written, 0 for a null or malformed outline, an empty or oversized box,
 * output too small, or no memory for the edge list. */
LONG PIXAPI TrueTypeToRLE(const BYTE *outline, LONG length, WORD *out, LONG outBytes, LONG *box);

#ifdef __cplusplus
}
#endif

#endif
