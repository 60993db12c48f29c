/* CCList: an owner-draw list or combo box whose items show a picture cut
 * from one strip bitmap, an indent and a text.  The control is subclassed;
 * the dialog's drawing and measuring requests about it arrive through DlgX. */
#include "tundrix32.h"
#include "internal.h"
#include "dlgx.h"

#include <cstring>
#include <string>

namespace {

const char kAtomName[] = "CCList-Brannoch";

/* The cell size lives in the first reserved words after textColour. */
int CellWidth(const CCLISTSTATE *s) { return static_cast<int>(s->reserved2[0]); }
int CellHeight(const CCLISTSTATE *s) { return static_cast<int>(s->reserved2[1]); }

/* Shared by every list of the process, measured once. */
int g_item_height;

CCLISTSTATE *StateOf(HWND control)
{
    ATOM atom = GlobalFindAtomA(kAtomName);
    return atom && control ? static_cast<CCLISTSTATE *>(GetPropA(control, MAKEINTATOM(atom))) : nullptr;
}

int MeasureItemHeight(HWND control)
{
    if (g_item_height) return g_item_height;
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
    int h = 13;
    if (font) {
        HDC dc = GetDC(control);
        HGDIOBJ old = SelectObject(dc, font);
        TEXTMETRICA tm = {};
        if (GetTextMetricsA(dc, &tm)) h = tm.tmHeight;
        SelectObject(dc, old);
        ReleaseDC(control, dc);
    }
    g_item_height = h > 16 ? h : 16;
    return g_item_height;
}

std::string ItemText(CCLISTSTATE *s, HWND control, UINT item)
{
    const UINT len_msg = s->isCombo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN;
    const UINT text_msg = s->isCombo ? CB_GETLBTEXT : LB_GETTEXT;
    LRESULT n = CallWindowProcA(s->controlProc, control, len_msg, item, 0);
    if (n <= 0) return std::string();
    /* The buffer is sized from the item's own length. */
    std::string text(static_cast<size_t>(n) + 1, '\0');
    LRESULT got = CallWindowProcA(s->controlProc, control, text_msg, item, reinterpret_cast<LPARAM>(&text[0]));
    text.resize(got > 0 && got <= n ? static_cast<size_t>(got) : 0);
    return text;
}

void Draw(CCLISTSTATE *s, HWND control, DRAWITEMSTRUCT *d)
{
    if (static_cast<int>(d->itemID) < 0) {
        if (d->itemAction & ODA_FOCUS) DrawFocusRect(d->hDC, &d->rcItem);
        return;
    }
    const DWORD data = static_cast<DWORD>(d->itemData);
    if (s->onBeforeDraw) s->onBeforeDraw(s, d, data);
    const std::string text = ItemText(s, control, d->itemID);
    HDC dc = d->hDC;
    COLORREF old_text = 0, old_back = 0;
    const bool colours = (d->itemAction & (ODA_DRAWENTIRE | ODA_SELECT)) != 0;
    if (colours) {
        const bool selected = (d->itemState & ODS_SELECTED) != 0;
        old_text = SetTextColor(dc, selected ? s->selTextColour : s->textColour);
        old_back = SetBkColor(dc, selected ? s->selBackColour : s->backColour);
    }
    const RECT &r = d->rcItem;
    if (colours) {
        const int column = data & 0xFF, row = (data >> 8) & 0xFF, indent = (data >> 16) & 0xFF;
        const int cw = CellWidth(s), ch = CellHeight(s);
        if (s->bitmap && cw > 0 && ch > 0) {
            ExtTextOutA(dc, r.left + 4 * indent + 8 + cw, r.top, ETO_CLIPPED | ETO_OPAQUE, &r, text.c_str(),
                        static_cast<UINT>(text.size()), nullptr);
            if (column < s->columns && row < s->rows) {
                HDC mem = CreateCompatibleDC(dc);
                HGDIOBJ old = SelectObject(mem, s->bitmap);
                GdiTransparentBlt(dc, r.left + 4 * indent + 4, r.top + 1, cw, ch, mem, column * cw, row * ch, cw, ch,
                                  s->keyColour);
                SelectObject(mem, old);
                DeleteDC(mem);
            }
        } else {
            ExtTextOutA(dc, r.left + 4, r.top, ETO_CLIPPED | ETO_OPAQUE, &r, text.c_str(), static_cast<UINT>(text.size()),
                        nullptr);
        }
    }
    if (colours) {
        SetTextColor(dc, old_text);
        SetBkColor(dc, old_back);
    }
    if (d->itemAction & ODA_FOCUS) DrawFocusRect(dc, &r);
    else if ((d->itemState & ODS_FOCUS) && colours) DrawFocusRect(dc, &r);
}

LRESULT ToDialog(CCLISTSTATE *s, UINT msg, WPARAM wp, LPARAM lp)
{
    if (s->dialogProc) return CallWindowProcA(s->dialogProc, s->parent, msg, wp, lp);
    return DefWindowProcA(s->parent, msg, wp, lp);
}

}  // namespace

