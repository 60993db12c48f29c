/*
 * CAviMpegReader: graph building, transport and close.
 */
#include "file_source.h"
#include "grab_cb.h"
#include "graph_util.h"
#include "devices.h"
#include <uuids.h>
#include <evcode.h>
#include <mmreg.h>
#include <mmsystem.h>
#include <stdio.h>

static const GUID CLSID_WMAsfReader_Corv =
    {0x187463a0, 0x5bb7, 0x11d3, {0xac, 0xbe, 0x00, 0x80, 0xc7, 0x5e, 0x24, 0x6e}};

static const LONGLONG UNITS = 10000000;

static const char *ext_of(const char *path)
{
    const char *dot = path ? strrchr(path, '.') : nullptr;
    return dot;
}

static bool ext_is(const char *path, const char *const *list)
{
    const char *e = ext_of(path);
    if (!e) return false;
    for (; *list; list++)
        if (!lstrcmpiA(e, *list)) return true;
    return false;
}

bool IsStillImagePath(const char *path)
{
    static const char *const stills[] = {".bmp", ".jpg", ".gif", ".tga", nullptr};
    return ext_is(path, stills);
}

static void to_wide(const char *s, WCHAR *out)
{
    out[0] = 0;
    if (s) MultiByteToWideChar(CP_ACP, 0, s, -1, out, ENGINE_TEXT);
    out[ENGINE_TEXT - 1] = 0;
}

static void copy_narrow(const char *s, char *out)
{
    lstrcpynA(out, s ? s : "", ENGINE_TEXT);
}

CAviMpegReader::CAviMpegReader()
{
    /* Balanced by the destructor. */
    CoInitialize(nullptr);
}

CAviMpegReader::~CAviMpegReader()
{
    Close();
    CoUninitialize();
}

IMediaSeeking *CAviMpegReader::Seeking()
{
    IMediaSeeking *s = nullptr;
    if (!graph) return nullptr;
    seekingResult = graph->QueryInterface(IID_IMediaSeeking, (void **)&s);
    return SUCCEEDED(seekingResult) ? s : nullptr;
}

template <class T> static void release(T *&p)
{
    if (p) p->Release();
    p = nullptr;
}

/* The graph manager finishes a Run on a worker thread of its own; a Stop
 * that overlaps it can deadlock the filters.  Every state change therefore
 * waits (bounded) until the graph has settled before the next one. */
void CAviMpegReader::Settle()
{
    OAFilterState fs;
    if (control) control->GetState(2000, &fs);
}

void CAviMpegReader::ReleaseGraph()
{
    /* Callbacks first: once detached, no streaming thread reaches this
     * source, so the graph can be stopped without holding anything the
     * callbacks need. */
    if (videoCallback) videoCallback->Detach();
    if (audioCallback) audioCallback->Detach();
    if (mediaEvent) mediaEvent->SetNotifyWindow(0, 0, 0);
    Settle();
    if (control) control->Stop();
    if (videoGrabber) videoGrabber->SetCallback(nullptr, 1);
    if (audioGrabber) audioGrabber->SetCallback(nullptr, 1);
    if (deviceAudioIndex >= 0 && deviceSharedWith < 0) EngineAudioDeviceInUse(deviceAudioIndex, -1);
    release(control);
    release(audioGrabber);
    release(videoGrabber);
    release(audioGrabberFilter);
    release(videoGrabberFilter);
    release(nullRenderer);
    release(videoRenderer);
    release(acm);
    release(captureBuilder);
    release(audioCapture);
    release(mediaEvent);
    release(videoWindow);
    release(basicAudio);
    AcquireSRWLockExclusive(&hslLock);
    release(hslFilter);
    ReleaseSRWLockExclusive(&hslLock);
    release(graph);
    release(videoCallback);
    release(audioCallback);
}

void CAviMpegReader::Close()
{
    if (graph) {
        if (videoCallback) videoCallback->Detach();
        if (audioCallback) audioCallback->Detach();
        Stop();
    }
    ReleaseGraph();
}

BOOL CAviMpegReader::Fail()
{
    ReleaseGraph();
    state = STATE_NONE;
    return FALSE;
}

static HRESULT create(REFCLSID clsid, REFIID iid, void **out)
{
    *out = nullptr;
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, out);
}

