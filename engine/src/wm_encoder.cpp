/*
 * CWMTEncoder: the programme through the Windows Media writer to its sinks.
 */
#include "writers.h"
#include "decoder.h"
#include "wmwriter.h"
#include "profile.h"
#include "surface_rows.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <mmreg.h>

namespace {

/* The source whose sound goes out: channel 4 with background music, else
 * the one showing the programme. */
CDecoder *sound_source()
{
    if (g_engine.backMusic) return g_engine.channel[4];
    EngineSurface *p = g_transformer.ProgrammeSurface();
    if (!p) return nullptr;
    for (int i = 0; i < ENGINE_CHANNELS; i++)
        if (g_engine.channel[i] && g_engine.channel[i]->surface == p) return g_engine.channel[i];
    return nullptr;
}

bool programme_has_source()
{
    EngineSurface *p = g_transformer.ProgrammeSurface();
    if (!p) return false;
    for (int i = 0; i < ENGINE_CHANNELS; i++)
        if (g_engine.channel[i] && g_engine.channel[i]->surface == p) return true;
    return false;
}

} // namespace

bool EngineProfileForWriter(int index, WmProfile *out)
{
    return g_profiles.ForWriter(index, out);
}

CIndexer::CIndexer() {}

CIndexer::~CIndexer()
{
    HANDLE h = done;
    done = nullptr;
    if (h) CloseHandle(h);
}

void CIndexer::OnStatus(void *context, int status, HRESULT result)
{
    auto *self = static_cast<CIndexer *>(context);
    self->lastStatusTick = GetTickCount();
    if (status == WMW_STATUS_CLOSED) {
        self->runResult = result;
        SetEvent(self->done);
    }
    HWND w = self->window;
    if (w) PostMessageA(w, WM_ENGINE_SOURCESTATE, (WPARAM)status, (LPARAM)result);
}

HRESULT CIndexer::Index(const WCHAR *path)
{
    if (!done) done = CreateEventA(nullptr, FALSE, FALSE, nullptr);   /* made on first use */
    if (!done) return lastResult = E_OUTOFMEMORY;
    ResetEvent(done);
    lastStatusTick = GetTickCount();
    lastResult = WmStartIndexing(path, &CIndexer::OnStatus, this);
    if (FAILED(lastResult)) return lastResult;
    for (;;) {
        if (WaitForSingleObject(done, 500) == WAIT_OBJECT_0) return lastResult = runResult;
        if (GetTickCount() - lastStatusTick > quietLimitMs) return lastResult = WMW_E_TIMEOUT;
    }
}

CWMTEncoder::CWMTEncoder() { InitializeCriticalSection(&feed); }

CWMTEncoder::~CWMTEncoder()
{
    /* The lock itself is left to the process's end: a test program that
     * links the engine and loads the module too has this object destroyed
     * twice. */
    CMultimediaTimer::Stop();
    StopWriter();
}

HRESULT CWMTEncoder::CreateWriter()
{
    if (writer) return S_OK;
    writer = new (std::nothrow) WmWriter;
    if (!writer) {
        lastResult = E_OUTOFMEMORY;
        EngineWarning("Could not create Writer (hr=0x%08x).\n", (unsigned)lastResult);
        return lastResult;
    }
    /* The profile store gives the writer the profile of the profile index. */
    WmProfile profile;
    if (!EngineProfileForWriter(g_engine.profileIndex, &profile)) {
        lastResult = E_INVALIDARG;
        return lastResult;
    }
    lastResult = writer->SetProfile(profile);
    return lastResult;
}

