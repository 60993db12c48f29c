// Four-corner projective mapping.
#include <cfenv>
#include <cmath>

#include "fxprojective.h"

namespace {

// Round to nearest, no traps: mapping must not depend on what the caller
// left in the floating-point control word.
void DefaultFpu()
{
    fesetenv(FE_DFL_ENV);
}

ProjectiveMatrix g_work1, g_work2;

}  // namespace

int SquareToQuad(const Quad *q, ProjectiveMatrix *out)
{
    const double *x = q->x, *y = q->y;
    double *m = out->m;
    out->pad = 0;
    double sx = x[0] - x[1] + x[2] - x[3];
    double sy = y[0] - y[1] + y[2] - y[3];
    if (sx == 0 && sy == 0) {
        out->kind = PM_AFFINE;
        m[0] = x[1] - x[0];
        m[1] = x[3] - x[0];
        m[2] = x[0];
        m[3] = y[1] - y[0];
        m[4] = y[3] - y[0];
        m[5] = y[0];
        m[6] = m[7] = 0;
        m[8] = 1;
        return 1;
    }
    out->kind = PM_PROJECTIVE;
    double dx1 = x[1] - x[2], dx2 = x[3] - x[2], dy1 = y[1] - y[2], dy2 = y[3] - y[2];
    double den = dx1 * dy2 - dx2 * dy1;
    double g = (sx * dy2 - dx2 * sy) / den;
    double h = (dx1 * sy - sx * dy1) / den;
    m[0] = x[1] - x[0] + g * x[1];
    m[1] = x[3] - x[0] + h * x[3];
    m[2] = x[0];
    m[3] = y[1] - y[0] + g * y[1];
    m[4] = y[3] - y[0] + h * y[3];
    m[5] = y[0];
    m[6] = g;
    m[7] = h;
    m[8] = 1;
    // NaN fails every comparison, so a zero denominator is refused too.
    return (g > -1 && h > -1 && g + h > -1) ? 1 : 0;
}

int AdjointMatrix(const ProjectiveMatrix *in, ProjectiveMatrix *out)
{
    const double *s = in->m;
    double a = s[0], b = s[1], c = s[2], d = s[3], e = s[4], f = s[5], g = s[6], h = s[7], i = s[8];
    double *m = out->m;
    m[0] = e * i - h * f;
    m[1] = h * c - b * i;
    m[2] = b * f - e * c;
    m[3] = g * f - d * i;
    m[4] = a * i - g * c;
    m[5] = d * c - a * f;
    m[6] = d * h - g * e;
    m[7] = g * b - a * h;
    m[8] = a * e - d * b;
    out->kind = in->kind;
    out->pad = 0;
    return 1;
}

int MultiplyMatrix(const ProjectiveMatrix *a, const ProjectiveMatrix *b, ProjectiveMatrix *out)
{
    double r[9];
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col) {
            double sum = 0;
            for (int k = 0; k < 3; ++k)
                sum += b->m[row * 3 + k] * a->m[k * 3 + col];
            r[row * 3 + col] = sum;
        }
    int kind = a->kind & b->kind;
    for (int k = 0; k < 9; ++k)
        out->m[k] = r[k];
    out->kind = kind;
    out->pad = 0;
    return 1;
}

int QuadToQuad(const Quad *source, const Quad *target, ProjectiveMatrix *out)
{
    DefaultFpu();
    SquareToQuad(source, &g_work1);
    AdjointMatrix(&g_work1, &g_work1);
    SquareToQuad(target, &g_work2);
    MultiplyMatrix(&g_work1, &g_work2, out);
    return 1;
}

int MapPointDouble(double *x, double *y, const ProjectiveMatrix *pm)
{
    DefaultFpu();
    const double *m = pm->m;
    double w = 1.0 / (m[6] * *x + m[7] * *y + m[8]);
    double nx = (m[0] * *x + m[1] * *y + m[2]) * w;
    double ny = (m[3] * *x + m[4] * *y + m[5]) * w;
    *x = nx;
    *y = ny;
    return 1;
}

int MapPointInt(IntPoint *pt, const ProjectiveMatrix *pm)
{
    double x = pt->x, y = pt->y;
    MapPointDouble(&x, &y, pm);
    pt->x = int32_t(std::nearbyint(x));
    pt->y = int32_t(std::nearbyint(y));
    return 1;
}
