// The splitter's packets as they leave its pins, caught by a sink of our own
// (no decoder between): sync points, the packet queue across a seek, and
// sample times at playback rates other than 1.
#define NOMINMAX
#include <catch2/catch.hpp>

#include <algorithm>
#include <mutex>

#include "dshowbase/dshowbase.h"
#include "ffcore.h"
#include "ffsplit.h"
#include "graph_helpers.h"

namespace {

struct Com {
    Com() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
    ~Com() { CoUninitialize(); }
};

struct Got {
    REFERENCE_TIME start = 0, stop = 0;
    HRESULT timeResult = E_FAIL;
    bool sync = false, discontinuity = false;
    int generation = 0;
};

// One input pin taking any type.  Each sample is recorded; the sample
// numbered |holdAt| is held in Receive until Release() or a flush, as a slow
// renderer would.  End of stream signals an event.
class PacketSink : public dsb::BaseFilter {
public:
    PacketSink() : BaseFilter(IID_IPersist, nullptr) {
        static const WCHAR kIn[] = {'I', 'n', 0};
        AddPin(new dsb::InputPin(this, kIn));
        NonDelegatingAddRef();
        release_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        held_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        eos_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    ~PacketSink() override {
        CloseHandle(release_);
        CloseHandle(held_);
        CloseHandle(eos_);
    }
    IPin* In() { return static_cast<IPin*>(GetPin(0)); }
    HRESULT PinCheckMediaType(dsb::Pin*, const AM_MEDIA_TYPE*) override { return S_OK; }
    HRESULT PinReceive(dsb::Pin*, IMediaSample* s) override {
        Got g;
        g.timeResult = s->GetTime(&g.start, &g.stop);
        g.sync = s->IsSyncPoint() == S_OK;
        g.discontinuity = s->IsDiscontinuity() == S_OK;
        long n;
        {
            std::lock_guard<std::mutex> l(m_);
            g.generation = generation_;
            got_.push_back(g);
            n = long(got_.size()) - 1;
        }
        if (n == holdAt) {
            SetEvent(held_);
            WaitForSingleObject(release_, 20000);
            if (flushed_) return S_FALSE;
        }
        return S_OK;
    }
    HRESULT PinEndOfStream(dsb::Pin*) override {
        SetEvent(eos_);
        return S_OK;
    }
    HRESULT PinBeginFlush(dsb::Pin*) override {
        flushed_ = true;
        SetEvent(release_);  // a flush frees a held sample
        return S_OK;
    }
    HRESULT PinEndFlush(dsb::Pin*) override {
        ResetEvent(eos_);
        return S_OK;
    }
    void LetGo() { SetEvent(release_); }
    bool WaitHeld() { return WaitForSingleObject(held_, 20000) == WAIT_OBJECT_0; }
    bool WaitEnd() { return WaitForSingleObject(eos_, 20000) == WAIT_OBJECT_0; }
    void NextGeneration() {
        std::lock_guard<std::mutex> l(m_);
        ++generation_;
    }
    std::vector<Got> Snapshot() {
        std::lock_guard<std::mutex> l(m_);
        return got_;
    }
    long holdAt = -1;

private:
    std::mutex m_;
    std::vector<Got> got_;
    int generation_ = 0;
    volatile bool flushed_ = false;
    HANDLE release_, held_, eos_;
};

// Our source in a graph without a clock; sinks on the pins asked for.
struct SplitGraph {
    Ptr<IGraphBuilder> graph;
    Ptr<IBaseFilter> source;
    PacketSink *video = nullptr, *audio = nullptr;