HRESULT CWMTEncoder::ConfigureInputs()
{
    DWORD n = writer->InputCount();
    for (DWORD i = 0; i < n; i++) {
        WmInputFormat f;
        lastResult = writer->GetInputFormat(i, &f);
        if (FAILED(lastResult)) return lastResult;
        if (!f.video) {
            audioInput = (int)i;
            CDecoder *src = sound_source();
            const AM_MEDIA_TYPE *mt = src ? src->audioType : nullptr;
            if (mt && mt->pbFormat && mt->cbFormat >= sizeof(PCMWAVEFORMAT)) {
                const WAVEFORMATEX *wf = reinterpret_cast<const WAVEFORMATEX *>(mt->pbFormat);
                f.sampleRate = (int)wf->nSamplesPerSec;
                f.channels = wf->nChannels;
                f.bitsPerSample = wf->wBitsPerSample;
                lastResult = writer->SetInputFormat(i, f);
                if (FAILED(lastResult)) return lastResult;
            }
        } else {
            videoInput = (int)i;
            /* The programme at the working size; the writer codes it at
             * the profile's frame size. */
            f.width = g_engine.width;
            f.height = g_engine.height;      /* bottom-up rows */
            f.bitCount = 24;
            lastResult = writer->SetInputFormat(i, f);
            if (FAILED(lastResult)) return lastResult;
            int period = (int)(f.avgTimePerFrame / 10000);
            if (period > 0 && period != g_engine.framePeriod) {
                g_engine.framePeriod = period;
                bool wasRunning = g_transformer.eventId != 0;
                g_transformer.Stop();
                g_transformer.period = period;
                if (wasRunning) g_transformer.Start();
            }
        }
    }
    return S_OK;
}

void CWMTEncoder::Release()
{
    EnterCriticalSection(&feed);
    audioInput = videoInput = -1;
    delete fileSink;
    fileSink = nullptr;
    delete networkSink;
    networkSink = nullptr;
    if (pushSink) {
        pushSink->Unadvise();
        delete pushSink;
        pushSink = nullptr;
    }
    if (connectEvent) {
        CloseHandle(connectEvent);
        connectEvent = nullptr;
    }
    delete writer;
    writer = nullptr;
    delete[] pixels;
    pixels = nullptr;
    delete[] frame;
    frame = nullptr;
    LeaveCriticalSection(&feed);
}

