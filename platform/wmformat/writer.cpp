/*
 * The writer: inputs, encoders and the hand-off of packets to the sinks.
 */
#include "wmwriter.h"

#include <cmath>
#include <cstring>
#include <algorithm>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace {

/* The inputs of a stream: one encoder and what converts into it. */
struct Stream {
    WmStreamConfig config;
    WmInputFormat input;
    AVCodecContext *enc = nullptr;
    AVFrame *frame = nullptr;
    /* video */
    SwsContext *sws = nullptr;
    long long lastPts = -1;
    /* audio */
    SwrContext *swr = nullptr;
    AVAudioFifo *fifo = nullptr;
    long long samplesQueued = 0;     /* samples that went into the fifo */
    long long samplesEncoded = 0;    /* samples taken out to the encoder */
    int frameSize = 0;
};

std::string narrow(const WCHAR *w)
{
    if (!w) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return std::string();
    std::string s((size_t)n - 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w, -1, &s[0], n, nullptr, nullptr);
    return s;
}

/* Header attribute names as the ASF muxer knows them. */
std::string attribute_key(const std::string &name)
{
    static const char *const map[][2] = {
        {"Title", "title"}, {"Author", "author"}, {"Copyright", "copyright"},
        {"Description", "comment"}, {"Rating", "rating"},
    };
    for (auto &m : map)
        if (!lstrcmpiA(name.c_str(), m[0])) return m[1];
    return name;
}

} // namespace

struct WmWriter::Impl {
    CRITICAL_SECTION cs;
    bool haveProfile = false, writing = false, live = false;
    std::vector<Stream> streams;
    /* The streams each input feeds: one stream each, or every stream of a
     * kind when the profile's streams are bit-rate alternatives. */
    std::vector<std::vector<int>> inputs;
    std::vector<std::pair<std::string, std::string>> attributes;
    std::vector<WmSink *> sinks;
    AVPacket *pkt = nullptr;
    unsigned videoFrames = 0, silenceFills = 0;
    ULONGLONG audioOut = 0;
    HRESULT sinkError = S_OK;

    void Close();
    HRESULT OpenStream(Stream &s);
    HRESULT Drain(int index);
    HRESULT Deliver(int index);
    HRESULT EncodeAudioFrames(Stream &s, int index, bool final);
    HRESULT PadSilence(Stream &s, int index, long long upToSamples);
    int VideoIndex() const;
    int AudioIndex() const;
    HRESULT WriteVideo(int index, ULONGLONG time, const BYTE *data, DWORD length);
    HRESULT WriteAudio(int index, const BYTE *data, DWORD length);
};

int WmWriter::Impl::VideoIndex() const
{
    for (size_t i = 0; i < streams.size(); i++)
        if (streams[i].config.video) return (int)i;
    return -1;
}

int WmWriter::Impl::AudioIndex() const
{
    for (size_t i = 0; i < streams.size(); i++)
        if (!streams[i].config.video) return (int)i;
    return -1;
}

void WmWriter::Impl::Close()
{
    for (auto &s : streams) {
        avcodec_free_context(&s.enc);
        av_frame_free(&s.frame);
        if (s.sws) { sws_freeContext(s.sws); s.sws = nullptr; }
        swr_free(&s.swr);
        if (s.fifo) { av_audio_fifo_free(s.fifo); s.fifo = nullptr; }
        s.lastPts = -1;
        s.samplesQueued = s.samplesEncoded = 0;
    }
    writing = false;
}