extern "C" CCLISTSTATE *WINAPI CCListCtor(HWND control, HBITMAP bitmap, int cell_width, int cell_height)
{
    if (!control) return nullptr;
    ATOM atom = GlobalAddAtomA(kAtomName);
    if (!atom) return nullptr;
    auto *s = static_cast<CCLISTSTATE *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(CCLISTSTATE)));
    if (!s) {
        GlobalDeleteAtom(atom);
        return nullptr;
    }
    SetPropA(control, MAKEINTATOM(atom), s);
    s->parent = GetParent(control);
    s->controlId = GetDlgCtrlID(control);
    char cls[64] = {};
    GetClassNameA(control, cls, sizeof cls);
    CharUpperA(cls);
    s->isCombo = std::strstr(cls, "COMBOBOX") != nullptr;
    s->queryMessage = RegisterWindowMessageA("OpenFileNameDialog-Brannoch");
    s->textColour = GetSysColor(COLOR_WINDOWTEXT);
    s->backColour = GetSysColor(COLOR_WINDOW);
    s->selTextColour = GetSysColor(COLOR_HIGHLIGHTTEXT);
    s->selBackColour = GetSysColor(COLOR_HIGHLIGHT);
    s->keyColour = 0xFF0000;
    const bool dlgx = DlgXMessage() != 0 && InstallDlgX(s->parent);
    if (bitmap) {
        s->bitmap = bitmap;
        BITMAP bm = {};
        if (GetObjectA(bitmap, sizeof bm, &bm) && cell_width > 0 && cell_height > 0) {
            s->columns = static_cast<WORD>(bm.bmWidth / cell_width);
            s->rows = static_cast<WORD>(bm.bmHeight / cell_height);
            s->reserved2[0] = static_cast<DWORD>(cell_width);
            s->reserved2[1] = static_cast<DWORD>(cell_height);
        }
    }
    s->controlProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CCListWndProc)));
    if (dlgx) {
        const UINT m = DlgXMessage();
        DLGXHOOKREQUEST hook = {static_cast<UINT_PTR>(s->controlId), control,
                                DLGX_KIND_CALLBACK | DLGX_KIND_ITEM | DLGX_KIND_COMMAND, CCListParentWndProc};
        SendMessageA(s->parent, m, DLGX_ADDHOOK, reinterpret_cast<LPARAM>(&hook));
        s->dialogProc = reinterpret_cast<WNDPROC>(SendMessageA(s->parent, m, DLGX_GETOLDPROC, 0));
        SendMessageA(s->parent, m, DLGX_ADDINITWINDOW, reinterpret_cast<LPARAM>(control));
    }
    if (s->onCreated) s->onCreated(s, control);
    return s;
}

extern "C" int WINAPI LBInsertODItem(HWND control, int index, LPCSTR text, DWORD flags, int column, int row, int indent,
                                     BOOL combo)
{
    if (!control) return -1;
    const DWORD top = ((flags << 4) | ((flags >> 24) & 0xF)) & 0xFF;
    const DWORD data = (column & 0xFF) | ((row & 0xFF) << 8) | ((indent & 0xFF) << 16) | (top << 24);
    UINT msg = combo ? (index == -1 ? CB_ADDSTRING : CB_INSERTSTRING) : (index == -1 ? LB_ADDSTRING : LB_INSERTSTRING);
    LRESULT at = SendMessageA(control, msg, index == -1 ? 0 : index, reinterpret_cast<LPARAM>(text ? text : ""));
    if (at < 0) return -1;
    SendMessageA(control, combo ? CB_SETITEMDATA : LB_SETITEMDATA, at, data);
    return static_cast<int>(at);
}

extern "C" LRESULT WINAPI CCListCallWindowProc(CCLISTSTATE *state, HWND control, UINT msg, WPARAM wp, LPARAM lp)
{
    if (!state || !control) return 0;
    SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(state->controlProc));
    LRESULT r = SendMessageA(control, msg, wp, lp);
    SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CCListWndProc));
    return r;
}

