/* Tundrix32: the graphics maker's dialog library.  Exported families:
 * start-up and control libraries, dialog templates and local fonts, window,
 * dialog-item, string and file utilities, menus, ini and registry objects. */
#ifndef TUNDRIX32_H
#define TUNDRIX32_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Dialog templates and fonts ---- */

/* Template kinds (the last argument of HackDialogBoxParam). */
#define TEMPLATE_HANDLE   0x1   /* a global memory handle */
#define TEMPLATE_POINTER  0x2   /* a pointer to a template in memory */
#define TEMPLATE_MODELESS 0x10  /* create modeless instead of running modally */

INT_PTR WINAPI HackDialogBoxParam(HINSTANCE instance, LPCSTR tmpl, HWND owner, DLGPROC proc, LPARAM param, DWORD style,
                                  WORD point_size, LPCSTR face, DWORD flags);
HFONT WINAPI iCreateLocalFont(int point_size, int unused);
int WINAPI iLoadString(HINSTANCE instance, UINT id, LPSTR buffer, int size, int unused);

/* ---- Ini and registry objects ---- */

/* Value kinds (low four bits of the type word). */
enum {
    INIKIND_DOUBLE = 1,
    INIKIND_LONG = 2,
    INIKIND_STRING = 3,
    INIKIND_BOOL = 4,
    INIKIND_MASK = 5,
    INIKIND_INDEX = 6,
    INIKIND_ITEMDATA = 7
};

typedef struct INIOBJECT {
    char *file;          /* ini file name, or the key path in registry mode */
    char *section;       /* null: none */
    HWND dialog;         /* for ini-bound dialogs */
    LPCSTR desc_name;    /* description resource name */
    HMODULE desc_module; /* description module */
    HKEY key;            /* open key in registry mode, else null */
} INIOBJECT;

INIOBJECT *WINAPI iniCreate(LPCSTR file, LPCSTR section, HWND dialog, LPCSTR desc_name, HMODULE desc_module);
void WINAPI iniDestroy(INIOBJECT *obj);
BOOL WINAPI iniSetFile(INIOBJECT *obj, LPCSTR file);
BOOL WINAPI iniSetSection(INIOBJECT *obj, LPCSTR section);
int WINAPI GetIniDataEx(INIOBJECT *obj, LPCSTR key, LPCSTR def, int kind, LPSTR buffer, int size);
int WINAPI GetIniData(INIOBJECT *obj, LPCSTR key, LPCSTR def, LPSTR buffer, int size);
BOOL WINAPI SetIniDataEx(INIOBJECT *obj, LPCSTR key, int kind, LPCSTR value, int length);
BOOL WINAPI SetIniData(INIOBJECT *obj, LPCSTR key, LPCSTR text);

INIOBJECT *WINAPI regInit(LPCSTR file, LPCSTR section);
BOOL WINAPI regDone(INIOBJECT *obj);
int WINAPI regReadString(INIOBJECT *obj, LPCSTR section, LPCSTR key, LPCSTR def, LPSTR buffer, int size);
BOOL WINAPI regWriteString(INIOBJECT *obj, LPCSTR section, LPCSTR key, LPCSTR text);
long WINAPI regReadInt(INIOBJECT *obj, LPCSTR section, LPCSTR key, long def);
BOOL WINAPI regWriteInt(INIOBJECT *obj, LPCSTR section, LPCSTR key, long value);
int __cdecl regPrintf(INIOBJECT *obj, LPCSTR section, LPCSTR key, LPCSTR format, ...);
int __cdecl regScanf(INIOBJECT *obj, LPCSTR section, LPCSTR key, LPCSTR def, LPCSTR format, ...);
int WINAPI regEnum(INIOBJECT *obj, LPCSTR name);

/* ---- Window, dialog-item, string and file utilities ---- */

