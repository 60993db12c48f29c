// Keyframe geometry: size, corners and the shear terms between them, and
// the flat mode.
#include "fxmodel.h"

#include <cfloat>

static void PlainCorners(double c[4][3], double w, double h)
{
    c[0][0] = -w / 2;
    c[0][1] = -h / 2;
    c[1][0] = w / 2;
    c[1][1] = -h / 2;
    c[2][0] = w / 2;
    c[2][1] = h / 2;
    c[3][0] = -w / 2;
    c[3][1] = h / 2;
}

int SetKeyframeSize(FxKeyframe *kf, double w, double h)
{
    kf->width = w;
    kf->height = h;
    PlainCorners(kf->corners, w, h);
    return 1;
}

void SetCornersFromSize(FxKeyframe *kf, double w, double h)
{
    PlainCorners(kf->corners, w, h);
}

void InitKeyframeRect(FxKeyframe *kf, double x, double y, double w, double h)
{
    kf->scale[0] = kf->scale[1] = kf->scale[2] = 1.0;
    SetKeyframeSize(kf, w, h);
    kf->position[0] = kf->defaultX = x + w / 2;
    kf->position[1] = kf->defaultY = y + h / 2;
}

void InitKeyframeRectEx(FxKeyframe *kf, double x, double y, double w, double h, double ox, double oy)
{
    InitKeyframeRect(kf, x, y, w, h);
    kf->offset[0] = ox;
    kf->offset[1] = oy;
    UpdateKeyframeCorners(kf);
}

void InitKeyframeFromRect(FxKeyframe *kf, double x, double y, double w, double h)
{
    for (int i = 0; i < 3; ++i)
        kf->offset[i] = kf->extend[i] = kf->skew[i] = kf->twist[i] = 0;
    SetKeyframeSize(kf, w, h);
    for (auto &c : kf->corners)
        c[2] = 0;
    ShearFromCorners(kf);
    UpdateKeyframeCorners(kf);
    ResetKeyframeOrientation(kf);
    kf->scale[0] = kf->scale[1] = kf->scale[2] = 1.0;
    kf->position[0] = x + w / 2;
    kf->position[1] = y + h / 2;
    kf->position[2] = FX_DEFAULT_Z;
}

void InitKeyframeFromSize(FxKeyframe *kf, const SIZE *size)
{
    InitKeyframeFromRect(kf, 0, 0, size->cx, size->cy);
}

void UpdateKeyframeCorners(FxKeyframe *kf)
{
    double w = kf->width, h = kf->height;
    const double *E = kf->extend, *S = kf->skew, *T = kf->twist;
    double c[4][3];
    PlainCorners(c, w, h);
    c[0][0] += (S[0] - E[0] - T[0]) * w;
    c[0][1] += (T[1] - E[1] + S[1]) * h;
    c[1][0] += (E[0] + S[0] + T[0]) * w;
    c[1][1] += (-E[1] - S[1] - T[1]) * h;
    c[2][0] += (E[0] - S[0] - T[0]) * w;
    c[2][1] += (E[1] - S[1] + T[1]) * h;
    c[3][0] += (T[0] - E[0] - S[0]) * w;
    c[3][1] += (S[1] + E[1] - T[1]) * h;
    for (int i = 0; i < 4; ++i) {
        kf->corners[i][0] = c[i][0] + kf->offset[0];
        kf->corners[i][1] = c[i][1] + kf->offset[1];
        kf->corners[i][2] = kf->offset[2];
    }
}

// The exact inverse of UpdateKeyframeCorners for x and y (offset 0): each
// edge difference carries the twist twice over two edges, each midpoint the
// skew once per side.
void ShearFromCorners(FxKeyframe *kf)
{
    const double(*c)[3] = kf->corners;
    double w = kf->width, h = kf->height;
    if (w != 0) {
        double T = ((c[1][0] - c[0][0]) - (c[2][0] - c[3][0])) / (4 * w);
        double S = ((c[0][0] + c[1][0]) / 2 - (c[3][0] + c[2][0]) / 2) / (2 * w);
        kf->twist[0] = T;
        kf->skew[0] = S;
        kf->extend[0] = S - T - (w / 2 + c[0][0]) / w;
    }
    if (h != 0) {
        double T = ((c[2][1] - c[1][1]) - (c[3][1] - c[0][1])) / (4 * h);
        double S = ((c[0][1] + c[3][1]) / 2 - (c[1][1] + c[2][1]) / 2) / (2 * h);
        kf->twist[1] = T;
        kf->skew[1] = S;
        kf->extend[1] = T + S - (h / 2 + c[0][1]) / h;
    }
}

void GetCornerBounds(const FxKeyframe *kf, double *x, double *y, double *w, double *h)
{
    double x0 = DBL_MAX, y0 = DBL_MAX, x1 = -DBL_MAX, y1 = -DBL_MAX;
    for (auto &c : kf->corners) {
        if (c[0] < x0) x0 = c[0];
        if (c[0] > x1) x1 = c[0];
        if (c[1] < y0) y0 = c[1];
        if (c[1] > y1) y1 = c[1];
    }
    *x = x0;
    *y = y0;
    *w = x1 - x0;
    *h = y1 - y0;
}

int CheckKeyframeFlat(FxKeyframe *kf, int checkZ)
{
    if (kf->flags & KF_FLAT) {
        bool flat = kf->scale[0] == 0 && kf->scale[1] == 0 && kf->scale[2] == 0 &&
                    (!checkZ || kf->position[2] == FX_FLAT_Z);
        if (flat)
            return 1;
        kf->flags &= ~KF_FLAT;
    }
    return 0;
}

int ToggleKeyframeFlat(FxKeyframe *kf, int useZ)
{
    if (CheckKeyframeFlat(kf, useZ)) {
        kf->flags &= ~KF_FLAT;
        for (int i = 0; i < 3; ++i)
            kf->scale[i] = kf->savedScale[i];
        kf->position[2] = kf->savedZ;
        return 1;
    }
    for (int i = 0; i < 3; ++i) {
        kf->savedScale[i] = kf->scale[i];
        kf->scale[i] = 0;
    }
    kf->savedZ = kf->position[2];
    if (useZ)
        kf->position[2] = FX_FLAT_Z;
    kf->flags |= KF_FLAT;
    return 0;
}
