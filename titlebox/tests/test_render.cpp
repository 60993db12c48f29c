// Page drawing: borders, back boxes, pictures by alpha mode, shadows and
// outlines.  Non-glyph pixels against references computed here from the
// drawing rules; glyph pixels against Wine's own GDI drawing of the text.
#include <catch2/catch.hpp>

#include <cstdlib>
#include <cstring>

#include "title_render.h"

namespace tb = titlebox;

namespace {

const int PW = 200, PH = 100;
const COLORREF kBack = 0xDFDFDF;

// A top-down 32-bit page the drawing goes to, output size = client size.
struct Page {
    HDC dc;
    HBITMAP bmp;
    HGDIOBJ old;
    uint32_t* px;
    Page()
    {
        BITMAPINFO bi = {};
        bi.bmiHeader = {sizeof(BITMAPINFOHEADER), PW, -PH, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        dc = CreateCompatibleDC(nullptr);
        void* bits;
        bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        px = static_cast<uint32_t*>(bits);
        old = SelectObject(dc, bmp);
    }
    ~Page()
    {
        SelectObject(dc, old);
        DeleteObject(bmp);
        DeleteDC(dc);
    }
    uint32_t At(int x, int y) const { return px[size_t(y) * PW + x] & 0xFFFFFF; }
    std::vector<uint32_t> Rgb() const
    {
        GdiFlush();
        std::vector<uint32_t> v(px, px + PW * PH);
        for (auto& p : v) p &= 0xFFFFFF;
        return v;
    }
    void Draw(const tb::TitleObjectList& page)
    {
        tb::PageView view;
        view.outW = view.clientW = PW;
        view.outH = view.clientH = PH;
        tb::DrawPage(dc, page, view);
        GdiFlush();
    }
};

uint32_t Bgr(COLORREF c)
{
    return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

std::unique_ptr<tb::TitleObject> Obj(int16_t type, RECT r)
{
    tb::TitleDefaults d;
    d.faceName = "DejaVu Sans";
    d.fontSize = 20;
    d.textBack = 0;
    std::unique_ptr<tb::TitleObject> o(new tb::TitleObject(d, tb::PageScale{1.0f, 1.0f}));
    o->tracker.reset(new tb::RectTracker);
    o->tracker->rect = r;
    o->tracker->hFactor = o->tracker->vFactor = 1.0f;
    o->type = type;
    o->selected = 0;
    return o;
}

bool Near(uint32_t a, uint32_t b, int tol)
{
    for (int sh = 0; sh < 24; sh += 8)
        if (std::abs(int((a >> sh) & 255) - int((b >> sh) & 255)) > tol) return false;
    return true;
}

// Text drawn the plain way: one line at (left + 1, top + leading).
void PlainText(HDC dc, const tb::TitleObject& o, int ox, int oy, COLORREF c)
{
    const RECT& r = o.tracker->rect;
    SetTextColor(dc, c);
    TEXTMETRICA tm;
    GetTextMetricsA(dc, &tm);
    RECT lr = {r.left + ox + 1, r.top + oy + tm.tmExternalLeading, r.right + ox + 1, r.bottom + oy};
    DrawTextA(dc, o.text.c_str(), -1, &lr, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
}

}  // namespace

TEST_CASE("Background, borders and back boxes", "[page]")
{
    SECTION("a border of width 3 around the rectangle")
    {
        tb::TitleObjectList page;
        auto o = Obj(tb::TITLE_TEXT, {20, 20, 60, 50});
        o->border = 1;
        o->borderWidth = 3;
        o->borderColour = RGB(0, 0, 255);
        page.push_back(std::move(o));
        Page p;
        p.Draw(page);
        for (int y = 0; y < PH; ++y)
            for (int x = 0; x < PW; ++x) {
                const bool top = x >= 20 && x < 63 && y >= 17 && y < 20, right = x >= 60 && x < 63 && y >= 20 && y < 53,
                           bottom = x >= 17 && x < 60 && y >= 50 && y < 53, left = x >= 17 && x < 20 && y >= 17 && y < 50;
                INFO(x << "," << y);
                REQUIRE(p.At(x, y) == ((top || right || bottom || left) ? 0x0000FFu : Bgr(kBack)));
            }
    }
    SECTION("back boxes at opacity 100, 50 and 0")
    {
        struct Case {
            int opacity;
        } cases[] = {{100}, {50}, {0}};
        for (const Case& c : cases) {
            tb::TitleObjectList page;
            auto o = Obj(tb::TITLE_TEXT, {10, 10, 50, 30});
            o->textBack = 1;
            o->textBackOpacity = c.opacity;
            o->textBackColour = RGB(200, 40, 10);
            page.push_back(std::move(o));
            Page p;
            p.Draw(page);
            const uint32_t box = Bgr(RGB(200, 40, 10)), bg = Bgr(kBack);
            uint32_t want = bg;
            if (c.opacity == 100) want = box;
            if (c.opacity == 50) {
                want = 0;
                for (int sh = 0; sh < 24; sh += 8)
                    want |= ((((box >> sh) & 255) * 127 + ((bg >> sh) & 255) * 128 + 127) / 255) << sh;
            }
            INFO("opacity " << c.opacity);
            CHECK(Near(p.At(30, 20), want, c.opacity == 50 ? 1 : 0));
            CHECK(Near(p.At(10, 10), want, c.opacity == 50 ? 1 : 0));
            CHECK(p.At(50, 30) == bg);
            CHECK(p.At(9, 20) == bg);
        }
    }
}

TEST_CASE("Pictures by alpha mode", "[page][picture]")
{
    const int w = 40, h = 30;
    std::vector<uint32_t> pic(size_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint32_t v = 0xFF000000u | uint32_t(x * 6) << 16 | uint32_t(y * 8) << 8 | 0x40;
            if ((x + y) % 5 == 0) v = 0xFF00FF00;      // the colour key
            if (x % 7 == 0) v = (v & 0xFFFFFF) | 0x60000000u;  // partial alpha
            if (y % 9 == 0) v &= 0xFFFFFF;                  // no alpha
            pic[size_t(h - 1 - y) * w + x] = v;  // stored bottom-up
        }
    auto source = [&](int x, int y) { return pic[size_t(h - 1 - y) * w + x]; };
    const uint32_t bg = Bgr(kBack);
    auto mix = [](uint32_t d, uint32_t s, uint32_t a) {
        uint32_t v = 0;
        for (int sh = 0; sh < 24; sh += 8) v |= (((d >> sh) & 255) * (255 - a) / 255 + ((s >> sh) & 255) * a / 255) << sh;
        return v;
    };
    for (int16_t mode : {tb::ALPHA_COLOUR_KEY, tb::ALPHA_PER_PIXEL, tb::ALPHA_OPACITY}) {
        tb::TitleObjectList page;
        auto o = Obj(tb::TITLE_IMAGE, {30, 20, 30 + w, 20 + h});
        o->SetPicture(w, h, pic.data());
        o->alphaMode = mode;
        o->hasTransparency = 1;
        o->transparentColour = RGB(0, 255, 0);
        o->imageOpacity = 80;
        page.push_back(std::move(o));
        Page p;
        p.Draw(page);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint32_t s = source(x, y);
                uint32_t want;
                int tol = 0;
                if (mode == tb::ALPHA_COLOUR_KEY)
                    want = (s & 0xFFFFFF) == 0x00FF00 ? bg : mix(bg, s, 204);
                else if (mode == tb::ALPHA_PER_PIXEL)
                    want = (s >> 24) == 0 ? bg : mix(bg, s, 80 * (s >> 24) / 100);
                else {
                    want = mix(bg, s, 204);
                    tol = 2;  // the platform's constant-alpha blend rounds its own way
                }
                INFO("mode " << mode << " at " << x << "," << y);
                REQUIRE(Near(p.At(30 + x, 20 + y), want, tol));
            }
        CHECK(p.At(29, 20) == bg);
        CHECK(p.At(30 + w, 20) == bg);
    }
}

TEST_CASE("Text with a solid shadow and an outline is Wine's text drawn by the rules", "[page][text]")
{
    tb::TitleObjectList page;
    auto o = Obj(tb::TITLE_TEXT, {20, 20, 180, 80});
    o->text = "Abc";
    o->shadowType = tb::SHADOW_SOLID;
    o->shadowDepthX = o->shadowDepthY = 4;
    o->shadowColour = RGB(10, 20, 30);
    o->outline = 1;
    o->outlineWidth = 1;
    o->outlineColour = RGB(250, 0, 0);
    o->textColour = RGB(0, 0, 250);
    const tb::TitleObject& ref = *o;
    page.push_back(std::move(o));
    Page p;
    p.Draw(page);
    const std::vector<uint32_t> got = p.Rgb();

    Page q;
    HBRUSH br = CreateSolidBrush(kBack);
    RECT all = {0, 0, PW, PH};
    FillRect(q.dc, &all, br);
    DeleteObject(br);
    HFONT f = CreateFontIndirectA(&ref.font);
    HGDIOBJ of = SelectObject(q.dc, f);
    SetBkMode(q.dc, TRANSPARENT);
    for (int k : {4, 3, 2, 1}) PlainText(q.dc, ref, k, k, ref.shadowColour);  // solid: four copies
    for (int ox = 1; ox >= -1; --ox)
        for (int oy = 1; oy >= -1; --oy) PlainText(q.dc, ref, ox, oy, ref.outlineColour);  // nine
    PlainText(q.dc, ref, 0, 0, ref.textColour);
    SelectObject(q.dc, of);
    DeleteObject(f);
    const std::vector<uint32_t> want = q.Rgb();
    int differ = 0, inked = 0;
    for (size_t i = 0; i < got.size(); ++i) {
        differ += got[i] != want[i];
        inked += want[i] != Bgr(kBack);
    }
    CHECK(differ == 0);
    CHECK(inked > 100);
}

TEST_CASE("A soft shadow blends the blurred coverage into the page", "[page][soft]")
{
    tb::TitleObjectList page;
    auto o = Obj(tb::TITLE_TEXT, {20, 20, 120, 60});
    o->text = "Soft";
    o->shadowType = tb::SHADOW_SOFT;
    o->shadowDepthX = 5;
    o->shadowDepthY = 3;
    o->shadowColour = RGB(0, 0, 0);
    o->textColour = RGB(255, 255, 255);
    const tb::TitleObject& ref = *o;
    page.push_back(std::move(o));
    Page p;
    p.Draw(page);
    const std::vector<uint32_t> got = p.Rgb();

    // Coverage: the text in grey 255 on black, 100 x 40, blurred 3 x 3.
    const int W = 100, H = 40;
    BITMAPINFO bi = {};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), W, -H, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    HDC m = CreateCompatibleDC(nullptr);
    void* bits;
    HBITMAP mb = CreateDIBSection(m, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ om = SelectObject(m, mb);
    std::memset(bits, 0, size_t(W) * H * 4);
    HFONT f = CreateFontIndirectA(&ref.font);
    HGDIOBJ of = SelectObject(m, f);
    SetBkMode(m, TRANSPARENT);
    SetTextColor(m, RGB(255, 255, 255));
    TEXTMETRICA tm;
    GetTextMetricsA(m, &tm);
    RECT lr = {1, tm.tmExternalLeading, W + 1, H};
    DrawTextA(m, "Soft", 4, &lr, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
    GdiFlush();
    const uint32_t* cov = static_cast<uint32_t*>(bits);
    std::vector<uint32_t> want(size_t(PW) * PH, Bgr(kBack));
    for (int y = 1; y < H - 1; ++y)
        for (int x = 1; x < W - 1; ++x) {
            uint32_t sum = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) sum += cov[size_t(y + dy) * W + x + dx] & 255;
            const uint32_t P = sum / 9;
            uint32_t v = 0;
            for (int sh = 0; sh < 24; sh += 8) v |= (((Bgr(kBack) >> sh) & 255) * (255 - P) / 255) << sh;
            want[size_t(20 + 3 + y) * PW + 20 + 5 + x] = v;
        }
    SelectObject(m, of);
    SelectObject(m, om);
    DeleteObject(mb);
    DeleteDC(m);
    // Then the text itself on top, drawn here over the expected page.
    Page q;
    std::memcpy(q.px, want.data(), want.size() * 4);
    HFONT f2 = CreateFontIndirectA(&ref.font);
    HGDIOBJ of2 = SelectObject(q.dc, f2);
    SetBkMode(q.dc, TRANSPARENT);
    PlainText(q.dc, ref, 0, 0, ref.textColour);
    SelectObject(q.dc, of2);
    DeleteObject(f2);
    DeleteObject(f);
    const std::vector<uint32_t> w2 = q.Rgb();
    int differ = 0, shaded = 0;
    for (size_t i = 0; i < got.size(); ++i) {
        differ += got[i] != w2[i];
        shaded += want[i] != Bgr(kBack);
    }
    CHECK(differ == 0);
    CHECK(shaded > 100);
}

TEST_CASE("Line layout: spacing, alignment and measurement", "[layout]")
{
    auto o = Obj(tb::TITLE_TEXT, {0, 0, 200, 100});
    o->text = "Ab\r\nCd";
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT f = CreateFontIndirectA(&o->font);
    HGDIOBJ of = SelectObject(dc, f);
    TEXTMETRICA tm;
    GetTextMetricsA(dc, &tm);
    const int pitch = tm.tmHeight + tm.tmExternalLeading;
    SelectObject(dc, of);
    DeleteObject(f);
    DeleteDC(dc);
    // The rows that hold ink, for a spacing: line 2 starts one or two pitches lower.
    auto inkRows = [&](int spacing) {
        o->lineSpacing = spacing;
        tb::TitleObjectList page;
        page.push_back(Obj(tb::TITLE_TEXT, {0, 0, 200, 100}));
        page[0]->text = o->text;
        page[0]->lineSpacing = spacing;
        page[0]->textColour = 0;
        Page p;
        p.Draw(page);
        std::vector<int> rows;
        for (int y = 0; y < PH; ++y)
            for (int x = 0; x < PW; ++x)
                if (p.At(x, y) != Bgr(kBack)) {
                    rows.push_back(y);
                    break;
                }
        return rows;
    };
    const std::vector<int> single = inkRows(100), twice = inkRows(200);
    REQUIRE(!single.empty());
    REQUIRE(!twice.empty());
    CHECK(twice.back() - single.back() == pitch);
    SIZE m = tb::MeasureTitleText(*o);
    CHECK(m.cy == 2 * pitch - tm.tmExternalLeading + 2 + tm.tmExternalLeading);
    CHECK(m.cx > 2);
}

TEST_CASE("Objects reaching past the page draw the same pixels on it as on a larger page", "[page][clip]")
{
    // Drawn on a 120 x 80 page and on a 300 x 200 one: only the visible part
    // of an object is put into memory bitmaps, and what shows must not
    // depend on how much of it is hidden.
    auto draw = [](int w, int h, int16_t alphaMode) {
        tb::TitleObjectList page;
        auto pic = Obj(tb::TITLE_IMAGE, {-30, 50, 90, 130});
        const int pw = 40, ph = 20;
        std::vector<uint32_t> px(size_t(pw) * ph);
        for (int i = 0; i < pw * ph; ++i) px[i] = uint32_t((i * 37) & 255) << 24 | uint32_t(i * 2654435761u) >> 8;
        pic->SetPicture(pw, ph, px.data());
        pic->alphaMode = alphaMode;
        pic->hasTransparency = 1;
        pic->transparentColour = RGB(px[5] >> 16 & 255, px[5] >> 8 & 255, px[5] & 255);
        pic->imageOpacity = 70;
        page.push_back(std::move(pic));
        auto text = Obj(tb::TITLE_TEXT, {60, 30, 220, 110});
        text->text = "Clip\r\nedge";
        text->fontSize = 28;
        text->font.lfHeight = tb::FontHeight(28);
        text->textBack = 1;
        text->textBackOpacity = 40;
        text->textBackColour = RGB(20, 200, 90);
        text->shadowType = tb::SHADOW_SOFT;
        text->shadowDepthX = 6;
        text->shadowDepthY = 5;
        text->shadowColour = RGB(200, 0, 0);
        text->textColour = RGB(0, 0, 250);
        page.push_back(std::move(text));
        BITMAPINFO bi = {};
        bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        HDC dc = CreateCompatibleDC(nullptr);
        void* bits;
        HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = SelectObject(dc, bmp);
        tb::PageView view;
        view.outW = view.clientW = w;
        view.outH = view.clientH = h;
        tb::DrawPage(dc, page, view);
        GdiFlush();
        std::vector<uint32_t> out(static_cast<uint32_t*>(bits), static_cast<uint32_t*>(bits) + size_t(w) * h);
        SelectObject(dc, old);
        DeleteObject(bmp);
        DeleteDC(dc);
        return out;
    };
    for (int16_t mode : {tb::ALPHA_OPACITY, tb::ALPHA_COLOUR_KEY, tb::ALPHA_PER_PIXEL}) {
        INFO("alpha mode " << mode);
        const std::vector<uint32_t> part = draw(120, 80, mode), whole = draw(300, 200, mode);
        int differ = 0, inked = 0;
        for (int y = 0; y < 80; ++y)
            for (int x = 0; x < 120; ++x) {
                const uint32_t a = part[size_t(y) * 120 + x] & 0xFFFFFF, b = whole[size_t(y) * 300 + x] & 0xFFFFFF;
                differ += a != b;
                inked += a != Bgr(kBack);
            }
        CHECK(differ == 0);
        CHECK(inked > 2000);
    }
}
