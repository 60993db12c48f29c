#include "errtext.h"

#include <cstdio>

std::string LoadwellErrorText(unsigned long code)
{
    static const char *const texts[] = {
        /* 0 */ "Error 0: System was out of memory, executable file was corrupt, or relocations were invalid.",
        /* 1 */ nullptr,
        /* 2 */ "Error 2: File was not found",
        /* 3 */ "Error 3: Path was not found",
        /* 4 */ nullptr,
        /* 5 */ "Error 5: Attempt was made to dynamically link to a task, or there was a sharing or network-protection error.",
        /* 6 */ "Error 6: Library required separate data segments for each task.",
        /* 7 */ nullptr,
        /* 8 */ "Error 8: There was insufficient memory to start the application",
        /* 9 */ nullptr,
        /* 10 */ "Error 10: Windows version was incorrect",
        /* 11 */ "Error 11: Executable file was invalid. Either it was not a Windows application or there was an error in the .EXE image",
        /* 12 */ "Error 12: Application was designed for a different operating system",
        /* 13 */ "Error 13: Application was designed for MS-DOS 4.0.",
        /* 14 */ "Error 14: Type of executable file was unknown.",
        /* 15 */ "Error 15: Attempt was made to load a real-mode application (developed for an earlier version of Windows).",
        /* 16 */ "Error 16: Attempt was made to load a second instance of an executable file containing multiple data segments that were not marked read-only.",
        /* 17 */ nullptr,
        /* 18 */ nullptr,
        /* 19 */ "Error 19: Attempt was made to load a compressed executable file. The file must be decompressed before it can be loaded.",
        /* 20 */ "Error 20: Dynamic-link library (DLL) file was invalid. One of the DLLs required to run this application was corrupt.",
        /* 21 */ "Error 21: Application requires Microsoft Windows 32-bit extensions.",
    };
    if (code < sizeof texts / sizeof texts[0] && texts[code]) return texts[code];
    char buf[64];
    std::snprintf(buf, sizeof buf, "Error %lu: Unknown Error", code);
    return buf;
}
