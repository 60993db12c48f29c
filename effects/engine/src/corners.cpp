// Corner drag tools (see fxcorners.h).
#include "fxcorners.h"

#include <cstring>

#include "fxview.h"

namespace {

// The mouse delta in virtual units, through the view's window mapping.
void VirtualDelta(const FxView *view, POINT delta, double *dx, double *dy)
{
    if (!view || view->scaleX == 0 || view->scaleY == 0) {
        *dx = delta.x;
        *dy = delta.y;
        return;
    }
    POINT pt = { view->picture[0].x + delta.x, view->picture[0].y + delta.y };
    WindowToVirtual(view, &pt, int(view->virtualWidth), int(view->virtualHeight));
    *dx = pt.x;
    *dy = pt.y;
}

bool Usable(const FxKeyframe *kf)
{
    double x[4], y[4];
    for (int i = 0; i < 4; ++i) {
        x[i] = kf->corners[i][0] + kf->position[0];
        y[i] = kf->corners[i][1] + kf->position[1];
    }
    if (!IsConvexQuad(x, y))
        return false;
    if (g_fxGraphics.TestFourCorner) {
        RECT r;
        if (g_fxGraphics.TestFourCorner(&r, x, y) <= 0)
            return false;
    }
    return true;
}

// Puts back what the drags change: the shape values, the shear derived
// from them and the position.  The ring links stay.
void Restore(FxKeyframe *kf, const FxKeyframe *saved)
{
    std::memcpy(kf->corners, saved->corners, sizeof kf->corners);
    std::memcpy(kf->scale, saved->scale, sizeof kf->scale);
    std::memcpy(kf->extend, saved->extend, sizeof kf->extend);
    std::memcpy(kf->skew, saved->skew, sizeof kf->skew);
    std::memcpy(kf->twist, saved->twist, sizeof kf->twist);
    std::memcpy(kf->position, saved->position, sizeof kf->position);
}

int Finish(FxCornerDrag *d, uint32_t change)
{
    if (!Usable(d->kf)) {
        if (d->saved)
            Restore(d->kf, d->saved);
        if (d->path)
            NoteKeyframeChange(d->path, FXC_SHAPE | FXC_POSITION);
        return 0;
    }
    ShearFromCorners(d->kf);
    if (d->path)
        NoteKeyframeChange(d->path, change);
    return 1;
}

} // namespace

int IsConvexQuad(const double x[4], const double y[4])
{
    int sign = 0;
    for (int i = 0; i < 4; ++i) {
        int j = (i + 1) % 4, k = (i + 2) % 4;
        double cross = (x[j] - x[i]) * (y[k] - y[j]) - (y[j] - y[i]) * (x[k] - x[j]);
        if (cross > -0.00005 && cross < 0.00005)
            return 0;
        int s = cross > 0 ? 1 : -1;
        if (sign && s != sign)
            return 0;
        sign = s;
    }
    return 1;
}

int DragStretchCorners(FxCornerDrag *d, POINT delta)
{
    if (!d || !d->kf || d->handle < HANDLE_TL || d->handle > HANDLE_LEFT)
        return 0;
    double dx, dy;
    VirtualDelta(d->view, delta, &dx, &dy);
    static const int kEdge[4][2] = { { HANDLE_TL, HANDLE_TR }, { HANDLE_TR, HANDLE_BR },
                                     { HANDLE_BR, HANDLE_BL }, { HANDLE_BL, HANDLE_TL } };
    if (d->handle <= HANDLE_BL) {
        d->kf->corners[d->handle][0] += dx;
        d->kf->corners[d->handle][1] += dy;
    } else {
        // An edge moves across itself only: top and bottom on y, the sides on x.
        bool vertical = d->handle == HANDLE_TOP || d->handle == HANDLE_BOTTOM;
        for (int c : kEdge[d->handle - HANDLE_TOP]) {
            if (vertical)
                d->kf->corners[c][1] += dy;
            else
                d->kf->corners[c][0] += dx;
        }
    }
    return Finish(d, FXC_SHAPE);
}

int DragMoveCorners(FxCornerDrag *d, POINT delta, int axes)
{
    if (!d || !d->kf)
        return 0;
    double dx, dy;
    VirtualDelta(d->view, delta, &dx, &dy);
    if (!(axes & DRAG_AXIS_X))
        dx = 0;
    if (!(axes & DRAG_AXIS_Y))
        dy = 0;
    for (auto &c : d->kf->corners) {
        c[0] += dx;
        c[1] += dy;
    }
    d->kf->position[0] += dx;
    d->kf->position[1] += dy;
    return Finish(d, FXC_SHAPE | FXC_POSITION);
}
