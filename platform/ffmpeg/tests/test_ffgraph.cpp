// Real graphs in Wine's filter graph manager: our sources and decoders
// between Wine's sample grabbers and null renderers, run to completion, with
// the times, pictures and tones checked; the ASF reader as the engine uses
// it; seeking while running; the synthesizer's silence; the audio road.
#define NOMINMAX
#include <catch2/catch.hpp>

#include <algorithm>
#include <cstring>

#include "ffsplit.h"
#include "graph_helpers.h"

namespace {
struct Com {
    Com() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
    ~Com() { CoUninitialize(); }
};

// Source -> [decoder] -> grabber -> null renderer, for video and audio.
struct TestGraph {
    Ptr<IGraphBuilder> graph;
    Ptr<IBaseFilter> source, vgrab, agrab, vnull, anull;
    Ptr<ISampleGrabber> vsg, asg;
    Recorder vrec, arec;
    bool hasVideo = false, hasAudio = false;

    HRESULT Build(const std::string& clip, bool clock, const GUID* sourceClsid = nullptr) {
        HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                      (void**)graph.out());
        if (FAILED(hr)) return hr;
        std::u16string path = WinPath(clipPath(clip));
        if (sourceClsid) {
            hr = CoCreateInstance(*sourceClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, (void**)source.out());
            if (FAILED(hr)) return hr;
            hr = graph->AddFilter(source.get(), L"ASF Reader");
            Ptr<IFileSourceFilter> fs;
            if (SUCCEEDED(hr)) hr = source.as(IID_IFileSourceFilter, fs);
            if (SUCCEEDED(hr)) hr = fs->Load(W(path), nullptr);
        } else {
            hr = graph->AddSourceFilter(W(path), W(path), source.out());
        }
        if (FAILED(hr)) return hr;
        if (!clock) {
            Ptr<IMediaFilter> mf;
            graph.as(IID_IMediaFilter, mf);
            mf->SetSyncSource(nullptr);
        }
        for (bool video : {true, false}) {
            IPin* out = FindPin(source.get(), PINDIR_OUTPUT, true, video ? &MEDIATYPE_Video : &MEDIATYPE_Audio);
            if (!out) continue;
            Ptr<IBaseFilter>& grab = video ? vgrab : agrab;
            Ptr<IBaseFilter>& null = video ? vnull : anull;
            hr = MakeGrabber(graph.get(), video, video ? &vrec : &arec, video ? L"Video Grabber" : L"Audio Grabber",
                             grab, video ? vsg : asg);
            if (SUCCEEDED(hr)) hr = CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                                     (void**)null.out());
            if (SUCCEEDED(hr)) hr = graph->AddFilter(null.get(), video ? L"Null Video" : L"Null Audio");
            IPin* gin = SUCCEEDED(hr) ? FindPin(grab.get(), PINDIR_INPUT, true) : nullptr;
            IPin* gout = gin ? FindPin(grab.get(), PINDIR_OUTPUT, true) : nullptr;
            IPin* nin = gout ? FindPin(null.get(), PINDIR_INPUT, true) : nullptr;
            if (nin) hr = graph->Connect(out, gin);           // intelligent: our decoder goes between
            if (nin && SUCCEEDED(hr)) hr = graph->Connect(gout, nin);
            if (!nin && SUCCEEDED(hr)) hr = E_FAIL;
            for (IPin* p : {out, gin, gout, nin})
                if (p) p->Release();
            if (FAILED(hr)) return hr;
            (video ? hasVideo : hasAudio) = true;
        }
        return S_OK;
    }
    HRESULT Run() {
        Ptr<IMediaControl> mc;
        graph.as(IID_IMediaControl, mc);
        return mc->Run();
    }
    void Stop() {
        Ptr<IMediaControl> mc;
        graph.as(IID_IMediaControl, mc);
        mc->Stop();
    }
};

struct Rgb { int r, g, b; };
Rgb PixelAt(const std::vector<BYTE>& dib, int w, int h, int x, int y) {
    const int stride = (w * 3 + 3) & ~3;
    const BYTE* p = dib.data() + size_t(stride) * (h - 1 - y) + x * 3;
    return {p[2], p[1], p[0]};
}
bool Near(Rgb a, Rgb b) { return std::abs(a.r - b.r) <= 48 && std::abs(a.g - b.g) <= 48 && std::abs(a.b - b.b) <= 48; }

