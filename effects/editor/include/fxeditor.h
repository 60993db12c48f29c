// The effects editor inside a host's window: window classes, the window
// tree (bind window, bar dialog, main window), the tabbed tool dialog, the
// single refresh entry (UpdateEditor) and the panel's value commands, and
// the editor's state commands (settings, undo steps, menus, tool bar).
//
// Everything runs on the host's user-interface thread; class registration,
// the editor count and editor binding are guarded by the editor lock.  The
// instance travels in the user data of the bind and main windows and of
// the tool dialog.
#pragma once

#include <windows.h>

#include <cstdint>

#include "fxhost.h"

// Window and dialog ids of the editor.
enum : int {
    FXT_BAR = 3055,
    FXT_TOOLS = 3046,
    FXT_TOOLS_TIMED = 3045,
    FXC_FRAME = 3130,
    FXC_DELETE_KEYFRAME = 3056,
};

// Editor messages.
constexpr UINT FXM_REFRESH = 1034;     // to the main window: lParam is a refresh word
constexpr UINT FXM_PAGE_MODE = 1128;   // to a page's parent
constexpr UINT FXM_TOOL_PAGES = 1124;  // to the tool dialog: 0 position pages, 1 shape pages

// The change masks of UpdateEditor.
enum : uint32_t {
    FXU_KEYFRAME = 0x1,
    FXU_FRAMES = 0x2,
    FXU_ORIENTATION = 0x4,
    FXU_POSITION = 0x8,
    FXU_PAGE = 0x10,
    FXU_SCENE = 0x100,
    FXU_SPINS = 0x100000,
    FXU_PLACEMENT = 0x200000,
    FXU_FRAME = 0x1000000,
    FXU_UNDOABLE = 0x2000000,
    FXU_TOOL = 0x4000000,
    FXU_TEMPLATES = 0x8000000,
    FXU_NO_SNAPSHOT = 0x10000000,
    FXU_NO_SNAPSHOT_2 = 0x20000000,
    FXU_KEEP_RENDER = 0x40000000,
};

// The page slots of FxEditorState::pages: one window per page kind, set
// when the page opens and cleared by the page that holds it.
enum FxPageSlot : int {
    FXP_TOOLS,
    FXP_BAR,
    FXP_POSITION,
    FXP_SHAPE,
    FXP_SPLINE,
    FXP_TIME,
    FXP_FILTER,
    FXP_FILTER2,
    FXP_WARP,
    FXP_MESH,
    FXP_KEYING,
    FXP_CHAR,
    FXP_TEMPLATES,
    FXP_COUNT
};

// The editor's own state beside the instance: made with the windows and
// freed when the last of them is gone.
struct FxEditorState {
    FxInstance *inst;
    HANDLE tab;               // the tool dialog's tab set, when the toolkit made it
    HWND toolDialog;
    HWND pages[16];           // the open pages, by FxPageSlot
    HWND tabFrame;            // the tabbed frame inside the tool dialog
    int pagedTool;            // the tool whose pages were last brought forward
    LPARAM hostValue;
    uint32_t lastViewFlags;   // the view bits 0xFF0 last saved
    int32_t lastFrameSent;    // -1 before the first
    uint32_t lastLiveBit;
    uint32_t playWord;        // 0x20 longer than a frame, 0x40 always, 0x4/0x8/0x10 modes
    int32_t tool;             // the current tool's command id
    int32_t splineChannel;    // 0 position, 1 rotation, 2 shape
    uint32_t lockFlags;       // 0x1 anchor flag, 0x2 scale lock
    int dragging;             // a value control is being dragged
    int refreshing;           // UpdateEditor is filling the controls
    int hostTold;             // an undoable change still to be told to the host
    HCURSOR toolCursor;
    int toolCursorId;
    // The large edit window: the host's window the view lives in, and the
    // view's own parent it docks back into.
    int largeEdit;
    HWND largeWindow;
    HWND viewHome;
};

