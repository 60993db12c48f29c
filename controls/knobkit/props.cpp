/* The button's property model: setting, reading, resetting and applying
 * property strings to the three faces and the control-level attributes. */
#include "internal.h"
#include "knobset.h"
#include "propstr.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

const BYTE kKnobPatterns[7][8] = {
    {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0xFF},
    {0xFD, 0xFD, 0xFD, 0xFD, 0xFD, 0xFD, 0xFD, 0xFD},
    {0xF7, 0xFB, 0xFD, 0xFE, 0x7F, 0xBF, 0xDF, 0xEF},
    {0xDF, 0xBF, 0x7F, 0xFE, 0xFD, 0xFB, 0xF7, 0xEF},
    {0xFB, 0xFB, 0xFB, 0xFB, 0x00, 0xFB, 0xFB, 0xFB},
    {0xED, 0xF3, 0xF3, 0xED, 0xDE, 0x3F, 0x3F, 0xDE},
    {0xFF, 0xC9, 0x99, 0x99, 0xF3, 0xE7, 0xFF, 0xE7},
};

namespace {

unsigned StatesOf(uint32_t code)
{
    unsigned s = (code >> 4) & 7;
    return s ? s : 7;
}

HINSTANCE ModuleFor(ButtonRecord *b, uint32_t code)
{
    switch ((code >> propstr::kModuleShift) & 3) {
    case 1: return nullptr;
    case 2: return KnobkitModule();
    default: return reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(b->self, GWLP_HINSTANCE));
    }
}

/* True when another face than skip still holds the object. */
bool Shared(ButtonRecord *b, int skip, HGDIOBJ h)
{
    for (int i = 0; i < 3; ++i) {
        if (i == skip) continue;
        const StateRecord &f = b->face[i];
        if (h == f.bitmap || h == f.brush || h == f.palette || h == f.font ||
            h == reinterpret_cast<HGDIOBJ>(f.icon))
            return true;
    }
    return false;
}

void DropBitmap(ButtonRecord *b, int i)
{
    StateRecord &f = b->face[i];
    if (f.bitmap_owned) {
        if (f.bitmap && !Shared(b, i, f.bitmap)) DeleteObject(f.bitmap);
        if (f.icon && !Shared(b, i, reinterpret_cast<HGDIOBJ>(f.icon))) DestroyIcon(f.icon);
    }
    f.bitmap = nullptr;
    f.icon = nullptr;
    f.bitmap_owned = false;
    f.cell = 0;
}

void DropBrush(ButtonRecord *b, int i)
{
    StateRecord &f = b->face[i];
    if (f.brush_owned && f.brush && !Shared(b, i, f.brush)) DeleteObject(f.brush);
    f.brush = nullptr;
    f.brush_owned = false;
}

void DropPalette(ButtonRecord *b, int i)
{
    StateRecord &f = b->face[i];
    if (f.palette_owned && f.palette && !Shared(b, i, f.palette)) DeleteObject(f.palette);
    f.palette = nullptr;
    f.palette_owned = false;
}

void DropFont(ButtonRecord *b, int i)
{
    StateRecord &f = b->face[i];
    if (f.font_owned && f.font && !Shared(b, i, f.font)) DeleteObject(f.font);
    f.font = nullptr;
    f.font_owned = false;
    f.font_by_property = false;
}

void DropText(StateRecord &f)
{
    std::free(f.text);
    f.text = nullptr;
}

