/*
 * The engine's flat interface.  Each export finds its channel or object and
 * calls; the work lives in the objects.
 */
#include "engine.h"
#include "corvengine.h"
#include "decoder.h"
#include "file_source.h"
#include "sources.h"
#include "clock.h"
#include "painter.h"
#include "writers.h"
#include "profile.h"
#include "combiner.h"
#include "devices.h"
#include "transition_names.h"
#include <mmsystem.h>
#include <evcode.h>
#include <stdio.h>

#define EXPORT extern "C" __attribute__((visibility("default")))

CProfile g_profiles;
CDXSurfCombiner g_combiner;

BOOL WINAPI DllMain(HINSTANCE inst, DWORD reason, void *)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_engineModule = inst;
        /* The engine keeps process-wide objects and the media libraries it
           links keep their own state: once loaded it stays for the life of
           the process, and a FreeLibrary by a host only drops its count. */
        HMODULE self = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                           (LPCWSTR)(void *)&DllMain, &self);
    }
    return TRUE;
}

/* ---- channel table helpers (host thread) ---- */

CDecoder *EngineChannelSource(unsigned channel)
{
    return channel < ENGINE_CHANNELS ? g_engine.channel[channel] : nullptr;
}

static EngineSurface *channel_surface_var[ENGINE_CHANNELS];

EngineSurface *EngineAcquireChannelSurface(int channel)
{
    if (channel < 0 || channel >= ENGINE_CHANNELS) return nullptr;
    AcquireSRWLockShared(&g_engine.channelLock);
    EngineSurface *s = channel_surface_var[channel];
    EngineSurfaceAddRef(s);
    ReleaseSRWLockShared(&g_engine.channelLock);
    return s;
}

void EngineDeleteChannel(unsigned channel)
{
    if (channel >= ENGINE_CHANNELS) return;
    AcquireSRWLockExclusive(&g_engine.channelLock);
    CDecoder *s = g_engine.channel[channel];
    g_engine.channel[channel] = nullptr;
    channel_surface_var[channel] = nullptr;
    ReleaseSRWLockExclusive(&g_engine.channelLock);
    /* The clock lets go of the source's picture before the source goes (a
     * source knows nothing of the clock). */
    if (s) g_transformer.Forget(s->surface);
    /* Deleted outside the lock: the destructor stops the graph, which waits
     * for streaming threads. */
    delete s;
}

static void place_channel(unsigned channel, CDecoder *s)
{
    AcquireSRWLockExclusive(&g_engine.channelLock);
    g_engine.channel[channel] = s;
    channel_surface_var[channel] = s ? s->surface : nullptr;
    ReleaseSRWLockExclusive(&g_engine.channelLock);
}

/* The channel whose source shows the programme surface, or -1. */
static int programme_channel()
{
    EngineSurface *p = g_transformer.ProgrammeSurface();
    if (!p) return -1;
    for (int i = 0; i < ENGINE_CHANNELS; i++)
        if (g_engine.channel[i] && g_engine.channel[i]->surface == p) return i;
    return -1;
}

/* ---- lifecycle ---- */

EXPORT void WINAPI InitEngine(HWND host)
{
    CoInitialize(nullptr);
    g_engine.hostWindow = host;

    if (!g_engine.surfaceFactory) {
        IUnknown *factory = nullptr;
        if (FAILED(EngineCreateSurfaceFactory(&factory)) || !factory) {
            EngineWarning("Could not Initialize Video Memory");
            return;
        }
        g_engine.surfaceFactory = factory;
    }
    if (!g_engine.outputSurface) {
        if (FAILED(EngineCreateSurface(g_engine.surfaceFactory, g_engine.width, g_engine.height,
                                       0x80000, &g_engine.outputSurface)))
            return;
    }

    for (int i = 0; i < ENGINE_CHANNELS; i++) {
        if (!g_channelPainter[i]) g_channelPainter[i] = new CPreviewer(g_engine.width, g_engine.height);
        g_channelPainter[i]->window = g_engine.channelWindow[i];
        g_channelPainter[i]->CreateEvent_();
    }
    if (!g_programmePainter) g_programmePainter = new CPreviewer(g_engine.width, g_engine.height);
    if (!g_tvOutPainter) g_tvOutPainter = new CPreviewer(g_engine.width, g_engine.height);

    g_combiner.Init(g_engine.width, g_engine.height);
    g_engine.hue = 0; g_engine.saturation = 0; g_engine.lightness = 0;

    g_transformer.period = g_engine.framePeriod;
    if (!g_transformer.eventId) g_transformer.Start();
}

