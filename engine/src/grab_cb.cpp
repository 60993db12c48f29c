#include "grab_cb.h"
#include "file_source.h"
#include "clock.h"
#include "painter.h"
#include "writers.h"

void (*g_engineAudioProbe)(int, double, const BYTE *, long);

HRESULT WINAPI CGrabCB1::QueryInterface(REFIID iid, void **out)
{
    if (!out) return E_POINTER;
    if (IsEqualGUID(iid, IID_ISampleGrabberCB) || IsEqualGUID(iid, IID_IUnknown)) {
        *out = static_cast<ISampleGrabberCB *>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG WINAPI CGrabCB1::Release()
{
    ULONG r = --refs;
    if (!r) delete this;
    return r;
}

void CGrabCB1::Detach()
{
    AcquireSRWLockExclusive(&gate);
    owner = nullptr;
    ReleaseSRWLockExclusive(&gate);
}

HRESULT WINAPI CGrabCB1::BufferCB(double time, BYTE *buffer, LONG length)
{
    calls++;
    AcquireSRWLockShared(&gate);
    auto *src = static_cast<CAviMpegReader *>(owner);
    if (!src) { ReleaseSRWLockShared(&gate); return 0; }

    if (!audioFlag) {
        if (src->videoType) src->DrawFrame(buffer, length);
        if (src->surface && g_channelPainter[src->channelIndex])
            g_channelPainter[src->channelIndex]->Signal();
        ReleaseSRWLockShared(&gate);
        return 0;
    }

    if (src->audioType) {
        bool programme = src->surface && src->surface == g_transformer.ProgrammeSurface();
        bool goes = g_engine.backMusic ? src->channelIndex == 4 : programme;
        if (g_engineAudioProbe) g_engineAudioProbe(src->channelIndex, time, buffer, length);
        if (goes) {
            const WAVEFORMATEX *wf = reinterpret_cast<const WAVEFORMATEX *>(src->audioType->pbFormat);
            DWORD ms = (wf && wf->nAvgBytesPerSec) ? (DWORD)MulDiv(length, 1000, wf->nAvgBytesPerSec) : 0;
            EngineDeliverAudio(ms, buffer, length);
        }
        if (src->fileKind == 16 && programme) {
            if (g_programmePainter && g_programmePainter->window) g_programmePainter->Signal();
            if (g_tvOutPainter && g_tvOutPainter->window) g_tvOutPainter->Signal();
            if (g_channelPainter[src->channelIndex]) g_channelPainter[src->channelIndex]->Signal();
        }
        EnginePost(WM_ENGINE_POSITION, src->channelIndex, (LPARAM)(LONG)time);
    }
    ReleaseSRWLockShared(&gate);
    return 0;
}