    ~SplitGraph() {
        if (graph) Stop();
        for (PacketSink* s : {video, audio})
            if (s) s->NonDelegatingRelease();
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
    HRESULT Build(const std::string& clip, bool withVideo, bool withAudio) {
        HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                      (void**)graph.out());
        if (SUCCEEDED(hr))
            hr = CoCreateInstance(CLSID_FFSource, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, (void**)source.out());
        if (SUCCEEDED(hr)) hr = graph->AddFilter(source.get(), L"Source");
        Ptr<IFileSourceFilter> fs;
        if (SUCCEEDED(hr)) hr = source.as(IID_IFileSourceFilter, fs);
        std::u16string path = WinPath(clipPath(clip));
        if (SUCCEEDED(hr)) hr = fs->Load(W(path), nullptr);
        if (FAILED(hr)) return hr;
        Ptr<IMediaFilter> mf;
        graph.as(IID_IMediaFilter, mf);
        mf->SetSyncSource(nullptr);
        for (bool v : {true, false}) {
            if (!(v ? withVideo : withAudio)) continue;
            PacketSink*& sink = v ? video : audio;
            sink = new PacketSink;
            hr = graph->AddFilter(sink, v ? L"Video Sink" : L"Audio Sink");
            IPin* out = FindPin(source.get(), PINDIR_OUTPUT, true, v ? &MEDIATYPE_Video : &MEDIATYPE_Audio);
            if (SUCCEEDED(hr)) hr = out ? graph->ConnectDirect(out, sink->In(), nullptr) : E_FAIL;
            if (out) out->Release();
            if (FAILED(hr)) return hr;
        }
        return S_OK;
    }
    void PinSeeking(const GUID& major, Ptr<IMediaSeeking>& s) {
        Ptr<IEnumPins> e;
        source->EnumPins(e.out());
        IPin* p = nullptr;
        while (!s && e->Next(1, &p, nullptr) == S_OK) {
            AM_MEDIA_TYPE mt = {};
            if (p->ConnectionMediaType(&mt) == S_OK) {
                if (IsEqualGUID(mt.majortype, major)) p->QueryInterface(IID_IMediaSeeking, (void**)s.out());
                CoTaskMemFree(mt.pbFormat);
                if (mt.pUnk) mt.pUnk->Release();
            }
            p->Release();
        }
    }
};

// The video packets of a clip as the demuxer reads them.
std::vector<ffcore::Packet> VideoPackets(const std::string& clip) {
    ffcore::Demuxer dm;
    std::string err;
    std::vector<ffcore::Packet> out;
    if (!dm.open(clipPath(clip), &err)) return out;
    ffcore::Packet p;
    while (dm.read(&p))
        if (p.stream == dm.bestVideo()) out.push_back(std::move(p));
    return out;
}

}  // namespace

TEST_CASE("only key frames leave the splitter as sync points", "[split]") {
    Com com;
    const std::vector<ffcore::Packet> packets = VideoPackets("bars.avi");
    REQUIRE(packets.size() >= 40);
    const long keys = long(std::count_if(packets.begin(), packets.end(), [](const ffcore::Packet& p) { return p.keyframe; }));
    REQUIRE(keys >= 2);
    REQUIRE(keys < long(packets.size()));  // the clip has frames between key frames

    SplitGraph g;
    REQUIRE(g.Build("bars.avi", true, false) == S_OK);
    REQUIRE(SUCCEEDED(g.Run()));
    REQUIRE(g.video->WaitEnd());
    const std::vector<Got> got = g.video->Snapshot();
    REQUIRE(got.size() == packets.size());
    for (size_t i = 0; i < got.size(); ++i) {
        INFO("packet " << i);
        CHECK(got[i].sync == packets[i].keyframe);
        CHECK(got[i].discontinuity == (i == 0));
        CHECK(got[i].timeResult == S_OK);
        CHECK(got[i].start == packets[i].start);
    }
}

TEST_CASE("a seek drops the packets queued for a pin that fell behind", "[split][seek]") {
    Com com;
    SplitGraph g;
    REQUIRE(g.Build("bars.avi", true, true) == S_OK);
    // The audio sink holds its first packet: the video pin reads on to the
    // end of the file, queueing every audio packet on the way.
    g.audio->holdAt = 0;
    REQUIRE(SUCCEEDED(g.Run()));
    REQUIRE(g.audio->WaitHeld());
    REQUIRE(g.video->WaitEnd());

    g.audio->NextGeneration();
    g.video->NextGeneration();
    Ptr<IMediaSeeking> seek;
    g.PinSeeking(MEDIATYPE_Audio, seek);
    REQUIRE(seek);
    LONGLONG target = 12000000;  // 1.2 s of 2 s
    REQUIRE(SUCCEEDED(seek->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning)));
    REQUIRE(g.audio->WaitEnd());
    REQUIRE(g.video->WaitEnd());

