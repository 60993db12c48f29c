// The frame evaluator: a path's work keyframe at a frame time, and the
// projection of a keyframe into a view.
#include "fxeval.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

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

// ---------------------------------------------------------------- editor drawing

namespace {

void Bounds(const FxView *view, int32_t (*pts)[2], int n, int32_t out[4])
{
    if (n <= 0) {
        out[0] = out[1] = out[2] = out[3] = 0;
        return;
    }
    int left = pts[0][0], right = pts[0][0], top = pts[0][1], bottom = pts[0][1];
    for (int i = 1; i < n; ++i) {
        if (pts[i][0] < left) left = pts[i][0];
        if (pts[i][0] > right) right = pts[i][0];
        if (pts[i][1] < top) top = pts[i][1];
        if (pts[i][1] > bottom) bottom = pts[i][1];
    }
    left = Limit(left - 2, 0, view->width);
    top = Limit(top - 2, 0, view->height);
    right = Limit(right + 5, 0, view->width);
    bottom = Limit(bottom + 5, 0, view->height);
    out[0] = left;
    out[1] = top;
    out[2] = right - left;
    out[3] = bottom - top;
}

bool IsLast(const FxKeyframe *kf)
{
    return kf->next->index <= kf->index;
}

} // namespace

void ProjectPathCurve(FxView *view, FxKeyframe *kf)
{
    if (IsLast(kf))
        return;
    Projector pr{ view, (view->flags & VIEW_PERSPECTIVE) != 0 };
    StartCurveStepper(kf, 65);
    Vec3 p{ kf->position[0], kf->position[1], kf->position[2] };
    for (int i = 0; i < 64; ++i) {
        NextCurvePoint(kf, &p);
        pr.Screen(p, &kf->curvePoints[i][0], &kf->curvePoints[i][1]);
    }
    Bounds(view, kf->curvePoints, 64, kf->curveBounds);
    kf->secondFlags |= KF2_CURVE;
    kf->drawFlags |= 0x8;
}

void ProjectFrameTicks(FxView *view, FxKeyframe *kf)
{
    bool last = IsLast(kf);
    int64_t frames = last ? 1 : int64_t(kf->next->startFrame) - kf->endFrame;
    if (frames < 1)
        frames = 1;
    // One point per frame; the buffer grows in steps of 16 points.  A
    // transition longer than any view could show is drawn in its first
    // 65536 frames.
    if (frames > 65536)
        frames = 65536;
    int need = int((frames + 15) / 16 * 16);
    if (!kf->ownedBuffer || need != kf->tickCapacity) {
        void *b = realloc(kf->ownedBuffer, size_t(need) * 2 * sizeof(int32_t));
        if (!b)
            return;
        kf->ownedBuffer = b;
        kf->tickCapacity = need;
    }
    int32_t(*pts)[2] = static_cast<int32_t(*)[2]>(kf->ownedBuffer);
    Projector pr{ view, (view->flags & VIEW_PERSPECTIVE) != 0 };
    if (last) {
        pts[0][0] = kf->screenPos[0];
        pts[0][1] = kf->screenPos[1];
    } else {
        if (kf->positionSegment.flags & SEGMENT_STALE)
            BuildPositionSegment(kf);
        BuildSpeedTable(kf, FX_CH_POSITION);
        for (int i = 0; i < int(frames); ++i) {
            Vec3 v, d;
            EvalSegment(&kf->positionSegment, &v, SpeedParam(kf, FX_CH_POSITION, double(kf->endFrame) + i), &d);
            pr.Screen(v, &pts[i][0], &pts[i][1]);
        }
    }
    kf->tickCount = int(frames);
    Bounds(view, pts, kf->tickCount, kf->tickBounds);
    kf->secondFlags |= KF2_TICKS;
    kf->drawFlags |= 0x20;
}

void RecomputePath(FxView *view, FxPath *path)
{
    if (!path || !path->head)
        return;
    // Segments and speed curves first, so that curves and ticks are drawn
    // from the current keyframes.
    RefreshPath(path);
    for (FxKeyframe *kf = path->head;; kf = kf->next) {
        kf->secondFlags &= ~(KF2_CURVE | KF2_TICKS);
        ProjectKeyframe(view, path, kf, 0);
        ProjectPathCurve(view, kf);
        ProjectFrameTicks(view, kf);
        for (int i = 0; i < 3; ++i)
            kf->spinAngles[i] = kf->rotation[i] = 0;
        QuatToEuler(kf->rotation, kf->orientation);
        ComposeKeyframeOrientation(kf);
        if (IsLast(kf))
            break;
    }
}

