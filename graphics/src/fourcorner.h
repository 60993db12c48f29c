/*
 * Four-corner mapping: a whole layer warped onto a quadrilateral by a
 * projective transform done as two one-dimensional passes through an
 * intermediate layer.
 *
 * Corners: x and y arrays of four doubles, where the source's top-left,
 * top-right, bottom-right and bottom-left corners go, in destination
 * pixels (a source pixel i covers [i, i + 1), so the identity of a W x H
 * layer is (0,0) (W,0) (W,H) (0,H)).
 */
#ifndef PIXMOOR_FOURCORNER_H
#define PIXMOOR_FOURCORNER_H

#include <windows.h>
#include "pixmoor.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct FourCornerState {
    double x[4], y[4];          /* corners, shifted so the box starts at 0 */
    double a, b, c, d, e, f, g, h;   /* x = (a u + b v + c) / (g u + h v + 1), y likewise with d, e, f */
    double pass[8];             /* coefficients of the current pass (p0 .. p7) */
    LONG srcWidth, srcHeight;
    LONG affine;
    LONG order;                 /* 1 to 4 */
    LONG abandoned;             /* bits 1, 2, 4, 8 for orders 1 to 4; 15 ends the loop */
    LONG boundWidth, boundHeight;
    LONG midWidth, midHeight;   /* intermediate layer */
    LONG originX, originY;      /* destination position of the box */
} FourCornerState;

/* Set-up for a W x H source: shift, projective coefficients, refusal of
 * quadrilaterals whose mapping would pass through infinity.  0 when
 * refused. */
LONG fourcorner_setup(FourCornerState *s, const double *xs, const double *ys, LONG width, LONG height);
/* Chooses the next order not abandoned (most detail first), sets the
 * intermediate size and the first-pass coefficients; 0 when none is left. */
LONG fourcorner_choose(FourCornerState *s);
/* 1 when the first pass of the chosen order runs one way along its first
 * line and the other way along its last. */
LONG fourcorner_folds(const FourCornerState *s);

/* The mapping with the orders in `excluded` (bits as in abandoned) left
 * out from the start. */
LONG fourcorner_map(Layer *destination, Layer *source, const double *xs, const double *ys, LONG excluded);

LONG PIXAPI FourCornerMapLayer(Layer *destination, Layer *source, const double *xs, const double *ys);
LONG PIXAPI TestFourCorner(RECT *rect, const double *xs, const double *ys);

#ifdef __cplusplus
}
#endif

#endif
