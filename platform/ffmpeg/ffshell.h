// Internal header of Ffsplit.ax: the filter classes over ffcore and the
// media-type helpers they share.
#pragma once
#include <windows.h>
#include <strmif.h>
#include <uuids.h>
#include <amvideo.h>
#include <mmreg.h>
#include <deque>
#include <string>
#include <vector>

#include "dshowbase/dshowbase.h"
#include "ffcore.h"
#include "ffsplit.h"

namespace ffds {

extern dsb::TraceChannel ch;

// ---- media types (mediatypes.cpp) ----
// Compressed stream of ours: major type by kind, MEDIASUBTYPE_FFStream,
// FORMAT_FFCodecParams with the packed parameters.
HRESULT MakeStreamType(const ffcore::StreamInfo& si, AM_MEDIA_TYPE* mt);
// Unpacks a type made by MakeStreamType; false for anything else.
bool ReadStreamType(const AM_MEDIA_TYPE* mt, ffcore::CodecParams* p, std::vector<uint8_t>* extra);
// Uncompressed bottom-up RGB (RGB24 or RGB32) with a VIDEOINFOHEADER.
HRESULT MakeRgbType(int width, int height, ffcore::PixelOut f, ffcore::RefTime frameTime, AM_MEDIA_TYPE* mt);
// RGB24/RGB32 of exactly this size, bottom-up; gives the pixel format.
bool ReadRgbType(const AM_MEDIA_TYPE* mt, int width, int height, ffcore::PixelOut* f);
// 16-bit PCM with a WAVEFORMATEX.
HRESULT MakePcmType(int rate, int channels, int bits, AM_MEDIA_TYPE* mt);
// 16-bit PCM, 1 or 2 channels, 8000..192000 Hz; gives the format.
bool ReadPcmType(const AM_MEDIA_TYPE* mt, ffcore::PcmFormat* f);
// PCM of 8 or 16 bits, 1 or 2 channels, 8000..192000 Hz; gives format and bits.
bool ReadAnyPcmType(const AM_MEDIA_TYPE* mt, ffcore::PcmFormat* f, int* bits);

// Unix path of a Windows file name (empty when Wine cannot map it).
std::string UnixPath(const WCHAR* path);

// ---- IFileSourceFilter shared by the sources ----
class FileSourceBase : public dsb::SourceFilter, public IFileSourceFilter {
public:
    FileSourceBase(const CLSID& clsid, IUnknown* outer) : dsb::SourceFilter(clsid, outer) {}
    ~FileSourceBase() override;
    DSB_DELEGATE_IUNKNOWN
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    HRESULT STDMETHODCALLTYPE Load(LPCOLESTR name, const AM_MEDIA_TYPE* mt) override;
    HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* name, AM_MEDIA_TYPE* mt) override;

protected:
    // Opens the file (Unix path) and adds the pins; a failure leaves no pins.
    virtual HRESULT OpenFile(const std::string& unixPath) = 0;
    WCHAR* fileName_ = nullptr;  // CoTaskMemAlloc'd
};

// ---- source / splitter (splitter.cpp): one video and one audio pin of
// compressed packets; or, for a still picture (still.cpp), one RGB pin that
// sends the decoded picture once per run or seek.
class Splitter : public FileSourceBase {
public:
    Splitter(const CLSID& clsid, IUnknown* outer, bool stillOnly)
        : FileSourceBase(clsid, outer), stillOnly_(stillOnly) {}
    static HRESULT Create(IUnknown* outer, dsb::ComObject** obj);
    static HRESULT CreateAsfReader(IUnknown* outer, dsb::ComObject** obj);
    static HRESULT CreateStill(IUnknown* outer, dsb::ComObject** obj);

    HRESULT GetMediaType(int stream, int pos, AM_MEDIA_TYPE* mt) override;
    HRESULT DecideBufferSize(int stream, IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) override;
    HRESULT FillSample(int stream, IMediaSample* sample) override;
    HRESULT OnThreadStart(int stream) override;
    HRESULT OnSeek(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;
    HRESULT GetDuration(REFERENCE_TIME* duration) override;
    HRESULT OnActivate() override;
    bool IsStill() const { return still_; }

protected:
    HRESULT OpenFile(const std::string& unixPath) override;

private:
    bool NextPacket(int pin, ffcore::Packet* pkt);
    // Still pictures (still.cpp).
    HRESULT OpenStill(const std::string& unixPath);
    HRESULT StillMediaType(int pos, AM_MEDIA_TYPE* mt);
    HRESULT StillBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props);
    HRESULT StillFill(IMediaSample* sample);

