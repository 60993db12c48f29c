/* A library for the loader's tests that has no CheckVersion export. */
#include <windows.h>

extern "C" int WINAPI BareAnswer(void) { return 7; }
