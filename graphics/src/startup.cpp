// Library start-up: thread switch slots, compositing and colour tables,
// display probe, work areas and processor probes.
#include <windows.h>
#include <wine/debug.h>
#include <cpuid.h>
#include <x86intrin.h>
#include <math.h>
#include <string.h>
#include <initializer_list>
#include "m32.h"
#include "layer.h"
#include "compose.h"
#include "startup.h"

WINE_DEFAULT_DEBUG_CHANNEL(pixmoor);

YCbCrTerms g_ycbcrRed[256], g_ycbcrGreen[256], g_ycbcrBlue[256];
LONG g_lumaRange[256], g_chromaRange[256];

LONG  g_displayMode;
DWORD g_displayRed[256], g_displayGreen[256], g_displayBlue[256];
DWORD g_workRed[256], g_workGreen[256], g_workBlue[256];
DWORD g_identRed[256], g_identGreen[256], g_identBlue[256];
DWORD g_displayMask;

BYTE *g_codecWorkArea;
BYTE *g_scratchBuffer;
DWORD g_scratchSize;

LONG g_pentium;
LONG g_ready;
static LONG s_mmx;
static DWORD s_tscStart;
static LONG s_attached;

struct ViewSlot { ViewRepaintProc proc; void *context; };
static ViewSlot *s_views;        // PIXMOOR_VIEW_SLOTS slots and an end mark

void pixmoor_stock_create(void); // stock.cpp
void pixmoor_stock_destroy(void);

static void build_ycbcr_tables()
{
    for (LONG i = 0; i < 256; ++i) {
        g_ycbcrRed[i] = { 19595 * i, -11075 * i, 32768 * i };
        g_ycbcrGreen[i] = { 38469 * i, -21692 * i, -27459 * i };
        g_ycbcrBlue[i] = { 7471 * i, 32768 * i, -5308 * i };
        g_lumaRange[i] = 16 + (219 * i) / 255;
        g_chromaRange[i] = 128 + (224 * i - 28672) / 255;
    }
}

static void probe_processor(bool setMMX)
{
    g_pentium = 0;
    if (setMMX) s_mmx = 0;
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return;
    unsigned family = (a >> 8) & 0xF;
    if (family == 0xF) family += (a >> 20) & 0xFF;
    if (family >= 5) g_pentium = 1;
    if (setMMX && (d & (1u << 23))) s_mmx = 1;
}

// Rebuilds the three device tables from rows read back from the display:
// one row per ramp (red, green, blue), each 256 device pixels of bpp bits.
extern "C" LONG pixmoor_tables_from_rows(LONG bpp, const BYTE *red, const BYTE *green, const BYTE *blue)
{
    LONG mode = bpp == 32 ? 1 : bpp == 16 ? 2 : bpp == 24 ? 3 : 0;
    if (!mode) return 0;
    const BYTE *rows[3] = { red, green, blue };
    DWORD *tables[3] = { g_displayRed, g_displayGreen, g_displayBlue };
    for (int t = 0; t < 3; ++t)
        for (int i = 0; i < 256; ++i) {
            const BYTE *p = rows[t];
            DWORD v;
            if (bpp == 32) v = p[4 * i] | p[4 * i + 1] << 8 | p[4 * i + 2] << 16 | (DWORD)p[4 * i + 3] << 24;
            else if (bpp == 16) v = p[2 * i] | p[2 * i + 1] << 8;
            else v = p[3 * i] | p[3 * i + 1] << 8 | p[3 * i + 2] << 16;
            tables[t][i] = v;
        }
    memcpy(g_workRed, g_displayRed, sizeof g_workRed);
    memcpy(g_workGreen, g_displayGreen, sizeof g_workGreen);
    memcpy(g_workBlue, g_displayBlue, sizeof g_workBlue);
    for (DWORD i = 0; i < 256; ++i) {
        g_identRed[i] = i << 16;
        g_identGreen[i] = i << 8;
        g_identBlue[i] = i;
    }
    DWORD r = g_displayRed[255], g = g_displayGreen[255], bl = g_displayBlue[255];
    DWORD mask = (r & (r - 1)) | (g & (g - 1)) | (bl & (bl - 1));
    if (mode == 2) mask &= 0xFFFF;
    if (mode == 3) mask &= 0xFFFFFF;
    g_displayMask = mask;
    g_displayMode = mode;
    return mode;
}

