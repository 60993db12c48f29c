// Conversion driver and pipeline: request layouts, memory bitmap and
// caller-rows formats end to end, negotiation, placement, depth conversion
// and every result code.
#include <catch2/catch.hpp>
#include "fx_helpers.h"
#include "driver.h"
#include "pipeline.h"
#include "membitmap.h"
#include "registry.h"
#include "msgbox_capture.h"

using namespace fxt;

namespace {

// Records every callback of a request: (code, value) and, for row codes, a
// copy of the row.
struct Recorder
{
    struct Call { int code; LONG_PTR value; std::vector<BYTE> row; };
    std::vector<Call> calls;
    size_t rowBytes = 0;
    std::vector<std::vector<BYTE>> feed;   // rows handed to a caller-rows source
    size_t fed = 0;
};

Recorder *g_rec;

int WINAPI recordCallback(void *, int code, LONG_PTR value)
{
    Recorder::Call c{ code, value, {} };
    if ((code == 1 || code == 2) && value && g_rec->rowBytes)
        c.row.assign((BYTE *)value, (BYTE *)value + g_rec->rowBytes);
    g_rec->calls.push_back(c);
    return 0;
}

int WINAPI feedCallback(void *, int code, LONG_PTR value)
{
    if (code == 2 && g_rec->fed < g_rec->feed.size()) {
        memcpy((BYTE *)value, g_rec->feed[g_rec->fed].data(), g_rec->feed[g_rec->fed].size());
        g_rec->fed++;
    }
    return 0;
}

std::vector<std::vector<BYTE>> rowsWithCode(const Recorder &r, int code)
{
    std::vector<std::vector<BYTE>> out;
    for (auto &c : r.calls)
        if (c.code == code) out.push_back(c.row);
    return out;
}

uint32_t px24(int x, int y) { return (uint32_t)((x * 16) | (y * 16) << 8 | 0x80 << 16); }

}  // namespace

TEST_CASE("request records keep their byte layout", "[layout]")
{
    // Hand-made bytes at the documented offsets read back through the fields.
    std::vector<BYTE> bytes(sizeof(ConvertSource), 0);
    auto put32 = [&](size_t off, uint32_t v) { memcpy(&bytes[off], &v, 4); };
    auto put16 = [&](size_t off, uint16_t v) { memcpy(&bytes[off], &v, 2); };
    put32(0, 0x50000);
    put32(4, 0x80100300);
    memcpy(&bytes[8], "C:\\a.bmp", 9);
    put16(376, 640);
    put16(378, 480);
    put16(380, 24);
    put16(382, 2);
    put16(388, 0x300);
    put16(390, 256);
    put32(392, 1920);
    put32(512, (uint32_t)-10);
    put32(532, 0xABCD);
    ConvertSource s;
    memcpy(&s, bytes.data(), sizeof(s));
    CHECK(s.version == 0x50000);
    CHECK(s.flags == 0x80100300);
    CHECK(std::string(s.path) == "C:\\a.bmp");
    CHECK(s.width == 640);
    CHECK(s.height == 480);
    CHECK(s.depth == 24);
    CHECK(s.formatId == 2);
    CHECK(s.rowOrder == 0x300);
    CHECK(s.paletteCount == 256);
    CHECK(s.bytesPerRow == 1920);
    CHECK(s.result == -10);
    CHECK(s.titleHeader38 == 0xABCD);

    std::vector<BYTE> tb(sizeof(ConvertTarget), 0);
    auto tput16 = [&](size_t off, uint16_t v) { memcpy(&tb[off], &v, 2); };
    auto tput32 = [&](size_t off, uint32_t v) { memcpy(&tb[off], &v, 4); };
    tput16(4, 0x8000);
    tput16(6, 0x400);
    tput16(8, 16);
    tput16(14, 320);
    tput16(16, 200);
    tput16(18, 0x8F);
    memcpy(&tb[20], "out.tga", 8);
    tput32(372, 0xFF102030);
    tb[376] = 0x7F;
    tput16(428, 14);
    tput16(430, 1);
    tput32(436, 0x1038F);
    tput32(544, 0x100000);
    ConvertTarget t;
    memcpy(&t, tb.data(), sizeof(t));
    CHECK(t.options == 0x8000);
    CHECK(t.rowOrder == 0x400);
    CHECK(t.paletteCount == 16);
    CHECK(t.width == 320);
    CHECK(t.height == 200);
    CHECK(t.depth == 0x8F);
    CHECK(std::string(t.path) == "out.tga");
    CHECK(t.fillColor == 0xFF102030);
    CHECK(t.alpha == 0x7F);
    CHECK(t.formatId == 14);
    CHECK(t.subFormat == 1);
    CHECK(t.caps == 0x1038F);
    CHECK(t.sourceFlags == 0x100000);
}

TEST_CASE("memory bitmap in, caller rows out", "[driver][callerrows]")
{
    Recorder rec;
    g_rec = &rec;
    HGLOBAL dib = makeDib(4, 3, 24, px24);
    struct Case { uint16_t order; bool topFirst; };
    auto c = GENERATE(Case{ 0, true }, Case{ 0x300, false }, Case{ 0x600, true });
    rec.calls.clear();
    rec.rowBytes = 12;
    ConvertSource s = source();
    s.hDib = dib;
    s.callback = recordCallback;
    ConvertTarget t = target();
    t.formatId = FX_ID_USER;
    t.depth = 24;
    t.rowOrder = c.order;
    t.callback = recordCallback;
    REQUIRE(ferrixConvert(&s, &t) == 0);
    CHECK(s.result == 0);
    CHECK(s.width == 4);
    CHECK(s.height == 3);
    CHECK(s.depth == 24);
    CHECK(s.formatId == FX_ID_MEMORY);
    CHECK(t.width == 4);
    CHECK(t.height == 3);

    auto ones = rowsWithCode(rec, 1), twos = rowsWithCode(rec, 2);
    REQUIRE(ones.size() == 3);
    REQUIRE(twos == ones);   // every row twice, once with each code
    for (int i = 0; i < 3; i++) {
        int y = c.topFirst ? i : 2 - i;
        for (int x = 0; x < 4; x++) {
            uint32_t v = ones[i][x * 3] | ones[i][x * 3 + 1] << 8 | ones[i][x * 3 + 2] << 16;
            CHECK(v == px24(x, y));
        }
    }
    // The source callback reports progress with code 0, starting with 0.
    bool sawProgress = false;
    for (auto &call : rec.calls) sawProgress |= call.code == 0;
    CHECK(sawProgress);
    CHECK(rec.calls.front().code == 0);
    CHECK(rec.calls.front().value == 0);
    GlobalFree(dib);
}

