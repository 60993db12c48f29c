// The title export file: bytes from the layout, the engine's reader of it,
// soft-shadow masks against Wine's own drawing of the text, image alpha.
#include <catch2/catch.hpp>

#include <cstring>
#include <functional>

#include "title_export.h"
#include "title_file.h"
#include "title_render.h"
#include "msgbox_capture.h"
// The engine's reader of the file.
#include "../../engine/src/title_file.h"

namespace tb = titlebox;

namespace {

using Bytes = std::vector<uint8_t>;

void I32(Bytes& b, int32_t v)
{
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(uint32_t(v) >> (8 * i)));
}

std::unique_ptr<tb::TitleObject> Make(int16_t type, RECT r, const std::string& text)
{
    tb::TitleDefaults d;
    d.faceName = "DejaVu Sans";
    d.fontSize = 20;
    std::unique_ptr<tb::TitleObject> o(new tb::TitleObject(d, tb::PageScale()));
    o->tracker.reset(new tb::RectTracker);
    o->tracker->rect = r;
    o->type = type;
    o->text = text;
    return o;
}

// The fixture page: a still text, a 4 x 2 picture, a moving clip.
tb::TitleObjectList FixturePage()
{
    tb::TitleObjectList page;
    auto t = Make(tb::TITLE_TEXT, {10, 20, 110, 70}, "Hi!!");
    t->duration = 2.5f;
    t->shadowType = tb::SHADOW_SINGLE;
    t->border = 1;
    t->borderWidth = 3;
    t->borderColour = 0x0000FF;
    t->outline = 0;
    t->outlineWidth = 5;
    page.push_back(std::move(t));
    auto i = Make(tb::TITLE_IMAGE, {0, 0, 2, 1}, "");
    const uint32_t px[8] = {0xFF010203, 0xFF040506, 0x00070809, 0x800A0B0C, 1, 2, 3, 4};
    i->SetPicture(4, 2, px);
    i->imageOpacity = 50;
    page.push_back(std::move(i));
    auto c = Make(tb::TITLE_CLIP, {1, 2, 161, 122}, "C:\\x.cga");
    c->motion = 1;
    c->beginX = 5;
    c->beginY = 6;
    c->endX = 7;
    c->endY = 8;
    c->shadowType = tb::SHADOW_SOFT;  // no mask for a clip
    page.push_back(std::move(c));
    return page;
}

Bytes TextHeaderBytes(const tb::TitleObject& o, int32_t n)
{
    LOGFONTA lf = o.font;
    lf.lfHeight = -53;  // 20 points x 2.0 x -1.3333334
    Bytes b(reinterpret_cast<const uint8_t*>(&lf), reinterpret_cast<const uint8_t*>(&lf) + 60);
    for (int32_t v : {o.alignment, int32_t(o.textColour), int32_t(o.outlineColour), o.outline ? o.outlineWidth : 0,
                      o.shadowType, o.lineSpacing, o.shadowDepthX, o.shadowDepthY, int32_t(o.shadowColour), o.textBack,
                      o.textBackOpacity, int32_t(o.textBackColour), n})
        I32(b, v);
    return b;
}

}  // namespace