// ---------------------------------------------------------------- window set-up

// 1 when the class exists for its module or was registered; else the box
// "Unable To Register Window Class "%s"" (caption `caption`) and 0.
int RegisterClassIfNeeded(const WNDCLASSA *wc, const char *caption);
// The personality's bind class, accelerators and icon into the node, the
// pens and brush, the registry file.  1 always.
int RegisterBindClass(FxInstance *inst, CubbyNode *own);
HWND CreateEditorWindows(FxInstance *inst, HINSTANCE module, HWND host, LPARAM hostValue, HMENU menu, BOOL visible);
HWND CreateToolDialog(FxInstance *inst, HWND parent);
int AddToolPage(HANDLE tab, LPCSTR caption, HINSTANCE module, int templ, DLGPROC proc, FxInstance *inst);
INT_PTR OfferToolPage(FxInstance *inst, uint32_t flags, uint32_t state, uint32_t pageId);

// FXN_CREATE_EDITOR and FXN_PREPARE_EDITOR; FXN_CLOSE's editor part.
INT_PTR FxOpenEditor(FxInstance *inst, CubbyNode *own, UINT message, void *record);
void FxCloseEditor(FxInstance *inst, CubbyNode *own);
FxEditorState *FxEditorOf(FxInstance *inst);
int FxEditorCount();
int FxMainClassUsers();

// The record of FXN_GET_WINDOW: where the host keeps a window's placement.
struct FxPlacementQuery {
    const char *iniFile;
    const char *key;
    LPARAM hostValue;
    uint32_t reserved;
    uint32_t kind;  // 4 main window, 8 bottom dialog, 9 object dialog
};

// The window request of the large edit window (FXN_GET_WINDOW, kind
// 2569): the placement query, then the host window, the owner, the
// position, the size words and the style.
constexpr uint32_t FX_WINDOW_LARGE_EDIT = 2569;
constexpr int FXC_LARGE_EDIT = 3778;   // "Edit in Larger Area" of the tool dialog
struct FxWindowQuery {
    FxPlacementQuery place;
    HWND hostWindow;
    HWND owner;
    int32_t x, y;
    uint16_t sizeWords[2];
    uint32_t style;
};
// Asks the host for the large edit window and moves the editor's view into
// it; the window, or null (the view stays) when the host gives none.
HWND OpenEditorWindow(FxInstance *inst, HWND owner);
// Moves the view back where it was, destroys the large edit window and
// unchecks "Edit in Larger Area".
void DockEditorWindow(FxInstance *inst);

// The record of FXN_ADD_PAGE.
// The tool page offered to the host (FXN_ADD_PAGE): flags 0x207, state 1.
struct FxPageOffer {
    uint32_t flags;
    uint32_t state;
    uint32_t pageId;
    DLGPROC proc;
    FxInstance *inst;
};

// ---------------------------------------------------------------- refresh and values

uint32_t UpdateEditor(FxInstance *inst, uint32_t mask);
int PanelCommand(FxInstance *inst, HWND page, int id, HWND control, int code);
void NotifyHostFrame(FxInstance *inst, int frame);
void SetGoButtons(FxInstance *inst, HWND toolBar);
void FillKeyframeControls(HWND page, FxInstance *inst, uint32_t mask, BOOL enable);
// The view's flag word (the instance's copy until the view exists).
uint32_t FxViewFlags(FxInstance *inst);
void FxSetViewFlags(FxInstance *inst, uint32_t flags);

// ---------------------------------------------------------------- state commands

enum { FXS_INSERT = 1, FXS_VIEW = 2, FXS_INVERT = 4, FXS_CROP = 9, FXS_WARP_DELAY = 10, FXS_SOFT = 11, FXS_MESHABLE = 12 };
int SaveViewSetting(FxInstance *inst, int which, int value);
int EditorUndo(FxInstance *inst);
int EditorRedo(FxInstance *inst);
int CleanMenu(HMENU menu);
void AdaptEditorMenu(FxInstance *inst);
void LayoutToolBar(FxInstance *inst);
BOOL CALLBACK TaskModalEnumProc(HWND window, LPARAM restore);
// The main window's commands; 1 when carried out.
int FxMainCommand(FxInstance *inst, WPARAM wparam, LPARAM lparam = 0);
// The refresh word the main window got last.
LPARAM FxLastRefreshWord();

