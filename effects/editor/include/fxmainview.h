// The editor's main view: the editor procedure (_MainProc) with its menu
// commands, mouse, keys, pop-up menu and dropped files; the drag tools
// that turn pointer movements into keyframe changes; and the view the
// scene is drawn into.
//
// Everything runs on the host's user-interface thread.  The drag state is
// library-wide: one editor window drags at a time.
#pragma once

#include <windows.h>

#include <cstdint>

#include "fxhost.h"

// Tool command ids; FX_NO_TOOL draws the arrow and drags nothing.
enum : int {
    FX_TOOL_MOVE = 3073,
    FX_TOOL_ROTATE = 3074,
    FX_TOOL_OFFSET = 3075,
    FX_TOOL_EXTEND = 3076,
    FX_TOOL_SKEW = 3077,
    FX_TOOL_TWIST = 3078,
    FX_TOOL_SCALE = 3079,
    FX_TOOL_SPIN = 3080,
    FX_NO_TOOL = 2,
};

// Axis bits of a drag.
enum : int { FX_AXIS_X = 1, FX_AXIS_Y = 2, FX_AXIS_Z = 4 };

// Messages of the main window besides the refresh (1034).
constexpr UINT FXM_LEFT_PRESS = 1035;   // the left press with the pick's answer in wParam
constexpr UINT FXM_PEER_NOTIFY = 1036;
constexpr UINT FXM_TEMPLATE = 1312;
constexpr UINT FXM_REPAINT = 2258;
constexpr UINT_PTR FX_POPUP_TIMER = 1011;

// Message 1312: a template record of the personality's data type (the
// layout of FxCardRecord) and a code: 1 the effect saved into it (asking
// whether the current path alone goes, Cancel answers 0), 2 loaded from
// it, 4 the effect's template number into it, 5 and 6 the record's number
// and name taken by the effect.  Other types and codes answer 0.
struct FxCardRecord;
LRESULT FxTemplateTransfer(FxInstance *inst, HWND window, WPARAM code, FxCardRecord *record);

// The editor procedure: instance (or null: the window's), window, message.
extern "C" LRESULT WINAPI MainProc(FxInstance *inst, HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Chooses the tool from the keys held (`key` is the key that changed, or
// 0) and the instance's permission word; a change is announced through
// UpdateEditor.  Answers the tool now current.
int SelectDragTool(FxInstance *inst, int key);
// One drag step of `tool` (-1: the current one) on the current keyframe;
// `axis` 3 is narrowed to the dominant direction.  The redraw and editor
// masks are added to the two words.  1 when something changed.
int ApplyDragStep(FxInstance *inst, int tool, int axis, int dx, int dy, uint32_t *redraw, uint32_t *editor);
// The hit test at a client point: 0 nothing, 1 a keyframe's handle (drag),
// 4 an object's path (selection only).
int PickAtPoint(FxInstance *inst, FxEffect *effect, POINT point);
// The axis mask the last tool choice left (library-wide).
int FxDragAxis();
// The current tool of an instance's editor (FX_NO_TOOL without editor).
int FxCurrentTool(FxInstance *inst);
void FxSetCurrentTool(FxInstance *inst, int tool);

// The effect's view, made for the main window when the effect has none;
// its style table comes from the instance's colours.
FxView *FxEnsureEditorView(FxInstance *inst, HWND window);
// The style table of an instance (made on first use, freed at detach).
void *FxSceneStyleOf(FxInstance *inst);
void FxFreeSceneStyle(FxInstance *inst);
// The pens and brush made at attach and freed at detach.
void FxMakeAttachPens(FxInstance *inst);
void FxFreeAttachPens(FxInstance *inst);
// The permission and option word of the instance's personality.
uint32_t FxOptionWord(const FxInstance *inst);
