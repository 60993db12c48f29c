// Registry cards and DVE placement: the "DVE Templates" dialog that ties
// the store's card list to the current effect, the placement pass of the
// DVE personalities, and the two small questions of the editor (the
// clip-length method and what to do when inserted frames pass the end).
//
// Everything runs on the editor's (the host's) thread.
#pragma once

#include <windows.h>

#include <cstdint>

#include "fxhost.h"
#include "fxrender.h"

// Dialog templates and control ids.
enum : int {
    FX_DLG_CARDS = 3061,
    FX_DLG_CLIP_LENGTH = 3063,
    FX_DLG_GAP = 3065,
    FX_ID_CARD_LIST = 3740,
    FX_ID_CARD_ADD = 2000,
    FX_ID_CARD_UPDATE = 2001,
    FX_ID_CARD_RENAME = 2002,
    FX_ID_CARD_DELETE = 2003,
    FX_ID_DVE_ON = 3100,
    FX_CMD_CARD_DELETE_KEY = 3101,
    FX_CMD_CARD_INSERT_KEY = 3102,
    FX_ID_PLACEMENT_VIEW = 3506,
    FX_ID_CLIP_METHOD_0 = 3360,       // + method
    FX_ID_GAP_EXTEND = 3790,          // + choice
    FX_ID_GAP_TEXT = 3794,
    FX_ID_GAP_ICON = 3795
};
// The readouts of the placement ("Video Coordinates"): left, top, right,
// bottom, horizontal and vertical scale.
extern const int g_fxPlacementReadouts[6];

// The list's request message to the dialog: wparam a code, lparam the
// card record (FxCardRecord).
constexpr UINT FX_MSG_CARD_REQUEST = 1312;
enum { FX_CARD_STORE = 1, FX_CARD_LOAD = 2, FX_CARD_NUMBER = 4, FX_CARD_STORED = 5, FX_CARD_RENAMED = 6 };
// The answer of the store buttons to the dialog.
constexpr INT_PTR FX_CARD_BUTTON_ANSWER = 0x3F000;

// Strings of the library's resources.
enum : UINT {
    FX_STR_GAP_FITS = 94,
    FX_STR_GAP_NEVER_FITS = 95,
    FX_STR_ADD_TEMPLATE = 97
};

// What the store's list buttons get: the dialog and the registry kind.
struct FxCardButtonRecord {
    HWND dialog;
    int32_t kind;
};

// The registry kind of a personality's templates and cards: 11 for
// personality 4, 7 for personality 5, else 2.
int FxRegistryKind(int personality);

// ---------------------------------------------------------------- clip length

// Bits 28-29 of the effect's flag word: 0 scale to fit the clip, 1 crop on
// the right, 2 crop on the left, 3 choose automatically.
constexpr uint32_t FXE_CLIP_METHOD_SHIFT = 28;
constexpr uint32_t FXE_CLIP_METHOD_MASK = 0x30000000u;
inline int FxClipLengthMethod(const FxEffect *e)
{
    return e ? int((e->flags & FXE_CLIP_METHOD_MASK) >> FXE_CLIP_METHOD_SHIFT) : 0;
}
inline void FxSetClipLengthMethod(FxEffect *e, int method)
{
    if (e && method >= 0 && method <= 3)
        e->flags = (e->flags & ~FXE_CLIP_METHOD_MASK) | (uint32_t(method) << FXE_CLIP_METHOD_SHIFT);
}

// ---------------------------------------------------------------- gap choice

// What the insert question is told: frames to add, frames to the end
// frame, frames that fit before it, and whether scaling back is allowed.
struct FxGapQuestion {
    int32_t framesToAdd;
    int32_t framesToEnd;
    int32_t framesThatFit;
    int32_t scaleAllowed;
};
// The choice of the last answered question (0-3), kept for the library's
// life: 0 extend past the end, 1 move the end, 2 insert only what fits,
// 3 insert and scale back.
extern int g_fxGapChoice;

// ---------------------------------------------------------------- placement

// Host message 2254 codes of a placement: while the "DVE Templates" dialog
// is open, and otherwise.
constexpr UINT FXN_VIDEO_SERVICE = 2254;
constexpr uint16_t FX_PLACE_IN_DIALOG = 26;
constexpr uint16_t FX_PLACE_EFFECT = 27;

// The record sent with 2254: the code, the object's rectangle in target
// pixels (left, top, right, bottom; all 0 for the identity placement) and
// its scale against the frame (1.0, 1.0 for the identity).
struct FxPlacementMessage {
    uint16_t code;
    uint16_t reserved2;
    int32_t rect[4];
    uint32_t reserved20;
    double scaleX, scaleY;
};
static_assert(sizeof(FxPlacementMessage) == 40, "the placement record is 40 bytes");

// The placement callback's data: the DVE flag and the instance.
struct FxPlacementRecord {
    int32_t flag;
    FxInstance *instance;
};

// Whether the "DVE Templates" dialog is open (library-wide).
extern int g_fxCardDialogOpen;
// The last placement reported to the host.
extern FxPlacementMessage g_fxLastPlacement;

// Sets the first keyframe of the first path to a rectangle in host pixels
// (null: clears the placement flag instead), then runs the placement
// pass.  1 when the pass ran.
int PlaceFirstObject(FxInstance *inst, const RECT *rect);
// Renders the current effect through the frame renderer (its first step,
// over the end frame or the host length with the clip-length method) with
// ReportPlacement per object.  Mode -1 takes the library-wide placement
// flag.  Only for personalities 1 and 7; 1 when it ran.
int RunPlacementPass(FxInstance *inst, int mode);
// The data layer's placement hook (a DVE effect loaded from the host):
// the placement pass of the instance that holds `host`.
void FxPlaceDveHook(FxEffectHost *host);
// Per-object callback of the pass (job->user: FxPlacementRecord): steps 0
// and 5 send the object's rectangle (flag set) or the identity placement.
int ReportPlacement(int step, FxRenderJob *job);
// Per-object callback writing the object's rectangle {x, y, x + width,
// y + height} into job->user (four int32_t) at steps 0 and 5.
int ObjectRectangleCallback(int step, FxRenderJob *job);

// ---------------------------------------------------------------- dialogs

// The store's requests (FX_MSG_CARD_REQUEST) answered for a window that
// shows the store's list for an instance: store (the Yes/No/Cancel
// question about the current path), load, card number, stored/renamed.
INT_PTR FxCardRequest(HWND window, FxInstance *inst, WPARAM code, FxCardRecord *record);
// The "Templates" page (template 3040): the store's templates of the
// personality's kind, previewed, applied with the page's options, added
// from dropped FX script files and by the list buttons.  lparam: the
// FxInstance.
extern "C" INT_PTR WINAPI PathRegDlg(HWND page, UINT message, WPARAM wparam, LPARAM lparam);
// Adds the FX script file as a template named by its base name; the new
// entry's number, or 0 when the file is no effect or the store refused it.
int AddTemplateFromFile(FxInstance *inst, const char *fileName);

// lparam: the FxInstance.
extern "C" INT_PTR WINAPI CarteRegDlg(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
// lparam: the FxInstance; ends with the checked method 0-3, or -1.
extern "C" INT_PTR WINAPI ClipLenDlg(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
// lparam: an FxGapQuestion; ends with the checked choice 0-3, or -1.
extern "C" INT_PTR WINAPI GapDlg(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
