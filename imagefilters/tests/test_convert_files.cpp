// The driver on real files: choice by extension and by content probe,
// encoded output in memory, write errors, negotiate-only requests, the
// source copy in memory, and a two-stage conversion with colour reduction.
#include <catch2/catch.hpp>
#include "fx_helpers.h"

using namespace fxt;

namespace {

// The BMP filter is referenced so that this program links it in.
const FxEnumFormats kBmp[] = { BMPEnumReadFormats, BMPEnumWriteFormats };

uint32_t colourAt(int x, int y) { return (uint32_t)(x * 40) | (uint32_t)(y * 50) << 8 | 0x90u << 16; }

// Writes a 24-bit BMP file of w x h through the driver.
int writeBmp(const std::string &path, int w, int h)
{
    HGLOBAL dib = makeDib(w, h, 24, colourAt);
    ConvertSource s = source();
    s.hDib = dib;
    ConvertTarget t = target();
    t.depth = 24;
    setPath(t.path, path);
    int r = ferrixConvert(&s, &t);
    GlobalFree(dib);
    return r;
}

HGLOBAL readToDib(const std::string &path, int depth, int *result, uint32_t flags = 0)
{
    ConvertSource s = source();
    setPath(s.path, path);
    s.flags = flags;
    HGLOBAL out = nullptr;
    ConvertTarget t = target();
    t.resultDib = &out;
    t.depth = (uint16_t)depth;
    *result = ferrixConvert(&s, &t);
    return out;
}

}  // namespace

TEST_CASE("BMP file round trip chosen by extension and by probe", "[driver][files]")
{
    REQUIRE(kBmp[0]);
    std::string path = tempFile("fx_rt.bmp");
    REQUIRE(writeBmp(path, 7, 5) == 0);
    auto bytes = readFile(path);
    REQUIRE(bytes.size() == 54 + 5 * 24);
    CHECK(bytes[0] == 'B');

    int r;
    HGLOBAL dib = readToDib(path, 24, &r);
    REQUIRE(r == 0);
    for (int y = 0; y < 5; y++)
        for (int x = 0; x < 7; x++) CHECK(dibPixel(dib, x, y) == colourAt(x, y));
    GlobalFree(dib);

    // Without an extension the content decides.
    std::string bare = tempFile("fx_rt_noext");
    writeFile(bare, bytes);
    ConvertSource s = source();
    setPath(s.path, bare);
    REQUIRE(ferrixConvert(&s, nullptr) == 0);
    CHECK(s.formatId == FX_ID_BMP);
    CHECK(s.width == 7);

    // A BMP under a name no reader lists: -10, unless every reader is probed.
    std::string odd = tempFile("fx_rt.qqq");
    writeFile(odd, bytes);
    ConvertSource s2 = source();
    setPath(s2.path, odd);
    CHECK(ferrixConvert(&s2, nullptr) == FX_E_NOFILTER);
    s2 = source();
    setPath(s2.path, odd);
    s2.flags = FX_SRC_PROBEALL;
    CHECK(ferrixConvert(&s2, nullptr) == 0);
    CHECK(s2.formatId == FX_ID_BMP);

    // The reader's own refusal comes back when nothing else is tried.
    std::string junk = tempFile("fx_junk.bmp");
    writeFile(junk, std::vector<BYTE>(64, 'x'));
    ConvertSource s3 = source();
    setPath(s3.path, junk);
    CHECK(ferrixConvert(&s3, nullptr) == FX_E_FORMAT);

    for (auto &p : { path, bare, odd, junk }) DeleteFileA(p.c_str());
}

TEST_CASE("encoded output in memory and write errors", "[driver][files]")
{
    HGLOBAL dib = makeDib(4, 4, 24, colourAt);
    SECTION("the library makes the block and states its length")
    {
        ConvertSource s = source();
        s.hDib = dib;
        HGLOBAL enc = nullptr;
        ConvertTarget t = target();
        t.encodedOutput = &enc;
        t.formatId = FX_ID_BMP;
        t.depth = 24;
        REQUIRE(ferrixConvert(&s, &t) == 0);
        REQUIRE(enc);
        CHECK(t.encodedLength == 54 + 4 * 12);
        BYTE *p = (BYTE *)GlobalLock(enc);
        CHECK(p[0] == 'B');
        CHECK(p[1] == 'M');
        GlobalUnlock(enc);
        // The encoded bytes read back as a BMP file image in memory.
        ConvertSource back = source();
        back.pixels = (BYTE *)GlobalLock(enc);
        back.encodedLength = t.encodedLength;
        back.formatId = FX_ID_BMP;
        HGLOBAL out = nullptr;
        ConvertTarget t2 = target();
        t2.resultDib = &out;
        t2.depth = 24;
        REQUIRE(ferrixConvert(&back, &t2) == 0);
        CHECK(dibPixel(out, 3, 3) == colourAt(3, 3));
        GlobalUnlock(enc);
        GlobalFree(out);
        GlobalFree(enc);
    }
    SECTION("-19 when the caller's block is too small")
    {
        ConvertSource s = source();
        s.hDib = dib;
        HGLOBAL enc = GlobalAlloc(GMEM_MOVEABLE, 20);
        HGLOBAL given = enc;
        ConvertTarget t = target();
        t.encodedOutput = &enc;
        t.formatId = FX_ID_BMP;
        t.depth = 24;
        CHECK(ferrixConvert(&s, &t) == FX_E_WRITE);
        CHECK(enc == given);   // the caller's handle is untouched
        GlobalFree(enc);
    }
    GlobalFree(dib);
}

