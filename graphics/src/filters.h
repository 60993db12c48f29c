/*
 * Neighbourhood filters from a source layer into a different destination
 * layer, over the window where the two overlap.  Each byte of a pixel is
 * filtered the same way, independently, unless said otherwise.  Neighbours
 * outside the window are read as the nearest pixel inside (clamp to edge).
 * The source is refreshed before and the destination updated after (not so
 * for VerticalBlurLayer).  Results: 1, or 0 for a missing layer.
 */
#ifndef PIXMOOR_FILTERS_H
#define PIXMOOR_FILTERS_H

#include <windows.h>
#include "pixmoor.h"

#ifdef __cplusplus
extern "C" {
#endif

/* 1 2 1 / 2 4 2 / 1 2 1, divided by 16 (truncated).  Needs a 3 x 3 window. */
LONG PIXAPI LowPassLayer(Layer *destination, Layer *source);
/* 1 -2 1 / -2 5 -2 / 1 -2 1, clamped to 0..255.  Needs a 3 x 3 window. */
LONG PIXAPI HighPassLayer(Layer *destination, Layer *source);
/* The eight neighbours divided by 8 (truncated).  Needs a 3 x 3 window. */
LONG PIXAPI DonutBlurLayer(Layer *destination, Layer *source);
/* Rows r..r+4 weighted by w0..w4 over their sum, into row r + 2; the two top
 * and two bottom destination rows are left as they were. */
LONG PIXAPI VerticalBlurLayer(Layer *destination, Layer *source, DWORD w0, DWORD w1, DWORD w2, DWORD w3, DWORD w4);
/* Cells from the window's top-left, each filled with its average. */
LONG PIXAPI MosaicLayer(Layer *destination, Layer *source, LONG cellWidth, LONG cellHeight);
/* Shaded relief of the green byte lit from (azimuth, elevation) degrees;
 * only the destination's green byte is written. */
LONG PIXAPI EmbossLayer(Layer *destination, Layer *source, LONG azimuth, LONG elevation, LONG depth);

#ifdef __cplusplus
}
#endif

#endif
