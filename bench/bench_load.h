// What else the machine was doing while a benchmark ran: the load average
// and the processors this process may use (taskset pins them).
#pragma once
#include <windows.h>
#include <cstdio>
#include <initializer_list>

inline void PrintBenchLoad(const char *when) {
    double l1 = -1, l5 = -1;
    /* The C library may be the host's or Wine's: try both spellings. */
    for (const char *path : {"/proc/loadavg", "Z:\\proc\\loadavg"}) {
        FILE *f = fopen(path, "r");
        if (!f) continue;
        if (fscanf(f, "%lf %lf", &l1, &l5) != 2) l1 = l5 = -1;
        fclose(f);
        if (l1 >= 0) break;
    }
    DWORD_PTR proc = 0, sys = 0;
    int cores = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &proc, &sys))
        for (DWORD_PTR m = proc; m; m &= m - 1) ++cores;
    printf("load %s: %.2f (1 min) %.2f (5 min); processors available: %d\n", when, l1, l5, cores);
}
