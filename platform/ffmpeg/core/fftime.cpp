// The two places where stream time and RefTime meet, plus the codec
// parameter blob and the log route.
#include "ffcore.h"

#include <cstring>
#include <mutex>

extern "C" {
#include <libavutil/avutil.h>
#include <libavutil/log.h>
#include <libavutil/mathematics.h>
}

namespace ffcore {

RefTime streamToRef(int64_t ts, Rational tb, int64_t start) {
  if (ts == AV_NOPTS_VALUE || tb.num <= 0 || tb.den <= 0) return kNoTime;
  int64_t s = start == AV_NOPTS_VALUE ? 0 : start;
  return av_rescale_q(ts - s, AVRational{tb.num, tb.den}, AVRational{1, int(kUnitsPerSecond)});
}

int64_t refToStream(RefTime t, Rational tb, int64_t start) {
  if (t == kNoTime || tb.num <= 0 || tb.den <= 0) return AV_NOPTS_VALUE;
  int64_t s = start == AV_NOPTS_VALUE ? 0 : start;
  return av_rescale_q(t, AVRational{1, int(kUnitsPerSecond)}, AVRational{tb.num, tb.den}) + s;
}

RefTime frameLength(Rational rate) {
  if (rate.num <= 0 || rate.den <= 0) return 400000;
  return av_rescale(kUnitsPerSecond, rate.den, rate.num);
}

RefTime stopTime(RefTime start, RefTime duration, RefTime fallback) {
  if (start == kNoTime) return kNoTime;
  return start + (duration > 0 ? duration : fallback);
}

std::vector<uint8_t> packParams(const CodecParams& p, const uint8_t* extra, size_t extraSize) {
  std::vector<uint8_t> blob(sizeof(CodecParams) + extraSize);
  CodecParams h = p;
  h.magic = CodecParams::kMagic;
  h.extradataSize = uint32_t(extraSize);
  h.size = uint32_t(blob.size());
  std::memcpy(blob.data(), &h, sizeof h);
  if (extraSize) std::memcpy(blob.data() + sizeof h, extra, extraSize);
  return blob;
}

bool unpackParams(const uint8_t* blob, size_t size, CodecParams* p, std::vector<uint8_t>* extra) {
  if (!blob || size < sizeof(CodecParams)) return false;
  CodecParams h;
  std::memcpy(&h, blob, sizeof h);
  if (h.magic != CodecParams::kMagic || h.size != size ||
      h.extradataSize != size - sizeof(CodecParams))
    return false;
  *p = h;
  if (extra) extra->assign(blob + sizeof h, blob + size);
  return true;
}

static LogSink g_sink = nullptr;
static int g_max = AV_LOG_QUIET;

static void logThunk(void* avcl, int level, const char* fmt, va_list vl) {
  if (!g_sink || level > g_max) return;
  char line[1024];
  int prefix = 1;
  av_log_format_line(avcl, level, fmt, vl, line, sizeof line, &prefix);
  g_sink(level, line);
}

void setLogSink(LogSink sink, int maxLevel) {
  g_sink = sink;
  g_max = maxLevel;
  av_log_set_level(sink ? maxLevel : AV_LOG_QUIET);
  av_log_set_callback(sink ? logThunk : av_log_default_callback);
}

}  // namespace ffcore