int WINAPI LoadStringsIntoCB(HWND combo, UINT first, UINT last, int selection);
int WINAPI LoadStringsIntoLB(HWND list, UINT first, UINT last, int selection);
int __cdecl SetDlgItemPrintf(HWND dlg, int id, LPCSTR format, ...);
BOOL WINAPI SetDlgItemLong(HWND dlg, int id, LONG value, BOOL is_signed);
BOOL WINAPI SetDlgItemNum(HWND dlg, int id, LONG value);
double WINAPI GetDlgItemDouble(HWND dlg, int id);
DWORD WINAPI GetCheckMask(HWND dlg, int first, int count);
void WINAPI SetCheckMask(HWND dlg, int first, int count, DWORD mask);
void WINAPI SetRadioIndex(HWND dlg, int first, int count, int index);
int WINAPI GetRadioIndex(HWND dlg, int first, int count);
/* The caller frees the copy with HeapFree(GetProcessHeap(), 0, text). */
LPSTR WINAPI DupWindowText(HWND window);
LPSTR WINAPI SqueezeText(HWND window, LPSTR out, LPCSTR text, int limit, char separator);
LRESULT WINAPI SendWmCommand(HWND window, HWND control, int id, UINT code);
BOOL WINAPI PostWmCommand(HWND window, HWND control, int id, UINT code);
int *WINAPI UnpackScrollMsg(HWND window, UINT msg, WPARAM wp, LPARAM lp, int *position, int *code, HWND *scroll_window,
                            int *bar, int *control_id);
int WINAPI BeginWaitCursor(void);
int WINAPI EndWaitCursor(void);
int WINAPI WaitCursor(BOOL on);
int WINAPI HalvardWaitCursor(BOOL on);
BOOL WINAPI CenterWindow(HWND window, HWND reference);
BOOL WINAPI SizeClient(HWND window, int width, int height);
BOOL WINAPI SizeToChild(HWND window, HWND child);
HWND WINAPI GetLastChild(HWND window);
BOOL WINAPI IsDescendant(HWND ancestor, HWND window, BOOL any);
void WINAPI OutlineRect(HDC dc, const RECT *rect);
void WINAPI OutlineWindow(HWND window);
void WINAPI IndicateWhichWindow(HWND window);
HPALETTE WINAPI GetSystemPalette(void);
HFILE WINAPI _lunlink(LPCSTR name);
int WINAPI _laccess(LPCSTR name, int mode);
LONG WINAPI _lfilelength(HFILE file);
BOOL WINAPI MakeTemp(LPSTR name, char placeholder);
int WINAPI GetModuleDir(HMODULE module, LPSTR buffer, int size);
int WINAPI PrependExeDir(HMODULE module, LPSTR name, BOOL force);
HMODULE WINAPI CHDIRLoadLibrary(LPSTR name, HMODULE module, BOOL copy_back);
void WINAPI hey(void);

/* ---- Menus ---- */

typedef struct TRACKEDMENU {
    HMENU menu;
    HWND owner;        /* null: a hidden window receives the command */
    DWORD last_error;
    int x_offset;      /* added to the cursor position when the menu is shown */
    int y_offset;
} TRACKEDMENU;

HMENU __cdecl DupPopupMenu(HMENU menu);
BOOL __cdecl InsertDonorMenu(HMENU menu, UINT before, HMENU donor, UINT command);
int __cdecl CleanupMenu(HMENU menu);
HMENU __cdecl PopupMenuFromText(LPCSTR text, char separator);
UINT __cdecl AddToMenu(HMENU menu, LPCSTR text, UINT command, int position, UINT flags);
TRACKEDMENU *__cdecl tmenuNew(int kind, LPCSTR name, LONG_PTR extra, HWND owner);
BOOL __cdecl tmenuLoad(TRACKEDMENU *obj, int kind, LPCSTR name, LONG_PTR extra);
void __cdecl tmenuDelete(TRACKEDMENU *obj);
UINT __cdecl tmenuTrack(TRACKEDMENU *obj, UINT flags, const RECT *rect);
int __cdecl tmenuEnable(TRACKEDMENU *obj, UINT item, int state, UINT flags);
int __cdecl tmenuCheck(TRACKEDMENU *obj, UINT item, BOOL checked, UINT flags);
UINT __cdecl tmenuAdd(TRACKEDMENU *obj, LPCSTR text, UINT command, int position, UINT flags);
int __cdecl tmenuRemove(TRACKEDMENU *obj, UINT item, UINT flags);
void __cdecl tmenuSetWnd(TRACKEDMENU *obj, HWND owner);
ULONGLONG __cdecl tmenuSetOffset(TRACKEDMENU *obj, int x, int y);
int __cdecl DoTrackMenu(int kind, LPCSTR name, LONG_PTR extra, HWND owner);

/* ---- Pacifiers (progress dialogs) ---- */

/* A pacifier handle; every call accepts null and does nothing. */
typedef struct PACIFIER__ *PACIFIER;

