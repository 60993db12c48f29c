// Channel interpolation: which values feed each keyframe's segments, when
// they are rebuilt, how speed settings turn frame time into a segment
// parameter, and where the orientation comes from.
#include "fxeval.h"

#include <cmath>
#include <initializer_list>

FxKeyframe *RingPrev(FxKeyframe *kf)
{
    return kf->prev->index < kf->index ? kf->prev : kf;
}

FxKeyframe *RingNext(FxKeyframe *kf)
{
    return kf->next->index > kf->index ? kf->next : kf;
}

namespace {

bool Zero(double d)
{
    return d > -FX_EPS && d < FX_EPS;
}

bool ZeroTcb(const FxTcb &t)
{
    return Zero(t.t) && Zero(t.c) && Zero(t.b);
}

// A channel that does not move between the two keys would overshoot with
// tangents from the outer neighbours: an untouched triple then leans away
// from them (bias -1 on the way out, +1 on the way in).
void StillTriples(bool still, FxTcb &t1, FxTcb &t2)
{
    if (!still)
        return;
    if (ZeroTcb(t1))
        t1 = FxTcb{ 0, 0, -1 };
    if (ZeroTcb(t2))
        t2 = FxTcb{ 0, 0, 1 };
}

Vec3 V(const double p[3])
{
    return Vec3{ p[0], p[1], p[2] };
}

bool Same(const Vec3 &a, const Vec3 &b)
{
    return Zero(a.x - b.x) && Zero(a.y - b.y) && Zero(a.z - b.z);
}

struct Points {
    Vec3 p0, p1, p2, p3;
    FxTcb t1, t2;
};

Points PositionPoints(FxKeyframe *kf)
{
    FxKeyframe *prev = RingPrev(kf), *next = RingNext(kf), *after = RingNext(next);
    Points p{ V(prev->position), V(kf->position), V(next->position), V(after->position),
              kf->positionTcb, next->positionTcb };
    StillTriples(Same(p.p1, p.p2), p.t1, p.t2);
    return p;
}

Vec3 Spins(const FxKeyframe *kf)
{
    return Vec3{ kf->spins[0] * FX_SPIN, kf->spins[1] * FX_SPIN, kf->spins[2] * FX_SPIN };
}

Vec3 Add(const Vec3 &a, const Vec3 &b)
{
    return Vec3{ a.x + b.x, a.y + b.y, a.z + b.z };
}

double Clamp1(double v)
{
    return v < -1 ? -1 : v > 1 ? 1 : v;
}

SpeedCurve &Speed(FxKeyframe *kf, int channel)
{
    return channel == FX_CH_POSITION ? kf->positionSpeed
         : channel == FX_CH_ROTATION ? kf->rotationSpeed : kf->shapeSpeed;
}

void OrientSample(void *ctx, int key, QuatSample *out)
{
    FxKeyframe *kf = FindKeyframeByIndex(static_cast<FxPath *>(ctx), key);
    if (!kf)
        kf = static_cast<FxPath *>(ctx)->head;
    out->q = kf->orientation;
    out->smooth = Clamp1(kf->rotationTcb.c);
}

double Dot(const Quat &a, const Quat &b)
{
    return a.w * b.w + a.x * b.x + a.y * b.y + a.z * b.z;
}

// Keyframes whose orientation is the exact opposite of their predecessor's
// turn the long way; negating them (and every later one) keeps the same
// rotations and takes the short way.
void FlipOpposites(FxPath *path)
{
    FxKeyframe *kf = path->head;
    while (kf->next->index > kf->index) {
        FxKeyframe *n = kf->next;
        if (Dot(kf->orientation, n->orientation) + 1 < FX_EPS) {
            for (FxKeyframe *k = n;; k = k->next) {
                k->orientation = Quat{ -k->orientation.w, -k->orientation.x, -k->orientation.y, -k->orientation.z };
                if (k->next->index <= k->index)
                    break;
            }
        }
        kf = n;
    }
}

} // namespace

void BuildPositionSegment(FxKeyframe *kf)
{
    Points p = PositionPoints(kf);
    BuildTcbSegment(&kf->positionSegment, p.p0, p.p1, p.p2, p.p3, p.t1, p.t2);
}

void BuildRotationSegment(FxKeyframe *kf)
{
    FxKeyframe *prev = RingPrev(kf), *next = RingNext(kf);
    bool wraps = RingNext(next) == next;
    Vec3 p0 = Spins(prev == kf ? kf : prev);
    Vec3 p1 = Add(p0, Spins(kf));
    Vec3 p2 = Add(p1, Spins(next));
    Vec3 p3 = Add(p2, wraps ? Spins(next) : Spins(RingNext(next)));
    FxTcb t1 = kf->rotationTcb, t2 = next->rotationTcb;
    StillTriples(Same(p1, p2), t1, t2);
    BuildTcbSegment(&kf->rotationSegment, p0, p1, p2, p3, t1, t2);
}

void BuildShapeSegment(FxKeyframe *kf)
{
    FxKeyframe *prev = RingPrev(kf), *next = RingNext(kf), *after = RingNext(next);
    const double *own = ShapeValues(kf), *to = ShapeValues(next);
    bool still = true;
    for (int i = 0; i < FX_SHAPE_VALUES; ++i)
        if (!Zero(own[i] - to[i]))
            still = false;
    FxTcb t1 = kf->shapeTcb, t2 = next->shapeTcb;
    StillTriples(still, t1, t2);
    kf->shapeSegment.count = FX_SHAPE_VALUES;
    BuildTcbSegmentN(&kf->shapeSegment, ShapeValues(prev), own, to, ShapeValues(after), t1, t2);
}

