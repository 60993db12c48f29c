/*
 * The reader thread's stream: packets from FFmpeg's asf demuxer, decoded
 * and converted to the outputs' formats, stamped in 100-ns units from the
 * stream's start.
 */
#include "wmreader_int.h"

#include <nserror.h>
#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/opt.h>
}

namespace wmr {

namespace {
const AVRational kHns = {1, 10000000};
}

LONGLONG Demux::TimeOf(int output, int64_t pts) const
{
    if (pts == AV_NOPTS_VALUE) return -1;
    AVStream *st = fmt->streams[outputs[output].stream];
    LONGLONG t = av_rescale_q(pts, st->time_base, kHns) - startTime * 10;
    return std::max<LONGLONG>(t, 0);
}

bool Demux::Convert(int output, AVFrame *f, std::deque<Sample> *out)
{
    const OutputFormat &of = outputs[output].format;
    LONGLONG t = TimeOf(output, f->best_effort_timestamp);
    /* A frame without a time (what a decoder drains at the end) follows
     * the one before it. */
    if (t < 0) t = nextTime[output];
    DWORD flags = 0;
    if (discontinuity) { flags |= WMR_SF_DISCONTINUITY; discontinuity = false; }

    if (of.video) {
        AVPixelFormat dst = of.bitCount == 32 ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR24;
        sws[output] = sws_getCachedContext(sws[output], f->width, f->height, (AVPixelFormat)f->format, of.width,
                                           of.height, dst, SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (!sws[output]) return false;
        auto *b = new Buffer(of.FrameBytes());
        int stride = (int)(of.FrameBytes() / (DWORD)of.height);
        /* Rows bottom-up: start at the last row and walk back. */
        uint8_t *dstRows[4] = {b->data.data() + (size_t)stride * (of.height - 1), nullptr, nullptr, nullptr};
        int dstStride[4] = {-stride, 0, 0, 0};
        sws_scale(sws[output], f->data, f->linesize, 0, f->height, dstRows, dstStride);
        if (f->key_frame) flags |= WMR_SF_CLEANPOINT;
        LONGLONG dur = of.frameTime;
        if (dur <= 0 && f->pkt_duration > 0)
            dur = av_rescale_q(f->pkt_duration, fmt->streams[outputs[output].stream]->time_base, kHns);
        out->push_back({(DWORD)output, t, dur, flags, b});
        nextTime[output] = t + std::max<LONGLONG>(dur, 0);
        return true;
    }

    /* Sound: 16-bit interleaved at the output's rate and channel count. */
    int key = f->sample_rate * 1000 + f->format * 16 + f->ch_layout.nb_channels;
    int outKey = of.sampleRate * 16 + of.channels;
    if (!swr[output] || swrKey[output * 2] != key || swrKey[output * 2 + 1] != outKey) {
        swr_free(&swr[output]);
        AVChannelLayout outLayout, inLayout;
        av_channel_layout_default(&outLayout, of.channels);
        if (f->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) av_channel_layout_default(&inLayout, f->ch_layout.nb_channels);
        else av_channel_layout_copy(&inLayout, &f->ch_layout);
        int r = swr_alloc_set_opts2(&swr[output], &outLayout, AV_SAMPLE_FMT_S16, of.sampleRate, &inLayout,
                                    (AVSampleFormat)f->format, f->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&inLayout);
        av_channel_layout_uninit(&outLayout);
        if (r < 0 || swr_init(swr[output]) < 0) { swr_free(&swr[output]); return false; }
        swrKey[output * 2] = key;
        swrKey[output * 2 + 1] = outKey;
    }
    int room = swr_get_out_samples(swr[output], f->nb_samples);
    if (room <= 0) return false;
    auto *b = new Buffer((DWORD)(room * of.channels * 2));
    uint8_t *dst[1] = {b->data.data()};
    int n = swr_convert(swr[output], dst, room, (const uint8_t **)f->extended_data, f->nb_samples);
    if (n <= 0) { b->Release(); return false; }
    b->length = (DWORD)(n * of.channels * 2);
    LONGLONG dur = (LONGLONG)n * 10000000 / of.sampleRate;
    out->push_back({(DWORD)output, t, dur, flags | WMR_SF_CLEANPOINT, b});
    nextTime[output] = t + dur;
    return true;
}

HRESULT Demux::Decode(int output, AVPacket *packet, bool withAudio, std::deque<Sample> *out)
{
    if (!outputs[output].format.video && !withAudio) return S_OK;
    /* A stream joined late or sought starts at a key frame, as a picture
     * decoded from anything else is half made. */
    if (outputs[output].format.video && packet && needKey[output]) {
        if (!(packet->flags & AV_PKT_FLAG_KEY)) return S_OK;
        needKey[output] = 0;
    }
    AVCodecContext *c = decs[output];
    if (avcodec_send_packet(c, packet) < 0 && packet) return S_OK;   /* a damaged packet is passed over */
    while (avcodec_receive_frame(c, frame) == 0) {
        Convert(output, frame, out);
        av_frame_unref(frame);
    }
    return S_OK;
}

HRESULT Demux::Next(bool withAudio, std::deque<Sample> *out)
{
    if (!pkt) pkt = av_packet_alloc();
    if (!frame) frame = av_frame_alloc();
    if (!pkt || !frame) return E_OUTOFMEMORY;
    /* Outputs whose format changed since the last sample get new converters
     * on first use: the keys above notice. */
    for (;;) {
        owner->Arm();
        int r = av_read_frame(fmt, pkt);
        if (r < 0) {
            if (owner->abort) return E_ABORT;
            if (owner->timedOut) return NS_E_TIMEOUT;
            if (r == AVERROR_EOF && !(fmt->pb && fmt->pb->error < 0)) {
                /* Drain what the decoders still hold. */
                for (size_t i = 0; i < decs.size(); i++) Decode((int)i, nullptr, withAudio, out);
                for (auto *c : decs) avcodec_flush_buffers(c);
                return out->empty() ? S_FALSE : S_OK;
            }
            /* The connection broke or the bytes stopped making sense. */
            int err = r == AVERROR_EOF ? fmt->pb->error : r;
            if (err == AVERROR_INVALIDDATA) return NS_E_INVALID_DATA;
            return NS_E_CONNECTION_FAILURE;
        }
        for (size_t i = 0; i < outputs.size(); i++) {
            if (outputs[i].stream != pkt->stream_index) continue;
            Decode((int)i, pkt, withAudio, out);
            break;
        }
        av_packet_unref(pkt);
        if (!out->empty()) return S_OK;
    }
}

void Demux::Seek(LONGLONG t)
{
    owner->Arm();
    int64_t ts = startTime + t / 10;
    av_seek_frame(fmt, -1, ts, AVSEEK_FLAG_BACKWARD);
    for (auto *c : decs) avcodec_flush_buffers(c);
    discontinuity = true;
    for (auto &n : nextTime) n = t;
    for (auto &k : needKey) k = 1;
}

HRESULT Demux::PictureAt(LONGLONG t, std::deque<Sample> *out)
{
    Seek(t);
    std::deque<Sample> got;
    Sample best = {0, 0, 0, 0, nullptr};
    for (int packets = 0; packets < 2000; packets++) {
        HRESULT hr = Next(false, &got);
        if (FAILED(hr)) { if (best.buffer) best.buffer->Release(); return hr; }
        bool done = hr == S_FALSE;
        while (!got.empty()) {
            Sample s = got.front();
            got.pop_front();
            if (best.buffer) best.buffer->Release();
            best = s;
            if (s.time + std::max<LONGLONG>(s.duration, 1) > t) done = true;
        }
        if (done) break;
    }
    DropSamples(&got);
    if (!best.buffer) return S_FALSE;
    best.time = t;
    best.flags |= WMR_SF_CLEANPOINT;
    out->push_back(best);
    return S_OK;
}

void Demux::Close()
{
    for (auto *&c : decs) avcodec_free_context(&c);
    for (auto *&s : sws) { sws_freeContext(s); s = nullptr; }
    for (auto *&s : swr) swr_free(&s);
    av_packet_free(&pkt);
    av_frame_free(&frame);
    if (fmt) avformat_close_input(&fmt);
    decs.clear();
}

} // namespace wmr
