/*
 * One channel of the engine decoding a clip into its channel surface as fast
 * as the graph allows (no reference clock), side by side with the same
 * FFmpeg libraries in an in-process loop (demux, decode, libswscale to
 * BGR24; opening not timed).  Both sides are counted from their first
 * picture.  Run it on the whole machine and pinned to one core:
 *
 *   bench_engine_decode.exe [folder]     clips are made there with ffmpeg
 *   taskset -c 2 build/winrun bench_engine_decode.exe
 */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <algorithm>
#include <cstring>
#include "corvengine.h"
#include "engine.h"
#include "file_source.h"
#include "painter.h"
#include "bench_load.h"
#include "ffloop.h"

namespace {

double now()
{
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return (double)c.QuadPart / f.QuadPart;
}

struct Clip { const char *name; int w, h, seconds; };

std::string dos(const std::string &unix)
{
    std::string d = "Z:" + unix;
    for (auto &c : d)
        if (c == '/') c = '\\';
    return d;
}

/* Frames per second of the engine: open, drop the clock, play, count the
 * frames drawn into the channel surface until the stream ends, from the
 * first frame on (opening and the first picture's start-up not timed). */
double engine_fps(HWND host, const std::string &path, int *frames, bool keepSilence)
{
    if (!OpenSource(0, dos(path).c_str(), "")) return 0;
    auto *r = dynamic_cast<CAviMpegReader *>(g_engine.channel[0]);
    IMediaFilter *mf = nullptr;
    if (r && r->graph && SUCCEEDED(r->graph->QueryInterface(IID_IMediaFilter, (void **)&mf))) {
        mf->SetSyncSource(nullptr);
        mf->Release();
    }
    /* A clip without sound plays a silent track from the audio synthesizer;
     * with no clock it would fill buffers flat out for ever (in the station
     * the clock paces it at 22050 Hz), so it is taken out unless asked. */
    for (const WCHAR *name : {L"Audio Synthesizer", L"ACM Wrapper", L"Audio Grabber", L"Null Audio Renderer"}) {
        IBaseFilter *f = nullptr;
        if (!keepSilence && r && r->graph && SUCCEEDED(r->graph->FindFilterByName(name, &f))) {
            r->graph->RemoveFilter(f);
            f->Release();
        }
    }
    const unsigned start = g_channelPainter[0]->signals;
    unsigned seen = start, firstSeen = start;
    double first = 0, last = now();
    MyPlay(0);
    /* Done when no frame came for half a second after the first (the end of
     * the stream); the first may take up to 20 s. */
    for (;;) {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
        unsigned s = g_channelPainter[0]->signals;
        double t = now();
        if (s != seen) {
            if (seen == start) { first = t; firstSeen = s; }
            seen = s;
            last = t;
        }
        if (seen == start ? t - last > 20 : t - last > 0.5) break;
        Sleep(1);
    }
    *frames = (int)(seen - start);
    CloseSource(0);
    ResetEngine();
    (void)host;
    return seen != firstSeen && last > first ? (seen - firstSeen) / (last - first) : 0;
}

/* Milliseconds of the two frame passes the channel makes beyond the loop:
 * the colour filter's copy at zero offsets (a memcpy of the 24-bit frame)
 * and the draw into the channel surface (DrawFrame), best of 20 each. */
void stage_ms(const std::string &path, double *copyMs, double *drawMs)
{
    *copyMs = *drawMs = 0;
    if (!OpenSource(0, dos(path).c_str(), "")) return;
    auto *r = dynamic_cast<CAviMpegReader *>(g_engine.channel[0]);
    if (r && r->videoType && r->videoType->cbFormat >= sizeof(VIDEOINFOHEADER)) {
        const BITMAPINFOHEADER &b = reinterpret_cast<const VIDEOINFOHEADER *>(r->videoType->pbFormat)->bmiHeader;
        const size_t bytes = (size_t)((b.biWidth * 3 + 3) & ~3) * (b.biHeight < 0 ? -b.biHeight : b.biHeight);
        std::string a(bytes, '\x40'), c(bytes, '\0');
        double bestCopy = 1e9, bestDraw = 1e9;
        for (int i = 0; i < 20; i++) {
            double t0 = now();
            memcpy(&c[0], a.data(), bytes);
            double t1 = now();
            r->DrawFrame(reinterpret_cast<const BYTE *>(a.data()), (long)bytes);
            double t2 = now();
            bestCopy = std::min(bestCopy, t1 - t0);
            bestDraw = std::min(bestDraw, t2 - t1);
        }
        *copyMs = bestCopy * 1e3;
        *drawMs = bestDraw * 1e3;
    }
    CloseSource(0);
    ResetEngine();
}

}  // namespace