extern "C" LONG ProbeDisplay(void)
{
    // A probe that fails leaves empty tables, not those of an earlier probe.
    g_displayMode = 0;
    g_displayMask = 0;
    for (DWORD *t : { g_displayRed, g_displayGreen, g_displayBlue, g_workRed, g_workGreen, g_workBlue,
                      g_identRed, g_identGreen, g_identBlue })
        memset(t, 0, 256 * sizeof(DWORD));
    HDC screen = CreateDCA("DISPLAY", NULL, NULL, NULL);
    if (!screen) return 0;
    HBITMAP probe = CreateCompatibleBitmap(screen, 256, 1);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP saved = CreateCompatibleBitmap(screen, 256, 1);
    BITMAP bm;
    if (probe && mem && saved && GetObjectA(probe, sizeof bm, &bm) == sizeof bm) {
        HGDIOBJ old = SelectObject(mem, saved);
        BitBlt(mem, 0, 0, 256, 1, screen, 0, 0, SRCCOPY);
        SelectObject(mem, old);
        LONG bpp = bm.bmBitsPixel;
        bool rowOk = bm.bmPlanes == 1 &&
                     ((bpp == 32 && bm.bmWidthBytes == 1024) || (bpp == 16 && bm.bmWidthBytes == 512) ||
                      (bpp == 24 && bm.bmWidthBytes == 768));
        if (rowOk) {
            static BYTE rows[3][1024];
            BYTE ramp[768];
            BITMAPINFO bi = {};
            bi.bmiHeader.biSize = sizeof bi.bmiHeader;
            bi.bmiHeader.biWidth = 256;
            bi.bmiHeader.biHeight = 1;
            bi.bmiHeader.biPlanes = 1;
            bi.bmiHeader.biBitCount = 24;
            bi.bmiHeader.biCompression = BI_RGB;
            const int order[3] = { 2, 0, 1 };   // red ramp, blue ramp, green ramp (byte index in BGR)
            const int target[3] = { 0, 2, 1 };  // rows[] slot: red, blue, green
            bool ok = true;
            for (int k = 0; k < 3 && ok; ++k) {
                ZeroMemory(ramp, sizeof ramp);
                for (int i = 0; i < 256; ++i) ramp[3 * i + order[k]] = (BYTE)i;
                SetDIBitsToDevice(screen, 0, 0, 256, 1, 0, 0, 0, 1, ramp, &bi, DIB_RGB_COLORS);
                old = SelectObject(mem, probe);
                BitBlt(mem, 0, 0, 256, 1, screen, 0, 0, SRCCOPY);
                SelectObject(mem, old);
                ok = GetBitmapBits(probe, bm.bmWidthBytes, rows[target[k]]) == bm.bmWidthBytes;
            }
            // A display without a surface (Wine's null driver) reads back
            // nothing: full intensity must show in each ramp to count as
            // probed.
            auto lit = [&](const BYTE *row) {
                int bytes = (int)(bpp / 8);
                for (int k = 0; k < bytes; ++k) if (row[255 * bytes + k]) return true;
                return false;
            };
            if (ok && lit(rows[0]) && lit(rows[1]) && lit(rows[2]))
                pixmoor_tables_from_rows(bpp, rows[0], rows[1], rows[2]);
        }
        old = SelectObject(mem, saved);
        BitBlt(screen, 0, 0, 256, 1, mem, 0, 0, SRCCOPY);
        SelectObject(mem, old);
    }
    if (mem) DeleteDC(mem);
    if (probe) DeleteObject(probe);
    if (saved) DeleteObject(saved);
    DeleteDC(screen);
    return g_displayMode;
}

extern "C" DWORD DisplayPixelValue(DWORD rgb)
{
    return g_workBlue[rgb & 0xFF] | g_workGreen[(rgb >> 8) & 0xFF] | g_workRed[(rgb >> 16) & 0xFF];
}

extern "C" LONG RegisterViewSlot(ViewRepaintProc proc, void *context)
{
    if (!s_views || !proc) return 0;
    for (int i = 0; i < PIXMOOR_VIEW_SLOTS; ++i)
        if (!s_views[i].proc) {
            s_views[i].proc = proc;
            s_views[i].context = context;
            return 1;
        }
    return 0;
}

