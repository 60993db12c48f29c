/*
 * The whole live path: five channels decoding clips with sound (a colour
 * with moving noise and a tone each), a transition started every second, a
 * title (text with a soft shadow) over the programme, and the programme
 * recorded at 25 frames a second, to WMV or to FLV.  Reports frames composed,
 * late and dropped, frames written against the periods of the wall clock,
 * and CPU in cores: the process alone and with its Wine server.
 *
 *   taskset -c 0,1 build/winrun bench_live_path.exe [seconds] [sd|hd] [wmv|flv]
 *
 * Defaults: 60 s, 720x576 ("sd"; "hd" is 1920x1080), WMV.  The clips are
 * made once with the ffmpeg tool in the temporary folder and kept.
 */
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include <algorithm>

#include "engine_host.h"
#include "corvengine.h"
#include "engine.h"
#include "clock.h"
#include "combiner.h"
#include "writers.h"
#include "bench_load.h"
#include "title_bytes.h"

extern "C" char *CDECL wine_get_unix_file_name(LPCWSTR dos);

namespace {

double ProcessCpuSeconds()
{
    FILETIME c, e, k, u;
    GetProcessTimes(GetCurrentProcess(), &c, &e, &k, &u);
    ULARGE_INTEGER kk, uu;
    kk.LowPart = k.dwLowDateTime; kk.HighPart = k.dwHighDateTime;
    uu.LowPart = u.dwLowDateTime; uu.HighPart = u.dwHighDateTime;
    return (kk.QuadPart + uu.QuadPart) / 1e7;
}

/* CPU seconds of this prefix's Wine server, from the host's process table:
 * the server works in a folder named after the prefix's device and inode
 * ("server-<dev>-<inode>"), which tells it from the servers of other
 * prefixes.  -1 when it cannot be found. */
double ServerCpuSeconds()
{
    const char *prefix = getenv("WINEPREFIX");
    if (!prefix) return -1;
    char cmd[1024];
    snprintf(cmd, sizeof cmd,
             "want=server-$(stat -L -c %%D '%s')-$(printf %%x $(stat -L -c %%i '%s')); "
             "for pid in $(pgrep wineserver); do case $(readlink /proc/$pid/cwd) in */$want) "
             "awk '{print $14 + $15}' /proc/$pid/stat; exit;; esac; done",
             prefix, prefix);
    FILE *p = popen(cmd, "r");
    if (!p) return -1;
    double ticks = -1;
    if (fscanf(p, "%lf", &ticks) != 1) ticks = -1;
    pclose(p);
    return ticks < 0 ? -1 : ticks / 100.0;  /* clock ticks of 1/100 s */
}

/* A text title with a soft shadow: a box of half-transparent black under the
 * lower third, fading out over its edges (premultiplied). */
bool LoadTitle(int w, int h)
{
    std::vector<uint32_t> shadow((size_t)w * h, 0);
    const int x0 = w / 10, x1 = w - w / 10, y0 = h * 2 / 3, y1 = h - h / 12, soft = 12;
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++) {
            int d = std::min(std::min(x - x0, x1 - 1 - x), std::min(y - y0, y1 - 1 - y));
            uint32_t a = d >= soft ? 144 : (uint32_t)(144 * (d + 1) / (soft + 1));
            shadow[(size_t)y * w + x] = a << 24;
        }
    benchtitle::LayerSpec l{0, w, h, 0, 0,
                            benchtitle::TextHeader("Evening News\r\nLive from the studio\r\nWeather at nine", 3)};
    benchtitle::Bytes m;
    benchtitle::Block(m, shadow, w, h);
    l.block.insert(l.block.end(), m.b.begin(), m.b.end());
    const std::vector<uint8_t> file = benchtitle::TitleFile({l});
    char path[MAX_PATH + 32];
    CDXSurfCombiner::TitlePath(COMBINER_PROGRAMME, path, sizeof(path));
    HANDLE f = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD done = 0;
    WriteFile(f, file.data(), (DWORD)file.size(), &done, nullptr);
    CloseHandle(f);
    TitleApply(TRUE, 0, 0);
    return !g_combiner.slots[COMBINER_PROGRAMME].title.layers.empty();
}

}  // namespace