    for (PacketSink* s : {g.audio, g.video}) {
        const bool audio = s == g.audio;
        INFO((audio ? "audio" : "video"));
        std::vector<Got> after;
        for (const Got& x : s->Snapshot())
            if (x.generation == 1) after.push_back(x);
        REQUIRE(!after.empty());
        CHECK(after.front().discontinuity);
        // Packets from before the seek would come out about 1.2 s early.
        for (const Got& x : after) CHECK(x.start > -5000000);
        if (!audio) CHECK(after.front().sync);  // a new segment starts at a key frame
        // Nothing left over: at most the last 0.8 s (and the key frame before it).
        if (!audio) CHECK(after.size() <= 20 + 12);
    }
}

TEST_CASE("sample times are divided by the playback rate, and a change goes on from the time reached",
          "[split][rate]") {
    Com com;
    const std::vector<ffcore::Packet> packets = VideoPackets("bars.avi");
    REQUIRE(packets.size() >= 40);
    SplitGraph g;
    REQUIRE(g.Build("bars.avi", true, false) == S_OK);
    Ptr<IMediaSeeking> seek;
    g.PinSeeking(MEDIATYPE_Video, seek);
    REQUIRE(seek);
    REQUIRE(seek->SetRate(2.0) == S_OK);
    const long k = 20;
    g.video->holdAt = k;
    REQUIRE(SUCCEEDED(g.Run()));
    REQUIRE(g.video->WaitHeld());
    // Packet k is with the sink: from its end on the media runs at rate 4.
    REQUIRE(seek->SetRate(4.0) == S_OK);
    double rate = 0;
    CHECK(seek->GetRate(&rate) == S_OK);
    CHECK(rate == 4.0);
    g.video->LetGo();
    REQUIRE(g.video->WaitEnd());
    const std::vector<Got> got = g.video->Snapshot();
    REQUIRE(got.size() == packets.size());
    const REFERENCE_TIME edge = packets[k].stop, edgeStream = edge / 2;
    for (size_t i = 0; i < got.size(); ++i) {
        INFO("packet " << i);
        const REFERENCE_TIME m0 = packets[i].start, m1 = packets[i].stop;
        auto at = [&](REFERENCE_TIME m) { return long(i) <= k ? m / 2 : edgeStream + (m - edge) / 4; };
        CHECK(std::abs(got[i].start - at(m0)) <= 1);
        CHECK(std::abs(got[i].stop - at(m1)) <= 1);
    }
    // The last picture of the 2 s clip: 0.7 s, where rate 2 throughout
    // would have given 0.98 s.
    CHECK(got.back().start <= 7000000);
}

TEST_CASE("the source's seeking: relative moves, refused starts and rates, one seek through two pins",
          "[split][seek]") {
    Com com;
    SplitGraph g;
    REQUIRE(g.Build("bars.avi", true, true) == S_OK);
    Ptr<IMediaSeeking> v, a;
    g.PinSeeking(MEDIATYPE_Video, v);
    g.PinSeeking(MEDIATYPE_Audio, a);
    REQUIRE(v);
    REQUIRE(a);
    struct Step {
        const char* what;
        LONGLONG value;
        DWORD flags;
        HRESULT want;
        LONGLONG position;  // current position afterwards
    };
    const Step steps[] = {
        {"absolute to 1 s", 10000000, AM_SEEKING_AbsolutePositioning, S_OK, 10000000},
        {"0.5 s forward", 5000000, AM_SEEKING_RelativePositioning, S_OK, 15000000},
        {"0.7 s back", -7000000, AM_SEEKING_RelativePositioning, S_OK, 8000000},
        {"back past the start", -9000000, AM_SEEKING_RelativePositioning, E_INVALIDARG, 8000000},
        {"a negative start", -1, AM_SEEKING_AbsolutePositioning, E_INVALIDARG, 8000000},
        {"to the start", 0, AM_SEEKING_AbsolutePositioning, S_OK, 0},
    };
    for (const Step& s : steps) {
        INFO(s.what);
        LONGLONG value = s.value;
        CHECK(v->SetPositions(&value, s.flags | AM_SEEKING_ReturnTime, nullptr, AM_SEEKING_NoPositioning) == s.want);
        if (s.want == S_OK) CHECK(value == s.position);
        LONGLONG cur = -1;
        for (IMediaSeeking* p : {v.get(), a.get()}) {
            CHECK(p->GetCurrentPosition(&cur) == S_OK);
            CHECK(cur == s.position);
        }
    }
    for (double bad : {0.0, -1.0, -2.0}) {
        INFO("rate " << bad);
        CHECK(a->SetRate(bad) == E_INVALIDARG);
        double r = 0;
        CHECK(v->GetRate(&r) == S_OK);
        CHECK(r == 1.0);
    }
    CHECK(a->SetRate(0.5) == S_OK);
    double r = 0;
    CHECK(v->GetRate(&r) == S_OK);
    CHECK(r == 0.5);
}