/* The text of a value by its kind; a malloc'd copy or null. */
char *ResolveText(ButtonRecord *b, uint32_t code, uintptr_t value)
{
    switch (code & propstr::kKindMask) {
    case 0: {
        char buf[256];
        if (!LoadStringA(ModuleFor(b, code), static_cast<UINT>(value), buf, 256))
            std::snprintf(buf, sizeof buf, "%lu", static_cast<unsigned long>(value));
        return propstr::Duplicate(buf);
    }
    case propstr::kString: {
        const char *s = reinterpret_cast<const char *>(value);
        return s && *s ? propstr::Duplicate(s) : nullptr;
    }
    case propstr::kGlobal: {
        HGLOBAL g = reinterpret_cast<HGLOBAL>(value);
        const char *s = g ? static_cast<const char *>(GlobalLock(g)) : nullptr;
        char *copy = s && *s ? propstr::Duplicate(s) : nullptr;
        if (s) GlobalUnlock(g);
        uint32_t own = code & propstr::kOwnMask;
        if (g && (own == propstr::kOwnTake || own == propstr::kOwnTakeHandle)) GlobalFree(g);
        return copy;
    }
    }
    return nullptr;
}

/* The process-wide default font of KNBM_SETDEFFONT. */
LOGFONTA g_default_font;
bool g_default_font_set;