PACIFIER __cdecl iPacifierInit(HWND owner, int range, BOOL with_cancel);
PACIFIER __cdecl iPacifierInitEx(HWND owner, HINSTANCE module, UINT template_id, int range, void *cancel);
void __cdecl iPacifierClose(PACIFIER pacifier);
/* range 0: positions are percentages. */
void __cdecl iPacifierSetPos(PACIFIER pacifier, int position);
void __cdecl iPacifierSetRange(PACIFIER pacifier, int low, int high);
/* step: minimum change of the percentage before the bar is redrawn; -1
 * chooses by the range. */
void __cdecl iPacifierSetIncr(PACIFIER pacifier, int step);
void __cdecl iPacifierSetStatusText(PACIFIER pacifier, LPCSTR text);
void __cdecl iPacifierSetCaption(PACIFIER pacifier, LPCSTR text);
BOOL __cdecl iPacifierCheckCancel(PACIFIER pacifier);

/* ---- File and directory dialogs ---- */

/* The fields of an OPENFILENAME up to lpTemplateName. */
typedef struct FILEDIALOGOFN {
    DWORD lStructSize;
    HWND hwndOwner;
    HINSTANCE hInstance;
    LPCSTR lpstrFilter;
    LPSTR lpstrCustomFilter;
    DWORD nMaxCustFilter;
    DWORD nFilterIndex;   /* -1: the filter remembered for the section */
    LPSTR lpstrFile;
    DWORD nMaxFile;
    LPSTR lpstrFileTitle;
    DWORD nMaxFileTitle;
    LPCSTR lpstrInitialDir;
    LPCSTR lpstrTitle;
    DWORD Flags;          /* OFN_* and the two private bits below */
    WORD nFileOffset;
    WORD nFileExtension;
    LPCSTR lpstrDefExt;
    LPARAM lCustData;
    UINT_PTR (CALLBACK *lpfnHook)(HWND, UINT, WPARAM, LPARAM);
    LPCSTR lpTemplateName;
} FILEDIALOGOFN;

/* A file dialog request.  lStructSize names its form: FILEDIALOG_SIZE_SHORT
 * (the fields alone), FILEDIALOG_SIZE_MIDDLE (two reserved pointers more)
 * or FILEDIALOG_SIZE_FULL (the settings names, then two reserved pointers). */
typedef struct FILEDIALOGREQUEST {
    FILEDIALOGOFN ofn;
    LPCSTR settings_file;     /* full form: name of the settings file handed to hooks */
    LPCSTR settings_section;  /* full form: registry sub-key of the remembered values */
    void *reserved[2];
} FILEDIALOGREQUEST;

#define FILEDIALOG_SIZE_SHORT  ((DWORD)sizeof(FILEDIALOGOFN))
#define FILEDIALOG_SIZE_MIDDLE ((DWORD)(sizeof(FILEDIALOGOFN) + 2 * sizeof(void *)))
#define FILEDIALOG_SIZE_FULL   ((DWORD)sizeof(FILEDIALOGREQUEST))
#define FILEDIALOG_SAVE          0x10000000 /* run the save dialog */
#define FILEDIALOG_SETTINGS_ASIS 0x20000000 /* take the settings file name as given */

/* The message sent to every child by EnumChildWindowsProc. */
typedef struct CHILDMESSAGE {
    LONG_PTR unused;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
} CHILDMESSAGE;

BOOL WINAPI iGetOpenFileName(FILEDIALOGREQUEST *request);
BOOL WINAPI iGetSaveFileName(FILEDIALOGREQUEST *request);
/* The dialog confirms itself as soon as it has opened. */
BOOL WINAPI iGetDeleteFileName(FILEDIALOGREQUEST *request);
/* 0 none, 1 wrong size, 3 template without name, 4 template without
 * instance, 11 hook flag without hook, 0x3003 the caller's buffer is too
 * small for the choice. */
DWORD WINAPI iCommDlgExtendedError(void);
BOOL WINAPI iGetDirName(HWND owner, LPSTR buffer, int size, LPCSTR title,
                        UINT_PTR (CALLBACK *hook)(HWND, UINT, WPARAM, LPARAM), LPCSTR template_name, LPARAM data,
                        LPARAM unused, LPCSTR section);
