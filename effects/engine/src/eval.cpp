// The frame evaluator: a path's work keyframe at a frame time, and the
// projection of a keyframe into a view.
#include "fxeval.h"

#include <cmath>

FxWarpBufferMaker g_fxMakeWarpBuffer = nullptr;
const char FX_WARP_PROPERTY[] = "WarpSafeBufferData";

void DeleteWarpBuffer(uintptr_t, uintptr_t value)
{
    delete reinterpret_cast<ByteBuffer *>(value);
}

FxKeyframe *ChooseKeyframe(FxPath *path, double t)
{
    FxKeyframe *head = path->head;
    if (head->next == head || t <= head->endFrame)
        return head;
    FxKeyframe *last = LastKeyframe(path);
    if (t <= last->startFrame) {
        for (FxKeyframe *k = head->next;; k = k->next) {
            if (k->endFrame >= t)
                return k->prev;
            if (k->next->index <= k->index)
                break;
        }
    }
    return last->prev;
}

namespace {

double Lerp(double a, double b, double u)
{
    return a + (b - a) * u;
}

int LerpInt(int a, int b, double u)
{
    return int(a + (b - a) * u);
}

uint32_t Blend(uint32_t a, uint32_t b, double u)
{
    uint32_t out;
    BlendColourHsl(&out, a, b, u);
    return out;
}

// Every field that is neither a segment nor held, from k towards n at u.
void InterpolateAttributes(FxKeyframe *w, const FxKeyframe *k, const FxKeyframe *n, double u)
{
    for (int i = 0; i < 3; ++i) {
        w->skew[i] = Lerp(k->skew[i], n->skew[i], u);
        w->extend[i] = Lerp(k->extend[i], n->extend[i], u);
        w->emboss[i] = LerpInt(k->emboss[i], n->emboss[i], u);
        w->tint[i] = LerpInt(k->tint[i], n->tint[i], u);
    }
    w->fade = LerpInt(k->fade, n->fade, u);
    w->posterize = LerpInt(k->posterize, n->posterize, u);
    for (int i = 0; i < 2; ++i) {
        w->luminance[i] = LerpInt(k->luminance[i], n->luminance[i], u);
        w->faceSheen[i] = LerpInt(k->faceSheen[i], n->faceSheen[i], u);
        w->mosaic[i] = int(Lerp(k->mosaic[i], n->mosaic[i], u) + 0.5);
        w->blur[i] = Lerp(k->blur[i], n->blur[i], u);
    }
    for (int i = 0; i < 4; ++i) {
        w->crop[i] = Lerp(k->crop[i], n->crop[i], u);
        w->shadowRect[i] = Lerp(k->shadowRect[i], n->shadowRect[i], u);
        w->procamp[i] = Lerp(k->procamp[i], n->procamp[i], u);
    }
    w->borderWidth = Lerp(k->borderWidth, n->borderWidth, u);
    w->softness = Lerp(k->softness, n->softness, u);
    w->shadowFade = Lerp(k->shadowFade, n->shadowFade, u);
    w->kerning = float(Lerp(k->kerning, n->kerning, u));
    w->kerningSpare = float(Lerp(k->kerningSpare, n->kerningSpare, u));
    if (!(k->borderColour & 0x80000000u))
        w->borderColour = Blend(k->borderColour, n->borderColour, u);
    if (!(k->monoColour & 0x80000000u))
        w->monoColour = Blend(k->monoColour, n->monoColour, u);
    w->shadowColour = Blend(k->shadowColour, n->shadowColour, u);
    for (int i = 0; i < 16; ++i)
        if (!(k->warpFlags & (1u << i)))
            w->warpParams[i] = Lerp(k->warpParams[i], n->warpParams[i], u);
}

void UpdateWarpBuffer(FxPath *path, FxKeyframe *w)
{
    uintptr_t key = uintptr_t(FX_WARP_PROPERTY);
    if ((w->warpFlags & WARP_NONE) || w->fade >= 100) {
        path->props.remove(path, key);
        return;
    }
    ByteBuffer *existing = reinterpret_cast<ByteBuffer *>(path->props.get(path, key));
    if (!g_fxMakeWarpBuffer)
        return;
    ByteBuffer *b = g_fxMakeWarpBuffer(w->warpId, w->warpParams, w->width, w->height, existing);
    if (b && b != existing)
        path->props.set(path, key, uintptr_t(b), DeleteWarpBuffer);
}

} // namespace

