/*
 * Painters: one per channel, the programme painter and the TV-out painter.
 * Each owns a worker thread that sleeps on an auto-reset wake event (100 ms
 * wait); whoever drew new pixels signals it (the channel's video callback,
 * the frame clock), and the thread stretches the painter's surface into its
 * window.
 *
 * Who writes what:
 *  - window, running, stop: written by the host thread (exports), read by
 *    the painter thread at each wake-up (atomic words).
 *  - surface: a channel painter shows its channel's source surface (read from
 *    the channel table under its shared lock, with a counted reference held
 *    while painting); the programme and TV-out painters show what the slot
 *    variable they were given holds at paint time (the output surface, which
 *    lives from InitEngine to ReleaseEngine, after the painters stop).
 *  - the event handle: made and closed by the host; Signal from any thread
 *    and StopThread serialise on a small lock so a closed handle is never
 *    signalled.  The thread waits on its own duplicate of the handle.
 *
 * Stopping is cooperative: stop flag, a last signal, a wait of at most
 * 1000 ms.  A thread that does not end in that time is left to end by itself
 * at its next wake-up (it is never terminated while it may hold a surface
 * or GDI lock); the worker object must outlive such a thread, as the
 * painters do (they stay allocated until the library unloads).  Hand-over of the programme picture between the programme
 * and TV-out painters moves the running flag: a painter that is not running
 * keeps its thread and state but paints nothing when woken.
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
    /* Make the wake event and start the thread (once; again after a stop). */
    void CreateEvent_();
    void Signal();
    /* Stop: flag, wake, wait at most 1000 ms, close the handles. */
    void StopThread();
    HANDLE Event() const { return event; }
    bool HasThread() const { return thread != nullptr; }

    std::atomic<int> stop{0};
    std::atomic<unsigned> signals{0};   /* times signalled */
    std::atomic<unsigned> works{0};     /* wake-ups that reached work() */
    std::atomic<unsigned> abandoned{0}; /* stops whose thread outlived the wait */
    HANDLE thread = nullptr;
private:
    static DWORD WINAPI ThreadProc(void *arg);
    HANDLE event = nullptr;
    std::atomic<unsigned> generation{0};
    SRWLOCK eventLock = SRWLOCK_INIT;
};

class CPreviewer : public CEventWorkerThread {
public:
    CPreviewer(int w, int h) : width(w), height(h) {}
    /* The address of the variable that holds the surface to show. */
    void SetSurface(EngineSurface *const volatile *slot) { surfaceSlot = slot; }
    void SetSize(int w, int h) { sized = 1; width = w; height = h; }

    /* Work: the window's device context, paint, release; 0 without one. */
    int work() override;
    /* Stretch the surface over the window's client area into dc (COLORONCOLOR,
     * SRCCOPY); 0 when there is nothing to show, the lock's error when the
     * surface stays locked past 33 ms. */
    HRESULT Paint(HDC dc);
    /* A counted reference to the surface shown now, or null. */
    EngineSurface *AcquireSurface() const;

    /* 0..4 for a channel painter (its place in the table), else -1. */
    int ChannelIndex() const;

    EngineSurface *const volatile *surfaceSlot = nullptr;
    std::atomic<HWND> window{nullptr};
    std::atomic<int> running{0};
    std::atomic<unsigned> painted{0};   /* pictures put into the window */
    int sized = 0, width = 0, height = 0;
};

/* The seven painters (made by InitEngine, kept until unload). */
extern CPreviewer *g_channelPainter[5];
extern CPreviewer *g_programmePainter;
extern CPreviewer *g_tvOutPainter;
extern std::atomic<int> g_tvOut;

#endif