TEST_CASE("caller rows in, memory bitmap out", "[driver][callerrows]")
{
    Recorder rec;
    g_rec = &rec;
    // Three top-down rows of a 2-pixel 24-bit image.
    for (int y = 0; y < 3; y++) {
        std::vector<BYTE> row(8, 0);
        for (int x = 0; x < 2; x++) { row[x * 3] = (BYTE)(x + 1); row[x * 3 + 1] = (BYTE)(y + 1); row[x * 3 + 2] = 9; }
        rec.feed.push_back(row);
    }
    ConvertSource s = source();
    s.formatId = FX_ID_USER;
    s.width = 2;
    s.height = 3;
    s.depth = 24;
    s.rowOrder = 0x600;
    s.callback = feedCallback;
    HGLOBAL out = nullptr;
    ConvertTarget t = target();
    t.resultDib = &out;
    t.depth = 32;
    REQUIRE(ferrixConvert(&s, &t) == 0);
    REQUIRE(out);
    CHECK(rec.fed == 3);
    BITMAPINFOHEADER h = dibHeader(out);
    CHECK(h.biWidth == 2);
    CHECK(h.biHeight == 3);
    CHECK(h.biBitCount == 32);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 2; x++)
            CHECK(dibPixel(out, x, y) == (0xFF000000u | 9u << 16 | (uint32_t)(y + 1) << 8 | (uint32_t)(x + 1)));
    GlobalFree(out);
}

TEST_CASE("caller-rows source without a callback gives black rows", "[driver][callerrows]")
{
    ConvertSource s = source();
    s.formatId = FX_ID_USER;
    s.width = 3;
    s.height = 2;
    s.depth = 8;
    HGLOBAL out = nullptr;
    ConvertTarget t = target();
    t.resultDib = &out;
    t.depth = 8;
    REQUIRE(ferrixConvert(&s, &t) == 0);
    CHECK(dibPixel(out, 0, 0) == 0);
    CHECK(dibPixel(out, 2, 1) == 0);
    // No palette is delivered by a caller-rows source.
    RGBQUAD q = dibColour(out, 1);
    CHECK((q.rgbRed | q.rgbGreen | q.rgbBlue) == 0);
    GlobalFree(out);
}

TEST_CASE("caller-rows enumerators follow the entry contract", "[registry][callerrows]")
{
    FormatRecord r;
    memset(&r, 0xCC, sizeof(r));
    CHECK(USEREnumReadFormats(1, &r) == -1);
    CHECK(USEREnumReadFormats(-1, &r) == -1);
    CHECK(r.form == 0xCCCCCCCCu);   // left alone past the last entry
    REQUIRE(USEREnumReadFormats(0, &r) == 0);
    CHECK(r.form == FX_RECORD_FORM);
    CHECK(std::string(r.name) == "Internal");
    CHECK(r.formatId == 18);
    CHECK(r.depthMask == 143);
    CHECK(r.u.read.probe == 0);
    CHECK(r.u.read.options == 1);
    CHECK(std::string(r.u.read.extensions) == "USR");
    CHECK(r.u.read.extensions[4] == 0);
    memset(&r, 0, sizeof(r));
    REQUIRE(USEREnumWriteFormats(0, &r) == 0);
    CHECK(r.u.write.subFormat == 0);
    CHECK(r.u.write.options == 1);
    CHECK(std::string(r.u.write.extensions) == "USR");
    CHECK(USEREnumWriteFormats(1, &r) == -1);
}

TEST_CASE("negotiation of size and depth", "[driver][negotiate]")
{
    struct Case { uint16_t sw, sh, sd; uint32_t flags; uint16_t tw, th, req; int result; uint16_t ow, oh, od; };
    auto c = GENERATE(
        Case{ 640, 480, 24, FX_SRC_ASPECT_4_3, 0, 0, 24, 0, 640, 480, 24 },
        Case{ 640, 480, 24, FX_SRC_ASPECT_16_9, 0, 0, 24, 0, 640, 360, 24 },
        Case{ 400, 100, 24, FX_SRC_ASPECT_KEEP, 200, 200, 24, 0, 200, 50, 24 },
        Case{ 400, 100, 24, FX_SRC_ASPECT_KEEP, 200, 0, 24, 0, 200, 50, 24 },
        Case{ 400, 100, 24, FX_SRC_ASPECT_KEEP, 0, 50, 24, 0, 200, 50, 24 },
        Case{ 400, 100, 24, 0, 200, 0, 24, 0, 200, 100, 24 },
        Case{ 400, 300, 24, FX_SRC_ASPECT_4_3, 0, 60, 24, 0, 80, 60, 24 },
        Case{ 100, 100, 24, FX_SRC_ASPECT_16_9, 320, 320, 24, 0, 320, 180, 24 },
        Case{ 10, 10, 24, 0, 0, 0, 0, 0, 10, 10, 24 },               // 0 = every depth: the source's
        Case{ 10, 10, 24, 0, 0, 0, 0x89, 0, 10, 10, 8 },              // no 24 bits: go down to 8
        Case{ 10, 10, 1, 0, 0, 0, 0x84, FX_E_NOSOURCE, 0, 0, 0 },     // 1 bit never goes down
        Case{ 10, 10, 4, 0, 0, 0, 0xA0, 0, 10, 10, 32 },              // 4 bits go up to 32
        Case{ 10, 10, 16, 0, 0, 0, 0x82, 0, 10, 10, 24 },
        Case{ 10, 10, 32, 0, 0, 0, 0x90, 0, 10, 10, 16 },
        Case{ 10, 10, 8, 0, 0, 0, 16, 0, 10, 10, 16 });               // plain depth kept
    ConvertSource s = source();
    s.width = c.sw;
    s.height = c.sh;
    s.depth = c.sd;
    s.flags = c.flags;
    ConvertTarget t = target();
    t.width = c.tw;
    t.height = c.th;
    t.depth = c.req;
    INFO(c.sw << "x" << c.sh << " flags " << c.flags << " -> " << c.tw << "x" << c.th << " req " << c.req);
    REQUIRE(fxNegotiate(&s, &t) == c.result);
    if (c.result == 0) {
        CHECK(t.width == c.ow);
        CHECK(t.height == c.oh);
        CHECK(t.depth == c.od);
    }
}