TEST_CASE("requests that negotiate only, append, or copy the source", "[driver][files]")
{
    std::string src = tempFile("fx_src.bmp");
    REQUIRE(writeBmp(src, 6, 3) == 0);
    std::string out = tempFile("fx_neg.bmp");
    DeleteFileA(out.c_str());

    SECTION("negotiate only opens no target file")
    {
        ConvertSource s = source();
        setPath(s.path, src);
        s.flags = FX_SRC_NEGOTIATE | FX_SRC_ASPECT_16_9;
        ConvertTarget t = target();
        setPath(t.path, out);
        REQUIRE(ferrixConvert(&s, &t) == 0);
        CHECK_FALSE(fileExists(out));
        CHECK(t.formatId == FX_ID_BMP);
        CHECK(t.width == 6);
        CHECK(t.height == 6 * 9 / 16);
        CHECK(t.sourceFlags == s.flags);   // copied for a current request
    }
    SECTION("a version-0 request leaves the target's copy of the flags alone")
    {
        ConvertSource s = source();
        s.version = 0;
        setPath(s.path, src);
        s.flags = FX_SRC_NEGOTIATE;
        ConvertTarget t = target();
        t.sourceFlags = 0x1234;
        setPath(t.path, out);
        REQUIRE(ferrixConvert(&s, &t) == 0);
        CHECK(t.sourceFlags == 0x1234);
    }
    SECTION("the whole source file is read into memory when asked")
    {
        ConvertSource s = source();
        setPath(s.path, src);
        HGLOBAL copy = nullptr;
        HGLOBAL dib = nullptr;
        ConvertTarget t = target();
        t.sourceCopy = &copy;
        t.resultDib = &dib;
        t.depth = 24;
        REQUIRE(ferrixConvert(&s, &t) == 0);
        auto bytes = readFile(src);
        REQUIRE(copy);
        CHECK(t.sourceCopyLength == bytes.size());
        CHECK(memcmp(GlobalLock(copy), bytes.data(), bytes.size()) == 0);
        GlobalUnlock(copy);
        CHECK(dibPixel(dib, 5, 2) == colourAt(5, 2));
        GlobalFree(copy);
        GlobalFree(dib);
    }
    SECTION("a failed conversion deletes the partly written target")
    {
        ConvertSource s = source();
        setPath(s.path, src);
        ConvertTarget t = target();
        setPath(t.path, out);
        t.depth = 16;   // the plain BMP entry writes 1, 4, 8 or 24 bits
        CHECK(ferrixConvert(&s, &t) == FX_E_UNSUPPORTED);
        CHECK_FALSE(fileExists(out));
    }
    DeleteFileA(src.c_str());
    DeleteFileA(out.c_str());
}

TEST_CASE("a 24-bit file to an 8-bit-only writer goes through two stages", "[driver][files][depth]")
{
    // Three colours, each kept exactly at 5-bit precision.
    uint32_t colours[3] = { 0x183952, 0x846B4A, 0x21FF10 };
    HGLOBAL dib = makeDib(9, 3, 24, [&](int x, int) { return colours[x % 3]; });
    std::string src = tempFile("fx_deep.bmp"), out = tempFile("fx_deep.rle");
    {
        ConvertSource s = source();
        s.hDib = dib;
        ConvertTarget t = target();
        t.depth = 24;
        setPath(t.path, src);
        REQUIRE(ferrixConvert(&s, &t) == 0);
    }
    ConvertSource s = source();
    setPath(s.path, src);
    HGLOBAL inter = nullptr;
    ConvertTarget t = target();
    setPath(t.path, out);      // "RLE": the first entry writes 8 bits only
    t.intermediateDib = &inter;
    REQUIRE(ferrixConvert(&s, &t) == 0);
    CHECK(t.depth == 8);
    CHECK(t.formatId == FX_ID_BMP);
    CHECK(t.subFormat == 1);
    CHECK(s.formatId == FX_ID_BMP);   // restored after the first stage
    REQUIRE(inter);                    // the first stage's DIB, handed over
    CHECK(dibHeader(inter).biBitCount == 24);
    GlobalFree(inter);

    int r;
    HGLOBAL back = readToDib(out, 24, &r);
    REQUIRE(r == 0);
    for (int x = 0; x < 9; x++) CHECK(dibPixel(back, x, 1) == colours[x % 3]);
    GlobalFree(back);
    GlobalFree(dib);
    DeleteFileA(src.c_str());
    DeleteFileA(out.c_str());
}

TEST_CASE("a tiled image on a file writer still writes every row", "[driver][files][placement]")
{
    HGLOBAL dib = makeDib(2, 2, 24, colourAt);
    SIZE frame = { 6, 6 };
    std::string path = tempFile("fx_tile.bmp");
    ConvertSource s = source();
    s.hDib = dib;
    s.flags = FX_SRC_HCENTRE | FX_SRC_VCENTRE | FX_SRC_TILE;
    ConvertTarget t = target();
    t.depth = 24;
    t.frameSize = &frame;
    t.fillColor = 0x00102030;
    setPath(t.path, path);
    REQUIRE(ferrixConvert(&s, &t) == 0);
    CHECK(readFile(path).size() == 54 + 6 * 20);   // six full rows
    int r;
    HGLOBAL back = readToDib(path, 24, &r);
    REQUIRE(r == 0);
    // The image at (2, 2) repeats across its rows.
    for (int x = 0; x < 6; x++) {
        CHECK(dibPixel(back, x, 2) == colourAt(x % 2, 0));
        CHECK(dibPixel(back, x, 3) == colourAt(x % 2, 1));
    }
    // Rows outside it hold the fill colour.
    CHECK(dibPixel(back, 0, 0) == 0x102030);
    CHECK(dibPixel(back, 5, 5) == 0x102030);
    GlobalFree(back);
    GlobalFree(dib);
    DeleteFileA(path.c_str());
}
