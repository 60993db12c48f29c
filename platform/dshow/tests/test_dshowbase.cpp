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
    virtual ~Outer() { inner_->NonDelegatingRelease(); }
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
    // Counted before the seek: the restarted stream may deliver the target
    // frame before SetPositions returns.  Frames before the seek are far
    // below frame 500, so scanning from here finds only post-seek ones.
    const size_t mark = c.Count();
    REQUIRE(SUCCEEDED(seek->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr, 0)));
    REQUIRE(WaitForFrames(c, c.Count() + 3, 5000));
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

namespace {

// A pass-through transform on the base class, for the input pin's rules.
class PassThrough : public dsb::TransformFilter {
public:
    PassThrough() : TransformFilter(IID_IPersist, nullptr) {}
    HRESULT CheckInputType(const AM_MEDIA_TYPE* mt) override {
        return IsEqualGUID(mt->majortype, MEDIATYPE_Video) ? S_OK : E_FAIL;
    }
    HRESULT CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) override {
        return dsb::MediaTypesEqual(in, out) ? S_OK : E_FAIL;
    }
    HRESULT GetMediaType(int pos, AM_MEDIA_TYPE* mt) override {
        if (pos > 0) return VFW_S_NO_MORE_ITEMS;
        return dsb::CopyMediaType(mt, &Input()->CurrentType());
    }
    HRESULT DecideBufferSize(IMemAllocator* a, ALLOCATOR_PROPERTIES* p) override {
        p->cBuffers = 1;
        p->cbBuffer = 100;
        if (p->cbAlign < 1) p->cbAlign = 1;
        ALLOCATOR_PROPERTIES got;
        return a->SetProperties(p, &got);
    }
    HRESULT Transform(IMediaSample*, IMediaSample*) override {
        ++transformed;
        return S_OK;
    }
    int transformed = 0;
};

}  // namespace

TEST_CASE("input pin rules: wrong state, flushing and end of stream") {
    ComInit com;
    PassThrough* f = new PassThrough;
    f->NonDelegatingAddRef();
    REQUIRE(f->CreatePins(L"In", L"Out") == S_OK);
    ComPtr<IMemAllocator> alloc;
    REQUIRE(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                             alloc.PutVoid()) == S_OK);
    ALLOCATOR_PROPERTIES want = {2, 100, 1, 0}, got;
    REQUIRE(alloc->SetProperties(&want, &got) == S_OK);
    REQUIRE(alloc->Commit() == S_OK);
    IMediaSample* raw = nullptr;
    REQUIRE(alloc->GetBuffer(&raw, nullptr, nullptr, 0) == S_OK);
    ComPtr<IMediaSample> sample(raw);
    IMemInputPin* in = f->Input();

    CHECK(in->Receive(sample.Get()) == VFW_E_WRONG_STATE);
    REQUIRE(f->Pause() == S_OK);
    CHECK(in->Receive(sample.Get()) == S_OK);
    CHECK(f->transformed == 0);  // no output connection: dropped
    CHECK(f->Input()->BeginFlush() == S_OK);
    CHECK(in->Receive(sample.Get()) == S_FALSE);
    CHECK(f->Input()->EndFlush() == S_OK);
    CHECK(in->Receive(sample.Get()) == S_OK);
    CHECK(f->Input()->EndOfStream() == S_OK);
    CHECK(in->Receive(sample.Get()) == VFW_E_SAMPLE_REJECTED_EOS);
    f->Input()->BeginFlush();
    f->Input()->EndFlush();  // a flush clears end of stream
    IMediaSample* batch[3] = {sample.Get(), sample.Get(), sample.Get()};
    LONG done = 0;
    CHECK(in->ReceiveMultiple(batch, 3, &done) == S_OK);
    CHECK(done == 3);
    CHECK(in->ReceiveCanBlock() == S_OK);
    REQUIRE(f->Stop() == S_OK);
    CHECK(in->Receive(sample.Get()) == VFW_E_WRONG_STATE);
    CHECK(f->Input()->EndOfStream() == VFW_E_WRONG_STATE);
    // Output pin methods that belong to input pins.
    CHECK(f->Output()->EndOfStream() == E_UNEXPECTED);
    CHECK(f->Output()->ReceiveConnection(f->Input(), nullptr) == E_UNEXPECTED);
    CHECK(f->Input()->Connect(f->Output(), nullptr) == E_UNEXPECTED);
    sample.Reset();
    alloc->Decommit();
    f->NonDelegatingRelease();
}