TEST_CASE("step lists of nearest-neighbour scaling", "[pipeline]")
{
    auto positions = [](uint32_t D, uint32_t S) {
        std::vector<BYTE> steps(D);
        fxBuildSteps(steps.data(), D, S);
        std::vector<int> pos;
        int p = 0;
        for (BYTE b : steps) pos.push_back(p += b);
        return pos;
    };
    CHECK(positions(8, 4) == std::vector<int>{ 0, 0, 0, 1, 1, 2, 2, 3 });
    CHECK(positions(4, 8) == std::vector<int>{ 0, 2, 4, 6 });
    CHECK(positions(5, 5) == std::vector<int>{ 0, 1, 2, 3, 4 });   // equal sizes: every sample once
    auto big = positions(3, 1000);
    for (int p : big) CHECK(p < 1000);
}

TEST_CASE("fill rows per depth", "[pipeline]")
{
    uint32_t palette[256] = {};
    palette[0] = 0x000000;
    palette[1] = 0xFFFFFF;
    palette[2] = 0x00FF00;
    BYTE rows[2][48];
    struct Case { int depth; uint32_t colour; std::vector<BYTE> first; };
    auto c = GENERATE(Case{ 1, 0xFFFFFF, { 0xFF, 0xFF } },            // entry 1: every bit set
                      Case{ 1, 0x101010, { 0x00, 0x00 } },
                      Case{ 4, 0x00F000, { 0x22, 0x22 } },            // nearest: entry 2
                      Case{ 8, 0xEEEEEE, { 1, 1 } },
                      Case{ 16, 0x80FF0000, { 0x00, 0x7C } },         // opaque red
                      Case{ 16, 0x00FF0000, { 0x00, 0xFC } },         // transparent flag
                      Case{ 24, 0x123456, { 0x56, 0x34, 0x12 } },
                      Case{ 32, 0x80123456, { 0x56, 0x34, 0x12, 0x80 } });
    memset(rows, 0xAA, sizeof(rows));
    REQUIRE(fxFillRows(&rows[0][0], 10, 2, c.depth, 48, palette, c.colour) == 0);
    for (int r = 0; r < 2; r++)
        for (size_t i = 0; i < c.first.size(); i++) CHECK(rows[r][i] == c.first[i]);
}

TEST_CASE("placement in a larger frame: centre, fill and tile", "[pipeline]")
{
    HGLOBAL dib = makeDib(100, 50, 32, [](int x, int y) { return 0xFF000000u | (uint32_t)(x << 8) | (uint32_t)y; });
    SIZE frame = { 200, 100 };
    for (bool tile : { false, true }) {
        ConvertSource s = source();
        s.hDib = dib;
        s.flags = FX_SRC_HCENTRE | FX_SRC_VCENTRE | (tile ? FX_SRC_TILE : 0);
        HGLOBAL out = nullptr;
        ConvertTarget t = target();
        t.resultDib = &out;
        t.depth = 32;
        t.frameSize = &frame;
        t.fillColor = 0xFF00FF00;
        INFO("tile " << tile);
        REQUIRE(ferrixConvert(&s, &t) == 0);
        BITMAPINFOHEADER h = dibHeader(out);
        CHECK(h.biWidth == 200);
        CHECK(h.biHeight == 100);
        // Image at (50, 25)-(150, 75).
        CHECK(dibPixel(out, 50, 25) == 0xFF000000u);
        CHECK(dibPixel(out, 149, 74) == (0xFF000000u | 99u << 8 | 49u));
        if (!tile) {
            CHECK(dibPixel(out, 0, 0) == 0xFF00FF00);
            CHECK(dibPixel(out, 49, 40) == 0xFF00FF00);
            CHECK(dibPixel(out, 150, 40) == 0xFF00FF00);
            CHECK(dibPixel(out, 100, 24) == 0xFF00FF00);
            CHECK(dibPixel(out, 100, 75) == 0xFF00FF00);
            CHECK(dibPixel(out, 199, 99) == 0xFF00FF00);
        } else {
            // The image repeats from its placed position in both directions.
            CHECK(dibPixel(out, 0, 25) == (0xFF000000u | 50u << 8));
            CHECK(dibPixel(out, 150, 25) == 0xFF000000u);
            CHECK(dibPixel(out, 50, 0) == (0xFF000000u | 25u));
            CHECK(dibPixel(out, 50, 99) == (0xFF000000u | 24u));
            CHECK(dibPixel(out, 199, 99) == (0xFF000000u | 49u << 8 | 24u));
        }
        GlobalFree(out);
    }
    GlobalFree(dib);
}