HRESULT CAviMpegReader::RenderForVideo(const WCHAR *path, const char *narrow)
{
    static const char *const asf[] = {".wmv", ".asf", nullptr};
    if (ext_is(narrow, asf)) {
        IBaseFilter *reader = nullptr;
        HRESULT hr = create(CLSID_WMAsfReader_Corv, IID_IBaseFilter, (void **)&reader);
        if (FAILED(hr)) { EngineWarning("Failed to create WMAsfWriter filter!"); return hr; }
        hr = graph->AddFilter(reader, L"ASF Reader");
        if (FAILED(hr)) { reader->Release(); EngineWarning("Failed to add ASF reader filter to graph!"); return hr; }
        IFileSourceFilter *fs = nullptr;
        hr = reader->QueryInterface(IID_IFileSourceFilter, (void **)&fs);
        if (SUCCEEDED(hr)) { hr = fs->Load(path, nullptr); fs->Release(); }
        if (FAILED(hr)) { reader->Release(); EngineWarning("WMV File Loading failed!"); return hr; }
        hr = RenderAllOutputs(graph, reader);
        reader->Release();
        return hr;
    }
    HRESULT hr = graph->RenderFile(path, nullptr);
    return FAILED(hr) ? (HRESULT)-10 : hr;
}

HRESULT CAviMpegReader::BuildVideoPath()
{
    HRESULT hr = RenderForVideo(videoPathW, videoPath);
    if (FAILED(hr)) return hr;

    AM_MEDIA_TYPE mt = {};
    mt.majortype = MEDIATYPE_Video;
    mt.subtype = MEDIASUBTYPE_RGB24;
    mt.formattype = FORMAT_VideoInfo;
    hr = graph->AddFilter(videoGrabberFilter, L"Video Grabber");
    if (SUCCEEDED(hr)) hr = videoGrabber->SetMediaType(&mt);
    if (FAILED(hr)) { EngineWarning("Mismatching video media type"); return hr; }

    IBaseFilter *renderer = FindFilterByName(graph, L"Video Renderer", 0);
    if (!renderer) {
        EngineWarning("There is not installed suitable codec. or it has not video data");
        return E_FAIL;
    }
    IPin *rin = GetInputPin(renderer, 0);
    IPin *feed = nullptr;
    if (rin) rin->ConnectedTo(&feed);
    if (feed) graph->Disconnect(feed);
    if (rin) graph->Disconnect(rin);
    graph->RemoveFilter(renderer);
    renderer->Release();
    if (rin) rin->Release();

    IPin *gin = GetInputPin(videoGrabberFilter, 0);
    if (!feed || !gin) {
        if (feed) feed->Release();
        if (gin) gin->Release();
        EngineWarning("Video Frame processing filter adding error");
        return E_FAIL;
    }
    hr = graph->Connect(feed, gin);
    feed->Release();
    gin->Release();
    if (FAILED(hr)) {
        EngineWarning("The Codec filter is recommended to install which supports RGB24 color space.");
        return hr;
    }

    hr = graph->AddFilter(videoRenderer, L"Video Renderer");
    IPin *gout = GetOutputPin(videoGrabberFilter, 0), *vin = GetInputPin(videoRenderer, 0);
    if (!gout || !vin) {
        if (gout) gout->Release();
        if (vin) vin->Release();
        EngineWarning("Getting the Video pin info failed");
        return E_FAIL;
    }
    hr = graph->Connect(gout, vin);
    gout->Release();
    vin->Release();
    if (FAILED(hr)) {
        EngineWarning("Video Renderer connection failed:%x", (unsigned)hr);
        return hr;
    }
    return S_OK;
}

static IBaseFilter *find_sound_renderer(IGraphBuilder *graph)
{
    IBaseFilter *f = FindFilterByName(graph, L"DirectSound", 1);
    if (!f) f = FindFilterByName(graph, L"Audio Renderer", 1);
    /* The engine's own null renderer is never the sound card's renderer. */
    if (f && FindFilterByName(graph, L"Null Audio Renderer", 0) == f) { f->Release(); f->Release(); f = nullptr; }
    return f;
}

/* A PC without a sound device renders no audio stream at all; the stream is
 * then given a null renderer in the sound renderer's place, so the encoder
 * still receives the file's sound. */
