// Corner drag tools: the editor's mouse drags that change the current
// keyframe's four-corner quad directly.  A drag that would leave an
// unusable quad (refused by the graphics core's four-corner test, or not
// convex) puts the keyframe's shape and position back as they were when
// the drag began.
#pragma once

#include "fxeval.h"

constexpr int DRAG_STRETCH_CORNERS = 9;
constexpr int DRAG_MOVE_CORNERS = 15;
constexpr int DRAG_AXIS_X = 0x1;
constexpr int DRAG_AXIS_Y = 0x2;

// Handles the editor's hit test picks: a corner (TL, TR, BR, BL) or an
// edge, whose two corners move together.
enum { HANDLE_TL, HANDLE_TR, HANDLE_BR, HANDLE_BL, HANDLE_TOP, HANDLE_RIGHT, HANDLE_BOTTOM, HANDLE_LEFT };

// One drag in progress, kept by the editor between mouse messages.
struct FxCornerDrag {
    FxView *view;            // converts the mouse delta; none: the delta is in virtual units
    FxPath *path;
    FxKeyframe *kf;          // the keyframe being dragged
    const FxKeyframe *saved; // its copy from the start of the drag
    int handle;
};

// Moves the handle by the mouse delta (window pixels).  1 when the quad
// changed, 0 when the result was refused and the saved copy restored (or
// nothing could be done).
int DragStretchCorners(FxCornerDrag *drag, POINT delta);
// Moves the whole quad and the keyframe's position by the delta on the
// axes given.  1 when moved, 0 when refused and restored.
int DragMoveCorners(FxCornerDrag *drag, POINT delta, int axes);

// Corners in order TL, TR, BR, BL: 1 when every turn goes the same way.
int IsConvexQuad(const double x[4], const double y[4]);
