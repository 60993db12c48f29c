/*
 * Windows Media writer over FFmpeg: profiles, the writer with its inputs,
 * and the sinks it feeds.  Plain C++ (no COM) so the engine, the tests and
 * the benchmarks call it directly.
 *
 * A writer takes a profile (one audio and/or one video stream
 * configuration, or bit-rate alternatives: several streams of a kind when
 * the profile has its mutual exclusion, all fed from one input of that
 * kind), offers one input per stream or kind (PCM audio, uncompressed
 * RGB24/RGB32 video), encodes what is written to the inputs with the
 * profile's codecs and hands every compressed packet to each sink.  Video
 * of any input size is scaled to the profile's frame size (a profile
 * without one keeps the input's size); an odd width is coded one pixel
 * narrower, as the video coders need even widths.  Each
 * sink muxes the packets for its own destination, so a file and a live
 * stream get the same encoding once.
 *
 * Threads: every writer and sink call is safe from any thread; the writer
 * serialises its callers with one lock, so a video sample and an audio
 * sample written at the same moment never tear each other.
 */
#ifndef WMFORMAT_WMWRITER_H
#define WMFORMAT_WMWRITER_H

#include <windows.h>
#include <string>
#include <vector>

/* Results the writer and its sinks answer besides the usual COM ones. */
#define WMW_E_INVALID_INPUT_FORMAT ((HRESULT)0xC00D0BB8L)
#define WMW_E_NOT_CONFIGURED       ((HRESULT)0xC00D0BBAL)
#define WMW_E_INVALID_REQUEST      ((HRESULT)0xC00D002BL)
#define WMW_E_PORT_IN_USE          ((HRESULT)0xC00D2EF3L)
#define WMW_E_TIMEOUT              ((HRESULT)0xC00D2EE2L)

/* Sample flags. */
enum { WMW_SF_CLEANPOINT = 1 };

struct WmStreamConfig {
    bool video = false;
    std::string codec;           /* FFmpeg encoder name: wmv1, wmv2, wmav1, wmav2 */
    int bitrate = 0;             /* bits per second */
    /* video */
    int width = 0, height = 0;    /* coded frame size; 0: the input's */
    LONGLONG avgTimePerFrame = 0; /* 100-ns units */
    int keySpacingMs = 3000;
    int quality = 0;
    int bufferWindow = -1;       /* milliseconds; -1: the writer's own */
    int language = 0;            /* locale identifier of the stream's language (0: none) */
    /* audio */
    int sampleRate = 0, channels = 0;
    /* names kept in profiles */
    std::u16string streamName, connectionName;
    int streamNumber = 0;
};

struct WmProfile {
    std::u16string name, description;
    std::vector<WmStreamConfig> streams;
    int scriptBitrate = 0;        /* a script stream (0 = none); the writer ignores it */
    bool mutualExclusion = false; /* the streams are bit-rate alternatives */
};

/* The system profiles: a fixed table (index 9 is the engine's default). */
int WmSystemProfileCount();
bool WmSystemProfile(int index, WmProfile *out);

/* Codecs the writer offers, with the audio formats of each audio codec. */
struct WmAudioFormat { int avgBytesPerSec, sampleRate, channels; };
int WmCodecCount(bool video);
const char16_t *WmCodecName(bool video, int n);       /* null past the list */
const char *WmCodecEncoder(bool video, int n);        /* FFmpeg name */
int WmCodecFormatCount(int audioCodec);
bool WmCodecFormat(int audioCodec, int n, WmAudioFormat *out);
/* Codec number of an FFmpeg encoder name, -1 when not offered. */
int WmCodecIndex(bool video, const std::string &encoder);

/* Profiles as the XML text of .prx files. */
#define WMW_E_INVALID_PROFILE ((HRESULT)0xC00D0BC6L)
std::u16string WmProfileToXml(const WmProfile &profile);
HRESULT WmProfileFromXml(const std::u16string &xml, WmProfile *out);

/* What an input expects. */
struct WmInputFormat {
    bool video = false;
    /* video: uncompressed RGB, bottom-up rows when height > 0 */
    int width = 0, height = 0, bitCount = 24;
    LONGLONG avgTimePerFrame = 0;
    /* audio: PCM */
    int sampleRate = 0, channels = 0, bitsPerSample = 16;
};

struct AVCodecParameters;
struct AVPacket;
struct AVRational;

/* What a sink is told when writing begins. */
struct WmSinkStream {
    const AVCodecParameters *par;
    int timeBaseNum, timeBaseDen;   /* of the packets' times */
};

class WmSink {
public:
    virtual ~WmSink() {}
    virtual HRESULT OnBegin(const std::vector<WmSinkStream> &streams,
                            const std::vector<std::pair<std::string, std::string>> &attributes) = 0;
    /* A packet of stream `index`; its times are in that stream's time base. */
    virtual HRESULT OnPacket(int index, const AVPacket *packet) = 0;
    /* Writing ended (a flush came first): finish the destination. */
    virtual HRESULT OnEnd() = 0;
};

