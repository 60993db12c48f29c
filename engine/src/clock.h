/*
 * The frame clock: CMultimediaTimer (a periodic multimedia timer calling the
 * object's tick) and the transition driver CTransformer that runs on it.
 *
 * Who writes what, and how the others see it:
 *  - programme / selected surface slots: written by the host thread (exports)
 *    and, at the end of a transition, by the tick; behind one SRW lock.
 *    Readers that only compare take the atomic value; readers that draw take
 *    a counted reference under the shared lock (AcquireProgramme/Selected).
 *  - transition state (routine, indices, duration, elapsed): written by the
 *    host (Choose, SetPosition, SetDuration, the SelectChannel test) and by
 *    the tick's transition step, each under `state` (a critical section held
 *    for a few word moves, never around a surface lock or a call out), so a
 *    choice made while a transition ends is never lost half-way.  Other
 *    threads read the atomics.
 *  - composing flag, skipped-frame counters: written by the tick only.
 */
#ifndef CORVENGINE_CLOCK_H
#define CORVENGINE_CLOCK_H

#include <windows.h>
#include <atomic>
#include "surface_access.h"
#include "transitions.h"

class CMultimediaTimer {
public:
    virtual ~CMultimediaTimer();
    virtual void tick() = 0;
    /* Begin a timer period and start the periodic event (delay and
     * resolution = period, this object as the user value); 0 or the error. */
    MMRESULT Start();
    /* Kill the event (waits for a running tick), end the timer period. */
    void Stop();
    /* Milliseconds; the host writes it only while the timer is stopped (or
     * with the value it already has), the tick reads it. */
    int period = 33;
    std::atomic<UINT> eventId{0};    /* 0 when not running */
};

class CTransformer : public CMultimediaTimer {
public:
    CTransformer();
    ~CTransformer() override;

    /* One frame: compose, titles, painter wake-up, transition step.  Runs on
     * the timer thread; tests may call it directly with the timer stopped. */
    void tick() override;

    /* Surfaces (see above). */
    EngineSurface *ProgrammeSurface() const { return programme.load(); }
    EngineSurface *SelectedSurface() const { return selected.load(); }
    void SetProgrammeSurface(EngineSurface *s);
    void SetSelectedSurface(EngineSurface *s);
    /* A source's surface goes away: clear whichever slot holds it; a running
     * transition that loses one of its pictures is cancelled (it could never
     * end, and SelectChannel would stay refused). */
    void Forget(EngineSurface *s);
    /* A counted reference to the programme / selected surface, or null. */
    EngineSurface *AcquireProgramme();
    EngineSurface *AcquireSelected();

    /* SelectChannel's core: refused (FALSE) while a transition runs; else s
     * becomes the selected surface, and the programme surface too while
     * there is none.  Atomic against the tick's end of a transition. */
    BOOL Select(EngineSurface *s);

    /* choose transition n (0..43): routine, previous := current, current :=
     * n, elapsed 0, progress 0 posted.  FALSE for an index past the table. */
    BOOL Choose(int index);
    /* duration := seconds x 1000, truncated; out-of-range values are clamped
     * to 0..INT_MAX (0 or less ends the transition at the next tick). */
    void SetDuration(double seconds);
    void SetDurationMs(int ms) { durationMs = ms; }
    /* elapsed := tenths x 100 (manual position); returns the milliseconds. */
    int SetPosition(int tenths);
    /* Titles over the composed frame (the combiner); null = none. */
    void (*drawTitles)(EngineSurface *output) = nullptr;

    /* Transition state (see the ownership notes above). */
    std::atomic<TransitionRoutine> routine{nullptr}; /* non-null while a transition runs */
    std::atomic<unsigned short> currentIndex{0}, previousIndex{0};
    std::atomic<HRESULT> lastLock{S_OK};
    std::atomic<int> durationMs{0};
    std::atomic<unsigned> elapsedMs{0};
    /* 1 while a routine draws frames, 0 after a plain copy and at the end of
     * a transition; the soft wipes stop drawing rows when it falls to 0. */
    volatile int32_t composing = 0;

    /* Counters for the host's tests and the trace (tick thread writes). */
    std::atomic<unsigned> ticks{0};          /* ticks run */
    std::atomic<unsigned> composed{0};       /* frames composed into the output */
    std::atomic<unsigned> lockSkips{0};      /* frames skipped: a surface lock timed out */
    std::atomic<unsigned> lateFrames{0};     /* periods owed: the timer fell behind the wall clock */

private:
    bool Compose(TransitionRoutine r, unsigned elapsed, int duration);
    void Step(unsigned choice);
    void CountLateness();

    CRITICAL_SECTION state;
    unsigned choices = 0;   /* transitions chosen so far (under state) */
    SRWLOCK lock = SRWLOCK_INIT;
    std::atomic<EngineSurface *> programme{nullptr}, selected{nullptr};
    /* Lateness bookkeeping (tick thread only). */
    LARGE_INTEGER runStart = {}, frequency = {};
    UINT lastRun = 0;
    unsigned runTicks = 0, lateBase = 0;
};

extern CTransformer g_transformer;

/* Whole tenths of the duration that elapsed covers, rounded to nearest; a
 * duration of 0 or less counts as finished (10). */
int TransitionTenths(unsigned elapsedMs, int durationMs);

#endif
