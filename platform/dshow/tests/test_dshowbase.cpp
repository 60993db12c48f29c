// The base layer on its own and in Wine's filter graph manager.
#include <catch2/catch.hpp>
#include "dshow_test.h"
#include "dshowbase/dshowbase.h"
#include "dshowbase/test_source.h"

using namespace corvtest;
using dsb::TestSource;
using dsb::TestSourceConfig;

namespace {

// A source with its reference handed to a smart pointer.
ComPtr<IBaseFilter> MakeSource(const TestSourceConfig& cfg, TestSource** raw = nullptr) {
    TestSource* s = nullptr;
    REQUIRE(TestSource::Create(cfg, &s) == S_OK);
    if (raw) *raw = s;
    return ComPtr<IBaseFilter>(static_cast<IBaseFilter*>(s));
}

std::vector<BYTE> Frame(const TestSourceConfig& cfg, int i) {
    std::vector<BYTE> f(TestSource::FrameBytes(cfg));
    TestSource::RenderFrame(cfg, i, f.data());
    return f;
}

// An object that can be aggregated, to check the delegation rules.
class Inner : public dsb::ComObject, public IPersist {
public:
    explicit Inner(IUnknown* outer) : ComObject(outer) {}
    DSB_DELEGATE_IUNKNOWN
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
        if (ppv && IsEqualIID(riid, IID_IPersist)) return GetInterface(static_cast<IPersist*>(this), ppv);
        return ComObject::NonDelegatingQueryInterface(riid, ppv);
    }
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* c) override {
        *c = IID_IPersist;
        return S_OK;
    }
};

// Outer object owning an aggregated Inner.
class Outer : public IUnknown {
public:
    Outer() {
        inner_ = new Inner(this);
        inner_->NonDelegatingAddRef();
    }
    ~Outer() { inner_->NonDelegatingRelease(); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualIID(riid, IID_IUnknown)) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        return inner_->NonDelegatingQueryInterface(riid, ppv);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++ref_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG r = --ref_;
        if (!r) delete this;
        return r;
    }
    Inner* inner_;
    ULONG ref_ = 1;
};

}  // namespace

TEST_CASE("media type helpers copy, compare and match with wildcards") {
    ComInit com;
    TestSourceConfig cfg;
    dsb::MediaType a;
    REQUIRE(TestSource::MakeMediaType(cfg, &a) == S_OK);
    dsb::MediaType b;
    REQUIRE(b.Set(&a) == S_OK);
    CHECK(b.pbFormat != a.pbFormat);
    CHECK(dsb::MediaTypesEqual(&a, &b));
    ((VIDEOINFOHEADER*)b.pbFormat)->bmiHeader.biWidth++;
    CHECK_FALSE(dsb::MediaTypesEqual(&a, &b));

    struct Case { GUID major, sub, format; bool matches; };
    const Case cases[] = {
        {GUID_NULL, GUID_NULL, GUID_NULL, true},
        {MEDIATYPE_Video, GUID_NULL, GUID_NULL, true},
        {MEDIATYPE_Video, MEDIASUBTYPE_RGB24, GUID_NULL, true},
        {MEDIATYPE_Video, MEDIASUBTYPE_RGB24, FORMAT_VideoInfo, true},
        {MEDIATYPE_Audio, GUID_NULL, GUID_NULL, false},
        {MEDIATYPE_Video, MEDIASUBTYPE_RGB32, GUID_NULL, false},
        {GUID_NULL, GUID_NULL, FORMAT_VideoInfo2, false},
    };
    for (const Case& c : cases) {
        AM_MEDIA_TYPE p = {};
        p.majortype = c.major;
        p.subtype = c.sub;
        p.formattype = c.format;
        CHECK(dsb::MediaTypeMatches(&a, &p) == c.matches);
    }
    AM_MEDIA_TYPE* copy = dsb::CreateMediaType(&a);
    REQUIRE(copy);
    CHECK(dsb::MediaTypesEqual(copy, &a));
    dsb::DeleteMediaType(copy);
}