/* Stores the textures-off switch (set when on is 0) and returns it. */
BOOL WINAPI iUseTextures(BOOL on);
UINT_PTR CALLBACK OpenFileDlg2(HWND inner, UINT msg, WPARAM wp, LPARAM lp);
UINT_PTR CALLBACK OpenFileDlg3(HWND inner, UINT msg, WPARAM wp, LPARAM lp);
LRESULT CALLBACK OpenFileDlgWndProc(HWND inner, UINT msg, WPARAM wp, LPARAM lp);
BOOL CALLBACK EnumChildWindowsProc(HWND child, LPARAM message);

/* ---- Tabbed dialogs ---- */

/* Description flags (tabCreate). */
#define TABF_FIXEDLAYOUT   0x1    /* page frame right of a 50-unit strip */
#define TABF_BUTTONSLEFT   0x2    /* push buttons start at the left margin */
#define TABF_RAISEDFRAME   0x4    /* page-frame control style 0x54008800 */
#define TABF_NOSYSMENU     0x8
#define TABF_MODELESS      0x10   /* tabDialogBox returns the frame window */
#define TABF_CHILD         0x20   /* the frame is a child of the owner */
#define TABF_TOOLWINDOW    0x40   /* with TABF_MODELESS */
#define TABF_ALWAYSTABS    0x80   /* a tab row even for one page */
#define TABF_CREATEALL     0x100  /* every page window made at start */
#define TABF_PAGEFONT      0x200  /* pages made with the tabSetFont face and size */
#define TABF_KEEPPAGES     0x400  /* a page left is never destroyed */

/* Page flags (tabAddTemplate). */
#define TABPAGE_HANDLE     0x1    /* the template is a global memory handle */
#define TABPAGE_POINTER    0x2    /* the template is a pointer to memory */
#define TABPAGE_NOPRECREATE 0x800 /* skipped by TABF_CREATEALL */
#define TABPAGE_KEEP       0x1000 /* its window is kept when switching */

/* Messages of the tabbed dialogs. */
#define TABM_SHOWPAGE     (WM_USER + 100)  /* to frame: page index, set-focus flag */
#define TABM_ENABLEPAGE   (WM_USER + 101)  /* to frame: page index, enable flag */
#define TABM_TRANSLATE    (WM_USER + 120)  /* key message, MSG pointer: accelerators */
#define TABM_SETACCEL     (WM_USER + 121)  /* accelerator table, target window */
#define TABN_FOCUSMOVED   (WM_USER + 122)  /* to the current page: old, new focus */
#define TABN_ACTIVATE     (WM_USER + 123)  /* to the page shown: previous, this page */
#define TABN_DEACTIVATE   (WM_USER + 124)  /* to the page hidden: this, next page */
#define TABN_QUERYEND     (WM_USER + 125)  /* to every page at OK or Yes: nonzero keeps it open */

/* Captions follow the flags, ended by a null pointer.  The handle is freed
 * by tabDestroy. */
HGLOBAL __cdecl tabCreate(HWND owner, HINSTANCE instance, LPCSTR caption, DLGPROC proc, LPARAM param,
                          int default_button, DWORD flags, ...);
BOOL WINAPI tabAddTemplate(HGLOBAL tab, LPCSTR caption, HINSTANCE instance, LPCSTR tmpl, DLGPROC proc, LPARAM param,
                           DWORD page_flags);
BOOL WINAPI tabAddTemplateEx(HGLOBAL tab, LPCSTR caption, LPARAM extra, HINSTANCE instance, LPCSTR tmpl, DLGPROC proc,
                             LPARAM param, DWORD page_flags);
void WINAPI tabSetFont(HGLOBAL tab, LPCSTR face, int point_size);
void WINAPI tabSetInitialTab(HGLOBAL tab, int index);
void WINAPI tabSetTexture(HGLOBAL tab, LPARAM a, LPARAM b);
/* Modal: the id of the push button that ended it (1 for the first caption),
 * -1 when the frame could not be made.  Modeless: the frame window. */
