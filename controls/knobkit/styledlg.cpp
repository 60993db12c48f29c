/* The button's style dialog for dialog editors ("Knobset Styles"): style
 * flags, look, window styles, initial state, identity and every face
 * attribute per state, with a live sample; written back as style words and
 * a property string. */
#include "internal.h"
#include "knobset.h"
#include "propstr.h"

#include <custcntl.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

/* Look radio buttons 230 + row of the style table's looks. */
const DWORD kLooks[12] = {KNBS_FLAT,      KNBS_BORDER, KNBS_SEMIFLAT, KNBS_BEVELED, KNBS_WINDOWSISH, KNBS_SHADOW,
                          KNBS_TECHNOID,  KNBS_SUNKEN, KNBS_RAISED,   KNBS_CHICAGO, KNBS_OLDWINDOWS, KNBS_TABLOOK};
/* Function check boxes 204 + n: style table rows 12 + n. */
const DWORD kFunctions[22] = {KNBS_AUTO,           KNBS_CHECK,          KNBS_INITASDEF,     KNBS_SHOWFOCUS,
                              KNBS_RADIO,          KNBS_REPEAT,         KNBS_STAYDOWN,      KNBS_VERBOSE,
                              KNBS_INITSELD,       KNBS_PRESSCLICK,     KNBS_SHOWDEFAULT,   KNBS_STATIC,
                              KNBS_EX_DRAGDROP,    KNBS_EX_TRANSPARENT, KNBS_EX_CANBEDEF,   KNBS_EX_DRAWMSGS,
                              KNBS_EX_NOFOCUS,     KNBS_EX_CYCLIC,      KNBS_EX_RCLICKS,    KNBS_EX_RPRESSCLICK,
                              KNBS_EX_TABSTYLE,    KNBS_EX_FASTDRAW};
const struct {
    int id;
    DWORD bit;
} kWindowBoxes[] = {{250, WS_VISIBLE}, {251, WS_DISABLED}, {252, WS_GROUP}, {253, WS_TABSTOP}, {254, WS_CLIPSIBLINGS}};
/* Attribute list entries (strings 64-73, then "Font") and their numbers. */
const int kAttrs[11] = {1, 2, 3, 4, 9, 6, 5, 15, 7, 8, 11};

enum { ID_SAMPLE = 99, ID_LIST = 101, ID_UP = 102, ID_SELD = 103, ID_GRAY = 104, ID_APPLY = 111, ID_DELETE = 112,
       ID_EDIT = 114, ID_ID = 116, ID_TARGET = 117, ID_VALUE = 16641, ID_PAIRS = 110, ID_POPUP = 123, ID_STATUS = 124 };

struct Node {
    uint32_t code;
    std::string text;
    uint32_t number;
};

struct StyleEditRecord {
    LPCCSTYLEA style;
    DWORD control_style;
    DWORD window_style;
    int id;
    std::vector<Node> nodes;
    bool dirty;   /* a value was changed and not applied */
};

bool IsStringAttr(int attr) { return attr == 1 || attr == 11; }

void SetUp(StyleEditRecord *r, LPCCSTYLEA style)
{
    r->style = style;
    r->window_style = style->flStyle;
    r->control_style = (style->flStyle & 0xFFFF) | (style->flExtStyle & 0xFFFF0000u);
    const char *text = style->szText;
    if (!text[0]) return;
    if (!propstr::HasSeparator(text)) {
        r->nodes.push_back({0x171, text, 0});
        return;
    }
    const char *p = text;
    propstr::Pair pair;
    while (propstr::ReadPair(p, propstr::Reader::Button, pair)) {
        uint32_t code = pair.code & ~propstr::kOwnMask;
        if (code == 0) {
        } else if (code == 0xE0) {
            r->control_style = (r->control_style & 0xFFFF) | (pair.number << 16);
        } else if (code == 0xF0) {
            r->control_style = (r->control_style & 0xFFFF0000u) | (pair.number & 0xFFFF);
        } else {
            r->nodes.push_back({code, pair.text ? pair.text : "", pair.number});
        }
        propstr::FreePair(pair);
    }
}

std::string Describe(const Node &n)
{
    char buf[300];
    if (n.code & propstr::kString) std::snprintf(buf, sizeof buf, "%X\t%s", n.code, n.text.c_str());
    else std::snprintf(buf, sizeof buf, "%X\t%X", n.code, n.number);
    return buf;
}

