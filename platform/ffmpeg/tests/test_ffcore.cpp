// The FFmpeg core without any COM: time conversion, parameter blobs, opening,
// decoding, seeking and bad input.
#include <catch2/catch.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "clips.h"
#include "ffcore.h"

using namespace ffcore;

TEST_CASE("stream time and RefTime convert both ways", "[time]") {
  struct Case { Rational tb; int64_t start; int64_t ts; RefTime ref; };
  const Case cases[] = {
      {{1, 90000}, 0, 90000, 10000000},
      {{1, 90000}, 900, 90900, 10000000},        // start removed
      {{1, 90000}, 90000, 45000, -5000000},      // before the start
      {{1001, 30000}, 0, 30, 10010000},          // 30 frames of 29.97
      {{1001, 30000}, 0, 1, 333667},             // one frame, rounded to nearest
      {{1001, 30000}, 10, 40, 10010000},
      {{1, 1000}, INT64_MIN, 1500, 15000000},    // unknown start counts as 0
      {{1, 10000000}, 5, 5, 0},
  };
  for (const Case& c : cases) {
    CAPTURE(c.tb.num, c.tb.den, c.start, c.ts);
    CHECK(streamToRef(c.ts, c.tb, c.start) == c.ref);
    // Back to stream ticks: exact for whole ticks.
    CHECK(refToStream(c.ref, c.tb, c.start) == (c.start == INT64_MIN ? c.ts : c.ts));
  }
  SECTION("no time stays no time") {
    CHECK(streamToRef(INT64_MIN, {1, 90000}, 0) == kNoTime);
    CHECK(refToStream(kNoTime, {1, 90000}, 0) == INT64_MIN);
    CHECK(streamToRef(100, {0, 0}, 0) == kNoTime);  // broken time base
  }
  SECTION("a missing stop is start plus one frame") {
    CHECK(frameLength({30000, 1001}) == 333667);
    CHECK(frameLength({25, 1}) == 400000);
    CHECK(frameLength({0, 1}) == 400000);
    CHECK(stopTime(1000, 0, frameLength({30000, 1001})) == 1000 + 333667);
    CHECK(stopTime(1000, 500, 400000) == 1500);
    CHECK(stopTime(kNoTime, 500, 400000) == kNoTime);
  }
  SECTION("long positions do not overflow") {
    // 10 hours at 90 kHz.
    int64_t ts = int64_t(36000) * 90000;
    CHECK(streamToRef(ts, {1, 90000}, 0) == int64_t(36000) * kUnitsPerSecond);
  }
}

TEST_CASE("codec parameter blobs round-trip and refuse damage", "[params]") {
  CodecParams p;
  p.kind = Kind::Video;
  p.codecId = 12;
  p.width = 720;
  p.height = 576;
  p.timeBase = {1, 90000};
  const uint8_t extra[] = {1, 2, 3, 4, 5};
  auto blob = packParams(p, extra, sizeof extra);
  REQUIRE(blob.size() == sizeof(CodecParams) + 5);
  CodecParams q;
  std::vector<uint8_t> ex;
  REQUIRE(unpackParams(blob.data(), blob.size(), &q, &ex));
  CHECK(q.width == 720);
  CHECK(q.timeBase.den == 90000);
  CHECK(ex == std::vector<uint8_t>(extra, extra + 5));

  SECTION("truncated") { CHECK_FALSE(unpackParams(blob.data(), blob.size() - 1, &q, &ex)); }
  SECTION("header only") { CHECK_FALSE(unpackParams(blob.data(), 20, &q, &ex)); }
  SECTION("wrong magic") {
    blob[0] ^= 0xff;
    CHECK_FALSE(unpackParams(blob.data(), blob.size(), &q, &ex));
  }
  SECTION("extradata size lies") {
    CodecParams h;
    std::memcpy(&h, blob.data(), sizeof h);
    h.extradataSize = 1000;
    std::memcpy(blob.data(), &h, sizeof h);
    CHECK_FALSE(unpackParams(blob.data(), blob.size(), &q, &ex));
  }
  SECTION("null") { CHECK_FALSE(unpackParams(nullptr, 0, &q, &ex)); }
}