TEST_CASE("a rate set downstream reaches the source through the decoder: pictures at half their times",
          "[split][rate]") {
    Com com;
    Ptr<IGraphBuilder> graph;
    REQUIRE(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                             (void**)graph.out()) == S_OK);
    std::u16string path = WinPath(clipPath("bars.avi"));
    Ptr<IBaseFilter> source, grab, null;
    REQUIRE(graph->AddSourceFilter(W(path), W(path), source.out()) == S_OK);
    Ptr<IMediaFilter> mf;
    REQUIRE(graph.as(IID_IMediaFilter, mf) == S_OK);
    mf->SetSyncSource(nullptr);
    Recorder rec;
    Ptr<ISampleGrabber> sg;
    REQUIRE(MakeGrabber(graph.get(), true, &rec, L"Video Grabber", grab, sg) == S_OK);
    REQUIRE(CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, (void**)null.out()) ==
            S_OK);
    REQUIRE(graph->AddFilter(null.get(), L"Null Video") == S_OK);
    IPin* out = FindPin(source.get(), PINDIR_OUTPUT, true, &MEDIATYPE_Video);
    IPin* gin = FindPin(grab.get(), PINDIR_INPUT, true);
    IPin* gout = FindPin(grab.get(), PINDIR_OUTPUT, true);
    IPin* nin = FindPin(null.get(), PINDIR_INPUT, true);
    REQUIRE((out && gin && gout && nin));
    HRESULT hr = graph->Connect(out, gin);  // our decoder goes between
    if (SUCCEEDED(hr)) hr = graph->Connect(gout, nin);
    for (IPin* p : {out, gin, gout, nin}) p->Release();
    REQUIRE(SUCCEEDED(hr));

    // Through the renderer's seeking, which passes it upstream (Wine's graph
    // manager keeps a rate to itself: it reaches no filter).
    Ptr<IMediaSeeking> seek;
    REQUIRE(null.as(IID_IMediaSeeking, seek) == S_OK);
    CHECK(seek->SetRate(-1.0) == E_INVALIDARG);
    REQUIRE(seek->SetRate(2.0) == S_OK);
    double rate = 0;
    CHECK(seek->GetRate(&rate) == S_OK);
    CHECK(rate == 2.0);
    {
        IPin* sp = FindPin(source.get(), PINDIR_OUTPUT, false, &MEDIATYPE_Video);
        Ptr<IMediaSeeking> ps;
        REQUIRE(sp);
        sp->QueryInterface(IID_IMediaSeeking, (void**)ps.out());
        sp->Release();
        double r = 0;
        CHECK(ps->GetRate(&r) == S_OK);
        CHECK(r == 2.0);  // passed on to the source
    }
    Ptr<IMediaControl> mc;
    REQUIRE(graph.as(IID_IMediaControl, mc) == S_OK);
    REQUIRE(SUCCEEDED(mc->Run()));
    CHECK(WaitForCompletion(graph.get(), 20000) == EC_COMPLETE);
    mc->Stop();

    const std::vector<ffcore::Packet> packets = VideoPackets("bars.avi");
    const std::vector<Arrival> got = rec.snapshot();
    REQUIRE(got.size() == packets.size());  // every picture, none skipped
    for (size_t i = 0; i < got.size(); ++i) {
        INFO("picture " << i);
        CHECK(std::abs(got[i].start - packets[i].start / 2) <= 1);
    }
}
