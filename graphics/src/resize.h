/*
 * Layer resizing: the two-pass transposing resampler (area average when a
 * dimension shrinks, linear interpolation when it grows, colours weighted by
 * alpha) and the line-by-line path through the scale scanline engine.
 */
#ifndef PIXMOOR_RESIZE_H
#define PIXMOOR_RESIZE_H

#include <windows.h>
#include "pixmoor.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One output sample of a pass. */
typedef struct ResampleStep {
    double w0;   /* weight of the first source pixel */
    double w1;   /* weight of a last, partly covered source pixel; 0 when none */
    LONG k;      /* further whole source pixels, or -1 to stay on the same one */
} ResampleStep;

/* Fills steps[0..N-1] for a row of M source pixels resampled to N. */
void BuildResampleSteps(ResampleStep *steps, LONG M, LONG N);

/* One pass: each of `rows` source rows of M pixels (srcPitch bytes apart)
 * is resampled to N pixels and written as a destination column: source row
 * r becomes column r of the destination (N rows, dstPitch bytes apart).
 * Where an output's alpha is 0 only its alpha byte is written, or the whole
 * pixel as 0 with clearTransparent (for a destination that stands for a
 * zero-filled layer).  Returns 0 when the step table cannot be allocated. */
LONG ResamplePass(BYTE *dst, LONG dstPitch, const BYTE *src, LONG srcPitch,
                  LONG M, LONG rows, LONG N, LONG clearTransparent);

/* Keeps the passes on the two-lane arithmetic even where four lanes are
 * available (both give the same pixels); returns the previous setting. */
LONG ResizeNarrowLanesOnly(LONG on);

LONG PIXAPI ResizeLayer(Layer *destination, Layer *source);
LONG PIXAPI ResizeLayerCorrect(Layer *destination, Layer *source);

#ifdef __cplusplus
}
#endif

#endif