    struct PinStream {
        int stream = -1;                 // index into the demuxer's streams
        std::deque<ffcore::Packet> queue;
        bool discontinuity = true;
    };
    const bool stillOnly_;
    bool still_ = false;
    dsb::CritSec demuxLock_;  // the demuxer and the queues; streaming threads
    ffcore::Demuxer demux_;
    std::vector<PinStream> pins_;
    bool dirty_ = false;      // packets were read since the last seek
    ffcore::Picture rgb24_, rgb32_;  // the still picture, fixed after Load
    volatile LONG sent_ = 0;         // the still went out since the last start
};

// ---- decoders (videodec.cpp, audiodec.cpp) ----
// IMediaSeeking of a decoder's output pin, passed to the pin upstream of its
// input.  Renderers call it from the streaming thread (Wine's renderers ask
// for the stop position at end of stream) while that thread holds the
// decoder's stream lock, and Stop holds the filter lock while it waits for
// the stream lock; so the upstream pin is kept here under a lock of its own
// and never looked up under the filter lock.
class UpstreamSeeking {
public:
    ~UpstreamSeeking();
    HRESULT Init(IUnknown* outputPin);
    void SetUpstream(IPin* pin);  // counted copy; null clears
    HRESULT Query(REFIID riid, void** ppv);
private:
    static IPin* Upstream(void* self);
    dsb::CritSec lock_;
    IPin* upstream_ = nullptr;
    dsb::SeekingPassThru* seeking_ = nullptr;
    IUnknown* owner_ = nullptr;
};

class VideoDecoderFilter : public dsb::TransformFilter {
public:
    VideoDecoderFilter(IUnknown* outer) : dsb::TransformFilter(CLSID_FFVideoDecoder, outer) {}
    static HRESULT Create(IUnknown* outer, dsb::ComObject** obj);
    // Makes the pins of a new decoder (of this class or a narrower one
    // under another class id); deletes it on failure.
    static HRESULT Finish(VideoDecoderFilter* f, dsb::ComObject** obj);
    // Codecs the decoder takes: any FFmpeg decodes, unless narrowed.
    virtual bool AcceptsCodec(int codecId) const { return ffcore::hasDecoder(codecId); }
    HRESULT CheckInputType(const AM_MEDIA_TYPE* mt) override;
    HRESULT CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) override;
    HRESULT GetMediaType(int pos, AM_MEDIA_TYPE* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) override;
    HRESULT Transform(IMediaSample*, IMediaSample*) override { return E_UNEXPECTED; }
    HRESULT PinCompleteConnect(dsb::Pin* pin, IPin* peer) override;
    void PinBreakConnect(dsb::Pin* pin) override;
    HRESULT PinReceive(dsb::Pin* pin, IMediaSample* sample) override;
    HRESULT PinEndOfStream(dsb::Pin* pin) override;
    HRESULT PinEndFlush(dsb::Pin* pin) override;
    HRESULT StopStreaming() override;
    HRESULT PinQueryInterface(dsb::Pin* pin, REFIID riid, void** ppv) override;
    UpstreamSeeking seeking_;

protected:
    VideoDecoderFilter(const CLSID& clsid, IUnknown* outer) : dsb::TransformFilter(clsid, outer) {}

private:
    HRESULT Drain();
    ffcore::VideoDecoder dec_;   // stream lock (opened under the filter lock)
    ffcore::CodecParams params_;
    bool open_ = false;
    bool timed_ = false;         // a timed picture went out since the last flush
    bool discontinuity_ = true;  // the next picture out starts a new run (start, flush, gap)
};

class AudioDecoderFilter : public dsb::TransformFilter {
public:
    AudioDecoderFilter(IUnknown* outer) : dsb::TransformFilter(CLSID_FFAudioDecoder, outer) {}
    static HRESULT Create(IUnknown* outer, dsb::ComObject** obj);
    HRESULT CheckInputType(const AM_MEDIA_TYPE* mt) override;
    HRESULT CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) override;
    HRESULT GetMediaType(int pos, AM_MEDIA_TYPE* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) override;
    HRESULT Transform(IMediaSample*, IMediaSample*) override { return E_UNEXPECTED; }
    HRESULT PinCompleteConnect(dsb::Pin* pin, IPin* peer) override;
    void PinBreakConnect(dsb::Pin* pin) override;
    HRESULT PinReceive(dsb::Pin* pin, IMediaSample* sample) override;
    HRESULT PinEndOfStream(dsb::Pin* pin) override;
    HRESULT PinEndFlush(dsb::Pin* pin) override;
    HRESULT StopStreaming() override;
    HRESULT PinQueryInterface(dsb::Pin* pin, REFIID riid, void** ppv) override;
    UpstreamSeeking seeking_;

