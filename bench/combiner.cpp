// Programme combiner: a full-screen text title with a soft shadow and a
// half-screen image layer laid over a 720x576 programme, per frame, side by
// side in one run with memcpy of one frame and with pixman's OVER of the
// same layers (the text taken as its rendered glyph layer, the shadow mask
// and the image).  Every row alternates its subjects round by round and
// keeps each one's best time, so a burst of load on the machine hits them
// all alike.  Targets: <= 3x memcpy per layer, >= 1.0x pixman.
#include <windows.h>
#include <pixman.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "corvengine.h"
#include "engine.h"
#include "clock.h"
#include "combiner.h"
#include "title_file.h"
#include "surface_access.h"
#include "surface_rows.h"
#include "title_bytes.h"

namespace {

using namespace benchtitle;

const int W = 720, H = 576;

/* Title-like pixels: mostly transparent, opaque strokes, soft edges. */
std::vector<uint32_t> TitleLike(int w, int h, uint32_t rgb, unsigned seed)
{
    std::vector<uint32_t> px((size_t)w * h, 0);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            const unsigned v = (unsigned)(x / 9 + (y / 13) * 7 + seed) % 5;
            const unsigned edge = (unsigned)(x % 9);
            uint32_t a = v == 0 ? 255 : v == 1 ? (edge == 0 ? 96 : edge == 8 ? 160 : 255) : 0;
            px[(size_t)y * w + x] = (a << 24) | rgb;
        }
    return px;
}

const char *TEXT = "Evening News\r\nLive from the studio\r\nWeather at nine";

LayerSpec TextLayer(const std::vector<uint32_t> &shadow)
{
    LayerSpec l{0, W, H, 0, 0, TextHeader(TEXT, 3)};
    Bytes m;
    Block(m, shadow, W, H);
    l.block.insert(l.block.end(), m.b.begin(), m.b.end());
    return l;
}

LayerSpec ImageLayer(const std::vector<uint32_t> &px)
{
    LayerSpec l{1, W / 2, H, W / 2, 0, {}};
    Bytes m;
    Block(m, px, W / 2, H);
    l.block = m.b;
    return l;
}

bool Load(const std::vector<uint8_t> &file)
{
    char path[MAX_PATH + 32];
    CDXSurfCombiner::TitlePath(COMBINER_PROGRAMME, path, sizeof(path));
    HANDLE f = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD done = 0;
    WriteFile(f, file.data(), (DWORD)file.size(), &done, nullptr);
    CloseHandle(f);
    return g_combiner.LoadProgramme() == 0 && !g_combiner.slots[COMBINER_PROGRAMME].title.layers.empty();
}

/* The text's glyphs as a premultiplied full-screen layer, drawn by GDI as
 * the combiner draws them (for pixman, which draws no text). */
std::vector<uint32_t> GlyphLayer()
{
    HDC dc = CreateCompatibleDC(nullptr);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = W; bi.bmiHeader.biHeight = -H; bi.bmiHeader.biPlanes = 1; bi.bmiHeader.biBitCount = 32;
    uint32_t *bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, reinterpret_cast<void **>(&bits), nullptr, 0);
    HGDIOBJ ob = SelectObject(dc, dib);
    HFONT font = CreateFontA(-96, 0, 0, 0, 700, 0, 0, 0, 0, 0, 0, 0, 0, "Arial");
    HGDIOBJ of = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    RECT rc = {0, 0, W, H};
    DrawTextA(dc, TEXT, -1, &rc, DT_CENTER);
    GdiFlush();
    std::vector<uint32_t> out(bits, bits + (size_t)W * H);
    for (uint32_t &v : out) {
        const uint32_t a = std::max(std::max(v & 0xFF, (v >> 8) & 0xFF), (v >> 16) & 0xFF);
        v = (a << 24) | (a << 16) | (a << 8) | a;
    }
    SelectObject(dc, of);
    DeleteObject(font);
    SelectObject(dc, ob);
    DeleteObject(dib);
    DeleteDC(dc);
    return out;
}