class WmWriter {
public:
    WmWriter();
    ~WmWriter();
    WmWriter(const WmWriter &) = delete;
    WmWriter &operator=(const WmWriter &) = delete;

    HRESULT SetProfile(const WmProfile &profile);
    DWORD InputCount() const;
    HRESULT GetInputFormat(DWORD input, WmInputFormat *out) const;
    HRESULT SetInputFormat(DWORD input, const WmInputFormat &format);
    /* A string attribute of the header (stream 0 = the file's). */
    HRESULT SetAttribute(WORD stream, const WCHAR *name, const WCHAR *value);

    /* Sinks are borrowed; they must outlive their time in the writer. */
    HRESULT AddSink(WmSink *sink);
    HRESULT RemoveSink(WmSink *sink);
    HRESULT SetLiveSource(BOOL live);

    HRESULT BeginWriting();
    /* time in 100-ns units. */
    HRESULT WriteSample(DWORD input, ULONGLONG time, DWORD flags, const BYTE *data, DWORD length);
    HRESULT Flush();
    HRESULT EndWriting();

    /* Counters for callers and tests. */
    unsigned videoFrames() const;
    ULONGLONG audioSamples() const;   /* per channel, at the stream's rate */
    unsigned silenceFills() const;

    struct Impl;
private:
    Impl *m;
};

/* A file sink: writes a standard ASF file with its header and simple index,
 * complete whenever writing ends. */
class WmFileSink : public WmSink {
public:
    WmFileSink();
    ~WmFileSink() override;
    HRESULT Open(const WCHAR *path);
    HRESULT Close();
    HRESULT OnBegin(const std::vector<WmSinkStream> &streams,
                    const std::vector<std::pair<std::string, std::string>> &attributes) override;
    HRESULT OnPacket(int index, const AVPacket *packet) override;
    HRESULT OnEnd() override;
    struct Impl;
private:
    Impl *m;
};

/* A network sink: serves the live stream over HTTP on a port to any number
 * of clients.  Windows Media players (user agent NSPlayer, or the
 * xClientGUID/xPlayStrm pragmas) get the stream in $H/$D/$E chunks; other
 * clients get the plain ASF stream.  A client joining late gets the header
 * and then the stream from the next packet; a client that lags too far or
 * hangs up is dropped alone. */
class WmNetworkSink : public WmSink {
public:
    WmNetworkSink();
    ~WmNetworkSink() override;
    /* Port 0 picks a free port (see Port()).  A port in use gives
     * WMW_E_PORT_IN_USE. */
    HRESULT Open(DWORD *port);
    HRESULT Close();
    DWORD Port() const;
    int ClientCount() const;        /* clients being served now */
    int ClientsServed() const;      /* clients that got the header so far */
    HRESULT OnBegin(const std::vector<WmSinkStream> &streams,
                    const std::vector<std::pair<std::string, std::string>> &attributes) override;
    HRESULT OnPacket(int index, const AVPacket *packet) override;
    HRESULT OnEnd() override;
    struct Impl;
private:
    Impl *m;
};

/* Statuses a push sink reports. */
enum { WMW_STATUS_ERROR = 0, WMW_STATUS_OPENED = 1, WMW_STATUS_STARTED = 11, WMW_STATUS_CLOSED = 13,
       WMW_STATUS_INDEX_PROGRESS = 16 };
typedef void (*WmStatusFn)(void *context, int status, HRESULT result, WmSink *sink);

/* A push sink: delivers the stream to a publishing point on a server by
 * HTTP POST.  Connect starts the attempt and returns; the outcome arrives
 * through the status callback (on the sink's own thread): OPENED when the
 * server accepted the set-up request, ERROR with the reason otherwise or
 * when delivery fails later.  The stream itself goes as the body of a
 * second POST, the plain ASF stream, until EndSession. */
class WmPushSink : public WmSink {
public:
    WmPushSink();
    ~WmPushSink() override;
    HRESULT Advise(WmStatusFn fn, void *context);
    HRESULT Unadvise();
    HRESULT Connect(const WCHAR *url, const WCHAR *templateUrl, BOOL autoRemove);
    HRESULT EndSession();
    HRESULT OnBegin(const std::vector<WmSinkStream> &streams,
                    const std::vector<std::pair<std::string, std::string>> &attributes) override;
    HRESULT OnPacket(int index, const AVPacket *packet) override;
    HRESULT OnEnd() override;
    struct Impl;
private:
    Impl *m;
};

/* The indexer: gives a finished ASF file a simple index (one entry a
 * second: the data packet where the key frame at or before that second
 * starts), replacing any index it had, in place.  Runs on a thread of its
 * own and reports OPENED, STARTED, INDEX_PROGRESS (result = percent), and
 * CLOSED last, always -- after ERROR with the reason when it fails. */
typedef void (*WmIndexStatusFn)(void *context, int status, HRESULT result);
HRESULT WmStartIndexing(const WCHAR *path, WmIndexStatusFn fn, void *context);
/* The same work on the caller's thread; the result of the run. */
HRESULT WmIndexFile(const WCHAR *path, WmIndexStatusFn fn, void *context);

#endif
