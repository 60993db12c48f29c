/*
 * CDecoder: the base of every channel source.  It owns the channel surface
 * into which decoded frames are drawn, the media types the grabbers accepted
 * and the interfaces common to every source graph.
 *
 * Thread ownership: the virtual operations run on the host thread.  The
 * grabber callbacks (streaming threads) reach a source only through a
 * CallbackGate, which Close shuts before it stops and releases the graph, so
 * no callback ever runs on a source that is closing or deleted.
 */
#ifndef CORVENGINE_DECODER_H
#define CORVENGINE_DECODER_H

#include <windows.h>
#include <strmif.h>
#include <control.h>
#include <vfw.h>
#include <amvideo.h>
#include <vfwmsgs.h>
#include <atomic>

#include "engine.h"

/* The HSL colour filter's parameter interface. */
struct IHSLEffect : public IUnknown {
    virtual HRESULT WINAPI GetHSL(int *hue, int *saturation, int *lightness) = 0;
    virtual HRESULT WINAPI SetHSL(int hue, int saturation, int lightness) = 0;
};
extern const GUID IID_IHSLEffect_Corv;
extern const GUID CLSID_TintwellFilter_Corv;

/* Frames as large as the channel surface are copied row by row; tests set
 * this to draw every frame through the device context instead, to compare. */
void EngineDrawFramesThroughGdi(bool on);

class CDecoder {
public:
    CDecoder();
    virtual ~CDecoder();
    virtual BOOL Open(const char *video, const char *audio) = 0;
    virtual void Close() = 0;
    virtual int GetDuration() = 0;
    virtual int Play(int startSeconds) { (void)startSeconds; return 0; }
    virtual int Stop() { return 0; }
    virtual int Pause() { return 0; }
    virtual int FastForward() { return 0; }
    virtual int Rewind() { return 0; }
    virtual int Reverse() { return 0; }
    virtual int GetPosition() { return 0; }
    virtual int SetPosition(int microseconds) { (void)microseconds; return 0; }

    /* Draw one decoded frame (bottom-up RGB24 as the video type says) into
     * the channel surface, stretched over all of it. */
    void DrawFrame(const BYTE *buffer, long length);
    /* Post WM_ENGINE_SOURCESTATE with this source's channel and a state. */
    void PostState(int state);
    /* Apply the engine's colour offsets to the HSL filter (when there is one). */
    void ApplyHSL(int hue, int saturation, int lightness);

    /* Members, in the order the sources know them. */
    HRESULT lastResult = S_OK;
    HWND hostWindow = nullptr;
    int audioOutputNumber = -1, videoOutputNumber = -1;
    std::atomic<int> state{STATE_NONE};
    EngineSurface *surface = nullptr;
    int sourceKind = 1;
    int channelIndex = 0;
    int videoDeviceIndex = -1, audioDeviceIndex = -1;
    char videoPath[ENGINE_TEXT] = {};
    char audioPath[ENGINE_TEXT] = {};
    AM_MEDIA_TYPE *audioType = nullptr;
    AM_MEDIA_TYPE *videoType = nullptr;
    IMediaEventEx *mediaEvent = nullptr;
    IVideoWindow *videoWindow = nullptr;
    IBasicAudio *basicAudio = nullptr;
    IHSLEffect *hslFilter = nullptr;
    LONG volume = 0;
    HDRAWDIB drawDib = nullptr;
    int muteFlag = 0;
    int sourceWidth = 0, sourceHeight = 0, drawnWidth = 0, drawnHeight = 0;
    double aspect = 0;

    /* Serialises the HSL filter pointer against the frame clock and host. */
    SRWLOCK hslLock = SRWLOCK_INIT;
};

/* Media type helpers (owned copies). */
AM_MEDIA_TYPE *EngineCopyMediaType(const AM_MEDIA_TYPE *mt);
void EngineFreeMediaType(AM_MEDIA_TYPE *mt);
void EngineClearMediaType(AM_MEDIA_TYPE *mt);

#endif