double Now() { return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

void LoadAverage()
{
    char line[128] = "?\n";
    HANDLE f = CreateFileA("\\\\?\\unix\\proc\\loadavg", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f != INVALID_HANDLE_VALUE) {
        DWORD got = 0;
        if (ReadFile(f, line, sizeof(line) - 1, &got, nullptr)) line[got] = 0;
        CloseHandle(f);
    }
    printf("load average: %s", line);
}

}  // namespace

int main(int argc, char **argv)
{
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 15;
    const int reps = 20;
    char tmp[MAX_PATH];
    GetTempPathA(MAX_PATH, tmp);
    std::string dir = std::string(tmp) + "bench_combiner_" + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(dir.c_str(), nullptr);
    SetEnvironmentVariableA("TMP", dir.c_str());
    SetEnvironmentVariableA("TEMP", dir.c_str());

    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "CorvBenchHost";
    RegisterClassA(&wc);
    HWND host = CreateWindowA("CorvBenchHost", "host", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                              nullptr, nullptr);
    g_engineModule = GetModuleHandleA(nullptr);
    SetVideoSurfaceSize(W, H);
    InitEngine(host);
    g_transformer.Stop();

    EngineSurface *target = nullptr;
    if (FAILED(EngineCreateSurface(g_engine.surfaceFactory, W, H, 0x80000, &target))) {
        fprintf(stderr, "no surface\n");
        return 1;
    }
    std::vector<uint32_t> programme((size_t)W * H);
    for (size_t i = 0; i < programme.size(); i++) programme[i] = 0xFF000000u | (uint32_t)(i * 2654435761u >> 8);
    {
        EngineRows r;
        EngineLockRows(target, INFINITE, TRUE, &r);
        for (int y = 0; y < r.height; y++) memcpy(r.first + (ptrdiff_t)y * r.pitch, &programme[(size_t)y * W], W * 4);
        EngineUnlockRows(&r);
    }

    const auto shadow = TitleLike(W, H, 0x202020, 1);
    const auto image = TitleLike(W / 2, H, 0xC08040, 3);
    const auto both = TitleFile({TextLayer(shadow), ImageLayer(image)});
    const auto textOnly = TitleFile({TextLayer(shadow)});
    const auto imageOnly = TitleFile({ImageLayer(image)});

    /* pixman: the same layers, premultiplied, over a copy of the programme. */
    auto premultiplied = [](std::vector<uint32_t> px) {
        TitlePremultiply(reinterpret_cast<uint8_t *>(px.data()), px.size());
        return px;
    };
    std::vector<uint32_t> pShadow = premultiplied(shadow), pImage = premultiplied(image), pText = GlyphLayer();
    std::vector<uint32_t> pDst = programme;
    pixman_image_t *dst = pixman_image_create_bits(PIXMAN_a8r8g8b8, W, H, pDst.data(), W * 4);
    pixman_image_t *sShadow = pixman_image_create_bits(PIXMAN_a8r8g8b8, W, H, pShadow.data(), W * 4);
    pixman_image_t *sText = pixman_image_create_bits(PIXMAN_a8r8g8b8, W, H, pText.data(), W * 4);
    pixman_image_t *sImage = pixman_image_create_bits(PIXMAN_a8r8g8b8, W / 2, H, pImage.data(), W / 2 * 4);
    std::vector<uint32_t> copyDst((size_t)W * H);

    struct Subject { const char *name; const std::vector<uint8_t> *file; std::function<void()> run; double best; };
    std::vector<Subject> s = {
        {"memcpy of one frame", nullptr,
         [&] { memcpy(copyDst.data(), programme.data(), copyDst.size() * 4); asm volatile("" : : "r"(copyDst.data()) : "memory"); }, 1e30},
        {"pixman OVER shadow+text", nullptr,
         [&] { pixman_image_composite32(PIXMAN_OP_OVER, sShadow, nullptr, dst, 0, 0, 0, 0, 6, 6, W, H);
               pixman_image_composite32(PIXMAN_OP_OVER, sText, nullptr, dst, 0, 0, 0, 0, 0, 0, W, H); }, 1e30},
        {"pixman OVER image", nullptr,
         [&] { pixman_image_composite32(PIXMAN_OP_OVER, sImage, nullptr, dst, 0, 0, 0, 0, W / 2, 0, W / 2, H); }, 1e30},
        {"combiner text+soft shadow", &textOnly, [&] { g_combiner.DrawProgramme(target); }, 1e30},
        {"combiner image", &imageOnly, [&] { g_combiner.DrawProgramme(target); }, 1e30},
        {"combiner both layers", &both, [&] { g_combiner.DrawProgramme(target); }, 1e30},
        /* The text layer's passes drawn with GDI, as every frame drew them
         * before the combiner learnt a text's coverage at load. */
        {"text by GDI every frame", &textOnly,
         [&] { const TitleSlot &t = g_combiner.slots[COMBINER_PROGRAMME];
               g_combiner.DrawText(t.title.layers[0], 0, 0, target); }, 1e30},
    };
    for (int round = 0; round < rounds; round++)
        for (Subject &x : s) {
            if (x.file && !Load(*x.file)) {
                fprintf(stderr, "title not loaded\n");
                return 1;
            }
            x.run();
            const double t0 = Now();
            for (int i = 0; i < reps; i++) x.run();
            x.best = std::min(x.best, (Now() - t0) / reps);
        }

    const double copy = s[0].best, pixText = s[1].best, pixImage = s[2].best, pixBoth = pixText + pixImage;
    printf("bench_combiner: title layers over a %dx%d programme, best of %d rounds of %d frames\n", W, H, rounds, reps);
    LoadAverage();
    printf("  %-28s %10s %12s %14s\n", "", "ms/frame", "x pixman", "x memcpy");
    printf("  %-28s %10.3f %12s %14s\n", s[0].name, copy, "", "1.00x");
    printf("  %-28s %10.3f %12s %13.2fx\n", s[1].name, pixText, "", pixText / copy);
    printf("  %-28s %10.3f %12s %13.2fx\n", s[2].name, pixImage, "", pixImage / copy);
    printf("  %-28s %10.3f %11.2fx %13.2fx\n", s[3].name, s[3].best, pixText / s[3].best, s[3].best / copy);
    printf("  %-28s %10.3f %11.2fx %13.2fx\n", s[4].name, s[4].best, pixImage / s[4].best, s[4].best / copy);
    printf("  %-28s %10.3f %11.2fx %13.2fx\n", s[5].name, s[5].best, pixBoth / s[5].best, s[5].best / copy);
    if (!Load(textOnly)) return 1;
    const bool learnt = g_combiner.slots[COMBINER_PROGRAMME].text[0].exact;
    printf("  %-28s %10.3f %12s %13.2fx  (the text's passes alone; the combiner %s)\n", s[6].name, s[6].best, "",
           s[6].best / copy, learnt ? "replays its learnt coverage instead" : "could not learn it and draws them too");
    printf("  both layers per layer: %.2fx memcpy (target <= 3x); against pixman %.2fx (target >= 1.0x)\n",
           s[5].best / 2 / copy, pixBoth / s[5].best);

    pixman_image_unref(dst);
    pixman_image_unref(sShadow);
    pixman_image_unref(sText);
    pixman_image_unref(sImage);
    EngineSurfaceRelease(target);
    ReleaseEngine();
    char path[MAX_PATH + 32];
    CDXSurfCombiner::TitlePath(COMBINER_PROGRAMME, path, sizeof(path));
    DeleteFileA(path);
    RemoveDirectoryA(dir.c_str());
    DestroyWindow(host);
    return 0;
}
