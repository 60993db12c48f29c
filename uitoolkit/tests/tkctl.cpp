/* A control library for the start-up tests: counts its registration and
 * unregistration calls and keeps the last caller version. */
#include <windows.h>

namespace {
LONG g_registers, g_unregisters;
DWORD g_version;
}

extern "C" BOOL WINAPI CtlRegister(DWORD version)
{
    ++g_registers;
    g_version = version;
    return TRUE;
}
extern "C" BOOL WINAPI CtlUnregister(void)
{
    ++g_unregisters;
    return TRUE;
}
extern "C" void WINAPI CtlCounts(LONG *registers, LONG *unregisters, DWORD *version)
{
    *registers = g_registers;
    *unregisters = g_unregisters;
    *version = g_version;
}
