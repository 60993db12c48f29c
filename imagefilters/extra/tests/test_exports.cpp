// The extra filters used the way a program uses them: Ferrix32.dll and
// Ferrix32X.dll loaded by name, ferrixConvert and the enumerators found by
// name, and the open function an enumerator hands out preset in the request
// (no registry lists this library, and no extension leads to it).
#define NOMINMAX
#include <catch2/catch.hpp>

#include <windows.h>
#include <algorithm>
#include <cstdlib>
#include <string>

#include "ferrix.h"
#include "ff_tool.h"
#include "fx_helpers.h"

using namespace fxt;

namespace {

typedef int(WINAPI *ConvertFn)(ConvertSource *, ConvertTarget *);
typedef int(WINAPI *EnumFn)(int, FormatRecord *);

struct Libraries {
    HMODULE core = LoadLibraryA("Ferrix32.dll");
    HMODULE extra = LoadLibraryA("Ferrix32X.dll");
    ConvertFn convert = core ? (ConvertFn)GetProcAddress(core, "ferrixConvert") : nullptr;
    ~Libraries()
    {
        if (extra) FreeLibrary(extra);
        if (core) FreeLibrary(core);
    }
    // Entry 0 of the named enumerator (zeroed when it is missing or fails).
    FormatRecord Entry(const char *name)
    {
        FormatRecord r;
        memset(&r, 0, sizeof r);
        EnumFn e = extra ? (EnumFn)GetProcAddress(extra, name) : nullptr;
        if (!e || e(0, &r) != 0) memset(&r, 0, sizeof r);
        return r;
    }
};

// Flat 8 x 8 tiles, each its own colour, as 0x00RRGGBB.
uint32_t Tile(int x, int y)
{
    const int tx = x / 8, ty = y / 8;
    return uint32_t((40 + tx * 37 % 180) | ((60 + (ty * 53 + tx * 11) % 150) << 8) | ((30 + (tx * 7 + ty * 29) % 200) << 16));
}

// Writes a DIB of `bits` to `path` through the writer `open`; the result.
int WriteThrough(Libraries &lib, FxWriterOpen open, const std::string &path, int w, int h, int bits)
{
    HGLOBAL dib = makeDib(w, h, bits, Tile);
    ConvertSource s = source();
    s.hDib = dib;
    ConvertTarget t = target();
    setPath(t.path, path);
    t.open = open;
    int rc = lib.convert(&s, &t);
    GlobalFree(dib);
    return rc;
}

// Reads `path` through the reader `open` into a 32-bit DIB (null on failure).
HGLOBAL ReadThrough(Libraries &lib, FxReaderOpen open, const std::string &path, int *rc, uint16_t *id = nullptr)
{
    ConvertSource s = source();
    setPath(s.path, path);
    s.open = open;
    HGLOBAL dib = nullptr;
    ConvertTarget t = target();
    t.resultDib = &dib;
    t.depth = 32;
    *rc = lib.convert(&s, &t);
    if (id) *id = s.formatId;
    return *rc == 0 ? dib : nullptr;
}

int WorstError(HGLOBAL dib, int w, int h)
{
    int worst = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t a = dibPixel(dib, x, y), b = Tile(x, y);
            for (int k = 0; k < 24; k += 8) worst = std::max(worst, std::abs(int((a >> k) & 255) - int((b >> k) & 255)));
        }
    return worst;
}

}  // namespace

TEST_CASE("HKF and imploded BMP files written and read through the exports alone", "[extra][exports]")
{
    Libraries lib;
    REQUIRE(lib.core);
    REQUIRE(lib.extra);
    REQUIRE(lib.convert);
    struct Case {
        const char *reader, *writer, *file;
        int bits;
        uint32_t compression;
        uint16_t id;
        int tolerance;
    } cases[] = {
        {"HKFEnumReadFormats", "HKFEnumWriteFormats", "x.hkf", 32, 99995, 3, 8},
        {"LZWEnumReadFormats", "LZWEnumWriteFormats", "x.lzw", 24, 99998, 13, 0},
    };
    const int w = 40, h = 24;
    for (const Case &c : cases) {
        INFO(c.file << " from " << c.bits << " bits");
        const FormatRecord rd = lib.Entry(c.reader), wr = lib.Entry(c.writer);
        REQUIRE(rd.u.read.open);
        REQUIRE(wr.u.write.open);
        const std::string path = tempFile(c.file);
        DeleteFileA(path.c_str());
        REQUIRE(WriteThrough(lib, wr.u.write.open, path, w, h, c.bits) == 0);
        const std::vector<BYTE> file = readFile(path);
        REQUIRE(file.size() > 54);
        uint32_t compression;
        memcpy(&compression, &file[30], 4);
        CHECK(compression == c.compression);

        int rc = -1;
        uint16_t id = 0;
        HGLOBAL dib = ReadThrough(lib, rd.u.read.open, path, &rc, &id);
        REQUIRE(rc == 0);
        REQUIRE(dib);
        CHECK(id == c.id);
        const BITMAPINFOHEADER bi = dibHeader(dib);
        CHECK(bi.biWidth == w);
        CHECK(std::abs(bi.biHeight) == h);
        CHECK(WorstError(dib, w, h) <= c.tolerance);
        GlobalFree(dib);

        /* The same file without the preset reader: no filter knows it. */
        ConvertSource s = source();
        setPath(s.path, path);
        HGLOBAL none = nullptr;
        ConvertTarget t = target();
        t.resultDib = &none;
        CHECK(lib.convert(&s, &t) == FX_E_NOFILTER);
        if (none) GlobalFree(none);
        DeleteFileA(path.c_str());
    }
}

TEST_CASE("A JPEG file read through the exports alone", "[extra][exports]")
{
    Libraries lib;
    REQUIRE(lib.convert);
    const FormatRecord rd = lib.Entry("JPEGEnumReadFormats");
    REQUIRE(rd.u.read.open);
    const std::string path = ff_tool::Make("x.jpg", 48, 32, "-c:v mjpeg -q:v 2 -pix_fmt yuvj444p");
    REQUIRE(!path.empty());
    const ff_tool::Bytes ref = ff_tool::Decode(path, "bgr24");
    REQUIRE(ref.size() == size_t(48) * 32 * 3);

    int rc = -1;
    uint16_t id = 0;
    HGLOBAL dib = ReadThrough(lib, rd.u.read.open, path, &rc, &id);
    REQUIRE(rc == 0);
    REQUIRE(dib);
    CHECK(id == 9);
    double sum = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 48; ++x) {
            const uint32_t v = dibPixel(dib, x, y);
            const BYTE *b = &ref[(size_t(y) * 48 + x) * 3];
            for (int k = 0; k < 3; ++k) sum += std::abs(int((v >> (8 * k)) & 255) - int(b[k]));
        }
    CHECK(sum / (48 * 32 * 3) < 4.0);
    GlobalFree(dib);

    /* A preset reader that refuses the file answers for it. */
    const FormatRecord hkf = lib.Entry("HKFEnumReadFormats");
    HGLOBAL none = ReadThrough(lib, hkf.u.read.open, path, &rc);
    CHECK(rc == FX_E_FORMAT);
    CHECK(none == nullptr);
    DeleteFileA(path.c_str());
}
