/* The button's style dialog for dialog editors ("Knobset Styles"): style
 * flags, look, window styles, initial state, identity and every face
 * attribute per state, with a live sample; written back as style words and
 * a property string. */
#include "internal.h"
#include "knobset.h"
#include "propstr.h"

#include <custcntl.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" LRESULT CALLBACK LBWndProc(HWND list, UINT msg, WPARAM wp, LPARAM lp);

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
       ID_EDIT = 114, ID_ID = 116, ID_TARGET = 117, ID_VALUE = 16641, ID_PAIRS = 110, ID_POPUP = 123, ID_STATUS = 124,
       ID_CODES = 108, ID_STATES = 109, ID_ASTEXT = 49410, ID_ASID = 49411,
       ID_RED = 2049, ID_RED_EDIT = 2052, ID_SWATCH = 2055, ID_SWATCH_HATCH = 17409, ID_SPLIT = 34827, ID_LEFT = 34828,
       ID_PATTERN = 16897, ID_INT = 513, ID_EXT = 514, ID_TEXTPAD = 4096, ID_BMPPAD = 8192, ID_OFFX = 4107,
       ID_OFFY = 4108, ID_ABS = 4109, ID_REL = 4110, ID_TALONE = 4111, ID_BALONE = 8207, ID_CHARS = 4114,
       ID_ROTATE = 4115, ID_FACE = 16651, ID_PT = 16700, ID_PT_EDIT = 16701, ID_LB = 16720, ID_LB_EDIT = 16721,
       ID_BOLD = 16672, ID_ITALIC = 16673, ID_UNDERLINE = 16674, ID_STRIKE = 16675 };

/* Which editors each attribute shows. */
enum Group { G_TEXT = 1, G_BITMAP = 2, G_BRUSH = 4, G_COLOUR = 8, G_SPLIT = 16, G_TEXTPOS = 32, G_BMPPOS = 64, G_FONT = 128 };
unsigned GroupOf(int attr)
{
    switch (attr) {
    case 1: return G_TEXT;
    case 2: return G_BITMAP;
    case 3: return G_BRUSH;
    case 4: case 5: case 6: case 9: return G_COLOUR;
    case 15: return G_COLOUR | G_SPLIT;
    case 7: return G_TEXTPOS;
    case 8: return G_BMPPOS;
    case 11: return G_FONT;
    }
    return 0;
}
struct EditorRange {
    int first, last;
    unsigned groups;
};
const EditorRange kEditors[] = {
    {ID_ASTEXT, ID_ASID, G_TEXT},
    {ID_INT, ID_EXT, G_BITMAP},
    {ID_PATTERN, ID_PATTERN, G_BRUSH},
    {2046, 2055, G_COLOUR},
    {ID_SWATCH_HATCH, ID_SWATCH_HATCH, G_COLOUR},
    {ID_SPLIT, ID_LEFT + 1, G_SPLIT},
    {ID_TEXTPAD, ID_TEXTPAD + 10, G_TEXTPOS},
    {ID_BMPPAD, ID_BMPPAD + 10, G_BMPPOS},
    {ID_OFFX, ID_REL, G_TEXTPOS | G_BMPPOS},
    {4117, 4118, G_TEXTPOS | G_BMPPOS},
    {4119, 4119, G_TEXTPOS},
    {ID_TALONE, ID_TALONE + 2, G_TEXTPOS},
    {ID_BALONE, ID_BALONE + 2, G_BMPPOS},
    {ID_CHARS, ID_ROTATE, G_TEXTPOS},
    {ID_FACE - 1, ID_FACE, G_FONT},
    {ID_PT - 1, ID_PT_EDIT, G_FONT},
    {ID_LB - 1, ID_LB_EDIT, G_FONT},
    {ID_BOLD, ID_STRIKE, G_FONT},
};

/* The swatch's brush: one for the process, for the colour shown now. */
HBRUSH g_swatch_brush;

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
    bool decoding;   /* the editors are being set from a value: no composing */
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

