/*
 * CAviMpegReader: plays a media file or a still image on a channel (and
 * serves as the background-music reader on channel 4).  One DirectShow graph
 * per source: video through the HSL filter and an RGB24 grabber into a hidden
 * video renderer; audio through the ACM wrapper (16-bit stereo 22050 Hz PCM)
 * and an audio grabber into the sound card or a null renderer.
 *
 * Host thread only, except the grabber callbacks (see grab_cb.h).
 */
#ifndef CORVENGINE_FILE_SOURCE_H
#define CORVENGINE_FILE_SOURCE_H

#include "decoder.h"
#include <qedit.h>

class CGrabCB1;

class CAviMpegReader : public CDecoder {
public:
    CAviMpegReader();
    ~CAviMpegReader() override;
    BOOL Open(const char *video, const char *audio) override;
    void Close() override;
    int GetDuration() override;
    int Play(int startSeconds) override;
    int Stop() override;
    int Pause() override;
    int FastForward() override;
    int Rewind() override;
    int GetPosition() override;
    int SetPosition(int microseconds) override;

    /* Members, in order. */
    IGraphBuilder *graph = nullptr;
    IMediaControl *control = nullptr;
    HRESULT seekingResult = S_OK;
    IBaseFilter *audioGrabberFilter = nullptr, *videoGrabberFilter = nullptr;
    IBaseFilter *nullRenderer = nullptr, *videoRenderer = nullptr;
    ISampleGrabber *audioGrabber = nullptr, *videoGrabber = nullptr;
    IBaseFilter *acm = nullptr;
    ICaptureGraphBuilder2 *captureBuilder = nullptr;
    IBaseFilter *audioCapture = nullptr;
    WCHAR videoPathW[ENGINE_TEXT] = {};
    WCHAR audioPathW[ENGINE_TEXT] = {};
    LONGLONG duration = 0;
    CGrabCB1 *audioCallback = nullptr, *videoCallback = nullptr;
    int fileKind = 1;
    int deviceAudioIndex = -1, deviceSharedWith = -1;

    /* Set by OpenSource when this reader is channel 4's background music. */
    bool backgroundMusic = false;

protected:
    /* The video path of Open (rendering, grabber, end renderer); the
     * MPEG-2 source builds its own. */
    virtual HRESULT BuildVideoPath();
    /* The grabber callbacks Open installs (audio 0: video, 1: audio). */
    virtual CGrabCB1 *MakeCallback(short audio);
    /* Added to every Play's start (100-nanosecond units). */
    LONGLONG playOffset = 0;
    /* Open's own texts, which the MPEG-2 source words differently: the box
     * when the HSL filter cannot be made, the name the filter joins the
     * graph under (null: none, so the graph names it) and the box for any
     * failed audio path (null: by result, -10 naming the codec package). */
    const char *hslCreateText = "HSL Effect Creation Error !!";
    const WCHAR *hslFilterName = nullptr;
    const char *audioFailText = nullptr;

private:
    BOOL Fail();
    void Settle();
    HRESULT BuildAudioFromFile(bool sameFile);
    HRESULT BuildDeviceAudio();
    HRESULT RenderForVideo(const WCHAR *path, const char *narrow);
    HRESULT ReplaceSoundRendererWithNull();
    IMediaSeeking *Seeking();
    void ReleaseGraph();
};

/* Whether a path names a still image (.bmp .jpg .gif .tga, any case). */
bool IsStillImagePath(const char *path);

#endif