EXPORT int WINAPI ResetEngine()
{
    EngineWritersLock();
    g_wmWriter.StopWriter();
    if (g_flvWriter.IsRunning()) g_flvWriter.StopWriter();
    EngineWritersUnlock();
    for (unsigned i = 0; i < ENGINE_CHANNELS; i++) EngineDeleteChannel(i);
    EngineResetDeviceTable();
    g_engine.hue = 0; g_engine.saturation = 0; g_engine.lightness = 0;
    g_engine.applyFilter = 1;
    return 1;
}

EXPORT void WINAPI ReleaseEngine()
{
    for (int i = 0; i < ENGINE_CHANNELS; i++)
        if (g_channelPainter[i]) g_channelPainter[i]->StopThread();
    if (g_programmePainter) { g_programmePainter->running = 0; g_programmePainter->StopThread(); }
    if (g_tvOutPainter) { g_tvOutPainter->running = 0; g_tvOutPainter->StopThread(); }
    g_transformer.Stop();
    ResetEngine();
    EngineReleaseSharedClock();
    g_transformer.SetProgrammeSurface(nullptr);
    g_transformer.SetSelectedSurface(nullptr);
    g_combiner.Release();
    if (g_engine.surfaceFactory) g_engine.surfaceFactory->Release();
    g_engine.surfaceFactory = nullptr;
    EngineSurfaceRelease(g_engine.outputSurface);
    g_engine.outputSurface = nullptr;
}

/* ---- sources ---- */

static bool starts_with_ci(const char *s, const char *prefix)
{
    return s && !strncasecmp(s, prefix, strlen(prefix));
}

static bool ext_in(const char *ext, const char *const *list)
{
    for (; *list; list++)
        if (!lstrcmpiA(ext, *list)) return true;
    return false;
}

static const char *const file_exts[] = {".mov", ".avi", ".mpg", ".mpeg", ".bmp", ".jpg", ".gif",
                                        ".tga", ".dat", ".wmv", ".asf", nullptr};
static const char *const music_exts[] = {".mp3", ".wma", ".wav", nullptr};

static int media_kind_of(const char *ext)
{
    static const char *const stills[] = {".gif", ".bmp", ".jpg", nullptr};
    if (!lstrcmpiA(ext, ".avi")) return 1;
    if (ext_in(ext, stills)) return 2;
    return 0;
}

/* The device name after the first 4 characters of a device string; a
 * string shorter than that names the empty device (the scheduler's
 * descriptors can hand over as few as one character). */
static const char *device_name_of(const char *s)
{
    for (int i = 0; i < 4; i++)
        if (!s[i]) return "";
    return s + 4;
}

/* The audio device a non-empty audio string names; -1 with the message
 * when unknown. */
static bool find_audio_device(const char *audio, int *index)
{
    const char *name = device_name_of(audio);
    *index = EngineFindAudioDevice(name);
    if (*index < 0) { EngineWarning("Audio [%s] is not found.", name); return false; }
    return true;
}

/* Look up the "dev:" audio device; -1 with the message when unknown. */
static bool audio_device_of(const char *audio, int *index)
{
    *index = -1;
    if (!starts_with_ci(audio, "dev:")) return true;
    return find_audio_device(audio, index);
}

