// ffcore: plain C++ over libavformat / libavcodec / libswscale / libswresample.
//
// No COM here.  The DirectShow shells in platform/ffmpeg wrap these objects;
// tests and the benchmark call them directly.  Every object belongs to the one
// thread that calls it (the shells serialise access with their own locks).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ffcore {

// ---------------------------------------------------------------------------
// Time.  DirectShow time is 100 ns units ("RefTime").  Stream time meets
// RefTime in exactly the two functions below; the stream's start time is
// removed there and nowhere else.
using RefTime = int64_t;
constexpr RefTime kNoTime = INT64_MIN;          // "no time", explicit
constexpr RefTime kUnitsPerSecond = 10000000;

struct Rational { int num = 0, den = 1; };

// Stream timestamp -> RefTime relative to the stream start.  ts or start may be
// "no timestamp" (INT64_MIN, as libav uses); a missing ts gives kNoTime, a
// missing start counts as 0.
RefTime streamToRef(int64_t ts, Rational timeBase, int64_t start);
// RefTime relative to the stream start -> stream timestamp (inverse of above).
int64_t refToStream(RefTime t, Rational timeBase, int64_t start);
// Length of one frame (1/frameRate) in RefTime; a zero or invalid rate gives
// the fallback (40 ms, one PAL frame).
RefTime frameLength(Rational frameRate);
// Stop time for a sample: start + duration when the duration is known (> 0),
// else start + fallback.  kNoTime start gives kNoTime.
RefTime stopTime(RefTime start, RefTime duration, RefTime fallback);

// ---------------------------------------------------------------------------
// Codec parameters as a flat, copyable record, so that the splitter can pass
// them to a decoder inside a media type's format block.
enum class Kind : int32_t { Other = 0, Video = 1, Audio = 2 };

struct CodecParams {
  static constexpr uint32_t kMagic = 0x50434646;  // 'FFCP'
  uint32_t magic = kMagic;
  uint32_t size = 0;            // bytes of the whole blob (header + extradata)
  Kind kind = Kind::Other;
  int32_t codecId = 0;          // AVCodecID
  uint32_t codecTag = 0;
  int32_t format = -1;          // AVPixelFormat / AVSampleFormat
  int32_t width = 0, height = 0;
  int32_t sampleRate = 0, channels = 0;
  int32_t bitsPerCodedSample = 0, bitsPerRawSample = 0, blockAlign = 0, frameSize = 0;
  int64_t bitRate = 0;
  Rational sampleAspect{0, 1};
  Rational timeBase{1, 1};      // of the packets the splitter delivers
  Rational frameRate{0, 1};     // average, 0/1 when unknown
  uint32_t extradataSize = 0;   // bytes following this header
  uint32_t reserved = 0;
};
static_assert(sizeof(CodecParams) == 96, "CodecParams is a wire record");

// Serialised form: header followed by extradata.
std::vector<uint8_t> packParams(const CodecParams& p, const uint8_t* extra, size_t extraSize);
// Checks magic and sizes; false for anything truncated or inconsistent.
bool unpackParams(const uint8_t* blob, size_t size, CodecParams* p,
                  std::vector<uint8_t>* extra);

// ---------------------------------------------------------------------------
struct StreamInfo {
  int index = -1;
  CodecParams params;
  std::vector<uint8_t> extradata;
  std::string codecName;
  RefTime duration = kNoTime;   // of the stream, start removed
};

struct Packet {
  int stream = -1;
  std::vector<uint8_t> data;
  RefTime start = kNoTime;      // relative to the file start
  RefTime stop = kNoTime;
  bool keyframe = false;
};

// Opens a file (UTF-8 Unix path) and reads its packets.
class Demuxer {
 public:
  Demuxer();
  ~Demuxer();
  Demuxer(const Demuxer&) = delete;
  Demuxer& operator=(const Demuxer&) = delete;

  // false with *err set for a missing, empty, truncated or unknown file and
  // for a file with neither an audio nor a video stream.
  bool open(const std::string& path, std::string* err);
  void close();

