/* Entry point of Pixmoor.dll: start-up at process attach, the per-thread
 * notification switches at thread attach, tear-down at process detach. */
#include <windows.h>

void PixmoorProcessAttach(void);
void PixmoorThreadAttach(void);
void PixmoorProcessDetach(void);

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    switch (reason) {
    case DLL_PROCESS_ATTACH: PixmoorProcessAttach(); break;
    case DLL_THREAD_ATTACH: PixmoorThreadAttach(); break;
    case DLL_PROCESS_DETACH: (void)reserved; PixmoorProcessDetach(); break;
    }
    return TRUE;
}
