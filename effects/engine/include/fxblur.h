// The Blur filter of an object: a recursive (fourth-order) approximation of
// the Gaussian run along rows and columns, causal and anti-causal, whose
// cost does not grow with the radius.  The layer is replaced by a larger
// one so that the blur can spread past the object's former edges.
#pragma once

#include "fxmodel.h"

// One direction's coefficients: causal numerator n0..n3, anti-causal
// numerator m1..m4, denominator d1..d4 (index 0 unused, 0), and the border
// factors of a constant edge for both passes.
struct GaussCoeffs {
    double n[5];
    double m[5];
    double d[5];
    double b[5];
    double bm[5];
};
void GaussCoefficients(double n[5], double m[5], double d[5], double dCopy[5], double b[5], double bm[5],
                       double sigma);

// Replaces *layer by the blurred, enlarged layer (border 2 x round(sigma)
// on each side).  1 on success; 0 with nothing changed when there is no
// layer, the graphics core is not bound or the new layer cannot be made.
int BlurLayer(Layer **layer, double sigmaX, double sigmaY);
