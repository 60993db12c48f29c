/*
 * One channel of the engine decoding a clip into its channel surface as fast
 * as the graph allows (no reference clock), side by side with the ffmpeg
 * tool decoding the same file to raw BGR24 at the same size.
 *
 *   bench_engine_decode.exe [folder]     clips are made there with ffmpeg
 */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include "corvengine.h"
#include "engine.h"
#include "file_source.h"
#include "painter.h"

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
 * frames drawn into the channel surface until the stream ends. */
double engine_fps(HWND host, const std::string &path, int *frames)
{
    if (!OpenSource(0, dos(path).c_str(), "")) return 0;
    auto *r = dynamic_cast<CAviMpegReader *>(g_engine.channel[0]);
    IMediaFilter *mf = nullptr;
    if (r && r->graph && SUCCEEDED(r->graph->QueryInterface(IID_IMediaFilter, (void **)&mf))) {
        mf->SetSyncSource(nullptr);
        mf->Release();
    }
    unsigned start = g_channelPainter[0]->signals;
    double t0 = now(), last = t0;
    unsigned seen = start;
    MyPlay(0);
    /* Done when no frame came for half a second (the end of the stream). */
    while (now() - last < 0.5) {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
        unsigned s = g_channelPainter[0]->signals;
        if (s != seen) { seen = s; last = now(); }
        Sleep(1);
    }
    *frames = (int)(seen - start);
    CloseSource(0);
    ResetEngine();
    (void)host;
    return *frames / (last - t0);
}

double ffmpeg_fps(const std::string &path, int frames)
{
    std::string cmd = "ffmpeg -hide_banner -loglevel error -i '" + path +
                      "' -f rawvideo -pix_fmt bgr24 -y /dev/null";
    double t0 = now();
    if (system(cmd.c_str()) != 0) return 0;
    return frames / (now() - t0);
}

}  // namespace

int main(int argc, char **argv)
{
    std::string dir = argc > 1 ? argv[1] : "/tmp/engbench";
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

    printf("%-10s %-10s %8s %12s %12s %8s\n", "clip", "size", "frames", "engine fps", "ffmpeg fps", "ratio");
    for (const auto &c : clips) {
        std::string path = dir + "/" + c.name;
        SetVideoSurfaceSize(c.w, c.h);
        InitEngine(host);
        int frames = 0;
        engine_fps(host, path, &frames);              /* warm-up */
        double e = engine_fps(host, path, &frames);
        double f = ffmpeg_fps(path, c.w ? c.seconds * 25 : 0);
        ReleaseEngine();
        char size[32];
        snprintf(size, sizeof size, "%dx%d", c.w, c.h);
        printf("%-10s %-10s %8d %12.1f %12.1f %8.2f\n", c.name, size, frames, e, f, f > 0 ? e / f : 0.0);
    }
    DestroyWindow(host);
    return 0;
}
