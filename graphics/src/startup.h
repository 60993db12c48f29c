/* Internal: process-wide state built at library start-up. */
#ifndef PIXMOOR_STARTUP_H
#define PIXMOOR_STARTUP_H

#include <windows.h>
#include "pixmoor.h"

#ifdef __cplusplus
extern "C" {
#endif

/* RGB to YCbCr 16.16 fixed-point products, index = channel value. */
typedef struct YCbCrTerms { LONG y, cb, cr; } YCbCrTerms;
extern YCbCrTerms g_ycbcrRed[256];
extern YCbCrTerms g_ycbcrGreen[256];
extern YCbCrTerms g_ycbcrBlue[256];
extern LONG g_lumaRange[256];     /* 16 + 219 i / 255 */
extern LONG g_chromaRange[256];   /* 128 + (224 i - 28672) / 255 */

/* Display probe: mode 0 none/palette, 1 32-bit, 2 16-bit, 3 24-bit. */
extern LONG  g_displayMode;
extern DWORD g_displayRed[256], g_displayGreen[256], g_displayBlue[256];
extern DWORD g_workRed[256], g_workGreen[256], g_workBlue[256];    /* gamma-rewritten copies */
extern DWORD g_identRed[256], g_identGreen[256], g_identBlue[256]; /* i<<16, i<<8, i */
extern DWORD g_displayMask;
LONG  ProbeDisplay(void);
/* Builds the device tables, working copies, identity tables and mask from
 * three rows read back from the display (red, green, blue ramps of 256
 * device pixels at bpp 32, 16 or 24); returns the mode, 0 for another bpp. */
LONG  pixmoor_tables_from_rows(LONG bpp, const BYTE *red, const BYTE *green, const BYTE *blue);
/* Device pixel value of a 0x00RRGGBB colour through the working tables. */
DWORD DisplayPixelValue(DWORD rgb);

extern BYTE *g_codecWorkArea;     /* 0x30000 bytes */
extern BYTE *g_scratchBuffer;     /* g_scratchSize bytes */
extern DWORD g_scratchSize;

/* View table: 64 slots and an end mark.  A view registers a repaint
 * routine with its context; UpdateAllZellviews calls each. */
#define PIXMOOR_VIEW_SLOTS 64
typedef void (*ViewRepaintProc)(void *context);
LONG RegisterViewSlot(ViewRepaintProc proc, void *context);
LONG UnregisterViewSlot(ViewRepaintProc proc, void *context);

extern LONG g_pentium;
extern LONG g_ready;

/* Start-up and tear-down, called by DllMain (and by test programs that
 * link the core statically).  Attach is idempotent. */
void PixmoorProcessAttach(void);
void PixmoorThreadAttach(void);
void PixmoorProcessDetach(void);
/* Process exit: only the ready flag drops; other threads may still hold
 * layers, and the process takes its memory back anyway. */
void PixmoorProcessEnding(void);

/* Numeric helpers of the core's geometry code. */
double pm_fcos(double x);
double pm_fabs(double x);
double pm_fsin(double x);
double pm_fsqrt(double x);

#ifdef __cplusplus
}
#endif

#endif