namespace {
struct ClipCase {
  const char* name;
  bool video, audio, still;
  double seconds;  // expected duration, 0 for stills
};
const ClipCase kClips[] = {
    {"bars.avi", true, true, false, 2.0},  {"bars1.mpg", true, true, false, 2.0},
    {"bars2.mpg", true, true, false, 2.0}, {"bars.vob", true, true, false, 2.0},
    {"bars.dat", true, true, false, 2.0},  {"bars.wmv", true, true, false, 2.0},
    {"bars.mov", true, true, false, 2.0},  {"tone.mp3", false, true, false, 2.0},
    {"tone.wav", false, true, false, 2.0}, {"tone.wma", false, true, false, 2.0},
    {"bars.jpg", true, false, true, 0},    {"bars.bmp", true, false, true, 0},
    {"bars.gif", true, false, true, 0},    {"bars.tga", true, false, true, 0},
};

struct Rgb { int r, g, b; };
// Pixel (x, y) with y counted from the top of the picture.
Rgb pixelAt(const Picture& p, int x, int y) {
  const uint8_t* row = p.bits.data() + size_t(p.stride) * (p.height - 1 - y);
  int bpp = p.format == PixelOut::BGR24 ? 3 : 4;
  const uint8_t* px = row + x * bpp;
  return {px[2], px[1], px[0]};
}
bool near(Rgb a, Rgb b, int tol) {
  return std::abs(a.r - b.r) <= tol && std::abs(a.g - b.g) <= tol && std::abs(a.b - b.b) <= tol;
}

// Decodes the first picture of the main video stream at or after `from`.
bool firstPicture(Demuxer& dm, PixelOut f, Picture* pic, RefTime from = 0) {
  const StreamInfo& si = dm.streams()[dm.bestVideo()];
  VideoDecoder vd;
  std::string err;
  if (!vd.open(si.params, si.extradata, &err)) return false;
  Packet pkt;
  while (dm.read(&pkt)) {
    if (pkt.stream != si.index) continue;
    REQUIRE(vd.send(pkt.data.data(), pkt.data.size(), pkt.start, pkt.stop));
    while (vd.receive(f, pic))
      if (pic->start == kNoTime || pic->start >= from) return true;
  }
  vd.sendEnd();
  while (vd.receive(f, pic))
    if (pic->start == kNoTime || pic->start >= from) return true;
  return false;
}
}  // namespace

TEST_CASE("every clip kind opens with its streams and duration", "[open]") {
  for (const ClipCase& c : kClips) {
    CAPTURE(c.name);
    Demuxer dm;
    std::string err;
    REQUIRE(dm.open(clipPath(c.name), &err));
    CHECK((dm.bestVideo() >= 0) == c.video);
    CHECK((dm.bestAudio() >= 0) == c.audio);
    CHECK(dm.isStill() == c.still);
    if (c.seconds > 0) {
      REQUIRE(dm.duration() != kNoTime);
      CHECK(std::abs(dm.duration() / 1e7 - c.seconds) < 0.15);
    }
  }
}

TEST_CASE("decoded pictures show the colour bars the right way up", "[video]") {
  const Rgb red{255, 0, 0}, green{0, 255, 0}, blue{0, 0, 255}, white{255, 255, 255}, yellow{255, 255, 0};
  for (const ClipCase& c : kClips) {
    if (!c.video) continue;
    for (PixelOut f : {PixelOut::BGR24, PixelOut::BGRA32}) {
      CAPTURE(c.name, int(f));
      Demuxer dm;
      std::string err;
      REQUIRE(dm.open(clipPath(c.name), &err));
      Picture pic;
      REQUIRE(firstPicture(dm, f, &pic));
      REQUIRE(pic.width == 320);
      REQUIRE(pic.height == 240);
      CHECK(pic.stride == dibStride(320, f));
      // GIF has a 256-colour palette, JPEG/MPEG chroma subsampling: allow 48.
      CHECK(near(pixelAt(pic, 40, 60), red, 48));
      CHECK(near(pixelAt(pic, 120, 60), green, 48));
      CHECK(near(pixelAt(pic, 200, 60), blue, 48));
      CHECK(near(pixelAt(pic, 280, 60), white, 48));
      CHECK(near(pixelAt(pic, 160, 200), yellow, 48));
      if (!c.still) CHECK(pic.start != kNoTime);
    }
  }
}

TEST_CASE("odd widths keep DIB rows padded to 4 bytes", "[video]") {
  CHECK(dibStride(1, PixelOut::BGR24) == 4);
  CHECK(dibStride(3, PixelOut::BGR24) == 12);
  CHECK(dibStride(5, PixelOut::BGR24) == 16);
  CHECK(dibStride(5, PixelOut::BGRA32) == 20);
}

namespace {
// Frequency of a 16-bit interleaved signal's first channel: upward crossings
// through a band of a quarter of the peak (so codec noise near zero does not
// count), over the middle of the signal.
double toneFrequency(const std::vector<int16_t>& s, int channels, int rate) {
  size_t frames = s.size() / channels;
  int peak = 0;
  for (size_t i = 0; i < frames; ++i) peak = std::max(peak, std::abs(int(s[i * channels])));
  const int band = peak / 4;
  if (band == 0) return 0;
  int crossings = 0;
  size_t first = 0, last = 0;
  bool low = false;
  for (size_t i = frames / 10; i < frames - frames / 10; ++i) {
    int v = s[i * channels];
    if (v < -band) low = true;
    if (low && v > band) {
      low = false;
      if (!crossings) first = i;
      last = i;
      ++crossings;
    }
  }
  if (crossings < 2) return 0;
  return (crossings - 1) * double(rate) / double(last - first);
}
}  // namespace

