#include "title_render.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "../../engine/src/title_font_bounds.h"
#include "cga_clip.h"
#include "title_object.h"

namespace titlebox {

namespace {

// A top-left-origin view of a bottom-up 32-bit DIB section.
struct Dib {
    HDC dc = nullptr;
    HBITMAP bmp = nullptr, old = nullptr;
    uint32_t* bits = nullptr;
    int w = 0, h = 0;
    Dib(HDC ref, int width, int height) : w(width), h(height)
    {
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = width;
        bi.bmiHeader.biHeight = height;  // bottom-up
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        dc = CreateCompatibleDC(ref);
        void* p = nullptr;
        bmp = CreateDIBSection(ref, &bi, DIB_RGB_COLORS, &p, nullptr, 0);
        bits = static_cast<uint32_t*>(p);
        if (bmp) old = static_cast<HBITMAP>(SelectObject(dc, bmp));
    }
    ~Dib()
    {
        if (dc) {
            if (old) SelectObject(dc, old);
            DeleteDC(dc);
        }
        if (bmp) DeleteObject(bmp);
    }
    bool ok() const { return bits != nullptr; }
    // Pixel at (x, y) with y from the top.
    uint32_t& At(int x, int y) { return bits[size_t(h - 1 - y) * w + x]; }
};

uint32_t Bgr(COLORREF c)
{
    return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

// Copies the picture (bottom-up, its own size) stretched to w x h with
// HALFTONE stretching, its top-left at (x, y) of the DIB in dc.
void StretchPicture(const TitleObject& o, HDC dc, int w, int h, int x = 0, int y = 0)
{
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = o.picture.bmWidth;
    bi.bmiHeader.biHeight = o.picture.bmHeight;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    StretchDIBits(dc, x, y, w, h, 0, 0, o.picture.bmWidth, o.picture.bmHeight, o.pixels.data(), &bi,
                  DIB_RGB_COLORS, SRCCOPY);
}

bool PictureOk(const TitleObject& o)
{
    return o.picture.bmWidth > 0 && o.picture.bmHeight > 0 &&
           o.pixels.size() >= size_t(o.picture.bmWidth) * o.picture.bmHeight;
}

void Fill(HDC dc, int l, int t, int r, int b, COLORREF c)
{
    HBRUSH br = CreateSolidBrush(c);
    RECT rc = {l, t, r, b};
    FillRect(dc, &rc, br);
    DeleteObject(br);
}

// Pictures up to this many pixels on the page are stretched whole.
const int64_t kWholePicturePixels = int64_t(1) << 22;

// The part of (l, t) w x h inside dc's clip box (its logical coordinates:
// the output page while a page is drawn); false when nothing of it shows.
// Memory bitmaps are made for this part only, so an object far larger than
// the page costs no more than the page.
bool VisiblePart(HDC dc, int64_t l, int64_t t, int64_t w, int64_t h, RECT* out)
{
    RECT clip;
    if (w <= 0 || h <= 0 || GetClipBox(dc, &clip) == ERROR) return false;
    const int64_t L = std::max<int64_t>(l, clip.left), T = std::max<int64_t>(t, clip.top);
    const int64_t R = std::min<int64_t>(l + w, clip.right), B = std::min<int64_t>(t + h, clip.bottom);
    if (L >= R || T >= B) return false;
    *out = RECT{LONG(L), LONG(T), LONG(R), LONG(B)};
    return true;
}

// The whole w x h source: a source one pixel narrower and lower would drop
// the picture's last column and row and stretch the rest over them.
void BlendConstant(HDC dst, int x, int y, int w, int h, HDC src, int alpha)
{
    BLENDFUNCTION bf = {AC_SRC_OVER, 0, BYTE(alpha), 0};
    GdiAlphaBlend(dst, x, y, w, h, src, 0, 0, w, h, bf);
}

}  // namespace

ScaledRect ScaleRect(const TitleObject& o)
{
    const RECT r = o.tracker ? o.tracker->rect : RECT{0, 0, 0, 0};
    const double fh = o.tracker ? o.tracker->hFactor : o.hFactor, fv = o.tracker ? o.tracker->vFactor : o.vFactor;
    ScaledRect s;
    s.L = Scaled(r.left, fh);
    s.T = Scaled(r.top, fv);
    s.R = Scaled(r.right, fh);
    s.B = Scaled(r.bottom, fv);
    s.W = Scaled(r.right - r.left, fh);
    s.H = Scaled(r.bottom - r.top, fv);
    return s;
}

HFONT MakeTitleFont(const TitleObject& o, float factor)
{
    LOGFONTA lf = o.font;
    if (factor != 1.0f) lf.lfHeight = FontHeight(o.fontSize, factor);
    // A size set from outside (SetTextFontSize, the Settings) is drawn
    // bounded by the page, as a loaded record's is.
    TitleFontBounds(lf.lfHeight, lf.lfWidth, o.pageW, o.pageH, &lf.lfHeight, &lf.lfWidth);
    return CreateFontIndirectA(&lf);
}

void DrawTextLines(HDC dc, const TitleObject& o, const std::string& text, RECT r)
{
    TEXTMETRICA tm = {};
    GetTextMetricsA(dc, &tm);
    const int p = tm.tmHeight + tm.tmExternalLeading;
    // Lines at line feeds; a carriage return before the feed is dropped
    // (a lone line feed keeps the character before it).
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n') {
            size_t end = i;
            if (end > start && text[end - 1] == '\r') --end;
            lines.push_back(text.substr(start, end - start));
            start = i + 1;
        }
    lines.push_back(text.substr(start));
    const UINT align = UINT(o.alignment >= 0 && o.alignment <= 2 ? o.alignment : 0);
    const double ls = o.lineSpacing * 0.01;
    if (o.font.lfEscapement == 0) {
        RECT lr = r;
        lr.left += 1;
        lr.right += 1;
        for (size_t k = 0; k < lines.size(); ++k) {
            lr.top = r.top + tm.tmExternalLeading + int(double(k) * ls * p);
            DrawTextA(dc, lines[k].c_str(), int(lines[k].size()), &lr, align | DT_SINGLELINE | DT_NOPREFIX);
        }
        return;
    }
    const int width = r.right - r.left, height = r.bottom - r.top;
    for (size_t k = 0; k < lines.size(); ++k) {
        RECT lr = r;
        lr.left = r.right - int(ls * double(k) * p);
        lr.right = lr.left + width;
        UINT flags = align | DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP;
        if (align != 0) {
            RECT m = {0, 0, 1, 1};
            DrawTextA(dc, lines[k].c_str(), int(lines[k].size()), &m, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
            const int move = align == 2 ? height - (m.right - m.left) : (height - (m.right - m.left)) / 2;
            lr.top += move;
            lr.bottom += move;
            flags = DT_LEFT | DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP;
        }
        DrawTextA(dc, lines[k].c_str(), int(lines[k].size()), &lr, flags);
    }
}

SIZE MeasureTitleText(const TitleObject& o)
{
    HDC screen = GetDC(nullptr);
    HFONT f = MakeTitleFont(o, 1.0f);
    HGDIOBJ old = SelectObject(screen, f);
    RECT r = {0, 0, 1, 1};
    DrawTextA(screen, o.text.c_str(), int(o.text.size()), &r,
              UINT(o.alignment >= 0 && o.alignment <= 2 ? o.alignment : 0) | DT_CALCRECT | DT_NOPREFIX);
    SelectObject(screen, old);
    DeleteObject(f);
    ReleaseDC(nullptr, screen);
    return SIZE{r.right - r.left + 2, r.bottom - r.top + 2};
}

bool FitTextBox(TitleObject& o)
{
    if (o.type != TITLE_TEXT || !o.tracker || o.text.empty()) return false;
    const SIZE m = MeasureTitleText(o);
    const LONG needW = o.font.lfEscapement == 0 ? m.cx : m.cy, needH = o.font.lfEscapement == 0 ? m.cy : m.cx;
    RECT& r = o.tracker->rect;
    // Never past the page's edge (in the box's own units): what lies beyond
    // is not shown anyway.
    const double fh = o.tracker->hFactor > 0 ? o.tracker->hFactor : 1.0, fv = o.tracker->vFactor > 0 ? o.tracker->vFactor : 1.0;
    const LONG pageRight = o.pageW > 0 ? LONG(o.pageW / fh) : LONG_MAX, pageBottom = o.pageH > 0 ? LONG(o.pageH / fv) : LONG_MAX;
    const LONG right = std::max(r.right, std::min<LONG>(r.left + needW, pageRight));
    const LONG bottom = std::max(r.bottom, std::min<LONG>(r.top + needH, pageBottom));
    const bool grew = right != r.right || bottom != r.bottom;
    r.right = right;
    r.bottom = bottom;
    return grew;
}

void ImageExportPixels(const TitleObject& o, int w, int h, uint32_t* out)
{
    const size_t n = size_t(w) * h;
    if (!PictureOk(o)) {
        std::fill(out, out + n, 0u);
    } else if (w == o.picture.bmWidth && h == o.picture.bmHeight) {
        std::memcpy(out, o.pixels.data(), n * 4);
    } else {
        HDC screen = GetDC(nullptr);
        Dib d(screen, w, h);
        ReleaseDC(nullptr, screen);
        if (!d.ok()) {
            std::fill(out, out + n, 0u);
            return;
        }
        StretchPicture(o, d.dc, w, h);
        GdiFlush();
        std::memcpy(out, d.bits, n * 4);
    }
    const uint32_t op = uint32_t(Opacity255(o.imageOpacity)) & 255;
    for (size_t i = 0; i < n; ++i) {
        uint32_t a;
        if (o.alphaMode == ALPHA_COLOUR_KEY && o.hasTransparency)
            a = (out[i] & 0xFFFFFF) == Bgr(o.transparentColour) ? 0 : op;
        else if (o.alphaMode == ALPHA_PER_PIXEL)
            a = uint32_t((out[i] >> 24) * int64_t(o.imageOpacity) / 100) & 255;
        else
            a = op;
        out[i] = (out[i] & 0xFFFFFF) | (a << 24);
    }
}

void SoftShadowMask(const TitleObject& o, int w, int h, uint32_t* out)
{
    const size_t n = size_t(w) * h;
    HDC screen = GetDC(nullptr);
    Dib d(screen, w, h);
    ReleaseDC(nullptr, screen);
    if (!d.ok()) {
        std::fill(out, out + n, 0u);
        return;
    }
    Fill(d.dc, 0, 0, w, h, 0);
    HFONT f = MakeTitleFont(o, o.hFactor);
    HGDIOBJ old = SelectObject(d.dc, f);
    SetBkMode(d.dc, TRANSPARENT);
    SetTextColor(d.dc, 0xFFFFFF);
    DrawTextLines(d.dc, o, o.text, RECT{0, 0, w, h});
    SelectObject(d.dc, old);
    DeleteObject(f);
    GdiFlush();
    std::memcpy(out, d.bits, n * 4);
    if (h > 2) {
        // Blurred from the read-back blue bytes; border pixels keep theirs.
        std::vector<uint8_t> src(n);
        for (size_t i = 0; i < n; ++i) src[i] = uint8_t(out[i]);
        for (int y = 1; y < h - 1; ++y)
            for (int x = 1; x < w - 1; ++x) {
                uint32_t sum = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) sum += src[size_t(y + dy) * w + x + dx];
                uint32_t& p = out[size_t(y) * w + x];
                p = (p & 0xFFFFFF) | ((sum / 9) << 24);
            }
    }
    const uint32_t c = Bgr(o.shadowColour);
    for (size_t i = 0; i < n; ++i) out[i] = (out[i] & 0xFF000000u) | c;
}

namespace {

void DrawPicture(HDC dc, TitleObject& o, const ScaledRect& s)
{
    RECT v;
    if (!PictureOk(o) || !VisiblePart(dc, s.L, s.T, s.W, s.H, &v)) return;
    // The picture is stretched into a bitmap of its whole W x H; one far
    // larger than the page is stretched into its visible part only, its
    // top-left where (L, T) falls (the platform's halftone stretch of a
    // part may differ from the whole's by a level or two).
    if (int64_t(s.W) * s.H <= kWholePicturePixels) v = RECT{s.L, s.T, s.L + s.W, s.T + s.H};
    const int w = v.right - v.left, h = v.bottom - v.top, x = s.L - v.left, y = s.T - v.top;
    Dib mem(dc, w, h);
    if (!mem.ok()) return;
    if (o.alphaMode == ALPHA_OPACITY || !o.hasTransparency) {
        StretchPicture(o, mem.dc, s.W, s.H, x, y);
        BlendConstant(dc, v.left, v.top, w, h, mem.dc, Opacity255(o.imageOpacity));
        return;
    }
    BitBlt(mem.dc, 0, 0, w, h, dc, v.left, v.top, SRCCOPY);
    GdiFlush();
    std::vector<uint32_t> page(mem.bits, mem.bits + size_t(w) * h);
    StretchPicture(o, mem.dc, s.W, s.H, x, y);
    GdiFlush();
    const uint32_t key = Bgr(o.transparentColour);
    for (size_t i = 0; i < page.size(); ++i) {
        const uint32_t sp = mem.bits[i], d = page[i];
        uint32_t a;
        if (o.alphaMode == ALPHA_COLOUR_KEY) {
            if ((sp & 0xFFFFFF) == key) {
                mem.bits[i] = d;
                continue;
            }
            a = uint32_t(Opacity255(o.imageOpacity));
        } else {
            if ((sp >> 24) == 0) {
                mem.bits[i] = d;
                continue;
            }
            a = uint32_t(int64_t(o.imageOpacity) * (sp >> 24) / 100);
        }
        a = std::min<uint32_t>(a, 255);
        uint32_t v = 0;
        for (int sh = 0; sh < 24; sh += 8)
            v |= ((((d >> sh) & 255) * (255 - a) / 255 + ((sp >> sh) & 255) * a / 255) & 255) << sh;
        mem.bits[i] = v;
    }
    SetStretchBltMode(dc, HALFTONE);
    StretchBlt(dc, v.left, v.top, w, h, mem.dc, 0, 0, w, h, SRCCOPY);
}

void DrawSoftShadow(HDC dc, TitleObject& o, const ScaledRect& s)
{
    const double fh = o.tracker ? o.tracker->hFactor : o.hFactor, fv = o.tracker ? o.tracker->vFactor : o.vFactor;
    const int w = int(s.W / fh + 0.5), h = int(s.H / fv + 0.5);
    if (w <= 0 || h <= 0) return;
    // The mask (w x h) lies at (x0, y0) on the page; only its visible part
    // is made, with the one pixel around it that the blur reads.
    const int64_t x0 = int64_t(s.L) + o.shadowDepthX, y0 = int64_t(s.T) + o.shadowDepthY;
    RECT v;
    if (!VisiblePart(dc, x0, y0, w, h, &v)) return;
    const int vx = int(v.left - x0), vy = int(v.top - y0), vw = v.right - v.left, vh = v.bottom - v.top;
    const int mx = std::max(0, vx - 1), my = std::max(0, vy - 1);
    const int mw = std::min(w, vx + vw + 1) - mx, mh = std::min(h, vy + vh + 1) - my;
    Dib mem(dc, mw, mh);
    if (!mem.ok()) return;
    Fill(mem.dc, 0, 0, mw, mh, 0);
    HFONT f = MakeTitleFont(o, 1.0f);
    HGDIOBJ old = SelectObject(mem.dc, f);
    SetBkMode(mem.dc, TRANSPARENT);
    const int g = std::min(255, Opacity255(o.imageOpacity));
    SetTextColor(mem.dc, RGB(g, g, g));
    DrawTextLines(mem.dc, o, o.text, RECT{-mx, -my, w - mx, h - my});
    SelectObject(mem.dc, old);
    DeleteObject(f);
    GdiFlush();
    // Coverage of the visible pixels: the 3 x 3 average, 0 on the mask's border.
    std::vector<uint8_t> cover(size_t(vw) * vh, 0);
    for (int y = 0; y < vh; ++y)
        for (int x = 0; x < vw; ++x) {
            const int px = vx + x, py = vy + y;
            if (px < 1 || py < 1 || px >= w - 1 || py >= h - 1) continue;
            uint32_t sum = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) sum += mem.At(px + dx - mx, py + dy - my) & 255;
            cover[size_t(y) * vw + x] = uint8_t(sum / 9);
        }
    Dib under(dc, vw, vh);
    if (!under.ok()) return;
    BitBlt(under.dc, 0, 0, vw, vh, dc, v.left, v.top, SRCCOPY);
    GdiFlush();
    const uint32_t sc = Bgr(o.shadowColour);
    for (int y = 0; y < vh; ++y)
        for (int x = 0; x < vw; ++x) {
            const uint32_t P = cover[size_t(y) * vw + x], d = under.At(x, y);
            uint32_t c = 0;
            for (int sh = 0; sh < 24; sh += 8)
                c |= (((d >> sh) & 255) * (255 - P) / 255 + ((sc >> sh) & 255) * P / 255) << sh;
            under.At(x, y) = c;
        }
    BitBlt(dc, v.left, v.top, vw, vh, under.dc, 0, 0, SRCCOPY);
}

void DrawText(HDC dc, TitleObject& o, const ScaledRect& s)
{
    RECT v;
    if (o.textBack && o.textBackOpacity != 0 && VisiblePart(dc, s.L, s.T, s.W, s.H, &v)) {
        // One colour: its visible part is the whole of what shows.
        if (o.textBackOpacity >= 100) {
            Fill(dc, v.left, v.top, v.right, v.bottom, o.textBackColour);
        } else {
            const int w = v.right - v.left, h = v.bottom - v.top;
            Dib box(dc, w, h);
            if (box.ok()) {
                Fill(box.dc, 0, 0, w, h, o.textBackColour);
                BlendConstant(dc, v.left, v.top, w, h, box.dc, Opacity255(o.textBackOpacity));
            }
        }
    }
    SetBkMode(dc, TRANSPARENT);
    HFONT f = MakeTitleFont(o, o.hFactor);
    HGDIOBJ old = SelectObject(dc, f);
    const COLORREF pageColour = GetTextColor(dc);
    const RECT r = {s.L, s.T, s.R, s.B};
    const int dx = o.shadowDepthX, dy = o.shadowDepthY;
    auto at = [&](int ox, int oy) { return RECT{r.left + ox, r.top + oy, r.right + ox, r.bottom + oy}; };
    if (o.shadowType == SHADOW_SINGLE) {
        SetTextColor(dc, o.shadowColour);
        DrawTextLines(dc, o, o.text, at(dx, dy));
    } else if (o.shadowType == SHADOW_SOLID && (dx || dy)) {
        SetTextColor(dc, o.shadowColour);
        // Bounded: a depth beyond the page would only repeat off-page copies.
        const int steps = std::min(std::max(std::abs(dx), std::abs(dy)), 4096);
        const RECT off = at(dx, dy);
        if (std::abs(dx) < std::abs(dy)) {
            const double t = double(dx) / dy;
            for (int k = 0; k < steps; ++k) {
                const int j = dy > 0 ? k : -k;
                const int sx = int(j * t);
                DrawTextLines(dc, o, o.text, RECT{off.left - sx, off.top - j, off.right - sx, off.bottom - j});
            }
        } else {
            const double t = dx ? double(dy) / dx : 0.0;
            for (int k = 0; k < steps; ++k) {
                const int j = dx > 0 ? k : -k;
                const int sy = int(j * t);
                DrawTextLines(dc, o, o.text, RECT{off.left - j, off.top - sy, off.right - j, off.bottom - sy});
            }
        }
    } else if (o.shadowType == SHADOW_SOFT) {
        SelectObject(dc, old);
        DrawSoftShadow(dc, o, s);
        old = SelectObject(dc, f);
    }
    if (o.outline && o.outlineWidth > 0) {
        SetTextColor(dc, o.outlineColour);
        const int w = std::min(o.outlineWidth, 64);  // bounded: (2w+1)^2 drawings
        for (int ox = w; ox >= -w; --ox)
            for (int oy = w; oy >= -w; --oy) DrawTextLines(dc, o, o.text, at(ox, oy));
    }
    SetTextColor(dc, o.textColour);
    DrawTextLines(dc, o, o.text, r);
    SelectObject(dc, old);
    DeleteObject(f);
    SetTextColor(dc, pageColour);
}

}  // namespace

