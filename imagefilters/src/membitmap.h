/*
 * membitmap.h - memory bitmap pseudo-format (format id 1): reader and writer
 * of packed DIBs, raw pixels, global blocks and GDI bitmaps, and the DIB
 * routines the driver shares.  Not in the registry: the driver calls the
 * open functions directly.
 */
#ifndef FERRIX_MEMBITMAP_H
#define FERRIX_MEMBITMAP_H

#include "fxcore.h"

#ifdef __cplusplus
extern "C" {
#endif

int WINAPI fxMemReaderOpen(ConvertSource *s);   /* 0, -9, -7, -13, -15 */
int WINAPI fxMemWriterOpen(ConvertTarget *t);   /* 0 or -9 */

/* Pixel block of an open memory bitmap writer (after begin output):
 * first memory row, bytes between rows and the number of rows. */
BOOL fxMemWriterBlock(ConvertTarget *t, BYTE **pixels, uint32_t *stride, uint32_t *rows);

/* Standard depth of a header: bit count and colours used as the DIB
 * routines write them. */
void fxStandardDepth(BITMAPINFOHEADER *bmi);
/* Packed DIB of the geometry (header, colour table of the standard count,
 * zeroed pixels and one spare row) in a new movable block, or rebuilt in
 * `existing`; *size receives the block size.  Null when it cannot be had. */
HGLOBAL fxMakeDibBlock(int width, int height, int bitCount, HGLOBAL existing, DWORD *size);
/* Packed DIB of a GDI bitmap (bitCount 0 = the bitmap's own); *size
 * receives the block size + 14. */
HGLOBAL fxDibFromBitmap(HBITMAP bitmap, DWORD compression, int bitCount, HPALETTE palette, DWORD *size,
                        HGLOBAL existing);
HPALETTE fxPaletteFromDib(HGLOBAL dib);
HBITMAP fxBitmapFromDib(HGLOBAL dib, HPALETTE palette);
HPALETTE fxSystemPalette(void);
/* Screen bits per pixel (bits x planes). */
int fxScreenDepth(void);

#ifdef __cplusplus
}
#endif

#endif