TEST_CASE("a 1 kHz tone decodes as 1 kHz at the native rate and at 22050 Hz stereo", "[audio]") {
  const char* files[] = {"tone.wav", "tone.mp3", "tone.wma", "bars.avi", "bars1.mpg", "bars.wmv", "bars.mov"};
  for (const char* name : files)
    for (bool resample : {false, true}) {
      CAPTURE(name, resample);
      Demuxer dm;
      std::string err;
      REQUIRE(dm.open(clipPath(name), &err));
      const StreamInfo& si = dm.streams()[dm.bestAudio()];
      AudioDecoder ad;
      REQUIRE(ad.open(si.params, si.extradata, &err));
      CHECK(ad.nativeFormat().sampleRate == 44100);
      if (resample) ad.setOutput({22050, 2});
      PcmFormat of = ad.output();
      std::vector<int16_t> all;
      std::vector<uint8_t> pcm;
      RefTime start, stop, expect = kNoTime;
      bool contiguous = true;
      Packet pkt;
      auto drain = [&] {
        while (ad.receive(&pcm, &start, &stop)) {
          if (expect != kNoTime && std::llabs(start - expect) > 1) contiguous = false;
          expect = stop;
          RefTime len = RefTime(pcm.size() / (2 * of.channels)) * kUnitsPerSecond / of.sampleRate;
          CHECK(std::llabs(stop - start - len) <= 1);
          size_t n = pcm.size() / 2;
          size_t at = all.size();
          all.resize(at + n);
          std::memcpy(all.data() + at, pcm.data(), n * 2);
        }
      };
      while (dm.read(&pkt)) {
        if (pkt.stream != si.index) continue;
        REQUIRE(ad.send(pkt.data.data(), pkt.data.size(), pkt.start));
        drain();
      }
      ad.sendEnd();
      drain();
      CHECK(contiguous);
      double secs = double(all.size()) / of.channels / of.sampleRate;
      CHECK(secs == Approx(2.0).margin(0.1));
      CHECK(toneFrequency(all, of.channels, of.sampleRate) == Approx(1000).margin(5));
    }
}

TEST_CASE("seeking lands on a keyframe at or before the target", "[seek]") {
  const char* files[] = {"bars.avi", "bars1.mpg", "bars2.mpg", "bars.wmv", "bars.mov"};
  for (const char* name : files) {
    CAPTURE(name);
    Demuxer dm;
    std::string err;
    REQUIRE(dm.open(clipPath(name), &err));
    const RefTime target = 12000000;  // 1.2 s
    REQUIRE(dm.seek(target));
    Packet pkt;
    // The first video packet after the seek starts no later than the target.
    RefTime firstVideo = kNoTime;
    while (dm.read(&pkt))
      if (pkt.stream == dm.bestVideo() && pkt.start != kNoTime) {
        firstVideo = pkt.start;
        break;
      }
    REQUIRE(firstVideo != kNoTime);
    CHECK(firstVideo <= target + 10000);
    // Decoding on reaches the target picture.
    REQUIRE(dm.seek(target));
    Picture pic;
    REQUIRE(firstPicture(dm, PixelOut::BGR24, &pic, target - 10000));
    CHECK(pic.start >= target - 10000);
    CHECK(pic.start < target + 800000);
    // And back to the start.
    REQUIRE(dm.seek(0));
    REQUIRE(firstPicture(dm, PixelOut::BGR24, &pic));
    CHECK(pic.start < 600000);  // ASF stamps its first picture at 46 ms
  }
}

TEST_CASE("bad input gives a clear error and no crash", "[bad]") {
  const char* names[] = {"missing.avi", "zero.avi", "text.avi"};
  for (const char* name : names) {
    CAPTURE(name);
    Demuxer dm;
    std::string err;
    CHECK_FALSE(dm.open(clipPath(name), &err));
    CHECK_FALSE(err.empty());
    Packet pkt;
    CHECK_FALSE(dm.read(&pkt));
    CHECK_FALSE(dm.seek(0));
  }
  SECTION("a truncated file either fails to open or ends early") {
    Demuxer dm;
    std::string err;
    if (dm.open(clipPath("trunc.avi"), &err)) {
      Packet pkt;
      int n = 0;
      while (dm.read(&pkt)) ++n;
      CHECK(dm.eof());
      CHECK(n < 10);
    } else {
      CHECK_FALSE(err.empty());
    }
  }
  SECTION("decoders refuse the wrong kind and garbage data") {
    CodecParams p;
    p.kind = Kind::Audio;
    VideoDecoder vd;
    std::string err;
    CHECK_FALSE(vd.open(p, {}, &err));
    CHECK_FALSE(err.empty());
    CHECK_FALSE(vd.send((const uint8_t*)"x", 1, 0, 1));  // not open
    Demuxer dm;
    REQUIRE(dm.open(clipPath("bars.avi"), &err));
    const StreamInfo& si = dm.streams()[dm.bestVideo()];
    REQUIRE(vd.open(si.params, si.extradata, &err));
    std::vector<uint8_t> junk(5000);
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = uint8_t(i * 7919 >> 3);
    CHECK(vd.send(junk.data(), junk.size(), 0, 400000));
    Picture pic;
    while (vd.receive(PixelOut::BGR24, &pic)) {
    }
  }
}
