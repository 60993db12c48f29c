/*
 * CDSCapture: building, running and halting capture graphs, the capture
 * stack, DV transport and timecode, CGrabCB2.
 */
#include "capture_source.h"
#include "devices.h"
#include "graph_util.h"
#include "clock.h"
#include "painter.h"
#include "writers.h"
#include <uuids.h>
#include <olectl.h>
#include <mmsystem.h>
#include <algorithm>
#include <vector>
#include <stdio.h>

/* The device enumerator's interface identifier (not in the import library). */
static const GUID IID_ICreateDevEnum_Cap =
    {0x29840822, 0x5b84, 0x11d0, {0xbd, 0x3b, 0x00, 0xa0, 0xc9, 0x11, 0xce, 0x86}};
/* The colour space converter and the DV video decoder. */
static const GUID CLSID_ColourConverter_Cap =
    {0x1643e180, 0x90f5, 0x11ce, {0x97, 0xd5, 0x00, 0xaa, 0x00, 0x55, 0x59, 0x5a}};
static const GUID CLSID_DVVideoDecoder_Cap =
    {0xb1b77c00, 0xc3e4, 0x11cf, {0xaf, 0x79, 0x00, 0xaa, 0x00, 0xb6, 0x7a, 0x42}};

/* External transport modes. */
enum {
    TRANSPORT_PLAY = EXT_MODE_PLAY, TRANSPORT_STOP = EXT_MODE_STOP, TRANSPORT_FREEZE = EXT_MODE_FREEZE,
    TRANSPORT_FF = EXT_MODE_FF, TRANSPORT_REW = EXT_MODE_REW,
    TRANSPORT_FASTEST_FWD = EXT_MODE_PLAY_FASTEST_FWD, TRANSPORT_FASTEST_REV = EXT_MODE_PLAY_FASTEST_REV,
};

template <class T> static void release(T *&p)
{
    if (p) p->Release();
    p = nullptr;
}

static void box(const char *text)
{
    MessageBoxA(GetFocus(), text, "Error", MB_OK | MB_ICONERROR);
}

/* ---- the capture stack ---- */

static SRWLOCK g_stackLock = SRWLOCK_INIT;
static std::vector<CDSCapture *> g_stack;   /* bottom first */

static void stack_renumber()
{
    for (size_t i = 0; i < g_stack.size(); i++) g_stack[i]->stackPosition = (int)i;
}

static void stack_push(CDSCapture *s)
{
    AcquireSRWLockExclusive(&g_stackLock);
    g_stack.erase(std::remove(g_stack.begin(), g_stack.end(), s), g_stack.end());
    g_stack.push_back(s);
    stack_renumber();
    ReleaseSRWLockExclusive(&g_stackLock);
}

static void stack_remove(CDSCapture *s)
{
    AcquireSRWLockExclusive(&g_stackLock);
    g_stack.erase(std::remove(g_stack.begin(), g_stack.end(), s), g_stack.end());
    stack_renumber();
    s->stackPosition = -1;
    ReleaseSRWLockExclusive(&g_stackLock);
}

int EngineCaptureStackCount()
{
    AcquireSRWLockShared(&g_stackLock);
    int n = (int)g_stack.size();
    ReleaseSRWLockShared(&g_stackLock);
    return n;
}

int EngineCaptureStackChannel(int position)
{
    AcquireSRWLockShared(&g_stackLock);
    int c = position >= 0 && position < (int)g_stack.size() ? g_stack[position]->channelIndex : -1;
    ReleaseSRWLockShared(&g_stackLock);
    return c;
}

/* ---- devices ---- */

static HRESULT bind_device(REFCLSID category, int index, IBaseFilter **out)
{
    *out = nullptr;
    ICreateDevEnum *dev = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum_Cap,
                                  (void **)&dev);
    if (FAILED(hr)) return hr;
    IEnumMoniker *en = nullptr;
    hr = dev->CreateClassEnumerator(category, &en, 0);
    dev->Release();
    if (hr != S_OK || !en) return E_FAIL;
    IMoniker *m = nullptr;
    hr = E_FAIL;
    for (int i = 0; en->Next(1, &m, nullptr) == S_OK; i++) {
        if (i == index) hr = m->BindToObject(nullptr, nullptr, IID_IBaseFilter, (void **)out);
        m->Release();
        if (i == index) break;
    }
    en->Release();
    return hr;
}