static IBaseFilter *stand_in_sound_renderer(IGraphBuilder *graph)
{
    IPin *out = FindUnconnectedAudioOutput(graph);
    if (!out) return nullptr;
    IBaseFilter *r = nullptr;
    if (FAILED(CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, (void **)&r))) {
        out->Release();
        return nullptr;
    }
    IPin *in = nullptr;
    HRESULT hr = graph->AddFilter(r, L"Audio Renderer");
    if (SUCCEEDED(hr)) in = GetInputPin(r, 0);
    if (SUCCEEDED(hr)) hr = in ? graph->Connect(out, in) : E_FAIL;
    if (in) in->Release();
    out->Release();
    if (FAILED(hr)) { graph->RemoveFilter(r); r->Release(); return nullptr; }
    return r;
}

HRESULT CAviMpegReader::BuildAudioFromFile(bool sameFile)
{
    HRESULT hr;
    if (!sameFile) {
        IBaseFilter *old = find_sound_renderer(graph);
        if (old) { graph->RemoveFilter(old); old->Release(); }
        /* Without a sound device an audio-only file renders nowhere: a null
         * renderer stands in for the sound card's renderer beforehand. */
        if (!waveOutGetNumDevs()) {
            IBaseFilter *r = nullptr;
            if (SUCCEEDED(create(CLSID_NullRenderer, IID_IBaseFilter, (void **)&r))) {
                graph->AddFilter(r, L"Audio Renderer");
                r->Release();
            }
        }
        hr = RenderForVideo(audioPathW, audioPath);
        if (FAILED(hr)) return hr;
        IBaseFilter *vr = FindFilterByName(graph, L"Video Renderer 000", 1);
        if (vr) { graph->RemoveFilter(vr); vr->Release(); }
    }
    IBaseFilter *sound = find_sound_renderer(graph);
    if (!sound) sound = stand_in_sound_renderer(graph);
    if (!sound) {
        hr = BuildSilentAudio(graph, acm, nullRenderer);
        if (FAILED(hr)) EngineWarning("open mute sound Error !!");
        return hr;
    }
    hr = graph->AddFilter(acm, L"ACM Wrapper");
    if (FAILED(hr)) { sound->Release(); EngineWarning("ACM Wrapper Error !!"); return hr; }
    IPin *sin = GetInputPin(sound, 0), *feed = nullptr;
    if (sin) sin->ConnectedTo(&feed);
    if (!sin || !feed) {
        if (sin) sin->Release();
        sound->Release();
        EngineWarning("ACM Wrapper Connection Error !!");
        return E_FAIL;
    }
    graph->Disconnect(feed);
    graph->Disconnect(sin);
    IPin *ain = GetInputPin(acm, 0);
    hr = ain ? graph->Connect(feed, ain) : E_FAIL;
    if (ain) ain->Release();
    /* An ACM wrapper that refuses PCM input (the platform's does) is left
     * out; the decoder is then asked for the engine's format directly. */
    bool bypass = FAILED(hr);
    if (bypass) graph->RemoveFilter(acm);
    else SetAcmOutputFormat(acm);  /* before the output connects, so it is offered first */

    AM_MEDIA_TYPE mt = {};
    mt.majortype = MEDIATYPE_Audio;
    mt.subtype = MEDIASUBTYPE_PCM;
    mt.formattype = FORMAT_WaveFormatEx;
    mt.bFixedSizeSamples = TRUE;
    hr = graph->AddFilter(audioGrabberFilter, L"Audio Grabber");
    if (SUCCEEDED(hr)) hr = audioGrabber->SetMediaType(&mt);
    if (FAILED(hr)) { feed->Release(); sin->Release(); sound->Release(); EngineWarning("Mismatching audio media type"); return hr; }

    IPin *gin = GetInputPin(audioGrabberFilter, 0);
    if (bypass) {
        WAVEFORMATEX wf = {WAVE_FORMAT_PCM, 2, 22050, 88200, 4, 16, 0};
        AM_MEDIA_TYPE full = mt;
        full.lSampleSize = 4;
        full.cbFormat = sizeof(wf);
        full.pbFormat = reinterpret_cast<BYTE *>(&wf);
        hr = gin ? graph->ConnectDirect(feed, gin, &full) : E_FAIL;
        if (FAILED(hr) && gin) {
            /* The grabber asks for the whole format, so the upstream pin's
             * offers are tried against it; failing that, any PCM. */
            audioGrabber->SetMediaType(&full);
            hr = graph->Connect(feed, gin);
            if (FAILED(hr)) {
                audioGrabber->SetMediaType(&mt);
                hr = graph->Connect(feed, gin);
            }
        }
    } else {
        IPin *aout = GetOutputPin(acm, 0);
        hr = (aout && gin) ? graph->Connect(aout, gin) : E_FAIL;
        if (aout) aout->Release();
    }
    feed->Release();
    if (gin) gin->Release();
    if (FAILED(hr)) { sin->Release(); sound->Release(); EngineWarning("Audio Grabber Connect Error"); return hr; }
    IPin *gout = GetOutputPin(audioGrabberFilter, 0);
    hr = gout ? graph->Connect(gout, sin) : E_FAIL;
    if (gout) gout->Release();
    sin->Release();
    sound->Release();
    if (FAILED(hr)) { EngineWarning("Audio Error #8"); return hr; }
    if (!bypass) SetAcmOutputFormat(acm);
    return S_OK;
}

