/*
 * Inside the reader: the output formats, the buffer and media-props
 * objects, the demuxing and decoding done on the reader thread, and the
 * reader object itself.
 */
#ifndef PLATFORM_WMREADER_INT_H
#define PLATFORM_WMREADER_INT_H

#include "wmreader.h"
#include <wmsbuffer.h>
#include <atomic>
#include <deque>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
#include <libswresample/swresample.h>
#include <libavutil/channel_layout.h>
}

namespace wmr {

/* What one output delivers. */
struct OutputFormat {
    bool video = false;
    int width = 0, height = 0, bitCount = 24;   /* RGB, rows bottom-up */
    LONGLONG frameTime = 0;                     /* 100-ns units, 0 = unknown */
    int sampleRate = 0, channels = 0;           /* 16-bit PCM */

    static OutputFormat Video(int width, int height, int bits, AVRational frameRate);
    static OutputFormat Audio(int rate, int channels);
    DWORD FrameBytes() const { return (DWORD)(((width * bitCount / 8) + 3) & ~3) * (DWORD)height; }
    /* A WM_MEDIA_TYPE with its format block right behind it. */
    std::vector<BYTE> MediaType() const;
    /* Uncompressed RGB24/RGB32 video or 16-bit PCM of 1-2 channels. */
    static HRESULT FromMediaType(const WM_MEDIA_TYPE &mt, OutputFormat *out);
};

struct OutputInfo {
    int stream = -1;
    OutputFormat native, format;
};

/* A sample's bytes, handed to the callback. */
class Buffer final : public INSSBuffer {
public:
    explicit Buffer(DWORD size) : data(size), length(size) {}
    HRESULT WINAPI QueryInterface(REFIID iid, void **out) override;
    ULONG WINAPI AddRef() override { return ++refs; }
    ULONG WINAPI Release() override { ULONG r = --refs; if (!r) delete this; return r; }
    HRESULT WINAPI GetLength(DWORD *n) override { if (!n) return E_POINTER; *n = length; return S_OK; }
    HRESULT WINAPI SetLength(DWORD n) override { if (n > data.size()) return E_INVALIDARG; length = n; return S_OK; }
    HRESULT WINAPI GetMaxLength(DWORD *n) override { if (!n) return E_POINTER; *n = (DWORD)data.size(); return S_OK; }
    HRESULT WINAPI GetBuffer(BYTE **p) override { if (!p) return E_POINTER; *p = data.data(); return S_OK; }
    HRESULT WINAPI GetBufferAndLength(BYTE **p, DWORD *n) override
    {
        if (!p || !n) return E_POINTER;
        *p = data.data();
        *n = length;
        return S_OK;
    }
    std::vector<BYTE> data;
    DWORD length;
private:
    std::atomic<ULONG> refs{1};
};

/* The media type of an output, as GetOutputProps gives it. */
class OutputProps final : public IWMOutputMediaProps {
public:
    explicit OutputProps(const OutputFormat &f) : type(f.MediaType()) {}
    HRESULT WINAPI QueryInterface(REFIID iid, void **out) override;
    ULONG WINAPI AddRef() override { return ++refs; }
    ULONG WINAPI Release() override { ULONG r = --refs; if (!r) delete this; return r; }
    HRESULT WINAPI GetType(GUID *major) override;
    HRESULT WINAPI GetMediaType(WM_MEDIA_TYPE *mt, DWORD *size) override;
    HRESULT WINAPI SetMediaType(WM_MEDIA_TYPE *mt) override;
    HRESULT WINAPI GetStreamGroupName(WCHAR *name, WORD *length) override;
    HRESULT WINAPI GetConnectionName(WCHAR *name, WORD *length) override;
private:
    std::vector<BYTE> type;
    std::atomic<ULONG> refs{1};
};

struct Attribute {
    WORD stream = 0;
    std::u16string name;
    WMT_ATTR_DATATYPE type = WMT_TYPE_DWORD;
    std::vector<BYTE> value;
    static Attribute Qword(const char16_t *name, QWORD v);
    static Attribute Bool(const char16_t *name, bool v);
    static Attribute String(const char16_t *name, const std::u16string &v);
};

struct Sample {
    DWORD output;
    LONGLONG time, duration;
    DWORD flags;
    Buffer *buffer;
};
void DropSamples(std::deque<Sample> *q);

class Reader;

/* The stream being read: FFmpeg's demuxer, decoders and converters.  Only
 * the reader thread touches it. */
struct Demux {
    Reader *owner = nullptr;
    AVFormatContext *fmt = nullptr;
    int64_t startTime = 0;            /* AV_TIME_BASE units */
    bool delivered = false;           /* a sample went out since the last seek */
    std::vector<OutputInfo> outputs;  /* the formats in force */
    std::vector<AVCodecContext *> decs;
    std::vector<SwsContext *> sws;
    std::vector<SwrContext *> swr;
    std::vector<int> swrKey;          /* input rate/format/channels the resampler was made for */
    std::vector<LONGLONG> nextTime;   /* where each output's next sample starts */
    std::vector<char> needKey;        /* pictures wait for a key frame (open, seek) */
    AVPacket *pkt = nullptr;
    AVFrame *frame = nullptr;
    bool discontinuity = false;