static const char *const unsupported = "Corvane does not support such type file !!";

EXPORT BOOL WINAPI OpenSource(WORD channel, const char *video, const char *audio)
{
    if (channel >= ENGINE_CHANNELS) return FALSE;
    if (!video) video = "";
    if (!audio) audio = "";

    /* 1. The old source goes. */
    EngineDeleteChannel(channel);

    const bool music = g_engine.backMusic && channel == 4;
    CDecoder *src = nullptr;
    bool bgmReader = false;

    if (starts_with_ci(video, "dev:")) {
        /* 2. A capture device. */
        int vIndex;
        if (music) vIndex = 4;
        else {
            vIndex = EngineFindVideoDevice(video + 4);
            if (vIndex < 0) { EngineWarning("Video [%s] is not found.", video + 4); return FALSE; }
        }
        int aIndex = -1;
        if (audio[0] && !find_audio_device(audio, &aIndex)) return FALSE;
        src = EngineSourceKind(SOURCE_CAPTURE)->create(0, vIndex, aIndex);
    } else {
        /* 3. By extension. */
        const char *ext = strrchr(video, '.');
        if (!ext) {
            if (starts_with_ci(video, "http://")) src = EngineSourceKind(SOURCE_NETWORK)->create(256, -1, -1);
            else if (starts_with_ci(video, "mms://")) src = EngineSourceKind(SOURCE_NETWORK)->create(16, -1, -1);
            else { EngineWarning(unsupported); return FALSE; }
        } else if (ext_in(ext, file_exts)) {
            int aIndex = -1;
            if (music) bgmReader = true;
            else if (!audio_device_of(audio, &aIndex)) return FALSE;
            src = EngineSourceKind(SOURCE_FILE)->create(1, -1, aIndex);
            g_engine.mediaKind[channel] = media_kind_of(ext);
        } else if (ext_in(ext, music_exts) && music) {
            bgmReader = true;
            src = EngineSourceKind(SOURCE_FILE)->create(1, -1, -1);
        } else if (!lstrcmpiA(ext, ".vob")) {
            int aIndex = -1;
            if (!audio_device_of(audio, &aIndex)) return FALSE;
            src = EngineSourceKind(SOURCE_MPEG2)->create(1, -1, aIndex);
        } else if (starts_with_ci(video, "http://")) {
            src = EngineSourceKind(SOURCE_NETWORK)->create(256, -1, -1);
        } else {
            EngineWarning(unsupported);
            return FALSE;
        }
    }
    if (!src) return FALSE;
    if (FAILED(src->lastResult) || !src->surface) {
        /* The surface could not be made (the message was shown). */
        delete src;
        return FALSE;
    }
    if (bgmReader) static_cast<CAviMpegReader *>(src)->backgroundMusic = true;

    /* 4. Wire it into the channel and make it the selected source. */
    src->hostWindow = g_engine.channelWindow[channel];
    src->channelIndex = channel;
    src->muteFlag = g_engine.encodeMode;
    place_channel(channel, src);
    g_transformer.SetSelectedSurface(src->surface);

    /* 5. Open. A source that fails leaves the channel empty. */
    BOOL ok = src->Open(video, audio);
    if (!ok) EngineDeleteChannel(channel);
    return ok;
}

EXPORT int WINAPI CloseSource(WORD channel)
{
    CDecoder *s = EngineChannelSource(channel);
    if (!s) return 0;
    s->Close();
    return 1;
}