TEST_CASE("depth conversions through the pipeline", "[pipeline][depth]")
{
    std::vector<RGBQUAD> pal2 = { { 0, 0, 0, 0 }, { 0x30, 0x20, 0x10, 0 } };
    std::vector<RGBQUAD> pal16(16), pal256(256);
    for (int i = 0; i < 16; i++) pal16[i] = RGBQUAD{ (BYTE)(i * 16), (BYTE)i, 0x44, 0 };
    for (int i = 0; i < 256; i++) pal256[i] = RGBQUAD{ (BYTE)i, (BYTE)(255 - i), 0x11, 0 };
    struct Case { int sd; int td; std::vector<RGBQUAD> *pal; uint32_t in; uint32_t out; };
    auto c = GENERATE_REF(
        Case{ 1, 24, &pal2, 1, 0x102030 },
        Case{ 1, 32, &pal2, 1, 0xFF102030 },
        Case{ 4, 24, &pal16, 5, 0x440550 },
        Case{ 8, 32, &pal256, 7, 0xFF11F807 },
        Case{ 8, 16, &pal256, 255, (0x11 >> 3) << 10 | (0 >> 3) << 5 | (255 >> 3) },
        Case{ 24, 32, nullptr, 0x123456, 0xFF123456 },
        Case{ 32, 24, nullptr, 0x80123456, 0x123456 },
        Case{ 24, 16, nullptr, 0xF8F8F8, 0x7FFF },
        Case{ 16, 24, nullptr, 0x7FFF, 0xFFFFFF },
        Case{ 16, 32, nullptr, 0x0421, 0xFF080808 },
        Case{ 24, 24, nullptr, 0xABCDEF, 0xABCDEF },
        Case{ 8, 8, &pal256, 200, 200 });
    std::vector<RGBQUAD> none;
    HGLOBAL dib = makeDib(5, 3, c.sd, [&](int, int) { return c.in; }, c.pal ? *c.pal : none);
    ConvertSource s = source();
    s.hDib = dib;
    HGLOBAL out = nullptr;
    ConvertTarget t = target();
    t.resultDib = &out;
    t.depth = (uint16_t)c.td;
    INFO(c.sd << " -> " << c.td);
    REQUIRE(ferrixConvert(&s, &t) == 0);
    CHECK(dibHeader(out).biBitCount == c.td);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 5; x++) CHECK(dibPixel(out, x, y) == c.out);
    GlobalFree(out);
    GlobalFree(dib);
}

TEST_CASE("a deep image written at 8 bits is colour-reduced in two stages", "[pipeline][depth]")
{
    // Three colours; each keeps an entry of its own after the 20 reserved.
    uint32_t colours[3] = { 0x103050, 0x806040, 0x20F010 };
    HGLOBAL dib = makeDib(6, 4, 24, [&](int x, int) { return colours[x % 3]; });
    ConvertSource s = source();
    s.hDib = dib;
    HGLOBAL out = nullptr;
    HGLOBAL inter = nullptr;
    ConvertTarget t = target();
    t.resultDib = &out;
    t.depth = 8;
    t.intermediateDib = &inter;
    REQUIRE(ferrixConvert(&s, &t) == 0);
    CHECK(dibHeader(out).biBitCount == 8);
    for (int x = 0; x < 6; x++) {
        RGBQUAD q = dibColour(out, dibPixel(out, x, 1));
        uint32_t c = colours[x % 3];
        auto widen = [](int v) { int c5 = v >> 3; return c5 * 8 + c5 / 4; };
        CHECK(q.rgbBlue == widen(c & 0xFF));
        CHECK(q.rgbGreen == widen((c >> 8) & 0xFF));
        CHECK(q.rgbRed == widen((c >> 16) & 0xFF));
    }
    // A memory bitmap source needs no first stage: nothing to hand back.
    CHECK(inter == nullptr);
    GlobalFree(out);
    GlobalFree(dib);
}

TEST_CASE("scaling a deep image through the graphics core's scaler", "[pipeline][scale]")
{
    HGLOBAL dib = makeDib(4, 4, 32, [](int, int) { return 0xFF406080u; });
    ConvertSource s = source();
    s.hDib = dib;
    HGLOBAL out = nullptr;
    ConvertTarget t = target();
    t.resultDib = &out;
    t.depth = 32;
    t.width = 8;
    t.height = 2;
    REQUIRE(ferrixConvert(&s, &t) == 0);
    BITMAPINFOHEADER h = dibHeader(out);
    CHECK(h.biWidth == 8);
    CHECK(h.biHeight == 2);
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 8; x++) CHECK(dibPixel(out, x, y) == 0xFF406080u);
    GlobalFree(out);
    GlobalFree(dib);
}

TEST_CASE("nearest-neighbour enlargement of a palette image", "[pipeline][scale]")
{
    std::vector<RGBQUAD> pal(256);
    HGLOBAL dib = makeDib(4, 2, 8, [](int x, int y) { return (uint32_t)(x + 10 * y); }, pal);
    ConvertSource s = source();
    s.hDib = dib;
    HGLOBAL out = nullptr;
    ConvertTarget t = target();
    t.resultDib = &out;
    t.depth = 8;
    t.width = 8;
    t.height = 2;
    REQUIRE(ferrixConvert(&s, &t) == 0);
    int expect[8] = { 0, 0, 0, 1, 1, 2, 2, 3 };
    for (int x = 0; x < 8; x++) {
        CHECK(dibPixel(out, x, 0) == (uint32_t)expect[x]);
        CHECK(dibPixel(out, x, 1) == (uint32_t)(expect[x] + 10));
    }
    GlobalFree(out);
    GlobalFree(dib);
}

