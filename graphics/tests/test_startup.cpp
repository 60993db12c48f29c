// Library start-up: the real Pixmoor.dll loaded by name (exports, ready
// flag, tables built at attach, per-thread switches), processor probes,
// the colour-conversion tables and the display tables.
#include <catch2/catch.hpp>
#include <cstring>
#include <vector>
#include "layer_fixture.h"

namespace {

HMODULE dll()
{
    static HMODULE h = LoadLibraryA("Pixmoor.dll");
    return h;
}

template <class F> F fn(const char *name) { return (F)(void *)GetProcAddress(dll(), name); }

} // namespace

TEST_CASE("Pixmoor.dll loads, exports its functions by name and is ready")
{
    REQUIRE(dll() != NULL);
    const char *names[] = {
        "M32_alloc", "M32_realloc", "M32_free", "M32_memcpy", "M32_memset", "M32_imemset", "M32_lmemset",
        "M32_memcmp", "M32_memswap", "M32_ddbcopy", "M32_ddbflip",
        "CreateLayer", "CreateCompatibleLayer", "CreateVirtualLayer", "CreateClippedLayer", "ClipLayer",
        "ClipLayerXYWH", "ClipToAlphaLayerEx", "AddRefCountLayer", "DeleteLayer", "AttachActualLayer",
        "DetachActualLayer", "GetUnionRectRef", "BeginLayerAccess", "EndLayerAccess", "RefreshLayer",
        "UpdateLayer", "RefreshLayerEx", "UpdateLayerEx", "RefreshEnable", "UpdateEnable",
        "PixmoorAreYouThere", "P5_MMX", "P5_Reset", "P5_Time", "the_old_ftol",
        "CompositPel", "CompositPels", "CompositPelsNonMMX", "CompositPelsMMXOnly", "ClockCompositThreePels",
        "CompositOnTop", "CompositOnBottom", "CompositAgainstBlack", "TestComposit1", "TestComposit2",
        "CompositOnTopLayer", "CompositOnTopLayerCorrect", "CompositOnBottomLayer", "CompositOnBottomLayerCorrect",
        "CompositOnTopLayerEx", "CompositOnBottomLayerEx", "PunchThruLayer", "CompositOnOutputLayer",
        "CompositOnOutputLayerCorrect", "TwoLayerComposit", "ThreeLayerComposit", "CompositMany",
        "PaintEngineCompositLayer", "PaintEngineMixerLayer", "PaintEngineSelectionLayer", "PaintEngineCutLayer",
        "PaintEnginePasteLayer",
        "ClearLayer", "SetLayer", "SetAlphaLayer", "GetPelInLayer", "SetPelInLayer", "CopyLayer",
        "CopyWithOpacityLayer", "SwapLayer", "BlackBackground", "VMPBackground", "ReverseCompositLayer",
        "FlipHorzLayer", "FlipVertLayer", "InterlaceLayer", "CenterLayer", "ClipToAlphaLayer", "HostCopyLayer",
        "HostPasteLayer", "TestMMXLayer",
        "FieldAverageLayer", "FieldRepeatLayer", "FieldInterpolateLayer", "FieldAdaptiveLayer",
        "GetDefaultBackground", "GetStockLayer", "ExistsStockLayer", "SetStockLayer", "UpdateAllZellviews",
    };
    for (const char *n : names) {
        INFO(n);
        CHECK(GetProcAddress(dll(), n) != NULL);
    }

    auto ready = fn<LONG(PIXAPI *)(void)>("PixmoorAreYouThere");
    CHECK(ready() == 1);
    struct T { static DWORD WINAPI run(void *p) { return (DWORD)((LONG(PIXAPI *)(void))p)(); } };
    HANDLE t = CreateThread(NULL, 0, T::run, (void *)ready, 0, NULL);
    WaitForSingleObject(t, 5000);
    DWORD code = 0;
    GetExitCodeThread(t, &code);
    CloseHandle(t);
    CHECK(code == 1);

    // Tables and the stock store were built while the library attached.
    auto pel = fn<DWORD(PIXAPI *)(DWORD, DWORD)>("CompositPel");
    CHECK(pel(0x7F7F7F7F, 0x30303030) == 0x97727272);
    auto stock = fn<Layer *(PIXAPI *)(LONG)>("GetStockLayer");
    auto getpel = fn<DWORD(PIXAPI *)(Layer *, LONG, LONG)>("GetPelInLayer");
    CHECK(getpel(stock(5), 3, 0) == 0xFF0000FF);
}

