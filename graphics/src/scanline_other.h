/*
 * Further scanline sources in the family contract of the scale engine
 * (scale_source.h): Begin returns an opaque state or null, per-line calls
 * take (destination line, source line, state), Offset repositions, End
 * frees; every state starts with the output-ready and input-wanted words.
 *
 *  - Thumbnail: a background source under each source line, then the scale
 *    engine (optionally gamma-corrected in between).
 *  - Float engine: the scale engine's line protocol over area-average tables
 *    in both directions (enlargement repeats samples, blending only where an
 *    output sample straddles two).
 *  - Rise time: a three-tap horizontal luma filter, or a conversion to
 *    studio-range YCbCr with optional luma filtering.  The filter tables are
 *    process-wide: one rise-time set-up is in force at a time.
 *  - VMP / BITMAP / DDB: 32-bit lines made ready for the display: flattened
 *    over black with a blue 16-pixel grid, or packed into the display's own
 *    pixel format (from the display probe) with an integer zoom.
 */
#ifndef PIXMOOR_SCANLINE_OTHER_H
#define PIXMOOR_SCANLINE_OTHER_H

#include <windows.h>
#include "pixmoor.h"
#include "scale_source.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ThumbnailScanlineState {
    LONG outputReady;
    LONG inputWanted;
    BackgroundScanlineState *background;
    ScaleScanlineState *scale;
    LONG gamma;
    LONG width;            /* source line width */
    DWORD *line;           /* width pixels, zeroed */
    LONG sourceLeft;       /* first source column fed after an Offset */
} ThumbnailScanlineState;

typedef struct RiseTimeScanlineState {
    LONG outputReady;
    LONG inputWanted;
    LONG count;            /* pixels per line */
    LONG mode;             /* 0, 1, 2 or 5 */
} RiseTimeScanlineState;

typedef struct DisplayScanlineState {
    LONG outputReady;
    LONG inputWanted;
    LONG line;             /* line count, set by Offset */
    LONG column;           /* first column */
    LONG width;            /* line width given to Begin */
    DWORD *buffer;         /* width pixels */
    LONG count;            /* pixels per line */
    LONG zoom;             /* DDB only: each pixel written zoom times, each line used zoom times */
    LONG repeat;           /* DDB only: counts down from zoom */
} DisplayScanlineState;

/* Float engine axis table for S source and D destination samples into
 * table[0..D] (header first); S and D positive. */
void BuildFloatAxisContributions(AxisContribution *table, LONG S, LONG D);

ThumbnailScanlineState *PIXAPI BeginThumbnailScanlineLayer(LONG sw, LONG sh, LONG dw, LONG dh, LONG gamma, Layer *background);
ThumbnailScanlineState *PIXAPI BeginThumbnailScanlineID(LONG sw, LONG sh, LONG dw, LONG dh, LONG gamma, LONG stockId);
ThumbnailScanlineState *PIXAPI BeginThumbnailScanline(LONG sw, LONG sh, LONG dw, LONG dh, LONG gamma);
LONG PIXAPI EndThumbnailScanline(ThumbnailScanlineState *state);
BackgroundScanlineState *PIXAPI OffsetThumbnailScanline(ThumbnailScanlineState *state, LONG x, LONG y, LONG count);
BackgroundScanlineState *PIXAPI GetBackgroundThumbnailScanline(ThumbnailScanlineState *state);
ScaleScanlineState *PIXAPI GetScaleThumbnailScanline(ThumbnailScanlineState *state);
LONG PIXAPI ThumbnailScanline(DWORD *dst, const DWORD *src, ThumbnailScanlineState *state);
LONG PIXAPI FXSThumbnailLayer(Layer *destination, Layer *source, LONG gamma, Layer *background);

ScaleScanlineState *PIXAPI BeginFloatScanline(LONG sw, LONG sh, LONG dw, LONG dh);
LONG   PIXAPI OffsetFloatScanline(ScaleScanlineState *state, LONG x, LONG y, LONG count);
DWORD *PIXAPI GetBufferFloatScanline(ScaleScanlineState *state);
LONG   PIXAPI FloatScanline(DWORD *dst, const DWORD *src, ScaleScanlineState *state);
LONG   PIXAPI EndFloatScanline(ScaleScanlineState *state);

RiseTimeScanlineState *PIXAPI BeginRiseTimeScanline(LONG count, LONG b, LONG c, LONG d, LONG mode);
LONG PIXAPI RiseTimeScanline(DWORD *dst, const DWORD *src, RiseTimeScanlineState *state);
LONG PIXAPI EndRiseTimeScanline(RiseTimeScanlineState *state);

DisplayScanlineState *PIXAPI BeginVMPScanline(LONG width);
LONG   PIXAPI OffsetVMPScanline(DisplayScanlineState *state, LONG x, LONG y, LONG count);
DWORD *PIXAPI GetBufferVMPScanline(DisplayScanlineState *state);
LONG   PIXAPI VMPScanline(DWORD *dst, const DWORD *src, DisplayScanlineState *state);
LONG   PIXAPI EndVMPScanline(DisplayScanlineState *state);
LONG   PIXAPI BITMAPScanline(DWORD *dst, const DWORD *src, DisplayScanlineState *state);

DisplayScanlineState *PIXAPI BeginDDBScanline(LONG width, LONG zoom);
LONG   PIXAPI OffsetDDBScanline(DisplayScanlineState *state, LONG x, LONG y, LONG count);
DWORD *PIXAPI GetBufferDDBScanline(DisplayScanlineState *state);
LONG   PIXAPI DDBScanline(BYTE *dst, const DWORD *src, DisplayScanlineState *state);
LONG   PIXAPI EndDDBScanline(DisplayScanlineState *state);

#ifdef __cplusplus
}
#endif

#endif
