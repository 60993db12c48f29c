// CG roll rendering at successive frame positions (720x486 pages) against
// memcpy of one frame, and the export of a title page with three text
// layers, in one run.
//
//   bench_cglink.exe [frames]
#include <windows.h>
#include "bench_load.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cuelink.h"
#include "qcg_build.h"
#include "title_export.h"

using namespace qcgtest;

namespace {

const int W = 720, H = 486;

double Now()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// A roll of text-like lines: bands of short opaque runs with soft edges on
// a transparent page, three pages high.
Pixels RollPicture(int w, int h)
{
    Pixels p(size_t(w) * h, 0);
    uint32_t s = 1;
    for (int y = 0; y < h; ++y) {
        if (y % 48 >= 30) continue;
        int x = 60 + (y / 48 * 37) % 80;
        while (x < w - 60) {
            s = s * 1664525u + 1013904223u;
            const int on = 2 + (s >> 28) % 7, off = 1 + (s >> 24) % 5;
            if (x < w) p[size_t(y) * w + x] = 0x80FFFFFF;
            for (int k = 1; k < on && x + k < w; ++k) p[size_t(y) * w + x + k] = 0xFFFFFFFF;
            if (x + on < w) p[size_t(y) * w + x + on] = 0x80FFFFFF;
            x += on + 1 + off;
        }
    }
    return p;
}

}  // namespace

int main(int argc, char** argv)
{
    const int frames = argc > 1 ? std::max(10, atoi(argv[1])) : 300;
    PrintBenchLoad("before");
    const int ih = 3 * H;
    const Bytes block = MakeBlock(MakePartA(W, H, 1), {}, "", MakeImage(201, W, ih, RollPicture(W, ih)));
    const auto* blk = reinterpret_cast<const QcgRecordBlock*>(block.data());
    std::vector<uint32_t> buf(size_t(W) * H, 0xFF102030), src(size_t(W) * H, 0x55AA55AA), dst(size_t(W) * H);

    auto run = [&](DWORD flags) {
        double best = 1e30;
        for (int round = 0; round < 3; ++round) {
            const double t0 = Now();
            for (int i = 0; i < frames; ++i) GetRenderedData(blk, buf.data(), W, H, i, frames, &flags);
            best = std::min(best, (Now() - t0) / frames);
        }
        return best;
    };
    double copy = 1e30;
    for (int round = 0; round < 3; ++round) {
        const double t0 = Now();
        for (int i = 0; i < frames; ++i) {
            std::memcpy(dst.data(), src.data(), dst.size() * 4);
            src[size_t(i) % src.size()] ^= 1;  // keep the copy honest
        }
        copy = std::min(copy, (Now() - t0) / frames);
    }
    // GetRenderedData always blends; the cleared path is the caller's flag 0
    // through QCGGetRenderedData.
    const double blended = run(0);
    double cleared = 1e30;
    for (int round = 0; round < 3; ++round) {
        const double t0 = Now();
        for (int i = 0; i < frames; ++i)
            QCGGetRenderedData(0, block.data() + 32, block.data() + 32 + 32, buf.data(), W, H, 0, i, frames, blk);
        cleared = std::min(cleared, (Now() - t0) / frames);
    }
    const double field = run(QCG_RENDER_FIELD_EVEN);

    printf("CG roll %dx%d, %d positions (ms per frame, best of 3)\n", W, H, frames);
    printf("  memcpy of one frame      %8.3f ms  %8.1f fps  1.00x\n", copy, 1000 / copy);
    printf("  roll, blended (flag 1)   %8.3f ms  %8.1f fps  %.2fx memcpy\n", blended, 1000 / blended, blended / copy);
    printf("  roll, into cleared frame %8.3f ms  %8.1f fps  %.2fx memcpy\n", cleared, 1000 / cleared, cleared / copy);
    printf("  roll, one field          %8.3f ms  %8.1f fps  %.2fx memcpy\n", field, 1000 / field, field / copy);

    // A page of three text layers (one with a soft shadow) exported.
    titlebox::TitleObjectList page;
    titlebox::TitleDefaults d;
    d.faceName = "DejaVu Sans";
    d.fontSize = 24;
    for (int k = 0; k < 3; ++k) {
        std::unique_ptr<titlebox::TitleObject> o(new titlebox::TitleObject(d, titlebox::PageScale()));
        o->tracker.reset(new titlebox::RectTracker);
        o->tracker->rect = {10, 10 + 70 * k, 310, 70 + 70 * k};
        o->text = "Title line " + std::to_string(k + 1) + "\r\nsecond line";
        o->shadowType = k == 0 ? titlebox::SHADOW_SOFT : titlebox::SHADOW_SINGLE;
        page.push_back(std::move(o));
    }
    double exportMs = 1e30;
    size_t bytes = 0;
    for (int round = 0; round < 10; ++round) {
        const double t0 = Now();
        bytes = titlebox::BuildTitleExport(page).size();
        exportMs = std::min(exportMs, Now() - t0);
    }
    printf("Export of a page with three text layers (one soft shadow): %.3f ms, %zu bytes\n", exportMs, bytes);
    PrintBenchLoad("after");
    return 0;
}
