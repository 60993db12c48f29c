/*
 * Frame clock and transition driver.  The multimedia timer calls back on its
 * own thread; the callback only forwards to the object whose event fired.
 */
#include "clock.h"
#include "engine.h"
#include "decoder.h"
#include "surface_rows.h"
#include <mmsystem.h>
#include <climits>
#include <cstring>
#include "wine/debug.h"

WINE_DEFAULT_DEBUG_CHANNEL(corvclock);

CTransformer g_transformer;

static void CALLBACK timer_proc(UINT id, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR)
{
    auto *t = reinterpret_cast<CMultimediaTimer *>(user);
    if (t && t->eventId.load() == id) t->tick();
}

CMultimediaTimer::~CMultimediaTimer() { Stop(); }

MMRESULT CMultimediaTimer::Start()
{
    const int p = period;
    MMRESULT r = timeBeginPeriod(p);
    if (r != TIMERR_NOERROR) return r;
    /* Kill waits for a running callback, so Stop never returns while a tick
     * is still touching the engine. */
    UINT id = timeSetEvent(p, p, timer_proc, reinterpret_cast<DWORD_PTR>(this),
                           TIME_PERIODIC | TIME_CALLBACK_FUNCTION | TIME_KILL_SYNCHRONOUS);
    if (!id) {
        timeEndPeriod(p);
        return TIMERR_NOCANDO;
    }
    eventId = id;
    WINE_TRACE("timer %p period %d event %u\n", this, p, id);
    return 0;
}

void CMultimediaTimer::Stop()
{
    UINT id = eventId.exchange(0);
    if (id) {
        timeKillEvent(id);
        timeEndPeriod(period);
        WINE_TRACE("timer %p event %u stopped\n", this, id);
    }
}

int TransitionTenths(unsigned elapsed, int duration)
{
    if (duration <= 0) return 10;
    /* MulDiv (elapsed, 10, duration) with halves rounded up, in 64 bits so a
     * large elapsed time cannot wrap. */
    long long t = ((long long)elapsed * 10 * 2 + duration) / (2LL * duration);
    return t > INT_MAX ? INT_MAX : (int)t;
}

CTransformer::CTransformer()
{
    InitializeCriticalSection(&state);
    QueryPerformanceFrequency(&frequency);
}

CTransformer::~CTransformer()
{
    Stop();
    DeleteCriticalSection(&state);
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
    EnterCriticalSection(&state);
    AcquireSRWLockExclusive(&lock);
    bool lost = false;
    if (programme.load() == s) { programme = nullptr; lost = true; }
    if (selected.load() == s) { selected = nullptr; lost = true; }
    ReleaseSRWLockExclusive(&lock);
    if (lost && routine.load()) {
        WINE_WARN("transition %u loses a picture: cancelled\n", currentIndex.load());
        routine = nullptr;
        elapsedMs = 0;
        composing = 0;
    }
    LeaveCriticalSection(&state);
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

BOOL CTransformer::Select(EngineSurface *s)
{
    EnterCriticalSection(&state);
    BOOL ok = !routine.load();
    if (ok) {
        AcquireSRWLockExclusive(&lock);
        selected = s;
        if (!programme.load()) programme = s;
        ReleaseSRWLockExclusive(&lock);
    }
    LeaveCriticalSection(&state);
    return ok;
}

BOOL CTransformer::Choose(int index)
{
    if (index < 0 || index >= kTransitionCount) return FALSE;
    EnterCriticalSection(&state);
    routine = TransitionEffects[index].routine;
    choices++;
    previousIndex = currentIndex.load();
    currentIndex = (unsigned short)index;
    elapsedMs = 0;
    LeaveCriticalSection(&state);
    WINE_TRACE("transition %d (%s), previous %u\n", index, TransitionEffects[index].name, previousIndex.load());
    EnginePost(WM_ENGINE_TRANSPROGRESS, 0, 0);
    return TRUE;
}

void CTransformer::SetDuration(double seconds)
{
    double ms = seconds * 1000;
    /* NaN, negative and too large values cannot become an int32 by plain
     * truncation; they are held inside its range. */
    int d = !(ms > 0) ? 0 : ms >= (double)INT_MAX ? INT_MAX : (int)ms;
    durationMs = d;
}

int CTransformer::SetPosition(int tenths)
{
    long long ms = (long long)tenths * 100;
    EnterCriticalSection(&state);
    elapsedMs = (unsigned)ms;
    LeaveCriticalSection(&state);
    return (int)ms;
}

void CTransformer::CountLateness()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    /* Ticks of one run of the timer are counted against the periods that
     * passed since its first tick, so a clock that keeps firing late (or
     * drops callbacks) shows the frames it owes instead of drifting.  A
     * restart, or ticks driven by hand while it is stopped, begins a new run. */
    const UINT run = eventId.load();
    const int p = period;
    if (!run || run != lastRun || p <= 0 || !frequency.QuadPart) {
        lastRun = run;
        runStart = now;
        runTicks = 0;
        lateBase = lateFrames.load();
        return;
    }
    runTicks++;
    const long long ms = (now.QuadPart - runStart.QuadPart) * 1000 / frequency.QuadPart;
    const long long missed = ms / p - (long long)runTicks;
    if (missed > 0 && lateBase + (unsigned)missed > lateFrames.load()) {
        lateFrames = lateBase + (unsigned)missed;
        WINE_TRACE("clock behind: %u ticks in %lld ms, %lld frames skipped\n", runTicks, ms, missed);
    }
}