void StartCurveStepper(FxKeyframe *kf, int steps)
{
    Points p = PositionPoints(kf);
    StartSegmentStepper(&kf->curveStepper, p.p0, p.p1, p.p2, p.p3, p.t1, p.t2, steps);
}

void NextCurvePoint(FxKeyframe *kf, Vec3 *point)
{
    StepSegment(&kf->curveStepper, point);
}

void EvalPosition(FxKeyframe *kf, Vec3 *out, double u)
{
    EvalSegment(&kf->positionSegment, out, u, &kf->positionDerivative);
}

void EvalSpin(FxKeyframe *kf, Vec3 *out, double u)
{
    EvalSegment(&kf->rotationSegment, out, u, nullptr);
}

void EvalShape(FxKeyframe *kf, double out[FX_SHAPE_VALUES], double u)
{
    EvalSegmentN(&kf->shapeSegment, out, u);
}

void BuildSpeedTable(FxKeyframe *kf, int channel)
{
    FxKeyframe *next = RingNext(kf);
    SpeedCurve &c = Speed(kf, channel);
    c.duration = next->startFrame - kf->endFrame;
    BuildSpeedCurve(&c, &c, &Speed(next, channel));
}

double SpeedParam(FxKeyframe *kf, int channel, double time)
{
    FxKeyframe *next = RingNext(kf);
    if (time <= kf->endFrame)
        return 0.0;
    if (time >= next->startFrame)
        return 1.0;
    return EvalSpeedCurve(&Speed(kf, channel), time - kf->endFrame);
}

int RefreshOrientationTable(FxPath *path, int force)
{
    if (!path || !path->head)
        return 0;
    if (force || !path->orientCurve) {
        int keys = LastKeyframe(path)->index;
        QuatCurve *c = BuildQuatCurve(path->orientCurve, keys, OrientSample, path);
        if (!c) {
            FreeBufferRecord(path->orientCurve);
            path->orientCurve = nullptr;
            return 0;
        }
        path->orientCurve = c;
    }
    return 1;
}

void InitOrientToPath(FxPath *path)
{
    FxKeyframe *head = path->head;
    if (head->positionSegment.flags & SEGMENT_STALE)
        BuildPositionSegment(head);
    Vec3 v, d;
    EvalSegment(&head->positionSegment, &v, 0, &d);
    path->pathOrigin[0] = d.x;
    path->pathOrigin[1] = d.y;
    path->pathOrigin[2] = d.z;
    path->baseOrientation = head->orientation;
}

void OrientToPath(FxPath *path, FxKeyframe *work, const Vec3 &tangent)
{
    Vec3 d0 = V(path->pathOrigin), d = tangent;
    double n0 = sqrt(d0.x * d0.x + d0.y * d0.y + d0.z * d0.z);
    double n = sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    Quat r{ 1, 0, 0, 0 };
    // A still object (no tangent) keeps the base orientation.
    if (n0 > 0 && n > 0) {
        d0 = Vec3{ d0.x / n0, d0.y / n0, d0.z / n0 };
        d = Vec3{ d.x / n, d.y / n, d.z / n };
        Vec3 c{ d0.y * d.z - d0.z * d.y, d0.z * d.x - d0.x * d.z, d0.x * d.y - d0.y * d.x };
        double e = d0.x * d.x + d0.y * d.y + d0.z * d.z;
        double cl = sqrt(c.x * c.x + c.y * c.y + c.z * c.z);
        if (cl != 0) {
            double h = atan2(cl, (e < 0 ? -1 : 1) * sqrt(fabs(e))) / 2;
            double s = sin(h) / cl;
            r = Quat{ cos(h), s * c.x, s * c.y, s * c.z };
        }
    }
    work->orientation = QuatMultiply(path->baseOrientation, r);
}

uint32_t NoteKeyframeChange(FxPath *path, uint32_t bits)
{
    if (!path || !path->current)
        return bits;
    FxKeyframe *k = path->current;
    uint32_t result = bits;
    if (bits & FXC_ORIENTATION) {
        QuatSample s{ k->orientation, Clamp1(k->rotationTcb.c) };
        SetQuatCurveKey(path->orientCurve, s, k->index);
        FlipOpposites(path);
        result |= FXC_EVAL_PATH;
    }
    const uint32_t marks[3] = { FXC_POSITION, FXC_ROTATION, FXC_SHAPE };
    FxKeyframe *prev = RingPrev(k), *prev2 = RingPrev(prev), *next = RingNext(k);
    for (int c = 0; c < 3; ++c) {
        if (!(bits & marks[c]))
            continue;
        for (FxKeyframe *m : { k, prev, prev2, next }) {
            if (c == 0)
                m->positionSegment.flags |= SEGMENT_STALE;
            else if (c == 1)
                m->rotationSegment.flags |= SEGMENT_STALE;
            else
                m->shapeSegment.flags |= SEGMENT_STALE;
        }
    }
    for (int c = 0; c < 3; ++c) {
        if (bits & (FXC_SPEED_INTO << c)) {
            BuildSpeedTable(prev, c);
            result |= FXC_REBUILT_SPEED;
        }
        if (bits & (FXC_SPEED_OWN << c)) {
            BuildSpeedTable(k, c);
            result |= FXC_REBUILT_SPEED;
        }
    }
    return result;
}

void RefreshPath(FxPath *path)
{
    if (!path || !path->head)
        return;
    // Flipped first, so that the curve built next already takes the short way.
    FlipOpposites(path);
    RefreshOrientationTable(path, 1);
    for (FxKeyframe *kf = path->head;; kf = kf->next) {
        BuildPositionSegment(kf);
        BuildRotationSegment(kf);
        BuildShapeSegment(kf);
        for (int c = 0; c < 3; ++c)
            BuildSpeedTable(kf, c);
        if (kf->next->index <= kf->index)
            break;
    }
}
