// Video and audio decoding over libavcodec, with conversion to DIB RGB and
// interleaved 16-bit PCM.
#include "ffcore.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace ffcore {

static const AVRational kRefBase{1, int(kUnitsPerSecond)};

bool hasDecoder(int codecId) { return avcodec_find_decoder(AVCodecID(codecId)) != nullptr; }

// Builds a decoder context from our flat parameters.  Packet times given to
// it are RefTime, so frame times come out in RefTime.
static AVCodecContext* openContext(const CodecParams& p, const std::vector<uint8_t>& extra,
                                   bool threads, std::string* err) {
  const AVCodec* codec = avcodec_find_decoder(AVCodecID(p.codecId));
  if (!codec) {
    if (err) *err = "no decoder for codec id " + std::to_string(p.codecId);
    return nullptr;
  }
  AVCodecParameters* cp = avcodec_parameters_alloc();
  AVCodecContext* c = avcodec_alloc_context3(codec);
  if (!cp || !c) {
    avcodec_parameters_free(&cp);
    avcodec_free_context(&c);
    if (err) *err = "out of memory";
    return nullptr;
  }
  cp->codec_type = p.kind == Kind::Video ? AVMEDIA_TYPE_VIDEO : AVMEDIA_TYPE_AUDIO;
  cp->codec_id = AVCodecID(p.codecId);
  cp->codec_tag = p.codecTag;
  cp->format = p.format;
  cp->width = p.width;
  cp->height = p.height;
  cp->sample_rate = p.sampleRate;
  if (p.channels > 0) av_channel_layout_default(&cp->ch_layout, p.channels);
  cp->bits_per_coded_sample = p.bitsPerCodedSample;
  cp->bits_per_raw_sample = p.bitsPerRawSample;
  cp->block_align = p.blockAlign;
  cp->frame_size = p.frameSize;
  cp->bit_rate = p.bitRate;
  cp->sample_aspect_ratio = AVRational{p.sampleAspect.num, p.sampleAspect.den};
  if (!extra.empty()) {
    cp->extradata = static_cast<uint8_t*>(av_mallocz(extra.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (cp->extradata) {
      std::memcpy(cp->extradata, extra.data(), extra.size());
      cp->extradata_size = int(extra.size());
    }
  }
  int e = avcodec_parameters_to_context(c, cp);
  avcodec_parameters_free(&cp);
  c->pkt_timebase = kRefBase;
  if (threads) {
    c->thread_count = 0;  // as many as the machine has
    c->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
  }
  if (e >= 0) e = avcodec_open2(c, codec, nullptr);
  if (e < 0) {
    if (err) *err = std::string("cannot open decoder ") + codec->name;
    avcodec_free_context(&c);
    return nullptr;
  }
  return c;
}

// Sends one packet; EAGAIN cannot happen here because the callers drain
// every frame after each send.  Damaged data is dropped, not fatal.
static bool sendPacket(AVCodecContext* c, AVPacket* pkt, const uint8_t* data, size_t size,
                       RefTime start, RefTime stop) {
  if (av_new_packet(pkt, int(size)) < 0) return false;
  std::memcpy(pkt->data, data, size);
  pkt->pts = start == kNoTime ? AV_NOPTS_VALUE : start;
  pkt->dts = AV_NOPTS_VALUE;
  pkt->duration = start != kNoTime && stop != kNoTime && stop > start ? stop - start : 0;
  pkt->time_base = kRefBase;
  int e = avcodec_send_packet(c, pkt);
  av_packet_unref(pkt);
  return e >= 0 || e == AVERROR_INVALIDDATA || e == AVERROR(EAGAIN) || e == AVERROR_EOF;
}

// ---------------------------------------------------------------------------
int dibStride(int width, PixelOut f) {
  int bpp = f == PixelOut::BGR24 ? 3 : 4;
  return (width * bpp + 3) & ~3;
}

struct VideoDecoder::Impl {
  AVCodecContext* c = nullptr;
  AVPacket* pkt = nullptr;
  AVFrame* frame = nullptr;
  SwsContext* sws = nullptr;
  RefTime frameTime = 400000;
  RefTime next = kNoTime;  // extrapolated start of the next picture
  ~Impl() {
    sws_freeContext(sws);
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&c);
  }
};

VideoDecoder::VideoDecoder() = default;
VideoDecoder::~VideoDecoder() = default;
void VideoDecoder::close() { d_.reset(); }
int VideoDecoder::width() const { return d_ ? d_->c->width : 0; }
int VideoDecoder::height() const { return d_ ? d_->c->height : 0; }
RefTime VideoDecoder::frameTime() const { return d_ ? d_->frameTime : 400000; }

bool VideoDecoder::open(const CodecParams& p, const std::vector<uint8_t>& extra, std::string* err) {
  close();
  if (p.kind != Kind::Video) {
    if (err) *err = "not a video stream";
    return false;
  }
  auto d = std::make_unique<Impl>();
  d->c = openContext(p, extra, true, err);
  if (!d->c) return false;
  d->pkt = av_packet_alloc();
  d->frame = av_frame_alloc();
  if (!d->pkt || !d->frame) return false;
  d->frameTime = frameLength(p.frameRate);
  d_ = std::move(d);
  return true;
}

bool VideoDecoder::send(const uint8_t* data, size_t size, RefTime start, RefTime stop) {
  if (!d_) return false;
  if (!data || !size) return true;
  return sendPacket(d_->c, d_->pkt, data, size, start, stop);
}

bool VideoDecoder::sendEnd() {
  if (!d_) return false;
  int e = avcodec_send_packet(d_->c, nullptr);
  return e >= 0 || e == AVERROR_EOF;
}

void VideoDecoder::flush() {
  if (!d_) return;
  avcodec_flush_buffers(d_->c);
  d_->next = kNoTime;
}

// Takes the next decoded frame into d_->frame with its times; false when none.
static bool pullFrame(AVCodecContext* c, AVFrame* fr, RefTime frameTime, RefTime* next,
                      RefTime* start, RefTime* stop) {
  if (avcodec_receive_frame(c, fr) < 0) return false;
  RefTime t = fr->best_effort_timestamp == AV_NOPTS_VALUE ? *next : fr->best_effort_timestamp;
  RefTime len = fr->pkt_duration > 0 ? fr->pkt_duration : frameTime;
  if (t != kNoTime) *next = t + len;
  if (start) *start = t;
  if (stop) *stop = stopTime(t, len, frameTime);
  return true;
}

// Converts d_->frame (then releases it) into a bottom-up DIB of w x h.
static bool convertFrame(SwsContext** sws, AVFrame* fr, PixelOut f, int w, int h, uint8_t* dst) {
  AVPixelFormat out = f == PixelOut::BGR24 ? AV_PIX_FMT_BGR24 : AV_PIX_FMT_BGRA;
  *sws = sws_getCachedContext(*sws, fr->width, fr->height, AVPixelFormat(fr->format), w, h, out,
                              SWS_BICUBIC, nullptr, nullptr, nullptr);
  if (!*sws) {
    av_frame_unref(fr);
    return false;
  }
  // Bottom-up DIB: start at the last row and walk backwards.
  int stride = dibStride(w, f);
  uint8_t* planes[4] = {dst + size_t(stride) * (h - 1), nullptr, nullptr, nullptr};
  int strides[4] = {-stride, 0, 0, 0};
  sws_scale(*sws, fr->data, fr->linesize, 0, fr->height, planes, strides);
  av_frame_unref(fr);
  return true;
}

bool VideoDecoder::receiveInto(PixelOut f, int w, int h, uint8_t* dst, RefTime* start, RefTime* stop) {
  if (!d_ || w <= 0 || h <= 0 || !dst) return false;
  if (!pullFrame(d_->c, d_->frame, d_->frameTime, &d_->next, start, stop)) return false;
  return convertFrame(&d_->sws, d_->frame, f, w, h, dst);
}

bool VideoDecoder::pull(RefTime* start, RefTime* stop) {
  if (!d_) return false;
  return pullFrame(d_->c, d_->frame, d_->frameTime, &d_->next, start, stop);
}

bool VideoDecoder::convert(PixelOut f, int w, int h, uint8_t* dst) {
  if (!d_ || w <= 0 || h <= 0 || !dst || !d_->frame->buf[0]) return false;
  return convertFrame(&d_->sws, d_->frame, f, w, h, dst);
}

void VideoDecoder::drop() {
  if (d_) av_frame_unref(d_->frame);
}

bool VideoDecoder::receive(PixelOut f, Picture* pic) {
  if (!d_) return false;
  if (!pullFrame(d_->c, d_->frame, d_->frameTime, &d_->next, &pic->start, &pic->stop)) return false;
  pic->width = d_->frame->width;
  pic->height = d_->frame->height;
  pic->format = f;
  pic->stride = dibStride(pic->width, f);
  pic->bits.resize(size_t(pic->stride) * pic->height);
  return convertFrame(&d_->sws, d_->frame, f, pic->width, pic->height, pic->bits.data());
}

// ---------------------------------------------------------------------------
struct AudioDecoder::Impl {
  AVCodecContext* c = nullptr;
  AVPacket* pkt = nullptr;
  AVFrame* frame = nullptr;
  SwrContext* swr = nullptr;
  PcmFormat out;
  int swrInRate = 0, swrInFmt = -1, swrInCh = 0;
  RefTime base = kNoTime;   // time of the first sample since the last flush
  int64_t samplesOut = 0;   // samples delivered since base
  ~Impl() {
    swr_free(&swr);
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&c);
  }
};