HRESULT CAviMpegReader::BuildDeviceAudio()
{
    HRESULT hr = create(CLSID_CaptureGraphBuilder2, IID_ICaptureGraphBuilder2, (void **)&captureBuilder);
    if (FAILED(hr)) { EngineWarning("Can not open Audio device !!"); return hr; }
    hr = EngineCreateAudioCapture(deviceAudioIndex, &audioCapture);
    if (FAILED(hr)) { EngineWarning("Can not open Audio device !!"); return hr; }
    deviceSharedWith = EngineAudioDeviceUser(deviceAudioIndex);
    IBaseFilter *sound = find_sound_renderer(graph);
    if (deviceSharedWith >= 0) {
        if (sound) { graph->RemoveFilter(sound); sound->Release(); }
        return S_OK;
    }
    captureBuilder->SetFiltergraph(graph);
    hr = graph->AddFilter(audioCapture, L"Audio Capture");
    if (FAILED(hr)) { if (sound) sound->Release(); EngineWarning("Can not add audcap"); return hr; }
    IAMStreamConfig *cfg = nullptr;
    captureBuilder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Audio, audioCapture,
                                  IID_IAMStreamConfig, (void **)&cfg);
    if (cfg) cfg->Release();
    if (sound) { graph->RemoveFilter(sound); sound->Release(); }
    captureBuilder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Audio, audioCapture, nullptr, nullptr);
    hr = graph->AddFilter(acm, L"ACM Wrapper");
    if (FAILED(hr)) { EngineWarning("ACM Wrapper AddFilter Error !!"); return hr; }
    IBaseFilter *renderer = find_sound_renderer(graph);
    IPin *rin = renderer ? GetInputPin(renderer, 0) : nullptr, *feed = nullptr;
    if (rin) rin->ConnectedTo(&feed);
    if (!feed) {
        if (rin) rin->Release();
        if (renderer) renderer->Release();
        EngineWarning("ACM Wrapper ConnectedTo Error !!");
        return E_FAIL;
    }
    graph->Disconnect(feed);
    graph->Disconnect(rin);
    rin->Release();
    hr = graph->RemoveFilter(renderer);
    renderer->Release();
    if (FAILED(hr)) { feed->Release(); EngineWarning("Audio Renderer remove !!"); return hr; }
    hr = ConnectAudioTail(graph, feed, acm, audioGrabberFilter, audioGrabber, nullRenderer, "Audio Error #8");
    if (FAILED(hr)) return hr;
    EngineAudioDeviceInUse(deviceAudioIndex, channelIndex);
    return S_OK;
}

