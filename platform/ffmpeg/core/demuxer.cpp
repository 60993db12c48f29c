// File opening and packet reading over libavformat.
#include "ffcore.h"

#include <cstring>
#include <deque>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace ffcore {

struct Demuxer::Impl {
  AVFormatContext* fmt = nullptr;
  AVPacket* pkt = nullptr;
  std::vector<int> avIndexToOurs;   // libav stream index -> streams() index, -1 dropped
  std::vector<int64_t> startTicks;  // file start in each kept stream's time base
  std::vector<bool> ptsSeen;        // a kept stream has given a presentation time
  std::deque<Packet> pending;       // read ahead while checking a seek
  std::string path;
  ~Impl() {
    av_packet_free(&pkt);
    avformat_close_input(&fmt);
  }
};

Demuxer::Demuxer() = default;
Demuxer::~Demuxer() { close(); }

void Demuxer::close() {
  d_.reset();
  streams_.clear();
  video_ = audio_ = -1;
  duration_ = kNoTime;
  still_ = eof_ = false;
}

static std::string avError(int e) {
  char buf[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(e, buf, sizeof buf);
  return buf;
}

static bool isStillFormat(const char* name) {
  size_t n = std::strlen(name);
  return !std::strcmp(name, "image2") || !std::strcmp(name, "gif") ||
         (n > 5 && !std::strcmp(name + n - 5, "_pipe"));
}

bool Demuxer::open(const std::string& path, std::string* err) {
  close();
  auto fail = [&](const std::string& why) {
    if (err) *err = why;
    close();
    return false;
  };
  d_ = std::make_unique<Impl>();
  d_->path = path;
  int e = avformat_open_input(&d_->fmt, path.c_str(), nullptr, nullptr);
  if (e < 0) return fail("cannot open '" + path + "': " + avError(e));
  AVFormatContext* fmt = d_->fmt;
  // A text file is recognised by libav as a "tty" picture; that is not media.
  if (!std::strcmp(fmt->iformat->name, "tty")) return fail("not a media file: '" + path + "'");
  e = avformat_find_stream_info(fmt, nullptr);
  if (e < 0) return fail("cannot read stream information: " + avError(e));

  d_->avIndexToOurs.assign(fmt->nb_streams, -1);
  for (unsigned i = 0; i < fmt->nb_streams; ++i) {
    AVStream* st = fmt->streams[i];
    AVCodecParameters* cp = st->codecpar;
    if (cp->codec_type != AVMEDIA_TYPE_VIDEO && cp->codec_type != AVMEDIA_TYPE_AUDIO) continue;
    if (cp->codec_id == AV_CODEC_ID_NONE || !avcodec_find_decoder(cp->codec_id)) continue;
    if (cp->codec_type == AVMEDIA_TYPE_VIDEO && (cp->width <= 0 || cp->height <= 0)) continue;
    if (cp->codec_type == AVMEDIA_TYPE_AUDIO &&
        (cp->sample_rate <= 0 || cp->ch_layout.nb_channels <= 0))
      continue;
    if (st->disposition & AV_DISPOSITION_ATTACHED_PIC) continue;
    StreamInfo si;
    si.index = int(streams_.size());
    CodecParams& p = si.params;
    p.kind = cp->codec_type == AVMEDIA_TYPE_VIDEO ? Kind::Video : Kind::Audio;
    p.codecId = cp->codec_id;
    p.codecTag = cp->codec_tag;
    p.format = cp->format;
    p.width = cp->width;
    p.height = cp->height;
    p.sampleRate = cp->sample_rate;
    p.channels = cp->ch_layout.nb_channels;
    p.bitsPerCodedSample = cp->bits_per_coded_sample;
    p.bitsPerRawSample = cp->bits_per_raw_sample;
    p.blockAlign = cp->block_align;
    p.frameSize = cp->frame_size;
    p.bitRate = cp->bit_rate;
    p.sampleAspect = {cp->sample_aspect_ratio.num, cp->sample_aspect_ratio.den ? cp->sample_aspect_ratio.den : 1};
    p.timeBase = {st->time_base.num, st->time_base.den};
    AVRational fr = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
    if (fr.num > 0 && fr.den > 0) p.frameRate = {fr.num, fr.den};
    if (cp->extradata_size > 0) si.extradata.assign(cp->extradata, cp->extradata + cp->extradata_size);
    si.codecName = avcodec_get_name(cp->codec_id);
    int64_t start = fmt->start_time == AV_NOPTS_VALUE
                        ? 0
                        : av_rescale_q(fmt->start_time, AV_TIME_BASE_Q, st->time_base);
    if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
      si.duration = streamToRef(st->duration, p.timeBase, 0);
    d_->avIndexToOurs[i] = si.index;
    d_->startTicks.push_back(start);
    d_->ptsSeen.push_back(false);
    if (p.kind == Kind::Video && video_ < 0) video_ = si.index;
    if (p.kind == Kind::Audio && audio_ < 0) audio_ = si.index;
    streams_.push_back(std::move(si));
  }
  if (streams_.empty()) return fail("no audio or video stream in '" + path + "'");
  // Prefer libav's own choice of the main streams.
  int bv = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (bv >= 0 && d_->avIndexToOurs[bv] >= 0) video_ = d_->avIndexToOurs[bv];
  int ba = av_find_best_stream(fmt, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  if (ba >= 0 && d_->avIndexToOurs[ba] >= 0) audio_ = d_->avIndexToOurs[ba];

  if (fmt->duration != AV_NOPTS_VALUE && fmt->duration > 0)
    duration_ = av_rescale_q(fmt->duration, AV_TIME_BASE_Q, AVRational{1, int(kUnitsPerSecond)});
  else
    for (auto& s : streams_)
      if (s.duration != kNoTime && (duration_ == kNoTime || s.duration > duration_)) duration_ = s.duration;
  still_ = audio_ < 0 && isStillFormat(fmt->iformat->name);
  d_->pkt = av_packet_alloc();
  if (!d_->pkt) return fail("out of memory");
  return true;
}

bool Demuxer::read(Packet* out) {
  if (!d_) return false;
  if (!d_->pending.empty()) {
    *out = std::move(d_->pending.front());
    d_->pending.pop_front();
    return true;
  }
  return readRaw(out);
}

bool Demuxer::readRaw(Packet* out) {
  if (!d_ || eof_) return false;
  AVPacket* pkt = d_->pkt;
  for (;;) {
    int e = av_read_frame(d_->fmt, pkt);
    if (e < 0) {
      eof_ = e == AVERROR_EOF || avio_feof(d_->fmt->pb);
      if (!eof_) eof_ = true;  // any read error ends the stream as well
      return false;
    }
    int ours = pkt->stream_index < int(d_->avIndexToOurs.size()) ? d_->avIndexToOurs[pkt->stream_index] : -1;
    if (ours < 0 || pkt->size <= 0) {
      av_packet_unref(pkt);
      continue;
    }
    const StreamInfo& si = streams_[ours];
    out->stream = ours;
    out->data.assign(pkt->data, pkt->data + pkt->size);
    // A video packet without its own presentation time gets none: its
    // decoding time is a frame early when pictures are reordered, and the
    // decoder counts on from the previous picture instead.  A keyframe of a
    // stream that never gave a presentation time is the exception: AVI holds
    // H.264 (and any codec with reordered pictures) with decoding times
    // only, each a picture's slot, and nothing decoded after a keyframe of a
    // closed group is shown before it; without it no picture would ever be
    // placed.  Streams with presentation times elsewhere (MPEG program
    // streams) keep the rule above.
    int64_t ts = pkt->pts;
    if (ts != AV_NOPTS_VALUE) d_->ptsSeen[ours] = true;
    const bool key = (pkt->flags & AV_PKT_FLAG_KEY) != 0;
    if (ts == AV_NOPTS_VALUE && (si.params.kind == Kind::Audio || (key && !d_->ptsSeen[ours]))) ts = pkt->dts;
    out->start = streamToRef(ts, si.params.timeBase, d_->startTicks[ours]);
    out->stop = out->start == kNoTime || pkt->duration <= 0
                    ? kNoTime
                    : out->start + streamToRef(pkt->duration, si.params.timeBase, 0);
    out->keyframe = (pkt->flags & AV_PKT_FLAG_KEY) != 0;
    av_packet_unref(pkt);
    return true;
  }
}

bool Demuxer::seekRaw(RefTime t) {
  d_->pending.clear();
  int64_t base = d_->fmt->start_time == AV_NOPTS_VALUE ? 0 : d_->fmt->start_time;
  int64_t ts = av_rescale_q(t, AVRational{1, int(kUnitsPerSecond)}, AV_TIME_BASE_Q) + base;
  int e = avformat_seek_file(d_->fmt, -1, INT64_MIN, ts, ts, 0);
  if (e < 0) e = av_seek_frame(d_->fmt, -1, ts, AVSEEK_FLAG_BACKWARD);
  eof_ = false;
  return e >= 0;
}

// Some containers (MPEG program streams, ASF without an index) land on any
// packet, not on a keyframe.  The first video packet after a seek is checked;
// when it is no keyframe at or before the target, the seek steps back, and as
// the last resort the file is opened afresh (which is exact for time 0).
bool Demuxer::seek(RefTime t) {
  if (!d_) return false;
  if (t < 0) t = 0;
  if (still_) {
    std::string path = d_->path, err;
    return open(path, &err);
  }
  RefTime at = t, step = 5000000;
  bool any = false;
  for (int attempt = 0; attempt < 6; ++attempt) {
    if (!seekRaw(at)) break;
    any = true;
    if (video_ < 0) return true;
    Packet p;
    bool good = false;
    for (int n = 0; n < 4000 && readRaw(&p); ++n) {
      bool isVideo = p.stream == video_;
      bool key = p.keyframe, early = p.start == kNoTime || p.start <= t + 10000;
      d_->pending.push_back(std::move(p));
      if (isVideo) {
        good = key && early;
        break;
      }
    }
    if (good) return true;
    if (at == 0) break;
    at = at > step ? at - step : 0;
    step *= 2;
  }
  if (!any && t > 0) return false;
  std::string path = d_->path, err;
  if (!open(path, &err)) return false;
  return t == 0 || seekRaw(t);
}

}  // namespace ffcore