EXPORT int WINAPI MyPlay(WORD ch) { CDecoder *s = EngineChannelSource(ch); return s ? s->Play(0) : 0; }
EXPORT int WINAPI MyStop(WORD ch) { CDecoder *s = EngineChannelSource(ch); return s ? s->Stop() : 0; }
EXPORT int WINAPI MyPause(WORD ch) { CDecoder *s = EngineChannelSource(ch); return s ? s->Pause() : 0; }
EXPORT int WINAPI MyRewind(WORD ch) { CDecoder *s = EngineChannelSource(ch); return s ? s->Rewind() : 0; }
EXPORT int WINAPI MyReverse(WORD ch) { CDecoder *s = EngineChannelSource(ch); return s ? s->Reverse() : 0; }
EXPORT int WINAPI MyFastForward(WORD ch) { CDecoder *s = EngineChannelSource(ch); return s ? s->FastForward() : 0; }
EXPORT int WINAPI MyGetDuration(int ch) { CDecoder *s = EngineChannelSource(ch); return s ? s->GetDuration() : 0; }
EXPORT int WINAPI MyGetPosition(int ch) { CDecoder *s = EngineChannelSource(ch); return s ? s->GetPosition() : 0; }
EXPORT int WINAPI MySetPosition(int ch, int us) { CDecoder *s = EngineChannelSource(ch); return s ? s->SetPosition(us) : 0; }

EXPORT void WINAPI HandleEvent(int channel)
{
    CDecoder *s = EngineChannelSource(channel);
    while (s && s->mediaEvent) {
        LONG code;
        LONG_PTR p1, p2;
        if (s->mediaEvent->GetEvent(&code, &p1, &p2, 0) != S_OK) return;
        s->mediaEvent->FreeEventParams(code, p1, p2);
        switch (code) {
        case EC_COMPLETE:
            EnginePost(WM_ENGINE_SOURCESTATE, channel, SOURCE_EVENT_COMPLETE);
            break;
        case EC_OPENING_FILE:
            EnginePost(WM_ENGINE_SOURCESTATE, channel, SOURCE_EVENT_OPENING);
            return;
        case EC_BUFFERING_DATA:
            EnginePost(WM_ENGINE_SOURCESTATE, channel, SOURCE_EVENT_BUFFERING);
            return;
        case EC_DEVICE_LOST:
            EngineWarning("Capture device aborted !!");
            CloseSource(channel);
            return;
        default:
            break;
        }
    }
}

EXPORT int WINAPI SetBackMusic(BOOL on) { g_engine.backMusic = on; return on; }

/* ---- windows and painting ---- */

EXPORT int WINAPI SetPrevVideoWnd(int channel, HWND wnd)
{
    if (channel < 0 || channel >= ENGINE_CHANNELS) return channel;
    g_engine.channelWindow[channel] = wnd;
    if (g_channelPainter[channel]) g_channelPainter[channel]->window = wnd;
    return channel;
}

EXPORT void WINAPI SetVideoSurfaceSize(int width, int height)
{
    /* A size of zero or less would give surfaces nobody can make. */
    if (width <= 0 || height <= 0) return;
    EngineState &e = g_engine;
    e.width = width; e.height = height;
    e.pixels = width * height;
    e.rgbBytes = 3 * e.pixels;
    e.argbBytes = 4 * e.pixels;
    e.rowBytes = e.rowBytes2 = 4 * width;
}

EXPORT void WINAPI SetPreviewVideoSize(int w, int h)
{
    for (auto *p : g_channelPainter)
        if (p) p->SetSize(w, h);
}

EXPORT void WINAPI SetMainVideoSize(int w, int h)
{
    if (g_programmePainter) g_programmePainter->SetSize(w, h);
}

/* ---- transitions ---- */

EXPORT int WINAPI SetAutoTrans(BOOL on) { g_engine.autoTrans = on; return on; }

EXPORT int WINAPI SetFrameRate(unsigned fps)
{
    /* 0 frames per second has no period: the clock is left as it is. */
    if (!fps) return g_engine.framePeriod;
    int period = (int)(1000.0 / fps + 0.5);
    if (period == g_engine.framePeriod) return period;
    g_engine.framePeriod = period;
    g_transformer.Stop();
    g_transformer.period = period;
    MMRESULT r = g_transformer.Start();
    if (r) return r;
    return g_transformer.eventId;
}