static HRESULT create(REFCLSID clsid, REFIID iid, void **out)
{
    *out = nullptr;
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, out);
}

static IPin *peer_of(IPin *pin)
{
    IPin *p = nullptr;
    if (pin && FAILED(pin->ConnectedTo(&p))) p = nullptr;
    return p;
}

/* An output pin of the filter that is not connected. */
static IPin *free_output(IBaseFilter *f)
{
    for (int i = 0;; i++) {
        IPin *p = GetOutputPin(f, i);
        if (!p) return nullptr;
        IPin *peer = peer_of(p);
        if (!peer) return p;
        peer->Release();
        p->Release();
    }
}

/* The filter at the end of the chain rendered from the device's connected
 * output (the graph builder may add its filters without names). */
static IBaseFilter *chain_end(IBaseFilter *device)
{
    IBaseFilter *f = device;
    f->AddRef();
    for (int depth = 0; depth < 16; depth++) {
        IPin *next = nullptr;
        for (int i = 0; !next; i++) {
            IPin *p = GetOutputPin(f, i);
            if (!p) break;
            next = peer_of(p);
            p->Release();
        }
        if (!next) break;
        PIN_INFO pi = {};
        next->QueryPinInfo(&pi);
        next->Release();
        if (!pi.pFilter) break;
        f->Release();
        f = pi.pFilter;
    }
    if (f == device) { f->Release(); return nullptr; }
    return f;
}

/* ---- the source ---- */

CDSCapture::CDSCapture()
{
    CoInitialize(nullptr);
}

CDSCapture::~CDSCapture()
{
    Close();
    EngineFreeMediaType(chosenFormat);
    CoUninitialize();
}

bool CDSCapture::Build()
{
    HRESULT hr;
    if (FAILED(hr = create(CLSID_CaptureGraphBuilder2, IID_ICaptureGraphBuilder2, (void **)&builder)))
        { box("Can not make builder for Video Capture"); return false; }
    if (FAILED(hr = create(CLSID_FilterGraph, IID_IGraphBuilder, (void **)&graph)))
        { box("Cannot instantiate filtergraph"); return false; }
    if (FAILED(hr = builder->SetFiltergraph(graph))) { box("Cannot give graph to builder"); return false; }

    const bool musicOnly = channelIndex == 4 && g_engine.backMusic;
    if (!musicOnly) {
        if (FAILED(bind_device(CLSID_VideoInputDeviceCategory, g_engine.videoDevices[videoDeviceIndex].index,
                               &videoCapture)) || !videoCapture) {
            box("Can not create video capture filter");
            return false;
        }
        if (FAILED(graph->AddFilter(videoCapture, L"Video Capture"))) { box("Cannot add vidcap to filtergraph"); return false; }
    }
    if (audioCapture && FAILED(graph->AddFilter(audioCapture, L"Audio Capture")))
        { box("Cannot add audcap to filtergraph"); return false; }

    if (videoCapture) {
        hr = builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, videoCapture, IID_IAMStreamConfig,
                                    (void **)&videoConfig);
        if (FAILED(hr))
            hr = builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, videoCapture, IID_IAMStreamConfig,
                                        (void **)&videoConfig);
        if (FAILED(hr)) { box("Can not find Stream Config"); return false; }
        /* A format chosen in the format dialog holds for the graphs built
         * after it. */
        if (chosenFormat) videoConfig->SetFormat(chosenFormat);
        videoCapture->QueryInterface(IID_IAMVfwCaptureDialogs, (void **)&vfwDialogs);
    }
    if (audioCapture) {
        hr = builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, audioCapture, IID_IAMStreamConfig,
                                    (void **)&audioConfig);
        if (FAILED(hr))
            hr = builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Audio, audioCapture, IID_IAMStreamConfig,
                                        (void **)&audioConfig);
        if (FAILED(hr)) {
            char text[96];
            snprintf(text, sizeof(text), "Error %x: Cannot find ACapture:IAMStreamConfig", (unsigned)hr);
            box(text);
            return false;
        }
    }
    return true;
}

