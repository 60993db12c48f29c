/* Internal: the view record and the parts of the paint chain the tests
 * reach directly. */
#ifndef PIXMOOR_VIEWS_H
#define PIXMOOR_VIEWS_H

#include <windows.h>
#include "pixmoor.h"
#include "scale_source.h"
#include "scanline_other.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A band of device rows on its way to the window: called before the band
 * is copied (tests use it to see the pixels without a display). */
typedef void (*ZellviewBandHook)(Zellview *view, const BYTE *rows, LONG rowBytes, LONG x, LONG y, LONG width,
                                 LONG height);

struct Zellview {
    DWORD flags;                     /* ZV_* */
    HWND window;
    Layer *input;
    Layer *previousInput;
    BackgroundScanlineState *background;
    ScaleScanlineState *scale;       /* fit mode with a size change only */
    DisplayScanlineState *writer;
    LONG layerWidth, layerHeight;
    LONG displayWidth, displayHeight;
    LONG offsetX, offsetY;
    LONG maxX, maxY;
    LONG zoom;                       /* 0 fit, 1..8 */
    BYTE *buffer;
    DWORD bufferSize;
    LONG banded;
    LONG bandRow, bandRows, rowBytes, bandTop, bandLeft, bandWidth;
    LONG frameWidth, frameHeight;
    LONG hScrollShown, vScrollShown;
    ViewRectangle *rects;
    LONG rectCapacity;
    RECT dirty;                      /* layer coordinates; empty when clean */
    ViewSprite *sprites;
    LONG spriteCapacity;
    LONG backgroundId;
    LayerHandler *handler;           /* our update handler record on the input */
    LayerHandler *savedHandler;      /* the input's own update handler, given back at delete */
    LONG ownsInput;                  /* the view made its input layer */
    ZellviewBandHook bandHook;
};

/* Bytes per device row of width pixels in the current display mode. */
LONG zv_row_bytes(LONG width);

#ifdef __cplusplus
}
#endif

#endif