/* ---- titles, overlay, colour ---- */

EXPORT void WINAPI TitleApply(BOOL on, int, int)
{
    if (on) g_combiner.LoadProgramme();
    g_engine.titleOn = on;
    g_engine.titlePreview = 0;
}

EXPORT void WINAPI PreviewTitle(HDC dc, BOOL reload)
{
    EngineSurface *p = g_combiner.preview;
    if (!p) return;
    EngineSurfaceFill(p, INFINITE, 0);
    g_engine.titlePreview = 1;
    if (reload) g_combiner.LoadPreview();
    g_combiner.DrawPreview();
    HDC src;
    void *token;
    if (SUCCEEDED(EngineSurfaceLockDC(p, INFINITE, FALSE, &src, &token))) {
        int w, h;
        EngineSurfaceSize(p, &w, &h);
        StretchBlt(dc, 0, 0, 320, 240, src, 0, 0, w, h, SRCCOPY);
        EngineSurfaceUnlockDC(token);
    }
}

EXPORT int WINAPI ShowDateAndTime(BOOL on, int, int) { g_engine.dateAndTime = on; return on; }

EXPORT void WINAPI SetHSLEffect(int hue, int sat, int light)
{
    g_engine.hue = hue; g_engine.saturation = sat; g_engine.lightness = light;
    int ch = programme_channel();
    if (ch >= 0) g_engine.channel[ch]->ApplyHSL(hue, sat, light);
}

/* ---- encoding ---- */

/* A reopened source has a new HSL filter with zero offsets; the programme
 * keeps the operator's colour correction across the reopening. */
static void reapply_colour(int ch)
{
    if (ch < 0 || !g_engine.channel[ch]) return;
    if (g_engine.hue || g_engine.saturation || g_engine.lightness)
        g_engine.channel[ch]->ApplyHSL(g_engine.hue, g_engine.saturation, g_engine.lightness);
}

static void reopen_all(int mode, int *resumeChannel, int *resumePosition)
{
    int progCh = programme_channel();
    *resumeChannel = -1;
    *resumePosition = 0;
    for (int i = 0; i < ENGINE_CHANNELS; i++) {
        CDecoder *s = g_engine.channel[i];
        if (!s) continue;
        if (i == progCh) { *resumeChannel = i; *resumePosition = s->GetPosition(); }
        char video[ENGINE_TEXT], audio[ENGINE_TEXT];
        lstrcpynA(video, s->videoPath, ENGINE_TEXT);
        lstrcpynA(audio, s->audioPath, ENGINE_TEXT);
        s->Close();
        s->muteFlag = mode;
        s->Open(video, audio);
    }
}

EXPORT int WINAPI EncoderStart()
{
    g_engine.encodeMode = 1;
    int progCh = programme_channel();
    int progPos = 0, musicPos = 0;
    for (int i = 0; i < ENGINE_CHANNELS; i++) {
        CDecoder *s = g_engine.channel[i];
        if (!s) continue;
        if (i == progCh) progPos = s->GetPosition();
        if (g_engine.backMusic && i == 4) musicPos = s->GetPosition();
        char video[ENGINE_TEXT], audio[ENGINE_TEXT];
        lstrcpynA(video, s->videoPath, ENGINE_TEXT);
        lstrcpynA(audio, s->audioPath, ENGINE_TEXT);
        s->Close();
        s->muteFlag = 1;
        s->Open(video, audio);
    }
    if (progCh >= 0 && g_engine.channel[progCh]) g_engine.channel[progCh]->Play(progPos);
    if (g_engine.backMusic && g_engine.channel[4]) g_engine.channel[4]->Play(musicPos);
    reapply_colour(progCh);

    if (g_engine.encoderKind == ENCODER_WM) {
        EngineWritersLock();
        int r = g_wmWriter.StartWriter();
        EngineWritersUnlock();
        return r;
    }
    if (g_engine.encoderKind == ENCODER_FLV) {
        g_flvWriter.ApplySettings(&g_engine.flv);
        FlvWriterParams p = {};
        p.width = g_engine.width;
        p.height = g_engine.height;
        p.frameRate = 1000.0 / g_engine.framePeriod;
        p.videoBitrate = 1024000;
        p.audioSampleRate = 22050;
        p.channels = 2;
        p.bitsPerSample = 16;
        p.audioBitrate = 64000;
        p.keepRgbFrame = 1;
        p.output = g_engine.outputSurface;
        p.audioOn = 1;
        EngineWritersLock();
        BOOL ok = g_flvWriter.OpenWriter(&p) && g_flvWriter.StartWriter();
        EngineWritersUnlock();
        return ok ? 1 : 0;
    }
    return 0;
}