bool CDSCapture::ConnectVideo()
{
    IBaseFilter *hsl = nullptr;
    if (FAILED(create(CLSID_TintwellFilter_Corv, IID_IBaseFilter, (void **)&hsl)))
        { EngineWarning("HSL Effect Filter Creation Error !!"); return false; }
    if (FAILED(create(CLSID_ColourConverter_Cap, IID_IBaseFilter, (void **)&colourConverter)))
        { hsl->Release(); EngineWarning("Color Converter Creation Error !!"); return false; }
    AcquireSRWLockExclusive(&hslLock);
    hsl->QueryInterface(IID_IHSLEffect_Corv, (void **)&hslFilter);
    ReleaseSRWLockExclusive(&hslLock);
    graph->AddFilter(hsl, L"Tintwell Effect");
    hsl->Release();

    HRESULT hr = builder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Interleaved, videoCapture, nullptr, nullptr);
    if (FAILED(hr))
        hr = builder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, videoCapture, nullptr, nullptr);
    if (FAILED(hr)) { EngineWarning("Can not render Capture video"); return false; }

    /* A DV decoder that rendering inserted is replaced by a new one. */
    if (IBaseFilter *dv = FindFilterByName(graph, L"DV Video Decoder", 0)) {
        IPin *din = GetInputPin(dv, 0), *dout = GetOutputPin(dv, 0);
        IPin *up = peer_of(din), *down = peer_of(dout);
        release(din);
        release(dout);
        graph->RemoveFilter(dv);
        dv->Release();
        IBaseFilter *fresh = nullptr;
        hr = create(CLSID_DVVideoDecoder_Cap, IID_IBaseFilter, (void **)&fresh);
        if (SUCCEEDED(hr)) hr = graph->AddFilter(fresh, L"DV Video Decoder");
        if (SUCCEEDED(hr)) {
            IPin *fin = GetInputPin(fresh, 0), *fout = GetOutputPin(fresh, 0);
            if (up && fin) hr = graph->Connect(up, fin);
            if (SUCCEEDED(hr) && down && fout) hr = graph->Connect(fout, down);
            release(fin);
            release(fout);
        }
        release(fresh);
        release(up);
        release(down);
        if (FAILED(hr)) { EngineWarning("DV Video Decoder Creation Error !!"); return false; }
    }

    /* feeder -> colour converter -> RGB24 grabber -> a new video renderer,
     * in the renderer's place. */
    IBaseFilter *renderer = FindFilterByName(graph, L"Video Renderer", 1);
    if (!renderer) renderer = chain_end(videoCapture);
    if (!renderer) { EngineWarning("Video Capture open error"); return false; }
    IPin *rin = GetInputPin(renderer, 0);
    IPin *feed = peer_of(rin);
    if (feed) graph->Disconnect(feed);
    if (rin) graph->Disconnect(rin);
    graph->RemoveFilter(renderer);
    release(rin);
    release(renderer);
    if (!feed) { EngineWarning("Video Capture open error"); return false; }

    AM_MEDIA_TYPE mt = {};
    mt.majortype = MEDIATYPE_Video;
    mt.subtype = MEDIASUBTYPE_RGB24;
    mt.formattype = FORMAT_VideoInfo;
    hr = graph->AddFilter(colourConverter, L"Color Space Converter");
    if (SUCCEEDED(hr)) hr = graph->AddFilter(videoGrabberFilter, L"Video Grabber");
    if (SUCCEEDED(hr)) hr = videoGrabber->SetMediaType(&mt);
    if (SUCCEEDED(hr)) hr = graph->AddFilter(videoRenderer, L"Video Renderer");
    IPin *cin = GetInputPin(colourConverter, 0), *cout = GetOutputPin(colourConverter, 0);
    IPin *gin = GetInputPin(videoGrabberFilter, 0), *gout = GetOutputPin(videoGrabberFilter, 0);
    IPin *vin = GetInputPin(videoRenderer, 0);
    if (SUCCEEDED(hr)) hr = (feed && cin) ? graph->Connect(feed, cin) : E_FAIL;
    if (SUCCEEDED(hr)) hr = (cout && gin) ? graph->Connect(cout, gin) : E_FAIL;
    if (SUCCEEDED(hr)) hr = (gout && vin) ? graph->Connect(gout, vin) : E_FAIL;
    release(feed); release(cin); release(cout); release(gin); release(gout); release(vin);
    if (FAILED(hr)) { EngineWarning("Video Capture open error"); return false; }
    return true;
}