private:
    HRESULT Drain();
    HRESULT DeliverPcm(const uint8_t* data, size_t size, REFERENCE_TIME start);
    ffcore::AudioDecoder dec_;
    ffcore::CodecParams params_;
    bool open_ = false;
    bool discontinuity_ = true;
};

// ---- PCM format converter (pcmconv.cpp): stands in for the ACM wrapper,
// whose Wine version refuses PCM input.  PCM in (8/16-bit, 1-2 channels, any
// rate), 16-bit PCM out in the format set through IAMStreamConfig on the
// output pin (for the engine: stereo at 22050 Hz).
class PcmConverterFilter;
class PcmStreamConfig : public IAMStreamConfig {
public:
    explicit PcmStreamConfig(PcmConverterFilter* f) : f_(f) {}
    virtual ~PcmStreamConfig() {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE SetFormat(AM_MEDIA_TYPE* mt) override;
    HRESULT STDMETHODCALLTYPE GetFormat(AM_MEDIA_TYPE** mt) override;
    HRESULT STDMETHODCALLTYPE GetNumberOfCapabilities(int* count, int* size) override;
    HRESULT STDMETHODCALLTYPE GetStreamCaps(int index, AM_MEDIA_TYPE** mt, BYTE* caps) override;
private:
    PcmConverterFilter* f_;
};

class PcmConverterFilter : public dsb::TransformFilter {
public:
    PcmConverterFilter(IUnknown* outer) : dsb::TransformFilter(CLSID_ACMWrapper, outer), config_(this) {}
    static HRESULT Create(IUnknown* outer, dsb::ComObject** obj);
    HRESULT CheckInputType(const AM_MEDIA_TYPE* mt) override;
    HRESULT CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) override;
    HRESULT GetMediaType(int pos, AM_MEDIA_TYPE* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) override;
    HRESULT Transform(IMediaSample*, IMediaSample*) override { return E_UNEXPECTED; }
    HRESULT PinCompleteConnect(dsb::Pin* pin, IPin* peer) override;
    void PinBreakConnect(dsb::Pin* pin) override;
    HRESULT PinQueryInterface(dsb::Pin* pin, REFIID riid, void** ppv) override;
    HRESULT PinReceive(dsb::Pin* pin, IMediaSample* sample) override;
    HRESULT PinEndOfStream(dsb::Pin* pin) override;
    HRESULT PinEndFlush(dsb::Pin* pin) override;
    HRESULT StartStreaming() override;
    HRESULT StopStreaming() override;

    // IAMStreamConfig work, under the filter lock.
    HRESULT SetWanted(const AM_MEDIA_TYPE* mt);
    HRESULT CurrentFormat(AM_MEDIA_TYPE* mt);

private:
    HRESULT Deliver(const std::vector<uint8_t>& pcm);
    PcmStreamConfig config_;
    UpstreamSeeking seeking_;
    ffcore::PcmConverter conv_;      // stream lock
    ffcore::PcmFormat out_{};        // stream lock
    bool haveWanted_ = false;
    ffcore::PcmFormat wanted_{};
    REFERENCE_TIME base_ = 0;        // time of the first output sample since a break
    int64_t samplesOut_ = 0;
    bool restart_ = true;            // next input sets base_
};

// ---- audio synthesizer (synth.cpp) ----
class AudioSynth : public dsb::SourceFilter, public IAudioSynthParams {
public:
    AudioSynth(IUnknown* outer);
    static HRESULT Create(IUnknown* outer, dsb::ComObject** obj);
    DSB_DELEGATE_IUNKNOWN
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    HRESULT WINAPI SetAmplitude(int v) override;
    HRESULT WINAPI SetBitsPerSample(int v) override;
    HRESULT WINAPI SetChannels(int v) override;
    HRESULT WINAPI SetFrequency(int v) override;
    HRESULT WINAPI SetOutputFormat(int v) override;
    HRESULT WINAPI SetSamplesPerSec(int v) override;
    HRESULT WINAPI SetWaveform(int v) override;

    HRESULT GetMediaType(int stream, int pos, AM_MEDIA_TYPE* mt) override;
    HRESULT DecideBufferSize(int stream, IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) override;
    HRESULT FillSample(int stream, IMediaSample* sample) override;
    HRESULT OnSeek(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;
    HRESULT OnThreadStart(int stream) override;

private:
    HRESULT Set(int* field, int v, int lo, int hi);
    int amplitude_ = 50, bits_ = 16, channels_ = 2, frequency_ = 440, format_ = 0, rate_ = 22050, waveform_ = 0;
    int64_t samplesSent_ = 0;   // streaming thread; reset while stopped
};

}  // namespace ffds