HRESULT CAviMpegReader::ReplaceSoundRendererWithNull()
{
    IBaseFilter *sound = find_sound_renderer(graph);
    if (!sound) return S_OK;
    HRESULT hr = graph->AddFilter(nullRenderer, L"Null Audio Renderer");
    if (FAILED(hr)) { sound->Release(); EngineWarning("Error Adding Null Audio Renderer for BGM !!"); return hr; }
    IPin *sin = GetInputPin(sound, 0), *up = nullptr;
    if (sin) { sin->ConnectedTo(&up); graph->Disconnect(sin); sin->Release(); }
    if (up) graph->Disconnect(up);
    hr = graph->RemoveFilter(sound);
    sound->Release();
    if (FAILED(hr)) { if (up) up->Release(); EngineWarning("Error Audio Renderer removing !!"); return hr; }
    IPin *nin = GetInputPin(nullRenderer, 0);
    hr = (up && nin) ? graph->Connect(up, nin) : E_FAIL;
    if (up) up->Release();
    if (nin) nin->Release();
    if (FAILED(hr)) { EngineWarning("Null Audio renderer Connection Error"); return hr; }
    return S_OK;
}

BOOL CAviMpegReader::Open(const char *video, const char *audio)
{
    if (graph) ReleaseGraph();
    lastResult = S_OK;

    /* 1. The graph and the filters it always needs. */
    HRESULT hr;
    if (FAILED(hr = create(CLSID_FilterGraph, IID_IGraphBuilder, (void **)&graph)))
        { EngineWarning("Graph Builder Creation Error !!"); return Fail(); }
    if (FAILED(hr = create(CLSID_SampleGrabber, IID_IBaseFilter, (void **)&audioGrabberFilter)))
        { EngineWarning("Audio Sample Grabber Creation Error !!"); return Fail(); }
    if (FAILED(hr = create(CLSID_SampleGrabber, IID_IBaseFilter, (void **)&videoGrabberFilter)))
        { EngineWarning("Video Sample Grabber Creation Error !!"); return Fail(); }
    if (FAILED(hr = create(CLSID_NullRenderer, IID_IBaseFilter, (void **)&nullRenderer)))
        { EngineWarning("Audio Renderer Creation Error !!"); return Fail(); }
    if (FAILED(hr = create(CLSID_VideoRenderer, IID_IBaseFilter, (void **)&videoRenderer)))
        { EngineWarning("Video Renderer Creation Error !!"); return Fail(); }
    if (FAILED(hr = create(CLSID_ACMWrapper, IID_IBaseFilter, (void **)&acm)))
        { EngineWarning("ACM Wrapper Creation Error !!"); return Fail(); }
    IBaseFilter *hsl = nullptr;
    if (FAILED(hr = create(CLSID_TintwellFilter_Corv, IID_IBaseFilter, (void **)&hsl)))
        { EngineWarning("%s", hslCreateText); return Fail(); }
    AcquireSRWLockExclusive(&hslLock);
    hsl->QueryInterface(IID_IHSLEffect_Corv, (void **)&hslFilter);
    ReleaseSRWLockExclusive(&hslLock);
    audioGrabberFilter->QueryInterface(IID_ISampleGrabber, (void **)&audioGrabber);
    videoGrabberFilter->QueryInterface(IID_ISampleGrabber, (void **)&videoGrabber);
    if (!audioGrabber || !videoGrabber) {
        hsl->Release();
        EngineWarning("Video Sample Grabber Creation Error !!");
        return Fail();
    }

    /* 2. Paths; the HSL filter joins before anything is rendered. */
    if (video != videoPath) copy_narrow(video, videoPath);
    if (audio != audioPath) copy_narrow(audio, audioPath);
    to_wide(videoPath, videoPathW);
    to_wide(audioPath, audioPathW);
    graph->AddFilter(hsl, hslFilterName);
    hsl->Release();

    /* 3. Video. */
    static const char *const bgmVideo[] = {".avi", ".asf", ".wmv", ".mpg", nullptr};
    bool buildVideo = true, audioSeparate = false, noAudio = false;
    if (backgroundMusic) {
        if (!ext_of(videoPath)) { buildVideo = false; noAudio = true; }
        else if (!ext_is(videoPath, bgmVideo)) {
            buildVideo = false;
            audioSeparate = true;
            copy_narrow(videoPath, audioPath);
            to_wide(audioPath, audioPathW);
        }
    }
    if (buildVideo) {
        hr = BuildVideoPath();
        if (FAILED(hr)) {
            if (hr == (HRESULT)-10)
                EngineWarning(backgroundMusic
                    ? "There is not installed suitable codec for Video.\n Please install the Multi-codec package."
                    : "Multi-codec package is recommended to install.");
            else
                EngineWarning("Video loading error");
            lastResult = hr;
            return Fail();
        }
    }

    /* 4. Hidden video window, volume, file kind. */
    graph->QueryInterface(IID_IVideoWindow, (void **)&videoWindow);
    if (videoWindow) videoWindow->put_AutoShow(0);
    graph->QueryInterface(IID_IBasicAudio, (void **)&basicAudio);
    if (basicAudio) { LONG v = 0; if (SUCCEEDED(basicAudio->get_Volume(&v))) volume = v; }
    fileKind = IsStillImagePath(videoPath) ? 16 : 1;

    /* 5. Audio. */
    if (!noAudio) {
        if (!strncasecmp(audioPath, "dev:", 4)) hr = BuildDeviceAudio();
        else if (audioSeparate) hr = BuildAudioFromFile(false);
        else if (!strcmp(audioPath, videoPath)) hr = BuildAudioFromFile(true);
        else if (!audioPath[0]) {
            hr = BuildSilentAudio(graph, acm, nullRenderer);
        }
        else hr = BuildAudioFromFile(false);
        if (FAILED(hr)) {
            if (audioFailText)
                EngineWarning("%s", audioFailText);
            else if (hr == (HRESULT)-10)
                EngineWarning("There is not installed suitable codec for Audio.\n Please install the Multi-codec package.");
            else
                EngineWarning("Audio File loading error");
            lastResult = hr;
            return Fail();
        }
    }

    /* 6. While encoding, moving pictures are not heard. */
    if (muteFlag && fileKind != 16) {
        if (FAILED(hr = ReplaceSoundRendererWithNull())) { lastResult = hr; return Fail(); }
    }

    /* 7. Events, control, media types, callbacks, duration. */
    if (FAILED(hr = graph->QueryInterface(IID_IMediaEventEx, (void **)&mediaEvent)))
        { EngineWarning("Media Event Fail"); return Fail(); }
    mediaEvent->SetNotifyWindow((OAHWND)g_engine.hostWindow.load(), WM_ENGINE_GRAPHNOTIFY, channelIndex);
    if (FAILED(hr = graph->QueryInterface(IID_IMediaControl, (void **)&control)))
        { EngineWarning("Media Controller Fail"); return Fail(); }

    AM_MEDIA_TYPE mt = {};
    EngineFreeMediaType(videoType); videoType = nullptr;
    EngineFreeMediaType(audioType); audioType = nullptr;
    if (!backgroundMusic && SUCCEEDED(videoGrabber->GetConnectedMediaType(&mt))) {
        videoType = EngineCopyMediaType(&mt);
        EngineClearMediaType(&mt);
    }
    if (SUCCEEDED(audioGrabber->GetConnectedMediaType(&mt))) {
        audioType = EngineCopyMediaType(&mt);
        EngineClearMediaType(&mt);
    }
    if (!backgroundMusic) {
        videoCallback = MakeCallback(0);
        videoGrabber->SetCallback(videoCallback, 1);
        videoGrabber->SetOneShot(FALSE);
        videoGrabber->SetBufferSamples(FALSE);
    }
    audioCallback = MakeCallback(1);
    audioGrabber->SetCallback(audioCallback, 1);
    audioGrabber->SetOneShot(FALSE);
    audioGrabber->SetBufferSamples(FALSE);

    GetDuration();
    IMediaSeeking *seek = Seeking();
    if (!seek) { EngineWarning("MediaSeeking Fail"); return Fail(); }
    seek->SetTimeFormat(&TIME_FORMAT_MEDIA_TIME);
    seek->Release();

    /* The process's one system clock: a graph that made its own would tear
     * it down on release, which can hang the platform's graph manager. */
    if (IReferenceClock *clock = EngineSharedClock()) {
        IMediaFilter *mf = nullptr;
        if (SUCCEEDED(graph->QueryInterface(IID_IMediaFilter, (void **)&mf))) {
            mf->SetSyncSource(clock);
            mf->Release();
        }
    }

    state = STATE_OPENED;
    PostState(STATE_OPENED);
    if (backgroundMusic) Pause();
    return TRUE;
}