TEST_CASE("aggregation: the inner object delegates to its outer unknown") {
    Outer* outer = new Outer;
    IPersist* p = nullptr;
    REQUIRE(outer->QueryInterface(IID_IPersist, (void**)&p) == S_OK);
    CHECK(outer->ref_ == 2);  // the interface counted on the outer object
    IUnknown* u = nullptr;
    REQUIRE(p->QueryInterface(IID_IUnknown, (void**)&u) == S_OK);
    CHECK(u == static_cast<IUnknown*>(outer));
    u->Release();
    p->Release();
    CHECK(outer->ref_ == 1);
    CHECK(outer->inner_->NonDelegatingQueryInterface(IID_IPersist, nullptr) == E_POINTER);
    outer->Release();
}

TEST_CASE("source filter COM contract: interfaces, pins, types, reference counts") {
    ComInit com;
    TestSourceConfig cfg;
    ComPtr<IBaseFilter> f = MakeSource(cfg);
    CHECK(RefCount(f.Get()) == 1);
    for (const IID* iid : {&IID_IUnknown, &IID_IPersist, &IID_IMediaFilter, &IID_IBaseFilter}) {
        IUnknown* u = nullptr;
        CHECK(f->QueryInterface(*iid, (void**)&u) == S_OK);
        if (u) u->Release();
    }
    IUnknown* none = nullptr;
    CHECK(f->QueryInterface(IID_IMemInputPin, (void**)&none) == E_NOINTERFACE);
    CHECK(none == nullptr);

    ComPtr<IEnumPins> e;
    REQUIRE(f->EnumPins(e.Put()) == S_OK);
    IPin* pins[3] = {};
    ULONG n = 0;
    CHECK(e->Next(3, pins, &n) == S_FALSE);
    REQUIRE(n == 1);
    ComPtr<IPin> out(pins[0]);
    CHECK(RefCount(f.Get()) == 3);  // pin and enumerator count on the filter
    e.Reset();
    LPWSTR id = nullptr;
    REQUIRE(out->QueryId(&id) == S_OK);
    CHECK(lstrcmpW(id, L"Out") == 0);
    CoTaskMemFree(id);
    ComPtr<IPin> found;
    CHECK(f->FindPin(L"Out", found.Put()) == S_OK);
    CHECK(found.Get() == out.Get());
    CHECK(f->FindPin(L"In", found.Put()) == VFW_E_NOT_FOUND);
    ComPtr<IPin> peer;
    CHECK(out->ConnectedTo(peer.Put()) == VFW_E_NOT_CONNECTED);
    AM_MEDIA_TYPE cmt;
    CHECK(out->ConnectionMediaType(&cmt) == VFW_E_NOT_CONNECTED);

    ComPtr<IEnumMediaTypes> types;
    REQUIRE(out->EnumMediaTypes(types.Put()) == S_OK);
    AM_MEDIA_TYPE* mt = nullptr;
    REQUIRE(types->Next(1, &mt, nullptr) == S_OK);
    CHECK(IsEqualGUID(mt->subtype, MEDIASUBTYPE_RGB24));
    CHECK(out->QueryAccept(mt) == S_OK);
    mt->subtype = MEDIASUBTYPE_RGB32;
    CHECK(out->QueryAccept(mt) == S_FALSE);
    dsb::DeleteMediaType(mt);
    CHECK(types->Next(1, &mt, nullptr) == S_FALSE);
    types.Reset();
    found.Reset();
    out.Reset();
    CHECK(RefCount(f.Get()) == 1);
}