  const std::vector<StreamInfo>& streams() const { return streams_; }
  int bestVideo() const { return video_; }  // index into streams(), -1 none
  int bestAudio() const { return audio_; }
  RefTime duration() const { return duration_; }
  bool isStill() const { return still_; }    // a single-picture image format

  // Next packet of a kept stream (video/audio only).  false at the end or on a
  // read error (eof() tells which).
  bool read(Packet* pkt);
  bool eof() const { return eof_; }
  // Seeks so that the next packets of every stream start at or before t
  // (keyframe); t relative to the file start.
  bool seek(RefTime t);

 private:
  bool readRaw(Packet* pkt);
  bool seekRaw(RefTime t);
  struct Impl;
  std::unique_ptr<Impl> d_;
  std::vector<StreamInfo> streams_;
  int video_ = -1, audio_ = -1;
  RefTime duration_ = kNoTime;
  bool still_ = false, eof_ = false;
};

// ---------------------------------------------------------------------------
enum class PixelOut { BGR24, BGRA32 };

// A decoded picture as a DIB: rows bottom-up (positive height), each row
// padded to 4 bytes.
struct Picture {
  int width = 0, height = 0, stride = 0;
  PixelOut format = PixelOut::BGR24;
  RefTime start = kNoTime, stop = kNoTime;
  std::vector<uint8_t> bits;
};
int dibStride(int width, PixelOut f);

class VideoDecoder {
 public:
  VideoDecoder();
  ~VideoDecoder();
  bool open(const CodecParams& p, const std::vector<uint8_t>& extra, std::string* err);
  void close();
  int width() const;
  int height() const;
  // Hands one packet over; false on a hard error (a damaged packet is skipped
  // and reported as true).  Pictures come out of receive().
  bool send(const uint8_t* data, size_t size, RefTime start, RefTime stop);
  bool sendEnd();     // no more packets: drain
  // Next picture converted to the format asked; false when none is ready.
  bool receive(PixelOut f, Picture* pic);
  // Like receive, into caller memory of dibStride*height bytes (the frame
  // is scaled to w x h when it differs).
  bool receiveInto(PixelOut f, int w, int h, uint8_t* dst, RefTime* start, RefTime* stop);
  // Two-step form for callers that must fetch an output buffer first:
  // pull() takes the next picture and its times (false when none is ready),
  // then exactly one of convert() or drop() releases it.
  bool pull(RefTime* start, RefTime* stop);
  bool convert(PixelOut f, int w, int h, uint8_t* dst);
  void drop();
  void flush();
  // Frame length used for a missing stop time.
  RefTime frameTime() const;
 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

// Interleaved signed 16-bit PCM.
struct PcmFormat { int sampleRate = 0, channels = 0; };

class AudioDecoder {
 public:
  AudioDecoder();
  ~AudioDecoder();
  bool open(const CodecParams& p, const std::vector<uint8_t>& extra, std::string* err);
  void close();
  // The stream's own rate, with at most two channels.
  PcmFormat nativeFormat() const;
  // Output format; may change between buffers (a new converter is made).
  void setOutput(PcmFormat f);
  PcmFormat output() const;
  bool send(const uint8_t* data, size_t size, RefTime start);
  bool sendEnd();
  // Next block of PCM; start/stop computed from the first input time and
  // the number of samples delivered since (no drift).
  bool receive(std::vector<uint8_t>* pcm, RefTime* start, RefTime* stop);
  void flush();
 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

// PCM to PCM: 8- or 16-bit interleaved in, 16-bit interleaved out, any rate,
// one or two channels each side.
class PcmConverter {
 public:
  PcmConverter();
  ~PcmConverter();
  bool open(PcmFormat in, int inBits, PcmFormat out);
  void close();
  // Converts a block; samples the resampler still holds come with later
  // blocks or with drain().
  bool convert(const uint8_t* data, size_t size, std::vector<uint8_t>* out);
  bool drain(std::vector<uint8_t>* out);
  void flush();  // forget held samples
 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

// True when libavcodec has a decoder for this codec id.
bool hasDecoder(int codecId);

// FFmpeg's own log: sent to this sink (level as av_log's), quiet by default.
using LogSink = void (*)(int level, const char* line);
void setLogSink(LogSink sink, int maxLevel);

}  // namespace ffcore