INT_PTR WINAPI tabDialogBox(HGLOBAL tab);
void WINAPI tabDestroy(HGLOBAL tab);
HWND WINAPI tabGetWindow(HGLOBAL tab, int index);
int WINAPI tabGetWindowIndex(HGLOBAL tab);
HWND WINAPI iCreateDialogParam(HINSTANCE instance, LPCSTR tmpl, HWND owner, DLGPROC proc, LPARAM param);
INT_PTR CALLBACK TabbedDlgProc(HWND frame, UINT msg, WPARAM wp, LPARAM lp);
INT_PTR CALLBACK TabDlgProc(HWND page, UINT msg, WPARAM wp, LPARAM lp);
LRESULT CALLBACK TabMessageProc(int code, WPARAM wp, LPARAM lp);
LRESULT CALLBACK CCWndScrollProc(HWND row, UINT msg, WPARAM wp, LPARAM lp);

/* ---- Error boxes ---- */

/* iErrMessage type bits beyond the MessageBox button, icon and default bits. */
#define ERRM_CUSTOM(position) (0x100000u << (position)) /* caption argument for button 0-7 */
#define ERRM_CAPTION   0x10000000u  /* a window caption argument */
#define ERRM_TIMEOUT   0x20000000u  /* a time-out argument in milliseconds (presses OK) */
#define ERRM_INSTANCE  0x40000000u  /* a module argument for string ids */
#define ERRM_DEBUGOUT  0x80000000u  /* no dialog: the text goes to the debugger output */

/* Arguments after the type: [time-out] [instance] [caption] [custom
 * captions, lowest position first] format, format arguments.  Texts below
 * 0x10000 are string ids.  Result: the pressed button's code (IDOK ... for
 * the standard buttons, 0x100000 << position for custom ones), -1 when no
 * dialog ran. */
int __cdecl iErrMessage(HWND owner, DWORD type, ...);
int __cdecl iErrMessageW(HWND owner, DWORD type, ...);
/* The MessageBox signature; the text is shown as given. */
int WINAPI iErrMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
/* 1 when "&Breakpoint" was chosen, 0 for Ignore; Abort ends the process. */
int WINAPI _iassert(LPCSTR expression, LPCSTR file, int line);
/* An error page in any tabbed dialog (icon bits of type); -1 when the
 * description cannot be locked or the page record made. */
int WINAPI tabAddErrTemplate(HGLOBAL tab, LPCSTR caption, DLGPROC proc, LPARAM param, DWORD type, LPCSTR text);
INT_PTR CALLBACK ErrDlgProc(HWND page, UINT msg, WPARAM wp, LPARAM lp);
INT_PTR CALLBACK ErrTabHookProc(HWND frame, UINT msg, WPARAM wp, LPARAM lp);

/* ---- DlgX dialog extension ---- */

/* Sub-commands of the registered message "dlgX-Halvard" (wParam). */
#define DLGX_ADDHOOK        1  /* lParam: DLGXHOOKREQUEST *; 0 without such a control */
#define DLGX_REMOVEHOOK     2  /* lParam: control id; the first hook of that id */
#define DLGX_ADDINITWINDOW  3  /* lParam: window that receives the dialog's WM_INITDIALOG */
#define DLGX_ADDINITFILL    4  /* lParam: DLGXFILLREQUEST * */
#define DLGX_SETBKCOLOR     5  /* lParam: COLORREF, negative = none */
#define DLGX_RELAY          6  /* lParam: DLGXRELAYREQUEST *; answered by the procedure under DlgX */
#define DLGX_GETOLDPROC     7  /* the procedure under DlgX */

/* Hook kinds. */
#define DLGX_KIND_COMMAND   0x1         /* WM_COMMAND */
#define DLGX_KIND_SCROLL    0x2         /* WM_HSCROLL, WM_VSCROLL */
#define DLGX_KIND_COLOUR    0x4         /* WM_CTLCOLOR* except WM_CTLCOLOREDIT */
#define DLGX_KIND_ITEM      0x10        /* WM_DRAWITEM, WM_MEASUREITEM, WM_DELETEITEM, WM_COMPAREITEM */
#define DLGX_KIND_CALLBACK  0x80000000u /* call the callback instead of sending to the target */

typedef LRESULT(CALLBACK *DLGXCALLBACK)(HWND target, UINT msg, WPARAM wp, LPARAM lp);

typedef struct DLGXHOOKREQUEST {
    UINT_PTR id;        /* control id */
    HWND target;
    DWORD_PTR kinds;    /* DLGX_KIND_* */
    DLGXCALLBACK callback;
} DLGXHOOKREQUEST;