int main(int argc, char **argv)
{
    std::string dir = argc > 1 ? argv[1] : "/tmp/engbench";
    const char *only = argc > 2 ? argv[2] : nullptr;  /* one clip by name (for a profiler) */
    const Clip clips[] = {{"pal.wmv", 720, 576, 8}, {"hd.wmv", 1920, 1080, 4}};
    for (const auto &c : clips) {
        std::string path = dir + "/" + c.name;
        char cmd[512];
        snprintf(cmd, sizeof cmd,
                 "mkdir -p '%s' && [ -f '%s' ] || ffmpeg -hide_banner -loglevel error -f lavfi -i "
                 "testsrc2=s=%dx%d:r=25 -t %d -c:v wmv2 -b:v 8M -an -y '%s'",
                 dir.c_str(), path.c_str(), c.w, c.h, c.seconds, path.c_str());
        if (system(cmd) != 0) { fprintf(stderr, "cannot make %s\n", path.c_str()); return 1; }
    }

    CoInitialize(nullptr);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "CorvBenchHost";
    RegisterClassA(&wc);
    HWND host = CreateWindowA("CorvBenchHost", "bench", WS_OVERLAPPEDWINDOW, 0, 0, 64, 64,
                              nullptr, nullptr, nullptr, nullptr);

    printf("channel decoding into its surface (no clock) against an in-process FFmpeg loop\n"
           "(demux, decode, libswscale to BGR24), both counted from their first picture\n");
    PrintBenchLoad("at the start");
    printf("three rounds, engine and loop in alternation; the ratio is of the medians\n");
    printf("%-10s %-10s %8s %24s %24s %8s %22s\n", "clip", "size", "frames", "engine fps (3 rounds)",
           "loop fps (3 rounds)", "ratio", "engine, silent track");
    auto median3 = [](double v[3]) {
        double a[3] = {v[0], v[1], v[2]};
        std::sort(a, a + 3);
        return a[1];
    };
    for (const auto &c : clips) {
        if (only && strcmp(only, c.name) != 0) continue;
        std::string path = dir + "/" + c.name;
        SetVideoSurfaceSize(c.w, c.h);
        int frames = 0;
        double e[3], l[3];
        long loopFrames = 0;
        InitEngine(host);
        engine_fps(host, path, &frames, false);  /* warm-up */
        ReleaseEngine();
        FfmpegLoop(path);                        /* warm-up */
        for (int round = 0; round < 3; round++) {
            InitEngine(host);
            e[round] = engine_fps(host, path, &frames, false);
            ReleaseEngine();
            const FfLoopResult f = FfmpegLoop(path);
            l[round] = f.fps;
            loopFrames = f.frames;
        }
        InitEngine(host);
        int framesSilent = 0;
        double withSilence = engine_fps(host, path, &framesSilent, true);
        double copyMs = 0, drawMs = 0;
        stage_ms(path, &copyMs, &drawMs);
        ReleaseEngine();
        const double em = median3(e), lm = median3(l);
        char size[32], es[64], ls[64];
        snprintf(size, sizeof size, "%dx%d", c.w, c.h);
        snprintf(es, sizeof es, "%.0f %.0f %.0f", e[0], e[1], e[2]);
        snprintf(ls, sizeof ls, "%.0f %.0f %.0f", l[0], l[1], l[2]);
        printf("%-10s %-10s %8d %24s %24s %8.2f %13.1f (%.2f)\n", c.name, size, frames, es, ls,
               lm > 0 ? em / lm : 0.0, withSilence, lm > 0 ? withSilence / lm : 0.0);
        (void)loopFrames;
        if (em > 0 && lm > 0)
            printf("%-21s ms a picture (medians): loop %.3f, engine %.3f (%.3f more); the draw into the\n"
                   "%-21s surface %.3f; a frame's memcpy %.3f (the copy the colour filter no longer makes\n"
                   "%-21s at zero offsets: it passes the sample on)\n",
                   "", 1e3 / lm, 1e3 / em, 1e3 / em - 1e3 / lm, "", drawMs, copyMs, "");
    }
    PrintBenchLoad("at the end");
    printf("compared: one channel's graph (source, splitter, decoder, colour filter at zero offsets, grabber,\n"
           "hidden renderer) drawing into its surface, against the in-process FFmpeg loop to BGR24 on the\n"
           "same clip, medians of three alternated rounds.  Target: ratio >= 0.80.  The clips have no sound:\n"
           "the engine's silent track is taken out for the engine column; the last column keeps it, flat out.\n");
    DestroyWindow(host);
    return 0;
}