TEST_CASE("connections: not while running, one at a time, types negotiated from either side") {
    ComInit com;
    TestSourceConfig cfg;
    ComPtr<IBaseFilter> src = MakeSource(cfg);
    PassThrough* f = new PassThrough;
    f->NonDelegatingAddRef();
    REQUIRE(f->CreatePins(L"In", L"Out") == S_OK);
    ComPtr<IPin> out = FindPin(src.Get(), PINDIR_OUTPUT);

    AM_MEDIA_TYPE audio = {};
    audio.majortype = MEDIATYPE_Audio;
    CHECK(out->Connect(f->Input(), &audio) == VFW_E_NO_ACCEPTABLE_TYPES);
    CHECK(out->Connect(f->Output(), nullptr) == VFW_E_INVALID_DIRECTION);
    REQUIRE(out->Connect(f->Input(), nullptr) == S_OK);
    CHECK(out->Connect(f->Input(), nullptr) == VFW_E_ALREADY_CONNECTED);
    dsb::MediaType a, b;
    REQUIRE(out->ConnectionMediaType(&a) == S_OK);
    REQUIRE(f->Input()->ConnectionMediaType(&b) == S_OK);
    CHECK(dsb::MediaTypesEqual(&a, &b));
    REQUIRE(f->Input()->Allocator());  // upstream chose and announced one

    REQUIRE(src->Pause() == S_OK);
    CHECK(out->Disconnect() == VFW_E_NOT_STOPPED);
    REQUIRE(src->Stop() == S_OK);
    CHECK(out->Disconnect() == S_OK);
    CHECK(out->Disconnect() == S_FALSE);
    CHECK(f->Input()->Disconnect() == S_OK);
    f->NonDelegatingRelease();
}

namespace {

HRESULT CreateInner(IUnknown* outer, dsb::ComObject** obj) {
    *obj = new Inner(outer);
    return S_OK;
}

// {9C1E5A0D-8F0B-4E55-A3B1-6D2F0E4C7A11}: a class registered only by this test.
const CLSID kTestClass = {0x9c1e5a0d, 0x8f0b, 0x4e55, {0xa3, 0xb1, 0x6d, 0x2f, 0x0e, 0x4c, 0x7a, 0x11}};
WCHAR kPinIn[] = L"Input";
const REGPINTYPES kAny = {&GUID_NULL, &GUID_NULL};
const REGFILTERPINS kTestPins[] = {{kPinIn, FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, &kAny}};
const dsb::FilterRegistration kTestFilter = {0x123456, 1, kTestPins};
const dsb::ClassEntry kTable[] = {{&kTestClass, L"Base Layer Test Class", CreateInner, &kTestFilter}};

bool Listed(DWORD merit) {
    ComPtr<IFilterMapper2> mapper;
    REQUIRE(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                             mapper.PutVoid()) == S_OK);
    ComPtr<IEnumMoniker> e;
    if (mapper->EnumMatchingFilters(e.Put(), 0, FALSE, merit, FALSE, 0, nullptr, nullptr, nullptr, FALSE, FALSE, 0,
                                    nullptr, nullptr, nullptr) != S_OK)
        return false;
    IMoniker* m = nullptr;
    bool found = false;
    while (!found && e->Next(1, &m, nullptr) == S_OK) {
        ComPtr<IMoniker> mon(m);
        ComPtr<IPropertyBag> bag;
        if (FAILED(mon->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.PutVoid()))) continue;
        VARIANT v;
        VariantInit(&v);
        CLSID c;
        if (SUCCEEDED(bag->Read(L"CLSID", &v, nullptr)) && V_VT(&v) == VT_BSTR &&
            SUCCEEDED(CLSIDFromString(V_BSTR(&v), &c)) && IsEqualCLSID(c, kTestClass))
            found = true;
        VariantClear(&v);
    }
    return found;
}

}  // namespace

