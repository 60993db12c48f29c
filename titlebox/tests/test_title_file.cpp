// Title objects, their version-10 record and the title file (.lmf).
#include <catch2/catch.hpp>

#include <cstring>

#include "msgbox_capture.h"
#include "title_file.h"

using namespace titlebox;

namespace {

using Bytes = std::vector<uint8_t>;

void I32(Bytes& b, int32_t v)
{
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(uint32_t(v) >> (8 * i)));
}

std::unique_ptr<TitleObject> TextObject(const std::string& text)
{
    TitleDefaults d;
    d.fontSize = 20;
    d.bold = 1;
    d.faceName = "DejaVu Sans";
    std::unique_ptr<TitleObject> o(new TitleObject(d, PageScale()));
    o->tracker.reset(new RectTracker);
    o->tracker->rect = {10, 20, 110, 70};
    o->text = text;
    o->beginX = 1;
    o->beginY = 2;
    o->endX = 3;
    o->endY = 4;
    o->duration = 2.5f;
    o->motion = 1;
    o->shadowType = SHADOW_SOFT;
    return o;
}

// The record written out field by field from the table, for a text object.
Bytes RecordBytes(const TitleObject& o, const char* stored, int32_t n)
{
    Bytes b(reinterpret_cast<const uint8_t*>(&o.font), reinterpret_cast<const uint8_t*>(&o.font) + 60);
    for (int32_t v : {o.alignment, o.imageOpacity, int32_t(o.textColour), int32_t(o.shadowColour), o.shadowDepthX,
                      o.shadowDepthY, o.border, o.borderWidth, int32_t(o.borderColour), o.textBack,
                      int32_t(o.textBackColour), o.textBackOpacity, o.beginX, o.beginY, o.endX, o.endY})
        I32(b, v);
    int32_t dur;
    std::memcpy(&dur, &o.duration, 4);
    I32(b, dur);
    for (int32_t v : {o.motion, o.scroll, o.posOption, o.shadowType, o.lineSpacing, int32_t(o.tracker->rect.left),
                      int32_t(o.tracker->rect.top), int32_t(o.tracker->rect.right), int32_t(o.tracker->rect.bottom), 0,
                      int32_t(o.type), int32_t(o.alphaMode), int32_t(o.outlineColour), o.outlineWidth, o.outline,
                      o.fontSize})
        I32(b, v);
    I32(b, n);
    for (int32_t i = 0; i < n; ++i) b.push_back(size_t(i) < std::strlen(stored) ? uint8_t(stored[i]) : 0);
    return b;
}

}  // namespace

TEST_CASE("New objects take the default style", "[object]")
{
    TitleDefaults d;
    std::unique_ptr<TitleObject> o(new TitleObject(d, PageScale{1.5f, 2.0f}));
    CHECK(o->font.lfHeight == -21);
    CHECK(o->font.lfWeight == 400);
    CHECK((o->font.lfCharSet == 1 && o->font.lfOutPrecision == 5 && o->font.lfQuality == 4 &&
           o->font.lfPitchAndFamily == 0x22 && o->font.lfEscapement == 0));
    CHECK(std::string(o->font.lfFaceName) == "Arial");
    CHECK((o->selected == 1 && o->type == TITLE_TEXT && o->alphaMode == 0 && o->hasTransparency == 0));
    CHECK((o->hFactor == 1.5f && o->vFactor == 2.0f));
    CHECK((o->shadowColour == 0xC8C8C8 && o->outlineColour == 0xFF0000 && o->textBack == 1 &&
           o->textBackOpacity == 50 && o->lineSpacing == 100 && o->shadowDepthX == 4));
    d.bold = 1;
    d.vertical = 1;
    d.alignment = 7;  // not taken
    d.fontSize = 30;
    std::unique_ptr<TitleObject> b(new TitleObject(d, PageScale()));
    CHECK((b->font.lfWeight == 700 && b->font.lfEscapement == -900 && b->alignment == 0 && b->font.lfHeight == -40));
    CHECK(Opacity255(100) == 255);
    CHECK(Opacity255(50) == 127);
}