int CWMTEncoder::StartWriter()
{
    if (running) StopWriter();               /* a second start begins afresh */

    /* 1. */
    audioTime = videoTime = 0;
    audioInput = videoInput = -1;
    framesWritten = 0;
    /* 2. */
    if (FAILED(CreateWriter()) || FAILED(ConfigureInputs())) {
        HRESULT hr = lastResult;
        Release();
        return (int)hr;
    }
    /* 3. */
    if (g_engine.broadcastPort) {
        networkSink = new (std::nothrow) WmNetworkSink;
        if (!networkSink) {
            lastResult = E_OUTOFMEMORY;
            EngineWarning("Could not create Writer Network Sink (hr=0x%08x).\n", (unsigned)lastResult);
            Release();
            return 0;
        }
        /* The sink serves HTTP only: the protocol needs no setting. */
        DWORD port = g_engine.broadcastPort;
        lastResult = networkSink->Open(&port);
        if (FAILED(lastResult)) {
            EngineWarning("Network sink failed to open port no %d (hr=0x%08x).\n", (int)g_engine.broadcastPort,
                          (unsigned)lastResult);
            Release();
            return 0;
        }
        lastResult = writer->AddSink(networkSink);
        if (FAILED(lastResult)) {
            EngineWarning("Could not Add Network Sink (hr=0x%08x).\n", (unsigned)lastResult);
            Release();
            return 0;
        }
    }
    /* 4. */
    if (g_engine.pushTarget[0]) {
        pushSink = new (std::nothrow) WmPushSink;
        if (!pushSink) {
            lastResult = E_OUTOFMEMORY;
            EngineWarning("Could not create Push Server Sink");
            HRESULT hr = lastResult;
            StopWriter();
            return (int)hr;
        }
        lastResult = pushSink->Advise(&CWMTEncoder::OnStatus, this);
        if (FAILED(lastResult)) {
            EngineWarning("Could not call Push server advise");
            HRESULT hr = lastResult;
            StopWriter();
            return (int)hr;
        }
    }
    /* 5. */
    connectEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!connectEvent) {
        lastResult = HRESULT_FROM_WIN32(GetLastError());
        EngineExplainError((long)GetLastError());
        HRESULT hr = lastResult;
        StopWriter();
        return (int)hr;
    }
    /* 6. */
    if (pushSink) {
        connectStatus = -1;
        lastResult = pushSink->Connect(g_engine.pushTarget, g_engine.copyFrom[0] ? g_engine.copyFrom : nullptr,
                                       g_engine.copyFrom[0] ? g_engine.autoRemove : 0);
        if (FAILED(lastResult)) {
            EngineWarning("Could not connect to server (hr=0x%08x).\n", (unsigned)lastResult);
            HRESULT hr = lastResult;
            StopWriter();
            return (int)hr;
        }
        if (WaitForSingleObject(connectEvent, connectTimeoutMs) != WAIT_OBJECT_0) {
            EngineWarning("Timed out whiletrying to connect to the server\n");
            StopWriter();
            return (int)E_FAIL;
        }
        /* The status arrives on the sink's thread; its message is shown here. */
        if (connectStatus == WMW_STATUS_ERROR) EngineWarning("Error during push distribution");
        if (FAILED(connectResult.load())) {
            HRESULT hr = connectResult;
            StopWriter();
            return (int)hr;
        }
        lastResult = writer->AddSink(pushSink);
        if (FAILED(lastResult)) {
            EngineWarning("Could not Add Push Server Sink (hr=0x%08x).\n", (unsigned)lastResult);
            HRESULT hr = lastResult;
            StopWriter();
            return (int)hr;
        }
    }
    /* 7. */
    if (g_engine.saveFileW[0]) {
        fileSink = new (std::nothrow) WmFileSink;
        if (!fileSink) {
            lastResult = E_OUTOFMEMORY;
            EngineWarning("Could not create Writer File Sink (hr=0x%08x).\n", (unsigned)lastResult);
            Release();
            return 0;
        }
        lastResult = fileSink->Open(g_engine.saveFileW);
        if (FAILED(lastResult)) {
            EngineWarning("File sink failed to open %d (hr=0x%08x).\n", (int)g_engine.broadcastPort,
                          (unsigned)lastResult);
            Release();
            return 0;
        }
        lastResult = writer->AddSink(fileSink);
        if (FAILED(lastResult)) {
            EngineWarning("Could not Add File Sink (hr=0x%08x).\n", (unsigned)lastResult);
            Release();
            return 0;
        }
    }
    /* 8. */
    lastResult = writer->SetLiveSource(TRUE);
    if (FAILED(lastResult)) {
        EngineWarning("Could not SetLiveSource (hr=0x%08x).\n", (unsigned)lastResult);
        Release();
        return 0;
    }
    frameWidth = g_engine.width;
    frameHeight = g_engine.height;
    pixels = new (std::nothrow) DWORD[(size_t)frameWidth * frameHeight];
    /* 4 bytes beyond the picture for the row conversion's last store. */
    frame = new (std::nothrow) BYTE[(size_t)3 * frameWidth * frameHeight + 4];
    if (!pixels || !frame) { lastResult = E_OUTOFMEMORY; Release(); return 0; }
    lastResult = writer->BeginWriting();
    if (FAILED(lastResult)) { Release(); return 0; }
    running = 1;
    period = g_engine.framePeriod;
    if (CMultimediaTimer::Start() != TIMERR_NOERROR || !eventId) {
        /* No timer: nothing would be written; the file is finished empty. */
        StopWriter();
        return 0;
    }
    return (int)eventId;
}

int CWMTEncoder::StopWriter()
{
    /* 1. The timer first: after this no tick runs. */
    CMultimediaTimer::Stop();
    running = 0;
    if (!writer) return 0;
    EnterCriticalSection(&feed);
    /* 2.-5. Every step runs, whatever the one before answered: the file is
     * always finished and every sink released. */
    HRESULT hr = writer->Flush();
    HRESULT end = writer->EndWriting();
    if (SUCCEEDED(hr)) hr = end;
    if (networkSink) {
        writer->RemoveSink(networkSink);
        networkSink->Close();
    }
    if (pushSink) {
        writer->RemoveSink(pushSink);
        pushSink->EndSession();
        pushSink->Unadvise();
    }
    if (fileSink) {
        writer->RemoveSink(fileSink);
        fileSink->Close();
        if (g_engine.indexAfterWriting) indexer.Index(g_engine.saveFileW);
    }
    lastResult = hr;
    LeaveCriticalSection(&feed);
    /* 6. */
    Release();
    return 0;
}

