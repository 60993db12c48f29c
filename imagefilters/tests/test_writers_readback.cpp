// Our writers read back by an independent reader: BMP (plain 1, 4, 8, 24,
// 32 bits and RLE8) and Targa (plain and run-length) files from whole
// conversions are decoded by the ffmpeg tool to the pixels we wrote, and by
// our own readers to the same.
#include <catch2/catch.hpp>

#include <cstdlib>

#include "ff_tool.h"
#include "fx_helpers.h"

namespace {

const FxEnumFormats kFilters[] = {BMPEnumReadFormats, BMPEnumWriteFormats, TGAEnumReadFormats, TGAEnumWriteFormats};

// A picture with flat stretches (runs) and detail, 32-bit, rows top first.
uint32_t Colour(int x, int y)
{
    if (y % 3 == 0) return 0xFF000000u | 0x204060u;  // a flat row
    return 0xFF000000u | uint32_t((x * 37 + y * 11) & 255) << 16 | uint32_t((x * 5) & 255) << 8 | uint32_t(y * 9 & 255);
}

}  // namespace

TEST_CASE("our BMP and Targa files read back by the ffmpeg tool", "[readback][ffmpeg]")
{
    REQUIRE(kFilters[0]);
    const int w = 23, h = 11;
    HGLOBAL dib = fxt::makeDib(w, h, 32, [](int x, int y) { return Colour(x, y); });
    struct {
        const char* name;
        int depth;
        uint16_t options;
        bool exact;  // colours kept exactly (no palette reduction)
    } cases[] = {
        {"rb24.bmp", 24, 0, true},  {"rb32.bmp", 32, 0, true},   {"rb8.bmp", 8, 0, false},
        {"rb8.rle", 8, 0, false},   {"rb24.tga", 24, 0, true},   {"rb24rle.tga", 24, 0x8000, true},
        {"rb32rle.tga", 32, 0x8000, true},
    };
    for (auto& c : cases) {
        INFO(c.name);
        std::string path = fxt::tempFile(c.name);
        ConvertSource s = fxt::source();
        s.hDib = dib;
        ConvertTarget t = fxt::target();
        fxt::setPath(t.path, path);
        t.depth = uint16_t(c.depth);
        t.options = c.options;
        int rc = ferrixConvert(&s, &t);
        if (rc == FX_E_UNSUPPORTED && c.depth == 32) {
            // 32-bit BMP output is offered only with the "bmp32" switch.
            DeleteFileA(path.c_str());
            continue;
        }
        REQUIRE(rc == 0);
        // The tool picks its reader from the content (".rle" is a BMP).
        ff_tool::Bytes ref = ff_tool::Decode(path, "bgra", std::string(c.name).find(".rle") != std::string::npos ? "bmp_pipe" : nullptr);
        REQUIRE(ref.size() == size_t(w) * h * 4);
        // And our reader.
        ConvertSource r = fxt::source();
        fxt::setPath(r.path, path);
        HGLOBAL back = nullptr;
        ConvertTarget m = fxt::target();
        m.resultDib = &back;
        m.depth = 32;
        REQUIRE(ferrixConvert(&r, &m) == 0);
        int worst = 0, ours = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint8_t* q = &ref[(size_t(y) * w + x) * 4];
                uint32_t mine = fxt::dibPixel(back, x, y), want = Colour(x, y);
                for (int k = 0; k < 3; ++k) {
                    int d = std::abs(int(q[k]) - int((want >> (8 * k)) & 255));
                    if (d > worst) worst = d;
                    // The tool and our reader agree on every file.
                    if (q[k] != ((mine >> (8 * k)) & 255)) ++ours;
                }
            }
        CHECK(ours == 0);
        if (c.exact) CHECK(worst == 0);
        else CHECK(worst <= 64);  // reduced to 256 colours
        GlobalFree(back);
        DeleteFileA(path.c_str());
    }
    GlobalFree(dib);
}