int main(int argc, char **argv)
{
    int seconds = argc > 1 ? atoi(argv[1]) : 60;
    if (seconds < 5) seconds = 5;
    const bool hd = argc > 2 && !strcmp(argv[2], "hd");
    const bool flv = argc > 3 && !strcmp(argv[3], "flv");
    const int W = hd ? 1920 : 720, H = hd ? 1080 : 576;
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    WCHAR wdir[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, dir, -1, wdir, MAX_PATH);
    char *udir = wine_get_unix_file_name(wdir);
    std::string unixDir = udir ? udir : "/tmp/";
    if (udir) HeapFree(GetProcessHeap(), 0, udir);

    /* Five clips, each a colour with moving noise and a tone; kept between
     * runs (named by size and length). */
    const char *colours[5] = {"red", "green", "blue", "yellow", "magenta"};
    std::vector<std::string> clips;
    printf("making five %dx%d clips of %d s (once)...\n", W, H, seconds + 10);
    fflush(stdout);
    for (int i = 0; i < 5; i++) {
        char name[64];
        snprintf(name, sizeof name, "live%d_%dx%d_%d.avi", i, W, H, seconds + 10);
        clips.push_back(std::string(dir) + name);
        char cmd[1024];
        snprintf(cmd, sizeof(cmd),
                 "[ -s '%s%s' ] || ffmpeg -v error -y -f lavfi -i \"color=%s:s=%dx%d:r=25:d=%d,noise=alls=20:allf=t\" "
                 "-f lavfi -i \"sine=frequency=%d:sample_rate=44100:duration=%d\" -c:v mpeg4 -q:v 4 "
                 "-c:a pcm_s16le -ac 2 '%s%s'",
                 unixDir.c_str(), name, colours[i], W, H, seconds + 10, 400 + 150 * i, seconds + 10,
                 unixDir.c_str(), name);
        if (system(cmd) != 0) { printf("the ffmpeg tool failed\n"); return 1; }
    }

    EngineHost host(W, H);
    for (int i = 0; i < 5; i++)
        if (!OpenSource(i, clips[i].c_str(), clips[i].c_str())) { printf("channel %d did not open\n", i); return 1; }
    SelectChannel(0);
    for (int i = 0; i < 5; i++) MyPlay(i);
    host.Pump(1000);
    const bool titled = LoadTitle(W, H);

    std::string out = std::string(dir) + (flv ? "live_programme.flv" : "live_programme.wmv");
    SetBroadcastPort(0);
    if (flv) {
        /* The FLV writer takes the engine's frame rate (30 a second until
         * something sets it; the WMV profile sets 25): set 25 for both. */
        SetFrameRate(25);
        SetEncoder(ENCODER_FLV);
        FlvSettings s = {};
        lstrcpynA(s.ArchivingFileName, out.c_str(), sizeof(s.ArchivingFileName));
        s.VideoWidth = W;
        s.VideoHeight = H;
        s.VideoBitrate = hd ? 6000 : 2000;
        s.FrameRate = 25;
        s.AudioSampleRate = 44100;
        s.AudioBitrate = 64;
        SetFLVEncProfile(&s);
    } else {
        SetEncoder(ENCODER_WM);
        SetSaveFile(out.c_str());
    }
    PrintBenchLoad("at the start");
    /* Periods count from the writer's start (the start reopens the five
     * sources first). */
    if (!EncoderStart()) { printf("the recording did not start\n"); return 1; }
    const unsigned composed0 = g_transformer.composed, late0 = g_transformer.lateFrames,
                   skips0 = g_transformer.lockSkips;
    const unsigned flvSkipped0 = g_flvWriter.framesSkipped;
    const double cpu0 = ProcessCpuSeconds(), server0 = ServerCpuSeconds();
    const DWORD t0 = GetTickCount();
    int transitions = 0, next = 1;
    while (GetTickCount() - t0 < (DWORD)seconds * 1000) {
        host.Pump(1000);
        if (!g_transformer.routine.load() && SelectChannel((WORD)next)) {
            SetTransEffect(transitions % 44, 0.8);
            transitions++;
            next = (next + 1) % 5;
        }
    }
    const DWORD elapsed = GetTickCount() - t0;
    const double cpu = ProcessCpuSeconds() - cpu0, server1 = ServerCpuSeconds();
    const unsigned composed = g_transformer.composed - composed0, late = g_transformer.lateFrames - late0,
                   skips = g_transformer.lockSkips - skips0;
    EncoderStop();
    const unsigned written = flv ? g_flvWriter.framesWritten.load() : g_wmWriter.framesWritten.load();
    const unsigned flvSkipped = flv ? g_flvWriter.framesSkipped - flvSkipped0 : 0;
    const int period = g_engine.framePeriod.load() > 0 ? g_engine.framePeriod.load() : 40;
    const unsigned periods = elapsed / period;
    const double wall = elapsed / 1000.0;
    const double server = server0 >= 0 && server1 >= 0 ? server1 - server0 : -1;

    printf("live path: %d s at %d fps, %dx%d, five channels with sound, %d transitions, title %s, %s recording\n",
           seconds, 1000 / period, W, H, transitions, titled ? "on" : "NOT LOADED", flv ? "FLV" : "WMV");
    printf("  frames composed         %u of %u periods\n", composed, periods);
    printf("  late periods            %u (the clock fell behind the wall clock)\n", late);
    printf("  dropped                 %u (surface lock timed out)%s", skips, flv ? "" : "\n");
    if (flv) printf(", %u skipped by the FLV writer\n", flvSkipped);
    printf("  frames written          %u in %.1f s of wall clock (%u periods, %d behind)\n", written, wall, periods,
           (int)periods - (int)written);
    printf("  CPU                     %.2f cores for the process", cpu / wall);
    if (server >= 0) printf(", %.2f with its Wine server (%.2f)\n", (cpu + server) / wall, server / wall);
    else printf(" (Wine server not found)\n");
    printf("  CPU per frame written   %.1f ms (all threads of the process)\n", written ? cpu * 1000 / written : 0.0);
    PrintBenchLoad("at the end");
    printf("compared: frames composed and written against the periods (%d ms) of the wall clock.\n"
           "Targets: 0 late on 2 cores at both sizes; the 1920x1080 run within 1.0 core with the Wine server.\n",
           period);
    TitleApply(FALSE, 0, 0);
    DeleteFileA(out.c_str());
    return 0;
}
