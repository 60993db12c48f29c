// Tintwell in Wine's filter graph manager: test source -> Tintwell ->
// sample grabber -> null renderer.
#include <catch2/catch.hpp>
#include "dshow_test.h"
#include "dshowbase/test_source.h"
#include "hsl_pixel.h"
#include "ihsleffect.h"
#include <vector>

using namespace corvtest;
using dsb::TestSource;
using dsb::TestSourceConfig;

namespace {

struct TintGraph {
    GrabberGraph g;
    TestSource* src = nullptr;
    ComPtr<IBaseFilter> source, tint;
    ComPtr<IHSLEffect> fx;
    Collector c;

    explicit TintGraph(const TestSourceConfig& cfg) {
        REQUIRE(g.hr == S_OK);
        REQUIRE(TestSource::Create(cfg, &src) == S_OK);
        source = ComPtr<IBaseFilter>(static_cast<IBaseFilter*>(src));
        REQUIRE(CoCreateInstance(CLSID_TintwellFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                 tint.PutVoid()) == S_OK);
        REQUIRE(tint->QueryInterface(IID_IHSLEffect, fx.PutVoid()) == S_OK);
        REQUIRE(g.graph->AddFilter(source.Get(), L"Source") == S_OK);
        REQUIRE(g.graph->AddFilter(tint.Get(), L"Tintwell") == S_OK);
        REQUIRE(ConnectFilters(g.graph.Get(), source.Get(), tint.Get()) == S_OK);
        REQUIRE(ConnectFilters(g.graph.Get(), tint.Get(), g.grabberFilter.Get()) == S_OK);
        REQUIRE(g.FinishWith(&c) == S_OK);
    }
};

std::vector<BYTE> Expected(const TestSourceConfig& cfg, int index, const hsl::Offsets& o) {
    std::vector<BYTE> in(TestSource::FrameBytes(cfg)), out(in.size());
    TestSource::RenderFrame(cfg, index, in.data());
    if (o.IsZero()) return in;
    hsl::ShiftPixelsReference(in.data(), out.data(), in.size() / 3, o);
    return out;
}

}  // namespace

TEST_CASE("grabbed frames are the reference transform, with times, flags and length carried") {
    ComInit com;
    struct Case { hsl::Offsets o; const char* what; };
    const Case cases[] = {{{0, 0, 0}, "all zero: a plain copy"}, {{30, 20, -10}, "non-zero offsets"},
                          {{-180, -100, 100}, "extreme offsets"}};
    for (const Case& k : cases) {
        INFO(k.what);
        TestSourceConfig cfg;
        cfg.frameCount = 9;
        cfg.syncEvery = 3;
        cfg.bufferPadding = 6;  // buffers larger than the frame: the length must still be the frame's
        TintGraph t(cfg);
        REQUIRE(t.fx->SetHSL(k.o.hue, k.o.saturation, k.o.lightness) == S_OK);
        REQUIRE(SUCCEEDED(t.g.control->Run()));
        REQUIRE(WaitForEvent(t.g.graph.Get(), EC_COMPLETE, 10000));
        t.g.control->Stop();
        const auto frames = t.c.Frames();
        REQUIRE(frames.size() == 9);
        for (int i = 0; i < 9; ++i) {
            INFO("frame " << i);
            const Grabbed& f = frames[i];
            CHECK(f.data.size() == (size_t)TestSource::FrameBytes(cfg));
            CHECK(f.data == Expected(cfg, i, k.o));
            CHECK(f.timeHr == S_OK);
            CHECK(f.t0 == i * cfg.frameDuration);
            CHECK(f.t1 == (i + 1) * cfg.frameDuration);
            CHECK(f.mediaTimeHr == S_OK);
            CHECK((f.m0 == i && f.m1 == i + 1));
            CHECK(f.sync == (i % 3 == 0));
            CHECK(f.discontinuity == (i == 0));
            CHECK_FALSE(f.preroll);
        }
    }
}

TEST_CASE("SetHSL while running changes later frames; each frame has one set of offsets") {
    ComInit com;
    TestSourceConfig cfg;
    cfg.frameCount = -1;
    cfg.frameDuration = 10000000 / 100;
    cfg.width = 160;
    cfg.height = 120;
    TintGraph t(cfg);
    const hsl::Offsets first = {60, 0, 0}, second = {-90, 30, 15};
    REQUIRE(t.fx->SetHSL(first.hue, first.saturation, first.lightness) == S_OK);
    REQUIRE(SUCCEEDED(t.g.control->Run()));
    REQUIRE(WaitForFrames(t.c, 5, 5000));
    REQUIRE(t.fx->SetHSL(second.hue, second.saturation, second.lightness) == S_OK);
    const size_t mark = t.c.Count();
    REQUIRE(WaitForFrames(t.c, mark + 5, 5000));
    t.g.control->Stop();
    const auto frames = t.c.Frames();
    // Frame i's pixels say which offsets it got; the switch happens once.
    int switchedAt = -1;
    for (size_t i = 0; i < frames.size(); ++i) {
        INFO("frame " << i);
        const LONGLONG index = frames[i].m0;
        const bool isFirst = frames[i].data == Expected(cfg, (int)index, first);
        const bool isSecond = frames[i].data == Expected(cfg, (int)index, second);
        CHECK((isFirst || isSecond));
        if (isSecond && switchedAt < 0) switchedAt = (int)i;
        if (switchedAt >= 0) CHECK(isSecond);
    }
    CHECK(switchedAt > 0);
    CHECK(switchedAt <= (int)mark + 2);  // at most the frames already in flight
    int h, s, l;
    REQUIRE(t.fx->GetHSL(&h, &s, &l) == S_OK);
    CHECK((h == second.hue && s == second.saturation && l == second.lightness));
}

