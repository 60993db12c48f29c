// Library start-up and shut-down, the allocation pair
// and the two process-wide locks.
#include <objbase.h>

#include <cstdlib>

#include "fxhost.h"
#include "fxwin32.h"

namespace {

CRITICAL_SECTION g_attachLock, g_editorLock;
bool g_locksMade;
bool g_comStarted;

// Locks exist before any node can attach; a library linked statically into
// a test gets them on first use.
void MakeLocks()
{
    if (g_locksMade) return;
    InitializeCriticalSection(&g_attachLock);
    InitializeCriticalSection(&g_editorLock);
    g_locksMade = true;
}

}  // namespace

void *FxAlloc(size_t size)
{
    return std::calloc(1, size ? size : 1);
}

void FxFree(void *p)
{
    std::free(p);
}

void FxLockAttach()
{
    MakeLocks();
    EnterCriticalSection(&g_attachLock);
}
void FxUnlockAttach()
{
    LeaveCriticalSection(&g_attachLock);
}
void FxLockEditor()
{
    MakeLocks();
    EnterCriticalSection(&g_editorLock);
}
void FxUnlockEditor()
{
    LeaveCriticalSection(&g_editorLock);
}

void FxLibraryStart(HINSTANCE module)
{
    SetFxInstance(module);
    MakeLocks();
    g_comStarted = SUCCEEDED(CoInitialize(nullptr));
}

void FxLibraryStop()
{
    if (g_locksMade) {
        DeleteCriticalSection(&g_attachLock);
        DeleteCriticalSection(&g_editorLock);
        g_locksMade = false;
    }
    // Only a start that took COM gives it back.
    if (g_comStarted) CoUninitialize();
    g_comStarted = false;
}
