/*
 * The frame clock: CMultimediaTimer (a periodic multimedia timer calling the
 * object's tick) and the transition driver CTransformer that runs on it.
 *
 * The driver keeps the programme and selected surfaces.  The host thread
 * changes them; the tick and the grabber callbacks read them.  Both slots sit
 * behind one SRW lock: readers that only compare take the atomic value,
 * readers that draw take a reference under the shared lock.
 */
#ifndef CORVENGINE_CLOCK_H
#define CORVENGINE_CLOCK_H

#include <windows.h>
#include <atomic>
#include "surface_access.h"

class CMultimediaTimer {
public:
    virtual ~CMultimediaTimer();
    virtual void tick() = 0;
    /* Begin a timer period and start the periodic event; 0 or the error. */
    MMRESULT Start();
    void Stop();
    int period = 33;                 /* milliseconds; host thread */
    std::atomic<UINT> eventId{0};    /* 0 when not running */
};

class CTransformer : public CMultimediaTimer {
public:
    void tick() override;

    /* Surfaces (host thread writes; any thread reads). */
    EngineSurface *ProgrammeSurface() const { return programme.load(); }
    EngineSurface *SelectedSurface() const { return selected.load(); }
    void SetProgrammeSurface(EngineSurface *s);
    void SetSelectedSurface(EngineSurface *s);
    /* Clear whichever slot holds s (a source's surface that goes away). */
    void Forget(EngineSurface *s);
    /* A counted reference to the programme / selected surface, or null. */
    EngineSurface *AcquireProgramme();
    EngineSurface *AcquireSelected();

    /* Transition state (the driver itself comes with the transition work). */
    std::atomic<void *> routine{nullptr};   /* non-null while a transition runs */
    std::atomic<unsigned short> currentIndex{0}, previousIndex{0};
    HRESULT lastLock = S_OK;
    std::atomic<int> durationMs{0};
    std::atomic<unsigned> elapsedMs{0};
    std::atomic<int> composing{0};
    std::atomic<unsigned> ticks{0};          /* ticks run, for the host's tests */

    /* choose transition n: routine, indices, elapsed 0, progress 0 posted */
    void Choose(int index);

private:
    SRWLOCK lock = SRWLOCK_INIT;
    std::atomic<EngineSurface *> programme{nullptr}, selected{nullptr};
};

extern CTransformer g_transformer;

#endif