HFONT FontFromDescription(const char *desc)
{
    if (!desc) return nullptr;
    char *end = nullptr;
    unsigned long bits = std::strtoul(desc, &end, 16);
    while (end && (*end == ' ' || *end == '\t')) ++end;
    LOGFONTA lf;
    std::memset(&lf, 0, sizeof lf);
    bool from_default = (bits & 0x2000) && g_default_font_set;
    if (from_default) lf = g_default_font;
    HDC screen = GetDC(nullptr);
    if (!from_default || (bits & 0xFF))
        lf.lfHeight = -MulDiv(static_cast<int>(bits & 0xFF), GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(nullptr, screen);
    if (from_default) {
        if (bits & 0x100) lf.lfItalic = TRUE;
        if (bits & 0x200) lf.lfStrikeOut = TRUE;
        if (bits & 0x400) lf.lfUnderline = TRUE;
        if (bits & 0x800) lf.lfWeight = FW_BOLD;
        else if ((bits >> 16) & 0x3FF) lf.lfWeight = static_cast<LONG>((bits >> 16) & 0x3FF);
        return CreateFontIndirectA(&lf);
    }
    lf.lfItalic = (bits & 0x100) != 0;
    lf.lfStrikeOut = (bits & 0x200) != 0;
    lf.lfUnderline = (bits & 0x400) != 0;
    lf.lfWeight = (bits & 0x800) ? FW_BOLD : static_cast<LONG>((bits >> 16) & 0x3FF);
    lf.lfCharSet = DEFAULT_CHARSET;
    lstrcpynA(lf.lfFaceName, end ? end : "", 32);
    return CreateFontIndirectA(&lf);
}

bool SetFace(ButtonRecord *b, int i, uint32_t code, uintptr_t value)
{
    StateRecord &f = b->face[i];
    uint32_t own = code & propstr::kOwnMask;
    bool take = own == propstr::kOwnTake || own == propstr::kOwnTakeHandle;
    bool borrow = own == propstr::kOwnBorrow;
    switch (code & propstr::kAttrMask) {
    case 1:
        DropText(f);
        f.text = ResolveText(b, code, value);
        return true;
    case 2: {
        DropBitmap(b, i);
        bool icon = (code & propstr::kDbcsOrIcon) != 0;
        if ((code & 0x1100) == 0x1100) {
            HANDLE h = reinterpret_cast<HANDLE>(value);
            if (!h) return true;
            if (icon) f.icon = take || borrow ? static_cast<HICON>(h) : CopyIcon(static_cast<HICON>(h));
            else f.bitmap = take || borrow ? static_cast<HBITMAP>(h)
                                           : static_cast<HBITMAP>(CopyImage(h, IMAGE_BITMAP, 0, 0, 0));
            f.bitmap_owned = !borrow;
            return true;
        }
        HINSTANCE module = ModuleFor(b, code);
        LPCSTR name = (code & propstr::kString) ? reinterpret_cast<LPCSTR>(value)
                                                : MAKEINTRESOURCEA(value & 0xFFFF);
        if (!(code & propstr::kString)) f.cell = static_cast<uint32_t>(value >> 16) & 0xFFFF;
        if (icon) f.icon = LoadIconA(module, name);
        else f.bitmap = LoadBitmapA(module, name);
        if (!f.icon && !f.bitmap) f.bitmap = LoadBitmapA(KnobkitModule(), MAKEINTRESOURCEA(32000));
        f.bitmap_owned = f.bitmap != nullptr || (module != nullptr && f.icon != nullptr && false);
        return true;
    }
    case 3: {
        DropBrush(b, i);
        if (code & 0x200) {
            unsigned n = static_cast<unsigned>(value) <= 5 ? static_cast<unsigned>(value) : 6;
            BYTE rows[16];  /* rows are word-aligned */
            for (int r = 0; r < 8; ++r) {
                rows[2 * r] = kKnobPatterns[n][r];
                rows[2 * r + 1] = 0xFF;
            }
            HBITMAP bm = CreateBitmap(8, 8, 1, 1, rows);
            f.brush = bm ? CreatePatternBrush(bm) : nullptr;
            if (bm) DeleteObject(bm);
            f.brush_owned = true;
        } else if (code & propstr::kGdi) {
            HBRUSH h = reinterpret_cast<HBRUSH>(value);
            LOGBRUSH lb;
            if (take || borrow) f.brush = h;
            else if (h && GetObjectA(h, sizeof lb, &lb)) {
                f.brush = lb.lbStyle == BS_PATTERN || lb.lbStyle == BS_DIBPATTERN ? nullptr : CreateBrushIndirect(&lb);
                if (!f.brush) {
                    /* A pattern brush's bitmap may be gone: copy its 8 x 8 cell through a bitmap. */
                    HDC dc = CreateCompatibleDC(nullptr);
                    HBITMAP cell = CreateBitmap(8, 8, 1, 1, nullptr);
                    HGDIOBJ old = SelectObject(dc, cell);
                    RECT r = {0, 0, 8, 8};
                    SetTextColor(dc, RGB(0, 0, 0));
                    SetBkColor(dc, RGB(255, 255, 255));
                    FillRect(dc, &r, h);
                    SelectObject(dc, old);
                    DeleteDC(dc);
                    f.brush = CreatePatternBrush(cell);
                    DeleteObject(cell);
                }
            }
            f.brush_owned = !borrow;
        } else {
            HBITMAP bm = LoadBitmapA(ModuleFor(b, code), MAKEINTRESOURCEA(value & 0xFFFF));
            f.brush = bm ? CreatePatternBrush(bm) : nullptr;
            if (bm) DeleteObject(bm);
            f.brush_owned = true;
        }
        return true;
    }
    case 4: f.text_colour = static_cast<uint32_t>(value); return true;
    case 5: f.back_colour = static_cast<uint32_t>(value); return true;
    case 6: f.brush_colour = static_cast<uint32_t>(value); return true;
    case 7:
    case 8: {
        uint32_t w = static_cast<uint32_t>(value);
        uint32_t align = (w & 0xF) % 11;
        w = (w & ~0xFu) | align;
        uint32_t &mine = (code & 0xF) == 7 ? f.text_pos : f.bitmap_pos;
        uint32_t &other = (code & 0xF) == 7 ? f.bitmap_pos : f.text_pos;
        mine = w;
        /* The pair bit is one setting shared by both words. */
        if (w & 0x400000) other |= 0x400000;
        else if (!(w & 0x200000)) other &= ~0x400000u;
        else mine = (mine & ~0x400000u) | (other & 0x400000);
        return true;
    }
    case 9: f.bitmap_colour = static_cast<uint32_t>(value); return true;
    case 11: {
        DropFont(b, i);
        if ((code & 0x200) && !(code & propstr::kString)) {
            f.font = static_cast<HFONT>(GetStockObject(static_cast<int>(value)));
            f.font_owned = false;
        } else if (propstr::IsStringCode(code)) {
            f.font = FontFromDescription(reinterpret_cast<const char *>(value));
            f.font_owned = true;
        } else if (code & propstr::kGdi) {
            HFONT h = reinterpret_cast<HFONT>(value);
            LOGFONTA lf;
            if (take || borrow) f.font = h;
            else if (h && GetObjectA(h, sizeof lf, &lf)) f.font = CreateFontIndirectA(&lf);
            f.font_owned = !borrow;
        } else {
            return false;
        }
        f.font_by_property = f.font != nullptr;
        return true;
    }
    case 14:
        DropPalette(b, i);
        f.palette = reinterpret_cast<HPALETTE>(value);
        f.palette_owned = take;
        return true;
    case 15: f.back2_colour = static_cast<uint32_t>(value); return true;
    }
    return false;
}

} // namespace