double ToneFrequency(const std::vector<BYTE>& bytes, int channels, int rate) {
    const int16_t* s = reinterpret_cast<const int16_t*>(bytes.data());
    size_t frames = bytes.size() / 2 / channels;
    int peak = 0;
    for (size_t i = 0; i < frames; ++i) peak = std::max(peak, std::abs(int(s[i * channels])));
    const int band = peak / 4;
    if (!band || frames < 100) return 0;
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
    return crossings < 2 ? 0 : (crossings - 1) * double(rate) / double(last - first);
}

struct ClipCase {
    const char* name;
    bool video, audio, still;
};
const ClipCase kClips[] = {
    {"bars.avi", true, true, false},  {"bars1.mpg", true, true, false}, {"bars2.mpg", true, true, false},
    {"bars.vob", true, true, false},  {"bars.dat", true, true, false},  {"bars.wmv", true, true, false},
    {"bars.asf", true, true, false},  {"bars.mov", true, true, false},  {"tone.mp3", false, true, false},
    {"tone.wav", false, true, false}, {"tone.wma", false, true, false}, {"bars.jpg", true, false, true},
    {"bars.bmp", true, false, true},  {"bars.gif", true, false, true},  {"bars.tga", true, false, true},
};
}  // namespace

TEST_CASE("each clip kind streams through our filters to the grabbers", "[graph]") {
    Com com;
    for (const ClipCase& c : kClips) {
        CAPTURE(c.name);
        TestGraph g;
        g.arec.keepAll = true;
        REQUIRE(g.Build(c.name, false) == S_OK);
        CHECK(g.hasVideo == c.video);
        CHECK(g.hasAudio == c.audio);
        std::vector<std::u16string> names = FilterNames(g.graph.get());
        auto has = [&](const char16_t* n) { return std::find(names.begin(), names.end(), n) != names.end(); };
        if (c.video && !c.still) CHECK(has(u"FFmpeg Video Decoder"));
        if (c.audio) CHECK(has(u"FFmpeg Audio Decoder"));
        REQUIRE(SUCCEEDED(g.Run()));
        CHECK(WaitForCompletion(g.graph.get(), 20000) == EC_COMPLETE);
        g.Stop();
        if (c.video) {
            AM_MEDIA_TYPE mt = {};
            REQUIRE(g.vsg->GetConnectedMediaType(&mt) == S_OK);
            CHECK(IsEqualGUID(mt.subtype, MEDIASUBTYPE_RGB24));
            REQUIRE(IsEqualGUID(mt.formattype, FORMAT_VideoInfo));
            auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt.pbFormat);
            CHECK(vih->bmiHeader.biWidth == 320);
            CHECK(vih->bmiHeader.biHeight == 240);  // bottom-up
            CoTaskMemFree(mt.pbFormat);
            std::vector<Arrival> a = g.vrec.snapshot();
            REQUIRE(!a.empty());
            if (c.still) {
                CHECK(a.size() == 1);
            } else {
                CHECK(a.size() >= 48);
                CHECK(a.size() <= 52);
                REQUIRE(a[0].timeResult == S_OK);
                CHECK(a[0].start >= 0);
                CHECK(a[0].start < 600000);
                for (size_t i = 1; i < a.size(); ++i) {
                    CAPTURE(i);
                    CHECK(a[i].start > a[i - 1].start);
                    CHECK(a[i].stop - a[i].start == Approx(400000).margin(20000));
                }
            }
            REQUIRE(g.vrec.first.size() >= size_t(960 * 240));
            Rgb p0 = PixelAt(g.vrec.first, 320, 240, 40, 60);
            INFO("top-left bar " << p0.r << "," << p0.g << "," << p0.b);
            CHECK(Near(PixelAt(g.vrec.first, 320, 240, 40, 60), {255, 0, 0}));
            CHECK(Near(PixelAt(g.vrec.first, 320, 240, 120, 60), {0, 255, 0}));
            CHECK(Near(PixelAt(g.vrec.first, 320, 240, 200, 60), {0, 0, 255}));
            CHECK(Near(PixelAt(g.vrec.first, 320, 240, 160, 200), {255, 255, 0}));
        }
        if (c.audio) {
            AM_MEDIA_TYPE mt = {};
            REQUIRE(g.asg->GetConnectedMediaType(&mt) == S_OK);
            CHECK(IsEqualGUID(mt.subtype, MEDIASUBTYPE_PCM));
            auto* wf = reinterpret_cast<WAVEFORMATEX*>(mt.pbFormat);
            CHECK(wf->wBitsPerSample == 16);
            const int rate = wf->nSamplesPerSec, channels = wf->nChannels;
            CoTaskMemFree(mt.pbFormat);
            double secs = double(g.arec.all.size()) / (2 * channels) / rate;
            CHECK(secs == Approx(2.0).margin(0.1));
            CHECK(ToneFrequency(g.arec.all, channels, rate) == Approx(1000).margin(5));
            std::vector<Arrival> a = g.arec.snapshot();
            REQUIRE(!a.empty());
            CHECK(a[0].start >= 0);
            CHECK(a[0].start < 1200000);  // WMA's decoder delay puts its first block at 92 ms
        }
    }
}

