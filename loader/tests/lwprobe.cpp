/* A loadable library for the loader's tests: accepts versions up to 0x200. */
#include <windows.h>

extern "C" BOOL WINAPI CheckVersion(DWORD requested) { return requested <= 0x200 ? TRUE : FALSE; }
extern "C" int WINAPI ProbeAnswer(void) { return 42; }