void CWMTEncoder::OnStatus(void *context, int status, HRESULT result, WmSink *sink)
{
    auto *self = static_cast<CWMTEncoder *>(context);
    if (!self || sink != static_cast<WmSink *>(self->pushSink)) return;
    if (status == WMW_STATUS_ERROR || status == WMW_STATUS_OPENED) {
        self->connectResult = status == WMW_STATUS_ERROR && SUCCEEDED(result) ? E_FAIL : result;
        self->connectStatus = status;
        if (self->connectEvent) SetEvent(self->connectEvent);
    }
}

void CWMTEncoder::tick()
{
    if (!running || !pixels || !frame) return;
    EngineSurface *out = g_engine.outputSurface;
    int w = frameWidth, h = frameHeight;
    int sw = 0, sh = 0;
    if (out) EngineSurfaceSize(out, &sw, &sh);
    /* Bottom row first, blue, green, red: straight from the surface's rows
     * where they can be locked, else through a copy of its pixels; no
     * picture to read makes the frame black rather than missing.  Rows go
     * in the picture's order (the conversion's last store runs 4 bytes into
     * the next row, written after it). */
    EngineRows rows;
    const bool sized = out && sw == w && sh == h;
    if (sized && SUCCEEDED(EngineLockRows(out, INFINITE, FALSE, &rows))) {
        for (int y = h - 1; y >= 0; y--)
            EngineRowTo24(frame + (size_t)(h - 1 - y) * w * 3,
                          reinterpret_cast<const uint32_t *>(rows.first + (ptrdiff_t)y * rows.pitch), w);
        EngineUnlockRows(&rows);
    } else {
        if (!sized || FAILED(EngineSurfaceRead(out, INFINITE, pixels, w * 4)))
            memset(pixels, 0, (size_t)w * h * 4);
        for (int y = h - 1; y >= 0; y--)
            EngineRowTo24(frame + (size_t)(h - 1 - y) * w * 3, reinterpret_cast<const uint32_t *>(pixels) + (size_t)y * w,
                          w);
    }
    EnterCriticalSection(&feed);
    if (writer && videoInput >= 0) {
        HRESULT hr = writer->WriteSample((DWORD)videoInput, videoTime * 10000, WMW_SF_CLEANPOINT,
                                         frame, (DWORD)(3 * w * h));
        if (SUCCEEDED(hr)) framesWritten++;
        videoTime += (unsigned long long)period;
    }
    LeaveCriticalSection(&feed);
}

HRESULT CWMTEncoder::AudioSample(DWORD, DWORD, const BYTE *buffer, long length)
{
    if (!running) return S_FALSE;
    audioBuffers++;
    audioBytes += (unsigned long long)length;
    if (!buffer || length <= 0) return S_FALSE;
    HRESULT hr = S_FALSE;
    unsigned long long seconds = 0;
    EnterCriticalSection(&feed);
    if (writer && audioInput >= 0 && audioTime <= videoTime)
        hr = writer->WriteSample((DWORD)audioInput, audioTime * 10000, 0, buffer, (DWORD)length);
    audioTime = videoTime;
    seconds = videoTime / 1000;
    LeaveCriticalSection(&feed);
    if (hr == S_OK && (g_engine.backMusic || programme_has_source()))
        EnginePost(WM_ENGINE_ENCODETIME, 99, (LPARAM)seconds);
    return hr;
}

void CWMTEncoder::SetHeaderInfo(const char *attribute, const char *value)
{
    if (!attribute) return;
    if (!writer && FAILED(CreateWriter())) {
        Release();
        return;
    }
    WCHAR name[ENGINE_TEXT] = {}, text[ENGINE_TEXT] = {};
    MultiByteToWideChar(CP_ACP, 0, attribute, -1, name, ENGINE_TEXT);
    MultiByteToWideChar(CP_ACP, 0, value ? value : "", -1, text, ENGINE_TEXT);
    name[ENGINE_TEXT - 1] = text[ENGINE_TEXT - 1] = 0;
    lastResult = writer->SetAttribute(0, name, text);
}