TEST_CASE("rows that need padding: the image size counts it, and so does every sample", "[graph]") {
    Com com;
    // 322 pixels of 3 bytes are 966 bytes, stored as 968 per row.
    const long row = 968, height = 242, image = row * height;
    for (const char* clip : {"narrow.avi", "narrow.bmp"}) {
        CAPTURE(clip);
        TestGraph g;
        REQUIRE(g.Build(clip, false) == S_OK);
        REQUIRE(g.hasVideo);
        REQUIRE(SUCCEEDED(g.Run()));
        CHECK(WaitForCompletion(g.graph.get(), 20000) == EC_COMPLETE);
        g.Stop();
        AM_MEDIA_TYPE mt = {};
        REQUIRE(g.vsg->GetConnectedMediaType(&mt) == S_OK);
        REQUIRE(IsEqualGUID(mt.formattype, FORMAT_VideoInfo));
        const BITMAPINFOHEADER bih = reinterpret_cast<VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader;
        CoTaskMemFree(mt.pbFormat);
        CHECK(bih.biWidth == 322);
        CHECK(bih.biHeight == height);
        CHECK(long(bih.biSizeImage) == image);
        CHECK(long(mt.lSampleSize) == image);
        std::vector<Arrival> a = g.vrec.snapshot();
        REQUIRE(!a.empty());
        for (const Arrival& x : a) CHECK(x.length == image);
        REQUIRE(long(g.vrec.first.size()) == image);
        // Read with the padded row length, the bars are where they belong.
        CHECK(Near(PixelAt(g.vrec.first, 322, 242, 40, 60), {255, 0, 0}));
        CHECK(Near(PixelAt(g.vrec.first, 322, 242, 121, 60), {0, 255, 0}));
        CHECK(Near(PixelAt(g.vrec.first, 322, 242, 201, 60), {0, 0, 255}));
        CHECK(Near(PixelAt(g.vrec.first, 322, 242, 281, 60), {255, 255, 255}));
        CHECK(Near(PixelAt(g.vrec.first, 322, 242, 160, 200), {255, 255, 0}));
        CHECK(Near(PixelAt(g.vrec.first, 322, 242, 316, 236), {255, 255, 0}));
    }
}

TEST_CASE("the ASF reader stand-in loads .wmv and renders its outputs", "[graph]") {
    Com com;
    TestGraph g;
    REQUIRE(g.Build("bars.wmv", false, &CLSID_FFWMAsfReader) == S_OK);
    CHECK(g.hasVideo);
    CHECK(g.hasAudio);
    REQUIRE(SUCCEEDED(g.Run()));
    CHECK(WaitForCompletion(g.graph.get(), 20000) == EC_COMPLETE);
    g.Stop();
    CHECK(g.vrec.snapshot().size() >= 48);
    CHECK(!g.arec.snapshot().empty());
}