TEST_CASE("result codes of the driver", "[driver][errors]")
{
    std::string existing = tempFile("fx_exists.zzz");
    writeFile(existing, { 1, 2, 3 });
    HGLOBAL dib = makeDib(2, 2, 24, px24);

    SECTION("-13 without a source") { CHECK(ferrixConvert(nullptr, nullptr) == FX_E_NOSOURCE); }
    SECTION("-18 a source that names no input")
    {
        ConvertSource s = source();
        CHECK(ferrixConvert(&s, nullptr) == FX_E_NOINPUT);
        CHECK(s.result == FX_E_NOINPUT);
        setPath(s.path, existing);
        s.formatId = 99;
        CHECK(ferrixConvert(&s, nullptr) == FX_E_NOINPUT);
    }
    SECTION("-8 a source file that cannot be opened")
    {
        ConvertSource s = source();
        setPath(s.path, "C:\\no\\such\\folder\\x.bmp");
        CHECK(ferrixConvert(&s, nullptr) == FX_E_OPEN);
    }
    SECTION("-10 no reader for the extension, unless every reader is probed")
    {
        ConvertSource s = source();
        setPath(s.path, existing);
        CHECK(ferrixConvert(&s, nullptr) == FX_E_NOFILTER);
    }
    SECTION("-17 a target that names no output")
    {
        ConvertSource s = source();
        s.hDib = dib;
        ConvertTarget t = target();
        CHECK(ferrixConvert(&s, &t) == FX_E_NOOUTPUT);
    }
    SECTION("-10 no writer for the target's extension")
    {
        ConvertSource s = source();
        s.hDib = dib;
        ConvertTarget t = target();
        std::string out = tempFile("fx_out.zzz");
        setPath(t.path, out);
        CHECK(ferrixConvert(&s, &t) == FX_E_NOFILTER);
        CHECK_FALSE(fileExists(out));   // the partly made target is deleted
    }
    SECTION("-8 a target file that cannot be opened")
    {
        ConvertSource s = source();
        s.hDib = dib;
        ConvertTarget t = target();
        setPath(t.path, "C:\\no\\such\\folder\\x.usr");
        CHECK(ferrixConvert(&s, &t) == FX_E_OPEN);
    }
    SECTION("-12 no writer of the format id")
    {
        ConvertSource s = source();
        s.hDib = dib;
        HGLOBAL enc = nullptr;
        ConvertTarget t = target();
        t.encodedOutput = &enc;
        t.formatId = 99;
        CHECK(ferrixConvert(&s, &t) == FX_E_NOWRITER);
        CHECK(enc == nullptr);
    }
    SECTION("-13 no depth the writer can take")
    {
        HGLOBAL one = makeDib(8, 1, 1, [](int x, int) { return (uint32_t)(x & 1); },
                              { { 0, 0, 0, 0 }, { 255, 255, 255, 0 } });
        ConvertSource s = source();
        s.hDib = one;
        HGLOBAL out = nullptr;
        ConvertTarget t = target();
        t.resultDib = &out;
        t.depth = 0x84;
        CHECK(ferrixConvert(&s, &t) == FX_E_NOSOURCE);
        CHECK(out == nullptr);   // nothing handed out on failure
        GlobalFree(one);
    }
    SECTION("-6 a source wider than 8192 pixels or of no known depth")
    {
        ConvertSource s = source();
        s.formatId = FX_ID_USER;
        s.width = 8193;
        s.height = 1;
        s.depth = 24;
        CHECK(ferrixConvert(&s, nullptr) == FX_E_UNSUPPORTED);
        s.width = 8192;
        CHECK(ferrixConvert(&s, nullptr) == 0);
        s.depth = 12;
        CHECK(ferrixConvert(&s, nullptr) == FX_E_UNSUPPORTED);
    }
    SECTION("-6 a plain depth the writer lacks")
    {
        ConvertSource s = source();
        s.hDib = dib;
        ConvertTarget t = target();
        t.formatId = FX_ID_USER;
        t.depth = 12;
        CHECK(ferrixConvert(&s, &t) == FX_E_UNSUPPORTED);
    }
    SECTION("-15 a packed DIB smaller than its header says")
    {
        HGLOBAL tiny = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 60);
        BITMAPINFOHEADER *h = (BITMAPINFOHEADER *)GlobalLock(tiny);
        h->biSize = 40;
        h->biWidth = 100;
        h->biHeight = 100;
        h->biPlanes = 1;
        h->biBitCount = 24;
        GlobalUnlock(tiny);
        ConvertSource s = source();
        s.hDib = tiny;
        CHECK(ferrixConvert(&s, nullptr) == FX_E_BUFFER);
        GlobalFree(tiny);
    }
    GlobalFree(dib);
    DeleteFileA(existing.c_str());
}

TEST_CASE("GDI bitmap and palette results", "[driver][gdi]")
{
    HGLOBAL dib = makeDib(3, 2, 24, px24);
    ConvertSource s = source();
    s.hDib = dib;
    HBITMAP bmp = nullptr;
    HPALETTE pal = (HPALETTE)1;
    ConvertTarget t = target();
    t.resultBitmap = &bmp;
    t.resultPalette = &pal;
    REQUIRE(ferrixConvert(&s, &t) == 0);
    REQUIRE(bmp);
    BITMAP bm;
    REQUIRE(GetObjectA(bmp, sizeof(bm), &bm));
    CHECK(bm.bmWidth == 3);
    CHECK(bm.bmHeight == 2);
    if (fxScreenDepth() > 8) CHECK(pal == nullptr);   // deep screens need no palette

    // And back: the bitmap read as a source gives the same pixels.
    ConvertSource s2 = source();
    s2.hBitmap = bmp;
    HGLOBAL back = nullptr;
    ConvertTarget t2 = target();
    t2.resultDib = &back;
    t2.depth = 24;
    REQUIRE(ferrixConvert(&s2, &t2) == 0);
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 3; x++) CHECK(dibPixel(back, x, y) == px24(x, y));
    GlobalFree(back);
    DeleteObject(bmp);
    if (pal && pal != (HPALETTE)1) DeleteObject(pal);
    GlobalFree(dib);
}

