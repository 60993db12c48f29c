// Ferrix32.dll entry point: the library lock exists from load on; an unload
// releases the filter modules that discovery kept.
#include <windows.h>
#include "registry.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE inst, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(inst);
        fxLibraryAttach(inst);
    } else if (reason == DLL_PROCESS_DETACH && !reserved) {
        // Only on FreeLibrary: at process exit other modules may be gone.
        fxLibraryDetach();
    }
    return TRUE;
}