TEST_CASE("The version-10 record and the title file, byte by byte", "[lmf]")
{
    SECTION("strings are stored in multiples of 8 with at least one zero byte")
    {
        struct Case {
            const char* text;
            int32_t n;
        } cases[] = {{"", 8}, {"1234567", 8}, {"12345678", 16}, {"Hello\r\nWorld", 16}};
        for (const Case& c : cases) {
            TitleObjectList page;
            page.push_back(TextObject(c.text));
            const Bytes got = StoreTitleFile(page);
            Bytes want = {'L', 'M', 'F', 1, 0, 0, 0};
            const Bytes rec = RecordBytes(*page[0], c.text, c.n);
            want.insert(want.end(), rec.begin(), rec.end());
            CHECK(got == want);
        }
    }
    SECTION("an empty page is seven bytes")
    {
        CHECK(StoreTitleFile(TitleObjectList()) == Bytes{'L', 'M', 'F', 0, 0, 0, 0});
    }
    SECTION("a hand-made record reads back")
    {
        std::unique_ptr<TitleObject> o = TextObject("Two\r\nlines");
        o->textColour = 0x123456;
        Bytes file = {'L', 'M', 'F', 1, 0, 0, 0};
        Bytes rec = RecordBytes(*o, "Two\r\nlines", 16);
        rec[60 + 22 * 4 + 16] = 1;  // selected as 1 on disk
        file.insert(file.end(), rec.begin(), rec.end());
        TitleObjectList page;
        REQUIRE(LoadTitleFile(file, TitleDefaults(), PageScale(), &page) == TITLE_LOADED);
        REQUIRE(page.size() == 1);
        const TitleObject& l = *page[0];
        CHECK(l.selected == 1);
        CHECK(l.text == "Two\r\nlines");
        CHECK(l.textColour == 0x123456);
        CHECK((l.tracker->rect.left == 10 && l.tracker->rect.bottom == 70));
        CHECK((l.beginX == 1 && l.endY == 4 && l.duration == 2.5f && l.motion == 1 && l.shadowType == 3));
        CHECK((l.font.lfWeight == 700 && std::string(l.font.lfFaceName) == "DejaVu Sans"));
    }
}