TEST_CASE("seeking while running restarts at the target", "[graph][seek]") {
    Com com;
    for (const char* clip : {"bars.avi", "bars1.mpg", "bars.wmv", "bars.mov"}) {
        CAPTURE(clip);
        TestGraph g;
        REQUIRE(g.Build(clip, true) == S_OK);
        Ptr<IMediaSeeking> ms;
        REQUIRE(g.graph.as(IID_IMediaSeeking, ms) == S_OK);
        LONGLONG d = 0;
        REQUIRE(ms->GetDuration(&d) == S_OK);
        CHECK(d == Approx(20000000).margin(1000000));
        REQUIRE(SUCCEEDED(g.Run()));
        // Both streams have begun their first run before the seek, so the
        // seek's new segment is the second one marked as a discontinuity.
        DWORD until = GetTickCount() + 20000;
        while ((g.vrec.snapshot().size() < 3 || g.arec.snapshot().empty()) && GetTickCount() < until) Sleep(5);
        REQUIRE(g.vrec.snapshot().size() >= 3);
        REQUIRE(!g.arec.snapshot().empty());
        LONGLONG target = 12000000, stop = 0;
        REQUIRE(SUCCEEDED(ms->SetPositions(&target, AM_SEEKING_AbsolutePositioning, &stop, AM_SEEKING_NoPositioning)));
        CHECK(WaitForCompletion(g.graph.get(), 10000) == EC_COMPLETE);
        g.Stop();
        for (Recorder* r : {&g.vrec, &g.arec}) {
            const bool video = r == &g.vrec;
            CAPTURE(video);
            std::vector<Arrival> a = r->snapshot();
            REQUIRE(a.front().discontinuity);
            std::vector<size_t> marks;
            for (size_t i = 0; i < a.size(); ++i)
                if (a[i].discontinuity) marks.push_back(i);
            REQUIRE(marks.size() == 2);
            const Arrival& first = a[marks[1]];
            // Sample times restart at the new segment: nothing before the target.
            CHECK(first.start >= 0);
            // Video lands on the target picture; audio may start a block later.
            CHECK(first.start <= (video ? 400000 : 2000000));
            for (size_t i = marks[1] + 1; i < a.size(); ++i) CHECK(a[i].start > a[i - 1].start);
            if (video) {
                size_t after = a.size() - marks[1];
                CHECK(after >= 18);  // 0.8 s left at 25 frames per second
                CHECK(after <= 22);
            }
        }
    }
}

TEST_CASE("a stop position ends the stream there", "[graph][seek]") {
    Com com;
    for (const char* clip : {"bars.avi", "bars.wmv", "bars.mov"}) {
        CAPTURE(clip);
        TestGraph g;
        REQUIRE(g.Build(clip, false) == S_OK);
        Ptr<IMediaSeeking> ms;
        REQUIRE(g.graph.as(IID_IMediaSeeking, ms) == S_OK);
        LONGLONG start = 4000000, stop = 12000000;  // 0.4 s to 1.2 s
        REQUIRE(SUCCEEDED(ms->SetPositions(&start, AM_SEEKING_AbsolutePositioning, &stop,
                                           AM_SEEKING_AbsolutePositioning)));
        LONGLONG got = 0;
        REQUIRE(ms->GetStopPosition(&got) == S_OK);
        CHECK(got == stop);
        double rate = 0;
        CHECK(ms->GetRate(&rate) == S_OK);
        CHECK(rate == 1.0);
        REQUIRE(SUCCEEDED(g.Run()));
        CHECK(WaitForCompletion(g.graph.get(), 20000) == EC_COMPLETE);
        g.Stop();
        std::vector<Arrival> v = g.vrec.snapshot();
        CHECK(v.size() >= 19);  // 0.8 s at 25 frames per second
        CHECK(v.size() <= 21);
        REQUIRE(!v.empty());
        CHECK(v.front().start >= 0);
        CHECK(v.back().start < stop - start);
        double secs = double(g.arec.snapshot().back().stop) / 1e7;
        CHECK(secs == Approx(0.8).margin(0.15));
    }
}