TEST_CASE("Export bytes follow the layout", "[lme]")
{
    tb::TitleObjectList page = FixturePage();
    const Bytes got = tb::BuildTitleExport(page);

    Bytes want;
    const int32_t textLen = 112 + 8, imageLen = 4 * 2 * 4, clipLen = 112 + 12;
    for (int32_t v : {4737, 3, textLen + imageLen + clipLen, 0}) I32(want, v);
    int32_t dur;
    const float d25 = 2.5f, d0 = 0.0f;
    std::memcpy(&dur, &d25, 4);
    for (int32_t v : {0, 200, 100, 0, 20, 40, 20, 40, dur, 1, 3, 0x0000FF, textLen}) I32(want, v);
    std::memcpy(&dur, &d0, 4);
    for (int32_t v : {1, 4, 2, 0, 0, 0, 0, 0, dur, 0, 1, 0xFF0000, imageLen}) I32(want, v);
    for (int32_t v : {2, 320, 240, 1, 10, 12, 14, 16, dur, 0, 1, 0xFF0000, clipLen}) I32(want, v);
    Bytes h = TextHeaderBytes(*page[0], 8);
    want.insert(want.end(), h.begin(), h.end());
    for (char c : std::string("Hi!!\0\0\0\0", 8)) want.push_back(uint8_t(c));
    for (uint32_t p : {0x7F010203u, 0x7F040506u, 0x7F070809u, 0x7F0A0B0Cu, 0x7F000001u, 0x7F000002u, 0x7F000003u,
                       0x7F000004u})
        I32(want, int32_t(p));
    h = TextHeaderBytes(*page[2], 12);
    want.insert(want.end(), h.begin(), h.end());
    for (char c : std::string("C:\\x.cga\0\0\0\0", 12)) want.push_back(uint8_t(c));
    REQUIRE(got.size() == want.size());
    CHECK(got == want);

    SECTION("the engine's reader takes the file as written")
    {
        ::TitleData td;
        REQUIRE(::ParseTitleExport(got.data(), got.size(), &td) == ::TITLE_OK);
        REQUIRE(td.layers.size() == 3);
        CHECK(td.layers[0].string == "Hi!!");
        CHECK(td.layers[2].string == "C:\\x.cga");
        CHECK(td.layers[0].text.font.height == -53);
        CHECK((td.layers[1].rec.width == 4 && td.layers[1].rec.height == 2 && td.layers[1].hasPixels));
        CHECK(td.header.total == textLen + imageLen + clipLen);
    }
    SECTION("string field lengths")
    {
        const int32_t want_n[] = {4, 8, 8, 8, 8, 12, 12, 12, 12, 16};
        for (size_t n = 0; n < 10; ++n) CHECK(tb::ExportStringLength(n) == want_n[n]);
    }
}

TEST_CASE("A soft shadow's mask is the blurred coverage of Wine's own text", "[lme][shadow]")
{
    tb::TitleObjectList page;
    auto t = Make(tb::TITLE_TEXT, {0, 0, 60, 20}, "Soft");
    t->shadowType = tb::SHADOW_SOFT;
    t->shadowColour = 0x102030;
    page.push_back(std::move(t));
    const Bytes got = tb::BuildTitleExport(page);
    const int W = 120, H = 40;
    REQUIRE(got.size() == size_t(16 + 52 + 112 + 8 + W * H * 4));
    const uint32_t* mask = reinterpret_cast<const uint32_t*>(got.data() + 16 + 52 + 112 + 8);

    // The same text drawn here: white on black, one line at (1, leading).
    BITMAPINFO bi = {};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), W, H, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ ob = SelectObject(dc, bmp);
    std::memset(bits, 0, size_t(W) * H * 4);
    LOGFONTA lf = page[0]->font;
    lf.lfHeight = -53;
    HFONT f = CreateFontIndirectA(&lf);
    HGDIOBJ of = SelectObject(dc, f);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, 0xFFFFFF);
    TEXTMETRICA tm;
    GetTextMetricsA(dc, &tm);
    RECT r = {1, tm.tmExternalLeading, W + 1, H};
    DrawTextA(dc, "Soft", 4, &r, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
    GdiFlush();
    std::vector<uint32_t> ref(static_cast<uint32_t*>(bits), static_cast<uint32_t*>(bits) + W * H);
    SelectObject(dc, of);
    DeleteObject(f);
    SelectObject(dc, ob);
    DeleteObject(bmp);
    DeleteDC(dc);
    int covered = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            uint32_t a = ref[size_t(y) * W + x] >> 24;
            if (y > 0 && y < H - 1 && x > 0 && x < W - 1) {
                uint32_t sum = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) sum += ref[size_t(y + dy) * W + x + dx] & 255;
                a = sum / 9;
            }
            covered += a != 0;
            INFO(x << "," << y);
            REQUIRE(mask[size_t(y) * W + x] == ((a << 24) | 0x302010u));
        }
    CHECK(covered > 50);  // the text is there
}

