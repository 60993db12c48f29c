// The extra filters' Photo CD reader over PCDLIB32.dll (found by name beside
// the program, called by ordinal): the resolution follows the size the caller
// asks for, rows come top first, damaged files fail.
#include <catch2/catch.hpp>

#include "extra.h"
#include "fmt_helpers.h"

extern "C" int WINAPI PCDEnumReadFormats(int, FormatRecord*);

using namespace fmt_test;

namespace {

Bytes MakePac(int orientation)
{
    Bytes b(0x30000 + 768 * 512 * 3 / 2, 0);
    std::memcpy(&b[0x800], "PCD_IPI", 7);
    b[0xE02] = uint8_t(orientation);
    const struct { int w, h; uint32_t at; } levels[3] = {{192, 128, 0x2000}, {384, 256, 0xB800}, {768, 512, 0x30000}};
    for (auto& l : levels) {
        size_t at = l.at;
        for (int y = 0; y < l.h; y += 2) {
            for (int i = 0; i < 2 * l.w; ++i) b[at++] = uint8_t(l.w / 8);  // luma: tells the level
            for (int i = 0; i < l.w; ++i) b[at++] = i < l.w / 2 ? 156 : 137;          // neutral chroma
        }
    }
    return b;
}

struct Read {
    int openRc = 0, rc = 0;
    ConvertSource s;
    Bytes block;
};

Read ReadPcd(const std::string& path, int w = 0, int h = 0)
{
    Read r;
    std::memset(&r.s, 0, sizeof r.s);
    r.s.version = FX_REQUEST_VERSION;
    lstrcpynA(r.s.path, path.c_str(), sizeof r.s.path);
    r.s.width = uint16_t(w);
    r.s.height = uint16_t(h);
    r.openRc = Entry(PCDEnumReadFormats, 0).u.read.open(&r.s);
    if (r.openRc == 0) {
        r.block.assign(size_t(r.s.bytesPerRow) * r.s.height, 0);
        r.rc = r.s.readImage(&r.s, r.block.data(), LONG(r.s.bytesPerRow));
        CHECK(r.s.close(&r.s) == 0);
    } else if (r.s.close) {
        r.s.close(&r.s);
    }
    return r;
}

}  // namespace

TEST_CASE("Photo CD reader over PCDLIB32", "[extra][pcd]")
{
    std::string path = TempPath("image.pcd");
    REQUIRE(SaveFile(path, MakePac(0)));
    struct { int w, h, gotW, gotH; } cases[] = {
        {0, 0, 768, 512}, {100, 60, 192, 128}, {192, 128, 192, 128}, {193, 10, 384, 256}, {700, 500, 768, 512},
        {3000, 2000, 768, 512},  // 4Base is not decoded: Base comes instead
    };
    for (auto& c : cases) {
        INFO("asked " << c.w << " x " << c.h);
        Read r = ReadPcd(path, c.w, c.h);
        REQUIRE(r.openRc == 0);
        REQUIRE(r.rc == 0);
        CHECK(r.s.width == c.gotW);
        CHECK(r.s.height == c.gotH);
        CHECK(r.s.depth == 24);
        CHECK(r.s.formatId == 8);
        CHECK(r.s.rowOrder == 0x600);
        // Neutral grey of the level's own luma (1.3584 x luma).
        int luma = c.gotW / 8;
        CHECK(std::abs(int(r.block[0]) - int(luma * 1.3584 + 0.5)) <= 1);
        CHECK(r.block[0] == r.block[1]);
    }
    SECTION("a picture turned a quarter is asked for with its sides exchanged")
    {
        std::string turned = TempPath("turned.pcd");
        REQUIRE(SaveFile(turned, MakePac(1)));
        Read r = ReadPcd(turned, 120, 190);  // portrait: long side 190, short 120
        REQUIRE(r.openRc == 0);
        CHECK(r.s.width == 128);
        CHECK(r.s.height == 192);
        DeleteFileA(turned.c_str());
    }
    SECTION("missing, foreign and cut files")
    {
        CHECK(ReadPcd("C:\\no\\such.pcd").openRc == FX_E_OPEN);
        CHECK(ReadPcd("").openRc == FX_E_OPEN);
        std::string bmp = TempPath("not.pcd");
        REQUIRE(SaveFile(bmp, Bytes(5000, 0x42)));
        CHECK(ReadPcd(bmp).openRc == FX_E_OPEN);
        Bytes pac = MakePac(0);
        REQUIRE(SaveFile(bmp, Bytes(pac.begin(), pac.begin() + 0x31000)));
        Read r = ReadPcd(bmp);
        REQUIRE(r.openRc == 0);
        CHECK(r.rc == FX_E_READ);
        DeleteFileA(bmp.c_str());
    }
    DeleteFileA(path.c_str());
}
