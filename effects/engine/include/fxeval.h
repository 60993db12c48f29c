// Motion of an effect: how each keyframe's transition towards its successor
// is shaped (spline segments, speed curves, the path's orientation curve)
// and the frame evaluator that fills a path's work keyframe at a frame time
// and projects it into a view.
//
// Segments and speed curves belong to the keyframe that starts the
// transition.  One path must not be evaluated by two threads at once.
#pragma once

#include "fxbuffer.h"
#include "fxmodel.h"

// ---------------------------------------------------------------- view

constexpr uint32_t VIEW_PERSPECTIVE = 0x1;
constexpr uint32_t VIEW_DIRTY_VALID = 0x10000000;
constexpr uint32_t VIEW_GATHERING = 0x20000000;

struct FxRendererLink;

// The render and display context of an effect.  The evaluator reads the
// first group; CreateView and SetViewRect (fxview.h) fill all of it.
struct FxView {
    uint32_t flags;              // bit 0 perspective
    int32_t width, height;       // client size in pixels (as last set)
    double virtualWidth, virtualHeight;
    double scaleX, scaleY;       // window pixels per virtual unit
    double originX, originY;     // the client centre
    double distance;             // perspective distance
    int32_t dirty[4];            // x, y, width, height (the update rectangle)
    // The display side.
    HDC dc;                      // the window's device context while drawing
    Layer *coreLayer;            // frame-sized render target
    HDC memDc;
    HBITMAP memBitmap, prevBitmap;
    int32_t blit[4];             // the picture in the window: x, y, width, height
    HWND window;
    int32_t descriptor[13];      // frame w, h, 2 reserved, aspect x, y, safe l, t, r, b (%), 3 more
    POINT picture[5];            // closed outline of the picture
    POINT safeArea[5];           // closed outline of the title-safe area
    void *styleTable;            // pens and colours of the editor drawing
    FxRendererLink *link;        // the realtime renderer binding, or none
};

// ---------------------------------------------------------------- channels

constexpr double FX_SPIN = 6.2831855;   // one turn, as stored

enum FxChannel { FX_CH_POSITION = 0, FX_CH_ROTATION = 1, FX_CH_SHAPE = 2 };

// Change bits of NoteKeyframeChange.
constexpr uint32_t FXC_ORIENTATION = 0x10000;
constexpr uint32_t FXC_ROTATION = 0x20000;
constexpr uint32_t FXC_SHAPE = 0x40000;
constexpr uint32_t FXC_POSITION = 0x80000;
constexpr uint32_t FXC_SPEED_INTO = 0x100000;   // << channel
constexpr uint32_t FXC_SPEED_OWN = 0x1000000;   // << channel
constexpr uint32_t FXC_REBUILT_SPEED = 0x100;
constexpr uint32_t FXC_EVAL_PATH = 0x4000;

// Neighbours along the ring, never across the wrap (the keyframe itself
// stands in).
FxKeyframe *RingPrev(FxKeyframe *kf);
FxKeyframe *RingNext(FxKeyframe *kf);

void BuildPositionSegment(FxKeyframe *kf);
void BuildRotationSegment(FxKeyframe *kf);
void BuildShapeSegment(FxKeyframe *kf);
void StartCurveStepper(FxKeyframe *kf, int steps);
void NextCurvePoint(FxKeyframe *kf, Vec3 *point);
void EvalPosition(FxKeyframe *kf, Vec3 *out, double u);
void EvalSpin(FxKeyframe *kf, Vec3 *out, double u);
void EvalShape(FxKeyframe *kf, double out[FX_SHAPE_VALUES], double u);
void BuildSpeedTable(FxKeyframe *kf, int channel);
double SpeedParam(FxKeyframe *kf, int channel, double time);
int RefreshOrientationTable(FxPath *path, int force);
void InitOrientToPath(FxPath *path);
void OrientToPath(FxPath *path, FxKeyframe *work, const Vec3 &tangent);
uint32_t NoteKeyframeChange(FxPath *path, uint32_t bits);
void RefreshPath(FxPath *path);

// ---------------------------------------------------------------- evaluator

// Builds or updates the warp buffer of a keyframe's warp (the warp module's
// job); null leaves the path without one.  `existing` may be null.
typedef ByteBuffer *(*FxWarpBufferMaker)(const GUID &warp, const double params[16], double width,
                                         double height, ByteBuffer *existing);
extern FxWarpBufferMaker g_fxMakeWarpBuffer;
extern const char FX_WARP_PROPERTY[];   // "WarpSafeBufferData"
void DeleteWarpBuffer(uintptr_t key, uintptr_t value);

int EvaluatePathAtTime(FxView *view, FxPath *path, double t, int noRebuild);
void ProjectKeyframe(FxView *view, FxPath *path, FxKeyframe *kf, int workMode);
// The keyframe whose transition covers t (see EvaluatePathAtTime).
FxKeyframe *ChooseKeyframe(FxPath *path, double t);

// ---------------------------------------------------------------- editor drawing

constexpr uint32_t KF2_CURVE = 0x10;     // second flags: curve projected
constexpr uint32_t KF2_TICKS = 0x40;     // second flags: frame ticks projected

// What an edit touched: the effect, the path, the keyframe, the frame.
struct FxEditContext {
    FxPath *first;
    FxPath *path;
    FxKeyframe *kf;
    int frame;
};

// The 64 points of the motion curve towards the successor (none for the
// last keyframe) and their bounds.
void ProjectPathCurve(FxView *view, FxKeyframe *kf);
// One screen point per frame of the transition, kept in the owned buffer.
void ProjectFrameTicks(FxView *view, FxKeyframe *kf);
uint32_t UpdateAfterEdit(FxView *view, const FxEditContext *ctx, uint32_t flags);
void RecomputePath(FxView *view, FxPath *path);
void RecomputeEffect(FxView *view, FxPath *first);

// Dirty rectangles (x, y, width, height) gathered in the view.
void UnionRect(int32_t a[4], const int32_t b[4]);
void AddDirtyRect(FxView *view, const int32_t rect[4]);
void AddKeyframeDirty(FxView *view, const FxKeyframe *kf);
uint32_t CollectDirty(FxView *view, FxPath *first, FxPath *path, FxKeyframe *kf, uint32_t flags);
