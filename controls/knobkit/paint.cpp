/* Painting a button's face: background from the parent, outline, bevel,
 * fill, brush overlay, text and bitmap by their position words, focus mark. */
#include "internal.h"
#include "knobset.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

const COLORREF kMarker = 0x9107FD;

struct Box {
    int x, y, w, h;
};

int Channel(COLORREF c, int shift) { return static_cast<int>((c >> shift) & 0xFF); }

int Offset(int size, int off, bool pixels)
{
    return pixels ? off : (size * off) >> 7;  /* arithmetic shift: rounds toward minus infinity */
}

int Relief(uint32_t colour)
{
    if (colour == kNoColour) return 0;
    return static_cast<int>(((colour >> 24) & 0xF) % 11);
}

} // namespace

LookInfo KnobLook(uint32_t look)
{
    switch (look & KNBS_LOOKMASK) {
    case KNBS_TABLOOK: return {0, 1, -1, false};
    case KNBS_OLDWINDOWS: return {2, 2, -1, true};
    case KNBS_CHICAGO: return {0, 1, -1, false};
    case KNBS_RAISED: return {0, 1, -1, false};
    case KNBS_SUNKEN: return {0, -1, -1, false};
    case KNBS_FLAT: return {0, 0, 0, false};
    case KNBS_BORDER: return {1, 0, 0, false};
    case KNBS_SEMIFLAT: return {2, 0, -1, false};
    case KNBS_BEVELED: return {1, 2, -1, true};
    case KNBS_WINDOWSISH: return {2, 2, -1, true};
    case KNBS_SHADOW: return {1, 0, 0, false};
    case KNBS_TECHNOID: return {0, 0, 0, false};
    }
    return {2, 2, -1, true};
}

COLORREF KnobHighlight(COLORREF c)
{
    int ch[3];
    for (int i = 0; i < 3; ++i) {
        int v = Channel(c, 8 * i);
        ch[i] = v >= 158 ? 255 : v + 97;
    }
    return RGB(ch[0], ch[1], ch[2]);
}

COLORREF KnobShadow(COLORREF c)
{
    int ch[3];
    for (int i = 0; i < 3; ++i) {
        int v = Channel(c, 8 * i);
        ch[i] = v <= 65 ? 0 : v - 65;
    }
    return RGB(ch[0], ch[1], ch[2]);
}

uint32_t KnobPaintKey(const ButtonRecord *b)
{
    uint32_t look = b->style & KNBS_LOOKMASK;
    bool hot = (b->style & 0x8000000) != 0;
    if (hot && !(b->state & (KNBST_DISABLED | KNBST_MOUSEOVER | KNBST_CHECKED))) look = KNBS_FLAT;
    uint32_t key = look;
    if ((b->state & KNBST_FOCUS) && (b->style & KNBS_SHOWFOCUS)) key |= 0x1;
    if (b->state & KNBST_SELECTED) key |= 0x2;
    if ((b->state & KNBST_DEFAULT) && (b->style & KNBS_SHOWDEFAULT)) key |= 0x4;
    if (b->state & KNBST_DISABLED) key |= 0x10;
    if (b->style & KNBS_EX_TRANSPARENT) key |= 0x40;
    if (b->style & KNBS_EX_FASTDRAW) key |= 0x80;
    key |= static_cast<uint32_t>(KnobFaceIndex(b) + 1) << 24;
    return key;
}

static int Border(uint32_t key)
{
    LookInfo l = KnobLook(key & KNBS_LOOKMASK);
    int n = (key & 0x2) ? l.bevel_pressed : l.bevel_up;
    return (l.outline ? 1 : 0) + (n < 0 ? 1 : n) + ((key & 0x4) ? 1 : 0);
}

void KnobContentRect(const ButtonRecord *b, RECT *rc)
{
    GetClientRect(b->self, rc);
    int d = Border(KnobPaintKey(b));
    InflateRect(rc, -d, -d);
}

