/*
 * Painters: one per channel, the programme painter and the TV-out painter.
 * Each has an auto-reset wake event that the frame producers signal.  The
 * painting threads themselves come with the painter work; what is here is
 * the record, its event and its settings.
 *
 * The event is signalled from streaming and timer threads while the host may
 * be stopping the painter: Signal and StopEvent serialise on a small lock so
 * a handle is never signalled after it was closed.
 */
#ifndef CORVENGINE_PAINTER_H
#define CORVENGINE_PAINTER_H

#include <windows.h>
#include <atomic>
#include "surface_access.h"

class CEventWorkerThread {
public:
    virtual ~CEventWorkerThread();
    virtual int work() { return 0; }
    void CreateEvent_();
    void Signal();
    /* Stop: flag, close the event (the thread, once there is one, is asked to
     * end and waited for). */
    void StopThread();
    HANDLE Event() const { return event; }

    std::atomic<int> stop{0};
    HANDLE thread = nullptr;
    std::atomic<unsigned> signals{0};   /* times signalled, for the host's tests */
private:
    HANDLE event = nullptr;
    SRWLOCK eventLock = SRWLOCK_INIT;
};

class CPreviewer : public CEventWorkerThread {
public:
    CPreviewer(int w, int h) : width(w), height(h) {}
    void SetSurface(EngineSurface *const volatile *slot) { surfaceSlot = slot; }
    void SetSize(int w, int h) { sized = 1; width = w; height = h; }

    EngineSurface *const volatile *surfaceSlot = nullptr;
    std::atomic<HWND> window{nullptr};
    std::atomic<int> running{0};
    int sized = 0, width = 0, height = 0;
};

/* The seven painters (made by InitEngine, kept until unload). */
extern CPreviewer *g_channelPainter[5];
extern CPreviewer *g_programmePainter;
extern CPreviewer *g_tvOutPainter;
extern std::atomic<int> g_tvOut;

#endif
