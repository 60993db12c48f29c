/*
 * The writer and the file sink: files the ffmpeg tools open and decode to
 * what was written; writing that ends at any moment; bad input.
 */
#include <catch2/catch.hpp>

#include "wmwriter.h"
#include "media_probe.h"

using namespace probe;

namespace {

const unsigned kBarsA[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
const unsigned kBarsB[4] = {0xFFFF00, 0x00FFFF, 0xFF00FF, 0x000000};

/* Four vertical bars as bottom-up BGR rows. */
std::vector<BYTE> Bars(int w, int h, const unsigned *colours)
{
    std::vector<BYTE> v((size_t)w * h * 3);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            unsigned c = colours[x * 4 / w];
            BYTE *p = &v[((size_t)y * w + x) * 3];
            p[0] = (BYTE)c;
            p[1] = (BYTE)(c >> 8);
            p[2] = (BYTE)(c >> 16);
        }
    return v;
}

struct Recording {
    WmWriter writer;
    WmFileSink sink;
    std::u16string path;
    int w, h;
    explicit Recording(const char16_t *name, int width = 320, int height = 240, int rate = 22050)
        : path(TempPath(name)), w(width), h(height)
    {
        WmProfile p;
        REQUIRE(WmSystemProfile(9, &p));
        REQUIRE(writer.SetProfile(p) == S_OK);
        REQUIRE(writer.InputCount() == 2);
        WmInputFormat a, v;
        REQUIRE(writer.GetInputFormat(0, &a) == S_OK);
        REQUIRE(writer.GetInputFormat(1, &v) == S_OK);
        REQUIRE(!a.video);
        REQUIRE(v.video);
        CHECK(v.avgTimePerFrame == 400000);
        a.sampleRate = rate;
        a.channels = 2;
        v.width = w;
        v.height = h;
        REQUIRE(writer.SetInputFormat(0, a) == S_OK);
        REQUIRE(writer.SetInputFormat(1, v) == S_OK);
        REQUIRE(sink.Open(W(path)) == S_OK);
        REQUIRE(writer.AddSink(&sink) == S_OK);
        REQUIRE(writer.SetLiveSource(TRUE) == S_OK);
    }
    ~Recording() { if (!getenv("KEEP_MEDIA")) DeleteFileW(W(path)); }
    std::string file() const { return UnixPath(W(path)); }
};

} // namespace

TEST_CASE("A recording is a standard ASF file with the profile's codecs, size, rate, pictures and sound", "[writer]")
{
    Recording r(u"wmw_bars.wmv");
    REQUIRE(r.writer.SetAttribute(0, W(u"Title"), W(u"Evening news")) == S_OK);
    REQUIRE(r.writer.BeginWriting() == S_OK);
    auto a = Bars(r.w, r.h, kBarsA), b = Bars(r.w, r.h, kBarsB);
    long long sent = 0;
    for (int f = 0; f < 50; f++) {
        auto &pic = f < 25 ? a : b;
        REQUIRE(r.writer.WriteSample(1, (ULONGLONG)f * 400000, WMW_SF_CLEANPOINT, pic.data(), (DWORD)pic.size()) == S_OK);
        /* 40 ms of sound per frame, 1 kHz. */
        int n = (int)((f + 1) * 22050LL * 40 / 1000 - sent);
        auto tone = Tone(1000, 22050, 2, n, sent);
        REQUIRE(r.writer.WriteSample(0, (ULONGLONG)f * 400000, 0, reinterpret_cast<BYTE *>(tone.data()),
                                     (DWORD)(tone.size() * 2)) == S_OK);
        sent += n;
    }
    REQUIRE(r.writer.Flush() == S_OK);
    REQUIRE(r.writer.EndWriting() == S_OK);
    REQUIRE(r.sink.Close() == S_OK);

    Info info = Probe(r.file());
    CHECK(info.format["format_name"] == "asf");
    CHECK(info.format["TAG:title"] == "Evening news");
    REQUIRE(info.Count("video") == 1);
    REQUIRE(info.Count("audio") == 1);
    CHECK(info.Get("video", "codec_name") == "wmv2");
    CHECK(info.Get("video", "width") == "320");
    CHECK(info.Get("video", "height") == "240");
    CHECK(info.Get("video", "r_frame_rate") == "25/1");
    CHECK(info.Get("audio", "codec_name") == "wmav2");
    CHECK(info.Get("audio", "sample_rate") == "44100");
    CHECK(info.Get("audio", "channels") == "2");
    CHECK(std::fabs(VideoSpan(r.file(), 0.04) - 2.0) <= 0.04 + 0.0001);
    CHECK(CountFrames(r.file()) == 50);

    /* Pictures: the bars of each second, top row first. */
    for (int half = 0; half < 2; half++) {
        auto pic = FrameAt(r.file(), half ? 1.5 : 0.5, r.w, r.h);
        REQUIRE(!pic.empty());
        for (int bar = 0; bar < 4; bar++) {
            int rgb[3];
            MeanColour(pic, r.w, bar * 80 + 20, 100, 40, 40, rgb);
            INFO("half " << half << " bar " << bar << " rgb " << rgb[0] << "," << rgb[1] << "," << rgb[2]);
            CHECK(Near(rgb, (half ? kBarsB : kBarsA)[bar], 24));
        }
    }
    /* Sound: the tone at its pitch, all the way through. */
    double rms = 0;
    auto snd = SoundAt(r.file(), 0.3, 1.4, 44100);
    CHECK(std::fabs(Frequency(snd, 44100, &rms) - 1000) < 15);
    CHECK(rms > 3000);
}