TEST_CASE("module: class factory, unload answer, and registration as data") {
    ComInit com;
    void* p = nullptr;
    CHECK(dsb::ModuleGetClassObject(kTable, 1, IID_IPersist, IID_IClassFactory, &p) == CLASS_E_CLASSNOTAVAILABLE);
    ComPtr<IClassFactory> cf;
    REQUIRE(dsb::ModuleGetClassObject(kTable, 1, kTestClass, IID_IClassFactory, cf.PutVoid()) == S_OK);
    CHECK(dsb::ModuleCanUnloadNow() == S_FALSE);  // the factory counts
    ComPtr<IPersist> persist;
    REQUIRE(cf->CreateInstance(nullptr, IID_IPersist, persist.PutVoid()) == S_OK);
    CHECK(RefCount(persist.Get()) == 1);
    IUnknown* agg = nullptr;
    Outer* outer = new Outer;
    CHECK(cf->CreateInstance(outer, IID_IPersist, (void**)&agg) == CLASS_E_NOAGGREGATION);
    REQUIRE(cf->CreateInstance(outer, IID_IUnknown, (void**)&agg) == S_OK);
    reinterpret_cast<dsb::INonDelegatingUnknown*>(agg)->NonDelegatingRelease();
    persist.Reset();
    cf.Reset();
    outer->Release();

    dsb::ModuleSetInstance(GetModuleHandleW(nullptr));
    REQUIRE(dsb::ModuleRegister(kTable, 1, true) == S_OK);
    HKEY k;
    REQUIRE(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID\\{9C1E5A0D-8F0B-4E55-A3B1-6D2F0E4C7A11}\\InprocServer32", 0,
                          KEY_READ, &k) == ERROR_SUCCESS);
    WCHAR model[32] = {};
    DWORD size = sizeof(model) - 2;
    CHECK(RegQueryValueExW(k, L"ThreadingModel", nullptr, nullptr, (BYTE*)model, &size) == ERROR_SUCCESS);
    CHECK(lstrcmpW(model, L"Both") == 0);
    RegCloseKey(k);
    CHECK(Listed(0x123456));
    CHECK_FALSE(Listed(0x123457));
    REQUIRE(dsb::ModuleRegister(kTable, 1, false) == S_OK);
    CHECK(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID\\{9C1E5A0D-8F0B-4E55-A3B1-6D2F0E4C7A11}", 0, KEY_READ, &k) ==
          ERROR_FILE_NOT_FOUND);
    CHECK_FALSE(Listed(0x123456));
}

namespace {

// Two output pins of one source; counts the seeks it is asked to do.
class TwoPinSource : public dsb::SourceFilter {
public:
    TwoPinSource() : SourceFilter(IID_IPersist, nullptr) {
        NonDelegatingAddRef();
        AddStream(L"A");
        AddStream(L"B");
    }
    HRESULT GetMediaType(int, int pos, AM_MEDIA_TYPE* mt) override {
        if (pos > 0) return VFW_S_NO_MORE_ITEMS;
        return TestSource::MakeMediaType(TestSourceConfig(), mt);
    }
    HRESULT DecideBufferSize(int, IMemAllocator*, ALLOCATOR_PROPERTIES*) override { return S_OK; }
    HRESULT FillSample(int, IMediaSample*) override { return S_FALSE; }
    HRESULT OnSeek(REFERENCE_TIME start, REFERENCE_TIME, double) override {
        ++seeks;
        last = start;
        return S_OK;
    }
    int seeks = 0;
    REFERENCE_TIME last = -1;
};

ComPtr<IMediaSeeking> PinSeeking(dsb::SourceFilter* f, int i) {
    ComPtr<IMediaSeeking> s;
    REQUIRE(f->Stream(i)->QueryInterface(IID_IMediaSeeking, s.PutVoid()) == S_OK);
    return s;
}

}  // namespace