TEST_CASE("pause, run, seek (flush through the filter), stop, and run again") {
    ComInit com;
    TestSourceConfig cfg;
    cfg.frameCount = -1;
    cfg.frameDuration = 10000000 / 50;
    TintGraph t(cfg);
    const hsl::Offsets o = {100, -30, 5};
    REQUIRE(t.fx->SetHSL(o.hue, o.saturation, o.lightness) == S_OK);

    REQUIRE(SUCCEEDED(t.g.control->Pause()));
    OAFilterState st = State_Stopped;
    t.g.control->GetState(2000, &st);
    CHECK(st == State_Paused);
    FILTER_STATE fs;
    REQUIRE(t.tint->GetState(0, &fs) == S_OK);
    CHECK(fs == State_Paused);
    REQUIRE(SUCCEEDED(t.g.control->Run()));
    REQUIRE(WaitForFrames(t.c, 4, 5000));
    REQUIRE(t.tint->GetState(0, &fs) == S_OK);
    CHECK(fs == State_Running);

    // The graph's seek goes through Tintwell's output pin to the source.
    ComPtr<IMediaSeeking> seek;
    REQUIRE(t.g.graph->QueryInterface(IID_IMediaSeeking, seek.PutVoid()) == S_OK);
    LONGLONG target = 60000000;  // 6 s = frame 300
    // Counted before the seek: the new segment may begin before it returns.
    const size_t mark = t.c.Count();
    REQUIRE(SUCCEEDED(seek->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr, 0)));
    const DWORD until = GetTickCount() + 20000;
    auto reached = [&] {
        for (const auto& f : t.c.Frames())
            if (f.m0 >= 302) return true;
        return false;
    };
    while (!reached() && (LONG)(until - GetTickCount()) > 0) Sleep(2);
    REQUIRE(reached());
    REQUIRE(SUCCEEDED(t.g.control->Pause()));
    REQUIRE(SUCCEEDED(t.g.control->Stop()));
    REQUIRE(t.tint->GetState(0, &fs) == S_OK);
    CHECK(fs == State_Stopped);
    const auto frames = t.c.Frames();
    bool afterSeek = false;
    for (size_t i = mark; i < frames.size(); ++i) {
        if (frames[i].m0 == 300) {
            afterSeek = true;
            CHECK(frames[i].discontinuity);
            CHECK(frames[i].t0 == 0);  // times restart at the new segment
            CHECK(frames[i].data == Expected(cfg, 300, o));
        }
    }
    CHECK(afterSeek);

    // The offsets survive stop; running again delivers frames again.
    t.c.Clear();
    REQUIRE(SUCCEEDED(t.g.control->Run()));
    REQUIRE(WaitForFrames(t.c, 2, 5000));
    t.g.control->Stop();
    const auto again = t.c.Frames();
    CHECK(again[0].data == Expected(cfg, (int)again[0].m0, o));
}

TEST_CASE("connections refused in a graph: the grabber wants RGB32, the source offers RGB24") {
    ComInit com;
    TestSourceConfig cfg;
    GrabberGraph g;
    TestSource* src = nullptr;
    REQUIRE(TestSource::Create(cfg, &src) == S_OK);
    ComPtr<IBaseFilter> source(static_cast<IBaseFilter*>(src)), tint;
    REQUIRE(CoCreateInstance(CLSID_TintwellFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, tint.PutVoid()) ==
            S_OK);
    REQUIRE(g.graph->AddFilter(source.Get(), L"Source") == S_OK);
    REQUIRE(g.graph->AddFilter(tint.Get(), L"Tintwell") == S_OK);
    // Output unconnected input: nothing to offer.
    CHECK(FAILED(ConnectFilters(g.graph.Get(), tint.Get(), g.grabberFilter.Get())));
    REQUIRE(ConnectFilters(g.graph.Get(), source.Get(), tint.Get()) == S_OK);
    AM_MEDIA_TYPE want = {};
    want.majortype = MEDIATYPE_Video;
    want.subtype = MEDIASUBTYPE_RGB32;
    REQUIRE(g.grabber->SetMediaType(&want) == S_OK);
    CHECK(FAILED(ConnectFilters(g.graph.Get(), tint.Get(), g.grabberFilter.Get())));
    ComPtr<IPin> out = FindPin(tint.Get(), PINDIR_OUTPUT);
    ComPtr<IPin> peer;
    CHECK(out->ConnectedTo(peer.Put()) == VFW_E_NOT_CONNECTED);
}
