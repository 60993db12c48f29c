/* Locks are Win32 mutexes: a thread may take a lock again that it holds. */
#include "basekit.h"

namespace {
const DWORD kMagic = 0x4C4B4253; /* "SBKL" */
struct Lock {
    DWORD magic;
    HANDLE mutex;
};
Lock *FromHandle(BASEKITLOCK h)
{
    auto *l = reinterpret_cast<Lock *>(h);
    return l && l->magic == kMagic ? l : nullptr;
}
}  // namespace

extern "C" {

BASEKITLOCK WINAPI basekitCreateLock(void)
{
    auto *l = static_cast<Lock *>(HeapAlloc(GetProcessHeap(), 0, sizeof(Lock)));
    if (!l) return nullptr;
    l->mutex = CreateMutexA(nullptr, FALSE, nullptr);
    if (!l->mutex) {
        HeapFree(GetProcessHeap(), 0, l);
        return nullptr;
    }
    l->magic = kMagic;
    return reinterpret_cast<BASEKITLOCK>(l);
}

int WINAPI basekitWait(BASEKITLOCK lock, LONG timeout)
{
    Lock *l = FromHandle(lock);
    if (!l) return BASEKIT_BUSY;
    DWORD r = WaitForSingleObject(l->mutex, timeout < 0 ? INFINITE : static_cast<DWORD>(timeout));
    return r == WAIT_OBJECT_0 || r == WAIT_ABANDONED ? BASEKIT_GOT : BASEKIT_BUSY;
}

BOOL WINAPI basekitRelease(BASEKITLOCK lock)
{
    Lock *l = FromHandle(lock);
    return l && ReleaseMutex(l->mutex);
}

BOOL WINAPI basekitTest(BASEKITLOCK lock) { return FromHandle(lock) != nullptr; }

BOOL WINAPI basekitClose(BASEKITLOCK lock)
{
    Lock *l = FromHandle(lock);
    if (!l) return FALSE;
    l->magic = 0;
    CloseHandle(l->mutex);
    HeapFree(GetProcessHeap(), 0, l);
    return TRUE;
}

LONG WINAPI basekitIncrement(LONG volatile *count) { return count ? InterlockedIncrement(count) : 0; }
LONG WINAPI basekitDecrement(LONG volatile *count) { return count ? InterlockedDecrement(count) : 0; }

}  // extern "C"