bool CDSCapture::ConnectAudio()
{
    IBaseFilter *source = audioCapture ? audioCapture : nullptr;
    IPin *feed = nullptr;
    if (source) {
        builder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Audio, source, nullptr, nullptr);
        /* Capture audio is never heard: whatever rendering put after the
         * device goes, the device feeds the ACM wrapper. */
        IBaseFilter *sound = chain_end(source);
        IPin *soundOut = sound ? GetOutputPin(sound, 0) : nullptr;
        if (sound && !soundOut) {
            /* A renderer: it goes, and what fed it feeds the wrapper. */
            IPin *sin = GetInputPin(sound, 0);
            feed = peer_of(sin);
            if (feed) graph->Disconnect(feed);
            if (sin) graph->Disconnect(sin);
            release(sin);
            graph->RemoveFilter(sound);
        } else if (sound) {
            /* Rendering stopped at a filter with a free output (a tee). */
            feed = free_output(sound);
        }
        release(soundOut);
        release(sound);
        if (!feed) feed = free_output(source);
    } else if (dvAudio) {
        IBaseFilter *split = FindFilterByName(graph, L"DV Splitter", 0);
        if (!split) { EngineWarning("Can not find DV audio filter"); return false; }
        feed = free_output(split);
        split->Release();
        if (!feed) { EngineWarning("Can not find DV audio filter"); return false; }
    } else {
        return true;   /* no audio of its own */
    }
    if (!feed) { EngineWarning("Audio Capture open error"); return false; }

    HRESULT hr = graph->AddFilter(acm, L"ACM Wrapper");
    if (FAILED(hr)) { feed->Release(); EngineWarning("ACM Wrapper AddFilter Error !!"); return false; }
    hr = ConnectAudioTail(graph, feed, acm, audioGrabberFilter, audioGrabber, nullRenderer, "Null Audio Error");
    if (FAILED(hr)) return false;
    return true;
}

void CDSCapture::FindTransport()
{
    if (!dvDevice) return;
    /* The DV splitter's upstream device, or the device itself. */
    IBaseFilter *device = nullptr;
    if (IBaseFilter *split = FindFilterByName(graph, L"DV Splitter", 0)) {
        IPin *in = GetInputPin(split, 0);
        device = in ? UpstreamFilter(in) : nullptr;
        release(in);
        split->Release();
    }
    if (device) {
        device->QueryInterface(IID_IAMExtTransport_Corv, (void **)&transport);
        device->QueryInterface(IID_IAMTimecodeReader_Corv, (void **)&timecode);
        device->Release();
    }
    /* The capture graph builder may have put a tee between the device and
     * the splitter: then the device itself answers. */
    if (!transport && videoCapture) {
        videoCapture->QueryInterface(IID_IAMExtTransport_Corv, (void **)&transport);
        if (!timecode) videoCapture->QueryInterface(IID_IAMTimecodeReader_Corv, (void **)&timecode);
    }
    /* A device with a tape transport plays tapes (VCR); one without is a
     * camera. */
    dvMode = transport ? 1 : 0;
}

