/*
 * Pixel depth, colour-space and gamma conversions between the core's 32-bit
 * pixels and packed 16/24/32-bit pixels, 24-bit bitmap rows, gamma curves,
 * YCbCr / YUV / grey layers and a packed 4:2:2 buffer.
 *
 * Two-layer operations take (destination, source): one access over both, the
 * destination written where the two overlap; the source is refreshed first
 * and the destination updated last.  They return 1 (also when the layers do
 * not overlap) and 0 for a missing layer.
 *
 * YUV layers hold V in the red byte, Y in the green byte, U in the blue
 * byte; YCbCr layers Cr, Y, Cb in the same places.
 */
#ifndef PIXMOOR_CONVERT_H
#define PIXMOOR_CONVERT_H

#include <windows.h>
#include "pixmoor.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Packed pixel layout: bytes per pixel (2, 3 or 4; anything else converts
 * nothing) and one contiguous mask per colour channel (0 = none). */
typedef struct PelFormat {
    DWORD bytesPerPixel;
    DWORD redMask;
    DWORD greenMask;
    DWORD blueMask;
} PelFormat;

/* Alpha mode of the ...Ex conversions. */
#define PEL_ALPHA_ZERO   0   /* alpha 0 */
#define PEL_ALPHA_OPAQUE 1   /* alpha 255 */
/* any other value keeps the destination's alpha */

/* Gamma: 768 bytes, the red, green and blue curves of 256 entries each. */
LONG  PIXAPI SetGammaTable(const BYTE *curves);
DWORD PIXAPI GammaCorrectPEL(DWORD pixel);
LONG  PIXAPI GammaCorrectPELs(DWORD *pixels, LONG count);

/* Flattens contiguous 32-bit rows onto black into 24-bit rows padded to 4
 * bytes; allocates the buffer (M32_alloc) when none is given.  Returns the
 * buffer, 0 on bad arguments or no memory. */
BYTE *PIXAPI IP_32BITto24BMP(const DWORD *pixels, BYTE *buffer, LONG width, LONG height);

LONG PIXAPI PelDepth_Xto32Ex(DWORD *dst, const BYTE *src, const PelFormat *format, LONG count, LONG alphaMode);
LONG PIXAPI PelDepth_Xto32(DWORD *dst, const BYTE *src, const PelFormat *format, LONG count);
LONG PIXAPI PelDepth_32toX(const DWORD *src, BYTE *dst, const PelFormat *format, LONG count);
LONG PIXAPI XtoLayerEx(Layer *layer, const BYTE *buffer, const PelFormat *format, LONG pitch, LONG alphaMode);
LONG PIXAPI XtoLayer(Layer *layer, const BYTE *buffer, const PelFormat *format, LONG pitch);
LONG PIXAPI LayertoX(BYTE *buffer, const PelFormat *format, LONG pitch, Layer *layer);

LONG PIXAPI RGBtoYCBCRLayer(Layer *destination, Layer *source);
LONG PIXAPI RGBtoYUVLayer(Layer *destination, Layer *source);
LONG PIXAPI YUVtoRGBLayer(Layer *destination, Layer *source);
LONG PIXAPI YUVtoGRAYLayer(Layer *destination, Layer *source);
LONG PIXAPI RGBtoGRAYLayer(Layer *destination, Layer *source);
LONG PIXAPI LuminanceLayer(Layer *destination, Layer *source, LONG brightness, LONG contrast);
LONG PIXAPI TintLayer(Layer *destination, Layer *source, LONG vOffset, LONG uOffset, LONG saturation);
/* 4:2:2 rows of Y0, U, Y1, V per two pixels, pitch bytes apart. */
LONG PIXAPI FiestatoLayer(Layer *layer, const BYTE *buffer, LONG pitch);
LONG PIXAPI OneFishCombineLayer(Layer *destination, Layer *alphaSource, Layer *colourSource);
LONG PIXAPI ThumbLayer(Layer *destination, Layer *source);

#ifdef __cplusplus
}
#endif

#endif
