/*
 * The whole live path: five channels decoding 720x576 clips, a transition
 * running every two seconds, the programme recorded to WMV at 25 frames a
 * second.  Reports frames written against the periods that passed, the
 * periods the clocks fell behind, and CPU time per frame (all threads).
 * Meant to run on two cores:
 *
 *   taskset -c 0,1 build/winrun bench_live_path.exe [seconds]
 */
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine_host.h"
#include "corvengine.h"
#include "engine.h"
#include "clock.h"
#include "writers.h"

extern "C" char *CDECL wine_get_unix_file_name(LPCWSTR dos);

static double cpu_seconds()
{
    FILETIME c, e, k, u;
    GetProcessTimes(GetCurrentProcess(), &c, &e, &k, &u);
    ULARGE_INTEGER kk, uu;
    kk.LowPart = k.dwLowDateTime; kk.HighPart = k.dwHighDateTime;
    uu.LowPart = u.dwLowDateTime; uu.HighPart = u.dwHighDateTime;
    return (kk.QuadPart + uu.QuadPart) / 1e7;
}

int main(int argc, char **argv)
{
    int seconds = argc > 1 ? atoi(argv[1]) : 60;
    if (seconds < 5) seconds = 5;
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    WCHAR wdir[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, dir, -1, wdir, MAX_PATH);
    char *udir = wine_get_unix_file_name(wdir);
    std::string unixDir = udir ? udir : "/tmp/";
    if (udir) HeapFree(GetProcessHeap(), 0, udir);

    /* Five clips, each a colour with moving noise and a tone. */
    const char *colours[5] = {"red", "green", "blue", "yellow", "magenta"};
    printf("making five 720x576 clips of %d s...\n", seconds + 10);
    fflush(stdout);
    for (int i = 0; i < 5; i++) {
        char cmd[1024];
        snprintf(cmd, sizeof(cmd),
                 "ffmpeg -v error -y -f lavfi -i \"color=%s:s=720x576:r=25:d=%d,noise=alls=20:allf=t\" "
                 "-f lavfi -i \"sine=frequency=1000:sample_rate=44100:duration=%d\" -c:v mpeg4 -q:v 4 "
                 "-c:a pcm_s16le -ac 2 '%slive%d.avi'",
                 colours[i], seconds + 10, seconds + 10, unixDir.c_str(), i);
        if (system(cmd) != 0) { printf("the ffmpeg tool failed\n"); return 1; }
    }

    EngineHost host(720, 576);
    for (int i = 0; i < 5; i++) {
        std::string f = std::string(dir) + "live" + std::to_string(i) + ".avi";
        if (!OpenSource(i, f.c_str(), f.c_str())) { printf("channel %d did not open\n", i); return 1; }
    }
    SelectChannel(0);
    for (int i = 0; i < 5; i++) MyPlay(i);
    host.Pump(1000);

    std::string out = std::string(dir) + "live_programme.wmv";
    SetEncoder(ENCODER_WM);
    SetBroadcastPort(0);
    SetSaveFile(out.c_str());
    unsigned lateBefore = g_transformer.lateFrames, skipsBefore = g_transformer.lockSkips;
    /* Periods count from the writer's start (the start reopens the five
     * sources first). */
    if (!EncoderStart()) { printf("the recording did not start\n"); return 1; }
    double cpu0 = cpu_seconds();
    DWORD t0 = GetTickCount();
    int transitions = 0, next = 1;
    while (GetTickCount() - t0 < (DWORD)seconds * 1000) {
        host.Pump(2000);
        if (!g_transformer.routine.load() && SelectChannel((WORD)next)) {
            SetTransEffect(transitions % 44, 1.0);
            transitions++;
            next = (next + 1) % 5;
        }
    }
    DWORD elapsed = GetTickCount() - t0;
    EncoderStop();
    double cpu = cpu_seconds() - cpu0;
    unsigned written = g_wmWriter.framesWritten;
    unsigned periods = elapsed / 40;
    printf("live path, %d s at 25 fps, 720x576, five channels, %d transitions\n", seconds, transitions);
    printf("  frames written          %u of %u periods (%d behind)\n", written, periods, (int)periods - (int)written);
    printf("  frame clock: late periods %u, lock skips %u\n", g_transformer.lateFrames - lateBefore,
           g_transformer.lockSkips - skipsBefore);
    printf("  CPU per frame           %.1f ms (all threads, %.1f s CPU in %.1f s)\n",
           written ? cpu * 1000 / written : 0.0, cpu, elapsed / 1000.0);
    DeleteFileA(out.c_str());
    for (int i = 0; i < 5; i++) DeleteFileA((std::string(dir) + "live" + std::to_string(i) + ".avi").c_str());
    return 0;
}