/* The three value lists: code, states and value of every stored pair. */
void RefreshPairs(HWND dlg, StyleEditRecord *r)
{
    const int lists[3] = {ID_CODES, ID_STATES, ID_PAIRS};
    const LRESULT sel = SendDlgItemMessageA(dlg, ID_PAIRS, LB_GETCURSEL, 0, 0);
    for (int l : lists) SendDlgItemMessageA(dlg, l, LB_RESETCONTENT, 0, 0);
    for (const Node &n : r->nodes) {
        char code[16], states[32];
        std::snprintf(code, sizeof code, "%X", n.code);
        const unsigned st = n.code & 0xF ? ((n.code & 0x70) ? (n.code & 0x70) : 0x70) : 0;
        std::snprintf(states, sizeof states, "%s%s%s", (st & 0x10) ? "U " : "", (st & 0x20) ? "S " : "", (st & 0x40) ? "G" : "");
        std::string value = Describe(n);
        value = value.substr(value.find('\t') + 1);
        SendDlgItemMessageA(dlg, ID_CODES, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(code));
        SendDlgItemMessageA(dlg, ID_STATES, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(states));
        SendDlgItemMessageA(dlg, ID_PAIRS, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(value.c_str()));
    }
    if (sel >= 0)
        for (int l : lists) SendDlgItemMessageA(dlg, l, LB_SETCURSEL, sel, 0);
}

int SelectedAttr(HWND dlg)
{
    int sel = static_cast<int>(SendDlgItemMessageA(dlg, ID_LIST, LB_GETCURSEL, 0, 0));
    return sel >= 0 && sel < 11 ? kAttrs[sel] : 0;
}

void ShowEditors(HWND dlg, int attr)
{
    const unsigned groups = GroupOf(attr);
    for (const EditorRange &e : kEditors)
        for (int id = e.first; id <= e.last; ++id)
            if (HWND w = GetDlgItem(dlg, id)) ShowWindow(w, (e.groups & groups) ? SW_SHOW : SW_HIDE);
}

int ItemInt(HWND dlg, int id)
{
    char buf[32] = {0};
    GetDlgItemTextA(dlg, id, buf, sizeof buf);
    return static_cast<int>(std::strtol(buf, nullptr, 10));
}

int CheckedOf(HWND dlg, int first, int count)
{
    for (int i = 0; i < count; ++i)
        if (IsDlgButtonChecked(dlg, first + i) == BST_CHECKED) return i;
    return 0;
}

void CheckOne(HWND dlg, int first, int count, int which)
{
    for (int i = 0; i < count; ++i) CheckDlgButton(dlg, first + i, i == which ? BST_CHECKED : BST_UNCHECKED);
}

/* A font positioner's value; its edit when the positioner library is absent. */
int PositionerValue(HWND dlg, int id)
{
    HWND p = GetDlgItem(dlg, id);
    char cls[16] = {0};
    if (p && GetClassNameA(p, cls, sizeof cls) && !lstrcmpiA(cls, "Placet"))
        return static_cast<int>(SendMessageA(p, WM_USER + 288, 0x1600, 0));
    return ItemInt(dlg, id + 1);
}

COLORREF EditorColour(HWND dlg)
{
    int c[3];
    for (int i = 0; i < 3; ++i) c[i] = std::max(0, std::min(255, ItemInt(dlg, ID_RED_EDIT + i)));
    return RGB(c[0], c[1], c[2]);
}

