/* The positioner's style dialog for dialog editors ("Placet: Edit"): styles,
 * window styles, parts, range, step, format, label and alignment, written
 * back as window style words and a property string. */
#include "placet.h"
#include "placet_internal.h"
#include "propstr.h"

#include <custcntl.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct StyleRow {
    DWORD style, mask;
};
/* Rows 0-6 belong to check boxes 300 + row (row 5 has none); 7 clamp, 8 wrap. */
const StyleRow kRows[9] = {{PLCS_AUTOUPDATE, 0}, {PLCS_AUTODISABLE, 0}, {PLCS_FASTCURSOR, 0},
                           {PLCS_LIVEMSGS, 0},   {PLCS_CLIPCURSOR, 0},  {PLCS_USEESCAPE, 0},
                           {PLCS_AUTOALIGN, 0},  {PLCS_CLAMP, 0x1000},  {PLCS_WRAP, 0x1000}};

struct Node {
    uint32_t code;
    std::string text;   /* string pairs */
    uint32_t number;
};

/* One record per call of CCStyleDlg. */
struct PositionerStyleRecord {
    LPCCSTYLEA style;
    DWORD control_style;   /* window style low word with the extended style's high word */
    DWORD window_style;
    char *text;
    int text_size;
    int id;
    std::vector<Node> nodes;
    uint32_t version;
};

Node *FindNode(PositionerStyleRecord *r, uint32_t code)
{
    for (Node &n : r->nodes)
        if (n.code == code) return &n;
    return nullptr;
}

void Store(PositionerStyleRecord *r, uint32_t code, const char *text, uint32_t number)
{
    Node *n = FindNode(r, code);
    if (!n) {
        r->nodes.push_back({code, "", 0});
        n = &r->nodes.back();
    }
    n->text = text ? text : "";
    n->number = number;
}

void Remove(PositionerStyleRecord *r, uint32_t code)
{
    for (size_t i = 0; i < r->nodes.size(); ++i)
        if (r->nodes[i].code == code) {
            r->nodes.erase(r->nodes.begin() + static_cast<long>(i));
            return;
        }
}

void SetUp(PositionerStyleRecord *r, LPCCSTYLEA style)
{
    r->style = style;
    r->window_style = style->flStyle;
    r->control_style = (style->flStyle & 0xFFFF) | (style->flExtStyle & 0xFFFF0000u);
    r->text = style->szText;
    r->text_size = CCHCCTEXT;
    Store(r, 0x140, "%.0f", 0);
    Store(r, 0x150, "0", 0);
    Store(r, 0x160, "100", 0);
    Store(r, 0x170, "0", 0);
    Store(r, 0x180, "1", 0);
    const char *text = style->szText;
    if (!text[0]) return;
    if (!propstr::HasSeparator(text)) {
        Store(r, 0x171, text, 0);
        return;
    }
    const char *p = text;
    propstr::Pair pair;
    while (propstr::ReadPair(p, propstr::Reader::Positioner, pair)) {
        if (pair.code == 0) r->version = pair.number;
        else if (pair.code == 0xE0) r->control_style = (r->control_style & 0xFFFF) | (pair.number << 16);
        else Store(r, pair.code, pair.text, pair.number);
        propstr::FreePair(pair);
    }
}

const struct {
    int id;
    DWORD bit;
} kWindowBoxes[] = {{250, WS_VISIBLE}, {251, WS_DISABLED}, {252, WS_GROUP}, {253, WS_TABSTOP}, {254, WS_CLIPSIBLINGS}};

void Init(HWND dlg, PositionerStyleRecord *r)
{
    for (auto &w : kWindowBoxes) CheckDlgButton(dlg, w.id, (r->window_style & w.bit) ? BST_CHECKED : BST_UNCHECKED);
    for (int row = 0; row <= 6; ++row)
        if (row != 5) CheckDlgButton(dlg, 300 + row, (r->control_style & kRows[row].style) ? BST_CHECKED : BST_UNCHECKED);
    CheckRadioButton(dlg, 320, 321, (r->control_style & PLCS_WRAP) ? 321 : 320);
    HWND list = GetDlgItem(dlg, 101);
    int tab = 54;
    SendMessageA(list, LB_SETTABSTOPS, 1, reinterpret_cast<LPARAM>(&tab));
    for (int i = 0; i < 7; ++i) {
        char name[64];
        LoadStringA(PlacetModule(), 16 + i, name, sizeof name);
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    }
    uint32_t parts = 0xFFFF;
    CheckRadioButton(dlg, 322, 324, 323);
    for (const Node &n : r->nodes) {
        switch (n.code) {
        case 0x30: parts = n.number; break;
        case 0x140: SetDlgItemTextA(dlg, 353, n.text.c_str()); break;
        case 0x150: SetDlgItemTextA(dlg, 350, n.text.c_str()); break;
        case 0x160: SetDlgItemTextA(dlg, 352, n.text.c_str()); break;
        case 0x170: SetDlgItemTextA(dlg, 351, n.text.c_str()); break;
        case 0x180: SetDlgItemTextA(dlg, 354, n.text.c_str()); break;
        default:
            if ((n.code & 0xF) == 1 && (n.code & 0x100)) SetDlgItemTextA(dlg, 118, n.text.c_str());
            if ((n.code & 0xF) == 7) {
                int a = static_cast<int>(n.number % 3);
                CheckRadioButton(dlg, 322, 324, a == 1 ? 322 : a == 2 ? 324 : 323);
            }
        }
    }
    for (int i = 0; i < 7; ++i) SendMessageA(list, LB_SETSEL, (parts >> i) & 1, i);
    /* No identifier-to-text callback from CCStyleDlg: the identifier is not shown. */
}