typedef struct DLGXFILLREQUEST {
    HWND control;
    DWORD_PTR kind;       /* 2 combo box, 4 list box */
    DWORD_PTR range;      /* first string id (low 16 bits), last (high 16 bits) */
    DWORD_PTR selection;
} DLGXFILLREQUEST;

typedef struct DLGXRELAYREQUEST {
    DWORD_PTR unused;
    UINT_PTR message;
    WPARAM wp;
    LPARAM lp;
} DLGXRELAYREQUEST;

BOOL WINAPI InstallDlgX(HWND dialog);
BOOL WINAPI RemoveDlgX(HWND dialog);
LRESULT CALLBACK DlgXProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp);

/* ---- Owner-draw lists (CCList) ---- */

struct CCLISTSTATE;
typedef void(CALLBACK *CCLISTNOTIFY)(struct CCLISTSTATE *state, HWND control);
typedef LRESULT(CALLBACK *CCLISTCOMMAND)(struct CCLISTSTATE *state, HWND dialog, WPARAM wp);
typedef LRESULT(CALLBACK *CCLISTMESSAGE)(struct CCLISTSTATE *state, HWND control, WPARAM wp, LPARAM lp);
typedef LRESULT(CALLBACK *CCLISTMESSAGE1)(struct CCLISTSTATE *state, HWND control, WPARAM wp);
typedef LRESULT(CALLBACK *CCLISTLPARAM)(struct CCLISTSTATE *state, HWND control, LPARAM lp);
typedef void(CALLBACK *CCLISTBEFOREDRAW)(struct CCLISTSTATE *state, DRAWITEMSTRUCT *draw, DWORD item_data);

/* Returned by CCListCtor; also the control's property "CCList-Brannoch".
 * Callbacks are optional: one set for a control message replaces the
 * control's own handling, and its result is the message's. */
typedef struct CCLISTSTATE {
    DWORD_PTR reserved0[2];
    HWND parent;
    int controlId;
    DWORD_PTR reserved1;
    HBITMAP bitmap;           /* deleted with the control */
    WORD columns, rows;       /* picture cells over and down the strip */
    BOOL isCombo;
    UINT queryMessage;        /* "OpenFileNameDialog-Brannoch" */
    COLORREF textColour;
    DWORD reserved2[15];
    COLORREF backColour;
    DWORD reserved3[15];
    COLORREF selTextColour, selBackColour;
    COLORREF keyColour;       /* transparent picture pixels (pure blue) */
    CCLISTNOTIFY onCreated;
    CCLISTNOTIFY onDestroy;
    CCLISTCOMMAND onDoubleClick;   /* nonzero: handled */
    CCLISTCOMMAND onSelChange;     /* nonzero: handled */
    CCLISTMESSAGE onDir;
    CCLISTMESSAGE onQuery;
    CCLISTMESSAGE onGetText;
    CCLISTMESSAGE1 onGetTextLen;
    CCLISTMESSAGE onInsert;
    CCLISTLPARAM onAdd;
    CCLISTMESSAGE1 onDelete;
    CCLISTMESSAGE onWindowText;
    CCLISTLPARAM onSetWindowText;
    CCLISTBEFOREDRAW onBeforeDraw;
    WNDPROC controlProc;
    WNDPROC dialogProc;
} CCLISTSTATE;

/* Item data: byte 0 picture column, byte 1 picture row, byte 2 indent level,
 * byte 3 from the flags (kept, not drawn). */
CCLISTSTATE *WINAPI CCListCtor(HWND control, HBITMAP bitmap, int cell_width, int cell_height);
int WINAPI LBInsertODItem(HWND control, int index, LPCSTR text, DWORD flags, int column, int row, int indent, BOOL combo);
LRESULT CALLBACK CCListWndProc(HWND control, UINT msg, WPARAM wp, LPARAM lp);
LRESULT CALLBACK CCListParentWndProc(HWND control, UINT msg, WPARAM wp, LPARAM lp);
LRESULT WINAPI CCListCallWindowProc(CCLISTSTATE *state, HWND control, UINT msg, WPARAM wp, LPARAM lp);
/* ---- Window picking and texture hooks ---- */