/* Compose one frame into the output surface; false when a lock failed and
 * the frame's work is skipped. */
bool CTransformer::Compose(TransitionRoutine r, unsigned elapsed, int duration)
{
    EngineSurface *out = g_engine.outputSurface;
    if (!out) return false;
    EngineSurface *a = AcquireProgramme();
    EngineSurface *b = r ? AcquireSelected() : nullptr;
    bool ok = false;
    const DWORD timeout = (DWORD)period;
    EngineRows ra, rb, ro;
    HRESULT hr = EngineLockRows(a, timeout, FALSE, &ra);
    if (SUCCEEDED(hr) && r) hr = EngineLockRows(b, timeout, FALSE, &rb);
    if (SUCCEEDED(hr)) hr = EngineLockRows(out, timeout, TRUE, &ro);
    lastLock = hr;
    if (SUCCEEDED(hr)) {
        /* Every surface of the engine has the working size; a smaller one
         * (made before a size change) limits the frame. */
        int w = ro.width < ra.width ? ro.width : ra.width;
        int h = ro.height < ra.height ? ro.height : ra.height;
        if (r) {
            if (rb.width < w) w = rb.width;
            if (rb.height < h) h = rb.height;
            TransitionFrame f = {ra.first, ra.pitch, rb.first, rb.pitch, ro.first, ro.pitch,
                                 elapsed, duration, w, h, g_engine.autoTrans.load(), &composing};
            r(f);
        } else {
            for (int y = 0; y < h; y++)
                memcpy(ro.first + (ptrdiff_t)y * ro.pitch, ra.first + (ptrdiff_t)y * ra.pitch, (size_t)w * 4);
        }
        ok = true;
    } else {
        lockSkips++;
        WINE_TRACE("frame skipped: lock failed %#lx\n", (long)hr);
    }
    EngineUnlockRows(&ro);
    EngineUnlockRows(&rb);
    EngineUnlockRows(&ra);
    EngineSurfaceRelease(b);
    EngineSurfaceRelease(a);
    return ok;
}

void CTransformer::tick()
{
    ticks++;
    CountLateness();
    composing = 1;
    if (!programme.load() || !selected.load()) return;

    /* A snapshot of the transition for this frame's picture. */
    EnterCriticalSection(&state);
    TransitionRoutine r = routine.load();
    unsigned elapsed = elapsedMs.load();
    int duration = durationMs.load();
    const unsigned choice = choices;
    LeaveCriticalSection(&state);

    if (!Compose(r, elapsed, duration)) return;
    composed++;
    if (g_engine.titleOn.load() && drawTitles) drawTitles(g_engine.outputSurface);
    composing = r ? 1 : 0;
    EngineWakeProgrammePainters();
    if (r) Step(choice);
}

/* The transition step: advance, hold a picture-in-picture layout, end. */
void CTransformer::Step(unsigned choice)
{
    int post = -1;
    bool ended = false, swap = false;
    EngineSurface *onAir = nullptr;

    EnterCriticalSection(&state);
    if (!routine.load() || choices != choice) {
        /* Cancelled, or another transition chosen, since this frame was
         * composed: a new choice counts from its own first frame. */
        LeaveCriticalSection(&state);
        return;
    }
    const int duration = durationMs;
    const bool autoOn = g_engine.autoTrans.load() != 0;
    /* (A duration of 0 or less ends at this tick and still reports 100.) */
    const int oldTenths = duration > 0 ? TransitionTenths(elapsedMs, duration) : 0;
    if (autoOn) elapsedMs += (unsigned)period;
    if (elapsedMs < 1000 && autoOn && IsPipTransition(currentIndex)) {
        elapsedMs = 300;
        LeaveCriticalSection(&state);
        EnginePost(WM_ENGINE_TRANSPROGRESS, 30, 0);
        return;
    }
    const int newTenths = TransitionTenths(elapsedMs, duration);
    if (newTenths >= 10) {
        ended = true;
        routine = nullptr;
        swap = !IsPipTransition(previousIndex);
        if (swap) {
            AcquireSRWLockExclusive(&lock);
            programme = selected.load();
            onAir = programme.load();
            ReleaseSRWLockExclusive(&lock);
        }
        elapsedMs = 0;
        composing = 0;
    }
    if (newTenths != oldTenths) post = newTenths > INT_MAX / 10 ? INT_MAX : newTenths * 10;
    LeaveCriticalSection(&state);

    if (ended && swap && onAir) {
        /* The new programme source goes on air with the colour offsets. */
        AcquireSRWLockShared(&g_engine.channelLock);
        for (int i = 0; i < ENGINE_CHANNELS; i++) {
            CDecoder *s = g_engine.channel[i];
            if (s && s->surface == onAir) {
                g_engine.onAirChannel = (short)i;
                s->ApplyHSL(g_engine.hue, g_engine.saturation, g_engine.lightness);
            }
        }
        ReleaseSRWLockShared(&g_engine.channelLock);
    }
    if (ended) WINE_TRACE("transition %u ended, programme %p\n", currentIndex.load(), programme.load());
    if (post >= 0) EnginePost(WM_ENGINE_TRANSPROGRESS, (WPARAM)post, 0);
}
