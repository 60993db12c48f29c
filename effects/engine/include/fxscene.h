// Editor scene drawing: the preview picture of an effect at the current
// frame and, over it with GDI, the motion paths, keyframe outlines, frame
// ticks, object shapes, the picture outline and the title-safe outline.
//
// The pens and brushes come from the style table the view points to
// (FxView::styleTable, an FxSceneStyle); the editor makes it from its
// colour settings with MakeSceneStyle.  Everything runs on the caller's
// thread.
#pragma once

#include "fxrender.h"

// ---------------------------------------------------------------- style

enum FxScenePen {
    SP_HIDDEN = 0,          // hidden keyframe
    SP_LOCKED = 1,          // keyframe flag bit 21
    SP_SELECTED_MARK = 2,   // selected with bit 20
    SP_SELECTED = 3,
    SP_UNSELECTED = 4,
    SP_SELECTED_CURRENT = 5,
    SP_UNSELECTED_CURRENT = 6,
    SP_PICTURE = 7,
    SP_SAFE_AREA = 8,
    SP_SINGLE = 9,
    SP_PEN_COUNT = 10
};

struct FxSceneStyle {
    COLORREF text[3];        // normal, alternate, single-pen mode
    HPEN pens[SP_PEN_COUNT];
    HBRUSH brushes[2];       // 0: filled outlines and number boxes
    int32_t tickInterval;    // frames between ticks; 0: none
    uint32_t flags;          // SS_OWNED: the pens and brushes are freed with the table
};
constexpr uint32_t SS_OWNED = 0x1;

// One colour setting: its name and default (0x00BBGGRR; 0x1000000n is
// system colour n; FX_NO_COLOUR draws nothing).
struct FxSceneColour {
    const char *name;
    uint32_t colour;
};
constexpr uint32_t FX_NO_COLOUR = 0xFFFFFFFFu;
constexpr uint32_t FX_SYSTEM_COLOUR = 0x10000000u;
constexpr int FX_SCENE_COLOURS = 22;
extern const FxSceneColour g_fxSceneColours[FX_SCENE_COLOURS];

// The colour of a setting value: system colours resolved, FX_NO_COLOUR kept.
uint32_t ResolveSceneColour(uint32_t value);
// A default colour by setting name (case-insensitive); FX_NO_COLOUR when unknown.
uint32_t DefaultSceneColour(const char *name);
// Makes the pens of a style from setting values in the order of
// g_fxSceneColours (null: the defaults).  Free with FreeSceneStyle.
FxSceneStyle *MakeSceneStyle(const uint32_t *values, int tickInterval);
void FreeSceneStyle(FxSceneStyle *style);

// ---------------------------------------------------------------- shapes

// Shape point lists: 32-bit words in pairs; tags lie in SHAPE_TAG_FIRST ..
// SHAPE_TAG_LAST, every smaller value is a coordinate.
constexpr uint32_t SHAPE_HEADER = 0x2C800020;    // {tag, 1}
constexpr uint32_t SHAPE_WIDTH = 0x2C800021;     // {tag, width}
constexpr uint32_t SHAPE_HEIGHT = 0x2C800022;    // {tag, height}
constexpr uint32_t SHAPE_CLOSED = 0x2C800023;    // {tag, n} then n points
constexpr uint32_t SHAPE_OPEN = 0x2C800024;
constexpr uint32_t SHAPE_BEZIER = 0x2C800025;
constexpr uint32_t SHAPE_END = 0x2C80002F;
constexpr uint32_t SHAPE_TAG_FIRST = 0x2C800020;
constexpr uint32_t SHAPE_TAG_LAST = 0x2C80002F;
constexpr int32_t SHAPE_DEFAULT_SIZE = 100000;

// An object's outline: `count` points (pairs of words) and its flags
// (SHAPE_POLYLINE: a plain list is one polyline, else separate segments).
struct FxShape {
    int32_t count;
    uint32_t flags;
    int32_t words[1];
};
constexpr uint32_t SHAPE_POLYLINE = 0x2;

// The path's outline (the path property "OutlineShape"), or null.
const FxShape *GetPathShape(FxPath *path);
// Copies `count` points (2 x count words) into the path's outline; count 0
// removes it.  1 on success.
int SetPathShape(FxPath *path, const int32_t *words, int count, uint32_t flags);

// The outline an object without its own is drawn with: a closed rectangle
// of 20 points (five to a side), 21 pairs with its tag; in the view's
// alternate style (VIEW_ALTERNATE_SHAPE) 63 pairs: the rectangle at ten
// points to a side and the two centre lines of ten points each.  Both in
// the default 100000 x 100000 space; the records live as long as the
// module.
const FxShape *DefaultPathShape(const FxView *view);
// The path's own outline when it has one, else the default of the view.
const FxShape *PathOutlineShape(const FxView *view, FxPath *path);

