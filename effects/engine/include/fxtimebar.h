// Time-bar callbacks: the attribute panel shows the keyframes of up to four
// paths as bars on rows of the outside time-bar control; the control asks
// for the bars through the first/next/free callbacks and reports edits
// through the notification callback.  All run on the editor's thread.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdint>

#include "fxmodel.h"

constexpr int TIMEBAR_FIRST_ROW = 3341;      // rows 3341..3344
constexpr int TIMEBAR_ROWS = 4;
constexpr int TIMEBAR_SCROLL = 3335;         // the panel's scroll control
constexpr UINT TIMEBAR_GET_POS = 1312;       // asked with wparam 4096
constexpr UINT FX_EDITOR_UPDATE = 1034;      // the editor's update message

constexpr uint32_t SPAN_FIRST = 0x4;
constexpr uint32_t SPAN_LAST = 0x8;
constexpr uint32_t SPAN_MARK1 = 0x1;         // keyframe flag bit 20
constexpr uint32_t SPAN_MARK2 = 0x2;         // keyframe flag bit 26

constexpr int SPAN_CURSOR_EDGE = 1;
constexpr int SPAN_CURSOR_BAR = 2;
constexpr uint32_t SPAN_SELECT = 0x80000003;
constexpr uint32_t SPAN_CHANGED = 0x80000004;
constexpr uint32_t SPAN_MOVE = 0x80000010;

constexpr uint32_t FX_EFFECT_CHANGED = 0x8000;   // effect flag: edits not yet applied

struct SpanruleCursor {
    FxPath *path;
    FxKeyframe *last;    // the keyframe last returned, none before the first call
};

struct SpanruleItem {
    uint32_t flags;
    double start;        // start frame
    double length;       // end frame - start frame
};

// What the callbacks need of the editor instance (the row's parent
// window's user data); filled by the editor, every entry may be empty.
struct FxTimeBarHost {
    FxPath *(*firstPath)(void *instance);
    uint32_t *(*effectFlags)(void *instance);
    HWND (*editorWindow)(void *instance);
    void (*flushPending)(void *instance);
    void (*makeCurrent)(void *instance, FxPath *path, FxKeyframe *kf);
};
extern FxTimeBarHost g_fxTimeBarHost;

// The path of a row: the row index plus the scroll position.  None for a
// row outside 3341..3344, a path that does not exist, or short memory.
SpanruleCursor *__stdcall SpanruleFirstItem(HWND row);
// First call: the first keyframe; later calls: the next, 0 when the ring
// is back at the first.  Answers the keyframe's index.
int __stdcall SpanruleNextItem(void *unused, SpanruleCursor *cursor, SpanruleItem *item);
int __stdcall SpanruleFreeItem(SpanruleCursor *cursor);
int __stdcall SpanruleNotify(HWND row, int keyframeIndex, uint32_t event, int value);

// Moves a keyframe to start at `frame`, kept after its predecessor's end
// and before its successor's start; the keyframes after it stay where they
// are.  Answers the start frame it got.
int MoveKeyframeStart(FxPath *path, FxKeyframe *kf, int frame);