bool CDSCapture::Connect()
{
    HRESULT hr = graph->QueryInterface(IID_IMediaEventEx, (void **)&mediaEvent);
    if (FAILED(hr)) { EngineWarning("Media Event Fail"); return false; }
    mediaEvent->SetNotifyWindow((OAHWND)g_engine.hostWindow.load(), WM_ENGINE_GRAPHNOTIFY, channelIndex);

    if (videoCapture) {
        if (FAILED(create(CLSID_SampleGrabber, IID_IBaseFilter, (void **)&videoGrabberFilter)))
            { EngineWarning("Video Sample Grabber Creation Error !!"); return false; }
        videoGrabberFilter->QueryInterface(IID_ISampleGrabber, (void **)&videoGrabber);
        if (FAILED(create(CLSID_VideoRenderer, IID_IBaseFilter, (void **)&videoRenderer)))
            { EngineWarning("Video Renderer Creation Error !!"); return false; }
    }
    const bool hasAudio = !audioInUse && (audioCapture || dvAudio);
    if (hasAudio) {
        if (FAILED(create(CLSID_SampleGrabber, IID_IBaseFilter, (void **)&audioGrabberFilter)))
            { EngineWarning("Audio Sample Grabber Creation Error !!"); return false; }
        audioGrabberFilter->QueryInterface(IID_ISampleGrabber, (void **)&audioGrabber);
        if (FAILED(create(CLSID_NullRenderer, IID_IBaseFilter, (void **)&nullRenderer)))
            { EngineWarning("Audio Device Creation Error !!"); return false; }
        if (FAILED(create(CLSID_ACMWrapper, IID_IBaseFilter, (void **)&acm)))
            { EngineWarning("ACM Wrapper Creation Error !!"); return false; }
    }
    if (videoCapture && !ConnectVideo()) { EngineWarning("Video Capture open error"); return false; }
    if (hasAudio && !ConnectAudio()) { EngineWarning("Audio Capture open error"); return false; }
    FindTransport();

    graph->QueryInterface(IID_IVideoWindow, (void **)&videoWindow);
    if (videoWindow) videoWindow->put_AutoShow(0);
    graph->QueryInterface(IID_IBasicAudio, (void **)&basicAudio);
    if (basicAudio) { LONG v = 0; if (SUCCEEDED(basicAudio->get_Volume(&v))) volume = v; }

    AM_MEDIA_TYPE mt = {};
    EngineFreeMediaType(videoType); videoType = nullptr;
    EngineFreeMediaType(audioType); audioType = nullptr;
    if (videoGrabber) {
        if (SUCCEEDED(videoGrabber->GetConnectedMediaType(&mt))) { videoType = EngineCopyMediaType(&mt); EngineClearMediaType(&mt); }
        videoCallback = new CGrabCB2(this, 0);
        videoGrabber->SetCallback(videoCallback, 1);
        videoGrabber->SetOneShot(FALSE);
        videoGrabber->SetBufferSamples(FALSE);
    }
    if (audioGrabber) {
        if (SUCCEEDED(audioGrabber->GetConnectedMediaType(&mt))) { audioType = EngineCopyMediaType(&mt); EngineClearMediaType(&mt); }
        audioCallback = new CGrabCB2(this, 1);
        audioGrabber->SetCallback(audioCallback, 1);
        audioGrabber->SetOneShot(FALSE);
        audioGrabber->SetBufferSamples(FALSE);
    }
    /* One system clock for every graph of the process. */
    if (IReferenceClock *clock = EngineSharedClock()) {
        IMediaFilter *mf = nullptr;
        if (SUCCEEDED(graph->QueryInterface(IID_IMediaFilter, (void **)&mf))) {
            mf->SetSyncSource(clock);
            mf->Release();
        }
    }
    return true;
}

bool CDSCapture::Run()
{
    if (!control && FAILED(graph->QueryInterface(IID_IMediaControl, (void **)&control))) return false;
    if (FAILED(control->Run())) {
        control->Stop();
        return false;
    }
    OAFilterState fs;
    control->GetState(2000, &fs);
    running = true;
    if (dvMode == 1 && playing) StartTimer();
    return true;
}

/* Stop every capture graph from the top of the stack down to this one, run
 * the ones above again, and put this one on top, halted. */
void CDSCapture::Halt()
{
    std::vector<CDSCapture *> above;
    AcquireSRWLockExclusive(&g_stackLock);
    auto it = std::find(g_stack.begin(), g_stack.end(), this);
    if (it != g_stack.end()) {
        above.assign(it + 1, g_stack.end());
        g_stack.erase(it);
        g_stack.push_back(this);
        stack_renumber();
    }
    ReleaseSRWLockExclusive(&g_stackLock);
    for (auto r = above.rbegin(); r != above.rend(); ++r)
        if ((*r)->control) (*r)->control->Stop();
    StopTimer();
    if (control) control->Stop();
    for (CDSCapture *s : above)
        if (s->control && s->running) {
            s->control->Run();
            OAFilterState fs;
            s->control->GetState(2000, &fs);
        }
    running = false;
    if (transport) transport->put_Mode(TRANSPORT_STOP);
}