/* The value of the current attribute's editors, as the value field shows it. */
void Compose(HWND dlg, StyleEditRecord *r)
{
    if (r->decoding) return;
    const int attr = SelectedAttr(dlg);
    const unsigned g = GroupOf(attr);
    char value[160] = {0};
    if (g & G_COLOUR) {
        uint32_t v = EditorColour(dlg);
        if (g & G_SPLIT)
            v |= (static_cast<uint32_t>(std::max(0, std::min(127, ItemInt(dlg, ID_SPLIT)))) << 24) |
                 (IsDlgButtonChecked(dlg, ID_LEFT) == BST_CHECKED ? 0x80000000u : 0);
        std::snprintf(value, sizeof value, "%X", v);
        InvalidateRect(GetDlgItem(dlg, ID_SWATCH), nullptr, TRUE);
    } else if (g & (G_TEXTPOS | G_BMPPOS)) {
        const bool text = (g & G_TEXTPOS) != 0;
        uint32_t v = static_cast<uint32_t>(CheckedOf(dlg, text ? ID_TEXTPAD : ID_BMPPAD, 11));
        v |= (static_cast<uint32_t>(ItemInt(dlg, ID_OFFX)) & 0xFF) << 4;
        v |= (static_cast<uint32_t>(ItemInt(dlg, ID_OFFY)) & 0xFF) << 12;
        if (IsDlgButtonChecked(dlg, ID_ABS) == BST_CHECKED) v |= 0x100000;
        const int relation = CheckedOf(dlg, text ? ID_TALONE : ID_BALONE, 3);
        if (relation == 1) v |= 0x200000;
        if (relation == 2) v |= 0x400000;
        if (text) {
            if (IsDlgButtonChecked(dlg, ID_ROTATE) == BST_CHECKED) v |= 0x800000;
            v |= (static_cast<uint32_t>(std::max(0, std::min(255, ItemInt(dlg, ID_CHARS))))) << 24;
        }
        std::snprintf(value, sizeof value, "%X", v);
    } else if (g & G_BRUSH) {
        LRESULT i = SendDlgItemMessageA(dlg, ID_PATTERN, CB_GETCURSEL, 0, 0);
        if (i < 0) return;
        std::snprintf(value, sizeof value, "%X", static_cast<unsigned>(i));
    } else if (g & G_FONT) {
        uint32_t spec = static_cast<uint32_t>(std::max(0, std::min(255, PositionerValue(dlg, ID_PT))));
        if (IsDlgButtonChecked(dlg, ID_ITALIC) == BST_CHECKED) spec |= 0x100;
        if (IsDlgButtonChecked(dlg, ID_STRIKE) == BST_CHECKED) spec |= 0x200;
        if (IsDlgButtonChecked(dlg, ID_UNDERLINE) == BST_CHECKED) spec |= 0x400;
        if (IsDlgButtonChecked(dlg, ID_BOLD) == BST_CHECKED) spec |= 0x800;
        spec |= (static_cast<uint32_t>(std::max(0, std::min(1023, PositionerValue(dlg, ID_LB))))) << 16;
        char face[32] = {0};
        GetDlgItemTextA(dlg, ID_FACE, face, sizeof face);
        std::snprintf(value, sizeof value, "%X %s", spec, face);
    } else {
        return;   /* text and bitmap: the value field is the editor */
    }
    SetDlgItemTextA(dlg, ID_VALUE, value);
}

void SetPositioner(HWND dlg, int id, int value)
{
    SetDlgItemInt(dlg, id + 1, static_cast<UINT>(value), FALSE);
    HWND p = GetDlgItem(dlg, id);
    char cls[16] = {0};
    if (p && GetClassNameA(p, cls, sizeof cls) && !lstrcmpiA(cls, "Placet")) SendMessageA(p, WM_USER + 289, 0x1000, value);
}