TEST_CASE("Writing that ends at any moment leaves a complete file", "[writer]")
{
    struct Row { int frames; bool sound; };
    const Row rows[] = {{0, false}, {1, false}, {1, true}, {12, false}, {12, true}};
    for (const Row &row : rows) {
        DYNAMIC_SECTION("frames " << row.frames << (row.sound ? " with sound" : " without sound")) {
            Recording r(u"wmw_end.wmv");
            REQUIRE(r.writer.BeginWriting() == S_OK);
            auto pic = Bars(r.w, r.h, kBarsA);
            for (int f = 0; f < row.frames; f++) {
                REQUIRE(r.writer.WriteSample(1, (ULONGLONG)f * 400000, 1, pic.data(), (DWORD)pic.size()) == S_OK);
                if (row.sound && f == 0) {
                    /* Sound stops after 100 ms: the rest is silence. */
                    auto tone = Tone(1000, 22050, 2, 2205, 0);
                    REQUIRE(r.writer.WriteSample(0, 0, 0, reinterpret_cast<BYTE *>(tone.data()),
                                                 (DWORD)(tone.size() * 2)) == S_OK);
                }
            }
            REQUIRE(r.writer.EndWriting() == S_OK);
            r.sink.Close();
            Info info = Probe(r.file());
            CHECK(info.format["format_name"] == "asf");
            CHECK(info.Count("video") == 1);
            CHECK(info.Count("audio") == 1);
            CHECK(CountFrames(r.file()) == row.frames);
            if (row.frames >= 12) {
                CHECK(std::fabs(VideoSpan(r.file(), 0.04) - row.frames * 0.04) <= 0.0401);
                auto snd = SoundAt(r.file(), 0, 1, 44100);
                /* Silence of the video's length is there, not a short track
                 * (within one sound frame of 2048 samples). */
                CHECK(std::fabs(snd.size() / 44100.0 - row.frames * 0.04) <= 0.047);
            }
        }
    }
}

TEST_CASE("The writer refuses bad requests and input with clear results", "[writer]")
{
    WmWriter w;
    WmInputFormat f;
    CHECK(w.BeginWriting() == WMW_E_NOT_CONFIGURED);
    CHECK(w.GetInputFormat(0, &f) == E_INVALIDARG);

    WmProfile bad;
    CHECK(w.SetProfile(bad) == E_INVALIDARG);                 /* no streams */
    REQUIRE(WmSystemProfile(9, &bad));
    bad.streams[1].codec = "nosuchcodec";
    CHECK(w.SetProfile(bad) == E_INVALIDARG);
    CHECK(!WmSystemProfile(-1, &bad));
    CHECK(!WmSystemProfile(WmSystemProfileCount(), &bad));

    WmProfile p;
    REQUIRE(WmSystemProfile(4, &p));
    REQUIRE(w.SetProfile(p) == S_OK);
    REQUIRE(w.GetInputFormat(1, &f) == S_OK);
    WmInputFormat audio = f;
    audio.video = false;
    CHECK(w.SetInputFormat(1, audio) == WMW_E_INVALID_INPUT_FORMAT);   /* wrong kind */
    f.bitCount = 16;
    CHECK(w.SetInputFormat(1, f) == WMW_E_INVALID_INPUT_FORMAT);
    f.bitCount = 24;
    f.width = -5;
    CHECK(w.SetInputFormat(1, f) == WMW_E_INVALID_INPUT_FORMAT);
    CHECK(w.SetInputFormat(7, f) == E_INVALIDARG);
    CHECK(w.WriteSample(1, 0, 0, nullptr, 0) == WMW_E_INVALID_REQUEST);  /* not writing */

    /* An output path that cannot be written. */
    WmFileSink sink;
    CHECK(sink.Open(W(u"C:\\no such folder\\x.wmv")) == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
    CHECK(sink.Open(nullptr) == E_INVALIDARG);

    REQUIRE(w.BeginWriting() == S_OK);                        /* no sink: writes to nowhere */
    CHECK(w.BeginWriting() == WMW_E_INVALID_REQUEST);
    std::vector<BYTE> shortFrame(100);
    CHECK(w.WriteSample(1, 0, 0, shortFrame.data(), (DWORD)shortFrame.size()) == E_INVALIDARG);
    std::vector<BYTE> pic((size_t)320 * 240 * 3);
    CHECK(w.WriteSample(1, 0, 0, pic.data(), (DWORD)pic.size()) == S_OK);
    CHECK(w.WriteSample(9, 0, 0, pic.data(), (DWORD)pic.size()) == E_INVALIDARG);
    CHECK(w.SetProfile(p) == WMW_E_INVALID_REQUEST);
    CHECK(w.EndWriting() == S_OK);
    CHECK(w.EndWriting() == WMW_E_INVALID_REQUEST);
}
