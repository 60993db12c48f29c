/* The twelve exports of Glancer.dll over the one process-wide player. */
#include "glancer.h"
#include "preview_player.h"

static PreviewPlayer *g_player;

static PreviewPlayer &Player()
{
    if (!g_player)
        g_player = new PreviewPlayer();
    return *g_player;
}

extern "C" {

void WINAPI MyStop(void) { Player().Stop(); }
void WINAPI MyRun(void) { Player().Run(); }
void WINAPI MyPause(void) { Player().Pause(); }
int WINAPI SetMyPosition(int seconds) { return Player().SetPosition(seconds) ? 1 : 0; }
int WINAPI GetMyVideoDuration(void) { return Player().Duration(); }
HWND WINAPI SetMyVideoWindows(HWND window) { return Player().SetOwner(window); }
int WINAPI MyFileOpen(const char *path) { return Player().Open(path) ? 1 : 0; }
void WINAPI MyReleaseAll(void) { Player().ReleaseAll(); }
HRESULT WINAPI GetMyVideoSize(int *width, int *height) { return Player().VideoSize(width, height); }
int WINAPI GetMyPosition(void) { return Player().Position(); }
void WINAPI MyRewind(int seconds) { Player().Rewind(seconds); }
void WINAPI MyForward(int seconds) { Player().Forward(seconds); }

BOOL WINAPI DllMain(HINSTANCE inst, DWORD reason, void *reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(inst);
        g_player = new PreviewPlayer();
    } else if (reason == DLL_PROCESS_DETACH && g_player) {
        /* Unloaded by FreeLibrary: release what is open and end COM for the
         * thread.  At process exit COM may already be gone: leave it. */
        if (!reserved)
            g_player->Shutdown();
        else
            g_player = nullptr;
        if (!reserved) {
            delete g_player;
            g_player = nullptr;
        }
    }
    return TRUE;
}

} // extern "C"
