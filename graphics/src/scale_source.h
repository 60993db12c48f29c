/*
 * Scale and background scanline sources.
 *
 * Both follow the family contract of the core's line sources: a Begin call
 * allocates and returns an opaque state (null on failure), per-line calls
 * take (destination line, source line, state), an Offset call repositions
 * the state and an End call frees it.  The state starts with two words:
 * output-ready (a destination line was written by the last call) and
 * input-wanted (the next call must bring the next source line).
 *
 * Lines are arrays of 32-bit 0xAARRGGBB pixels.  All calls run on the
 * caller's thread; a state belongs to one thread at a time.
 */
#ifndef PIXMOOR_SCALE_SOURCE_H
#define PIXMOOR_SCALE_SOURCE_H

#include <windows.h>
#include "pixmoor.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One entry of an axis table.  Entry 0 is the header: its firstWeight is
 * the weight of each whole middle sample (D/S when reducing, 0 when
 * enlarging).  Entries 1..D describe the output samples. */
typedef struct AxisContribution {
    LONG middle;          /* whole samples between first and last; -1 only the first */
    LONG advance;         /* source samples to step over after this output */
    double firstWeight;   /* weight of the first (partial) sample */
    double lastWeight;    /* weight of the last (partial) sample; used when > 0 */
} AxisContribution;

/* The two axis tables and the sizes they were built for. */
typedef struct ScaleAxes {
    AxisContribution *horizontal;   /* header + destination width entries */
    AxisContribution *vertical;     /* header + destination height entries */
    LONG srcWidth, srcHeight, dstWidth, dstHeight;
} ScaleAxes;

typedef struct ScaleScanlineState {
    LONG outputReady;     /* 1 after a call that wrote an output line */
    LONG inputWanted;     /* 1 when the next call must bring the next source line */
    LONG valid;           /* 1 after a complete Begin */
    LONG currentLine;     /* next output line */
    LONG dstHeight;
    ScaleAxes *axes;
    DWORD **ring;         /* ringSize source line buffers */
    const DWORD **rows;   /* working line pointers (largest middle + 3) */
    LONG ringSize;        /* largest vertical middle count + 2 */
    LONG lineBytes;       /* source width * 4 */
    LONG held;            /* source lines held */
    LONG firstColumn;
    LONG dstWidth;
    LONG pixelsPerLine;
    LONG ringStart;
} ScaleScanlineState;

typedef struct BackgroundScanlineState {
    LONG dirty1, dirty2;  /* set by Begin and by every line */
    LayerAccess access;   /* open on the background layer */
    Layer *background;    /* one reference held */
    LONG width;           /* line width given to Begin */
    LONG line;            /* current line */
    LONG column;          /* first column */
    LONG phaseX, phaseY;  /* tile phase, stored negated */
    LONG count;           /* pixels per line */
    DWORD buffer[1];      /* width pixels */
} BackgroundScanlineState;

/* Builds the axis table for S source and D destination samples into
 * table[0..D] (header first).  S and D must be positive. */
void BuildAxisContributions(AxisContribution *table, LONG S, LONG D);

/* Scale engine. */
ScaleScanlineState *PIXAPI BeginScaleScanline(LONG srcWidth, LONG srcHeight, LONG dstWidth, LONG dstHeight);
LONG   PIXAPI OffsetScaleScanline(ScaleScanlineState *state, LONG x, LONG y, LONG count);
DWORD *PIXAPI GetBufferScaleScanline(ScaleScanlineState *state);
LONG   PIXAPI ScaleScanline(DWORD *dst, const DWORD *src, ScaleScanlineState *state);
LONG   PIXAPI EndScaleScanline(ScaleScanlineState *state);
LONG   PIXAPI ConvertRectangleScaleScanline(ScaleScanlineState *state, RECT *rect);

/* Background source. */
BackgroundScanlineState *PIXAPI BeginBackgroundScanlineLayer(LONG width, Layer *background);
BackgroundScanlineState *PIXAPI BeginBackgroundScanlineID(LONG width, LONG stockId);
BackgroundScanlineState *PIXAPI BeginBackgroundScanline(LONG width);
BackgroundScanlineState *PIXAPI OffsetBackgroundScanline(LONG x, LONG y, LONG count, BackgroundScanlineState *state);
BackgroundScanlineState *PIXAPI SetTileOffsetBackgroundScanline(LONG dx, LONG dy, BackgroundScanlineState *state);
LONG   PIXAPI BackgroundScanline(DWORD *dst, const DWORD *src, BackgroundScanlineState *state);
LONG   PIXAPI EndBackgroundScanline(BackgroundScanlineState *state);
LONG   PIXAPI BackgroundLayer(Layer *destination, Layer *source, Layer *background);

/* Alpha display line of the views: for each of the state's pixels an opaque
 * grey whose colour bytes equal the source pixel's alpha (source null = the
 * destination line). */
LONG AlphaDisplayScanline(DWORD *dst, const DWORD *src, BackgroundScanlineState *state);

#ifdef __cplusplus
}
#endif

#endif