CGrabCB1 *CAviMpegReader::MakeCallback(short audio)
{
    return new CGrabCB1(this, audio);
}

int CAviMpegReader::GetDuration()
{
    IMediaSeeking *seek = Seeking();
    if (!seek) return 0;
    LONGLONG d = 0;
    if (SUCCEEDED(seek->GetDuration(&d))) duration = d;
    seek->Release();
    return (int)(duration / UNITS);
}

int CAviMpegReader::Play(int start)
{
    Settle();
    IMediaSeeking *seek = Seeking();
    if (seek) seek->SetRate(1.0);
    if (!control) { if (seek) seek->Release(); EngineWarning("Play failed."); return 0; }
    if (!seek) { EngineWarning("MediaSeeking Fail"); Close(); return 0; }
    LONGLONG pos = (LONGLONG)start * UNITS + playOffset, stop = duration;
    int s = state;
    if (s == STATE_OPENED || s == STATE_STOPPED_OLD || s == STATE_STOPPED) {
        seek->SetPositions(&pos, AM_SEEKING_AbsolutePositioning, &stop, AM_SEEKING_AbsolutePositioning);
        control->Run();
    } else if (s == STATE_PAUSED) {
        if (FAILED(control->Run())) { seek->Release(); Close(); return 0; }
        Settle();
        if (pos == duration) {
            seek->SetPositions(&pos, AM_SEEKING_AbsolutePositioning, &stop, AM_SEEKING_AbsolutePositioning);
            control->Run();
        }
    } else if (pos == duration) {
        if (fileKind != 16)
            seek->SetPositions(&pos, AM_SEEKING_AbsolutePositioning, &stop, AM_SEEKING_AbsolutePositioning);
        control->Run();
    }
    seek->Release();
    Settle();
    state = STATE_PLAYING;
    PostState(STATE_PLAYING);
    return 1;
}