void RecomputeEffect(FxView *view, FxPath *first)
{
    for (FxPath *p = first; p; p = p->next)
        RecomputePath(view, p);
}

namespace {

// Up to two keyframes before `kf` and two after, never across the wrap.
template <class F>
void Around(FxKeyframe *kf, F f)
{
    FxKeyframe *start = kf;
    for (int i = 0; i < 2 && RingPrev(start) != start; ++i)
        start = RingPrev(start);
    FxKeyframe *end = kf;
    for (int i = 0; i < 2 && RingNext(end) != end; ++i)
        end = RingNext(end);
    for (FxKeyframe *k = start;; k = k->next) {
        f(k);
        if (k == end)
            break;
    }
}

} // namespace

uint32_t UpdateAfterEdit(FxView *view, const FxEditContext *ctx, uint32_t flags)
{
    if (!view || !ctx)
        return flags;
    if (flags & 8) {
        RecomputeEffect(view, ctx->first);
    } else if ((flags & 64) && ctx->path) {
        RecomputePath(view, ctx->path);
        flags |= 0x2000;
    } else if ((flags & 0x1000) && ctx->kf) {
        ProjectKeyframe(view, ctx->path, ctx->kf, 0);
    }
    if (!(flags & 64) && (flags & 0x100) && ctx->kf) {
        Around(ctx->kf, [&](FxKeyframe *k) {
            ProjectPathCurve(view, k);
            ProjectFrameTicks(view, k);
        });
        if (IsLast(ctx->kf))
            ProjectFrameTicks(view, ctx->kf);
    }
    if (flags & 0x2000) {
        for (FxPath *p = ctx->first; p; p = p->next)
            EvaluatePathAtTime(view, p, ctx->frame, 0);
    } else if ((flags & 0x4000) && ctx->path) {
        EvaluatePathAtTime(view, ctx->path, ctx->frame, 0);
    }
    return flags;
}

void UnionRect(int32_t a[4], const int32_t b[4])
{
    int64_t left = a[0] < b[0] ? a[0] : b[0];
    int64_t top = a[1] < b[1] ? a[1] : b[1];
    int64_t right = std::max(int64_t(a[0]) + a[2], int64_t(b[0]) + b[2]);
    int64_t bottom = std::max(int64_t(a[1]) + a[3], int64_t(b[1]) + b[3]);
    a[0] = int32_t(left);
    a[1] = int32_t(top);
    a[2] = int32_t(right - left);
    a[3] = int32_t(bottom - top);
}

void AddDirtyRect(FxView *view, const int32_t rect[4])
{
    if (!(view->flags & VIEW_DIRTY_VALID)) {
        memcpy(view->dirty, rect, sizeof view->dirty);
        view->flags |= VIEW_DIRTY_VALID;
    } else {
        UnionRect(view->dirty, rect);
    }
}

void AddKeyframeDirty(FxView *view, const FxKeyframe *kf)
{
    AddDirtyRect(view, kf->screenBounds);
    const int32_t square[4] = { kf->screenCentre[0] - 12, kf->screenCentre[1] - 12, 12, 12 };
    AddDirtyRect(view, square);
}

uint32_t CollectDirty(FxView *view, FxPath *first, FxPath *path, FxKeyframe *kf, uint32_t flags)
{
    view->flags |= VIEW_GATHERING;
    auto wholePath = [&](FxPath *p) {
        for (FxKeyframe *k = p->head;; k = k->next) {
            AddDirtyRect(view, k->curveBounds);
            AddKeyframeDirty(view, k);
            if (IsLast(k))
                break;
        }
        AddDirtyRect(view, p->work.screenBounds);
    };
    if (flags & 0x40000011) {
        const int32_t all[4] = { 0, 0, view->width, view->height };
        AddDirtyRect(view, all);
        return flags;
    }
    if (flags & 8) {
        for (FxPath *p = first; p; p = p->next)
            wholePath(p);
        return flags;
    }
    if (flags & 0x2000) {
        for (FxPath *p = first; p; p = p->next)
            if (p->work.secondFlags & 1)
                AddDirtyRect(view, p->work.screenBounds);
    } else if ((flags & 0x4000) && path && (path->work.secondFlags & 1)) {
        AddDirtyRect(view, path->work.screenBounds);
    }
    if ((flags & 64) && path)
        wholePath(path);
    else if ((flags & 0x100) && kf)
        Around(kf, [&](FxKeyframe *k) { AddDirtyRect(view, k->curveBounds); });
    if ((flags & 0x1000) && kf)
        AddKeyframeDirty(view, kf);
    return flags;
}