HRESULT WmWriter::Impl::OpenStream(Stream &s)
{
    const AVCodec *codec = avcodec_find_encoder_by_name(s.config.codec.c_str());
    if (!codec) return WMW_E_NOT_CONFIGURED;
    s.enc = avcodec_alloc_context3(codec);
    s.frame = av_frame_alloc();
    if (!s.enc || !s.frame) return E_OUTOFMEMORY;
    s.enc->bit_rate = s.config.bitrate;
    /* The WMA encoder here takes no less than 24 kbit/s: the low-rate
       profiles (dial-up, ISDN) ask for 16 kbit/s and would refuse to start.
       Their sound is coded at the encoder's floor instead. */
    if (!s.config.video && (s.config.codec == "wmav1" || s.config.codec == "wmav2") && s.enc->bit_rate < 24000)
        s.enc->bit_rate = 24000;
    s.enc->thread_count = 1;
    s.enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (s.config.video) {
        const WmInputFormat &in = s.input;
        if (in.width <= 0 || in.height == 0 || (in.bitCount != 24 && in.bitCount != 32))
            return WMW_E_INVALID_INPUT_FORMAT;
        LONGLONG period = in.avgTimePerFrame > 0 ? in.avgTimePerFrame : s.config.avgTimePerFrame;
        if (period <= 0) period = 400000;
        s.input.avgTimePerFrame = period;
        int h = in.height < 0 ? -in.height : in.height;
        /* The pictures are coded at the profile's size, whatever size
         * comes in; a profile without a size keeps the input's. */
        int outW = in.width, outH = h;
        if (s.config.width > 0 && s.config.height > 0) {
            outW = s.config.width;
            outH = s.config.height;
        }
        /* The video coders take even widths only. */
        outW = std::max(2, outW & ~1);
        s.enc->width = outW;
        s.enc->height = outH;
        s.enc->pix_fmt = AV_PIX_FMT_YUV420P;
        AVRational tb;
        av_reduce(&tb.num, &tb.den, period, 10000000, INT_MAX);
        s.enc->time_base = tb;
        s.enc->framerate = AVRational{tb.den, tb.num};
        int gop = (int)((LONGLONG)s.config.keySpacingMs * 10000 / period);
        s.enc->gop_size = std::max(1, std::min(gop, 300));
        s.enc->max_b_frames = 0;
        if (avcodec_open2(s.enc, codec, nullptr) < 0) return WMW_E_NOT_CONFIGURED;
        s.frame->format = AV_PIX_FMT_YUV420P;
        s.frame->width = outW;
        s.frame->height = outH;
        if (av_frame_get_buffer(s.frame, 32) < 0) return E_OUTOFMEMORY;
        /* One pass converts the colours and scales to the coded size. */
        s.sws = sws_getContext(in.width, h, in.bitCount == 24 ? AV_PIX_FMT_BGR24 : AV_PIX_FMT_BGRA,
                               outW, outH, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (!s.sws) return E_OUTOFMEMORY;
    } else {
        const WmInputFormat &in = s.input;
        if (in.sampleRate <= 0 || in.channels < 1 || in.channels > 2 ||
            (in.bitsPerSample != 16 && in.bitsPerSample != 8))
            return WMW_E_INVALID_INPUT_FORMAT;
        s.enc->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
        s.enc->sample_rate = s.config.sampleRate;
        av_channel_layout_default(&s.enc->ch_layout, s.config.channels);
        s.enc->time_base = AVRational{1, s.config.sampleRate};
        if (avcodec_open2(s.enc, codec, nullptr) < 0) return WMW_E_NOT_CONFIGURED;
        s.frameSize = s.enc->frame_size > 0 ? s.enc->frame_size : 1024;
        AVChannelLayout inLayout;
        av_channel_layout_default(&inLayout, in.channels);
        if (swr_alloc_set_opts2(&s.swr, &s.enc->ch_layout, s.enc->sample_fmt, s.enc->sample_rate,
                                &inLayout, in.bitsPerSample == 8 ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16,
                                in.sampleRate, 0, nullptr) < 0 || swr_init(s.swr) < 0)
            return E_OUTOFMEMORY;
        s.fifo = av_audio_fifo_alloc(s.enc->sample_fmt, s.config.channels, s.frameSize * 4);
        if (!s.fifo) return E_OUTOFMEMORY;
        s.frame->format = s.enc->sample_fmt;
        s.frame->nb_samples = s.frameSize;
        av_channel_layout_copy(&s.frame->ch_layout, &s.enc->ch_layout);
        s.frame->sample_rate = s.enc->sample_rate;
        if (av_frame_get_buffer(s.frame, 0) < 0) return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT WmWriter::Impl::Deliver(int index)
{
    Stream &s = streams[index];
    HRESULT first = S_OK;
    for (WmSink *sink : sinks) {
        HRESULT hr = sink->OnPacket(index, pkt);
        if (FAILED(hr) && SUCCEEDED(first)) first = hr;
    }
    (void)s;
    if (FAILED(first)) sinkError = first;
    return first;
}

/* Hand every packet the encoder has ready to the sinks. */
HRESULT WmWriter::Impl::Drain(int index)
{
    Stream &s = streams[index];
    HRESULT result = S_OK;
    for (;;) {
        int r = avcodec_receive_packet(s.enc, pkt);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) break;
        if (r < 0) return E_FAIL;
        if (s.config.video && pkt->duration <= 0) pkt->duration = 1;
        HRESULT hr = Deliver(index);
        if (FAILED(hr)) result = hr;
        av_packet_unref(pkt);
    }
    return result;
}

HRESULT WmWriter::Impl::EncodeAudioFrames(Stream &s, int index, bool final)
{
    HRESULT result = S_OK;
    for (;;) {
        int have = av_audio_fifo_size(s.fifo);
        if (have <= 0 || (have < s.frameSize && !final)) break;
        int n = std::min(have, s.frameSize);
        if (av_frame_make_writable(s.frame) < 0) return E_OUTOFMEMORY;
        av_audio_fifo_read(s.fifo, reinterpret_cast<void **>(s.frame->data), n);
        if (n < s.frameSize)    /* the last frame is filled with silence */
            av_samples_set_silence(s.frame->data, n, s.frameSize - n, s.config.channels, s.enc->sample_fmt);
        s.frame->nb_samples = s.frameSize;
        s.frame->pts = s.samplesEncoded;
        s.samplesEncoded += s.frameSize;
        if (index == AudioIndex()) audioOut = (ULONGLONG)s.samplesEncoded;
        if (avcodec_send_frame(s.enc, s.frame) < 0) return E_FAIL;
        HRESULT hr = Drain(index);
        if (FAILED(hr)) result = hr;
    }
    return result;
}

/* Silence into the fifo until `upToSamples` samples have been queued. */
HRESULT WmWriter::Impl::PadSilence(Stream &s, int index, long long upToSamples)
{
    long long missing = upToSamples - s.samplesQueued;
    if (missing <= 0) return S_OK;
    silenceFills++;
    uint8_t *planes[8] = {};
    int chunk = s.frameSize;
    if (av_samples_alloc(planes, nullptr, s.config.channels, chunk, s.enc->sample_fmt, 0) < 0)
        return E_OUTOFMEMORY;
    av_samples_set_silence(planes, 0, chunk, s.config.channels, s.enc->sample_fmt);
    HRESULT hr = S_OK;
    while (missing > 0 && SUCCEEDED(hr)) {
        int n = (int)std::min<long long>(missing, chunk);
        av_audio_fifo_write(s.fifo, reinterpret_cast<void **>(planes), n);
        s.samplesQueued += n;
        missing -= n;
        hr = EncodeAudioFrames(s, index, false);
    }
    av_freep(&planes[0]);
    return hr;
}

WmWriter::WmWriter() : m(new Impl)
{
    InitializeCriticalSection(&m->cs);
    m->pkt = av_packet_alloc();
}

WmWriter::~WmWriter()
{
    EnterCriticalSection(&m->cs);
    m->Close();
    LeaveCriticalSection(&m->cs);
    av_packet_free(&m->pkt);
    DeleteCriticalSection(&m->cs);
    delete m;
}

HRESULT WmWriter::SetProfile(const WmProfile &profile)
{
    EnterCriticalSection(&m->cs);
    HRESULT hr = S_OK;
    int videos = 0, audios = 0;
    for (auto &c : profile.streams) (c.video ? videos : audios)++;
    if (m->writing) hr = WMW_E_INVALID_REQUEST;
    else if (profile.streams.empty() || (!profile.mutualExclusion && (videos > 1 || audios > 1)))
        hr = E_INVALIDARG;
    else {
        for (auto &c : profile.streams)
            if (!avcodec_find_encoder_by_name(c.codec.c_str()) || c.bitrate <= 0 ||
                (c.video ? (c.avgTimePerFrame <= 0 || c.width < 0 || c.width > 8192 || c.height < 0 ||
                            c.height > 8192)
                         : (c.sampleRate <= 0 || c.channels < 1 || c.channels > 2)))
                hr = E_INVALIDARG;
    }
    if (SUCCEEDED(hr)) {
        m->Close();
        m->streams.clear();
        for (auto &c : profile.streams) {
            Stream s;
            s.config = c;
            s.input.video = c.video;
            if (c.video) {
                s.input.width = c.width > 0 ? c.width : 320;
                s.input.height = c.height > 0 ? c.height : 240;
                s.input.bitCount = 24;
                s.input.avgTimePerFrame = c.avgTimePerFrame;
            } else {
                s.input.sampleRate = c.sampleRate;
                s.input.channels = c.channels;
                s.input.bitsPerSample = 16;
            }
            m->streams.push_back(s);
        }
        m->inputs.clear();
        int videoInput = -1, audioInput = -1;
        for (size_t i = 0; i < m->streams.size(); i++) {
            int &shared = m->streams[i].config.video ? videoInput : audioInput;
            if (profile.mutualExclusion && shared >= 0) {
                m->inputs[shared].push_back((int)i);
                continue;
            }
            shared = (int)m->inputs.size();
            m->inputs.push_back({(int)i});
        }
        m->haveProfile = true;
    }
    LeaveCriticalSection(&m->cs);
    return hr;
}

DWORD WmWriter::InputCount() const
{
    EnterCriticalSection(&m->cs);
    DWORD n = (DWORD)m->inputs.size();
    LeaveCriticalSection(&m->cs);
    return n;
}

HRESULT WmWriter::GetInputFormat(DWORD input, WmInputFormat *out) const
{
    if (!out) return E_POINTER;
    EnterCriticalSection(&m->cs);
    HRESULT hr = input < m->inputs.size() ? S_OK : E_INVALIDARG;
    if (SUCCEEDED(hr)) *out = m->streams[m->inputs[input][0]].input;
    LeaveCriticalSection(&m->cs);
    return hr;
}

HRESULT WmWriter::SetInputFormat(DWORD input, const WmInputFormat &f)
{
    EnterCriticalSection(&m->cs);
    HRESULT hr = S_OK;
    if (input >= m->inputs.size()) hr = E_INVALIDARG;
    else if (m->writing) hr = WMW_E_INVALID_REQUEST;
    else if (f.video != m->streams[m->inputs[input][0]].config.video) hr = WMW_E_INVALID_INPUT_FORMAT;
    else if (f.video ? (f.width <= 0 || f.width > 8192 || f.height == 0 || f.height > 8192 ||
                        f.height < -8192 || (f.bitCount != 24 && f.bitCount != 32))
                     : (f.sampleRate < 1000 || f.sampleRate > 192000 || f.channels < 1 ||
                        f.channels > 2 || (f.bitsPerSample != 8 && f.bitsPerSample != 16)))
        hr = WMW_E_INVALID_INPUT_FORMAT;
    else
        for (int i : m->inputs[input]) m->streams[i].input = f;
    LeaveCriticalSection(&m->cs);
    return hr;
}

HRESULT WmWriter::SetAttribute(WORD, const WCHAR *name, const WCHAR *value)
{
    if (!name || !name[0]) return E_INVALIDARG;
    std::string key = attribute_key(narrow(name)), v = narrow(value);
    EnterCriticalSection(&m->cs);
    bool found = false;
    for (auto &a : m->attributes)
        if (a.first == key) { a.second = v; found = true; }
    if (!found) m->attributes.emplace_back(key, v);
    LeaveCriticalSection(&m->cs);
    return S_OK;
}

HRESULT WmWriter::AddSink(WmSink *sink)
{
    if (!sink) return E_POINTER;
    EnterCriticalSection(&m->cs);
    HRESULT hr = S_OK;
    if (m->writing) hr = WMW_E_INVALID_REQUEST;
    else if (std::find(m->sinks.begin(), m->sinks.end(), sink) != m->sinks.end()) hr = E_INVALIDARG;
    else m->sinks.push_back(sink);
    LeaveCriticalSection(&m->cs);
    return hr;
}

HRESULT WmWriter::RemoveSink(WmSink *sink)
{
    EnterCriticalSection(&m->cs);
    auto it = std::find(m->sinks.begin(), m->sinks.end(), sink);
    HRESULT hr = E_INVALIDARG;
    if (it != m->sinks.end()) {
        /* A sink leaving while writing is finished first. */
        if (m->writing) (*it)->OnEnd();
        m->sinks.erase(it);
        hr = S_OK;
    }
    LeaveCriticalSection(&m->cs);
    return hr;
}

HRESULT WmWriter::SetLiveSource(BOOL live)
{
    EnterCriticalSection(&m->cs);
    m->live = live != FALSE;
    LeaveCriticalSection(&m->cs);
    return S_OK;
}

HRESULT WmWriter::BeginWriting()
{
    EnterCriticalSection(&m->cs);
    HRESULT hr = S_OK;
    if (!m->haveProfile) hr = WMW_E_NOT_CONFIGURED;
    else if (m->writing) {
        LeaveCriticalSection(&m->cs);
        return WMW_E_INVALID_REQUEST;
    }
    for (size_t i = 0; SUCCEEDED(hr) && i < m->streams.size(); i++)
        hr = m->OpenStream(m->streams[i]);
    std::vector<WmSinkStream> info;
    if (SUCCEEDED(hr)) {
        for (auto &s : m->streams) {
            AVCodecParameters *par = avcodec_parameters_alloc();
            avcodec_parameters_from_context(par, s.enc);
            info.push_back(WmSinkStream{par, s.enc->time_base.num, s.enc->time_base.den});
        }
        for (size_t i = 0; SUCCEEDED(hr) && i < m->sinks.size(); i++) {
            hr = m->sinks[i]->OnBegin(info, m->attributes);
            if (FAILED(hr))
                for (size_t j = 0; j < i; j++) m->sinks[j]->OnEnd();
        }
        for (auto &i : info) {
            AVCodecParameters *p = const_cast<AVCodecParameters *>(i.par);
            avcodec_parameters_free(&p);
        }
    }
    if (FAILED(hr)) m->Close();
    else {
        m->writing = true;
        m->videoFrames = 0;
        m->silenceFills = 0;
        m->audioOut = 0;
        m->sinkError = S_OK;
    }
    LeaveCriticalSection(&m->cs);
    return hr;
}

HRESULT WmWriter::WriteSample(DWORD input, ULONGLONG time, DWORD, const BYTE *data, DWORD length)
{
    EnterCriticalSection(&m->cs);
    HRESULT hr = S_OK;
    if (!m->writing) hr = WMW_E_INVALID_REQUEST;
    else if (input >= m->inputs.size()) hr = E_INVALIDARG;
    else if (!data && length) hr = E_POINTER;
    if (FAILED(hr)) { LeaveCriticalSection(&m->cs); return hr; }

    /* Every alternative of the input codes the same sample. */
    const bool video = m->streams[m->inputs[input][0]].config.video;
    for (int i : m->inputs[input]) {
        HRESULT r = video ? m->WriteVideo(i, time, data, length) : m->WriteAudio(i, data, length);
        if (FAILED(r) && SUCCEEDED(hr)) hr = r;
    }
    if (video) m->videoFrames++;
    LeaveCriticalSection(&m->cs);
    return hr;
}

HRESULT WmWriter::Impl::WriteVideo(int index, ULONGLONG time, const BYTE *data, DWORD length)
{
    HRESULT hr = S_OK;
    Stream &s = streams[index];
    {
        int h = s.input.height < 0 ? -s.input.height : s.input.height;
        int stride = s.input.width * (s.input.bitCount / 8);   /* packed rows */
        if ((ULONGLONG)length < (ULONGLONG)stride * h) hr = E_INVALIDARG;
        else if (av_frame_make_writable(s.frame) < 0) hr = E_OUTOFMEMORY;
        else {
            const uint8_t *src[1];
            int srcStride[1];
            if (s.input.height > 0) {   /* bottom-up rows */
                src[0] = data + (size_t)stride * (h - 1);
                srcStride[0] = -stride;
            } else {
                src[0] = data;
                srcStride[0] = stride;
            }
            sws_scale(s.sws, src, srcStride, 0, h, s.frame->data, s.frame->linesize);
            long long pts = llround((double)time / (double)s.input.avgTimePerFrame);
            if (pts <= s.lastPts) pts = s.lastPts + 1;
            s.lastPts = pts;
            s.frame->pts = pts;
            if (avcodec_send_frame(s.enc, s.frame) < 0) hr = E_FAIL;
            else hr = Drain(index);
            /* A live source that stopped sending sound: keep the audio
             * track moving with silence once it lags by more than 1 s. */
            for (size_t a = 0; live && index == VideoIndex() && a < streams.size(); a++) {
                Stream &as = streams[a];
                if (as.config.video || !as.enc) continue;
                double videoEnd = (double)(pts + 1) * s.input.avgTimePerFrame / 1e7;
                long long want = (long long)((videoEnd - 0.5) * as.config.sampleRate);
                if (as.samplesQueued + as.config.sampleRate < (long long)(videoEnd * as.config.sampleRate))
                    PadSilence(as, (int)a, want);
            }
        }
    }
    return hr;
}

HRESULT WmWriter::Impl::WriteAudio(int index, const BYTE *data, DWORD length)
{
    HRESULT hr = S_OK;
    Stream &s = streams[index];
    {
        int frameBytes = s.input.channels * s.input.bitsPerSample / 8;
        int count = (int)(length / (DWORD)frameBytes);
        if (count > 0) {
            int outMax = swr_get_out_samples(s.swr, count);
            uint8_t *planes[8] = {};
            if (av_samples_alloc(planes, nullptr, s.config.channels, outMax, s.enc->sample_fmt, 0) < 0)
                hr = E_OUTOFMEMORY;
            else {
                const uint8_t *in[1] = {data};
                int got = swr_convert(s.swr, planes, outMax, in, count);
                if (got > 0) {
                    av_audio_fifo_write(s.fifo, reinterpret_cast<void **>(planes), got);
                    s.samplesQueued += got;
                    hr = EncodeAudioFrames(s, index, false);
                }
                av_freep(&planes[0]);
            }
        }
    }
    return hr;
}

HRESULT WmWriter::Flush()
{
    EnterCriticalSection(&m->cs);
    HRESULT hr = S_OK;
    if (m->writing) {
        /* The sound track is as long as the pictures: silence where no
         * sound came. */
        int v = m->VideoIndex();
        for (size_t a = 0; v >= 0 && m->streams[v].lastPts >= 0 && a < m->streams.size(); a++) {
            Stream &vs = m->streams[v], &as = m->streams[a];
            if (as.config.video || !as.enc) continue;
            double end = (double)(vs.lastPts + 1) * vs.input.avgTimePerFrame / 1e7;
            long long want = (long long)(end * as.config.sampleRate);
            /* Whole frames, at least as long as the pictures. */
            want += (as.frameSize - want % as.frameSize) % as.frameSize;
            m->PadSilence(as, (int)a, want);
        }
        for (size_t i = 0; i < m->streams.size(); i++) {
            Stream &s = m->streams[i];
            if (!s.enc) continue;
            if (!s.config.video) m->EncodeAudioFrames(s, (int)i, true);
        }
    }
    LeaveCriticalSection(&m->cs);
    return hr;
}

HRESULT WmWriter::EndWriting()
{
    EnterCriticalSection(&m->cs);
    HRESULT hr = S_OK;
    if (!m->writing) hr = WMW_E_INVALID_REQUEST;
    else {
        LeaveCriticalSection(&m->cs);
        Flush();
        EnterCriticalSection(&m->cs);
        for (size_t i = 0; i < m->streams.size(); i++) {
            Stream &s = m->streams[i];
            if (!s.enc) continue;
            avcodec_send_frame(s.enc, nullptr);
            m->Drain((int)i);
        }
        for (WmSink *sink : m->sinks) {
            HRESULT r = sink->OnEnd();
            if (FAILED(r) && SUCCEEDED(hr)) hr = r;
        }
        m->Close();
    }
    LeaveCriticalSection(&m->cs);
    return hr;
}

unsigned WmWriter::videoFrames() const { return m->videoFrames; }
ULONGLONG WmWriter::audioSamples() const { return m->audioOut; }
unsigned WmWriter::silenceFills() const { return m->silenceFills; }
