// The frame renderer and the object raster step.
//
// RenderFrames walks the steps of a render job: it turns each step into a
// frame time, evaluates every active object at that time, orders the
// objects by depth, hands the ordered list to RasterizeObjects when the job
// has a target layer, calls the job's callbacks and paces playback when
// asked.  RasterizeObjects filters, maps and composites each object's image
// into the target through the graphics core's slots.
//
// The renderer keeps nothing between calls: the job (caller-owned, zero
// filled before use), the view and the objects hold all state.  Everything
// runs on the caller's thread.
#pragma once

#include "fxbind.h"
#include "fxeval.h"
#include "fxview.h"

// The graphics core is reached through g_fxGraphics (fxmodel.h); every
// empty slot is skipped and a creation through one yields no layer.

// ---------------------------------------------------------------- job

// Job flags.
constexpr uint32_t RJ_DRAW_VIEW = 0x1;
constexpr uint32_t RJ_FIELDS = 0x2;
constexpr uint32_t RJ_NO_OUTLINE = 0x8;
constexpr uint32_t RJ_NO_UPDATE_RECT = 0x10;
constexpr uint32_t RJ_CLIP_SAFE = 0x20;
constexpr uint32_t RJ_REALTIME = 0x80;
constexpr uint32_t RJ_LOOP = 0x100;
constexpr uint32_t RJ_PREPOST = 0x400;
constexpr uint32_t RJ_SPAN_ONLY = 0x800;
constexpr uint32_t RJ_ALL_OBJECTS = 0x1000;
constexpr uint32_t RJ_ZERO_BASED = 0x2000;
constexpr uint32_t RJ_END_POINT = 0x4000;
constexpr uint32_t RJ_FIELD_STEPS = 0x8000;
constexpr uint32_t RJ_EXTRA_DIVISOR = 0x10000;
constexpr uint32_t RJ_TARGET_ITSELF = 0x20000;
constexpr uint32_t RJ_FIELD_0 = 0x40000;
constexpr uint32_t RJ_FIELD_1 = 0x80000;
constexpr uint32_t RJ_REVERSE_DEPTH = 0x100000;
constexpr uint32_t RJ_LIST_ORDER = 0x200000;
constexpr uint32_t RJ_ON_TOP = 0x400000;
constexpr uint32_t RJ_CLEAR = 0x800000;
constexpr uint32_t RJ_ODD_STEPS = 0x1000000;
constexpr uint32_t RJ_EVEN_STEPS = 0x2000000;
constexpr uint32_t RJ_INVERT_FIELDS = 0x8000000;
constexpr uint32_t RJ_JITTER = 0x10000000;
constexpr uint32_t RJ_PING_PONG = 0x20000000;
constexpr uint32_t RJ_BACKWARDS = 0x40000000;

// Callback steps.
enum { RS_FRAME = 0, RS_START = 1, RS_END = 2, RS_PRE = 3, RS_POST = 4, RS_FRAME_EXTRA = 5 };

// Position flags written before each per-object call.
constexpr uint32_t RP_LAST_OBJECT = 0x1;
constexpr uint32_t RP_LAST_STEP = 0x2;
constexpr uint32_t RP_FIRST_OBJECT = 0x10;
constexpr uint32_t RP_EMPTY = 0x40;

// Object flags the renderer reads: a hidden object has this bit on its
// first keyframe; a span-limited object (path flags) is shown only within
// its keyframe span under RJ_SPAN_ONLY.
constexpr uint32_t KF_HIDDEN = 0x800000;
constexpr uint32_t PATH_SPAN_LIMITED = 0x40;
constexpr uint32_t PATH_ACTIVE = 0x20000000;       // set while a step renders
constexpr uint32_t PATH_NEEDS_RENDER = 0x40000000;
// View flag: map every object anew, whatever the cache holds.
constexpr uint32_t VIEW_FORCE_RENDER = 0x800000;

// The corners of one object in target pixels: TL = (x0, y0),
// TR = TL + top edge, BL = TL + left edge, BR = TR + left edge + bend.
struct ObjectCorners {
    int32_t identifier;
    double x0, y0;
    double topDx, leftDy, leftDx, xBend, topDy, yBend;
    int32_t imageWidth, imageHeight;
    void *image;
    uintptr_t objectWord;
    FxKeyframe *state;
};

struct FxRenderJob;
typedef int (*FxRenderCallback)(int step, FxRenderJob *job);

struct FxRenderJob {
    uint32_t flags;
    HWND window;                 // written from the view
    FxRenderCallback progress;   // 0 cancels
    FxRenderCallback object;     // 0 cancels
    void *user;
    double width, height;        // target size in pixels
    int32_t frameRate;           // 0: the effect's rate, else 30
    uint32_t originMode;         // bits 0-1 horizontal, 2-3 vertical
    Layer *target;               // none: no rasterising
    int32_t frameCount;          // written
    int32_t objectCount;         // written
    int32_t effectFrameRate;
    double frameTime;            // written
    int32_t firstFrame, lastFrame;   // written
    int32_t rangeEnd, rangeStart;
    int32_t rangeMode;
    int32_t currentIndex;        // written
    int32_t fromIndex, toIndex;
    int32_t stepCount;
    int32_t increment;
    int32_t pass;                // written
    uint32_t positionFlags;      // written
    uint32_t objectNumber;       // written
    ObjectCorners corners;       // written
    FxPath *firstObject;         // written
    void *instance;
    FxPath **drawList;           // written
    int32_t drawnCount;          // written
};

// 0 when the job loops or ping-pongs; -1 when the render did not complete
// (cancelled, no memory, no device context, no job or view); 0 when the
// last step was passed; else the frame time it stopped at.
int RenderFrames(FxView *view, FxPath *first, FxPath *end, FxRenderJob *job);
// Fills the corner record from an evaluated state; 0 without a state.
int ComputeObjectCorners(FxView *view, FxRenderJob *job, ObjectCorners *corners, FxPath *object,
                         FxKeyframe *state);
// The active objects from first to end (inclusive) in drawing order, null
// terminated; their active marks are cleared.  Returns the count.
int OrderDrawList(FxPath **list, int count, FxPath *first, FxPath *end, uint32_t flags);
// Copies the view's collected update rectangle from its memory bitmap to
// the window; 1 when something was copied.
int FlushViewUpdate(FxView *view);

// One frame's ordered objects into the target: field 0 or 1 renders one
// interlaced field, 2 the whole frame.  Returns the number of objects that
// passed the visibility test.  Without a job a default one is used.
int RasterizeObjects(FxView *view, Layer *target, FxPath **list, FxRenderJob *job, int field);

// The object word the renderer hands to the callbacks (kept with the
// object's render cache).
uintptr_t GetObjectWord(FxPath *object);
void SetObjectWord(FxPath *object, uintptr_t word);