TEST_CASE("source flags of the pipeline", "[pipeline][flags]")
{
    std::vector<RGBQUAD> pal(256);
    for (int i = 0; i < 256; i++) pal[i] = RGBQUAD{ (BYTE)i, (BYTE)(i / 2), 200, 0 };
    struct Case { const char *name; int sd; uint32_t in; uint32_t flags; uint8_t alpha; int td; uint32_t out; };
    auto c = GENERATE_REF(
        // grey: the level in all three colours (28 B + 151 G + 77 R) / 256
        Case{ "grey 8 to 24", 8, 100, FX_SRC_GREY, 0, 24,
              0x010101u * ((28 * 100 + 151 * 50 + 77 * 200) / 256) },
        Case{ "grey 24 to 8", 24, 0x00C86432, FX_SRC_GREY, 0, 8, (28 * 0x32 + 151 * 0x64 + 77 * 0xC8) / 256 },
        Case{ "mask 24 to 8", 24, 0x123456, FX_SRC_MASK, 0, 8, 255 },
        Case{ "mask 24 to 8, target alpha", 24, 0x123456, FX_SRC_MASK | FX_SRC_TARGETALPHA, 0x40, 8, 0x40 },
        Case{ "target alpha 24 to 32", 24, 0x123456, FX_SRC_TARGETALPHA, 0x40, 32, 0x40123456 },
        Case{ "inverted alpha 32 to 32", 32, 0x30123456, FX_SRC_INVERTALPHA, 0, 32, 0xCF123456 },
        Case{ "kept alpha 32 to 32", 32, 0x30123456, FX_SRC_KEEPALPHA, 0x33, 32, 0x33123456 },
        Case{ "alpha below half sets the 16-bit flag", 32, 0x7FF8F8F8, 0, 0, 16, 0xFFFF },
        Case{ "alpha of half clears it", 32, 0x80F8F8F8, 0, 0, 16, 0x7FFF });
    INFO(c.name);
    std::vector<RGBQUAD> none;
    HGLOBAL dib = makeDib(3, 2, c.sd, [&](int, int) { return c.in; }, c.sd <= 8 ? pal : none);
    ConvertSource s = source();
    s.hDib = dib;
    s.flags = c.flags;
    HGLOBAL out = nullptr;
    ConvertTarget t = target();
    t.resultDib = &out;
    t.depth = (uint16_t)c.td;
    t.alpha = c.alpha;
    REQUIRE(ferrixConvert(&s, &t) == 0);
    CHECK(dibPixel(out, 0, 0) == c.out);
    CHECK(dibPixel(out, 2, 1) == c.out);
    GlobalFree(out);
    GlobalFree(dib);
}

TEST_CASE("line doubling, source rectangle, clip, origin and edges", "[pipeline][placement]")
{
    auto in = [](int x, int y) { return 0xFF000000u | (uint32_t)(y << 8) | (uint32_t)x; };
    HGLOBAL dib = makeDib(4, 4, 32, in);
    SECTION("line doubling: every other row, each twice")
    {
        ConvertSource s = source();
        s.hDib = dib;
        s.flags = FX_SRC_LINEDOUBLE;
        HGLOBAL out = nullptr;
        ConvertTarget t = target();
        t.resultDib = &out;
        t.depth = 32;
        REQUIRE(ferrixConvert(&s, &t) == 0);
        int from[4] = { 1, 1, 3, 3 };   // rows come bottom-up from this bitmap
        for (int y = 0; y < 4; y++) CHECK(dibPixel(out, 2, y) == in(2, from[y]));
        GlobalFree(out);
    }
    SECTION("a source rectangle converts only that part")
    {
        RECT part = { 1, 1, 3, 3 };
        ConvertSource s = source();
        s.hDib = dib;
        HGLOBAL out = nullptr;
        ConvertTarget t = target();
        t.resultDib = &out;
        t.depth = 32;
        t.width = 2;
        t.height = 2;
        t.sourceRect = &part;
        REQUIRE(ferrixConvert(&s, &t) == 0);
        for (int y = 0; y < 2; y++)
            for (int x = 0; x < 2; x++) CHECK(dibPixel(out, x, y) == in(x + 1, y + 1));
        GlobalFree(out);
    }
    SECTION("origin and clip place part of the image in the frame")
    {
        SIZE frame = { 6, 5 };
        POINT origin = { 2, 1 };
        RECT clip = { 1, 0, 4, 2 };   // image columns 1..3, rows 0..1
        ConvertSource s = source();
        s.hDib = dib;
        HGLOBAL out = nullptr;
        ConvertTarget t = target();
        t.resultDib = &out;
        t.depth = 32;
        t.frameSize = &frame;
        t.origin = &origin;
        t.clipRect = &clip;
        t.fillColor = 0xFF777777;
        REQUIRE(ferrixConvert(&s, &t) == 0);
        CHECK(dibHeader(out).biWidth == 6);
        CHECK(dibPixel(out, 2, 1) == in(1, 0));
        CHECK(dibPixel(out, 4, 2) == in(3, 1));
        CHECK(dibPixel(out, 1, 1) == 0xFF777777);
        CHECK(dibPixel(out, 5, 1) == 0xFF777777);
        CHECK(dibPixel(out, 2, 3) == 0xFF777777);
        CHECK(dibPixel(out, 0, 0) == 0xFF777777);
        GlobalFree(out);
    }
    SECTION("right and bottom edges")
    {
        SIZE frame = { 7, 6 };
        ConvertSource s = source();
        s.hDib = dib;
        s.flags = FX_SRC_RIGHT | FX_SRC_BOTTOM;
        HGLOBAL out = nullptr;
        ConvertTarget t = target();
        t.resultDib = &out;
        t.depth = 32;
        t.frameSize = &frame;
        REQUIRE(ferrixConvert(&s, &t) == 0);
        CHECK(dibPixel(out, 3, 2) == in(0, 0));
        CHECK(dibPixel(out, 6, 5) == in(3, 3));
        CHECK(dibPixel(out, 2, 2) == 0);   // fill colour 0
        GlobalFree(out);
    }
    GlobalFree(dib);
}