TEST_CASE("source -> Wine sample grabber -> null renderer: frames, times and flags arrive") {
    ComInit com;
    TestSourceConfig cfg;
    cfg.frameCount = 12;
    TestSource* src = nullptr;
    ComPtr<IBaseFilter> f = MakeSource(cfg, &src);
    GrabberGraph g;
    REQUIRE(g.hr == S_OK);
    REQUIRE(g.graph->AddFilter(f.Get(), L"Source") == S_OK);
    REQUIRE(ConnectFilters(g.graph.Get(), f.Get(), g.grabberFilter.Get()) == S_OK);
    Collector c;
    REQUIRE(g.FinishWith(&c) == S_OK);

    REQUIRE(SUCCEEDED(g.control->Run()));
    REQUIRE(WaitForEvent(g.graph.Get(), EC_COMPLETE, 10000));
    g.control->Stop();
    const auto frames = c.Frames();
    REQUIRE(frames.size() == 12);
    for (int i = 0; i < 12; ++i) {
        INFO("frame " << i);
        CHECK(frames[i].data == Frame(cfg, i));
        CHECK(frames[i].timeHr == S_OK);
        CHECK(frames[i].t0 == i * cfg.frameDuration);
        CHECK(frames[i].t1 == (i + 1) * cfg.frameDuration);
        CHECK(frames[i].sync == (i % 2 == 0));
        CHECK(frames[i].discontinuity == (i == 0));
    }

    SECTION("run again after stop starts over from the current position") {
        // The position stays at the end; a seek to 0 plays it again.
        ComPtr<IMediaSeeking> seek;
        REQUIRE(g.graph->QueryInterface(IID_IMediaSeeking, seek.PutVoid()) == S_OK);
        LONGLONG zero = 0;
        REQUIRE(SUCCEEDED(seek->SetPositions(&zero, AM_SEEKING_AbsolutePositioning, nullptr, 0)));
        c.Clear();
        REQUIRE(SUCCEEDED(g.control->Run()));
        REQUIRE(WaitForEvent(g.graph.Get(), EC_COMPLETE, 10000));
        g.control->Stop();
        CHECK(c.Count() == 12);
    }
}

TEST_CASE("pause, run, seek while running and stop in Wine's graph") {
    ComInit com;
    TestSourceConfig cfg;
    cfg.frameCount = -1;              // endless
    cfg.frameDuration = 10000000 / 50;  // 50 fps: the null renderer paces by the clock
    TestSource* src = nullptr;
    ComPtr<IBaseFilter> f = MakeSource(cfg, &src);
    GrabberGraph g;
    REQUIRE(g.graph->AddFilter(f.Get(), L"Source") == S_OK);
    REQUIRE(ConnectFilters(g.graph.Get(), f.Get(), g.grabberFilter.Get()) == S_OK);
    Collector c;
    REQUIRE(g.FinishWith(&c) == S_OK);

    REQUIRE(SUCCEEDED(g.control->Pause()));
    OAFilterState st;
    g.control->GetState(2000, &st);
    CHECK(st == State_Paused);
    REQUIRE(SUCCEEDED(g.control->Run()));
    REQUIRE(WaitForFrames(c, 5, 5000));

    // Seek to 10 s: after the flush the first frame is at or after the target.
    ComPtr<IMediaSeeking> seek;
    REQUIRE(g.graph->QueryInterface(IID_IMediaSeeking, seek.PutVoid()) == S_OK);
    LONGLONG target = 100000000;
    REQUIRE(SUCCEEDED(seek->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr, 0)));
    const size_t mark = c.Count();
    REQUIRE(WaitForFrames(c, mark + 3, 5000));
    g.control->Stop();
    g.control->GetState(2000, &st);
    CHECK(st == State_Stopped);
    const auto frames = c.Frames();
    // The frames after the seek carry the target frame's pixels.
    bool sawTarget = false;
    for (size_t i = mark; i < frames.size(); ++i)
        if (frames[i].data == Frame(cfg, 500)) sawTarget = true;
    CHECK(sawTarget);
    CHECK(src->NextFrame() >= 500);

    // Stop then run again works.
    c.Clear();
    REQUIRE(SUCCEEDED(g.control->Run()));
    REQUIRE(WaitForFrames(c, 2, 5000));
    g.control->Stop();
}