TEST_CASE("notification switches start off in every thread of the loaded library")
{
    REQUIRE(dll() != NULL);
    auto create = fn<Layer *(PIXAPI *)(LONG, LONG, LONG)>("CreateLayer");
    auto del = fn<LONG(PIXAPI *)(Layer *)>("DeleteLayer");
    auto refresh = fn<LONG(PIXAPI *)(Layer *)>("RefreshLayer");
    auto enable = fn<LONG(PIXAPI *)(LONG)>("RefreshEnable");
    Layer *l = create(2, 2, 1);
    REQUIRE(l);
    LayerHandler h = {NULL, NULL, NULL};     // no function: accepted when reached
    l->refreshHandler = &h;
    CHECK(refresh(l) == 0);
    CHECK(enable(1) != 0);
    CHECK(refresh(l) == 1);
    struct T { static DWORD WINAPI run(void *p) { return (DWORD)((LONG(PIXAPI *)(Layer *))((void **)p)[0])((Layer *)((void **)p)[1]); } };
    void *args[2] = {(void *)refresh, l};
    HANDLE t = CreateThread(NULL, 0, T::run, args, 0, NULL);
    WaitForSingleObject(t, 5000);
    DWORD code = 9;
    GetExitCodeThread(t, &code);
    CloseHandle(t);
    CHECK(code == 0);
    enable(0);
    l->refreshHandler = NULL;
    del(l);
}

TEST_CASE("processor probes and the truncating conversion")
{
    lf::start();
    CHECK(P5_MMX() == 1);           // every x86-64 processor has it
    P5_Reset();
    volatile int spin = 0;
    for (int i = 0; i < 1000; ++i) spin = spin + i;
    LONG t = P5_Time();
    CHECK(t > 0);
    CHECK(t < 100000000);
    struct Case { double in; LONG out; };
    const Case cases[] = {{2.9, 2}, {-2.9, -2}, {0.0, 0}, {-0.5, 0}, {2147483647.0, 2147483647},
                          {1e10, (LONG)0x540BE400}, {-1e10, (LONG)0xABF41C00}, {1e300, 0}};
    for (const Case &c : cases) CHECK(the_old_ftol(c.in) == c.out);
    CHECK(the_old_ftol(std::nan("")) == 0);
}

TEST_CASE("colour-conversion tables and work areas")
{
    lf::start();
    CHECK(g_ycbcrRed[255].y == 19595 * 255);
    CHECK(g_ycbcrGreen[2].cr == -27459 * 2);
    CHECK(g_ycbcrBlue[10].cb == 32768 * 10);
    CHECK(g_ycbcrRed[255].y + g_ycbcrGreen[255].y + g_ycbcrBlue[255].y == 65535 * 255);
    CHECK(g_lumaRange[0] == 16);
    CHECK(g_lumaRange[255] == 235);
    CHECK(g_chromaRange[0] == 16);     // 128 + (-28672 / 255), truncated toward zero
    CHECK(g_chromaRange[128] == 128);
    CHECK(g_chromaRange[255] == 239);
    REQUIRE(g_codecWorkArea != NULL);
    CHECK(HeapSize(GetProcessHeap(), 0, g_codecWorkArea) == 0x30000);
    REQUIRE(g_scratchBuffer != NULL);
    CHECK(g_scratchSize == 65536);
    CHECK(PixmoorAreYouThere() == 1);
    LONG mode = ProbeDisplay();
    CHECK((mode >= 0 && mode <= 3));
    CHECK(mode == g_displayMode);
    // A recognised display has real device values (headless Wine reads back
    // nothing and stays at mode 0).
    if (mode) CHECK(g_displayMask != 0);
    else CHECK(DisplayPixelValue(0x00FFFFFF) == 0);
}

TEST_CASE("display tables from read-back ramps")
{
    lf::start();
    std::vector<BYTE> r(1024), g(1024), b(1024);
    SECTION("16-bit 5-6-5") {
        for (int i = 0; i < 256; ++i) {
            WORD rv = (WORD)((i >> 3) << 11), gv = (WORD)((i >> 2) << 5), bv = (WORD)(i >> 3);
            memcpy(&r[2 * i], &rv, 2);
            memcpy(&g[2 * i], &gv, 2);
            memcpy(&b[2 * i], &bv, 2);
        }
        CHECK(pixmoor_tables_from_rows(16, r.data(), g.data(), b.data()) == 2);
        CHECK(g_displayRed[255] == 0xF800);
        CHECK(g_displayGreen[255] == 0x07E0);
        CHECK(g_displayMask == 0xF7DE);
        CHECK(DisplayPixelValue(0x00FF00FF) == 0xF81F);
        CHECK(g_identGreen[3] == 0x300);
    }
    SECTION("24-bit: three bytes blue, green, red") {
        for (int i = 0; i < 256; ++i) {
            r[3 * i + 2] = (BYTE)i;
            g[3 * i + 1] = (BYTE)i;
            b[3 * i] = (BYTE)i;
        }
        CHECK(pixmoor_tables_from_rows(24, r.data(), g.data(), b.data()) == 3);
        CHECK(g_displayRed[0x12] == 0x120000);
        CHECK(g_displayMask == 0xFEFEFE);
        CHECK(DisplayPixelValue(0x00123456) == 0x123456);
    }
    SECTION("other depths are not recognised") {
        CHECK(pixmoor_tables_from_rows(8, r.data(), g.data(), b.data()) == 0);
    }
    ProbeDisplay();    // back to what the display says
}