extern "C" LRESULT CALLBACK CCListParentWndProc(HWND control, UINT msg, WPARAM wp, LPARAM lp)
{
    CCLISTSTATE *s = StateOf(control);
    if (!s) return 0;
    switch (msg) {
    case WM_MEASUREITEM: {
        auto *m = reinterpret_cast<MEASUREITEMSTRUCT *>(lp);
        if (m) m->itemHeight = MeasureItemHeight(control);
        return TRUE;
    }
    case WM_DRAWITEM:
        if (lp) Draw(s, control, reinterpret_cast<DRAWITEMSTRUCT *>(lp));
        return TRUE;
    case WM_DELETEITEM: return 1;
    case WM_COMMAND: {
        const UINT code = HIWORD(wp);
        CCLISTCOMMAND callback = nullptr;
        if (s->isCombo) {
            if (code == CBN_SELCHANGE) {
                PostMessageA(s->parent, WM_COMMAND, MAKEWPARAM(s->controlId, 0x400), reinterpret_cast<LPARAM>(control));
                callback = s->onSelChange;
            } else if (code == CBN_DBLCLK) {
                callback = s->onDoubleClick;
            } else if (code == CBN_EDITUPDATE) {
                SendMessageA(s->parent, WM_COMMAND, MAKEWPARAM(s->controlId, 0x400), reinterpret_cast<LPARAM>(control));
            }
        } else if (code == LBN_SELCHANGE) {
            callback = s->onSelChange;
        } else if (code == LBN_DBLCLK) {
            callback = s->onDoubleClick;
        }
        if (callback && callback(s, s->parent, wp)) return 0;
        return ToDialog(s, msg, wp, lp);
    }
    default: return ToDialog(s, msg, wp, lp);
    }
}

extern "C" LRESULT CALLBACK CCListWndProc(HWND control, UINT msg, WPARAM wp, LPARAM lp)
{
    CCLISTSTATE *s = StateOf(control);
    if (!s) return DefWindowProcA(control, msg, wp, lp);
    const bool combo = s->isCombo != 0;
    if (msg == WM_INITDIALOG) return 1;
    if (msg == WM_DESTROY) {
        LRESULT r = CallWindowProcA(s->controlProc, control, msg, wp, lp);
        if (s->onDestroy) s->onDestroy(s, control);
        if (s->bitmap) DeleteObject(s->bitmap);
        /* The dialog stops routing to a control that is gone. */
        if (DlgXMessage() && IsWindow(s->parent))
            SendMessageA(s->parent, DlgXMessage(), DLGX_REMOVEHOOK, static_cast<LPARAM>(s->controlId));
        SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(s->controlProc));
        ATOM atom = GlobalFindAtomA(kAtomName);
        RemovePropA(control, MAKEINTATOM(atom));
        GlobalDeleteAtom(atom);
        HeapFree(GetProcessHeap(), 0, s);
        return r;
    }
    if (msg == s->queryMessage && s->onQuery) return s->onQuery(s, control, wp, lp);
    switch (msg) {
    case LB_DIR: case CB_DIR:
        if ((msg == CB_DIR) == combo && s->onDir) return s->onDir(s, control, wp, lp);
        break;
    case LB_GETTEXT: case CB_GETLBTEXT:
        if ((msg == CB_GETLBTEXT) == combo && s->onGetText) return s->onGetText(s, control, wp, lp);
        break;
    case LB_GETTEXTLEN: case CB_GETLBTEXTLEN:
        if ((msg == CB_GETLBTEXTLEN) == combo && s->onGetTextLen) return s->onGetTextLen(s, control, wp);
        break;
    case LB_INSERTSTRING: case CB_INSERTSTRING:
        if ((msg == CB_INSERTSTRING) == combo && s->onInsert) return s->onInsert(s, control, wp, lp);
        break;
    case LB_ADDSTRING: case CB_ADDSTRING:
        if ((msg == CB_ADDSTRING) == combo && s->onAdd) return s->onAdd(s, control, lp);
        break;
    case LB_DELETESTRING: case CB_DELETESTRING:
        if ((msg == CB_DELETESTRING) == combo && s->onDelete) return s->onDelete(s, control, wp);
        break;
    case WM_GETTEXT:
        if (s->onWindowText) return s->onWindowText(s, control, wp, lp);
        break;
    case WM_SETTEXT:
        if (s->onSetWindowText) return s->onSetWindowText(s, control, lp);
        break;
    default: break;
    }
    return CallWindowProcA(s->controlProc, control, msg, wp, lp);
}