TEST_CASE("the synthesizer gives endless silence at amplitude 0", "[graph][synth]") {
    Com com;
    Ptr<IGraphBuilder> graph;
    REQUIRE(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                             (void**)graph.out()) == S_OK);
    Ptr<IBaseFilter> synth, grab, null;
    REQUIRE(CoCreateInstance(CLSID_FFAudioSynth, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, (void**)synth.out()) == S_OK);
    Ptr<IAudioSynthParams> p;
    REQUIRE(synth.as(IID_IAudioSynthParams, p) == S_OK);
    p->SetAmplitude(0);
    p->SetBitsPerSample(16);
    p->SetChannels(2);
    p->SetFrequency(440);
    p->SetOutputFormat(0);
    p->SetSamplesPerSec(22050);
    p->SetWaveform(0);
    REQUIRE(graph->AddFilter(synth.get(), L"Audio Synthesizer") == S_OK);
    Recorder rec;
    rec.keepAll = true;
    Ptr<ISampleGrabber> sg;
    REQUIRE(MakeGrabber(graph.get(), false, &rec, L"Audio Grabber", grab, sg) == S_OK);
    REQUIRE(CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, (void**)null.out()) == S_OK);
    REQUIRE(graph->AddFilter(null.get(), L"Null Audio Renderer") == S_OK);
    Ptr<IPin> so, gi, go, ni;
    *so.out() = FindPin(synth.get(), PINDIR_OUTPUT, true);
    *gi.out() = FindPin(grab.get(), PINDIR_INPUT, true);
    *go.out() = FindPin(grab.get(), PINDIR_OUTPUT, true);
    *ni.out() = FindPin(null.get(), PINDIR_INPUT, true);
    REQUIRE(graph->Connect(so.get(), gi.get()) == S_OK);
    REQUIRE(graph->Connect(go.get(), ni.get()) == S_OK);
    CHECK(p->SetChannels(1) == VFW_E_ALREADY_CONNECTED);
    AM_MEDIA_TYPE mt = {};
    REQUIRE(sg->GetConnectedMediaType(&mt) == S_OK);
    auto* wf = reinterpret_cast<WAVEFORMATEX*>(mt.pbFormat);
    CHECK(wf->nSamplesPerSec == 22050);
    CHECK(wf->nChannels == 2);
    CHECK(wf->nAvgBytesPerSec == 88200);
    CoTaskMemFree(mt.pbFormat);
    Ptr<IMediaControl> mc;
    graph.as(IID_IMediaControl, mc);
    ULONGLONG t0 = GetTickCount64();
    REQUIRE(SUCCEEDED(mc->Run()));
    Sleep(600);
    CHECK(WaitForCompletion(graph.get(), 10) == 0);  // never ends by itself
    mc->Stop();
    ULONGLONG ran = GetTickCount64() - t0;
    std::vector<Arrival> a = rec.snapshot();
    // About 50 ms each, paced by the clock: no more than the time it really
    // ran allows (a loaded machine may oversleep), and never a flood.
    REQUIRE(a.size() >= 5);
    CHECK(a.size() <= ran / 50 + 4);
    for (size_t i = 1; i < a.size(); ++i) CHECK(a[i].start == a[i - 1].stop);
    CHECK(std::all_of(rec.all.begin(), rec.all.end(), [](BYTE b) { return b == 0; }));
}