/* The editors of the current attribute from a value (and its code's bits). */
void Decode(HWND dlg, StyleEditRecord *r, uint32_t code, uint32_t v, const std::string &text)
{
    r->decoding = true;
    const int attr = static_cast<int>(code & 0xF);
    const unsigned g = GroupOf(attr);
    if (g & G_TEXT) CheckOne(dlg, ID_ASTEXT, 2, (code & propstr::kString) ? 0 : 1);
    if (g & G_BITMAP) CheckOne(dlg, ID_INT, 2, ((code >> 9) & 3) == 2 ? 0 : 1);
    if (g & G_BRUSH) SendDlgItemMessageA(dlg, ID_PATTERN, CB_SETCURSEL, (code & 0x200) ? v : static_cast<WPARAM>(-1), 0);
    if (g & G_COLOUR) {
        const int c[3] = {static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF), static_cast<int>((v >> 16) & 0xFF)};
        for (int i = 0; i < 3; ++i) {
            SetScrollPos(GetDlgItem(dlg, ID_RED + i), SB_CTL, c[i], TRUE);
            SetDlgItemInt(dlg, ID_RED_EDIT + i, static_cast<UINT>(c[i]), FALSE);
        }
        SetDlgItemInt(dlg, ID_SPLIT, (v >> 24) & 0x7F, FALSE);
        CheckDlgButton(dlg, ID_LEFT, (v & 0x80000000u) ? BST_CHECKED : BST_UNCHECKED);
    }
    if (g & (G_TEXTPOS | G_BMPPOS)) {
        const bool t = (g & G_TEXTPOS) != 0;
        CheckOne(dlg, t ? ID_TEXTPAD : ID_BMPPAD, 11, static_cast<int>((v & 0xF) % 11));
        SetDlgItemInt(dlg, ID_OFFX, static_cast<UINT>(static_cast<int8_t>((v >> 4) & 0xFF)), TRUE);
        SetDlgItemInt(dlg, ID_OFFY, static_cast<UINT>(static_cast<int8_t>((v >> 12) & 0xFF)), TRUE);
        CheckOne(dlg, ID_ABS, 2, (v & 0x100000) ? 0 : 1);
        CheckOne(dlg, t ? ID_TALONE : ID_BALONE, 3, (v & 0x400000) ? 2 : (v & 0x200000) ? 1 : 0);
        if (t) {
            CheckDlgButton(dlg, ID_ROTATE, (v & 0x800000) ? BST_CHECKED : BST_UNCHECKED);
            SetDlgItemInt(dlg, ID_CHARS, v >> 24, FALSE);
        }
    }
    if (g & G_FONT) {
        const uint32_t spec = static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 16));
        const size_t blank = text.find(' ');
        SetDlgItemTextA(dlg, ID_FACE, blank == std::string::npos ? "" : text.substr(text.find_first_not_of(' ', blank)).c_str());
        SetPositioner(dlg, ID_PT, static_cast<int>(spec & 0xFF));
        SetPositioner(dlg, ID_LB, static_cast<int>((spec >> 16) & 0x3FF));
        CheckDlgButton(dlg, ID_ITALIC, (spec & 0x100) ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(dlg, ID_STRIKE, (spec & 0x200) ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(dlg, ID_UNDERLINE, (spec & 0x400) ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(dlg, ID_BOLD, (spec & 0x800) ? BST_CHECKED : BST_UNCHECKED);
    }
    r->decoding = false;
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
        bool string = IsStringAttr(attr);
        /* A text may be a string-table number; a bitmap may come from this
         * library; a brush may be one of the built-in patterns. */
        if (attr == 1 && IsDlgButtonChecked(dlg, ID_ASID) == BST_CHECKED) string = false;
        if (attr == 2 && IsDlgButtonChecked(dlg, ID_INT) == BST_CHECKED) code |= 0x400;
        if (attr == 3 && SendDlgItemMessageA(dlg, ID_PATTERN, CB_GETCURSEL, 0, 0) >= 0) code |= 0x200;
        if (string) r->nodes.push_back({code | propstr::kString, value, 0});
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
    for (int i = 0; i < 3; ++i) {
        SetScrollRange(GetDlgItem(dlg, ID_RED + i), SB_CTL, 0, 255, FALSE);
        SetScrollPos(GetDlgItem(dlg, ID_RED + i), SB_CTL, 0, TRUE);
        SetDlgItemInt(dlg, ID_RED_EDIT + i, 0, FALSE);
    }
    SetDlgItemInt(dlg, ID_SPLIT, 64, FALSE);
    SendDlgItemMessageA(dlg, ID_SWATCH_HATCH, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("(solid)"));
    for (int i = 0; i < 6; ++i) {
        char name[32];
        LoadStringA(module, 74 + i, name, sizeof name);
        SendDlgItemMessageA(dlg, ID_PATTERN, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
        SendDlgItemMessageA(dlg, ID_SWATCH_HATCH, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    }
    SendDlgItemMessageA(dlg, ID_SWATCH_HATCH, CB_SETCURSEL, 0, 0);
    CheckOne(dlg, ID_ASTEXT, 2, 0);
    CheckOne(dlg, ID_INT, 2, 1);
    CheckOne(dlg, ID_TEXTPAD, 11, 0);
    CheckOne(dlg, ID_BMPPAD, 11, 0);
    CheckOne(dlg, ID_ABS, 2, 1);
    CheckOne(dlg, ID_TALONE, 3, 0);
    CheckOne(dlg, ID_BALONE, 3, 0);
    /* The font's size and weight are positioners when their library is
     * there, else empty windows beside their edits. Each owns the twelve
     * identifiers after its own (its parts), which nothing else uses. */
    for (int id : {ID_PT, ID_LB}) {
        RECT pr = {id == ID_PT ? 378 : 472, 192, id == ID_PT ? 418 : 512, 204};
        MapDialogRect(dlg, &pr);
        WNDCLASSA wc;
        const bool placet = GetClassInfoA(nullptr, "Placet", &wc) != 0;
        const char *props = id == ID_PT ? "0`1`150`1`160`255`170`8`180`1`140`%.0f" : "0`1`150`0`160`1023`170`0`180`100`140`%.0f";
        HWND w = CreateWindowExA(0, placet ? "Placet" : "Static", placet ? props : "", WS_CHILD | WS_VISIBLE, pr.left, pr.top,
                                 pr.right - pr.left, pr.bottom - pr.top, dlg,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
        /* Made after the dialog's start: it is told of it here. */
        if (w && placet) SendMessageA(w, WM_INITDIALOG, 0, 0);
    }
    /* The three value lists scroll together. */
    if (HWND values = GetDlgItem(dlg, ID_PAIRS)) {
        SetPropA(values, "Knobset LB proc", reinterpret_cast<HANDLE>(GetWindowLongPtrA(values, GWLP_WNDPROC)));
        SetWindowLongPtrA(values, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(LBWndProc));
    }
    ShowEditors(dlg, SelectedAttr(dlg));
    for (const Node &n : r->nodes) {
        const bool text = (n.code & propstr::kString) != 0;
        char number[16];
        std::snprintf(number, sizeof number, "%u", n.number);
        if ((n.code & ~propstr::kString) == 0xD0) SetDlgItemTextA(dlg, ID_POPUP, text ? n.text.c_str() : number);
        if ((n.code & ~propstr::kString) == 0xC0) SetDlgItemTextA(dlg, ID_STATUS, text ? n.text.c_str() : number);
    }
    RebuildSample(dlg, r);
    r->dirty = false;
}

/* The popup and status texts as their fields show them: a number is a
 * string-table entry, other text is kept as it is; empty removes it. */
void TakeTexts(HWND dlg, StyleEditRecord *r)
{
    const struct {
        int id;
        uint32_t code;
    } texts[] = {{ID_POPUP, 0xD0}, {ID_STATUS, 0xC0}};
    for (const auto &t : texts) {
        char buf[256] = {0};
        GetDlgItemTextA(dlg, t.id, buf, sizeof buf);
        for (size_t i = r->nodes.size(); i-- > 0;)
            if ((r->nodes[i].code & ~propstr::kString) == t.code) r->nodes.erase(r->nodes.begin() + static_cast<long>(i));
        if (!buf[0]) continue;
        char *end = nullptr;
        unsigned long id = std::strtoul(buf, &end, 10);
        if (end != buf && !*end) r->nodes.push_back({t.code, "", static_cast<uint32_t>(id)});
        else r->nodes.push_back({t.code | propstr::kString, buf, 0});
    }
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
    case WM_HSCROLL: {
        HWND bar = reinterpret_cast<HWND>(lp);
        const int id = GetDlgCtrlID(bar);
        if (!r || id < ID_RED || id > ID_RED + 2) return FALSE;
        int pos = GetScrollPos(bar, SB_CTL);
        switch (LOWORD(wp)) {
        case SB_LINELEFT: --pos; break;
        case SB_LINERIGHT: ++pos; break;
        case SB_PAGELEFT: pos -= 16; break;
        case SB_PAGERIGHT: pos += 16; break;
        case SB_THUMBTRACK: case SB_THUMBPOSITION: pos = static_cast<short>(HIWORD(wp)); break;
        case SB_LEFT: pos = 0; break;
        case SB_RIGHT: pos = 255; break;
        default: return TRUE;
        }
        pos = std::max(0, std::min(255, pos));
        SetScrollPos(bar, SB_CTL, pos, TRUE);
        SetDlgItemInt(dlg, id - ID_RED + ID_RED_EDIT, static_cast<UINT>(pos), FALSE);
        return TRUE;
    }
    case WM_CTLCOLORSTATIC:
        if (r && reinterpret_cast<HWND>(lp) == GetDlgItem(dlg, ID_SWATCH)) {
            if (g_swatch_brush) DeleteObject(g_swatch_brush);
            const COLORREF c = EditorColour(dlg);
            const LRESULT hatch = SendDlgItemMessageA(dlg, ID_SWATCH_HATCH, CB_GETCURSEL, 0, 0);
            g_swatch_brush = hatch > 0 ? CreateHatchBrush(static_cast<int>(hatch - 1), c) : CreateSolidBrush(c);
            SetBkColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<INT_PTR>(g_swatch_brush);
        }
        return FALSE;
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
            TakeTexts(dlg, r);
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
        if (id >= ID_RED_EDIT && id <= ID_RED_EDIT + 2 && code == EN_CHANGE) {
            if (!r->decoding)
                SetScrollPos(GetDlgItem(dlg, id - ID_RED_EDIT + ID_RED), SB_CTL, std::max(0, std::min(255, ItemInt(dlg, id))), TRUE);
            Compose(dlg, r);
            return TRUE;
        }
        if (code == EN_CHANGE && (id == ID_SPLIT || id == ID_OFFX || id == ID_OFFY || id == ID_CHARS || id == ID_FACE ||
                                  id == ID_PT_EDIT || id == ID_LB_EDIT)) {
            Compose(dlg, r);
            return TRUE;
        }
        if (id == ID_PT || id == ID_LB) {   /* a positioner's value changed */
            Compose(dlg, r);
            return TRUE;
        }
        if ((id == ID_PATTERN || id == ID_SWATCH_HATCH) && code == CBN_SELCHANGE) {
            if (id == ID_PATTERN) Compose(dlg, r);
            else InvalidateRect(GetDlgItem(dlg, ID_SWATCH), nullptr, TRUE);
            return TRUE;
        }
        if ((id == ID_CODES || id == ID_STATES || id == ID_PAIRS) && code == LBN_SELCHANGE) {
            const LRESULT sel = SendDlgItemMessageA(dlg, id, LB_GETCURSEL, 0, 0);
            for (int l : {ID_CODES, ID_STATES, ID_PAIRS})
                if (l != id) SendDlgItemMessageA(dlg, l, LB_SETCURSEL, sel, 0);
            return TRUE;
        }
        if (id == ID_LIST && code == LBN_SELCHANGE) {
            ShowEditors(dlg, SelectedAttr(dlg));
            Compose(dlg, r);
            return TRUE;
        }
        if (code != BN_CLICKED) return FALSE;
        if ((id >= ID_TEXTPAD && id <= ID_TEXTPAD + 10) || (id >= ID_BMPPAD && id <= ID_BMPPAD + 10) || id == ID_ABS ||
            id == ID_REL || (id >= ID_TALONE && id <= ID_TALONE + 2) || (id >= ID_BALONE && id <= ID_BALONE + 2) ||
            id == ID_ROTATE || id == ID_LEFT || (id >= ID_BOLD && id <= ID_STRIKE)) {
            Compose(dlg, r);
            return TRUE;
        }
        if (id == ID_INT || id == ID_EXT || id == ID_ASTEXT || id == ID_ASID) {
            Changed(dlg, r, true);
            return TRUE;
        }
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
            ShowEditors(dlg, static_cast<int>(n.code & 0xF));
            Decode(dlg, r, n.code, n.number, n.text);
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