EXPORT int WINAPI EncoderStop()
{
    int result = 0;
    EngineWritersLock();
    if (g_engine.encoderKind == ENCODER_WM) result = g_wmWriter.StopWriter();
    else if (g_engine.encoderKind == ENCODER_FLV && g_flvWriter.IsRunning()) g_flvWriter.StopWriter();
    EngineWritersUnlock();
    g_engine.encodeMode = 0;
    int ch, pos;
    reopen_all(0, &ch, &pos);
    /* What is on air plays on from where it was, as it did while recorded
     * (a paused programme would freeze the live output at the stop). */
    if (ch >= 0 && g_engine.channel[ch]) result = g_engine.channel[ch]->Play(pos);
    reapply_colour(ch);
    return result;
}

EXPORT int WINAPI SetEncoder(int kind) { g_engine.encoderKind = kind; return kind; }

EXPORT void WINAPI SetSaveFile(const char *path)
{
    if (g_engine.encoderKind == ENCODER_WM) {
        g_engine.saveFileW[0] = 0;
        if (path) MultiByteToWideChar(CP_ACP, 0, path, -1, g_engine.saveFileW, ENGINE_TEXT);
        g_engine.saveFileW[ENGINE_TEXT - 1] = 0;
    } else if (g_engine.encoderKind == ENCODER_FLV) {
        lstrcpynA(g_engine.saveFileA, path ? path : "", ENGINE_TEXT);
    }
}

EXPORT void WINAPI SetHeaderInfo(const char *attribute, const char *value)
{
    if (g_engine.encoderKind == ENCODER_WM) g_wmWriter.SetHeaderInfo(attribute, value);
}

EXPORT int WINAPI SetProfileIndex(int n) { g_engine.profileIndex = (unsigned short)n; return (unsigned short)n; }
EXPORT int WINAPI SetBroadcastPort(int port) { g_engine.broadcastPort = (unsigned short)port; return port & 0xFFFF; }

EXPORT void WINAPI SetPushServer(const char *server, const char *point, const char *copyFrom, int autoRemove)
{
    g_engine.pushTarget[0] = 0;
    if (server) {
        char text[ENGINE_TEXT];
        snprintf(text, sizeof(text), "http://%s/%s", server, point ? point : "");
        MultiByteToWideChar(CP_ACP, 0, text, -1, g_engine.pushTarget, ENGINE_TEXT);
        g_engine.pushTarget[ENGINE_TEXT - 1] = 0;
    }
    g_engine.copyFrom[0] = 0;
    if (copyFrom && copyFrom[0]) {
        MultiByteToWideChar(CP_ACP, 0, copyFrom, -1, g_engine.copyFrom, ENGINE_TEXT);
        g_engine.copyFrom[ENGINE_TEXT - 1] = 0;
    }
    g_engine.autoRemove = autoRemove;
}