Placed KnobPlace(const RECT &r, SIZE text, uint32_t tp, SIZE bmp, uint32_t bp, bool has_text, bool has_bitmap)
{
    const int W = r.right - r.left, H = r.bottom - r.top;
    auto place_alone = [&](SIZE sz, uint32_t pos) {
        int code = static_cast<int>(pos & 0xF), hz = code & 3, v = code & 0xC;
        bool px = (pos & 0x100000) != 0;
        int ox = Offset(W, static_cast<int8_t>((pos >> 4) & 0xFF), px);
        int oy = Offset(H, static_cast<int8_t>((pos >> 12) & 0xFF), px);
        POINT p;
        p.x = hz == 1 ? r.left + ox : hz == 2 ? r.right - sz.cx - ox : (r.right - sz.cx + r.left) / 2 + ox;
        p.y = v == 4 ? r.top + oy : v == 8 ? r.bottom - sz.cy - oy : (r.bottom - sz.cy + r.top) / 2 + oy;
        return p;
    };
    auto place_relative = [&](SIZE sz, uint32_t pos, SIZE anchor) {
        int code = static_cast<int>(pos & 0xF), hz = code & 3, v = code & 0xC;
        bool px = (pos & 0x100000) != 0;
        int ox = Offset(W, static_cast<int8_t>((pos >> 4) & 0xFF), px);
        int oy = Offset(H, static_cast<int8_t>((pos >> 12) & 0xFF), px);
        POINT p;
        p.x = hz == 1 ? -(sz.cx + ox) : hz == 2 ? anchor.cx + ox : (anchor.cx - sz.cx) / 2 + ox;
        p.y = v == 4 ? oy - sz.cy : v == 8 ? anchor.cy + oy : (anchor.cy - sz.cy) / 2 + oy;
        return p;
    };
    bool text_rel = has_text && has_bitmap && (tp & 0x200000);
    bool bmp_rel = has_text && has_bitmap && !text_rel && (bp & 0x200000);
    bool pair = has_text && has_bitmap && ((tp | bp) & 0x400000);
    Placed out = {};
    if (!text_rel) out.text = place_alone(text, tp);
    else out.text = place_relative(text, tp, bmp);
    if (!bmp_rel) out.bitmap = place_alone(bmp, bp);
    else out.bitmap = place_relative(bmp, bp, text);

    if (pair) {
        /* The anchor moves so that both boxes together follow its alignment. */
        POINT *anchor = text_rel ? &out.bitmap : &out.text;
        SIZE asz = text_rel ? bmp : text;
        SIZE dsz = text_rel ? text : bmp;
        uint32_t apos = text_rel ? bp : tp;
        POINT d;
        if (text_rel) d = out.text;
        else if (bmp_rel) d = out.bitmap;
        else d = {out.bitmap.x - out.text.x, out.bitmap.y - out.text.y};
        int hz = static_cast<int>(apos & 3), v = static_cast<int>(apos & 0xC);
        if (hz == 1) {
            if (anchor->x + d.x < r.left) anchor->x += r.left - (anchor->x + d.x);
        } else if (hz == 2) {
            int e = dsz.cx - r.right + anchor->x + d.x;
            if (e > 0) anchor->x -= e;
        } else if (hz == 0) {
            anchor->x += (std::max<int>(-d.x, 0) - std::max<int>(d.x + dsz.cx - asz.cx, 0)) / 2;
        }
        if (v == 4) {
            if (anchor->y + d.y < r.top) anchor->y += r.top - (anchor->y + d.y);
        } else if (v == 8) {
            int e = dsz.cy - r.bottom + anchor->y + d.y;
            if (e > 0) anchor->y -= e;
        } else if (v == 0) {
            anchor->y += (std::max<int>(-d.y, 0) - std::max<int>(d.y + dsz.cy - asz.cy, 0)) / 2;
        }
        if (!text_rel && !bmp_rel) out.bitmap = {anchor->x + d.x, anchor->y + d.y};
    }
    if (text_rel) {
        out.text.x += out.bitmap.x;
        out.text.y += out.bitmap.y;
    } else if (bmp_rel) {
        out.bitmap.x += out.text.x;
        out.bitmap.y += out.text.y;
    }
    return out;
}

