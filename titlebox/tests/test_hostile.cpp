// Hostile title pages and CG titles: stored rectangles, font sizes, border,
// shadow and outline sizes, and frame counts far beyond anything the
// control makes.  Each title page is loaded, drawn as the control paints it,
// measured and exported; each CG title is loaded.  Every one finishes within a
// second of this thread's time (robust on a busy machine) and grows the
// process's peak working set by less than 200 MB; the figures are printed.
#include <catch2/catch.hpp>

#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "cga_clip.h"
#include "msgbox_capture.h"
#include "qcg_build.h"
#include "title_export.h"
#include "title_render.h"

using namespace qcgtest;
namespace tb = titlebox;

namespace {

const double kSeconds = 1.0;
const double kMegabytes = 200.0;

// The process's peak working set only ever grows: a case's growth over
// the working set it started from bounds what that case took (a peak left
// by an earlier case can only make the check stricter).
size_t PeakNow()
{
    PROCESS_MEMORY_COUNTERS c = {};
    c.cb = sizeof c;
    GetProcessMemoryInfo(GetCurrentProcess(), &c, sizeof c);
    return c.PeakWorkingSetSize;
}
size_t WorkingSetNow()
{
    PROCESS_MEMORY_COUNTERS c = {};
    c.cb = sizeof c;
    GetProcessMemoryInfo(GetCurrentProcess(), &c, sizeof c);
    return c.WorkingSetSize;
}

double ThreadSeconds()
{
    FILETIME c, e, k, u;
    GetThreadTimes(GetCurrentThread(), &c, &e, &k, &u);
    auto v = [](FILETIME t) { return double(uint64_t(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 1e7; };
    return v(k) + v(u);
}

struct Cost {
    double cpu, wall, megabytes;
};

Cost Measure(const std::function<void()>& run)
{
    const size_t before = WorkingSetNow();
    const double t0 = ThreadSeconds();
    LARGE_INTEGER f, a, b;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&a);
    run();
    QueryPerformanceCounter(&b);
    const double t1 = ThreadSeconds();
    const size_t peak = PeakNow();
    return Cost{t1 - t0, double(b.QuadPart - a.QuadPart) / double(f.QuadPart),
                peak > before ? double(peak - before) / (1 << 20) : 0.0};
}

void Report(const char* what, const Cost& c)
{
    std::printf("%-52s cpu %6.3f s  wall %6.3f s  peak +%7.1f MB\n", what, c.cpu, c.wall, c.megabytes);
    std::fflush(stdout);
}

// The page the control shows: 640 x 480 output on a 320 x 240 client.
void DrawAsControl(const tb::TitleObjectList& page)
{
    BITMAPINFO bi = {};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), 320, -240, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    HDC dc = CreateCompatibleDC(nullptr);
    void* bits;
    HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bmp);
    tb::DrawPage(dc, page, tb::PageView());
    GdiFlush();
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
}

// A text object of the control's default style with a half-opaque back
// box, a soft shadow and an outline, at (20, 20)-(120, 120).
std::unique_ptr<tb::TitleObject> Text()
{
    tb::TitleDefaults d;
    d.faceName = "DejaVu Sans";
    d.textBackOpacity = 50;
    d.shadowType = tb::SHADOW_SOFT;
    d.outline = 1;
    std::unique_ptr<tb::TitleObject> o(new tb::TitleObject(d, tb::PageScale()));
    o->tracker.reset(new tb::RectTracker);
    o->tracker->rect = {20, 20, 120, 120};
    o->text = "Hostile\r\ntitle";
    o->selected = 0;
    return o;
}

std::vector<uint8_t> PageOf(std::unique_ptr<tb::TitleObject> o)
{
    tb::TitleObjectList page;
    page.push_back(std::move(o));
    return tb::StoreTitleFile(page);
}

std::string TempName(const char* ext)
{
    char dir[MAX_PATH], name[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    GetTempFileNameA(dir, "hos", 0, name);
    DeleteFileA(name);
    return std::string(name) + ext;
}

}  // namespace

