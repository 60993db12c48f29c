/* Stand-ins for the library loader's registration entry points, for the
 * button library's self-registration test.  Built twice: with only
 * REGRegisterLibrary (REGSTUB_ONE) and with both entry points. */
#include <windows.h>
#include <cstring>

namespace {
char g_names[256];
int g_library_calls;
DWORD g_version;
}

extern "C" BOOL WINAPI REGRegisterLibrary(HMODULE module, DWORD version)
{
    ++g_library_calls;
    g_version = version;
#ifdef REGSTUB_ONE
    (void)module;
    return 7;  /* a distinctive result that must come back unchanged */
#else
    return module != nullptr;
#endif
}

#ifndef REGSTUB_ONE
extern "C" BOOL WINAPI REGRegisterNamedLibrary(LPCSTR name, HMODULE module, DWORD version)
{
    if (!name || !module || version != g_version) return FALSE;
    if (g_names[0]) lstrcatA(g_names, ",");
    lstrcatA(g_names, name);
    return TRUE;
}
#endif

extern "C" const char *WINAPI RegStubNames(void) { return g_names; }
extern "C" int WINAPI RegStubCalls(void) { return g_library_calls; }