#define SELWIN_KEEPCURSOR  0x2    /* no default picking cursor */
#define SELWIN_NONOCURSOR  0x4    /* no default "no" cursor */
#define SELWIN_HIDDEN      0x10   /* accept hidden windows */
#define SELWIN_DISABLED    0x20   /* accept disabled windows */
#define SELWIN_TRANSPARENT 0x40   /* accept transparent windows, no hit test */
#define SELWIN_STRICT      0x80   /* strict descendant test */
#define SELWIN_FILTER      0x100  /* ask the filter: (window, 3, data); 0x8000 in the answer accepts */
#define SELWIN_REPORTFAIL  0x200  /* a failure to start is reported: (null, 0, data) */
#define SELWIN_THREAD      0x2000 /* restriction is a thread id */

typedef struct SELECTWINDOWREQUEST {
    HWND owner;
    HCURSOR pick_cursor;   /* null: the up-arrow cursor unless SELWIN_KEEPCURSOR */
    HCURSOR no_cursor;     /* null: the "no" cursor unless SELWIN_NONOCURSOR */
    DWORD flags;
    LRESULT (CALLBACK *filter)(HWND window, int code, LPARAM data);
    LPARAM data;
    ULONG_PTR restriction; /* a window whose descendants are allowed, or a thread id */
    HWND chosen;           /* result */
    LRESULT last_answer;   /* the filter's last answer */
} SELECTWINDOWREQUEST;

/* Runs a modal pick on the calling thread; Escape cancels. */
HWND WINAPI SelectWindowEx(SELECTWINDOWREQUEST *request);
HWND WINAPI SelectWindow(HWND owner, HCURSOR pick_cursor, HCURSOR no_cursor, DWORD flags,
                         LRESULT (CALLBACK *filter)(HWND, int, LPARAM), LPARAM data, ULONG_PTR restriction);
BOOL WINAPI SetTextureHook(HWND parent, WNDENUMPROC proc);
BOOL WINAPI SetMDIFrameTextureHook(HWND frame);
LRESULT CALLBACK TextureHookWinproc(HWND window, UINT msg, WPARAM wp, LPARAM lp);
BOOL WINAPI RemoveMDITextureHook(HWND window);
BOOL WINAPI RemoveMDIAllHooks(HWND frame);

/* ---- Log printers ---- */

/* Printers for the logging library (its IQtkPrinter interface); the caller
 * owns one reference.  Null without memory or, for the event log, without a
 * source name. */
void *WINAPI CreateMessageBoxPrinter(void);
void *WINAPI CreateEventLogPrinter(LPCSTR source_name);

/* ---- Ini-bound dialog data ---- */

/* The head of a caller structure: the members follow packed (no padding),
 * in the order of the dialog's IDIALOGDATA entries: double 8 bytes; long,
 * boolean, mask, index and item data 4; a string with a count a char
 * array of that size, else a heap pointer (malloc) the toolkit replaces;
 * arrays (type 0x80) count elements. */
typedef struct INISTRUCT {
    DWORD reserved;
    char file[260];
    char section[32];
} INISTRUCT;

typedef int (CALLBACK *INIDATAPROC)(INIOBJECT *obj, LPCSTR key, LPCSTR def, UINT id, UINT count, UINT type,
                                    LPARAM user);