std::string BuildText(const StyleEditRecord *r)
{
    char out[CCHCCTEXT];
    size_t n = 0, space = sizeof out;
    n += propstr::AppendPair(out + n, space - n, 0, 0x241, nullptr);
    if (r->control_style >> 16) n += propstr::AppendPair(out + n, space - n, 0xE0, r->control_style >> 16, nullptr);
    for (const Node &node : r->nodes) {
        uint32_t code = node.code;
        bool string = propstr::IsStringCode(code);
        if (!((code & propstr::kOwnMask) == propstr::kOwnBorrow && !string)) code &= ~propstr::kOwnMask;
        n += propstr::AppendPair(out + n, space - n, code, node.number, string ? node.text.c_str() : nullptr);
    }
    propstr::Finish(out, n);
    return out;
}

void RefreshPairs(HWND dlg, StyleEditRecord *r)
{
    HWND list = GetDlgItem(dlg, ID_PAIRS);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    for (const Node &n : r->nodes) SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Describe(n).c_str()));
}

void RebuildSample(HWND dlg, StyleEditRecord *r)
{
    HWND sample = GetDlgItem(dlg, ID_SAMPLE);
    if (!sample) return;
    SendMessageA(sample, KNBM_STYLEOP, 0x14, r->control_style & ~(DWORD)KNBS_INITSELD);
    std::string text = BuildText(r);
    SendMessageA(sample, KNBM_APPLYPROPS, 0, reinterpret_cast<LPARAM>(text.c_str()));
    RefreshPairs(dlg, r);
}

void Changed(HWND dlg, StyleEditRecord *r, bool value)
{
    if (value) r->dirty = true;
    EnableWindow(GetDlgItem(dlg, ID_APPLY), r->dirty);
    SendMessageA(dlg, WM_USER + 1, 1, 0);
}

unsigned CheckedStates(HWND dlg)
{
    unsigned s = 0;
    if (IsDlgButtonChecked(dlg, ID_UP)) s |= 0x10;
    if (IsDlgButtonChecked(dlg, ID_SELD)) s |= 0x20;
    if (IsDlgButtonChecked(dlg, ID_GRAY)) s |= 0x40;
    return s;
}

/* Stores the editor's value for the checked states, splitting any pair of
 * the same attribute so that every state keeps one value. */
void Apply(HWND dlg, StyleEditRecord *r)
{
    int sel = static_cast<int>(SendDlgItemMessageA(dlg, ID_LIST, LB_GETCURSEL, 0, 0));
    unsigned states = CheckedStates(dlg);
    if (sel < 0 || sel >= 11 || !states) {
        r->dirty = false;
        EnableWindow(GetDlgItem(dlg, ID_APPLY), FALSE);
        return;
    }
    int attr = kAttrs[sel];
    char value[256] = {0};
    GetDlgItemTextA(dlg, ID_VALUE, value, sizeof value);
    for (size_t i = r->nodes.size(); i-- > 0;) {
        Node &n = r->nodes[i];
        if (static_cast<int>(n.code & 0xF) != attr) continue;
        unsigned own = (n.code & 0x70) ? (n.code & 0x70) : 0x70;
        unsigned rest = own & ~states;
        if (rest == own) continue;
        if (!rest) r->nodes.erase(r->nodes.begin() + static_cast<long>(i));
        else n.code = (n.code & ~0x70u) | rest;
    }
    if (value[0]) {
        uint32_t code = static_cast<uint32_t>(attr) | states;
        if (IsStringAttr(attr)) r->nodes.push_back({code | propstr::kString, value, 0});
        else r->nodes.push_back({code, "", static_cast<uint32_t>(std::strtoul(value, nullptr, 16))});
    }
    r->dirty = false;
    EnableWindow(GetDlgItem(dlg, ID_APPLY), FALSE);
    SendMessageA(dlg, WM_USER + 1, 1, 0);
}

void Init(HWND dlg, StyleEditRecord *r)
{
    HINSTANCE module = KnobkitModule();
    DWORD look = r->control_style & KNBS_LOOKMASK;
    if (look < KNBS_TABLOOK) {
        look = KNBS_WINDOWSISH;
        r->control_style = (r->control_style & ~(DWORD)KNBS_LOOKMASK) | look;
    }
    for (int i = 0; i < 12; ++i) CheckDlgButton(dlg, 230 + i, kLooks[i] == look ? BST_CHECKED : BST_UNCHECKED);
    for (int i = 0; i < 22; ++i) CheckDlgButton(dlg, 204 + i, (r->control_style & kFunctions[i]) ? BST_CHECKED : BST_UNCHECKED);
    for (auto &w : kWindowBoxes) CheckDlgButton(dlg, w.id, (r->window_style & w.bit) ? BST_CHECKED : BST_UNCHECKED);
    if (!(r->window_style & WS_DISABLED)) CheckDlgButton(dlg, 118, (r->control_style & KNBS_INITSELD) ? BST_UNCHECKED : BST_CHECKED);
    HWND list = GetDlgItem(dlg, ID_LIST);
    for (int i = 0; i < 10; ++i) {
        char name[64];
        LoadStringA(module, 64 + i, name, sizeof name);
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    }
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Font"));
    SendMessageA(list, LB_SETCURSEL, 0, 0);
    CheckDlgButton(dlg, ID_UP, BST_CHECKED);
    CheckDlgButton(dlg, ID_SELD, BST_CHECKED);
    CheckDlgButton(dlg, ID_GRAY, BST_CHECKED);
    EnableWindow(GetDlgItem(dlg, ID_APPLY), FALSE);
    for (const Node &n : r->nodes) {
        if (n.code == 0xD0 || n.code == 0xD0 + 0x100) SetDlgItemTextA(dlg, ID_POPUP, n.text.c_str());
        if (n.code == 0xC0 || n.code == 0xC0 + 0x100) SetDlgItemTextA(dlg, ID_STATUS, n.text.c_str());
    }
    RebuildSample(dlg, r);
    r->dirty = false;
}

