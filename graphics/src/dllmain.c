/* Entry point of Pixmoor.dll: start-up at process attach, the per-thread
 * notification switches at thread attach, tear-down at process detach. */
#include <windows.h>

void PixmoorProcessAttach(void);
void PixmoorThreadAttach(void);
void PixmoorProcessDetach(void);
void PixmoorProcessEnding(void);

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    switch (reason) {
    case DLL_PROCESS_ATTACH: PixmoorProcessAttach(); break;
    case DLL_THREAD_ATTACH: PixmoorThreadAttach(); break;
    case DLL_PROCESS_DETACH:
        /* reserved is set when the whole process ends: leave the store and
         * the slots to the process; a FreeLibrary tears everything down. */
        if (reserved) PixmoorProcessEnding();
        else PixmoorProcessDetach();
        break;
    }
    return TRUE;
}