namespace {

void Line(HDC dc, int x0, int y0, int x1, int y1, COLORREF c)
{
    HPEN pen = CreatePen(PS_SOLID, 1, c);
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, x0, y0, nullptr);
    LineTo(dc, x1, y1);
    SelectObject(dc, old);
    DeleteObject(pen);
}

void Frame(HDC dc, RECT &r, COLORREF c, bool rounded, COLORREF back)
{
    HBRUSH br = CreateSolidBrush(c);
    FrameRect(dc, &r, br);
    DeleteObject(br);
    if (rounded) {
        SetPixel(dc, r.left, r.top, back);
        SetPixel(dc, r.right - 1, r.top, back);
        SetPixel(dc, r.left, r.bottom - 1, back);
        SetPixel(dc, r.right - 1, r.bottom - 1, back);
    }
    InflateRect(&r, -1, -1);
}

/* n > 0 raised lines, -1 one sunken line. */
void Bevel(HDC dc, RECT &r, int n, COLORREF hi, COLORREF sh)
{
    int lines = n < 0 ? 1 : n;
    COLORREF tl = n < 0 ? sh : hi, br = n < 0 ? hi : sh;
    for (int i = 0; i < lines; ++i) {
        Line(dc, r.left, r.bottom - 1, r.left, r.top, tl);
        Line(dc, r.left, r.top, r.right, r.top, tl);
        Line(dc, r.right - 1, r.top + 1, r.right - 1, r.bottom, br);
        Line(dc, r.left + 1, r.bottom - 1, r.right, r.bottom - 1, br);
        InflateRect(&r, -1, -1);
    }
}

/* Paints colour where the mask bitmap (same size as r) is 0, keeps the face where it is 1. */
void PaintThroughMask(HDC dc, const RECT &r, HDC mask_dc, COLORREF colour)
{
    COLORREF old_text = SetTextColor(dc, RGB(0, 0, 0));
    COLORREF old_bk = SetBkColor(dc, RGB(255, 255, 255));
    HBRUSH brush = CreateSolidBrush(colour);
    HGDIOBJ old = SelectObject(dc, brush);
    BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, mask_dc, 0, 0, 0x00B8074A);
    SelectObject(dc, old);
    DeleteObject(brush);
    SetTextColor(dc, old_text);
    SetBkColor(dc, old_bk);
}

SIZE MeasureText(HDC dc, const char *text, uint32_t pos, int max_width)
{
    SIZE sz = {0, 0};
    if (!text) return sz;
    int per_line = static_cast<int>((pos >> 24) & 0xFF);
    UINT prefix = std::strcmp(text, "&") == 0 ? DT_NOPREFIX : 0;
    RECT r = {0, 0, 0, 0};
    if (per_line > 0) {
        TEXTMETRICA tm;
        GetTextMetricsA(dc, &tm);
        r.right = std::min<int>(per_line * tm.tmAveCharWidth, max_width);
        DrawTextA(dc, text, -1, &r, DT_CALCRECT | DT_WORDBREAK | prefix);
    } else {
        DrawTextA(dc, text, -1, &r, DT_CALCRECT | DT_SINGLELINE | prefix);
    }
    sz.cx = r.right - r.left;
    sz.cy = r.bottom - r.top;
    if (pos & 0x800000) std::swap(sz.cx, sz.cy);
    return sz;
}

void DrawTextAt(HDC dc, const char *text, uint32_t pos, POINT at, SIZE sz, COLORREF colour)
{
    SetTextColor(dc, colour);
    SetBkMode(dc, TRANSPARENT);
    UINT prefix = std::strcmp(text, "&") == 0 ? DT_NOPREFIX : 0;
    if (pos & 0x800000) {
        LOGFONTA lf;
        HFONT cur = static_cast<HFONT>(GetCurrentObject(dc, OBJ_FONT));
        GetObjectA(cur, sizeof lf, &lf);
        lf.lfEscapement = lf.lfOrientation = 900;
        HFONT turned = CreateFontIndirectA(&lf);
        HGDIOBJ old = SelectObject(dc, turned);
        TextOutA(dc, at.x, at.y + sz.cy, text, static_cast<int>(std::strlen(text)));
        SelectObject(dc, old);
        DeleteObject(turned);
        return;
    }
    RECT r = {at.x, at.y, at.x + sz.cx, at.y + sz.cy};
    int per_line = static_cast<int>((pos >> 24) & 0xFF);
    int h = static_cast<int>(pos & 3);
    UINT align = h == 2 ? DT_RIGHT : h == 1 ? DT_LEFT : DT_CENTER;
    DrawTextA(dc, text, -1, &r, align | prefix | (per_line > 0 ? DT_WORDBREAK : DT_SINGLELINE) | DT_NOCLIP);
}

} // namespace

