/* Internal helpers of the layer core shared by the pixel operations. */
#ifndef PIXMOOR_LAYER_H
#define PIXMOOR_LAYER_H

#include <windows.h>
#include "pixmoor.h"

#ifdef __cplusplus
extern "C" {
#endif

static inline int layer_is_clipped(const Layer *l) { return (l->kind & 2u) != 0; }
static inline int layer_is_virtual(const Layer *l) { return (l->kind & LAYER_KIND_MASK) == LAYER_KIND_VIRTUAL; }

/* Effective rectangle: position cut by every ancestor's position (and by
 * the partner when the root is virtual).  Rewrites width, height, visible
 * and effective.  0 when a virtual root has no partner. */
LONG layer_compute_effective(Layer *layer);

/* Overlap window of two accesses: intersection of their windows.  0 when
 * empty; otherwise width/height and row pointers of a.first, a.second and
 * b.second at the window's top-left. */
LONG layer_overlap_window(const LayerAccess *a, const LayerAccess *b,
                          LONG *width, LONG *height,
                          BYTE **a1, BYTE **a2, BYTE **b2);

/* Coverage runs of one row: pairs (length, coverage) ending with length 0.
 * coverage 1 first only, 2 second only, 3 both, 0 neither.  mask bit 0:
 * first span present, bit 1: second span present.  out needs room for
 * 16 words.  Returns the number of runs. */
LONG layer_overlap_runs(LONG s1, LONG e1, LONG s2, LONG e2, LONG mask, LONG *out);

/* Rectangle scaling for views: left/top truncate, right/bottom round up;
 * 0 for a zero factor or null rectangle. */
LONG layer_scale_rect(RECT *rect, LONG mulX, LONG divX, LONG mulY, LONG divY);

/* Layouts' pale-backed under-composite: per pixel of the (destination,
 * source) window, destination = destination over (source over 0x80FFFFFF). */
LONG CompositUnderPaleLayer(Layer *destination, Layer *source);

/* Thread-local switch slots (allocated at start-up). */
extern DWORD g_refreshSlot;
extern DWORD g_updateSlot;

#ifdef __cplusplus
}
#endif

#endif