TEST_CASE("Hostile title pages load and draw in bounded time and memory", "[hostile][lmf]")
{
    using Edit = std::function<void(tb::TitleObject&)>;
    struct Case {
        const char* what;
        Edit edit;
        tb::TitleLoadResult result;
        std::function<void(const tb::TitleObject&)> check;
    };
    auto rect = [](LONG l, LONG t, LONG r, LONG b) { return [=](tb::TitleObject& o) { o.tracker->rect = {l, t, r, b}; }; };
    auto none = [](const tb::TitleObject&) {};
    const Case cases[] = {
        {"plain text object", [](tb::TitleObject&) {}, tb::TITLE_LOADED, none},
        {"rectangle 2,097,352 wide", rect(0, 0, 2097352, 200), tb::TITLE_DAMAGED, none},
        {"rectangle 16384 x 16384 from (-16000, -16000)", rect(-16000, -16000, 384, 384), tb::TITLE_LOADED,
         [](const tb::TitleObject& o) { CHECK(o.tracker->rect.left == -16000); }},
        {"rectangle 6000 x 6000 over the page", rect(-2000, -2000, 4000, 4000), tb::TITLE_LOADED, none},
        {"rectangle at (2^31 - 1, 2^31 - 1)", rect(0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF), tb::TITLE_DAMAGED,
         none},
        {"rectangle from -2^31", rect(LONG(0x80000000), 0, 10, 10), tb::TITLE_DAMAGED, none},
        {"font size 32,536 points", [](tb::TitleObject& o) { o.fontSize = 32536; }, tb::TITLE_LOADED,
         [](const tb::TitleObject& o) { CHECK(o.fontSize == 640); }},
        {"font size 2000 points", [](tb::TitleObject& o) { o.fontSize = 2000; }, tb::TITLE_LOADED,
         [](const tb::TitleObject& o) { CHECK(o.fontSize == 640); }},
        {"font size -2^31 points", [](tb::TitleObject& o) { o.fontSize = int32_t(0x80000000); }, tb::TITLE_LOADED,
         [](const tb::TitleObject& o) { CHECK(o.fontSize == -640); }},
        {"LOGFONT height -65,312", [](tb::TitleObject& o) { o.font.lfHeight = -65312; }, tb::TITLE_LOADED,
         [](const tb::TitleObject& o) { CHECK(o.font.lfHeight == -640); }},
        {"LOGFONT height 2^31 - 1, width 2^31 - 1",
         [](tb::TitleObject& o) { o.font.lfHeight = o.font.lfWidth = 0x7FFFFFFF; }, tb::TITLE_LOADED,
         [](const tb::TitleObject& o) { CHECK((o.font.lfHeight == 640 && o.font.lfWidth == 640)); }},
        {"border 16384 wide", [](tb::TitleObject& o) { o.border = 1; o.borderWidth = 16384; }, tb::TITLE_LOADED,
         none},
        {"border 2^31 - 1 wide", [](tb::TitleObject& o) { o.border = 1; o.borderWidth = 0x7FFFFFFF; },
         tb::TITLE_DAMAGED, none},
        {"solid shadow 16384 deep",
         [](tb::TitleObject& o) { o.shadowType = tb::SHADOW_SOLID; o.shadowDepthX = o.shadowDepthY = 16384; },
         tb::TITLE_LOADED, none},
        {"soft shadow -16384 deep", [](tb::TitleObject& o) { o.shadowDepthX = o.shadowDepthY = -16384; },
         tb::TITLE_LOADED, none},
        {"shadow 2^31 - 1 deep", [](tb::TitleObject& o) { o.shadowDepthX = 0x7FFFFFFF; }, tb::TITLE_DAMAGED, none},
        {"outline 16384 wide", [](tb::TitleObject& o) { o.outlineWidth = 16384; }, tb::TITLE_LOADED, none},
        {"outline -2^31 wide", [](tb::TitleObject& o) { o.outlineWidth = int32_t(0x80000000); }, tb::TITLE_DAMAGED,
         none},
        {"line spacing 2^31 - 1 percent", [](tb::TitleObject& o) { o.lineSpacing = 0x7FFFFFFF; }, tb::TITLE_LOADED,
         none},
        {"picture 16384 x 2 in a rectangle 16384 x 16384",
         [](tb::TitleObject& o) {
             std::vector<uint32_t> px(16384 * 2, 0x80FF8000u);
             o.type = tb::TITLE_IMAGE;
             o.SetPicture(16384, 2, px.data());
             o.alphaMode = tb::ALPHA_PER_PIXEL;
             o.hasTransparency = 1;
             o.tracker->rect = {-16000, -16000, 384, 384};
         },
         tb::TITLE_LOADED, none},
        {"picture of 2 x 2 opaque in a rectangle 16384 x 16384",
         [](tb::TitleObject& o) {
             std::vector<uint32_t> px(4, 0xFF0080FFu);
             o.type = tb::TITLE_IMAGE;
             o.SetPicture(2, 2, px.data());
             o.tracker->rect = {-16000, -16000, 384, 384};
         },
         tb::TITLE_LOADED, none},
        {"big font in a big rectangle, outlined",
         [](tb::TitleObject& o) {
             o.fontSize = 32536;
             o.font.lfHeight = -65312;
             o.tracker->rect = {-8000, -8000, 8000, 8000};
             o.outlineWidth = 16384;
         },
         tb::TITLE_LOADED, none},
    };
    MsgBoxCapture boxes;
    for (const Case& c : cases) {
        INFO(c.what);
        std::unique_ptr<tb::TitleObject> o = Text();
        c.edit(*o);
        const std::vector<uint8_t> file = PageOf(std::move(o));
        tb::TitleObjectList page;
        tb::TitleLoadResult result = tb::TITLE_NOT_OURS;
        size_t exported = 0;
        const Cost cost = Measure([&] {
            result = tb::LoadTitleFile(file, tb::TitleDefaults(), tb::PageScale(), &page);
            DrawAsControl(page);
            for (const auto& p : page) tb::MeasureTitleText(*p);
            exported = tb::BuildTitleExport(page).size();
        });
        Report(c.what, cost);
        std::printf("%52s export %zu bytes%s\n", "", exported, exported ? "" : " (refused: too big)");
        CHECK(result == c.result);

        CHECK(page.size() == (c.result == tb::TITLE_LOADED ? 1u : 0u));
        if (!page.empty()) c.check(*page[0]);
        CHECK(cost.cpu < kSeconds);
        CHECK(cost.megabytes < kMegabytes);
    }
    CHECK(boxes.count() == 0);
}

