// Matrix routines of the realtime export (see fxmatrix.h for the convention).
#include "fxmatrix.h"

#include <cmath>

namespace {
const double kTolerance = 0.00005;
}

void ScaleMatrixAxes(double m[16], double sx, double sy, double sz)
{
    const double f[3] = { sx, sy, sz };
    for (int r = 0; r < 3; ++r) {
        if (f[r] == 0)
            continue;
        for (int c = 0; c < 4; ++c)
            m[r * 4 + c] *= f[r];
    }
}

void ScaleAffineAxes(double m[12], double sx, double sy, double sz)
{
    const double f[3] = { sx, sy, sz };
    for (int r = 0; r < 3; ++r) {
        if (f[r] == 0)
            continue;
        for (int c = 0; c < 3; ++c)
            m[r * 3 + c] *= f[r];
    }
}

void TranslateMatrix(double m[16], double tx, double ty, double tz)
{
    for (int c = 0; c < 4; ++c)
        m[12 + c] += tx * m[c] + ty * m[4 + c] + tz * m[8 + c];
}

void BuildQuadMatrix(double m[16], double a, double b, double c, double d, double e, double f, double g, double h)
{
    for (int i = 0; i < 16; ++i)
        m[i] = (i % 5 == 0) ? 1.0 : 0.0;
    // Row-vector form: the x terms of a point land in row 0, the y terms
    // in row 1, the constants in row 3; the column 3 collects the divisor.
    m[0] = a;
    m[1] = d;
    m[4] = b;
    m[5] = e;
    m[12] = c;
    m[13] = f;
    if (std::fabs(g) >= kTolerance || std::fabs(h) >= kTolerance) {
        m[3] = g;
        m[7] = h;
    }
}

void MakePlane(double out[5], double a, double b, double x, double y, double z)
{
    out[0] = -a;
    out[1] = -b;
    out[2] = -x;
    out[3] = -y;
    out[4] = -z;
}

void MakePlane4(double out[4], double x, double y, double z, double w)
{
    out[0] = -x;
    out[1] = -y;
    out[2] = -z;
    out[3] = -w;
}
