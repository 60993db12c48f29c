/* Tundrix32.dll's entry point. */
#include "internal.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) TundrixAttach(module);
    else if (reason == DLL_PROCESS_DETACH) TundrixDetach(reserved != nullptr);
    return TRUE;
}