void DrawTitleObject(HDC dc, TitleObject& o)
{
    const ScaledRect s = ScaleRect(o);
    if (o.border) {
        const int c = o.borderWidth;
        HPEN pen = CreatePen(PS_SOLID, 1, o.borderColour);
        HBRUSH br = CreateSolidBrush(o.borderColour);
        HGDIOBJ op = SelectObject(dc, pen), ob = SelectObject(dc, br);
        Rectangle(dc, s.L, s.T - c, s.R + c, s.T);
        Rectangle(dc, s.R, s.T, s.R + c, s.B + c);
        Rectangle(dc, s.L - c, s.B, s.R, s.B + c);
        Rectangle(dc, s.L - c, s.T - c, s.L, s.B);
        SelectObject(dc, op);
        SelectObject(dc, ob);
        DeleteObject(pen);
        DeleteObject(br);
    }
    if (o.type == TITLE_IMAGE)
        DrawPicture(dc, o, s);
    else if (o.type == TITLE_TEXT)
        DrawText(dc, o, s);
    else if (o.type == TITLE_CLIP && o.clip && o.tracker)
        o.clip->DrawOnPage(dc, &o.tracker->rect);  // unscaled; the rectangle takes the picture's size
}

void DrawPage(HDC dc, const TitleObjectList& page, const PageView& view)
{
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowOrgEx(dc, 0, 0, nullptr);
    SetViewportOrgEx(dc, 0, 0, nullptr);
    SetWindowExtEx(dc, view.outW, view.outH, nullptr);
    SetViewportExtEx(dc, view.clientW, view.clientH, nullptr);
    Fill(dc, 0, 0, view.outW, view.outH, view.background);
    for (const auto& o : page) DrawTitleObject(dc, *o);
    for (const auto& o : page)
        if (o->selected) {
            const ScaledRect s = ScaleRect(*o);
            RECT r = {s.L, s.T, s.R, s.B};
            DrawFocusRect(dc, &r);
        }
}

}  // namespace titlebox