TEST_CASE("Hostile CG titles load with bounded frame counts in bounded time and memory", "[hostile][qcg]")
{
    auto file = [](int kind, const Bytes& partA, const Bytes& image, uint32_t headerFrames) {
        Bytes f(144, 0);
        const uint32_t magic = 0xF7F5AECBu;
        std::memcpy(f.data(), &magic, 4);
        std::memcpy(f.data() + 12, &headerFrames, 4);
        Bytes blk = MakeBlock(partA, {1, 2, 3}, "text", image);
        blk[16] = uint8_t(kind);
        f.insert(f.end(), blk.begin(), blk.end());
        return f;
    };
    Bytes blank;
    for (int y = 0; y < 65535; ++y) blank.insert(blank.end(), {0xE0, 0x80});
    Crawl wide;  // 1000 segments of 32767 columns: a crawl of 32.7 million columns
    wide.segHeight = 16;
    wide.widths.assign(1000, 32767);
    wide.starts.assign(1000, 0);
    struct Case {
        const char* what;
        Bytes qcg;
        int frames;
    } cases[] = {
        {"roll of 65535 rows on a 65535-row screen",
         file(1, MakePartA(320, 65535, 1), MakeImageRaw(201, 320, 65535, blank), 0), tb::kMaxClipFrames},
        {"crawl of 32.7 million columns",
         file(2, MakePartA(320, 240, 2), MakeImageRaw(202, 16, 16, Bytes(32, 0xE0), &wide), 0), tb::kMaxClipFrames},
        {"animation of 2^32 - 1 frames", file(4, MakePartA(32, 24, 4), MakeImage(200, 32, 24, Pattern(32, 24, 1)),
                                              0xFFFFFFFFu), tb::kMaxClipFrames},
        {"animation of 2^31 frames", file(4, MakePartA(32, 24, 4), MakeImage(200, 32, 24, Pattern(32, 24, 1)),
                                          0x80000000u), tb::kMaxClipFrames},
    };
    MsgBoxCapture boxes;
    for (const Case& c : cases) {
        INFO(c.what);
        const std::string path = TempName(".qcg");
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD put;
        WriteFile(h, c.qcg.data(), DWORD(c.qcg.size()), &put, nullptr);
        CloseHandle(h);
        tb::CgAnimationClip clip;
        BOOL loaded = FALSE;
        const Cost cost = Measure([&] { loaded = clip.LoadQcgTitle(path.c_str()); });
        Report(c.what, cost);
        CHECK(loaded);
        CHECK(clip.frameCount == c.frames);
        CHECK(cost.cpu < kSeconds);
        CHECK(cost.megabytes < kMegabytes);
        DeleteFileA(path.c_str());
    }
    CHECK(boxes.count() == 0);
}