int EvaluatePathAtTime(FxView *view, FxPath *path, double t, int noRebuild)
{
    if (!path || !path->head)
        return 0;
    FxKeyframe *w = &path->work;
    uint32_t workBit = w->flags & KF_WORK;
    CopyKeyframe(w, path->head);

    FxKeyframe *k = ChooseKeyframe(path, t);
    FxKeyframe *n = RingNext(k);
    if (!noRebuild) {
        if (k->positionSegment.flags & SEGMENT_STALE)
            BuildPositionSegment(k);
        if (k->rotationSegment.flags & SEGMENT_STALE)
            BuildRotationSegment(k);
        if (k->shapeSegment.flags & SEGMENT_STALE)
            BuildShapeSegment(k);
        if (path->orientToPath)
            InitOrientToPath(path);
        else if (!path->orientCurve)
            RefreshOrientationTable(path, 1);
        for (int c = 0; c < 3; ++c)
            BuildSpeedTable(k, c);
    }

    CopyKeyframe(w, k);
    w->flags |= workBit;

    double u0 = SpeedParam(k, FX_CH_POSITION, t);
    Vec3 pos;
    EvalPosition(k, &pos, u0);
    w->position[0] = pos.x;
    w->position[1] = pos.y;
    w->position[2] = pos.z;
    w->positionDerivative = k->positionDerivative;

    double u1 = SpeedParam(k, FX_CH_ROTATION, t);
    Vec3 spin;
    EvalSpin(k, &spin, u1);
    w->spinAngles[0] = spin.x;
    w->spinAngles[1] = spin.y;
    w->spinAngles[2] = spin.z;
    if (path->orientToPath)
        OrientToPath(path, w, k->positionDerivative);
    else if (path->orientCurve)
        w->orientation = EvalQuatCurve(path->orientCurve, k->index, u1);
    ComposeKeyframeOrientation(w);

    double u2 = SpeedParam(k, FX_CH_SHAPE, t);
    EvalShape(k, ShapeValues(w), u2);
    InterpolateAttributes(w, k, n, u2);

    if (view)
        ProjectKeyframe(view, path, w, 1);
    UpdateWarpBuffer(path, w);

    w->startTime = w->endTime = t;
    w->startFrame = w->endFrame = int(t);
    w->secondFlags |= KF2_FRACTIONAL;
    return 1;
}

namespace {

struct Rot {
    double m[3][3];
    Vec3 Apply(const double v[3]) const
    {
        return Vec3{ m[0][0] * v[0] + m[0][1] * v[1] + m[0][2] * v[2],
                     m[1][0] * v[0] + m[1][1] * v[1] + m[1][2] * v[2],
                     m[2][0] * v[0] + m[2][1] * v[1] + m[2][2] * v[2] };
    }
};

Rot Matrix(const Quat &q)
{
    double n = q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z;
    double s = n > 0 ? 2 / n : 0;
    double xx = q.x * q.x * s, yy = q.y * q.y * s, zz = q.z * q.z * s;
    double xy = q.x * q.y * s, xz = q.x * q.z * s, yz = q.y * q.z * s;
    double wx = q.w * q.x * s, wy = q.w * q.y * s, wz = q.w * q.z * s;
    return Rot{ { { 1 - yy - zz, xy - wz, xz + wy },
                  { xy + wz, 1 - xx - zz, yz - wx },
                  { xz - wy, yz + wx, 1 - xx - yy } } };
}

int Clamp16(double v)
{
    // Rounded half away from zero after limiting, so huge values stay finite.
    if (!(v > -32768))
        return -32768;
    if (v > 32767)
        return 32767;
    return FxRound(v);
}

struct Projector {
    const FxView *view;
    bool persp;
    double Factor(double z) const
    {
        return z >= FX_EPS ? view->distance / z : view->distance * 20000.0005;
    }
    void Screen(const Vec3 &p, int *sx, int *sy, double *factor = nullptr) const
    {
        if (persp) {
            double s = Factor(p.z);
            *sx = Clamp16(p.x * view->scaleX * s + view->originX);
            *sy = Clamp16(p.y * s * view->scaleY + view->originY);
            if (factor)
                *factor = s;
        } else {
            *sx = Clamp16(p.x * view->scaleX) + int(view->originX);
            *sy = Clamp16(p.y * view->scaleY) + int(view->originY);
            if (factor)
                *factor = 1;
        }
    }
};

int Limit(int v, int lo, int hi)
{
    return v < lo ? lo : v > hi ? hi : v;
}

} // namespace

