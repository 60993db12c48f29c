// The extra filters' movie-thumbnail reader over quib.dll (found by name
// beside the program): the "Thumbnail" layer of a movie file comes out
// bottom-up, composed over black; files without one, or without a name to
// open, are refused with -7.
#include <catch2/catch.hpp>

#include <cstdlib>

#include "extra.h"
#include "fmt_helpers.h"
#include "pixmoor.h"

extern "C" {
int WINAPI VEXAEnumReadFormats(int, FormatRecord*);
BYTE* PIXAPI EncodeVexaLayer(Layer* layer, BYTE* buffer, LONG size, LONG kind, Layer* previous);
}

using namespace fmt_test;

namespace {

DWORD Colour(int x, int y)
{
    DWORD alpha = (x >= 32 && y < 16) ? 0 : 0xFF000000u;  // a transparent corner
    return alpha | DWORD(40 + (x / 16) * 50) << 16 | DWORD(30 + (y / 16) * 70) << 8 | 0x60;
}

Bytes MovieFile(const char* name, int w, int h)
{
    Layer* l = CreateLayer(w, h, 1);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) SetPelInLayer(l, x, y, Colour(x, y));
    BYTE* c = EncodeVexaLayer(l, nullptr, 0, 2, nullptr);
    DeleteLayer(l);
    if (!c) return Bytes();
    uint32_t size = c[0] | (c[1] << 8) | (c[2] << 16) | (uint32_t(c[3]) << 24);
    Bytes b;
    Str(b, "QUIB");
    Le32(b, 1);
    Le32(b, 1);
    Bytes n(32, 0);
    std::memcpy(n.data(), name, std::strlen(name));
    Append(b, n);
    Le32(b, uint32_t(w));
    Le32(b, uint32_t(h));
    Le32(b, 12 + 48);
    Le32(b, 8 + size);
    b.insert(b.end(), c, c + 8 + size);
    M32_free(c);
    return b;
}

struct Read {
    int openRc = 0, rc = 0;
    ConvertSource s;
    Bytes block;
};

Read ReadFile(const std::string& path)
{
    Read r;
    std::memset(&r.s, 0, sizeof r.s);
    r.s.version = FX_REQUEST_VERSION;
    lstrcpynA(r.s.path, path.c_str(), sizeof r.s.path);
    r.openRc = Entry(VEXAEnumReadFormats, 0).u.read.open(&r.s);
    if (r.openRc == 0) {
        r.block.assign(size_t(r.s.bytesPerRow) * r.s.height, 0);
        r.rc = r.s.readImage(&r.s, r.block.data(), LONG(r.s.bytesPerRow));
        r.s.close(&r.s);
    }
    return r;
}

}  // namespace

TEST_CASE("movie thumbnails through quib", "[extra][vexa]")
{
    std::string path = TempPath("thumb.vexa");
    REQUIRE(SaveFile(path, MovieFile("Thumbnail", 64, 40)));
    Read r = ReadFile(path);
    REQUIRE(r.openRc == 0);
    REQUIRE(r.rc == 0);
    CHECK(r.s.width == 64);
    CHECK(r.s.height == 40);
    CHECK(r.s.depth == 32);
    CHECK(r.s.formatId == 16);
    CHECK(r.s.bytesPerRow == 256u);
    CHECK(r.s.priv == nullptr);
    int worst = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 64; ++x) {
            // Row 0 of the block is the picture's bottom row.
            DWORD p = GetLe32(r.block, (size_t(39 - y) * 64 + x) * 4);
            DWORD want = Colour(x, y);
            if (!(want >> 24)) {
                CHECK((p & 0xFFFFFF) == 0);  // transparent over black
                continue;
            }
            for (int s = 0; s < 24; s += 8) {
                int d = std::abs(int((p >> s) & 255) - int((want >> s) & 255));
                if (d > worst) worst = d;
            }
        }
    CHECK(worst <= 8);
    DeleteFileA(path.c_str());

    SECTION("no thumbnail layer, no file, no name: -7")
    {
        std::string other = TempPath("poster.vexa");
        REQUIRE(SaveFile(other, MovieFile("Poster", 16, 16)));
        CHECK(ReadFile(other).openRc == FX_E_READ);
        DeleteFileA(other.c_str());
        CHECK(ReadFile("C:\\no\\such\\movie.vexa").openRc == FX_E_READ);
        CHECK(ReadFile("").openRc == FX_E_READ);
    }
}