AudioDecoder::AudioDecoder() = default;
AudioDecoder::~AudioDecoder() = default;
void AudioDecoder::close() { d_.reset(); }

bool AudioDecoder::open(const CodecParams& p, const std::vector<uint8_t>& extra, std::string* err) {
  close();
  if (p.kind != Kind::Audio || p.sampleRate <= 0 || p.channels <= 0) {
    if (err) *err = "not an audio stream";
    return false;
  }
  auto d = std::make_unique<Impl>();
  d->c = openContext(p, extra, false, err);
  if (!d->c) return false;
  d->pkt = av_packet_alloc();
  d->frame = av_frame_alloc();
  if (!d->pkt || !d->frame) return false;
  d_ = std::move(d);
  d_->out = nativeFormat();
  return true;
}

PcmFormat AudioDecoder::nativeFormat() const {
  if (!d_) return {};
  int ch = d_->c->ch_layout.nb_channels;
  return {d_->c->sample_rate, ch > 2 ? 2 : ch};
}

void AudioDecoder::setOutput(PcmFormat f) {
  if (!d_ || f.sampleRate <= 0 || f.channels < 1 || f.channels > 2) return;
  if (f.sampleRate == d_->out.sampleRate && f.channels == d_->out.channels) return;
  d_->out = f;
  swr_free(&d_->swr);
  d_->swrInRate = 0;
  d_->base = kNoTime;
  d_->samplesOut = 0;
}