// The engine's audio road: the decoder that rendering put in front of the
// sound renderer -> the ACM wrapper asked (through IAMStreamConfig on its
// output pin) for 16-bit stereo PCM at 22050 Hz -> grabber.  Wine's own ACM
// wrapper refuses PCM input; the one created here is our stand-in.
namespace {
const WAVEFORMATEX kEngineFormat = {WAVE_FORMAT_PCM, 2, 22050, 88200, 4, 16, 0};

AM_MEDIA_TYPE EngineType() {
    AM_MEDIA_TYPE mt = {};
    mt.majortype = MEDIATYPE_Audio;
    mt.subtype = MEDIASUBTYPE_PCM;
    mt.formattype = FORMAT_WaveFormatEx;
    mt.bFixedSizeSamples = TRUE;
    mt.lSampleSize = 4;
    mt.cbFormat = sizeof kEngineFormat;
    mt.pbFormat = (BYTE*)&kEngineFormat;
    return mt;
}

void AudioRoad(const char* clip) {
    Ptr<IGraphBuilder> graph;
    REQUIRE(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                             (void**)graph.out()) == S_OK);
    std::u16string path = WinPath(clipPath(clip));
    Ptr<IBaseFilter> src, dec, grab, null;
    REQUIRE(graph->AddSourceFilter(W(path), W(path), src.out()) == S_OK);
    Ptr<IMediaFilter> mf;
    graph.as(IID_IMediaFilter, mf);
    mf->SetSyncSource(nullptr);
    Recorder rec;
    rec.keepAll = true;
    Ptr<ISampleGrabber> sg;
    REQUIRE(MakeGrabber(graph.get(), false, &rec, L"Audio Grabber", grab, sg) == S_OK);
    REQUIRE(CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, (void**)null.out()) == S_OK);
    REQUIRE(graph->AddFilter(null.get(), L"Null Audio Renderer") == S_OK);
    REQUIRE(CoCreateInstance(CLSID_FFAudioDecoder, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, (void**)dec.out()) == S_OK);
    REQUIRE(graph->AddFilter(dec.get(), L"FFmpeg Audio Decoder") == S_OK);
    Ptr<IPin> so, di, dout, gi, go, ni;
    *so.out() = FindPin(src.get(), PINDIR_OUTPUT, true, &MEDIATYPE_Audio);
    *di.out() = FindPin(dec.get(), PINDIR_INPUT, true);
    *dout.out() = FindPin(dec.get(), PINDIR_OUTPUT, true);
    *gi.out() = FindPin(grab.get(), PINDIR_INPUT, true);
    *go.out() = FindPin(grab.get(), PINDIR_OUTPUT, true);
    *ni.out() = FindPin(null.get(), PINDIR_INPUT, true);
    REQUIRE(so);
    REQUIRE(graph->ConnectDirect(so.get(), di.get(), nullptr) == S_OK);
    AM_MEDIA_TYPE want = EngineType();
    {
        Ptr<IBaseFilter> acm;
        REQUIRE(CoCreateInstance(CLSID_ACMWrapper, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, (void**)acm.out()) == S_OK);
        REQUIRE(graph->AddFilter(acm.get(), L"ACM Wrapper") == S_OK);
        Ptr<IPin> ai, ao;
        *ai.out() = FindPin(acm.get(), PINDIR_INPUT, true);
        *ao.out() = FindPin(acm.get(), PINDIR_OUTPUT, true);
        REQUIRE(graph->Connect(dout.get(), ai.get()) == S_OK);
        // As the engine does: connect to the grabber first, then set the format.
        REQUIRE(graph->Connect(ao.get(), gi.get()) == S_OK);
        Ptr<IAMStreamConfig> cfg;
        REQUIRE(ao->QueryInterface(IID_IAMStreamConfig, (void**)cfg.out()) == S_OK);
        AM_MEDIA_TYPE* cur = nullptr;
        REQUIRE(cfg->GetFormat(&cur) == S_OK);
        CHECK(IsEqualGUID(cur->subtype, MEDIASUBTYPE_PCM));
        CoTaskMemFree(cur->pbFormat);
        CoTaskMemFree(cur);
        REQUIRE(cfg->SetFormat(&want) == S_OK);
    }
    REQUIRE(graph->Connect(go.get(), ni.get()) == S_OK);
    AM_MEDIA_TYPE got = {};
    REQUIRE(gi->ConnectionMediaType(&got) == S_OK);
    auto* wf = reinterpret_cast<WAVEFORMATEX*>(got.pbFormat);
    const int rate = wf->nSamplesPerSec, channels = wf->nChannels, bits = wf->wBitsPerSample;
    CoTaskMemFree(got.pbFormat);
    Ptr<IMediaControl> mc;
    graph.as(IID_IMediaControl, mc);
    REQUIRE(SUCCEEDED(mc->Run()));
    CHECK(WaitForCompletion(graph.get(), 20000) == EC_COMPLETE);
    mc->Stop();
    CHECK(bits == 16);
    CHECK(channels == 2);
    CHECK(rate == 22050);
    CHECK(ToneFrequency(rec.all, channels, rate) == Approx(1000).margin(5));
    CHECK(double(rec.all.size()) / (2 * channels) / rate == Approx(2.0).margin(0.1));
}
}  // namespace

TEST_CASE("audio reaches the grabber as 22050 Hz stereo 16-bit PCM", "[graph][acm]") {
    Com com;
    for (const char* clip : {"bars.avi", "tone.mp3", "bars.wmv"}) {
        CAPTURE(clip);
        AudioRoad(clip);
    }
}

// Hidden (run by name): build, run to the end and stop one clip many times.
TEST_CASE("stress: run and stop repeatedly", "[.stress]") {
    Com com;
    const char* clip = getenv("FFSTRESS_CLIP") ? getenv("FFSTRESS_CLIP") : "tone.wav";
    for (int i = 0; i < 100; ++i) {
        CAPTURE(i);
        TestGraph g;
        REQUIRE(g.Build(clip, false) == S_OK);
        REQUIRE(SUCCEEDED(g.Run()));
        CHECK(WaitForCompletion(g.graph.get(), 20000) == EC_COMPLETE);
        char line[32];
        DWORD n = wsprintfA(line, "stop %d\n", i), written;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, n, &written, nullptr);
        g.Stop();
    }
}