bool TakeTarget(HWND dlg, StyleEditRecord *r)
{
    char buf[64] = {0};
    GetDlgItemTextA(dlg, ID_TARGET, buf, sizeof buf);
    for (size_t i = r->nodes.size(); i-- > 0;)
        if (r->nodes[i].code == 0xB0) r->nodes.erase(r->nodes.begin() + static_cast<long>(i));
    if (!buf[0]) return true;
    char *end = nullptr;
    unsigned long v = std::strtoul(buf, &end, 0);
    if (end == buf || *end) {
        char msg[128];
        LoadStringA(KnobkitModule(), 4, msg, sizeof msg);
        MessageBoxA(dlg, msg, "Knobset", MB_ICONEXCLAMATION);
        SendDlgItemMessageA(dlg, ID_TARGET, EM_SETSEL, 0, -1);
        SetFocus(GetDlgItem(dlg, ID_TARGET));
        return false;
    }
    r->nodes.push_back({0xB0, "", static_cast<uint32_t>(v)});
    return true;
}

} // namespace

extern "C" INT_PTR CALLBACK CCStyleDlgProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp)
{
    auto *r = reinterpret_cast<StyleEditRecord *>(GetWindowLongPtrA(dlg, DWLP_USER));
    switch (msg) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dlg, DWLP_USER, lp);
        Init(dlg, reinterpret_cast<StyleEditRecord *>(lp));
        return TRUE;
    case WM_USER + 1:
        if (r && wp == 1) RebuildSample(dlg, r);
        return TRUE;
    case WM_COMMAND: {
        if (!r) return FALSE;
        int id = LOWORD(wp), code = HIWORD(wp);
        if (id == IDOK) {
            if (r->dirty && IsWindowEnabled(GetDlgItem(dlg, ID_APPLY))) {
                char text[128];
                LoadStringA(KnobkitModule(), 3, text, sizeof text);
                int answer = MessageBoxA(dlg, text, "Knobset", MB_YESNOCANCEL | MB_ICONQUESTION);
                if (answer == IDCANCEL) return TRUE;
                if (answer == IDYES) Apply(dlg, r);
            }
            if (!TakeTarget(dlg, r)) return TRUE;
            char buf[32] = {0};
            GetDlgItemTextA(dlg, ID_ID, buf, sizeof buf);
            char *end = nullptr;
            long v = std::strtol(buf, &end, 0);
            r->id = (end != buf && !*end) ? static_cast<int>(v) : 0;
            EndDialog(dlg, 1);
            return TRUE;
        }
        if (id == IDCANCEL) {
            EndDialog(dlg, 0);
            return TRUE;
        }
        if (id == ID_VALUE && code == EN_CHANGE) {
            Changed(dlg, r, true);
            return TRUE;
        }
        if (code != BN_CLICKED) return FALSE;
        if (id == ID_APPLY) {
            Apply(dlg, r);
            return TRUE;
        }
        if (id == ID_DELETE) {
            int sel = static_cast<int>(SendDlgItemMessageA(dlg, ID_PAIRS, LB_GETCURSEL, 0, 0));
            if (sel >= 0 && sel < static_cast<int>(r->nodes.size())) r->nodes.erase(r->nodes.begin() + sel);
            SendMessageA(dlg, WM_USER + 1, 1, 0);
            return TRUE;
        }
        if (id == ID_EDIT) {
            int sel = static_cast<int>(SendDlgItemMessageA(dlg, ID_PAIRS, LB_GETCURSEL, 0, 0));
            if (sel < 0 || sel >= static_cast<int>(r->nodes.size())) return TRUE;
            const Node &n = r->nodes[static_cast<size_t>(sel)];
            for (int i = 0; i < 11; ++i)
                if (kAttrs[i] == static_cast<int>(n.code & 0xF)) SendDlgItemMessageA(dlg, ID_LIST, LB_SETCURSEL, i, 0);
            unsigned st = (n.code & 0x70) ? (n.code & 0x70) : 0x70;
            CheckDlgButton(dlg, ID_UP, (st & 0x10) ? BST_CHECKED : BST_UNCHECKED);
            CheckDlgButton(dlg, ID_SELD, (st & 0x20) ? BST_CHECKED : BST_UNCHECKED);
            CheckDlgButton(dlg, ID_GRAY, (st & 0x40) ? BST_CHECKED : BST_UNCHECKED);
            char v[256];
            if (n.code & propstr::kString) lstrcpynA(v, n.text.c_str(), sizeof v);
            else std::snprintf(v, sizeof v, "%X", n.number);
            SetDlgItemTextA(dlg, ID_VALUE, v);
            return TRUE;
        }
        if (id == 121) {
            SendDlgItemMessageA(dlg, ID_SAMPLE, KNBM_SIZETOCONTENT, 0x1000, MAKELPARAM(12, 8));
            return TRUE;
        }
        if (id == 105 || id == 106) {
            SendDlgItemMessageA(dlg, ID_SAMPLE, BM_SETSTATE, id == 106, 0);
            return TRUE;
        }
        if (id == 107) {
            EnableWindow(GetDlgItem(dlg, ID_SAMPLE), !IsWindowEnabled(GetDlgItem(dlg, ID_SAMPLE)));
            return TRUE;
        }
        if (id == 115) {
            SendDlgItemMessageA(dlg, ID_SAMPLE, BM_SETCHECK, IsDlgButtonChecked(dlg, 115) == BST_CHECKED, 0);
            return TRUE;
        }
        for (auto &w : kWindowBoxes)
            if (id == w.id) {
                if (IsDlgButtonChecked(dlg, id)) r->window_style |= w.bit;
                else r->window_style &= ~w.bit;
                Changed(dlg, r, false);
                return TRUE;
            }
        if (id >= 204 && id <= 225) {
            DWORD bit = kFunctions[id - 204];
            if (IsDlgButtonChecked(dlg, id)) r->control_style |= bit;
            else r->control_style &= ~bit;
            Changed(dlg, r, false);
            return TRUE;
        }
        if (id == 118) {
            r->control_style &= ~(DWORD)KNBS_INITSELD;
            CheckDlgButton(dlg, 212, BST_UNCHECKED);
            Changed(dlg, r, false);
            return TRUE;
        }
        if (id >= 230 && id <= 241) {
            r->control_style = (r->control_style & ~(DWORD)KNBS_LOOKMASK) | kLooks[id - 230];
            Changed(dlg, r, false);
            return TRUE;
        }
        return FALSE;
    }
    }
    return FALSE;
}