uint32_t KnobVersionFromValue(uint32_t current, uint32_t value)
{
    if (value == 0) return current;
    if (value <= 36) return value;
    return value << 16;
}

int KnobFaceIndex(const ButtonRecord *b)
{
    if (b->state & KNBST_DISABLED) return 2;
    bool two_state = (b->style & (KNBS_CHECK | KNBS_RADIO)) != 0;
    if (two_state ? (b->state & KNBST_CHECKED) : (b->state & KNBST_SELECTED)) return 1;
    if (two_state && (b->state & KNBST_SELECTED)) return 1;
    return 0;
}

bool KnobSetProperty(ButtonRecord *b, uint32_t code, uintptr_t value, bool)
{
    uint32_t attr = code & propstr::kAttrMask;
    if (attr) {
        if (attr == 10 || attr == 12 || attr == 13) return false;
        unsigned states = StatesOf(code);
        int first = -1;
        bool ok = true;
        for (int i = 0; i < 3; ++i) {
            if (!(states & (1u << i))) continue;
            bool object = attr == 2 || attr == 3 || attr == 11 || attr == 14;
            if (first < 0 || !object) {
                ok = SetFace(b, i, code, value) && ok;
                if (first < 0) first = i;
                continue;
            }
            /* One object serves every state the pair names; it is freed once
             * no state holds it any more. */
            StateRecord &f = b->face[i];
            const StateRecord &src = b->face[first];
            switch (attr) {
            case 2: DropBitmap(b, i); f.bitmap = src.bitmap; f.icon = src.icon; f.bitmap_owned = src.bitmap_owned; f.cell = src.cell; break;
            case 3: DropBrush(b, i); f.brush = src.brush; f.brush_owned = src.brush_owned; break;
            case 11: DropFont(b, i); f.font = src.font; f.font_owned = src.font_owned; f.font_by_property = src.font_by_property; break;
            case 14: DropPalette(b, i); f.palette = src.palette; f.palette_owned = src.palette_owned; break;
            }
        }
        return ok;
    }
    switch (code & 0xF0) {
    case 0x00: b->version = KnobVersionFromValue(b->version, static_cast<uint32_t>(value)); return true;
    case 0x10: case 0x20: return true;
    case 0xB0:
        if (code & propstr::kKindMask) {
            HWND w = reinterpret_cast<HWND>(value);
            if (!IsWindow(w)) return false;
            b->target = w;
        } else {
            HWND w = GetDlgItem(GetParent(b->self), static_cast<int>(value));
            if (!w) return false;
            b->target = w;
        }
        return true;
    case 0xC0: std::free(b->status_text); b->status_text = ResolveText(b, code, value); return true;
    case 0xD0: std::free(b->popup_text); b->popup_text = ResolveText(b, code, value); return true;
    case 0xE0: b->style = (b->style & 0xFFFF) | ((static_cast<uint32_t>(value) & 0xFFFF) << 16) | (b->style & 0x80000000u); return true;
    case 0xF0: b->style = (b->style & 0xFFFF0000u) | (static_cast<uint32_t>(value) & 0xFFFF); return true;
    }
    return false;
}

