// DV frames over FFmpeg: the dvvideo codec for pictures, the dv muxer and
// demuxer for the sound carried in the frame's audio DIF blocks.
#include "dvcodec.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace capdevs {

namespace {
LONG Stride(int w, int bpp) { return (w * bpp + 3) & ~3; }
const AVRational kFrameRate = {25, 1};
}  // namespace

DvEncoder::DvEncoder() = default;

DvEncoder::~DvEncoder() {
    CloseMuxer();
    avcodec_free_context(&enc_);
    av_frame_free(&yuv_);
    av_packet_free(&pkt_);
    sws_freeContext(sws_);
}

int DvEncoder::Write(void* opaque, uint8_t* buf, int size) {
    auto* self = static_cast<DvEncoder*>(opaque);
    self->out_.insert(self->out_.end(), buf, buf + size);
    return size;
}

bool DvEncoder::Open() {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_DVVIDEO);
    if (!codec) return false;
    enc_ = avcodec_alloc_context3(codec);
    yuv_ = av_frame_alloc();
    pkt_ = av_packet_alloc();
    if (!enc_ || !yuv_ || !pkt_) return false;
    enc_->width = kDvWidth;
    enc_->height = kDvHeight;
    enc_->pix_fmt = AV_PIX_FMT_YUV420P;
    enc_->time_base = AVRational{1, 25};
    enc_->framerate = kFrameRate;
    enc_->sample_aspect_ratio = AVRational{16, 15};
    if (avcodec_open2(enc_, codec, nullptr) < 0) return false;
    yuv_->format = AV_PIX_FMT_YUV420P;
    yuv_->width = kDvWidth;
    yuv_->height = kDvHeight;
    if (av_frame_get_buffer(yuv_, 32) < 0) return false;
    sws_ = sws_getContext(kDvWidth, kDvHeight, AV_PIX_FMT_BGR24, kDvWidth, kDvHeight, AV_PIX_FMT_YUV420P,
                          SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!sws_) return false;
    if (!OpenMuxer()) return false;
    open_ = true;
    return true;
}

void DvEncoder::CloseMuxer() {
    if (!mux_) return;
    if (muxing_) av_write_trailer(mux_);
    if (mux_->pb) {
        av_freep(&mux_->pb->buffer);
        avio_context_free(&mux_->pb);
    }
    avformat_free_context(mux_);
    mux_ = nullptr;
    muxing_ = false;
}

// The dv muxer keeps each sound stream in a ring of 100 of FFmpeg's largest
// audio frames (19.2 MB) and writes on along it: every frame touches 7680
// new bytes until the ring wraps after 100 s, so a playing camcorder's
// memory grew by 11 MB a minute.  A muxer is used for kMuxerFrames frames
// (it holds nothing between frames) and then made afresh, which keeps the
// ring's touched part under 1 MB.
bool DvEncoder::OpenMuxer() {
    CloseMuxer();
    muxed_ = 0;
    if (avformat_alloc_output_context2(&mux_, av_guess_format("dv", nullptr, nullptr), nullptr, nullptr) < 0)
        return false;
    const int bufSize = 65536;
    auto* buf = static_cast<unsigned char*>(av_malloc(bufSize));
    if (!buf) return false;
    mux_->pb = avio_alloc_context(buf, bufSize, 1, this, nullptr, Write, nullptr);
    if (!mux_->pb) { av_free(buf); return false; }
    mux_->flags |= AVFMT_FLAG_CUSTOM_IO;
    AVStream* vs = avformat_new_stream(mux_, nullptr);
    AVStream* as = avformat_new_stream(mux_, nullptr);
    if (!vs || !as) return false;
    avcodec_parameters_from_context(vs->codecpar, enc_);
    vs->time_base = AVRational{1, 25};
    vs->avg_frame_rate = vs->r_frame_rate = kFrameRate;
    as->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
    as->codecpar->codec_id = AV_CODEC_ID_PCM_S16LE;
    as->codecpar->sample_rate = kDvRate;
    av_channel_layout_default(&as->codecpar->ch_layout, 2);
    as->codecpar->format = AV_SAMPLE_FMT_S16;
    as->time_base = AVRational{1, kDvRate};
    if (avformat_write_header(mux_, nullptr) < 0) return false;
    muxing_ = true;
    return true;
}

bool DvEncoder::Encode(const BYTE* picture, const int16_t* pcm, BYTE* frame) {
    if (!open_) {
        if (failed_ || !Open()) { failed_ = true; return false; }
    }
    if (muxed_ >= kMuxerFrames && out_.empty() && !OpenMuxer()) { failed_ = true; open_ = false; return false; }
    // Bottom-up rows: start at the last and step back.
    const LONG stride = Stride(kDvWidth, 3);
    const uint8_t* src[1] = {picture + (size_t)stride * (kDvHeight - 1)};
    int srcStride[1] = {-(int)stride};
    if (av_frame_make_writable(yuv_) < 0) return false;
    sws_scale(sws_, src, srcStride, 0, kDvHeight, yuv_->data, yuv_->linesize);
    yuv_->pts = n_;
    if (avcodec_send_frame(enc_, yuv_) < 0) return false;
    if (avcodec_receive_packet(enc_, pkt_) < 0) return false;
    pkt_->stream_index = 0;
    pkt_->pts = pkt_->dts = n_;
    pkt_->duration = 1;
    int r = av_write_frame(mux_, pkt_);
    av_packet_unref(pkt_);
    if (r < 0) return false;

    AVPacket* a = av_packet_alloc();
    if (!a) return false;
    if (av_new_packet(a, kDvSamplesPerFrame * 4) < 0) { av_packet_free(&a); return false; }
    memcpy(a->data, pcm, kDvSamplesPerFrame * 4);
    a->stream_index = 1;
    a->pts = a->dts = n_ * kDvSamplesPerFrame;
    a->duration = kDvSamplesPerFrame;
    r = av_write_frame(mux_, a);
    av_packet_free(&a);
    if (r < 0) return false;
    avio_flush(mux_->pb);
    n_++;
    if ((LONG)out_.size() < kDvFrameBytes) return false;
    memcpy(frame, out_.data(), kDvFrameBytes);
    out_.erase(out_.begin(), out_.begin() + kDvFrameBytes);
    muxed_++;
    return true;
}

