/*
 * Frame clock.  The multimedia timer calls back on its own thread; the
 * callback only forwards to the object whose event fired.
 */
#include "clock.h"
#include "engine.h"
#include <mmsystem.h>

CTransformer g_transformer;

static void CALLBACK timer_proc(UINT id, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR)
{
    auto *t = reinterpret_cast<CMultimediaTimer *>(user);
    if (t && t->eventId.load() == id) t->tick();
}

CMultimediaTimer::~CMultimediaTimer() { Stop(); }

MMRESULT CMultimediaTimer::Start()
{
    MMRESULT r = timeBeginPeriod(period);
    if (r != TIMERR_NOERROR) return r;
    /* Kill waits for a running callback, so Stop never returns while a tick
     * is still touching the engine. */
    UINT id = timeSetEvent(period, period, timer_proc, reinterpret_cast<DWORD_PTR>(this),
                           TIME_PERIODIC | TIME_CALLBACK_FUNCTION | TIME_KILL_SYNCHRONOUS);
    eventId = id;
    return 0;
}

void CMultimediaTimer::Stop()
{
    UINT id = eventId.exchange(0);
    if (id) {
        timeKillEvent(id);
        timeEndPeriod(period);
    }
}

void CTransformer::SetProgrammeSurface(EngineSurface *s)
{
    AcquireSRWLockExclusive(&lock);
    programme = s;
    ReleaseSRWLockExclusive(&lock);
}

void CTransformer::SetSelectedSurface(EngineSurface *s)
{
    AcquireSRWLockExclusive(&lock);
    selected = s;
    ReleaseSRWLockExclusive(&lock);
}

void CTransformer::Forget(EngineSurface *s)
{
    if (!s) return;
    AcquireSRWLockExclusive(&lock);
    if (programme.load() == s) programme = nullptr;
    if (selected.load() == s) selected = nullptr;
    ReleaseSRWLockExclusive(&lock);
}

EngineSurface *CTransformer::AcquireProgramme()
{
    AcquireSRWLockShared(&lock);
    EngineSurface *s = programme.load();
    EngineSurfaceAddRef(s);
    ReleaseSRWLockShared(&lock);
    return s;
}

EngineSurface *CTransformer::AcquireSelected()
{
    AcquireSRWLockShared(&lock);
    EngineSurface *s = selected.load();
    EngineSurfaceAddRef(s);
    ReleaseSRWLockShared(&lock);
    return s;
}

void CTransformer::Choose(int index)
{
    /* The table of routines arrives with the transition work; until then a
     * choice marks no routine and only reports progress 0. */
    previousIndex = currentIndex.load();
    currentIndex = (unsigned short)index;
    elapsedMs = 0;
    EnginePost(WM_ENGINE_TRANSPROGRESS, 0, 0);
}

void CTransformer::tick()
{
    ticks++;
    composing = 1;
    if (!programme.load() || !selected.load()) return;
    /* Composition, titles and painter wake-up come with the transition
     * driver; the programme painters are woken so channels stay live. */
    EngineWakeProgrammePainters();
}