TEST_CASE("Image layers carry alpha by the alpha mode", "[lme][image]")
{
    auto o = Make(tb::TITLE_IMAGE, {0, 0, 2, 1}, "");
    const uint32_t px[4] = {0xFF00FF00, 0x80123456, 0x00FF0000, 0xFF00FF01};
    o->SetPicture(4, 1, px);
    o->imageOpacity = 40;
    struct Case {
        int16_t mode;
        int32_t transparency;
        uint32_t want[4];
    } cases[] = {
        {tb::ALPHA_OPACITY, 0, {0x6600FF00, 0x66123456, 0x66FF0000, 0x6600FF01}},
        {tb::ALPHA_COLOUR_KEY, 1, {0x0000FF00, 0x66123456, 0x66FF0000, 0x6600FF01}},
        {tb::ALPHA_COLOUR_KEY, 0, {0x6600FF00, 0x66123456, 0x66FF0000, 0x6600FF01}},
        {tb::ALPHA_PER_PIXEL, 1, {0x6600FF00, 0x33123456, 0x00FF0000, 0x6600FF01}},
    };
    o->transparentColour = RGB(0, 255, 0);
    for (const Case& c : cases) {
        o->alphaMode = c.mode;
        o->hasTransparency = c.transparency;
        uint32_t out[4];
        tb::ImageExportPixels(*o, 4, 1, out);
        INFO("mode " << c.mode);
        CHECK(std::vector<uint32_t>(out, out + 4) == std::vector<uint32_t>(c.want, c.want + 4));
    }
    SECTION("another size is stretched by GDI first; a plain colour stays itself")
    {
        std::vector<uint32_t> solid(16 * 8, 0xFF336699);
        o->SetPicture(16, 8, solid.data());
        o->alphaMode = tb::ALPHA_OPACITY;
        o->imageOpacity = 100;
        std::vector<uint32_t> out(7 * 5);
        tb::ImageExportPixels(*o, 7, 5, out.data());
        for (uint32_t p : out) CHECK(p == 0xFF336699);
    }
}

TEST_CASE("Scrolling texts go out at their full extent; the page keeps its rectangle", "[lme][scroll]")
{
    tb::TitleObjectList page;
    auto t = Make(tb::TITLE_TEXT, {10, 10, 30, 30}, "A long scrolling line");
    t->scroll = 1;
    t->motion = 1;
    t->beginX = 300;
    t->endX = -200;
    t->beginY = t->endY = 10;
    page.push_back(std::move(t));
    const Bytes got = tb::BuildTitleExport(page);
    int32_t width, height;
    std::memcpy(&width, got.data() + 16 + 4, 4);
    std::memcpy(&height, got.data() + 16 + 8, 4);
    // Measured here on the screen with the unscaled font.
    HDC screen = GetDC(nullptr);
    HFONT f = CreateFontIndirectA(&page[0]->font);
    HGDIOBJ old = SelectObject(screen, f);
    RECT r = {0, 0, 1, 1};
    DrawTextA(screen, "A long scrolling line", -1, &r, DT_CALCRECT | DT_NOPREFIX);
    SelectObject(screen, old);
    DeleteObject(f);
    ReleaseDC(nullptr, screen);
    CHECK(width == int32_t((r.right + 2) * 2.0 + 0.5));
    CHECK(height == 40);  // begin x differs from end x: the height stays
    CHECK(page[0]->tracker->rect.right == 30);
}