void CDSCapture::Resume()
{
    if (graph && Run()) stack_push(this);
}

BOOL CDSCapture::Open(const char *video, const char *audio)
{
    Close();
    lastResult = S_OK;
    lstrcpynA(videoName, video ? video : "", sizeof(videoName));
    lstrcpynA(audioName, audio ? audio : "", sizeof(audioName));
    lstrcpynA(videoPath, videoName, ENGINE_TEXT);
    lstrcpynA(audioPath, audioName, ENGINE_TEXT);
    framePeriod = g_engine.framePeriod > 0 ? 1000.0f / (float)g_engine.framePeriod : 0.0f;
    dvDevice = videoDeviceIndex >= 0 && videoDeviceIndex < g_engine.videoDeviceCount &&
               strstr(g_engine.videoDevices[videoDeviceIndex].name, "DV") != nullptr;

    /* The audio device: not opened again while another source holds it. */
    if (audioDeviceIndex >= 0) {
        if (!EngineClaimAudioDevice(audioDeviceIndex, channelIndex)) {
            audioInUse = true;
        } else {
            ownAudio = true;
            if (FAILED(EngineCreateAudioCapture(audioDeviceIndex, &audioCapture)) || !audioCapture) {
                release(audioCapture);
                if (dvDevice) dvAudio = true;
                else { box("Cannot create audio capture filter"); ReleaseAll(); return FALSE; }
            }
        }
    }
    if (!Build() || !Connect()) { ReleaseAll(); state = STATE_NONE; return FALSE; }
    if (!Run()) { EngineWarning("Media Controller Fail"); ReleaseAll(); state = STATE_NONE; return FALSE; }
    stack_push(this);
    state = STATE_OPENED;
    PostState(STATE_OPENED);
    if (channelIndex == 4 && g_engine.backMusic) Play(0);
    return TRUE;
}

void CDSCapture::ReleaseAll()
{
    /* The timer and the callbacks first: after this nothing else reaches
     * the source. */
    StopTimer();
    if (videoCallback) videoCallback->Detach();
    if (audioCallback) audioCallback->Detach();
    if (mediaEvent) mediaEvent->SetNotifyWindow(0, 0, 0);
    if (control) control->Stop();
    if (videoGrabber) videoGrabber->SetCallback(nullptr, 1);
    if (audioGrabber) audioGrabber->SetCallback(nullptr, 1);
    stack_remove(this);
    if (ownAudio) EngineAudioDeviceInUse(audioDeviceIndex, -1);
    ownAudio = audioInUse = dvAudio = false;
    running = playing = false;
    release(control);
    release(videoCallback);
    release(audioCallback);
    release(videoGrabber);
    release(audioGrabber);
    release(videoGrabberFilter);
    release(audioGrabberFilter);
    release(colourConverter);
    release(videoRenderer);
    release(nullRenderer);
    release(acm);
    release(videoConfig);
    release(audioConfig);
    release(vfwDialogs);
    release(transport);
    release(timecode);
    release(mediaEvent);
    release(videoWindow);
    release(basicAudio);
    AcquireSRWLockExclusive(&hslLock);
    release(hslFilter);
    ReleaseSRWLockExclusive(&hslLock);
    release(videoCapture);
    release(audioCapture);
    release(builder);
    release(graph);
    dvMode = 2;
}

void CDSCapture::Close()
{
    if (graph) Halt();
    ReleaseAll();
}

int CDSCapture::GetDuration()
{
    return transport && dvMode == 1 ? 3600 : 0;
}

int CDSCapture::GetPosition()
{
    if (!timecode) return 0;
    ExtTimecodeSample tc = {};
    tc.flags = EXT_DEVCAP_TIMECODE_READ;
    if (FAILED(timecode->GetTimecode(&tc))) return 0;
    const DWORD v = tc.timecode.frames;   /* packed decimal hh mm ss ff */
    auto bcd = [](DWORD b) { return (int)((b >> 4) & 15) * 10 + (int)(b & 15); };
    return bcd((v >> 24) & 0xFF) * 3600 + bcd((v >> 16) & 0xFF) * 60 + bcd((v >> 8) & 0xFF);
}