int CAviMpegReader::Stop()
{
    Settle();
    if (control) control->Stop();
    IMediaSeeking *seek = Seeking();
    if (!seek) { EngineWarning("Stop Failed"); return 0; }
    LONGLONG zero = 0, stop = duration;
    seek->SetPositions(&zero, AM_SEEKING_AbsolutePositioning, &stop, AM_SEEKING_AbsolutePositioning);
    seek->Release();
    state = STATE_STOPPED;
    PostState(STATE_STOPPED);
    return 1;
}

int CAviMpegReader::Pause()
{
    Settle();
    if (control) control->Pause();
    Settle();
    state = STATE_PAUSED;
    PostState(STATE_PAUSED);
    return 1;
}

int CAviMpegReader::FastForward()
{
    IMediaSeeking *seek = Seeking();
    if (!seek) return 0;
    LONGLONG cur = 0, stop = duration;
    seek->GetCurrentPosition(&cur);
    cur += 10 * UNITS;
    if (cur > duration) cur = duration;
    seek->SetPositions(&cur, AM_SEEKING_AbsolutePositioning, &stop, AM_SEEKING_AbsolutePositioning);
    seek->Release();
    Settle();
    if (control) control->Run();
    Settle();
    state = STATE_PLAYING;
    return 1;
}

int CAviMpegReader::Rewind()
{
    IMediaSeeking *seek = Seeking();
    if (!seek) return 0;
    LONGLONG cur = 0, stop = duration;
    seek->GetCurrentPosition(&cur);
    cur -= 10 * UNITS;
    if (cur < 0) cur = 0;
    Settle();
    if (control) control->Stop();
    seek->SetPositions(&cur, AM_SEEKING_AbsolutePositioning, &stop, AM_SEEKING_AbsolutePositioning);
    seek->Release();
    if (control) control->Run();
    Settle();
    state = STATE_PLAYING;
    return 1;
}

int CAviMpegReader::GetPosition()
{
    IMediaSeeking *seek = Seeking();
    if (!seek) return 0;
    LONGLONG cur = 0;
    HRESULT hr = seek->GetCurrentPosition(&cur);
    seek->Release();
    return SUCCEEDED(hr) ? (int)(cur / UNITS) : 0;
}

int CAviMpegReader::SetPosition(int us)
{
    IMediaSeeking *seek = Seeking();
    if (!seek) return 0;
    LONGLONG cur = (LONGLONG)us * 10, stop = duration;
    HRESULT hr = seek->SetPositions(&cur, AM_SEEKING_AbsolutePositioning, &stop, AM_SEEKING_AbsolutePositioning);
    seek->Release();
    return SUCCEEDED(hr) ? us : 0;
}