// Draws a tagged list of `count` word pairs; answers the runs drawn.
// Malformed runs (a count past the list's end) end the drawing.
int DrawShapePoints(HDC dc, const int32_t *words, int count);
// Maps every coordinate of a tagged or plain list of `count` word pairs
// from the shape's own space onto the keyframe's screen corner quad, in
// place; a degenerate quad puts every point on the top-left corner.
void TransformShape(const FxKeyframe *kf, int32_t *words, int count);

// ---------------------------------------------------------------- drawing

// Keyframe drawing flags (FxKeyframe::drawFlags).
constexpr uint32_t KD_DRAWN = 0x1;
constexpr uint32_t KD_NO_ANCHOR_LINE = 0x4;
constexpr uint32_t KD_CURVE = 0x8;        // motion line to draw
constexpr uint32_t KD_TICKS = 0x20;       // frame ticks to draw
constexpr uint32_t KD_NUMBER = 0x100;     // number box
constexpr uint32_t KD_IMAGE_MARK = 0x400;
constexpr uint32_t KD_FILLED = 0x2000;

// Keyframe flags read by the pen choice.
constexpr uint32_t KF_MARKED = 0x100000;     // bit 20
constexpr uint32_t KF_LOCKED = 0x200000;     // bit 21
constexpr uint32_t KF_SELECTED = 0x1000000;  // bit 24

// View flags of the drawing.
constexpr uint32_t VIEW_FILLED = 0x4;
constexpr uint32_t VIEW_SAFE_TITLE = 0x80;
constexpr uint32_t VIEW_MEMORY = 0x200;
constexpr uint32_t VIEW_SINGLE_PEN = 0x100000;
constexpr uint32_t VIEW_ALTERNATE_SHAPE = VIEW_SINGLE_PEN;   // the alternate style
constexpr uint32_t VIEW_NO_PREVIEW = 0x1000000;
constexpr uint32_t VIEW_ALL_SHOWN = 0x2000000;

// Scene drawing flags.
constexpr uint32_t SD_FLUSHED = 0x1;
constexpr uint32_t SD_PATH_SET = 0x2;
constexpr uint32_t SD_ALL_PATHS = 0x8;
constexpr uint32_t SD_TICKS = 0x10;
constexpr uint32_t SD_NO_OUTLINES = 0x20;   // also: clear the preview
constexpr uint32_t SD_PICTURE = 0x40;
constexpr uint32_t SD_EVERY_PATH = 0x100;
constexpr uint32_t SD_UPDATE_RECT = 0x200;

// The pen for a keyframe's outline at the current frame; null for a hidden
// keyframe or a view without a style.
HPEN SelectKeyframePen(const FxView *view, const FxKeyframe *kf, int currentFrame);
// The shape mapped onto the keyframe's screen corners, with the pen
// currently selected into `dc`: a list that starts with a tag run by run,
// else one polyline (SHAPE_POLYLINE) or segments of paired points.
void DrawKeyframeShape(HDC dc, const FxKeyframe *kf, const FxShape *shape);
// The keyframe's outline, shape, anchor line and number box with the pen
// currently selected into view->dc.
void DrawKeyframeOutline(FxView *view, FxKeyframe *kf, const FxShape *shape);
// The frame ticks of the keyframe's transition (see the style's interval).
void DrawFrameTicks(FxView *view, FxKeyframe *kf, int currentFrame);
// Motion lines, ticks, outlines, the picture and title-safe outlines.
void DrawPaths(FxView *view, const FxEditContext *state, uint32_t flags);
// The outline pass of DrawScene; answers the flags unchanged.
uint32_t DrawPathSet(FxView *view, const FxEditContext *state, uint32_t flags);
// The scene drawn by the view's realtime renderer link: with a path, one
// link command per object active at the state's frame (the list from the
// first path, in drawing order: corners, object word, number, position
// flags RP_FIRST_OBJECT / RP_LAST_OBJECT); without one, a single command
// for the state's keyframe as object 1.  The code is 10 with view flag bit
// 21, 9 with bit 22, else 5.  Answers the commands given.
int DrawSceneThroughLink(FxView *view, FxPath *path, const FxEditContext *state, uint32_t flags);
// Draws the scene into the view (its device context, else its window's)
// and answers the flags as updated (SD_FLUSHED: a pending update went to
// the window).
uint32_t DrawScene(FxView *view, const FxEditContext *state, uint32_t flags);