TEST_CASE("the palette given with a bitmap source is consumed", "[driver][gdi]")
{
    HGLOBAL dib = makeDib(2, 2, 24, px24);
    HBITMAP bmp = nullptr;
    {
        ConvertSource s = source();
        s.hDib = dib;
        ConvertTarget t = target();
        t.resultBitmap = &bmp;
        REQUIRE(ferrixConvert(&s, &t) == 0);
    }
    struct { WORD ver, n; PALETTEENTRY e[2]; } lp = { 0x300, 2, { { 0, 0, 0, 0 }, { 255, 255, 255, 0 } } };
    HPALETTE pal = CreatePalette((LOGPALETTE *)&lp);
    REQUIRE(pal);
    ConvertSource s = source();
    s.hBitmap = bmp;
    s.hPalette = pal;
    HGLOBAL out = nullptr;
    ConvertTarget t = target();
    t.resultDib = &out;
    t.depth = 24;
    REQUIRE(ferrixConvert(&s, &t) == 0);
    CHECK(s.hPalette == nullptr);
    CHECK(GetObjectType(pal) == 0);   // deleted by the library
    CHECK(dibPixel(out, 1, 1) == px24(1, 1));
    GlobalFree(out);
    DeleteObject(bmp);
    GlobalFree(dib);
}

TEST_CASE("memory bitmap details", "[membitmap]")
{
    SECTION("a caller's pixel block sets the frame from its geometry")
    {
        std::vector<RGBQUAD> pal(256);
        HGLOBAL dib = makeDib(10, 3, 8, [](int x, int) { return (uint32_t)(x + 1); }, pal);
        std::vector<BYTE> block(100 * 3, 0xEE);
        FxBlockGeometry g = { 100, 3 };
        ConvertSource s = source();
        s.hDib = dib;
        ConvertTarget t = target();
        t.pixelBlock = block.data();
        t.blockGeometry = &g;
        t.depth = 8;
        REQUIRE(ferrixConvert(&s, &t) == 0);
        CHECK(t.width == 100);
        CHECK(t.height == 3);
        CHECK(block[0] == 1);     // the image at the left of the bottom-up block
        CHECK(block[9] == 10);
        CHECK(block[10] == 0);    // the frame outside it filled (index 0)
        GlobalFree(dib);
    }
    SECTION("a packed DIB stored top-down is read top-down")
    {
        auto in = [](int x, int y) { return (uint32_t)(x | y << 8 | 0x55 << 16); };
        HGLOBAL dib = makeDib(3, 3, 24, in, {}, true);
        ConvertSource s = source();
        s.hDib = dib;
        REQUIRE(ferrixConvert(&s, nullptr) == 0);
        CHECK(s.rowOrder == 0x600);
        HGLOBAL out = nullptr;
        ConvertTarget t = target();
        t.resultDib = &out;
        t.depth = 24;
        REQUIRE(ferrixConvert(&s, &t) == 0);
        for (int y = 0; y < 3; y++) CHECK(dibPixel(out, 1, y) == in(1, y));
        GlobalFree(out);
        GlobalFree(dib);
    }
    SECTION("a 32-bit DIB made from a GDI bitmap is opaque")
    {
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        bi.bmiHeader.biWidth = 4;
        bi.bmiHeader.biHeight = 2;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        void *bits = nullptr;
        HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        REQUIRE(bmp);
        memset(bits, 0x11, 4 * 2 * 4);   // alpha 0x11
        DWORD size = 0;
        HGLOBAL dib = fxDibFromBitmap(bmp, BI_RGB, 32, nullptr, &size, nullptr);
        REQUIRE(dib);
        CHECK(size == GlobalSize(dib) + 14);
        for (int y = 0; y < 2; y++)
            for (int x = 0; x < 4; x++) CHECK(dibPixel(dib, x, y) == 0xFF111111u);
        GlobalFree(dib);
        DeleteObject(bmp);
    }
    SECTION("standard depths of a header")
    {
        struct Case { int in; int bits; DWORD colours; };
        auto c = GENERATE(Case{ 1, 1, 2 }, Case{ 2, 4, 16 }, Case{ 5, 8, 256 }, Case{ 9, 16, 0 },
                          Case{ 17, 24, 0 }, Case{ 25, 32, 0 }, Case{ 33, 33, 7 });
        BITMAPINFOHEADER h = {};
        h.biBitCount = (WORD)c.in;
        h.biClrUsed = 7;
        fxStandardDepth(&h);
        CHECK(h.biBitCount == c.bits);
        CHECK(h.biClrUsed == c.colours);
    }
}

namespace {

volatile LONG g_insideA;
volatile LONG g_overlaps;
volatile LONG g_bCalls;

int WINAPI slowRows(void *, int code, LONG_PTR value)
{
    if (code == 2) {
        InterlockedExchange(&g_insideA, 1);
        Sleep(20);
        memset((BYTE *)value, 0x11, 4);
        InterlockedExchange(&g_insideA, 0);
    }
    return 0;
}

int WINAPI checkRows(void *, int code, LONG_PTR)
{
    if (code == 2) {
        InterlockedIncrement(&g_bCalls);
        if (g_insideA) InterlockedIncrement(&g_overlaps);
    }
    return 0;
}

DWORD WINAPI convertSlow(void *)
{
    ConvertSource s = source();
    s.formatId = FX_ID_USER;
    s.width = 1;
    s.height = 10;
    s.depth = 32;
    s.callback = slowRows;
    HGLOBAL out = nullptr;
    ConvertTarget t = target();
    t.resultDib = &out;
    t.depth = 32;
    DWORD r = (DWORD)ferrixConvert(&s, &t);
    GlobalFree(out);
    return r;
}

}  // namespace