PcmFormat AudioDecoder::output() const { return d_ ? d_->out : PcmFormat{}; }

bool AudioDecoder::send(const uint8_t* data, size_t size, RefTime start) {
  if (!d_) return false;
  if (!data || !size) return true;
  return sendPacket(d_->c, d_->pkt, data, size, start, kNoTime);
}

bool AudioDecoder::sendEnd() {
  if (!d_) return false;
  int e = avcodec_send_packet(d_->c, nullptr);
  return e >= 0 || e == AVERROR_EOF;
}

void AudioDecoder::flush() {
  if (!d_) return;
  avcodec_flush_buffers(d_->c);
  if (d_->swr) {
    swr_free(&d_->swr);
    d_->swrInRate = 0;
  }
  d_->base = kNoTime;
  d_->samplesOut = 0;
}

bool AudioDecoder::receive(std::vector<uint8_t>* pcm, RefTime* start, RefTime* stop) {
  if (!d_) return false;
  AVFrame* fr = d_->frame;
  for (;;) {
    if (avcodec_receive_frame(d_->c, fr) < 0) return false;
    if (fr->nb_samples <= 0) {
      av_frame_unref(fr);
      continue;
    }
    break;
  }
  Impl& d = *d_;
  if (!d.swr || d.swrInRate != fr->sample_rate || d.swrInFmt != fr->format ||
      d.swrInCh != fr->ch_layout.nb_channels) {
    swr_free(&d.swr);
    AVChannelLayout outLayout;
    av_channel_layout_default(&outLayout, d.out.channels);
    if (swr_alloc_set_opts2(&d.swr, &outLayout, AV_SAMPLE_FMT_S16, d.out.sampleRate, &fr->ch_layout,
                            AVSampleFormat(fr->format), fr->sample_rate, 0, nullptr) < 0 ||
        swr_init(d.swr) < 0) {
      swr_free(&d.swr);
      av_frame_unref(fr);
      return false;
    }
    d.swrInRate = fr->sample_rate;
    d.swrInFmt = fr->format;
    d.swrInCh = fr->ch_layout.nb_channels;
  }
  if (d.base == kNoTime) {
    RefTime t = fr->best_effort_timestamp;
    d.base = t == AV_NOPTS_VALUE ? 0 : t;
    d.samplesOut = 0;
  }
  int maxOut = swr_get_out_samples(d.swr, fr->nb_samples);
  int bpf = 2 * d.out.channels;
  pcm->resize(size_t(maxOut > 0 ? maxOut : 0) * bpf);
  uint8_t* outp = pcm->data();
  int got = swr_convert(d.swr, &outp, maxOut, const_cast<const uint8_t**>(fr->extended_data), fr->nb_samples);
  av_frame_unref(fr);
  if (got < 0) got = 0;
  pcm->resize(size_t(got) * bpf);
  RefTime t0 = d.base + av_rescale(d.samplesOut, kUnitsPerSecond, d.out.sampleRate);
  d.samplesOut += got;
  RefTime t1 = d.base + av_rescale(d.samplesOut, kUnitsPerSecond, d.out.sampleRate);
  if (start) *start = t0;
  if (stop) *stop = t1;
  return true;
}