extern "C" BOOL CALLBACK CCStyleDlg(HWND parent, LPCCSTYLEA style)
{
    if (!style) return FALSE;
    HMODULE placet = LoadLibraryA("PLACET.DLL");
    if (!placet) MessageBoxA(parent, "Could not load Placet.DLL", "Knobset", MB_ICONWARNING);
    auto *r = new (std::nothrow) StyleEditRecord();
    BOOL ok = FALSE;
    if (r) {
        SetUp(r, style);
        INT_PTR result = DialogBoxParamA(KnobkitModule(), MAKEINTRESOURCEA(10), parent, CCStyleDlgProc,
                                         reinterpret_cast<LPARAM>(r));
        if (result == 1) {
            style->flStyle = (r->window_style & 0xFFFF0000u) | (r->control_style & 0xFFFF);
            style->flExtStyle = (style->flExtStyle & 0xFFFF) | (r->control_style & 0xFFFF0000u);
            std::string text = BuildText(r);
            lstrcpynA(style->szText, text.c_str(), CCHCCTEXT);
            ok = TRUE;
        }
        delete r;
    }
    if (placet) FreeLibrary(placet);
    return ok;
}

/* Keeps the pair lists scrolling together: a vertical scroll of list 110 is
 * passed on to lists 108 and 109 first. */
extern "C" LRESULT CALLBACK LBWndProc(HWND list, UINT msg, WPARAM wp, LPARAM lp)
{
    static bool busy;
    WNDPROC base = reinterpret_cast<WNDPROC>(GetPropA(list, "Knobset LB proc"));
    if (msg == WM_VSCROLL && !busy) {
        busy = true;
        HWND dlg = GetParent(list);
        SendDlgItemMessageA(dlg, 108, msg, wp, lp);
        SendDlgItemMessageA(dlg, 109, msg, wp, lp);
        busy = false;
    }
    return base ? CallWindowProcA(base, list, msg, wp, lp) : DefWindowProcA(list, msg, wp, lp);
}
