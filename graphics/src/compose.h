/* Internal: the over operator on straight-alpha 0xAARRGGBB pixels, its
 * lookup tables and the derived scale and mix.  The tables are built once by
 * BuildCompositTables at start-up and are read-only afterwards. */
#ifndef PIXMOOR_COMPOSE_H
#define PIXMOOR_COMPOSE_H

#include <windows.h>
#include "pixmoor.h"

#ifdef __cplusplus
extern "C" {
#endif

extern WORD  ProductTable[65536];       /* (j,k): round(j*k*256/255) */
extern BYTE  CoverTable[65536];         /* (a,b): (255-a)*b/255 */
extern WORD  BlendWeightTable[65536];   /* (a,b): hi top weight, lo 255-hi */
extern BYTE  UnmultiplyTable[65536];    /* (a,b): min(255, 255*b/a) */
extern SHORT ReciprocalTable[256][4];   /* alpha: three colour words, 515 */

/* Fills the five tables (reciprocal, product, blend weight, cover,
 * unmultiply); returns 1. */
LONG BuildCompositTables(void);

/* The MMX switch: set at start-up from the processor probe.  Operations
 * with both arithmetics read it at the start of each call. */
extern LONG g_useMMX;

/* Wider blocks of the fast arithmetic on processors with AVX2: -1 not yet
 * probed, 0 off (the SSE2 path only), 1 on.  Both give the same pixels. */
extern LONG g_useAVX2;

#ifdef __cplusplus
}

static inline DWORD pel_alpha(DWORD p) { return p >> 24; }

/* scale(x, y) ~ x*y/255 */
static inline DWORD pm_scale(DWORD x, DWORD y) { return ProductTable[(x << 8) | y] >> 8; }
/* mix(c1, c2, s): weight s on c1 */
static inline DWORD pm_mix(DWORD c1, DWORD c2, DWORD s)
{
    return (DWORD)(ProductTable[(c1 << 8) | s] + ProductTable[(c2 << 8) | (255 - s)]) >> 8;
}

/* Table arithmetic of steps 4-7, no shortcuts (aT in 1..254, aB >= 1). */
static inline DWORD pm_over_table_core(DWORD t, DWORD b)
{
    DWORD at = t >> 24, ab = b >> 24;
    DWORD e = CoverTable[(at << 8) | ab];
    DWORD w = BlendWeightTable[(at << 8) | e];
    DWORD q = w >> 8, r = w & 0xFF;
    const WORD *pq = ProductTable + (q << 8);
    const WORD *pr = ProductTable + (r << 8);
    DWORD red = (DWORD)(pq[(t >> 16) & 0xFF] + pr[(b >> 16) & 0xFF]) >> 8;
    DWORD grn = (DWORD)(pq[(t >> 8) & 0xFF] + pr[(b >> 8) & 0xFF]) >> 8;
    DWORD blu = (DWORD)(pq[t & 0xFF] + pr[b & 0xFF]) >> 8;
    return ((at + e) << 24) | (red << 16) | (grn << 8) | blu;
}

/* The exact table over, with its three shortcuts. */
static inline DWORD pm_over(DWORD t, DWORD b)
{
    if ((b >> 24) == 0) return t;
    DWORD at = t >> 24;
    if (at == 255) return t;
    if (at == 0) return b;
    return pm_over_table_core(t, b);
}

/* The fast arithmetic on one pixel pair (no shortcuts). */
DWORD pm_over_fast1(DWORD t, DWORD b);

/* Fast over of count pixels (no shortcuts), SSE2; dst may alias. */
void pm_over_fast_array(const DWORD *top, const DWORD *bottom, DWORD *dst, LONG count);

/* The exact table over (pm_over) of count pixels, packed; dst may alias. */
void pm_over_table_array(const DWORD *top, const DWORD *bottom, DWORD *dst, LONG count);

/* Over of count pixels with the table's shortcuts, then the fast
 * arithmetic where the bottom alpha is at least 5 and the table arithmetic
 * where it is 1..4 (the layer operations' guard).  dst may alias. */
void pm_over_guarded_array(const DWORD *top, const DWORD *bottom, DWORD *dst, LONG count);

/* Over with the MMX guard: shortcuts first, then the fast arithmetic when
 * the switch is on and guard holds, else the table. */
static inline DWORD pm_over_guarded(DWORD t, DWORD b, int fast)
{
    if ((b >> 24) == 0) return t;
    DWORD at = t >> 24;
    if (at == 255) return t;
    if (at == 0) return b;
    return fast ? pm_over_fast1(t, b) : pm_over_table_core(t, b);
}
#endif

#endif
