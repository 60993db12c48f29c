// The library entry of Tarvofx.dll.
#include "fxhost.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, void *)
{
    if (reason == DLL_PROCESS_ATTACH) FxLibraryStart(module);
    if (reason == DLL_PROCESS_DETACH) FxLibraryStop();
    return TRUE;
}