void CALLBACK CDSCapture::TimerProc(UINT id, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR)
{
    auto *s = reinterpret_cast<CDSCapture *>(user);
    if (!s || s->positionTimer != id || !s->videoType) return;
    EnginePost(WM_ENGINE_POSITION, s->channelIndex, s->GetPosition());
}

void CDSCapture::StartTimer()
{
    if (positionTimer) return;
    positionTimer = timeSetEvent(500, 50, TimerProc, reinterpret_cast<DWORD_PTR>(this),
                                 TIME_PERIODIC | TIME_CALLBACK_FUNCTION | TIME_KILL_SYNCHRONOUS);
}

/* Killed synchronously: once this returns no timer callback runs. */
void CDSCapture::StopTimer()
{
    UINT id = positionTimer;
    positionTimer = 0;
    if (id) timeKillEvent(id);
}

int CDSCapture::Play(int)
{
    if (transport && dvMode == 1) {
        transport->put_Mode(TRANSPORT_PLAY);
        playing = true;
        StartTimer();
    } else {
        if (!control) { EngineWarning("Media Controller Fail"); return 0; }
        if (!running) Resume();
    }
    state = STATE_PLAYING;
    PostState(STATE_PLAYING);
    return 1;
}

int CDSCapture::Stop()
{
    if (transport && dvMode == 1) {
        transport->put_Mode(TRANSPORT_STOP);
        StopTimer();
        playing = false;
        state = STATE_STOPPED;
        PostState(STATE_STOPPED);
    }
    return 1;
}

int CDSCapture::Pause()
{
    if (transport && dvMode == 1 && playing) {
        transport->put_Mode(TRANSPORT_FREEZE);
        StopTimer();
        playing = false;
    }
    return 1;
}

int CDSCapture::FastForward()
{
    if (transport && dvMode == 1) transport->put_Mode(playing ? TRANSPORT_FASTEST_FWD : TRANSPORT_FF);
    state = STATE_PLAYING;
    return 1;
}

int CDSCapture::Rewind()
{
    if (transport && dvMode == 1) transport->put_Mode(playing ? TRANSPORT_FASTEST_REV : TRANSPORT_REW);
    state = STATE_PLAYING;
    return 1;
}

int CDSCapture::VideoSourceDialog()
{
    if (!graph || !videoCapture) return 0;
    Halt();
    if (vfwDialogs && vfwDialogs->HasDialog(VFW_DIALOG_SOURCE) == S_OK) {
        vfwDialogs->ShowDialog(VFW_DIALOG_SOURCE, GetFocus());
    } else {
        ISpecifyPropertyPages *pages = nullptr;
        if (SUCCEEDED(videoCapture->QueryInterface(IID_ISpecifyPropertyPages, (void **)&pages))) {
            CAUUID cauuid = {};
            if (SUCCEEDED(pages->GetPages(&cauuid)) && cauuid.cElems) {
                IUnknown *unk = videoCapture;
                OleCreatePropertyFrame(GetFocus(), 30, 30, nullptr, 1, &unk, cauuid.cElems, cauuid.pElems, 0, 0, nullptr);
            }
            CoTaskMemFree(cauuid.pElems);
            pages->Release();
        }
    }
    Resume();
    return 1;
}