void ReadField(HWND dlg, PositionerStyleRecord *r, int id, uint32_t code)
{
    char buf[256] = {0};
    GetDlgItemTextA(dlg, id, buf, sizeof buf);
    if (buf[0]) Store(r, code, buf, 0);
    else Remove(r, code);
}

void Ok(HWND dlg, PositionerStyleRecord *r)
{
    HWND list = GetDlgItem(dlg, 101);
    uint32_t parts = 0;
    for (int i = 0; i < 7; ++i)
        if (SendMessageA(list, LB_GETSEL, i, 0) > 0) parts |= 1u << i;
    Store(r, 0x30, nullptr, parts);
    ReadField(dlg, r, 350, 0x150);
    ReadField(dlg, r, 352, 0x160);
    ReadField(dlg, r, 351, 0x170);
    ReadField(dlg, r, 354, 0x180);
    ReadField(dlg, r, 353, 0x140);
    /* The label replaces any earlier text pair. */
    for (size_t i = r->nodes.size(); i-- > 0;)
        if ((r->nodes[i].code & 0xF) == 1 && r->nodes[i].code != 0x171) r->nodes.erase(r->nodes.begin() + static_cast<long>(i));
    ReadField(dlg, r, 118, 0x171);
    for (size_t i = r->nodes.size(); i-- > 0;)
        if ((r->nodes[i].code & 0xF) == 7) r->nodes.erase(r->nodes.begin() + static_cast<long>(i));
    uint32_t align = IsDlgButtonChecked(dlg, 322) ? 1 : IsDlgButtonChecked(dlg, 324) ? 2 : 0;
    Store(r, 0x77, nullptr, align);
    char id[32] = {0};
    GetDlgItemTextA(dlg, 116, id, sizeof id);
    char *end = nullptr;
    long v = std::strtol(id, &end, 0);
    r->id = (end && end != id && !*end) ? static_cast<int>(v) : 0;
}

/* Rebuilds the editor's text: version, high style word, then the pairs that fit. */
void Rebuild(PositionerStyleRecord *r)
{
    char *out = r->text;
    size_t space = static_cast<size_t>(r->text_size), n = 0;
    n += propstr::AppendPair(out + n, space - n, 0, 0x270, nullptr);
    if (r->control_style > 0xFFFF) n += propstr::AppendPair(out + n, space - n, 0xE0, r->control_style >> 16, nullptr);
    for (const Node &node : r->nodes) {
        bool string = (node.code & propstr::kString) != 0;
        if (string && node.text.empty()) continue;
        n += propstr::AppendPair(out + n, space - n, node.code, node.number, string ? node.text.c_str() : nullptr);
    }
    propstr::Finish(out, n);
}

} // namespace

extern "C" INT_PTR CALLBACK CCStyleDlgProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp)
{
    auto *r = reinterpret_cast<PositionerStyleRecord *>(GetWindowLongPtrA(dlg, DWLP_USER));
    switch (msg) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dlg, DWLP_USER, lp);
        Init(dlg, reinterpret_cast<PositionerStyleRecord *>(lp));
        return TRUE;
    case WM_COMMAND: {
        int id = LOWORD(wp);
        if (!r) return FALSE;
        if (id == IDOK) {
            Ok(dlg, r);
            EndDialog(dlg, 1);
            return TRUE;
        }
        if (id == IDCANCEL) {
            EndDialog(dlg, 0);
            return TRUE;
        }
        if (HIWORD(wp) != BN_CLICKED) return FALSE;
        for (auto &w : kWindowBoxes)
            if (id == w.id) {
                if (IsDlgButtonChecked(dlg, id)) r->window_style |= w.bit;
                else r->window_style &= ~w.bit;
                SendMessageA(dlg, WM_USER + 1, 1, 0);
                return TRUE;
            }
        if (id >= 300 && id <= 306 && id != 305) {
            DWORD bit = kRows[id - 300].style;
            if (IsDlgButtonChecked(dlg, id)) r->control_style |= bit;
            else r->control_style &= ~bit;
            SendMessageA(dlg, WM_USER + 1, 1, 0);
            return TRUE;
        }
        if (id == 320 || id == 321) {
            r->control_style = (r->control_style & ~0x1000u) | kRows[id == 320 ? 7 : 8].style;
            SendMessageA(dlg, WM_USER + 1, 1, 0);
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
    auto *r = new (std::nothrow) PositionerStyleRecord();
    if (!r) return FALSE;
    SetUp(r, style);
    INT_PTR result = DialogBoxParamA(PlacetModule(), MAKEINTRESOURCEA(10), parent, CCStyleDlgProc,
                                     reinterpret_cast<LPARAM>(r));
    if (result == 1) {
        style->flStyle = (r->window_style & 0xFFFF0000u) | (r->control_style & 0xFFFF);
        style->flExtStyle = (style->flExtStyle & 0xFFFF) | (r->control_style & 0xFFFF0000u);
        Rebuild(r);
    }
    delete r;
    return result == 1 ? TRUE : FALSE;
}