// ---------------------------------------------------------------------------
struct PcmConverter::Impl {
  SwrContext* swr = nullptr;
  PcmFormat in, out;
  int inBits = 16;
  ~Impl() { swr_free(&swr); }
};

PcmConverter::PcmConverter() = default;
PcmConverter::~PcmConverter() = default;
void PcmConverter::close() { d_.reset(); }

bool PcmConverter::open(PcmFormat in, int inBits, PcmFormat out) {
  close();
  if (in.sampleRate <= 0 || out.sampleRate <= 0 || in.channels < 1 || in.channels > 2 || out.channels < 1 ||
      out.channels > 2 || (inBits != 8 && inBits != 16))
    return false;
  auto d = std::make_unique<Impl>();
  d->in = in;
  d->out = out;
  d->inBits = inBits;
  AVChannelLayout inL, outL;
  av_channel_layout_default(&inL, in.channels);
  av_channel_layout_default(&outL, out.channels);
  if (swr_alloc_set_opts2(&d->swr, &outL, AV_SAMPLE_FMT_S16, out.sampleRate, &inL,
                          inBits == 8 ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16, in.sampleRate, 0, nullptr) < 0 ||
      swr_init(d->swr) < 0)
    return false;
  d_ = std::move(d);
  return true;
}

bool PcmConverter::convert(const uint8_t* data, size_t size, std::vector<uint8_t>* out) {
  out->clear();
  if (!d_) return false;
  const int inFrame = d_->in.channels * d_->inBits / 8;
  const int frames = int(size / inFrame);
  const int maxOut = swr_get_out_samples(d_->swr, frames);
  if (maxOut < 0) return false;
  out->resize(size_t(maxOut) * 2 * d_->out.channels);
  uint8_t* o = out->data();
  const uint8_t* i = data;
  int got = swr_convert(d_->swr, &o, maxOut, frames ? &i : nullptr, frames);
  if (got < 0) return false;
  out->resize(size_t(got) * 2 * d_->out.channels);
  return true;
}

bool PcmConverter::drain(std::vector<uint8_t>* out) { return convert(nullptr, 0, out); }

void PcmConverter::flush() {
  if (d_) open(d_->in, d_->inBits, d_->out);
}

}  // namespace ffcore