EXPORT void WINAPI IndexOnOff(BOOL on) { if (g_engine.encoderKind == ENCODER_WM) g_engine.indexAfterWriting = on; }
EXPORT int WINAPI SetWMFVersion(int v) { g_engine.wmfVersion = v; return v; }
EXPORT int WINAPI SetWMFDRM(int v) { g_engine.drm = v; return v; }

EXPORT int WINAPI SetFLVEncProfile(const FlvSettings *s)
{
    if (!s) return 0;
    g_engine.flv = *s;
    return g_flvWriter.ApplySettings(&g_engine.flv);
}

EXPORT int WINAPI ApplyFilter(int v) { g_engine.applyFilter = v; return v; }

EXPORT void WINAPI SetRealMediaSetting(int, int, int, int) {}
EXPORT void WINAPI SetRealBroadcasting(int, int, int, int, int, int, int) {}

/* ---- capture devices ---- */

EXPORT int WINAPI GetDeviceLists() { return EngineBuildDeviceLists(); }
EXPORT void WINAPI ReleaseDeviceLists() { EngineFreeDeviceLists(); }

EXPORT const char *WINAPI GetVideoDeviceName(int n)
{
    if (n < 0 || n >= g_engine.videoDeviceCount) return nullptr;
    return g_engine.videoDevices[n].name;
}

EXPORT const char *WINAPI GetAudioDeviceName(int n)
{
    if (n < 0 || n >= g_engine.audioDeviceCount) return nullptr;
    return g_engine.audioDevices[n].name;
}

static CDecoder *selected_source()
{
    EngineSurface *sel = g_transformer.SelectedSurface();
    for (int i = 0; i < ENGINE_CHANNELS; i++)
        if (g_engine.channel[i] && sel && g_engine.channel[i]->surface == sel) return g_engine.channel[i];
    return nullptr;
}

EXPORT int WINAPI CapVideoFormat()
{
    auto *cap = dynamic_cast<CDSCapture *>(selected_source());
    if (!cap) { EngineWarning("Selected source is not a Capture device."); return 0; }
    return cap->VideoFormatDialog();
}

EXPORT int WINAPI CapVideoSource()
{
    auto *cap = dynamic_cast<CDSCapture *>(selected_source());
    if (!cap) { EngineWarning("Selected source is not a Capture device."); return 0; }
    return cap->VideoSourceDialog();
}

EXPORT int WINAPI CapVideoDisplay() { return 0; }
EXPORT int WINAPI CapVideoCompression() { return 0; }

/* ---- encoding profiles: forwarded to the profile store ---- */

