/*
 * Corvengine: the engine's process-wide state, host messages and shared
 * helpers.  Private to the engine module (and its tests).
 *
 * Threads: the exports run on the host's UI thread; the frame clock ticks on
 * the multimedia-timer thread; grabber callbacks run on DirectShow streaming
 * threads.  Every value below names its writer and how the others read it.
 */
#ifndef CORVENGINE_ENGINE_H
#define CORVENGINE_ENGINE_H

#include <windows.h>
#include <atomic>
#include <strmif.h>

#include "surface_access.h"

/* Messages posted to the host window. */
#define WM_ENGINE_GRAPHNOTIFY   1037  /* wParam 0, lParam channel */
#define WM_ENGINE_SOURCESTATE   1345  /* (channel<<16)|state, or channel + event meaning */
#define WM_ENGINE_TRANSPROGRESS 1346  /* percent */
#define WM_ENGINE_POSITION      1347  /* wParam channel, lParam whole seconds */
#define WM_ENGINE_ENCODETIME    1349  /* wParam 99, lParam seconds encoded */

/* Source states carried in WM_ENGINE_SOURCESTATE. */
enum SourceState { STATE_NONE = 0, STATE_OPENED = 1, STATE_STOPPED_OLD = 4,
                   STATE_PLAYING = 11, STATE_STOPPED = 12, STATE_PAUSED = 34 };

/* HandleEvent's meanings (lParam of WM_ENGINE_SOURCESTATE with wParam channel). */
enum { SOURCE_EVENT_COMPLETE = 4, SOURCE_EVENT_OPENING = 8, SOURCE_EVENT_BUFFERING = 2 };

/* Encoder kinds. */
enum { ENCODER_WM = 1, ENCODER_FLV = 0x1000000 };

enum { ENGINE_CHANNELS = 5, ENGINE_TEXT = 260 };

class CDecoder;
class CPreviewer;

/* The FLV encoder settings record the host fills (natural alignment: the
 * double at offset 528, 4 bytes of tail padding). */
struct FlvSettings {
    INT32 Format;
    char ArchivingFileName[512];
    INT32 VideoWidth;
    INT32 VideoHeight;
    INT32 VideoBitrate;
    double FrameRate;
    INT32 AudioSampleRate;
    INT32 AudioChannel;
    INT32 AudioBits;
    INT32 AudioBitrate;
    INT32 RWShared;
};
static_assert(sizeof(FlvSettings) == 560, "FlvSettings is 560 bytes");

/* One capture device of the engine's lists. */
struct DeviceListEntry {
    char name[80];
    INT32 index;
    INT16 unused;
};

/*
 * Engine state.  Written by the host thread unless noted; read by other
 * threads through atomics (whole values, never torn).
 */
struct EngineState {
    std::atomic<HWND> hostWindow{nullptr};

    /* Channel table: written by the host thread only, under channelLock
     * (exclusive); the frame clock reads it under the lock (shared). */
    SRWLOCK channelLock = SRWLOCK_INIT;
    CDecoder *channel[ENGINE_CHANNELS] = {};
    int mediaKind[ENGINE_CHANNELS] = {};
    HWND channelWindow[ENGINE_CHANNELS] = {};

    std::atomic<short> onAirChannel{0};

    IUnknown *surfaceFactory = nullptr;   /* engine surface factory */
    EngineSurface *outputSurface = nullptr;

    std::atomic<int> framePeriod{33};
    int encoderKind = ENCODER_WM;
    int wmfVersion = 1;
    int width = 320, height = 240;
    int pixels = 320 * 240, rgbBytes = 3 * 320 * 240, argbBytes = 4 * 320 * 240;
    int rowBytes = 4 * 320, rowBytes2 = 4 * 320;
    std::atomic<int> autoTrans{1};
    std::atomic<int> hue{0}, saturation{0}, lightness{0};
    std::atomic<int> encodeMode{0};
    std::atomic<int> backMusic{0};
    std::atomic<int> titleOn{0}, titlePreview{0};
    int dateAndTime = 0;
    WCHAR saveFileW[ENGINE_TEXT] = {};
    char saveFileA[ENGINE_TEXT] = {};
    WCHAR pushTarget[ENGINE_TEXT] = {};
    WCHAR copyFrom[ENGINE_TEXT] = {};
    int autoRemove = 0;
    unsigned short broadcastPort = 8080;
    unsigned short profileIndex = 9;
    int indexAfterWriting = 0;
    int drm = 0;
    int applyFilter = 0;
    FlvSettings flv = {};

    DeviceListEntry *videoDevices = nullptr; int videoDeviceCount = 0;
    DeviceListEntry *audioDevices = nullptr; int audioDeviceCount = 0;
    char nameBuffer1[ENGINE_TEXT] = {};
    char nameBuffer2[ENGINE_TEXT] = {};
};

extern EngineState g_engine;
extern HINSTANCE g_engineModule;

/* Restore the load-time defaults (used at load and by tests). */
void EngineLoadDefaults();

/* Shared routines. */
void EngineWarning(const char *fmt, ...);               /* the warning box */
void EngineExplainError(long code);                     /* error explanation */
HRESULT EngineWideCopy(const char *text, WCHAR **out);  /* new[] copy */
HRESULT EngineNarrowCopy(const char *text, char **out); /* new[] copy */
void EnginePost(UINT msg, WPARAM wp, LPARAM lp);        /* to the host window */

/* The reference clock every source graph runs on (host thread): one system
 * clock for the process, so no graph ever owns (and tears down) its own. */
IReferenceClock *EngineSharedClock();
void EngineReleaseSharedClock();

/* Source lifetime helpers (host thread). */
CDecoder *EngineChannelSource(unsigned channel);
void EngineDeleteChannel(unsigned channel);

/* The painter event of channel n (signalled by the video callbacks); the
 * programme and TV-out painters' events likewise.  Null when not made. */
HANDLE EngineChannelPainterEvent(int channel);
void EngineWakeProgrammePainters();

#endif