TEST_CASE("source seeking: relative moves, refused starts and rates, one seek through two pins") {
    ComInit com;
    TwoPinSource* src = new TwoPinSource;
    ComPtr<IBaseFilter> owner(static_cast<IBaseFilter*>(src));
    ComPtr<IMediaSeeking> a = PinSeeking(src, 0), b = PinSeeking(src, 1);

    SECTION("relative and absolute moves; a start before 0 is refused and changes nothing") {
        struct Step { LONGLONG value; DWORD flags; HRESULT want; LONGLONG position; };
        const Step steps[] = {
            {30000000, AM_SEEKING_AbsolutePositioning, S_OK, 30000000},
            {5000000, AM_SEEKING_RelativePositioning, S_OK, 35000000},
            {-20000000, AM_SEEKING_RelativePositioning, S_OK, 15000000},
            {-15000001, AM_SEEKING_RelativePositioning, E_INVALIDARG, 15000000},
            {-1, AM_SEEKING_AbsolutePositioning, E_INVALIDARG, 15000000},
            {0, AM_SEEKING_AbsolutePositioning, S_OK, 0},
        };
        for (const Step& s : steps) {
            INFO("value " << s.value << " flags " << s.flags);
            LONGLONG v = s.value;
            CHECK(a->SetPositions(&v, s.flags | AM_SEEKING_ReturnTime, nullptr, 0) == s.want);
            if (s.want == S_OK) {
                CHECK(v == s.position);
                CHECK(src->last == s.position);
            }
            LONGLONG cur = -1;
            CHECK(b->GetCurrentPosition(&cur) == S_OK);
            CHECK(cur == s.position);
        }
        // A relative stop moves from the current stop.
        LONGLONG stop = 50000000;
        REQUIRE(a->SetPositions(nullptr, 0, &stop, AM_SEEKING_AbsolutePositioning) == S_OK);
        stop = -10000000;
        REQUIRE(b->SetPositions(nullptr, 0, &stop, AM_SEEKING_RelativePositioning | AM_SEEKING_ReturnTime) == S_OK);
        CHECK(stop == 40000000);
        LONGLONG got = 0;
        CHECK(a->GetStopPosition(&got) == S_OK);
        CHECK(got == 40000000);
    }
    SECTION("the same seek arriving through the other pin is done once") {
        LONGLONG t = 20000000;
        REQUIRE(a->SetPositions(&t, AM_SEEKING_AbsolutePositioning, nullptr, 0) == S_OK);
        CHECK(src->seeks == 1);
        REQUIRE(b->SetPositions(&t, AM_SEEKING_AbsolutePositioning, nullptr, 0) == S_OK);
        CHECK(src->seeks == 1);
        LONGLONG stop = 30000000;
        REQUIRE(b->SetPositions(&t, AM_SEEKING_AbsolutePositioning, &stop, AM_SEEKING_AbsolutePositioning) == S_OK);
        CHECK(src->seeks == 2);  // a new stop is a new seek
        t = 25000000;
        REQUIRE(b->SetPositions(&t, AM_SEEKING_AbsolutePositioning, nullptr, 0) == S_OK);
        CHECK(src->seeks == 3);
        CHECK(src->last == 25000000);
    }
    SECTION("rates of 0 and below are refused; a rate set on one pin is the filter's") {
        for (double bad : {0.0, -1.0, -0.5}) {
            INFO("rate " << bad);
            CHECK(a->SetRate(bad) == E_INVALIDARG);
            double r = 0;
            CHECK(b->GetRate(&r) == S_OK);
            CHECK(r == 1.0);
        }
        CHECK(a->SetRate(2.0) == S_OK);
        double r = 0;
        CHECK(b->GetRate(&r) == S_OK);
        CHECK(r == 2.0);
    }
}

TEST_CASE("a rate of 2 delivers the frames at half their media times") {
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
    REQUIRE(src->SetRate(2.0) == S_OK);
    REQUIRE(SUCCEEDED(g.control->Run()));
    REQUIRE(WaitForEvent(g.graph.Get(), EC_COMPLETE, 10000));
    g.control->Stop();
    const auto frames = c.Frames();
    REQUIRE(frames.size() == 12);
    for (int i = 0; i < 12; ++i) {
        INFO("frame " << i);
        CHECK(frames[i].t0 == i * cfg.frameDuration / 2);
        CHECK(frames[i].t1 == (i + 1) * cfg.frameDuration / 2);
    }
}