bool KnobGetProperty(ButtonRecord *b, uint32_t code, uintptr_t *out)
{
    uint32_t attr = code & propstr::kAttrMask;
    if (!attr) {
        switch (code & 0xF0) {
        case 0x00: *out = b->version; return true;
        case 0xB0: *out = reinterpret_cast<uintptr_t>(b->target); return true;
        case 0xE0: *out = b->style >> 16; return true;
        case 0xF0: *out = b->style & 0xFFFF; return true;
        }
        return false;
    }
    unsigned states = StatesOf(code);
    bool have = false;
    uintptr_t value = 0;
    for (int i = 0; i < 3; ++i) {
        if (!(states & (1u << i))) continue;
        const StateRecord &f = b->face[i];
        uintptr_t v;
        switch (attr) {
        case 1: v = reinterpret_cast<uintptr_t>(f.text); break;
        case 2: v = f.icon ? reinterpret_cast<uintptr_t>(f.icon) : reinterpret_cast<uintptr_t>(f.bitmap); break;
        case 3: v = reinterpret_cast<uintptr_t>(f.brush); break;
        case 4: v = f.text_colour; break;
        case 5: v = f.back_colour; break;
        case 6: v = f.brush_colour; break;
        case 7: v = f.text_pos; break;
        case 8: v = f.bitmap_pos; break;
        case 9: v = f.bitmap_colour; break;
        case 11: v = reinterpret_cast<uintptr_t>(f.font); break;
        case 14: v = reinterpret_cast<uintptr_t>(f.palette); break;
        case 15: v = f.back2_colour; break;
        default: return false;
        }
        if (attr == 1 && f.text && have && value && std::strcmp(f.text, reinterpret_cast<const char *>(value)) == 0) continue;
        if (have && v != value) return false;
        have = true;
        value = v;
    }
    bool colour = attr == 4 || attr == 5 || attr == 6 || attr == 9 || attr == 15;
    if (!have || (colour && value == kNoColour) || (!colour && attr != 7 && attr != 8 && !value)) return false;
    *out = value;
    return true;
}

void KnobResetProperty(ButtonRecord *b, uint32_t code)
{
    uint32_t attr = code & propstr::kAttrMask;
    if (!attr) return;
    unsigned states = StatesOf(code);
    for (int i = 0; i < 3; ++i) {
        if (!(states & (1u << i))) continue;
        StateRecord &f = b->face[i];
        switch (attr) {
        case 1: DropText(f); break;
        case 2: DropBitmap(b, i); break;
        case 3: DropBrush(b, i); break;
        case 4: f.text_colour = kNoColour; break;
        case 5: f.back_colour = kNoColour; break;
        case 6: f.brush_colour = kNoColour; break;
        case 7: f.text_pos = 0; break;
        case 8: f.bitmap_pos = 0; break;
        case 9: f.bitmap_colour = kNoColour; break;
        case 11: DropFont(b, i); break;
        case 14: DropPalette(b, i); break;
        case 15: f.back2_colour = kNoColour; break;
        }
    }
}

void KnobResetFaces(ButtonRecord *b, bool final_reset)
{
    for (int i = 0; i < 3; ++i) {
        StateRecord &f = b->face[i];
        DropText(f);
        DropBitmap(b, i);
        DropBrush(b, i);
        DropPalette(b, i);
        HFONT font = f.font;
        bool owned = f.font_owned, by_prop = f.font_by_property;
        /* A font set by WM_SETFONT survives a reset that is not final. */
        if (final_reset || by_prop) DropFont(b, i);
        uint32_t corners = f.corners;
        std::memset(&f, 0, sizeof f);
        if (!final_reset && !by_prop) {
            f.font = font;
            f.font_owned = owned;
        }
        f.corners = corners;
        f.text_colour = f.bitmap_colour = f.brush_colour = f.back_colour = f.back2_colour = kNoColour;
    }
}