int WINAPI iniForEachDialogData(INIOBJECT *obj, INIDATAPROC proc, LPARAM user, BOOL stop);
int CALLBACK IniToControl(INIOBJECT *obj, LPCSTR key, LPCSTR def, UINT id, UINT count, UINT type, LPARAM user);
int CALLBACK ControlToIni(INIOBJECT *obj, LPCSTR key, LPCSTR def, UINT id, UINT count, UINT type, LPARAM user);
int CALLBACK IniToMember(INIOBJECT *obj, LPCSTR key, LPCSTR def, UINT id, UINT count, UINT type, LPARAM user);
int CALLBACK MemberToIni(INIOBJECT *obj, LPCSTR key, LPCSTR def, UINT id, UINT count, UINT type, LPARAM user);
int CALLBACK ControlToMember(INIOBJECT *obj, LPCSTR key, LPCSTR def, UINT id, UINT count, UINT type, LPARAM user);
int CALLBACK MemberToControl(INIOBJECT *obj, LPCSTR key, LPCSTR def, UINT id, UINT count, UINT type, LPARAM user);
int CALLBACK IniResetControlProc(INIOBJECT *obj, LPCSTR key, LPCSTR def, UINT id, UINT count, UINT type, LPARAM user);
int CALLBACK IniValidateControl(INIOBJECT *obj, LPCSTR key, LPCSTR def, UINT id, UINT count, UINT type, LPARAM user);
/* user: an open FILE *. */
int CALLBACK IniDataToFileProc(INIOBJECT *obj, LPCSTR key, LPCSTR def, UINT id, UINT count, UINT type, LPARAM user);
BOOL WINAPI IniToDialog(HMODULE module, LPCSTR tmpl, HWND dlg);
BOOL WINAPI DialogToIni(HMODULE module, LPCSTR tmpl, HWND dlg);
BOOL WINAPI IniToStruct(HMODULE module, LPCSTR tmpl, INISTRUCT *data);
BOOL WINAPI StructToIni(HMODULE module, LPCSTR tmpl, INISTRUCT *data);
BOOL WINAPI StructToDialog(HWND dlg, INISTRUCT *data);
BOOL WINAPI DialogToStruct(HWND dlg, INISTRUCT *data);
BOOL WINAPI IniValidateDialog(HMODULE module, LPCSTR tmpl, HWND dlg, UINT message);
int WINAPI LoadCtrlData(HWND control, LPCSTR name, LPCSTR type, DWORD flags);
BOOL CALLBACK lbLoadAllProc(HWND child, LPARAM unused);
INT_PTR CALLBACK IniDlgProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp);
/* flags: 1 modeless, 2 store at WM_DESTROY, 4 OK and Cancel do not end the dialog. */
INT_PTR WINAPI iniDialogBoxEx(HMODULE module, LPCSTR tmpl, HWND owner, DLGPROC proc, LPARAM param, DWORD flags,
                              INISTRUCT *data);
INT_PTR WINAPI iniDialogBox(HMODULE module, LPCSTR tmpl, HWND owner, INISTRUCT *data);
/* Adds an ini-bound page to a tabbed dialog: loaded when made, stored when
 * the tabbed dialog ends with OK; -1 without memory. */
BOOL WINAPI tabAddIniTemplate(HGLOBAL tab, LPCSTR caption, HMODULE module, LPCSTR tmpl, DLGPROC proc, LPARAM param,
                              DWORD page_flags, INISTRUCT *data);

/* ---- Image dialogs ---- */

/* Enumeration callback of the image filters' writers: 0 (stop) and the
 * whole record copied into the wanted one (a FormatRecord passed as user)
 * when its format id and sub-format agree; 1 otherwise. */
int WINAPI Type2GFW(struct FormatRecord *record, LPARAM wanted);

/* Image open and save dialogs over the image filters. */
struct ConvertSource;
struct ConvertTarget;
typedef int(WINAPI *FERRIXREADCALLBACK)(struct ConvertSource *source, struct ConvertTarget *target);
typedef struct FERRIXREADOPTIONS {
    DWORD flags;   /* FERRIXREAD_* */
} FERRIXREADOPTIONS;
#define FERRIXREAD_CALLONFAILURE 0x10000   /* the callback hears failed conversions too */
/* Picks an image with a preview (template 108) and converts each chosen file
 * (flags may carry OFN_ALLOWMULTISELECT) from source into target, calling
 * back after each; answers the source's result after the last conversion,
 * 0 when the dialog was cancelled. */
int WINAPI ferrixQueryRead(HWND owner, struct ConvertSource *source, struct ConvertTarget *target,
                           FERRIXREADCALLBACK callback, const FERRIXREADOPTIONS *options, const char *const *required,
                           DWORD flags);
typedef struct FERRIXWRITEREQUEST {
    HWND owner;
    struct ConvertSource *source;   /* the image to write, as a conversion source */
    DWORD options;                  /* none defined yet */
    char path[MAX_PATH];            /* in: the name offered; out: the file written */
    WORD formatId, subFormat, depth;
    BOOL compressed;
} FERRIXWRITEREQUEST;
/* Picks a name, type, depth and compression (template 109) and writes the
 * image; nonzero when it was written. */
BOOL WINAPI ferrixQueryWrite(FERRIXWRITEREQUEST *request);
/* Adds the ini-bound page "Image Import/Export" to a tabbed dialog. */
BOOL WINAPI ferrixPrefInit(HGLOBAL tab);
UINT_PTR CALLBACK GFDIALOGHookProc(HWND inner, UINT msg, WPARAM wp, LPARAM lp);
UINT_PTR CALLBACK GFSAVEHookProc(HWND inner, UINT msg, WPARAM wp, LPARAM lp);

#ifdef __cplusplus
}
#endif

#endif
