// The tool dialog pages' control handlers: tool and view buttons, tool bar
// buttons, and the filter and video page controls.  The attribute panel
// builds one command record per control event and offers it to the
// handlers in turn; a handler that owns the control writes into the current
// keyframe of the current path, adds its bits to the two change masks and
// answers 1.  Every handler answers 0 for ids it does not own.
#pragma once

#include <windows.h>

#include <cstdint>

#include "fxhost.h"

// Notification codes of a command record.
enum : int {
    FXN_CLICK = 0,
    FXN_VALUE = 5,
    FXN_DRAG = 15,
    FXN_CONTEXT = 18,
};

struct FxPageCommand {
    int id;               // control id
    HWND page;            // the page that holds the control
    int code;             // notification code
    int value;            // the control's new value as an integer
    double dvalue;        // and as a double
    FxInstance *inst;
    FxKeyframe *kf;       // the current keyframe of the current path
    uint32_t redraw;      // redraw mask (main window)
    uint32_t editor;      // editor mask (UpdateEditor)
    int tool;             // the tool the command made current, 0 none
};

// Fills the keyframe, the masks and the tool word from the instance's
// current effect; the caller sets id, page, code and the values.
void FxInitPageCommand(FxPageCommand *cmd, FxInstance *inst, HWND page, int id, int code, double value);

// Adds the redraw bits that follow from the editor bits of an attribute
// edit (8, 4, 0x200000 and 0x100000).
void FxAddEditRedraw(FxPageCommand *cmd);

int FxToolButtonCommand(FxPageCommand *cmd);
int FxToolBarCommand(FxPageCommand *cmd);
int FxFilterCommand(FxPageCommand *cmd);
// The attribute groups of the tools (0 Position, 1 Orientation, 2 Offset,
// 3 Extend, 4 Skew, 5 Twist, 6 Scale, 7 Spins) as keyframe masks for
// ResetKeyframeAttributesByMask and CopyKeyframeAttributes: a zeroed
// keyframe with the group's fields set.  Free with free().
FxKeyframe *FxNewGroupMask(int group);
// Copies the group from `from` into every other keyframe of the path
// (direction 0), the following ones (1) or the previous ones (-1), never
// across the ring's wrap; the path's curves are rebuilt.  The keyframes
// changed.
int FxApplyGroup(FxPath *path, FxKeyframe *from, int group, int direction);
// The attribute pop-up menu (3003 "Attr") of a group button at the
// pointer: its reset (3057, with the group's reset text), "Apply to all
// Keyframes" (3002, not on a path of one keyframe), "Forward" (3003) and
// "Previous" (3004, each only with a keyframe on that side).  Adds the
// masks of the choice to the record; answers the id chosen, 0 none.
int FxAttributeMenu(FxPageCommand *cmd, int group);
// Offers the record to every handler above in turn.
int FxPageCommandDispatch(FxPageCommand *cmd);

// The keyframe fields that have no field of their own: the blend mode index
// and the clip kind ride in the keyframe's attribute mode word beside the
// fader (0x1) and chroma-mask (0x2) bits.
constexpr uint32_t FXK_FADER = 0x1;
constexpr uint32_t FXK_CHROMA_MASK = 0x2;
constexpr int FXK_BLEND_SHIFT = 8;      // bits 8-15
constexpr int FXK_CLIP_KIND_SHIFT = 16; // bits 16-23
int FxKeyframeBlendMode(const FxKeyframe *kf);
int FxKeyframeClipKind(const FxKeyframe *kf);

// The effect flag words the tool bar works with.
constexpr uint32_t FXE_FOLLOW_KEYFRAME = 0x4000;

// Makes the effect's thumbnail frame `frame` and renews the rendered
// movie's thumbnail through the codec library; a missing name, size or a
// frame below 1 fall back to the rendered file, the render size and the
// thumbnail frame.  0 (the file left unchanged) when the codec library or
// the graphics core is absent, or the layer cannot be made or rendered.
int FxRenewThumbnail(FxInstance *inst, const char *file, const SIZE *size, int frame);
