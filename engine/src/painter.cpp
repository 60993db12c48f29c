/*
 * Painter threads and the stretch of a surface into a window.
 */
#include "painter.h"
#include "engine.h"
#include "decoder.h"
#include "wine/debug.h"

WINE_DEFAULT_DEBUG_CHANNEL(corvpaint);

CPreviewer *g_channelPainter[5];
CPreviewer *g_programmePainter;
CPreviewer *g_tvOutPainter;
std::atomic<int> g_tvOut{0};

namespace {
/* What a painter thread owns: its own handle of the wake event and the
 * generation it belongs to (a restarted painter has a new one, so a thread
 * left over from an earlier stop never paints again). */
struct ThreadStart {
    CEventWorkerThread *worker;
    HANDLE event;
    unsigned generation;
};
}

CEventWorkerThread::~CEventWorkerThread() { StopThread(); }

DWORD WINAPI CEventWorkerThread::ThreadProc(void *arg)
{
    ThreadStart start = *static_cast<ThreadStart *>(arg);
    delete static_cast<ThreadStart *>(arg);
    CEventWorkerThread *self = start.worker;
    while (!self->stop.load() && self->generation.load() == start.generation) {
        DWORD r = WaitForSingleObject(start.event, 100);
        if (r == WAIT_TIMEOUT) continue;
        if (self->stop.load() || self->generation.load() != start.generation) break;
        if (r != WAIT_OBJECT_0) break;
        self->works++;
        self->work();
    }
    CloseHandle(start.event);
    return 0;
}

void CEventWorkerThread::CreateEvent_()
{
    AcquireSRWLockExclusive(&eventLock);
    if (!event) event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    stop = 0;
    if (event && !thread) {
        auto *start = new ThreadStart{this, nullptr, ++generation};
        if (DuplicateHandle(GetCurrentProcess(), event, GetCurrentProcess(), &start->event, 0, FALSE,
                            DUPLICATE_SAME_ACCESS))
            thread = CreateThread(nullptr, 0, ThreadProc, start, 0, nullptr);
        if (!thread) {
            if (start->event) CloseHandle(start->event);
            delete start;
            WINE_ERR("painter %p: no thread\n", this);
        }
    }
    ReleaseSRWLockExclusive(&eventLock);
    WINE_TRACE("painter %p event %p thread %p\n", this, event, thread);
}

void CEventWorkerThread::Signal()
{
    AcquireSRWLockShared(&eventLock);
    if (event) { SetEvent(event); signals++; }
    ReleaseSRWLockShared(&eventLock);
}

void CEventWorkerThread::StopThread()
{
    stop = 1;
    AcquireSRWLockExclusive(&eventLock);
    HANDLE e = event, t = thread;
    event = nullptr;
    thread = nullptr;
    /* The thread waits on its own handle: wake it for the last time. */
    if (e) SetEvent(e);
    ReleaseSRWLockExclusive(&eventLock);
    if (t) {
        if (WaitForSingleObject(t, 1000) == WAIT_TIMEOUT) {
            /* Ending it forcibly could leave a surface or GDI lock held for
             * good; it sees the stop flag (or a newer generation) as soon as
             * it returns and ends by itself. */
            abandoned++;
            WINE_WARN("painter %p: thread %p still busy after 1000 ms, left to end by itself\n", this, t);
        }
        CloseHandle(t);
    }
    if (e) CloseHandle(e);
}

int CPreviewer::ChannelIndex() const
{
    for (int i = 0; i < 5; i++)
        if (g_channelPainter[i] == this) return i;
    return -1;
}

EngineSurface *CPreviewer::AcquireSurface() const
{
    int ch = ChannelIndex();
    if (ch >= 0) {
        AcquireSRWLockShared(&g_engine.channelLock);
        CDecoder *src = g_engine.channel[ch];
        EngineSurface *s = src ? src->surface : nullptr;
        EngineSurfaceAddRef(s);
        ReleaseSRWLockShared(&g_engine.channelLock);
        return s;
    }
    if (!surfaceSlot) return nullptr;
    EngineSurface *s = *surfaceSlot;
    EngineSurfaceAddRef(s);
    return s;
}

int CPreviewer::work()
{
    /* The programme and TV-out painters hand the programme picture over by
     * their running flags; a painter that is not running stays quiet. */
    if (ChannelIndex() < 0 && !running.load()) return 0;
    HWND w = window;
    if (!w) return 0;
    HDC dc = GetDC(w);
    if (!dc) return 0;
    HRESULT hr = Paint(dc);
    ReleaseDC(w, dc);
    return hr;
}

HRESULT CPreviewer::Paint(HDC target)
{
    RECT rc = {};
    HWND w = window;
    if (w) GetClientRect(w, &rc);
    EngineSurface *s = AcquireSurface();
    if (!s || !target) {
        EngineSurfaceRelease(s);
        return 0;
    }
    HDC src;
    void *token;
    HRESULT hr = EngineSurfaceLockDC(s, 33, FALSE, &src, &token);
    if (SUCCEEDED(hr)) {
        int sw, sh;
        EngineSurfaceSize(s, &sw, &sh);
        SetStretchBltMode(target, COLORONCOLOR);
        StretchBlt(target, 0, 0, rc.right, rc.bottom, src, 0, 0, sw, sh, SRCCOPY);
        GdiFlush();
        EngineSurfaceUnlockDC(token);
        painted++;
    } else {
        WINE_TRACE("painter %p: surface %p busy (%#lx)\n", this, s, (long)hr);
    }
    EngineSurfaceRelease(s);
    return hr;
}

HANDLE EngineChannelPainterEvent(int channel)
{
    if (channel < 0 || channel >= 5 || !g_channelPainter[channel]) return nullptr;
    return g_channelPainter[channel]->Event();
}

void EngineWakeProgrammePainters()
{
    if (g_programmePainter && g_programmePainter->running) g_programmePainter->Signal();
    if (g_tvOut && g_tvOutPainter && g_tvOutPainter->running) g_tvOutPainter->Signal();
}
