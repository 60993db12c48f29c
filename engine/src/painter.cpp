#include "painter.h"
#include "engine.h"

CPreviewer *g_channelPainter[5];
CPreviewer *g_programmePainter;
CPreviewer *g_tvOutPainter;
std::atomic<int> g_tvOut{0};

CEventWorkerThread::~CEventWorkerThread() { StopThread(); }

void CEventWorkerThread::CreateEvent_()
{
    AcquireSRWLockExclusive(&eventLock);
    if (!event) event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    stop = 0;
    ReleaseSRWLockExclusive(&eventLock);
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
    HANDLE e = event;
    event = nullptr;
    ReleaseSRWLockExclusive(&eventLock);
    if (thread) {
        /* The thread sees the stop flag at its next wake-up (100 ms wait). */
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        thread = nullptr;
    }
    if (e) CloseHandle(e);
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