extern "C" LONG UnregisterViewSlot(ViewRepaintProc proc, void *context)
{
    if (!s_views) return 0;
    for (int i = 0; i < PIXMOOR_VIEW_SLOTS; ++i)
        if (s_views[i].proc == proc && s_views[i].context == context) {
            s_views[i].proc = NULL;
            s_views[i].context = NULL;
            return 1;
        }
    return 0;
}

// The version box appears only while Caps Lock is held as the library loads.
static void version_box()
{
    if (!(GetAsyncKeyState(VK_CAPITAL) & 0x8000)) return;
    MessageBoxA(NULL, "Pixmoor graphics core\nVersion 1.0", "Pixmoor", MB_OK | MB_ICONINFORMATION);
}

extern "C" void PixmoorProcessAttach(void)
{
    if (s_attached) return;
    s_attached = 1;
    pixmoor_stock_create();
    g_refreshSlot = TlsAlloc();
    g_updateSlot = TlsAlloc();
    BuildCompositTables();
    build_ycbcr_tables();
    ProbeDisplay();
    g_codecWorkArea = (BYTE *)M32_alloc(0x30000);
    probe_processor(false);
    g_scratchBuffer = (BYTE *)M32_alloc(65536);
    g_scratchSize = g_scratchBuffer ? 65536 : 0;
    s_views = (ViewSlot *)M32_alloc(sizeof(ViewSlot) * (PIXMOOR_VIEW_SLOTS + 1));
    s_tscStart = 0;
    probe_processor(true);
    g_useMMX = s_mmx;
    if (!g_codecWorkArea || !g_scratchBuffer || !s_views) WINE_ERR("start-up allocation failed\n");
    WINE_TRACE("display mode %d mask %08x, pentium %d, mmx %d\n", (int)g_displayMode, (unsigned)g_displayMask,
          (int)g_pentium, (int)s_mmx);
    version_box();
    g_ready = 1;
}

extern "C" void PixmoorThreadAttach(void)
{
    if (g_refreshSlot != TLS_OUT_OF_INDEXES) TlsSetValue(g_refreshSlot, NULL);
    if (g_updateSlot != TLS_OUT_OF_INDEXES) TlsSetValue(g_updateSlot, NULL);
}

extern "C" void PixmoorProcessEnding(void)
{
    g_ready = 0;
}

extern "C" void PixmoorProcessDetach(void)
{
    g_ready = 0;
    if (!s_attached) return;
    pixmoor_stock_destroy();
    if (g_refreshSlot != TLS_OUT_OF_INDEXES) TlsFree(g_refreshSlot);
    if (g_updateSlot != TLS_OUT_OF_INDEXES) TlsFree(g_updateSlot);
    g_refreshSlot = g_updateSlot = TLS_OUT_OF_INDEXES;
    s_attached = 0;
}

extern "C" {

LONG PIXAPI PixmoorAreYouThere(void) { return g_ready; }
LONG PIXAPI P5_MMX(void) { return s_mmx; }

LONG PIXAPI P5_Reset(void)
{
    if (g_pentium) s_tscStart = (DWORD)__rdtsc();
    return 0;
}

LONG PIXAPI P5_Time(void)
{
    if (!g_pentium) return 0;
    return (LONG)((DWORD)__rdtsc() - s_tscStart);
}

// Truncation toward zero; out-of-range and NaN give the integer-indefinite
// value, whose low 32 bits are 0.
LONG PIXAPI the_old_ftol(double value)
{
    if (!(value > -9223372036854775808.0 && value < 9223372036854775808.0)) return 0;
    return (LONG)(ULONGLONG)(LONGLONG)value;
}

LONG PIXAPI UpdateAllZellviews(void)
{
    WINE_TRACE("()\n");
    if (!s_views) return 0;
    for (int i = 0; i < PIXMOOR_VIEW_SLOTS; ++i)
        if (s_views[i].proc) s_views[i].proc(s_views[i].context);
    return 1;
}

} // extern "C"

extern "C" double pm_fcos(double x) { return cos(x); }
extern "C" double pm_fabs(double x) { return fabs(x); }
extern "C" double pm_fsin(double x) { return sin(x); }
extern "C" double pm_fsqrt(double x) { return sqrt(x); }
