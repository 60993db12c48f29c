/*
 * The engine's two writers as the rest of the engine sees them.  The
 * Windows Media writer and the FLV writer are filled in by the encoding
 * work; here they are the small objects the exports and the grabber
 * callbacks call.
 *
 * Audio hand-off: grabber callbacks call EngineDeliverAudio on streaming
 * threads; the host thread starts and stops writers.  A shared/exclusive
 * gate keeps a writer from being stopped under a callback that is handing
 * it a buffer.
 */
#ifndef CORVENGINE_WRITERS_H
#define CORVENGINE_WRITERS_H

#include <windows.h>
#include "clock.h"
#include "engine.h"

/* The record CFLVWriter::OpenWriter takes, in this order. */
struct FlvWriterParams {
    INT32 width, height;
    double frameRate;
    INT32 videoBitrate, audioSampleRate, channels, bitsPerSample, audioBitrate;
    INT32 keepRgbFrame;
    EngineSurface *output;
    INT32 audioOn;
};

class WmWriter;
class WmFileSink;
class WmNetworkSink;
class WmPushSink;
class WmSink;
struct WmProfile;

/* The profile the writer encodes with: profile n of the profile store. */
bool EngineProfileForWriter(int index, WmProfile *out);

/*
 * CIndexer: has a finished file indexed and waits until the indexer says it
 * closed the file (status 13).  Every status is posted as message 1345
 * (wParam status, lParam result) to `window`, which the engine leaves
 * empty (the host's 1345 means source states): tests set it to watch.
 * The wait ends at status 13, or after 30 s in which no status came, so a
 * run that progresses is always waited for and a stuck one is not.
 */
class CIndexer {
public:
    CIndexer();
    ~CIndexer();
    HRESULT Index(const WCHAR *path);
    HRESULT lastResult = S_OK;
    HANDLE done = nullptr;
    std::atomic<HWND> window{nullptr};
    DWORD quietLimitMs = 30000;
    std::atomic<DWORD> lastStatusTick{0};
    std::atomic<HRESULT> runResult{S_OK};
private:
    static void OnStatus(void *context, int status, HRESULT result);
};

/*
 * The Windows Media encoder: the output surface as RGB24 at the frame
 * period and the on-air audio, through the writer to its sinks.  Start and
 * stop run on the host thread with the writers' gate held; tick (timer
 * thread) and AudioSample (streaming threads) share the writer and the two
 * times under `feed`, so a frame and a sound buffer never interleave half
 * way and a stop never races a tick.
 */
class CWMTEncoder : public CMultimediaTimer {
public:
    CWMTEncoder();
    ~CWMTEncoder() override;
    void tick() override;
    int StartWriter();                      /* result of EncoderStart */
    int StopWriter();
    HRESULT AudioSample(DWORD ms, DWORD flags, const BYTE *buffer, long length);
    void SetHeaderInfo(const char *attribute, const char *value);

    HRESULT lastResult = S_OK;
    int audioInput = -1, videoInput = -1;
    unsigned long long audioTime = 0, videoTime = 0;   /* milliseconds */
    std::atomic<int> running{0};
    std::atomic<unsigned> audioBuffers{0};  /* buffers handed over */
    std::atomic<unsigned long long> audioBytes{0};
    std::atomic<unsigned> framesWritten{0};
    WmWriter *writer = nullptr;
    WmFileSink *fileSink = nullptr;
    WmNetworkSink *networkSink = nullptr;
    WmPushSink *pushSink = nullptr;
    /* The push connection: the status hands its result to the starting
     * thread through the event.  The wait is 30 s; tests may shorten it. */
    HANDLE connectEvent = nullptr;
    std::atomic<HRESULT> connectResult{S_OK};
    std::atomic<int> connectStatus{-1};
    DWORD connectTimeoutMs = 30000;
    static void OnStatus(void *context, int status, HRESULT result, WmSink *sink);
    CIndexer indexer;

private:
    HRESULT CreateWriter();
    HRESULT ConfigureInputs();
    void Release();
    CRITICAL_SECTION feed;
    DWORD *pixels = nullptr;                /* the output surface, read each tick */
    BYTE *frame = nullptr;                  /* the RGB24 sample */
    int frameWidth = 0, frameHeight = 0;
};

/* The FLV writer's rules, as plain functions (integer arithmetic). */
void FlvOutputSize(int w, int h, int settingsWidth, int settingsHeight, int *outW, int *outH);
int FlvAudioSampleRate(int settingsRate, int settingsBitrate);
int FlvAudioBitrate(int settingsBitrate, int sampleRate);
int FlvVideoBitrate(int requested, int settingsBitrate);

/*
 * The FLV (or SWF) writer over libavformat: the output surface at the
 * frame rate and the on-air audio through a FIFO, interleaved into one
 * file.  tick (timer thread), Audio (streaming threads) and start/stop
 * (host thread) share the context, the FIFO and the two times under `feed`.
 */
class CFLVWriter : public CMultimediaTimer {
public:
    CFLVWriter();
    ~CFLVWriter() override;
    void tick() override;
    int ApplySettings(const FlvSettings *s);
    BOOL OpenWriter(const FlvWriterParams *p);
    BOOL StartWriter();
    void StopWriter();
    BOOL IsRunning() const { return running; }
    void Audio(const BYTE *buffer, long length, DWORD ms);
    std::atomic<int> running{0};
    std::atomic<unsigned> audioBuffers{0};
    std::atomic<unsigned> framesWritten{0}, framesSkipped{0};
    FlvSettings settings = {};
    FlvWriterParams params = {};
    int outWidth = 0, outHeight = 0, videoBitrate = 0, sampleRate = 0, audioBitrate = 0;

    struct State;
private:
    void Free();
    void WriteAudioFrames(bool final);
    State *st = nullptr;
    CRITICAL_SECTION feed;
};

extern CWMTEncoder g_wmWriter;
extern CFLVWriter g_flvWriter;

/* Hand one audio buffer to the running encoder of the engine's kind. */
void EngineDeliverAudio(DWORD ms, const BYTE *buffer, long length);
/* Host thread: take the gate exclusively around a writer's start or stop. */
void EngineWritersLock();
void EngineWritersUnlock();

#endif