void ProjectKeyframe(FxView *view, FxPath *path, FxKeyframe *kf, int workMode)
{
    Quat q = workMode ? kf->composedQuat : kf->orientation;
    if (!workMode && path && path->orientToPath && kf != path->head) {
        EvaluatePathAtTime(nullptr, path, kf->startFrame, 0);
        kf->orientation = path->work.orientation;
        q = kf->orientation;
    }
    Rot R = Matrix(q);
    Projector pr{ view, (view->flags & VIEW_PERSPECTIVE) != 0 };
    Vec3 pos{ kf->position[0], kf->position[1], kf->position[2] };
    pr.Screen(pos, &kf->screenPos[0], &kf->screenPos[1]);

    double off[3] = { kf->offset[0] * kf->scale[0], kf->offset[1] * kf->scale[1], kf->offset[2] * kf->scale[2] };
    Vec3 c = R.Apply(off);
    kf->centre3d[0] = c.x + pos.x;
    kf->centre3d[1] = c.y + pos.y;
    kf->centre3d[2] = c.z + pos.z;
    int cx, cy;
    pr.Screen(Vec3{ kf->centre3d[0], kf->centre3d[1], kf->centre3d[2] }, &cx, &cy);
    kf->screenCentre[0] = Limit(cx, 1, view->width - 1);
    kf->screenCentre[1] = Limit(cy, 1, view->height - 1);

    int left = cx - 10, top = cy - 10, right = cx + 20, bottom = cy + 20;
    for (int i = 0; i < 4; ++i) {
        double v[3] = { kf->corners[i][0] * kf->scale[0], kf->corners[i][1] * kf->scale[1],
                        kf->corners[i][2] * kf->scale[2] };
        Vec3 p = R.Apply(v);
        p = Vec3{ p.x + pos.x, p.y + pos.y, p.z + pos.z };
        int sx, sy;
        double s;
        pr.Screen(p, &sx, &sy, &s);
        kf->screenCorners[i][0] = sx;
        kf->screenCorners[i][1] = sy;
        double vw = view->virtualWidth, vh = view->virtualHeight;
        kf->normCorners[i][0] = vw != 0 ? p.x * s / vw : 0;
        kf->normCorners[i][1] = vh != 0 ? p.y * s / vh : 0;
        if (sx < left) left = sx;
        if (sx > right) right = sx;
        if (sy < top) top = sy;
        if (sy > bottom) bottom = sy;
    }
    if (kf->screenPos[0] < left) left = kf->screenPos[0];
    if (kf->screenPos[0] > right) right = kf->screenPos[0];
    if (kf->screenPos[1] < top) top = kf->screenPos[1];
    if (kf->screenPos[1] > bottom) bottom = kf->screenPos[1];
    left = Limit(left, 0, view->width);
    right = Limit(right, 0, view->width);
    top = Limit(top, 0, view->height);
    bottom = Limit(bottom, 0, view->height);
    kf->screenBounds[0] = left;
    kf->screenBounds[1] = top;
    kf->screenBounds[2] = right - left;
    kf->screenBounds[3] = bottom - top;

    if (kf->secondFlags & 0x4000)
        kf->secondFlags &= ~0x80u;
    else
        kf->secondFlags |= 0x80u;
    kf->secondFlags &= ~0x2u;
}
