/*
 * The rectangle tracker every title object's rectangle is edited with:
 * a hatched border, eight resize handles of 5 pixels outside the rectangle,
 * a minimum size of 5 x 5, and tracking loops that follow the mouse until
 * the left button comes up (Escape cancels).  Coordinates are the
 * control's client coordinates.
 */
#pragma once
#include <windows.h>

namespace lumicard {

enum TrackerHit {
    HIT_NOTHING = -1,
    HIT_TOP_LEFT = 0, HIT_TOP_RIGHT, HIT_BOTTOM_RIGHT, HIT_BOTTOM_LEFT,
    HIT_TOP, HIT_RIGHT, HIT_BOTTOM, HIT_LEFT,
    HIT_MIDDLE = 8
};

const int kHandleSize = 5;
const int kMinTrackSize = 5;

// Which part of a tracker on rect the point is on: a handle, the rectangle, or nothing.
TrackerHit TrackerHitTest(const RECT &rect, POINT pt);
RECT HandleRect(const RECT &rect, TrackerHit which);
// The cursor for a handle (size cursors), the rectangle (move) or nothing (arrow).
HCURSOR TrackerCursor(TrackerHit hit);
// Draws the hatched border and the handles.
void DrawTracker(HDC dc, const RECT &rect);

// Follows the mouse from pt: moves (HIT_MIDDLE) or resizes by a handle,
// until the button comes up (or a move shows it up: a release seen by
// another window never leaves the loop waiting).
// Answers true when the rectangle changed; an Escape leaves it as it was.
// clip keeps the pointer inside (the client area).
bool TrackRect(HWND wnd, RECT *rect, TrackerHit hit, POINT pt);
// Draws a rubber band from pt; the result is normalised (the band may be
// drawn in any direction).  False when cancelled.
bool TrackRubberBand(HWND wnd, POINT pt, RECT *band);

}  // namespace lumicard