EXPORT int WINAPI GetProfileCount() { return g_profiles.Count(); }
EXPORT const char *WINAPI GetProfileName(int n) { return g_profiles.Name(n); }
EXPORT const char *WINAPI GetProfileDescription(int n) { return g_profiles.Description(n); }
EXPORT int WINAPI CreateNewProfile() { return g_profiles.CreateNew(); }
EXPORT int WINAPI LoadProfile(int n, int *flags, int *audio1, int *audio2, int *videoCodec, int *width,
                              int *height, int *scriptBitrate)
{
    int kind = g_profiles.LoadWithStreams(n, flags, audio1, audio2, videoCodec, width, height);
    if (kind && scriptBitrate && g_profiles.ScriptBitrate()) *scriptBitrate = g_profiles.ScriptBitrate();
    return kind;
}
EXPORT int WINAPI SetProfileName(const char *name) { return g_profiles.SetName(name); }
EXPORT int WINAPI SetProfileDescription(const char *text) { return g_profiles.SetDescription(text); }
EXPORT int WINAPI SaveProfile() { return g_profiles.Save(); }
EXPORT int WINAPI AddAudioStream(int codec, int format) { return g_profiles.AddAudioStream(codec, format); }
EXPORT HRESULT WINAPI AddVideoStream(int codec, int width, int height, const char *name, unsigned fps,
                                     int keySeconds, int quality, int bitrate)
{
    return g_profiles.AddVideoStream(codec, width, height, name, fps, keySeconds, quality, bitrate);
}
EXPORT int WINAPI AddScriptStream(int bitrate) { return g_profiles.AddScriptStream(bitrate); }
EXPORT int WINAPI GetCodecCount(int kind) { return g_profiles.CodecCount(kind); }
EXPORT const char *WINAPI GetCodecName(int kind, int n) { return g_profiles.CodecName(kind, n); }
EXPORT int WINAPI GetAudioFormatCount(int codec) { return g_profiles.AudioFormatCount(codec); }
EXPORT const char *WINAPI GetAudioFormatString(int codec, int n) { return g_profiles.AudioFormatString(codec, n); }
EXPORT int WINAPI DeleteProfile(int n) { return g_profiles.Delete(n); }
EXPORT BOOL WINAPI GetVideoStream(int n, void *name, void *fps, void *key, void *quality, void *bitrate,
                                  void *width, void *height)
{
    return g_profiles.GetVideoStream(n, static_cast<char *>(name), static_cast<unsigned *>(fps),
                                     static_cast<LONGLONG *>(key), static_cast<int *>(quality),
                                     static_cast<int *>(bitrate), static_cast<int *>(width),
                                     static_cast<int *>(height));
}
EXPORT int WINAPI GetAudioStream(int n, void *codec, void *format)
{
    return g_profiles.GetAudioStream(n, static_cast<int *>(codec), static_cast<int *>(format));
}
EXPORT int WINAPI GetWM9ConfigInfo(WORD n, BYTE *kind, char *id, char *file, char *name, INT16 *dest)
{
    g_profiles.EnsureSettingsMap();
    if (n >= g_profiles.recordCount || !g_profiles.records) return 0;
    const Wm9ConfigRecord &r = g_profiles.records[n];
    if (kind) *kind = r.kind;
    if (id) lstrcpynA(id, r.id, sizeof(r.id));
    if (file) lstrcpynA(file, r.file, sizeof(r.file));
    if (name) lstrcpynA(name, r.name, sizeof(r.name));
    if (dest) *dest = r.destination;
    return lstrlenA(r.name) + 1;
}
EXPORT int WINAPI GetWM9ConfigNumbers()
{
    g_profiles.EnsureSettingsMap();
    return g_profiles.recordCount;
}
EXPORT int WINAPI LoadProfile9(const char *file, int *flags, int *audio1, int *audio2, int *videoCodec, int *width,
                               int *height, int)
{
    return g_profiles.Load9(file, flags, audio1, audio2, videoCodec, width, height);
}
EXPORT int WINAPI GetVideoStream9(int n, int *bitrate, float *fps, int *keySeconds, int *bufferWindowMs, int *quality,
                                  WmMediaType **type)
{
    return g_profiles.GetVideoStream9(n, bitrate, fps, keySeconds, bufferWindowMs, quality, type);
}
EXPORT int WINAPI GetAudioStream9(int n, int *bitrate, WmMediaType **type)
{
    return g_profiles.GetAudioStream9(n, bitrate, type);
}
EXPORT HRESULT WINAPI AddAudioStream9(const WmMediaType *type, WORD *streamNumber, int bitrate)
{
    return g_profiles.AddAudioStream9(type, streamNumber, bitrate);
}
EXPORT HRESULT WINAPI AddVideoStream9(const WmMediaType *type, WORD *streamNumber, int quality, int keySeconds,
                                      int bufferWindowMs)
{
    return g_profiles.AddVideoStream9(type, streamNumber, quality, keySeconds, bufferWindowMs);
}
EXPORT int WINAPI LoadCustomProfile9(const char *name) { return g_profiles.LoadCustom9(name); }
EXPORT int WINAPI AddProfileMutualExtension(int) { return g_profiles.AddMutualExclusion(false); }
EXPORT int WINAPI AddProfileMutualExtensionFor8Profile(int) { return g_profiles.AddMutualExclusion(true); }