// Window and dialog procedures (exported under decorated names).
extern "C" {
LRESULT WINAPI MainWndProc(HWND, UINT, WPARAM, LPARAM);
LRESULT WINAPI BindWndProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR WINAPI BarDlg(HWND, UINT, WPARAM, LPARAM);
INT_PTR WINAPI MorvixDlg(HWND, UINT, WPARAM, LPARAM);
INT_PTR WINAPI TabDlg(HWND, UINT, WPARAM, LPARAM);
INT_PTR WINAPI ToolsDlg(HWND, UINT, WPARAM, LPARAM);
INT_PTR WINAPI AnyDlg(HWND, UINT, WPARAM, LPARAM);
INT_PTR WINAPI XYZDlg(HWND, UINT, WPARAM, LPARAM);
INT_PTR WINAPI ShapeDlg(HWND, UINT, WPARAM, LPARAM);
INT_PTR WINAPI FilterDlg(HWND, UINT, WPARAM, LPARAM);
INT_PTR WINAPI Filter2Dlg(HWND, UINT, WPARAM, LPARAM);
INT_PTR WINAPI WarpDlg(HWND, UINT, WPARAM, LPARAM);
INT_PTR WINAPI ThreeDMeshDlg(HWND, UINT, WPARAM, LPARAM);
INT_PTR WINAPI CharDlg(HWND, UINT, WPARAM, LPARAM);
INT_PTR WINAPI SplineDlg(HWND, UINT, WPARAM, LPARAM);
INT_PTR WINAPI TimeDlg(HWND, UINT, WPARAM, LPARAM);
INT_PTR WINAPI KeyingDlg(HWND, UINT, WPARAM, LPARAM);
LRESULT WINAPI SpeedViewProc(HWND, UINT, WPARAM, LPARAM);
LRESULT WINAPI ShapeViewProc(HWND, UINT, WPARAM, LPARAM);
}

// ---------------------------------------------------------------- pages

// The time-bar row class ("TarvoFX:TimeBar"), registered with the editor's
// classes; 1 when it exists.
int FxRegisterTimeBarClass(HINSTANCE module);
// Time-bar row messages (the row's side of the time-bar library).
enum : UINT {
    TBR_SPAN = 1040,      // lParam: last frame << 16 | first frame
    TBR_FRAME = 1041,     // wParam: the current frame
    TBR_SCALE = 1042,     // wParam: pixels per 1000 frames at this zoom
    TBR_SCROLL = 1043,    // wParam: the first frame shown
    TBR_PAGE = 1044,      // answers the frames one row shows
    TBR_LENGTH = 1045,    // wParam: the total length
    TBR_STYLE = 1047,     // wParam: 5 current path, 6 other
    TBR_ZOOM = WM_USER + 0x112,  // wParam 1, lParam pixels per 1000 frames
};
// The page refresh of UpdateEditor (step 11): every open page for its bits.
void FxRefreshPages(FxInstance *inst, uint32_t mask);
// The panel's page handlers beyond position, placement and spline: the
// time page, the filter and video pages and the tool buttons (through
// FxPageCommandDispatch), warp and the character page.  answer: the
// update mask to apply; 1 handled.
int FxPanelPageCommand(FxInstance *inst, HWND page, int id, HWND control, int code, double value, uint32_t *update,
                       uint32_t *refresh, int *tool);
// Sets a value control (a positioner, else the window text).
void FxSetItemNumber(HWND dialog, int id, double value);
// The window of a page slot, null when that page is not open.
HWND FxPageWindow(FxInstance *inst, int slot);