TEST_CASE("conversions from two threads run one after another", "[driver][threads]")
{
    g_insideA = g_overlaps = g_bCalls = 0;
    HANDLE a = CreateThread(nullptr, 0, convertSlow, nullptr, 0, nullptr);
    Sleep(30);   // thread A is inside its conversion
    ConvertSource s = source();
    s.formatId = FX_ID_USER;
    s.width = 1;
    s.height = 10;
    s.depth = 32;
    s.callback = checkRows;
    HGLOBAL out = nullptr;
    ConvertTarget t = target();
    t.resultDib = &out;
    t.depth = 32;
    CHECK(ferrixConvert(&s, &t) == 0);
    WaitForSingleObject(a, INFINITE);
    DWORD ra = 1;
    GetExitCodeThread(a, &ra);
    CloseHandle(a);
    CHECK(ra == 0);
    CHECK(g_bCalls == 10);
    CHECK(g_overlaps == 0);
    GlobalFree(out);
}

TEST_CASE("a 1-bit DIB becomes a monochrome bitmap", "[driver][gdi]")
{
    HGLOBAL dib = makeDib(10, 2, 1, [](int x, int y) { return (uint32_t)((x + y) & 1); },
                          { { 0, 0, 0, 0 }, { 255, 255, 255, 0 } });
    ConvertSource s = source();
    s.hDib = dib;
    HBITMAP bmp = nullptr;
    ConvertTarget t = target();
    t.resultBitmap = &bmp;
    t.depth = 1;
    REQUIRE(ferrixConvert(&s, &t) == 0);
    REQUIRE(bmp);
    BITMAP bm;
    REQUIRE(GetObjectA(bmp, sizeof(bm), &bm));
    CHECK(bm.bmBitsPixel == 1);
    CHECK(bm.bmWidth == 10);
    BYTE bits[8] = {};
    REQUIRE(GetBitmapBits(bmp, sizeof(bits), bits) == 4);   // rows of 16 bits, top-down
    CHECK(bits[0] == 0x55);   // row 0: 0101010101
    CHECK((bits[1] & 0xC0) == 0x40);
    CHECK(bits[2] == 0xAA);   // row 1: 1010101010
    CHECK((bits[3] & 0xC0) == 0x80);
    DeleteObject(bmp);
    GlobalFree(dib);
}

TEST_CASE("compositing over the default background while scaling", "[pipeline][scale]")
{
    HGLOBAL dib = makeDib(4, 4, 32, [](int x, int) { return x < 2 ? 0x80FF0000u : 0x00000000u; });
    ConvertSource s = source();
    s.hDib = dib;
    s.flags = FX_SRC_BACKGROUND;
    HGLOBAL out = nullptr;
    ConvertTarget t = target();
    t.resultDib = &out;
    t.depth = 32;
    REQUIRE(ferrixConvert(&s, &t) == 0);
    uint32_t half = dibPixel(out, 0, 1), clear = dibPixel(out, 3, 1);
    CHECK((half >> 24) == 0xFF);    // the result is opaque
    CHECK((clear >> 24) == 0xFF);
    CHECK(((half >> 16) & 0xFF) > ((clear >> 16) & 0xFF));   // red shows where the image has it
    GlobalFree(out);
    GlobalFree(dib);
}

TEST_CASE("a 1-bit source rectangle starting inside a byte keeps its pixels", "[pipeline][depth]")
{
    auto bit = [](int x, int) { return (uint32_t)((0xB3A5u >> (15 - x)) & 1); };
    HGLOBAL dib = makeDib(16, 1, 1, bit, { { 0, 0, 0, 0 }, { 255, 255, 255, 0 } });
    RECT part = { 3, 0, 13, 1 };
    ConvertSource s = source();
    s.hDib = dib;
    HGLOBAL out = nullptr;
    ConvertTarget t = target();
    t.resultDib = &out;
    t.depth = 1;
    t.width = 10;
    t.height = 1;
    t.sourceRect = &part;
    REQUIRE(ferrixConvert(&s, &t) == 0);
    for (int x = 0; x < 10; x++) CHECK(dibPixel(out, x, 0) == bit(x + 3, 0));
    GlobalFree(out);
    GlobalFree(dib);
}

TEST_CASE("corrupt DIB headers are refused, never read past", "[membitmap][errors]")
{
    struct Case { const char *name; int32_t size, width, height; int bits; uint32_t colours; size_t block; };
    auto c = GENERATE(
        Case{ "header size 0", 0, 4, 4, 24, 0, 200 },
        Case{ "header size past the block", 4000, 4, 4, 24, 0, 200 },
        Case{ "negative width", 40, -4, 4, 24, 0, 200 },
        Case{ "huge width", 40, 100000, 1, 24, 0, 200 },
        Case{ "most negative height", 40, 4, INT32_MIN, 24, 0, 200 },
        Case{ "colour table past the block", 40, 4, 4, 8, 100000, 200 },
        Case{ "rows past the block", 40, 64, 64, 32, 0, 200 },
        Case{ "no known depth", 40, 4, 4, 3, 0, 400 },
        Case{ "zero depth", 40, 4, 4, 0, 0, 400 });
    INFO(c.name);
    HGLOBAL g = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, c.block);
    BITMAPINFOHEADER *h = (BITMAPINFOHEADER *)GlobalLock(g);
    h->biSize = (DWORD)c.size;
    h->biWidth = c.width;
    h->biHeight = c.height;
    h->biPlanes = 1;
    h->biBitCount = (WORD)c.bits;
    h->biClrUsed = c.colours;
    GlobalUnlock(g);
    ConvertSource s = source();
    s.hDib = g;
    HGLOBAL out = nullptr;
    ConvertTarget t = target();
    t.resultDib = &out;
    CHECK(ferrixConvert(&s, &t) < 0);
    CHECK(out == nullptr);
    GlobalFree(g);
}
