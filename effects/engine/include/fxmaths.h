// Curve maths of the effects engine: orientation quaternions, colour
// blending through HSL, tension/continuity/bias spline segments, their
// forward-difference stepper and the speed (ease) curves.
//
// Units: angles in radians, quaternions as four doubles w, x, y, z (w is the
// scalar part), colour words with red in bits 0-7, green 8-15, blue 16-23.
// Everything here is plain arithmetic on the caller's thread; only
// BuildQuatCurve allocates.
#pragma once

#include <cstdint>

// Constants as the engine stores them (single-precision values widened).
constexpr double FX_PI = 3.1415927410125732;
constexpr double FX_HALF_PI = 1.5707963705062866;
constexpr double FX_TWO_PI = 6.2831854820251465;
constexpr double FX_ANGLE_SNAP = 0.0005;
constexpr double FX_QUAT_EPS = 4.999999873689376e-5;
constexpr double FX_GREY_EPS = 0.0005000000237487257;
// Geometric equality tolerance of the effect model.
constexpr double FX_EPS = 0.00005;

struct Quat {
    double w, x, y, z;
};

// ---------------------------------------------------------------- quaternions

// Orientation of Euler angles (radians); X is applied first (qz * qy * qx).
Quat QuatFromEuler(double x, double y, double z);
// Replaces angles[0..2] (x, y, z) by the Euler angles of q, choosing among the
// equivalent answers the one nearest to the angles passed in.  Never returns
// -pi (it returns +pi).
void QuatToEuler(double angles[3], const Quat &q);
Quat QuatConjugate(const Quat &q);
// Hamilton product a * b.
Quat QuatMultiply(const Quat &a, const Quat &b);
// Spherical interpolation, t = 0 gives q0.  Not normalised.
Quat QuatSlerp(const Quat &q0, const Quat &q1, double t);

// One sample of an orientation curve: a quaternion and the key's smoothing
// value (0 = the full curve, 1 = plain spherical midpoints).
struct QuatSample {
    Quat q;
    double smooth;
};
static_assert(sizeof(QuatSample) == 40, "quaternion curve sample is 40 bytes");

constexpr int QUAT_CURVE_STRIDE = 16;     // samples per key interval
constexpr uint32_t QUAT_CURVE_REBUILD = 0x2;

// Smooth quaternion curve through the keys of a path.  For n keys there are
// (n - 1) x 16 + 1 samples; key k (1-based) sits at sample (k - 1) x 16.
struct QuatCurve {
    uint32_t flags;        // bit 0 set at creation, bit 1 = samples to rebuild
    QuatSample *samples;
    int stride;
    int last;              // index of the last sample
};

// Fills *out with key `key` (1-based) of `count`.
typedef void (*QuatSampleFn)(void *ctx, int key, QuatSample *out);

// Creates (curve null) or re-uses a curve of `keys` keys, fills each key from
// the callback and subdivides.  Returns the curve, or null when no callback is
// given, keys < 1, or memory runs out (a curve made here is freed again).
QuatCurve *BuildQuatCurve(QuatCurve *curve, int keys, QuatSampleFn fill, void *ctx);
// Replaces key `key` (1-based) and marks the curve for rebuilding.  A key
// outside the curve is ignored.
void SetQuatCurveKey(QuatCurve *curve, const QuatSample &sample, int key);
// The orientation on the interval after key `key` at t in [0, 1].
Quat EvalQuatCurve(QuatCurve *curve, int key, double t);
// Frees the samples, then the record (null is accepted).
void FreeBufferRecord(QuatCurve *curve);

// ---------------------------------------------------------------- colour

// Hue in degrees [0, 360), lightness and saturation in percent.
void RgbToHsl(int red, int green, int blue, double *hue, double *lightness, double *saturation);
// The colour at fraction t between c1 and c2, interpolated in HSL (the hue is
// interpolated linearly, not the short way round).  Alpha of the result is 0.
void BlendColourHsl(uint32_t *out, uint32_t c1, uint32_t c2, double t);

// ---------------------------------------------------------------- splines

struct Vec3 {
    double x, y, z;
};

// Tension, continuity, bias of one key (all 0 = Catmull-Rom-like).
struct FxTcb {
    double t, c, b;
};

constexpr uint32_t SEGMENT_STALE = 0x2;

// Cubic from one key to the next: value(t) = ((a3 t + a2) t + a1) t + a0.
struct SplineSegment {
    uint32_t flags;        // bit 1 = stale
    uint32_t pad;
    Vec3 a[4];
};
static_assert(sizeof(SplineSegment) == 104, "spline segment is 104 bytes");

constexpr int FX_SHAPE_VALUES = 15;   // scale x, y, z and the four corners

// The same for up to 15 scalar channels.
struct SplineSegmentN {
    uint32_t flags;        // bit 1 = stale
    int32_t count;         // channels in use
    double a[FX_SHAPE_VALUES][4];
};

struct SegmentStepper {
    uint32_t flags;
    uint32_t pad;
    Vec3 d1, d2, d3;
};

void BuildTcbSegment(SplineSegment *seg, const Vec3 &p0, const Vec3 &p1, const Vec3 &p2,
                     const Vec3 &p3, const FxTcb &tcb1, const FxTcb &tcb2);
void EvalSegment(const SplineSegment *seg, Vec3 *out, double t, Vec3 *derivative);
// Channels come from seg->count; a count outside 1..15 only clears the stale bit.
void BuildTcbSegmentN(SplineSegmentN *seg, const double *p0, const double *p1, const double *p2,
                      const double *p3, const FxTcb &tcb1, const FxTcb &tcb2);
void EvalSegmentN(const SplineSegmentN *seg, double *out, double t);
void StartSegmentStepper(SegmentStepper *st, const Vec3 &p0, const Vec3 &p1, const Vec3 &p2,
                         const Vec3 &p3, const FxTcb &tcb1, const FxTcb &tcb2, int steps);
// point += d1; d1 += d2; d2 += d3.
void StepSegment(SegmentStepper *st, Vec3 *point);

// ---------------------------------------------------------------- speed curves

constexpr uint16_t SPEED_STALE = 0x2;
constexpr uint16_t SPEED_LINEAR = 0x4;

// Easing of one transition: progress in 1/1024 units at times 16, 32, ...,
// 1024 (in 1/1024 of the duration).
struct SpeedCurve {
    uint16_t flags;        // bit 1 = stale, bit 2 = linear
    uint16_t table[64];
    uint16_t speedIn;      // 0..100, 50 = neutral
    uint16_t speedOut;
    int32_t duration;      // frames
};

// round(100 cos(i pi / 200)) for i = 0..100.
extern const uint8_t CosTable100[101];

// Builds `curve` from the start key's speed out and the end key's speed in
// (speeds beyond 100 count as 100).  The duration is the caller's.
void BuildSpeedCurve(SpeedCurve *curve, const SpeedCurve *startKey, const SpeedCurve *endKey);
// Progress in [0, 1] at `time` frames into the transition.
double EvalSpeedCurve(const SpeedCurve *curve, double time);
