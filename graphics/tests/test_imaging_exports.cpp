// The scanline sources, resizer, conversions and filters are reachable in
// Pixmoor.dll by name, the line sources also by their ordinals, and calls
// through the DLL behave like the linked code.
#include <catch2/catch.hpp>

#include <windows.h>

#include <vector>

namespace {

struct Dll {
    HMODULE h = LoadLibraryA("Pixmoor.dll");
    ~Dll()
    {
        if (h) FreeLibrary(h);
    }
};

}  // namespace

TEST_CASE("exports by name and ordinal", "[exports]")
{
    Dll dll;
    REQUIRE(dll.h);
    const char *names[] = {
        "BeginScaleScanline", "OffsetScaleScanline", "GetBufferScaleScanline", "ScaleScanline", "EndScaleScanline",
        "ConvertRectangleScaleScanline", "BeginBackgroundScanlineLayer", "BeginBackgroundScanlineID",
        "BeginBackgroundScanline", "OffsetBackgroundScanline", "SetTileOffsetBackgroundScanline",
        "BackgroundScanline", "EndBackgroundScanline", "BackgroundLayer",
        "ResizeLayer", "ResizeLayerCorrect",
        "SetGammaTable", "GammaCorrectPEL", "GammaCorrectPELs", "IP_32BITto24BMP", "PelDepth_Xto32Ex",
        "PelDepth_Xto32", "PelDepth_32toX", "XtoLayerEx", "XtoLayer", "LayertoX", "RGBtoYCBCRLayer",
        "RGBtoYUVLayer", "YUVtoRGBLayer", "YUVtoGRAYLayer", "RGBtoGRAYLayer", "LuminanceLayer", "TintLayer",
        "FiestatoLayer", "OneFishCombineLayer", "ThumbLayer",
        "LowPassLayer", "HighPassLayer", "DonutBlurLayer", "VerticalBlurLayer", "MosaicLayer", "EmbossLayer",
    };
    for (const char *n : names) {
        INFO(n);
        CHECK(GetProcAddress(dll.h, n) != nullptr);
    }
    const struct { int ordinal; const char *name; } ordinals[] = {
        {37, "ConvertRectangleScaleScanline"}, {50, "BeginScaleScanline"}, {51, "OffsetScaleScanline"},
        {52, "GetBufferScaleScanline"}, {53, "ScaleScanline"}, {54, "EndScaleScanline"},
        {2100, "BeginBackgroundScanlineLayer"}, {2110, "BeginBackgroundScanlineID"},
        {2120, "BeginBackgroundScanline"}, {2130, "EndBackgroundScanline"}, {2140, "OffsetBackgroundScanline"},
        {2150, "SetTileOffsetBackgroundScanline"}, {2160, "BackgroundScanline"}, {2170, "BackgroundLayer"},
    };
    for (auto &o : ordinals) {
        INFO(o.name << " @" << o.ordinal);
        CHECK(GetProcAddress(dll.h, MAKEINTRESOURCEA(o.ordinal)) == GetProcAddress(dll.h, o.name));
    }
}

TEST_CASE("a line source driven through the DLL", "[exports]")
{
    Dll dll;
    REQUIRE(dll.h);
    typedef LONG *(WINAPI * Begin)(LONG, LONG, LONG, LONG);
    typedef LONG(WINAPI * Line)(DWORD *, const DWORD *, LONG *);
    typedef LONG(WINAPI * End)(LONG *);
    auto begin = (Begin)GetProcAddress(dll.h, MAKEINTRESOURCEA(50));
    auto line = (Line)GetProcAddress(dll.h, MAKEINTRESOURCEA(53));
    auto end = (End)GetProcAddress(dll.h, MAKEINTRESOURCEA(54));
    REQUIRE(begin);
    REQUIRE(line);
    REQUIRE(end);

    // 2 x 2 to 1 x 1: the state's first two words are output-ready and
    // input-wanted.
    LONG *state = begin(2, 2, 1, 1);
    REQUIRE(state);
    const DWORD rows[2][2] = {{0xFF000000, 0xFF0000C8}, {0xFF00C800, 0xFFC80000}};
    DWORD out = 0;
    CHECK(line(&out, rows[0], state) == 1);
    CHECK(state[0] == 0);
    CHECK(state[1] == 1);
    CHECK(line(&out, rows[1], state) == 1);
    CHECK(state[0] == 1);
    CHECK(state[1] == 0);
    CHECK(out == 0xFF323232u);
    CHECK(end(state) == 1);
    CHECK(begin(0, 2, 1, 1) == nullptr);
}