int CDSCapture::VideoFormatDialog()
{
    if (!graph || !videoCapture) return 0;
    Halt();
    IAMStreamConfig *cfg = nullptr;
    HRESULT hr = builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, videoCapture,
                                        IID_IAMStreamConfig, (void **)&cfg);
    if (FAILED(hr))
        hr = builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, videoCapture, IID_IAMStreamConfig,
                                    (void **)&cfg);
    if (FAILED(hr)) {
        EngineWarning("Error %x: Cannot find VCapture:IAMStreamConfig", (unsigned)hr);
        Resume();
        return 0;
    }
    AM_MEDIA_TYPE *before = nullptr;
    cfg->GetFormat(&before);
    if (vfwDialogs && vfwDialogs->HasDialog(VFW_DIALOG_FORMAT) == S_OK) {
        hr = vfwDialogs->ShowDialog(VFW_DIALOG_FORMAT, GetFocus());
        if (hr == VFW_E_CANNOT_CONNECT) EngineWarning("DIALOG CORRUPTED GRAPH !!");
    } else {
        ISpecifyPropertyPages *pages = nullptr;
        if (SUCCEEDED(cfg->QueryInterface(IID_ISpecifyPropertyPages, (void **)&pages))) {
            CAUUID cauuid = {};
            if (SUCCEEDED(pages->GetPages(&cauuid)) && cauuid.cElems) {
                IUnknown *unk = cfg;
                OleCreatePropertyFrame(GetFocus(), 60, 60, nullptr, 1, &unk, cauuid.cElems, cauuid.pElems, 0, 0, nullptr);
            }
            CoTaskMemFree(cauuid.pElems);
            pages->Release();
        }
    }
    /* The format now chosen: when it differs from the one the graph was
     * built with, the graph is built again with it and run. */
    AM_MEDIA_TYPE *after = nullptr;
    cfg->GetFormat(&after);
    cfg->Release();
    const bool changed = before && after && (before->cbFormat != after->cbFormat ||
                                             !IsEqualGUID(before->subtype, after->subtype) ||
                                             (after->cbFormat && memcmp(before->pbFormat, after->pbFormat, after->cbFormat)));
    if (changed) {
        EngineFreeMediaType(chosenFormat);
        chosenFormat = EngineCopyMediaType(after);
    }
    if (before) { EngineClearMediaType(before); CoTaskMemFree(before); }
    if (after) { EngineClearMediaType(after); CoTaskMemFree(after); }
    if (changed) {
        char video[MAX_PATH], audio[MAX_PATH];
        lstrcpynA(video, videoName, MAX_PATH);
        lstrcpynA(audio, audioName, MAX_PATH);
        const bool wasPlaying = playing;
        Close();
        if (!Open(video, audio)) return 0;
        if (wasPlaying) Play(0);
        return 1;
    }
    AM_MEDIA_TYPE mt = {};
    if (videoGrabber && SUCCEEDED(videoGrabber->GetConnectedMediaType(&mt))) {
        EngineFreeMediaType(videoType);
        videoType = EngineCopyMediaType(&mt);
        EngineClearMediaType(&mt);
    }
    Resume();
    return 1;
}

/* ---- CGrabCB2 ---- */

/* The audio device index of the programme source, or -2 when there is none
 * (read under the channel table's lock, so the source stays alive). */
static int programme_audio_device()
{
    EngineSurface *programme = g_transformer.ProgrammeSurface();
    int device = -2;
    AcquireSRWLockShared(&g_engine.channelLock);
    for (int i = 0; i < ENGINE_CHANNELS; i++) {
        CDecoder *d = g_engine.channel[i];
        if (d && programme && d->surface == programme) { device = d->audioDeviceIndex; break; }
    }
    ReleaseSRWLockShared(&g_engine.channelLock);
    return device;
}

HRESULT WINAPI CGrabCB2::BufferCB(double, BYTE *buffer, LONG length)
{
    calls++;
    AcquireSRWLockShared(&gate);
    auto *src = static_cast<CDSCapture *>(owner);
    if (!src) { ReleaseSRWLockShared(&gate); return 0; }
    if (!audioFlag) {
        if (src->videoType) src->DrawFrame(buffer, length);
        if (src->surface && g_channelPainter[src->channelIndex]) g_channelPainter[src->channelIndex]->Signal();
        ReleaseSRWLockShared(&gate);
        return 0;
    }
    if (src->audioType) {
        const bool programme = src->surface && src->surface == g_transformer.ProgrammeSurface();
        bool goes = g_engine.backMusic ? src->channelIndex == 4 : programme;
        if (!goes && src->sourceKind != 1 && src->audioDeviceIndex >= 0)
            goes = src->audioDeviceIndex == programme_audio_device();
        if (g_engineAudioProbe) g_engineAudioProbe(src->channelIndex, 0, buffer, length);
        if (goes) {
            const WAVEFORMATEX *wf = reinterpret_cast<const WAVEFORMATEX *>(src->audioType->pbFormat);
            DWORD ms = (wf && wf->nAvgBytesPerSec) ? (DWORD)MulDiv(length, 1000, wf->nAvgBytesPerSec) : 0;
            EngineDeliverAudio(ms, buffer, length);
        }
    }
    ReleaseSRWLockShared(&gate);
    return 0;
}