TEST_CASE("Pages survive a save and a load", "[lmf]")
{
    TitleObjectList page;
    page.push_back(TextObject("First\r\nsecond"));
    TitleDefaults d;
    std::unique_ptr<TitleObject> img(new TitleObject(d, PageScale()));
    img->tracker.reset(new RectTracker);
    img->tracker->rect = {5, 6, 45, 26};
    img->type = TITLE_IMAGE;
    img->alphaMode = ALPHA_COLOUR_KEY;
    img->hasTransparency = 1;
    img->transparentColour = 0x00FF00;
    std::vector<uint32_t> px(7 * 3);
    for (size_t i = 0; i < px.size(); ++i) px[i] = 0x80000000u | uint32_t(i * 0x010203);
    img->SetPicture(7, 3, px.data());
    page.push_back(std::move(img));
    page.push_back(TextObject(""));

    char dir[MAX_PATH], name[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    GetTempFileNameA(dir, "lmf", 0, name);
    REQUIRE(SaveTitleFile(name, page));
    TitleObjectList back;
    REQUIRE(OpenTitleFile(name, d, PageScale(), &back) == TITLE_LOADED);
    REQUIRE(back.size() == 3);
    CHECK(back[1]->pixels == px);
    CHECK((back[1]->picture.bmWidth == 7 && back[1]->picture.bmHeight == 3 && back[1]->alphaMode == 1 &&
           back[1]->transparentColour == 0x00FF00 && back[1]->selected == 0));
    CHECK(back[0]->text == "First\r\nsecond");
    // Saved again: the same bytes.
    CHECK(StoreTitleFile(back) == StoreTitleFile(page));
    DeleteFileA(name);
}

TEST_CASE("A clip whose .cga file is missing is kept without its clip", "[lmf]")
{
    TitleObjectList page;
    page.push_back(TextObject("Z:\\no\\such\\clip.cga"));
    page[0]->type = TITLE_CLIP;
    const Bytes file = StoreTitleFile(page);
    TitleObjectList back;
    MsgBoxCapture boxes;
    REQUIRE(LoadTitleFile(file, TitleDefaults(), PageScale(), &back) == TITLE_LOADED);
    REQUIRE(back.size() == 1);
    CHECK(back[0]->clip == nullptr);
    REQUIRE(boxes.count() >= 1);
    CHECK(boxes.boxes().back().text == "Failed to load CGA file, \n Z:\\no\\such\\clip.cga");
    CHECK(boxes.boxes().back().caption == "Lumicard Error");
}

TEST_CASE("Damaged title files are refused and add nothing", "[bad]")
{
    TitleObjectList page;
    page.push_back(TextObject("abc"));
    std::unique_ptr<TitleObject> img(new TitleObject(TitleDefaults(), PageScale()));
    img->tracker.reset(new RectTracker);
    img->type = TITLE_IMAGE;
    std::vector<uint32_t> px(4 * 4, 0xFF112233);
    img->SetPicture(4, 4, px.data());
    page.push_back(std::move(img));
    const Bytes good = StoreTitleFile(page);

    SECTION("wrong letters")
    {
        Bytes b = good;
        b[2] = 'X';
        TitleObjectList out;
        out.push_back(TextObject("kept"));
        MsgBoxCapture boxes;
        CHECK(LoadTitleFile(b, TitleDefaults(), PageScale(), &out) == TITLE_NOT_OURS);
        CHECK(out.size() == 1);
        REQUIRE(boxes.count() == 1);
        CHECK(boxes.texts()[0] == "Not a Lumicard file! Unknown format!");
    }
    SECTION("every cut")
    {
        for (size_t cut = 3; cut < good.size(); ++cut) {
            TitleObjectList out;
            INFO("cut at " << cut);
            CHECK(LoadTitleFile(Bytes(good.begin(), good.begin() + cut), TitleDefaults(), PageScale(), &out) ==
                  TITLE_DAMAGED);
            CHECK(out.empty());
        }
    }
    SECTION("oversized counts, pictures and strings")
    {
        struct Case {
            size_t at;
            int32_t v;
        } cases[] = {{3, 0x7FFFFFFF}, {3, -1}, {7 + 192, 0x40000000}, {7 + 192, -9}};
        for (const Case& c : cases) {
            Bytes b = good;
            std::memcpy(&b[c.at], &c.v, 4);
            TitleObjectList out;
            CHECK(LoadTitleFile(b, TitleDefaults(), PageScale(), &out) == TITLE_DAMAGED);
        }
        // The picture's width in the second record.
        // The second record starts after the first (192 fixed bytes, n, "abc"
        // in 8); its picture width sits after two words and the BITMAP's type.
        const size_t second = 7 + 192 + 4 + 8;
        Bytes b = good;
        const int32_t huge = 100000;
        REQUIRE(std::memcmp(&b[second + 192 + 8 + 4], "\x04\0\0\0", 4) == 0);
        std::memcpy(&b[second + 192 + 8 + 4], &huge, 4);
        TitleObjectList out;
        CHECK(LoadTitleFile(b, TitleDefaults(), PageScale(), &out) == TITLE_DAMAGED);
    }
    SECTION("mutated files never crash the reader")
    {
        uint32_t s = 777;
        auto rnd = [&] { return s = s * 1664525u + 1013904223u, s >> 8; };
        char env[32] = {};
        const int rounds = GetEnvironmentVariableA("FUZZ_ROUNDS", env, sizeof env) ? atoi(env) : 2000;
        MsgBoxCapture boxes;
        int loaded = 0;
        for (int i = 0; i < rounds; ++i) {
            Bytes b = good;
            for (int e = 0, n = 1 + rnd() % 4; e < n; ++e) {
                const size_t at = 3 + rnd() % (b.size() - 3);  // the letters stay
                if (rnd() % 4 == 0)
                    b.resize(at);
                else
                    b[at] = uint8_t(rnd());
                if (b.size() <= 3) break;
            }
            TitleObjectList out;
            loaded += LoadTitleFile(b, TitleDefaults(), PageScale(), &out) == TITLE_LOADED;
        }
        CHECK(loaded > 0);
    }
}