void KnobPaint(ButtonRecord *b, HDC target, bool offscreen)
{
    RECT client;
    GetClientRect(b->self, &client);
    uint32_t key = KnobPaintKey(b);
    b->paint_key = key;
    const StateRecord &f = b->face[KnobFaceIndex(b)];
    if (key & 0xC0) offscreen = false;

    HDC dc = target;
    HBITMAP off = nullptr;
    HGDIOBJ old_off = nullptr;
    if (offscreen) {
        dc = CreateCompatibleDC(target);
        off = dc ? CreateCompatibleBitmap(target, std::max<LONG>(client.right, 1), std::max<LONG>(client.bottom, 1)) : nullptr;
        if (!off) {
            if (dc) DeleteDC(dc);
            dc = target;
            offscreen = false;
        } else {
            old_off = SelectObject(dc, off);
        }
    }
    HPALETTE old_pal = nullptr;
    if (f.palette) {
        old_pal = SelectPalette(dc, f.palette, TRUE);
        RealizePalette(dc);
    }

    /* Background from the notification target. */
    SetBkColor(dc, kMarker);
    HWND to = b->target ? b->target : GetParent(b->self);
    HBRUSH parent_brush = to ? reinterpret_cast<HBRUSH>(SendMessageA(to, WM_CTLCOLORBTN, reinterpret_cast<WPARAM>(dc),
                                                                     reinterpret_cast<LPARAM>(b->self)))
                             : nullptr;
    COLORREF parent_colour = GetBkColor(dc);
    if (parent_colour == kMarker) parent_colour = GetSysColor(COLOR_BTNFACE);
    if (!parent_brush) parent_brush = GetSysColorBrush(COLOR_BTNFACE);
    bool transparent = (key & 0x40) != 0;
    COLORREF back = f.back_colour != kNoColour ? (f.back_colour & 0xFFFFFF) : parent_colour;

    RECT r = client;
    if (!transparent) FillRect(dc, &r, parent_brush);

    uint32_t look = key & KNBS_LOOKMASK;
    LookInfo li = KnobLook(look);
    bool pressed = (key & 0x2) != 0;
    if (look == KNBS_SHADOW) {
        if (!pressed) {
            Line(dc, r.left + 1, r.bottom - 1, r.right, r.bottom - 1, GetSysColor(COLOR_BTNSHADOW));
            Line(dc, r.right - 1, r.top + 1, r.right - 1, r.bottom, GetSysColor(COLOR_BTNSHADOW));
            SetPixel(dc, r.right - 1, r.top, back);
            SetPixel(dc, r.left, r.bottom - 1, back);
            r.right -= 1;
            r.bottom -= 1;
        } else {
            Line(dc, r.left, r.top, r.right, r.top, back);
            Line(dc, r.left, r.top, r.left, r.bottom, back);
            OffsetRect(&r, 1, 1);
            r.right -= 1;
            r.bottom -= 1;
        }
    }
    if (li.outline) Frame(dc, r, GetSysColor(COLOR_WINDOWFRAME), li.outline == 2, transparent ? parent_colour : parent_colour);
    if (key & 0x4) Frame(dc, r, GetSysColor(COLOR_WINDOWFRAME), false, 0);

    int n = pressed ? li.bevel_pressed : li.bevel_up;
    COLORREF hi = f.back_colour != kNoColour ? KnobHighlight(back) : GetSysColor(COLOR_BTNHIGHLIGHT);
    COLORREF sh = f.back_colour != kNoColour ? KnobShadow(back) : GetSysColor(COLOR_BTNSHADOW);
    if (look == KNBS_CHICAGO) {
        if (pressed) {
            Line(dc, r.left, r.bottom - 1, r.left, r.top, 0);
            Line(dc, r.left, r.top, r.right, r.top, 0);
            r.left += 1;
            r.top += 1;
        } else {
            Line(dc, r.right - 1, r.top, r.right - 1, r.bottom, 0);
            Line(dc, r.left, r.bottom - 1, r.right, r.bottom - 1, 0);
            r.right -= 1;
            r.bottom -= 1;
        }
    }
    if (look == KNBS_TABLOOK) {
        /* Open at the bottom: highlight left and top, shadow right. A top
         * corner that no neighbour covers is cut by one pixel; a covered one
         * is square, so the tab joins the button beside it. */
        const bool join_left = (f.corners & 0x1) != 0, join_right = (f.corners & 0x2) != 0;
        Line(dc, r.left, r.bottom, r.left, join_left ? r.top - 1 : r.top, hi);
        Line(dc, join_left ? r.left : r.left + 1, r.top, join_right ? r.right : r.right - 1, r.top, hi);
        Line(dc, r.right - 1, join_right ? r.top : r.top + 1, r.right - 1, r.bottom, sh);
        r.left += 1;
        r.top += 1;
        r.right -= 1;
    } else if (n) {
        Bevel(dc, r, n, hi, sh);
    }

    /* Fill. */
    RECT inner = r;
    if (f.back_colour != kNoColour || !transparent) {
        HBRUSH fill = f.back_colour != kNoColour ? CreateSolidBrush(back) : nullptr;
        FillRect(dc, &inner, fill ? fill : parent_brush);
        if (fill) DeleteObject(fill);
    }
    if (f.back2_colour != kNoColour) {
        int split = static_cast<int>((f.back2_colour >> 24) & 0x7F);
        RECT part = inner;
        if (f.back2_colour & 0x80000000u) part.right = inner.left + (inner.right - inner.left) * split / 127;
        else part.top = inner.bottom - (inner.bottom - inner.top) * split / 127;
        HBRUSH b2 = CreateSolidBrush(f.back2_colour & 0xFFFFFF);
        FillRect(dc, &part, b2);
        DeleteObject(b2);
    }
    if (li.inset && pressed) {
        /* The content sits where it would when up, moved 2 pixels right and
         * down, whatever the thinner pressed bevel leaves free. */
        int up_border = (li.outline ? 1 : 0) + (li.bevel_up < 0 ? 1 : li.bevel_up) + ((key & 0x4) ? 1 : 0);
        RECT up = client;
        InflateRect(&up, -up_border, -up_border);
        OffsetRect(&up, 2, 2);
        inner = up;
    }

    /* Brush overlay: only the pattern's lines take the brush colour. */
    if (f.brush && inner.right > inner.left && inner.bottom > inner.top) {
        int w = inner.right - inner.left, h = inner.bottom - inner.top;
        HDC mdc = CreateCompatibleDC(dc);
        HBITMAP mask = CreateBitmap(w, h, 1, 1, nullptr);
        HGDIOBJ om = SelectObject(mdc, mask);
        SetTextColor(mdc, RGB(0, 0, 0));
        SetBkColor(mdc, RGB(255, 255, 255));
        RECT mr = {0, 0, w, h};
        FillRect(mdc, &mr, f.brush);
        PaintThroughMask(dc, inner, mdc, f.brush_colour != kNoColour ? (f.brush_colour & 0xFFFFFF) : 0);
        SelectObject(mdc, om);
        DeleteObject(mask);
        DeleteDC(mdc);
    }

    /* Content. */
    HRGN clip = CreateRectRgnIndirect(&client);
    SelectClipRgn(dc, clip);
    DeleteObject(clip);
    HFONT font = f.font ? f.font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    HGDIOBJ old_font = SelectObject(dc, font);
    bool disabled = (key & 0x10) != 0;
    COLORREF text_colour = f.text_colour != kNoColour ? (f.text_colour & 0xFFFFFF) : GetSysColor(COLOR_BTNTEXT);
    bool dither = false;
    if (disabled) {
        COLORREF grey = GetSysColor(COLOR_GRAYTEXT);
        bool uncoloured = f.text_colour == kNoColour && f.back_colour == kNoColour;
        if (grey == 0 || (uncoloured && grey == GetSysColor(COLOR_BTNFACE))) dither = true;
        else text_colour = grey;
    }
    SIZE tsz = MeasureText(dc, f.text, f.text_pos, inner.right - inner.left);
    int te = Relief(f.text_colour);
    if (te & 3) tsz.cx += 1;
    if (te & 12) tsz.cy += 1;
    SIZE bsz = {0, 0};
    BITMAP bm = {};
    int cols = 1, rows = 1;
    if (f.bitmap && GetObjectA(f.bitmap, sizeof bm, &bm)) {
        cols = static_cast<int>((f.cell >> 12) & 0xF) + 1;
        rows = static_cast<int>((f.cell >> 8) & 0xF) + 1;
        bsz.cx = bm.bmWidth / cols;
        bsz.cy = bm.bmHeight / rows;
    } else if (f.icon) {
        bsz.cx = GetSystemMetrics(SM_CXICON);
        bsz.cy = GetSystemMetrics(SM_CYICON);
    }
    Placed at = KnobPlace(inner, tsz, f.text_pos, bsz, f.bitmap_pos, f.text != nullptr, bsz.cx > 0);
    uint32_t cell = f.cell;
    if (b->anim_active) {
        at.text = b->anim_text;
        at.bitmap = b->anim_bitmap;
        cell = b->anim_cell;
    }

    if (bsz.cx > 0) {
        if (f.bitmap) {
            HDC bdc = CreateCompatibleDC(dc);
            HGDIOBJ ob = SelectObject(bdc, f.bitmap);
            int sx = static_cast<int>((cell >> 4) & 0xF) * bsz.cx, sy = static_cast<int>(cell & 0xF) * bsz.cy;
            if (bm.bmBitsPixel == 1) {
                COLORREF bc = f.bitmap_colour != kNoColour ? (f.bitmap_colour & 0xFFFFFF) : text_colour;
                HDC mdc = CreateCompatibleDC(dc);
                HBITMAP mask = CreateBitmap(bsz.cx, bsz.cy, 1, 1, nullptr);
                HGDIOBJ om = SelectObject(mdc, mask);
                BitBlt(mdc, 0, 0, bsz.cx, bsz.cy, bdc, sx, sy, SRCCOPY);
                RECT br = {at.bitmap.x, at.bitmap.y, at.bitmap.x + bsz.cx, at.bitmap.y + bsz.cy};
                PaintThroughMask(dc, br, mdc, bc);
                SelectObject(mdc, om);
                DeleteObject(mask);
                DeleteDC(mdc);
            } else {
                BitBlt(dc, at.bitmap.x, at.bitmap.y, bsz.cx, bsz.cy, bdc, sx, sy, SRCCOPY);
            }
            SelectObject(bdc, ob);
            DeleteDC(bdc);
        } else {
            DrawIconEx(dc, at.bitmap.x, at.bitmap.y, f.icon, bsz.cx, bsz.cy, 0, nullptr, DI_NORMAL);
        }
    }
    if (f.text) {
        if (dither) {
            /* Every other pixel of the text reaches the face. */
            int w = std::max<LONG>(tsz.cx, 1), h = std::max<LONG>(tsz.cy, 1);
            HDC mdc = CreateCompatibleDC(dc);
            HBITMAP mask = CreateBitmap(w, h, 1, 1, nullptr);
            HGDIOBJ om = SelectObject(mdc, mask);
            HGDIOBJ of = SelectObject(mdc, font);
            RECT mr = {0, 0, w, h};
            FillRect(mdc, &mr, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
            DrawTextAt(mdc, f.text, f.text_pos, {0, 0}, tsz, RGB(0, 0, 0));
            for (int y = 0; y < h; ++y)
                for (int x = (y & 1); x < w; x += 2) SetPixel(mdc, x, y, RGB(255, 255, 255));
            RECT tr = {at.text.x, at.text.y, at.text.x + w, at.text.y + h};
            PaintThroughMask(dc, tr, mdc, GetSysColor(COLOR_BTNSHADOW));
            SelectObject(mdc, of);
            SelectObject(mdc, om);
            DeleteObject(mask);
            DeleteDC(mdc);
        } else {
            POINT p = at.text;
            if (te) {
                POINT copy = p;
                if (te & 1) p.x += 1; else if (te & 2) copy.x += 1;
                if (te & 4) p.y += 1; else if (te & 8) copy.y += 1;
                COLORREF relief = (f.text_colour & 0x10000000) ? RGB(255, 255, 255) : RGB(0, 0, 0);
                DrawTextAt(dc, f.text, f.text_pos, copy, tsz, relief);
            }
            DrawTextAt(dc, f.text, f.text_pos, p, tsz, text_colour);
        }
    }
    SelectObject(dc, old_font);
    SelectClipRgn(dc, nullptr);

    if (key & 0x1) {
        RECT fr = client;
        fr.left += 2;
        fr.top += 2;
        fr.right -= 1;
        fr.bottom -= 1;
        SetTextColor(dc, 0xC0C0C0);
        SetBkColor(dc, 0);
        DrawFocusRect(dc, &fr);
    }
    if (old_pal) SelectPalette(dc, old_pal, TRUE);
    if (offscreen) {
        BitBlt(target, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
        SelectObject(dc, old_off);
        DeleteObject(off);
        DeleteDC(dc);
    }
}

Placed KnobLayout(ButtonRecord *b, HDC dc, uint32_t tp, uint32_t bp, SIZE *text, SIZE *bitmap)
{
    const StateRecord &f = b->face[KnobFaceIndex(b)];
    RECT inner;
    KnobContentRect(b, &inner);
    HGDIOBJ old = SelectObject(dc, f.font ? f.font : GetStockObject(DEFAULT_GUI_FONT));
    SIZE tsz = MeasureText(dc, f.text, tp, inner.right - inner.left);
    SelectObject(dc, old);
    SIZE bsz = {0, 0};
    BITMAP bm;
    if (f.bitmap && GetObjectA(f.bitmap, sizeof bm, &bm)) {
        bsz.cx = bm.bmWidth / (static_cast<int>((f.cell >> 12) & 0xF) + 1);
        bsz.cy = bm.bmHeight / (static_cast<int>((f.cell >> 8) & 0xF) + 1);
    } else if (f.icon) {
        bsz.cx = GetSystemMetrics(SM_CXICON);
        bsz.cy = GetSystemMetrics(SM_CYICON);
    }
    if (text) *text = tsz;
    if (bitmap) *bitmap = bsz;
    return KnobPlace(inner, tsz, tp, bsz, bp, f.text != nullptr, bsz.cx > 0);
}

namespace {

/* A start or end position word of one element: the asked directions
 * replace the alignment, offsets of 127/128 when asked, no relative
 * placement or pairing. */
uint32_t MotionWord(uint32_t own, bool horizontal, bool vertical, bool from_right, bool from_bottom, bool offset,
                    bool end)
{
    uint32_t w = own & 0xFF800000u & ~0x400000u;  /* characters per line and rotation stay */
    uint32_t h = 0, v = 0;
    if (horizontal) h = (from_right != end) ? 2 : 1;
    if (vertical) v = (from_bottom != end) ? 8 : 4;
    w |= h | v;
    if (offset) w |= (127u << 4) | (127u << 12);
    return w;
}

int Steps(POINT a, POINT b)
{
    int dx = std::abs(static_cast<int>(b.x - a.x)), dy = std::abs(static_cast<int>(b.y - a.y));
    return std::max(dx, dy);
}

POINT Lerp(POINT a, POINT b, int k, int steps)
{
    if (steps <= 0) return b;
    return {a.x + k * (b.x - a.x) / steps, a.y + k * (b.y - a.y) / steps};
}

} // namespace

LRESULT KnobAnimate(ButtonRecord *b, WPARAM wp, LPARAM lp)
{
    const StateRecord &f = b->face[KnobFaceIndex(b)];
    int ts = static_cast<int>(lp & 0xF), bs = static_cast<int>((lp >> 8) & 0xF), cs = static_cast<int>((lp >> 16) & 0xF);
    bool cell_repeat = (lp & (1 << 25)) != 0;
    int cols = static_cast<int>((f.cell >> 12) & 0xF) + 1, rows = static_cast<int>((f.cell >> 8) & 0xF) + 1;
    bool grid = f.bitmap && cols * rows > 1;
    bool has_bitmap = f.bitmap || f.icon;
    if (!has_bitmap && !(f.text && ts)) return 0;
    if (has_bitmap && !((grid && (cs || bs)) || (f.text && ts) || bs)) return 0;

    HDC dc = GetDC(b->self);
    uint32_t t0 = MotionWord(f.text_pos, wp & 0x1, wp & 0x2, wp & 0x20, wp & 0x10, wp & 0x4, false);
    uint32_t t1 = MotionWord(f.text_pos, wp & 0x1, wp & 0x2, wp & 0x20, wp & 0x10, wp & 0x8, true);
    uint32_t b0 = MotionWord(f.bitmap_pos, wp & 0x100, wp & 0x200, wp & 0x2000, wp & 0x1000, wp & 0x400, false);
    uint32_t b1 = MotionWord(f.bitmap_pos, wp & 0x100, wp & 0x200, wp & 0x2000, wp & 0x1000, wp & 0x800, true);
    Placed start = KnobLayout(b, dc, t0, b0, nullptr, nullptr);
    Placed end = KnobLayout(b, dc, t1, b1, nullptr, nullptr);

    int cell_steps = grid ? cols * rows : 0;
    int text_steps = f.text ? Steps(start.text, end.text) : 0;
    int bmp_steps = has_bitmap ? Steps(start.bitmap, end.bitmap) : 0;
    bool run_text = f.text && ts, run_bmp = has_bitmap && bs, run_cell = grid && cs;
    DWORD duration = 0;
    if (run_cell) duration = std::max<DWORD>(duration, static_cast<DWORD>(cell_steps * 1000 / cs));
    if (run_text) duration = std::max<DWORD>(duration, static_cast<DWORD>(text_steps * 1000 / ts));
    if (run_bmp) duration = std::max<DWORD>(duration, static_cast<DWORD>(bmp_steps * 1000 / bs));

    b->anim_active = true;
    b->anim_text = run_text ? start.text : end.text;
    b->anim_bitmap = run_bmp ? start.bitmap : end.bitmap;
    b->anim_cell = f.cell;
    int last_t = -1, last_b = -1, last_c = -1;
    DWORD begin = GetTickCount(), elapsed = 1;
    while (duration > 1 && elapsed < duration) {
        bool stepped = false;
        auto due = [&](int speed, int steps, bool repeat) {
            int k = static_cast<int>(static_cast<long long>(elapsed) * speed / 1000);
            if (steps <= 0) return 0;
            return repeat ? k % steps : std::min(k, steps);
        };
        if (run_text) {
            int k = due(ts, text_steps, (wp & 0x40) != 0);
            if (k != last_t) { b->anim_text = Lerp(start.text, end.text, k, text_steps); last_t = k; stepped = true; }
        }
        if (run_bmp) {
            int k = due(bs, bmp_steps, (wp & 0x4000) != 0);
            if (k != last_b) { b->anim_bitmap = Lerp(start.bitmap, end.bitmap, k, bmp_steps); last_b = k; stepped = true; }
        }
        if (run_cell) {
            int k = due(cs, cell_steps, cell_repeat);
            if (k >= cell_steps) k = cell_steps - 1;
            if (k != last_c) {
                b->anim_cell = (f.cell & 0xFF00) | (static_cast<uint32_t>(k % cols) << 4) | static_cast<uint32_t>(k / cols);
                last_c = k;
                stepped = true;
            }
        }
        if (stepped) KnobPaint(b, dc, true);
        else Sleep(2);
        elapsed = GetTickCount() - begin;
    }
    b->anim_active = false;
    KnobPaint(b, dc, true);
    ReleaseDC(b->self, dc);
    return 0;
}