DvDecoder::DvDecoder() = default;

DvDecoder::~DvDecoder() {
    avcodec_free_context(&dec_);
    av_frame_free(&pic_);
    av_packet_free(&pkt_);
    sws_freeContext(sws_);
}

bool DvDecoder::Picture(const BYTE* frame, LONG size, BYTE* out, int width, int height, int bpp) {
    if (!frame || size < kDvFrameBytes || width <= 0 || height <= 0 || (bpp != 3 && bpp != 4)) return false;
    if (!dec_) {
        const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_DVVIDEO);
        if (!codec) return false;
        dec_ = avcodec_alloc_context3(codec);
        pic_ = av_frame_alloc();
        pkt_ = av_packet_alloc();
        if (!dec_ || !pic_ || !pkt_) return false;
        dec_->thread_count = 1;
        if (avcodec_open2(dec_, codec, nullptr) < 0) { avcodec_free_context(&dec_); return false; }
    }
    if (av_new_packet(pkt_, (int)size) < 0) return false;
    memcpy(pkt_->data, frame, (size_t)size);
    int r = avcodec_send_packet(dec_, pkt_);
    av_packet_unref(pkt_);
    if (r < 0) return false;
    if (avcodec_receive_frame(dec_, pic_) < 0) return false;
    const AVPixelFormat dst = bpp == 4 ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR24;
    sws_ = sws_getCachedContext(sws_, pic_->width, pic_->height, (AVPixelFormat)pic_->format, width, height, dst,
                                SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!sws_) { av_frame_unref(pic_); return false; }
    const LONG stride = Stride(width, bpp);
    uint8_t* rows[1] = {out + (size_t)stride * (height - 1)};
    int strides[1] = {-(int)stride};
    sws_scale(sws_, pic_->data, pic_->linesize, 0, pic_->height, rows, strides);
    av_frame_unref(pic_);
    return true;
}

namespace {
struct MemoryReader {
    const BYTE* data;
    LONG size, pos;
    static int Read(void* opaque, uint8_t* buf, int n) {
        auto* m = static_cast<MemoryReader*>(opaque);
        LONG left = m->size - m->pos;
        if (left <= 0) return AVERROR_EOF;
        if (n > left) n = (int)left;
        memcpy(buf, m->data + m->pos, (size_t)n);
        m->pos += n;
        return n;
    }
};
}  // namespace

bool DvDecoder::Sound(const BYTE* frame, LONG size, std::vector<int16_t>* pcm, int* rate, int* channels) {
    if (!frame || size < kDvFrameBytes || !pcm) return false;
    // One frame read by FFmpeg's dv demuxer from memory: the audio DIF
    // blocks come out as one PCM packet.
    MemoryReader m = {frame, size, 0};
    const int bufSize = 32768;
    auto* buf = static_cast<unsigned char*>(av_malloc(bufSize));
    if (!buf) return false;
    AVIOContext* io = avio_alloc_context(buf, bufSize, 0, &m, MemoryReader::Read, nullptr, nullptr);
    if (!io) { av_free(buf); return false; }
    AVFormatContext* fmt = avformat_alloc_context();
    bool ok = false;
    if (fmt) {
        fmt->pb = io;
        fmt->flags |= AVFMT_FLAG_CUSTOM_IO;
        if (avformat_open_input(&fmt, nullptr, av_find_input_format("dv"), nullptr) == 0) {
            AVPacket* p = av_packet_alloc();
            for (int i = 0; p && i < 4 && av_read_frame(fmt, p) >= 0; i++) {
                AVStream* st = fmt->streams[p->stream_index];
                if (st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && st->codecpar->codec_id == AV_CODEC_ID_PCM_S16LE) {
                    const int ch = st->codecpar->ch_layout.nb_channels;
                    if (ch > 0 && p->size > 0) {
                        const int16_t* s = reinterpret_cast<const int16_t*>(p->data);
                        pcm->insert(pcm->end(), s, s + p->size / 2);
                        if (rate) *rate = st->codecpar->sample_rate;
                        if (channels) *channels = ch;
                        ok = true;
                    }
                }
                av_packet_unref(p);
                if (ok) break;
            }
            av_packet_free(&p);
            avformat_close_input(&fmt);
        } else {
            fmt = nullptr;
        }
        if (fmt) avformat_free_context(fmt);
    }
    av_freep(&io->buffer);
    avio_context_free(&io);
    return ok;
}

}  // namespace capdevs
