// The exported page read by the engine's combiner and drawn over a known
// programme gives the pixels the page itself draws over that picture.
#include <catch2/catch.hpp>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "clock.h"
#include "combiner.h"
#include "engine_host.h"
#include "synthetic_source.h"
#include "title_export.h"
#include "title_render.h"

namespace tb = titlebox;

namespace {

const int W = 320, H = 240;

std::string PrivateTemp()
{
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    const std::string dir = std::string(base) + "agreement_" + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(dir.c_str(), nullptr);
    SetEnvironmentVariableA("TMP", dir.c_str());
    SetEnvironmentVariableA("TEMP", dir.c_str());
    return dir;
}

}  // namespace

TEST_CASE("The combiner draws the exported page as the page draws itself", "[agreement]")
{
    PrivateTemp();
    EngineHost host;
    g_transformer.Stop();
    EngineSurface* s = nullptr;
    REQUIRE(SUCCEEDED(EngineCreateSurface(g_engine.surfaceFactory, W, H, 0x80000, &s)));
    const std::vector<uint32_t> programme = Picture(W, H, 11, true);
    EngineRows r;
    REQUIRE(SUCCEEDED(EngineLockRows(s, INFINITE, TRUE, &r)));
    for (int y = 0; y < r.height; y++) std::memcpy(r.first + ptrdiff_t(y) * r.pitch, &programme[size_t(y) * W], W * 4);
    EngineUnlockRows(&r);

    // A picture with per-pixel alpha at 80 % opacity, output = client size.
    const int pw = 40, ph = 30;
    std::vector<uint32_t> pic(size_t(pw) * ph);
    for (size_t i = 0; i < pic.size(); ++i)
        pic[i] = uint32_t((i * 37) % 256) << 24 | uint32_t(i * 2654435761u & 0xFFFFFF);
    tb::TitleObjectList page;
    std::unique_ptr<tb::TitleObject> o(new tb::TitleObject(tb::TitleDefaults(), tb::PageScale{1.0f, 1.0f}));
    o->tracker.reset(new tb::RectTracker);
    o->tracker->rect = {30, 40, 30 + pw, 40 + ph};
    o->tracker->hFactor = o->tracker->vFactor = 1.0f;
    o->type = tb::TITLE_IMAGE;
    o->SetPicture(pw, ph, pic.data());
    o->alphaMode = tb::ALPHA_PER_PIXEL;
    o->hasTransparency = 1;
    o->imageOpacity = 80;
    page.push_back(std::move(o));
    REQUIRE(tb::ExportTitle(page, tb::EXPORT_PROGRAMME));
    REQUIRE(g_combiner.LoadProgramme() == 0);
    REQUIRE(g_combiner.DrawProgramme(s) == S_OK);
    const std::vector<uint32_t> engine = ReadSurface(s);
    EngineSurfaceRelease(s);

    // The page's own drawing of the object over the same programme.
    BITMAPINFO bi = {};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), W, -H, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    HDC dc = CreateCompatibleDC(nullptr);
    void* bits;
    HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bmp);
    std::memcpy(bits, programme.data(), programme.size() * 4);
    tb::DrawTitleObject(dc, *page[0]);
    GdiFlush();
    std::vector<uint32_t> drawn(static_cast<uint32_t*>(bits), static_cast<uint32_t*>(bits) + W * H);
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);

    int worst = 0, changed = 0;
    for (size_t i = 0; i < drawn.size(); ++i) {
        for (int sh = 0; sh < 24; sh += 8)
            worst = std::max(worst, std::abs(int((drawn[i] >> sh) & 255) - int((engine[i] >> sh) & 255)));
        changed += (engine[i] & 0xFFFFFF) != (programme[i] & 0xFFFFFF);
    }
    // The two round their blends differently: within 2 per channel.
    CHECK(worst <= 2);
    CHECK(changed > 500);
}