TEST_CASE("Export files in the temporary folder", "[lme][file]")
{
    // A temporary folder of this program's own: other programs' title
    // files stay out of the way.
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    const std::string dir = std::string(base) + "lme_test_" + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(dir.c_str(), nullptr);
    SetEnvironmentVariableA("TMP", dir.c_str());
    SetEnvironmentVariableA("TEMP", dir.c_str());
    tb::TitleObjectList empty;
    REQUIRE(tb::ExportTitle(empty, tb::EXPORT_PREVIEW));
    const std::string prev = tb::TitleExportPath(tb::EXPORT_PREVIEW);
    CHECK(prev.substr(prev.size() - 15) == "~lmPrevTemp.LME");
    std::vector<uint8_t> b;
    REQUIRE(tb::ReadWholeFile(prev.c_str(), &b));
    CHECK(b == Bytes{0x81, 0x12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    tb::TitleObjectList page = FixturePage();
    REQUIRE(tb::ExportTitle(page, tb::EXPORT_PROGRAMME));
    const std::string prog = tb::TitleExportPath(tb::EXPORT_PROGRAMME);
    CHECK(prog.substr(prog.size() - 11) == "~lmTemp.LME");
    REQUIRE(tb::ReadWholeFile(prog.c_str(), &b));
    CHECK(b == tb::BuildTitleExport(page));
    CHECK(prog.substr(0, dir.size()) == dir);
    DeleteFileA(prog.c_str());
    DeleteFileA(prev.c_str());
    RemoveDirectoryA(dir.c_str());
}

TEST_CASE("A page too big to export is refused and the old file stays", "[lme][file][bad]")
{
    // A folder of this program's own (the temporary folder named now may be
    // one an earlier case made and removed: it is made again if so).
    MsgBoxCapture anyBox;
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    const bool madeBase = CreateDirectoryA(base, nullptr);
    const std::string dir = std::string(base) + "lme_big_" + std::to_string(GetCurrentProcessId()) + "\\";
    REQUIRE(CreateDirectoryA(dir.c_str(), nullptr));
    SetEnvironmentVariableA("TMP", dir.c_str());
    SetEnvironmentVariableA("TEMP", dir.c_str());
    tb::TitleObjectList good = FixturePage();
    REQUIRE(tb::ExportTitle(good, tb::EXPORT_PROGRAMME));
    const std::string prog = tb::TitleExportPath(tb::EXPORT_PROGRAMME);
    std::vector<uint8_t> before;
    REQUIRE(tb::ReadWholeFile(prog.c_str(), &before));

    struct Case {
        const char* what;
        std::function<void(tb::TitleObjectList&)> make;
    } cases[] = {
        // 16384 x 16384 page pixels at factors 2: a 4 GB soft-shadow mask
        // (its length no longer fits the record's 32 bits).
        {"a soft-shadowed text 16384 pixels a side",
         [](tb::TitleObjectList& p) {
             p.push_back(Make(tb::TITLE_TEXT, {-16000, -16000, 384, 384}, "Big"));
             p.back()->shadowType = tb::SHADOW_SOFT;
         }},
        {"a picture stretched over 16384 x 16384",
         [](tb::TitleObjectList& p) {
             p.push_back(Make(tb::TITLE_IMAGE, {0, 0, 16384, 16384}, ""));
             const uint32_t px[4] = {0xFF0000FFu, 0xFF00FF00u, 0xFFFF0000u, 0xFFFFFFFFu};
             p.back()->SetPicture(2, 2, px);
         }},
        {"five soft-shadowed texts of 1000 x 1000 page pixels (80 MB of masks)",
         [](tb::TitleObjectList& p) {
             for (int i = 0; i < 5; ++i) {
                 p.push_back(Make(tb::TITLE_TEXT, {-300, -300, 700, 700}, "Frame"));
                 p.back()->shadowType = tb::SHADOW_SOFT;
             }
         }},
        {"a soft-shadowed text of 20,000 lines scrolling up",
         [](tb::TitleObjectList& p) {
             std::string text;
             for (int i = 0; i < 20000; ++i) text += "W\r\n";
             p.push_back(Make(tb::TITLE_TEXT, {10, 10, 60, 40}, text));
             p.back()->shadowType = tb::SHADOW_SOFT;
             p.back()->scroll = 1;
             p.back()->beginY = 0;
             p.back()->endY = -100;
         }},
    };
    for (const Case& c : cases) {
        INFO(c.what);
        tb::TitleObjectList page;
        c.make(page);
        std::vector<RECT> rects;
        for (const auto& o : page) rects.push_back(o->tracker->rect);
        CHECK(tb::BuildTitleExport(page).empty());
        MsgBoxCapture boxes;
        CHECK_FALSE(tb::ExportTitle(page, tb::EXPORT_PROGRAMME));
        CHECK(boxes.texts() == std::vector<std::string>{"Couldn't be exported !"});
        std::vector<uint8_t> after;
        REQUIRE(tb::ReadWholeFile(prog.c_str(), &after));
        CHECK((after == before));
        for (size_t i = 0; i < page.size(); ++i) CHECK(std::memcmp(&page[i]->tracker->rect, &rects[i], sizeof(RECT)) == 0);
    }
    DeleteFileA(prog.c_str());
    RemoveDirectoryA(dir.c_str());
    if (madeBase) RemoveDirectoryA(base);
    CHECK(anyBox.count() == 0);
}
