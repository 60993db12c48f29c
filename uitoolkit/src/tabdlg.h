/* The records behind the tabbed dialogs.  Callers hold the description as a
 * movable global memory handle; every export locks it around its work and a
 * running frame keeps it locked. */
#ifndef TUNDRIX_TABDLG_H
#define TUNDRIX_TABDLG_H

#include <windows.h>

const int kTabMaxButtons = 32;
const int kTabMaxPages = 32;

/* Control ids inside the frame. */
const int kTabPageFrameId = 256;
const int kTabArrowForwardId = 257;
const int kTabArrowBackId = 258;
const int kTabRowId = 259;
const int kTabFirstTabId = 260;
const int kTabLineId = 0xFFFF;

/* One page: appended at the tail of the description's list. */
struct TabPage {
    DWORD pageFlags;     /* TABPAGE_* */
    LPSTR caption;       /* heap copy, or a string id below 0x10000 */
    HINSTANCE instance;  /* module of the template and of a caption id */
    DWORD_PTR reserved;
    LPCSTR tmpl;         /* resource name or id, memory handle or pointer */
    DLGPROC pageProc;
    LPARAM pageParam;
    LPARAM extra;        /* kept for the caller */
    HACCEL accelTable;
    HWND accelTarget;
    TabPage *next;
};

struct TabDialogDescription {
    DWORD flags;                          /* TABF_* */
    int buttonCount;
    int defaultButton;
    HWND owner;
    HINSTANCE instance;
    LPSTR caption;
    LPSTR buttonCaption[kTabMaxButtons];
    TabPage *pages;
    LPSTR fontFace;
    int fontSize;
    DLGPROC dialogProc;
    LPARAM dialogParam;
    int ended;
    int result;
    HWND currentPage;
    HWND frame;
    int currentIndex;
    HWND lastFocus;
    int margin;
    int pageCount;
    HWND pageWindow[kTabMaxPages];
    HACCEL accelTable;
    HWND accelTarget;                     /* null: the frame */
    int initialTab;
    TabDialogDescription *nextActive;     /* running dialogs seen by the keyboard hook */
    HGLOBAL handle;                       /* the block this description lives in */
    DWORD_PTR keepsControls;              /* a modeless frame holds the control libraries */
    int previousIndex;
};

/* Something a page owns for the description's lifetime (TabPage.reserved):
 * released by tabDestroy through its first member. */
struct TabPageOwned {
    void (*release)(TabPageOwned *self);
};

/* tabCreate with the push-button captions in an array. */
HGLOBAL TabCreateList(HWND owner, HINSTANCE instance, LPCSTR caption, DLGPROC proc, LPARAM param, int default_button,
                      DWORD flags, const LPCSTR *captions, int count);

/* Locks a description handle; null when it cannot be locked. */
TabDialogDescription *TabLock(HGLOBAL handle);
void TabUnlock(HGLOBAL handle);

/* The property (integer atom 1) of frames and pages. */
#define TAB_PROP MAKEINTATOM(1)

#endif
