/*
 * CDSCapture: a live capture device on a channel ("dev:" names): the video
 * capture device with an optional audio capture device, built with the
 * capture graph builder.  The graph runs from Open; a DV device's tape
 * transport is driven by the transport operations and its timecode is
 * posted every 500 ms while the tape plays.
 *
 * Process-wide state (guarded): the capture stack, the channels of the
 * running capture sources in the order they were started; the audio
 * devices' in-use marks live in the device table (devices.h).
 *
 * Threads: host thread, except the grabber callbacks (CGrabCB2, behind
 * their gates like the file source's) and the position timer (killed
 * synchronously before the source lets go of anything it reads).
 */
#ifndef CORVENGINE_CAPTURE_SOURCE_H
#define CORVENGINE_CAPTURE_SOURCE_H

#include "decoder.h"
#include "grab_cb.h"
#include <qedit.h>
#include "ext_device.h"   /* platform/capture */

class CGrabCB2 : public CGrabCB1 {
public:
    CGrabCB2(CDecoder *owner, short audio) : CGrabCB1(owner, audio) {}
    HRESULT WINAPI BufferCB(double time, BYTE *buffer, LONG length) override;
};

class CDSCapture : public CDecoder {
public:
    CDSCapture();
    ~CDSCapture() override;
    BOOL Open(const char *video, const char *audio) override;
    void Close() override;
    int GetDuration() override;
    int GetPosition() override;
    int Play(int startSeconds) override;
    int Stop() override;
    int Pause() override;
    int FastForward() override;
    int Rewind() override;

    /* CapVideoSource / CapVideoFormat. */
    int VideoSourceDialog();
    int VideoFormatDialog();

    /* Members, in order. */
    char videoName[MAX_PATH] = {}, audioName[MAX_PATH] = {};
    IGraphBuilder *graph = nullptr;
    ICaptureGraphBuilder2 *builder = nullptr;
    IBaseFilter *videoCapture = nullptr, *audioCapture = nullptr;
    IAMStreamConfig *videoConfig = nullptr, *audioConfig = nullptr;
    /* The format chosen in the format dialog (owned), kept across rebuilds. */
    AM_MEDIA_TYPE *chosenFormat = nullptr;
    IAMVfwCaptureDialogs *vfwDialogs = nullptr;
    IBaseFilter *videoGrabberFilter = nullptr, *colourConverter = nullptr, *videoRenderer = nullptr;
    IBaseFilter *audioGrabberFilter = nullptr, *nullRenderer = nullptr, *acm = nullptr;
    ISampleGrabber *videoGrabber = nullptr, *audioGrabber = nullptr;
    CGrabCB2 *videoCallback = nullptr, *audioCallback = nullptr;
    IExtTransport *transport = nullptr;
    IExtTimecodeReader *timecode = nullptr;
    int dvMode = 2;                  /* 1 VCR, 0 camera, 2 unknown */
    bool playing = false;
    UINT positionTimer = 0;
    bool running = false;
    bool audioInUse = false;         /* another source holds the audio device */
    bool ownAudio = false;           /* this source marked the audio device */
    int stackPosition = -1;
    float framePeriod = 0;
    int crossbarInputs = 0;
    bool dvDevice = false, dvAudio = false;
    IMediaControl *control = nullptr;

private:
    bool Build();
    bool Connect();
    bool Run();
    void Halt();
    bool ConnectVideo();
    bool ConnectAudio();
    void FindTransport();
    void StartTimer();
    void StopTimer();
    void ReleaseAll();
    void Resume();
    static void CALLBACK TimerProc(UINT id, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR);
};

/* The capture stack (tests and the soak look at it). */
int EngineCaptureStackCount();
int EngineCaptureStackChannel(int position);

#endif