    /* Read and decode until at least one sample is queued.  S_FALSE at the
     * end, an error when the stream fails. */
    HRESULT Next(bool withAudio, std::deque<Sample> *out);
    /* One picture at or after media time t (100 ns) for stepping back. */
    HRESULT PictureAt(LONGLONG t, std::deque<Sample> *out);
    void Seek(LONGLONG t);
    void Close();

private:
    HRESULT Decode(int output, AVPacket *packet, bool withAudio, std::deque<Sample> *out);
    bool Convert(int output, AVFrame *f, std::deque<Sample> *out);
    LONGLONG TimeOf(int output, int64_t pts) const;
};

class Reader final : public IWMReader, public IWMHeaderInfo {
public:
    Reader();

    HRESULT WINAPI QueryInterface(REFIID iid, void **out) override;
    ULONG WINAPI AddRef() override { return ++refs; }
    ULONG WINAPI Release() override;

    HRESULT WINAPI Open(const WCHAR *url, IWMReaderCallback *cb, void *context) override;
    HRESULT WINAPI Close() override;
    HRESULT WINAPI GetOutputCount(DWORD *count) override;
    HRESULT WINAPI GetOutputProps(DWORD n, IWMOutputMediaProps **props) override;
    HRESULT WINAPI SetOutputProps(DWORD n, IWMOutputMediaProps *props) override;
    HRESULT WINAPI GetOutputFormatCount(DWORD n, DWORD *count) override;
    HRESULT WINAPI GetOutputFormat(DWORD n, DWORD index, IWMOutputMediaProps **props) override;
    HRESULT WINAPI Start(QWORD start, QWORD duration, float rate, void *context) override;
    HRESULT WINAPI Stop() override;
    HRESULT WINAPI Pause() override;
    HRESULT WINAPI Resume() override;

    HRESULT WINAPI GetAttributeCount(WORD stream, WORD *count) override;
    HRESULT WINAPI GetAttributeByIndex(WORD index, WORD *stream, WCHAR *name, WORD *nameLength,
                                       WMT_ATTR_DATATYPE *type, BYTE *value, WORD *length) override;
    HRESULT WINAPI GetAttributeByName(WORD *stream, LPCWSTR name, WMT_ATTR_DATATYPE *type, BYTE *value,
                                      WORD *length) override;
    HRESULT WINAPI SetAttribute(WORD, LPCWSTR, WMT_ATTR_DATATYPE, const BYTE *, WORD) override { return E_NOTIMPL; }
    HRESULT WINAPI GetMarkerCount(WORD *n) override { if (!n) return E_POINTER; *n = 0; return S_OK; }
    HRESULT WINAPI GetMarker(WORD, WCHAR *, WORD *, QWORD *) override { return E_INVALIDARG; }
    HRESULT WINAPI AddMarker(LPCWSTR_WMSDK_TYPE_SAFE, QWORD) override { return E_NOTIMPL; }
    HRESULT WINAPI RemoveMarker(WORD) override { return E_NOTIMPL; }
    HRESULT WINAPI GetScriptCount(WORD *n) override { if (!n) return E_POINTER; *n = 0; return S_OK; }
    HRESULT WINAPI GetScript(WORD, WCHAR *, WORD *, WCHAR *, WORD *, QWORD *) override { return E_INVALIDARG; }
    HRESULT WINAPI AddScript(LPCWSTR_WMSDK_TYPE_SAFE, LPCWSTR_WMSDK_TYPE_SAFE, QWORD) override { return E_NOTIMPL; }
    HRESULT WINAPI RemoveScript(WORD) override { return E_NOTIMPL; }

    /* Set while the thread must give up (Close); FFmpeg's calls see it. */
    std::atomic<bool> abort{false};

private:
    ~Reader();
    static DWORD WINAPI ThreadMain(void *arg);
    bool AwaitEnding();
    static int Interrupt(void *arg);
    void Arm();
    void Run();
    HRESULT OpenStream(Demux *d);
    void Play(Demux *d);
    void ApplyFormats(Demux *d);
    void Status(WMT_STATUS status, HRESULT hr, WMT_ATTR_DATATYPE type, const BYTE *value);

    friend struct Demux;

    std::atomic<ULONG> refs{1};
    CRITICAL_SECTION cs;
    CONDITION_VARIABLE cv;
    /* Under cs. */
    IWMReaderCallback *callback = nullptr;
    void *userContext = nullptr;
    HANDLE thread = nullptr;
    DWORD threadId = 0;
    /* A thread that closed its own reader from a callback: it is still
     * unwinding, and whoever opens or closes next waits for it. */
    HANDLE ending = nullptr;
    DWORD endingId = 0;
    bool opening = false, opened = false, playing = false, paused = false;
    bool startPending = false, stopPending = false, resumePending = false;
    QWORD startAt = 0;
    float startRate = 1.0f;
    void *startContext = nullptr;
    ULONGLONG clockStartTick = 0, pausedAtTick = 0;
    std::vector<OutputInfo> outputs;
    std::vector<Attribute> attributes;
    bool seekable = false;
    /* Written by Open before the thread starts. */
    std::string location;
    bool network = false;
    /* Reader thread. */
    std::atomic<unsigned long long> deadline{0};
    std::atomic<bool> timedOut{false};
};

extern std::atomic<LONG> g_live;
extern std::atomic<DWORD> g_stallMs;

} // namespace wmr

#endif
