/*
 * pipeline.h - the row pipeline that moves one image from an opened reader
 * to an opened writer: placement in the target frame, scaling, depth
 * conversion, colour reduction, background, tiling and fill.
 */
#ifndef FERRIX_PIPELINE_H
#define FERRIX_PIPELINE_H

#include "fxcore.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Runs one stage of a conversion from S into T; both are open.  Closes the
 * reader and the writer whatever the result. */
int fxRunPipeline(ConvertSource *s, ConvertTarget *t);

/* Builds the converter record of a run; null when memory runs out, and
 * *result then holds the failure (also -6 for a depth pair no converter
 * serves). */
FxConverter *fxBuildConverter(ConvertSource *s, ConvertTarget *t, int sd, int td, const RECT *src,
                              const RECT *placed, const RECT *frame, RGBQUAD *palette, int count,
                              uint32_t flags, uint8_t targetAlpha, int *result);
void fxFreeConverter(FxConverter *rec);

/* Step list of one axis: D target samples over S source samples, one byte
 * per target sample (the source samples to advance before it). */
void fxBuildSteps(BYTE *steps, uint32_t D, uint32_t S);

/* Fills n rows of w pixels at depth d, `stride` bytes apart, with the
 * colour 0xAARRGGBB (the nearest palette entry for palette depths). */
int fxFillRows(BYTE *rows, uint32_t w, uint32_t n, int d, uint32_t stride, const uint32_t *palette, uint32_t colour);

#ifdef __cplusplus
}
#endif

#endif