bool KnobApplyString(ButtonRecord *b, const char *text)
{
    if (!text || !*text) return false;
    if (!propstr::HasSeparator(text))
        return KnobSetProperty(b, 0x171, reinterpret_cast<uintptr_t>(text), true);
    KnobResetFaces(b, false);
    bool ok = true;
    const char *p = text;
    propstr::Pair pair;
    while (propstr::ReadPair(p, propstr::Reader::Button, pair)) {
        uintptr_t value = pair.is_string ? reinterpret_cast<uintptr_t>(pair.text) : pair.number;
        /* The parsed copy is ours to free: the faces copy what they keep. */
        uint32_t code = pair.is_string ? (pair.code & ~propstr::kOwnMask) : pair.code;
        if (pair.is_string && !pair.text) {
            propstr::FreePair(pair);
            continue;  /* "" counts as no value */
        }
        if (!KnobSetProperty(b, code, value, true)) ok = false;
        propstr::FreePair(pair);
    }
    return ok;
}

bool KnobSetDefaultFont(WPARAM which, HFONT font)
{
    if (which) return false;
    if (!font) {
        g_default_font_set = false;
        return true;
    }
    if (!GetObjectA(font, sizeof g_default_font, &g_default_font)) return false;
    g_default_font_set = true;
    return true;
}

namespace {

/* How a value read from a button is handed to KNBM_SETPROP so that the
 * receiver copies objects instead of reading them as resource numbers. */
uint32_t CopyCode(uint32_t code)
{
    switch (code & propstr::kAttrMask) {
    case 1: return code | propstr::kString;
    case 3: case 11: return code | propstr::kGdi;
    case 14: return code | propstr::kOwnBorrow;
    case 0: return (code & 0xF0) == 0xB0 ? (code | propstr::kGdi) : code;
    }
    return code;
}

} // namespace

const char kDefaultCopyList[] = "0`F0`E0`B0`A0`90`80`70`60`50`40`30`20`10`F3`F4`F5`F6`F7`F8`F9`FA`FB`FC`FD`FE`FF";

void KnobCopyProperties(ButtonRecord *from, HWND to, ButtonRecord *direct, const char *list)
{
    if (!list) list = kDefaultCopyList;
    const char *p = list;
    while (*p) {
        char *end = nullptr;
        uint32_t code = static_cast<uint32_t>(std::strtoul(p, &end, 16)) & 0xFFFF;
        if (end == p) break;
        p = end;
        while (*p && *p != propstr::kSep) ++p;
        if (*p == propstr::kSep) ++p;
        uint32_t attr = code & propstr::kAttrMask;
        auto set = [&](uint32_t c, uintptr_t v) {
            if (!(c & propstr::kAttrMask) && (c & 0xF0) == 0 && v >= 0x10000) v >>= 16;  /* version as written */
            if (direct) KnobSetProperty(direct, CopyCode(c), v, false);
            else SendMessageA(to, KNBM_SETPROP, CopyCode(c), static_cast<LPARAM>(v));
        };
        if (!attr) {
            uintptr_t v = 0;
            if (KnobGetProperty(from, code, &v)) set(code, v);
            else if (direct) KnobResetProperty(direct, code);
            else SendMessageA(to, KNBM_RESETPROP, code, 0);
            continue;
        }
        unsigned states = (code >> 4) & 7;
        if (!states) states = 7;
        for (int i = 0; i < 3; ++i) {
            if (!(states & (1u << i))) continue;
            uint32_t one = attr | (0x10u << i);
            uintptr_t v = 0;
            if (KnobGetProperty(from, one, &v)) set(one, v);
            else if (direct) KnobResetProperty(direct, one);
            else SendMessageA(to, KNBM_RESETPROP, one, 0);
        }
    }
    InvalidateRect(to, nullptr, FALSE);
}
