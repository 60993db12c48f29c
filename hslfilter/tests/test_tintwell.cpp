// Tintwell's COM contract, its transform-filter overrides and the sample
// property copy, on the filter object itself and through COM.
#include <catch2/catch.hpp>
#include "dshow_test.h"
#include "dshowbase/test_source.h"
#include "tintwell_filter.h"
#include <string>
#include <algorithm>
#include <vector>

using namespace corvtest;
using dsb::TestSource;
using dsb::TestSourceConfig;
using tintwell::TintwellFilter;

namespace {

// The filter object itself (one reference), for calling its hooks directly.
struct Direct {
    TintwellFilter* f = nullptr;
    Direct() {
        dsb::ComObject* o = nullptr;
        REQUIRE(TintwellFilter::Create(nullptr, &o) == S_OK);
        o->NonDelegatingAddRef();
        f = static_cast<TintwellFilter*>(o);
    }
    ~Direct() { f->NonDelegatingRelease(); }
};

ComPtr<IBaseFilter> CreateTintwell() {
    ComPtr<IBaseFilter> f;
    REQUIRE(CoCreateInstance(CLSID_TintwellFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, f.PutVoid()) ==
            S_OK);
    return f;
}

ComPtr<IBaseFilter> MakeSource(const TestSourceConfig& cfg) {
    TestSource* s = nullptr;
    REQUIRE(TestSource::Create(cfg, &s) == S_OK);
    return ComPtr<IBaseFilter>(static_cast<IBaseFilter*>(s));
}

ComPtr<IPin> PinById(IBaseFilter* f, const WCHAR* id) {
    ComPtr<IPin> p;
    REQUIRE(f->FindPin(id, p.Put()) == S_OK);
    return p;
}

// A media sample whose answers a test chooses and whose setter calls are
// recorded in order.
class FakeSample : public IMediaSample {
public:
    explicit FakeSample(LONG size) : buf(size, 0xEE) {}
    std::vector<BYTE> buf;
    BYTE* external = nullptr;       // when set, the sample's memory instead of buf
    LONG externalSize = 0;
    LONG actual = 0;
    HRESULT timeHr = VFW_E_SAMPLE_TIME_NOT_SET, mediaTimeHr = VFW_E_MEDIA_TIME_NOT_SET;
    REFERENCE_TIME t0 = 0, t1 = 0;
    LONGLONG m0 = 0, m1 = 0;
    HRESULT syncHr = S_FALSE, prerollHr = S_FALSE, discHr = S_FALSE;
    HRESULT setLengthHr = S_OK;
    AM_MEDIA_TYPE* type = nullptr;  // what GetMediaType hands out (copied)
    dsb::MediaType typeSet;         // what SetMediaType received
    bool typeSetNull = false;
    std::vector<std::string> calls;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMediaSample)) {
            *ppv = this;
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetPointer(BYTE** p) override {
        *p = external ? external : buf.data();
        return S_OK;
    }
    LONG STDMETHODCALLTYPE GetSize() override { return external ? externalSize : (LONG)buf.size(); }
    HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* a, REFERENCE_TIME* b) override {
        *a = t0;
        *b = t1;
        return timeHr;
    }
    HRESULT STDMETHODCALLTYPE SetTime(REFERENCE_TIME* a, REFERENCE_TIME* b) override {
        calls.push_back("time");
        timeHr = a ? (b ? S_OK : VFW_S_NO_STOP_TIME) : VFW_E_SAMPLE_TIME_NOT_SET;
        if (a) t0 = *a;
        if (b) t1 = *b;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsSyncPoint() override { return syncHr; }
    HRESULT STDMETHODCALLTYPE SetSyncPoint(BOOL v) override {
        calls.push_back(v ? "sync+" : "sync-");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsPreroll() override { return prerollHr; }
    HRESULT STDMETHODCALLTYPE SetPreroll(BOOL v) override {
        calls.push_back(v ? "preroll+" : "preroll-");
        return S_OK;
    }
    LONG STDMETHODCALLTYPE GetActualDataLength() override { return actual; }
    HRESULT STDMETHODCALLTYPE SetActualDataLength(LONG n) override {
        calls.push_back("length");
        if (FAILED(setLengthHr)) return setLengthHr;
        actual = n;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMediaType(AM_MEDIA_TYPE** mt) override {
        *mt = type ? dsb::CreateMediaType(type) : nullptr;
        return type ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE SetMediaType(AM_MEDIA_TYPE* mt) override {
        calls.push_back("type");
        typeSetNull = mt == nullptr;
        typeSet.Set(mt);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsDiscontinuity() override { return discHr; }
    HRESULT STDMETHODCALLTYPE SetDiscontinuity(BOOL v) override {
        calls.push_back(v ? "disc+" : "disc-");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMediaTime(LONGLONG* a, LONGLONG* b) override {
        *a = m0;
        *b = m1;
        return mediaTimeHr;
    }
    HRESULT STDMETHODCALLTYPE SetMediaTime(LONGLONG* a, LONGLONG* b) override {
        calls.push_back("mediatime");
        m0 = *a;
        m1 = *b;
        return S_OK;
    }
};

// Bytes that end exactly where an inaccessible page begins: a read or write
// one byte past them faults at once.
class GuardedBytes {
public:
    explicit GuardedBytes(size_t size) : size_(size) {
        SYSTEM_INFO si;
        GetSystemInfo(&si);
        const size_t page = si.dwPageSize;
        const size_t body = (size + page - 1) / page * page;
        base_ = static_cast<BYTE*>(VirtualAlloc(nullptr, body + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old;
        if (base_) VirtualProtect(base_ + body, page, PAGE_NOACCESS, &old);
        data_ = base_ ? base_ + body - size : nullptr;
        if (data_) memset(data_, 0xEE, size);
    }
    ~GuardedBytes() {
        if (base_) VirtualFree(base_, 0, MEM_RELEASE);
    }
    GuardedBytes(const GuardedBytes&) = delete;
    GuardedBytes& operator=(const GuardedBytes&) = delete;
    BYTE* data() const { return data_; }
    LONG size() const { return (LONG)size_; }
    void attach(FakeSample& s) const {
        s.external = data_;
        s.externalSize = (LONG)size_;
    }

private:
    BYTE* base_ = nullptr;
    BYTE* data_ = nullptr;
    size_t size_;
};

// An allocator that grants less than asked, by the chosen field.
class StingyAllocator : public IMemAllocator {
public:
    LONG lessBuffers = 0, lessSize = 0, lessAlign = 0;
    ALLOCATOR_PROPERTIES asked = {};
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        *ppv = (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMemAllocator)) ? this : nullptr;
        return *ppv ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SetProperties(ALLOCATOR_PROPERTIES* req, ALLOCATOR_PROPERTIES* act) override {
        asked = *req;
        *act = *req;
        act->cBuffers -= lessBuffers;
        act->cbBuffer -= lessSize;
        act->cbAlign -= lessAlign;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetProperties(ALLOCATOR_PROPERTIES* p) override {
        *p = asked;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Commit() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Decommit() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetBuffer(IMediaSample**, REFERENCE_TIME*, REFERENCE_TIME*, DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE ReleaseBuffer(IMediaSample*) override { return S_OK; }
};

}  // namespace

TEST_CASE("CoCreateInstance gives a filter with the expected interfaces and pins") {
    ComInit com;
    ComPtr<IBaseFilter> f = CreateTintwell();
    CHECK(RefCount(f.Get()) == 1);

    struct Iface { const IID* iid; HRESULT hr; };
    const Iface ifaces[] = {{&IID_IUnknown, S_OK},     {&IID_IPersist, S_OK},        {&IID_IMediaFilter, S_OK},
                            {&IID_IBaseFilter, S_OK},  {&IID_IHSLEffect, S_OK},      {&IID_IMemInputPin, E_NOINTERFACE},
                            {&IID_IPin, E_NOINTERFACE}, {&IID_IMediaSeeking, E_NOINTERFACE}};
    for (const Iface& i : ifaces) {
        IUnknown* u = nullptr;
        CHECK(f->QueryInterface(*i.iid, (void**)&u) == i.hr);
        if (u) u->Release();
    }
    CHECK(RefCount(f.Get()) == 1);
    CLSID clsid;
    REQUIRE(f->GetClassID(&clsid) == S_OK);
    CHECK(IsEqualCLSID(clsid, CLSID_TintwellFilter));

    // Two pins, input "In" then output "Out"; names equal identifiers.
    ComPtr<IEnumPins> e;
    REQUIRE(f->EnumPins(e.Put()) == S_OK);
    IPin* pins[3] = {};
    ULONG n = 0;
    CHECK(e->Next(3, pins, &n) == S_FALSE);
    REQUIRE(n == 2);
    ComPtr<IPin> in(pins[0]), out(pins[1]);
    const struct { IPin* pin; PIN_DIRECTION dir; const WCHAR* name; } expect[] = {
        {in.Get(), PINDIR_INPUT, L"In"}, {out.Get(), PINDIR_OUTPUT, L"Out"}};
    for (const auto& x : expect) {
        PIN_INFO info;
        REQUIRE(x.pin->QueryPinInfo(&info) == S_OK);
        CHECK(info.dir == x.dir);
        CHECK(lstrcmpW(info.achName, x.name) == 0);
        CHECK(info.pFilter == f.Get());
        info.pFilter->Release();
        LPWSTR id = nullptr;
        REQUIRE(x.pin->QueryId(&id) == S_OK);
        CHECK(lstrcmpW(id, x.name) == 0);
        CoTaskMemFree(id);
        IPin* ic[2];
        ULONG cnt = 2;
        CHECK(x.pin->QueryInternalConnections(ic, &cnt) == E_NOTIMPL);
    }
    IMemInputPin* mi = nullptr;
    CHECK(in->QueryInterface(IID_IMemInputPin, (void**)&mi) == S_OK);
    if (mi) mi->Release();
    e.Reset();
    in.Reset();
    out.Reset();
    CHECK(RefCount(f.Get()) == 1);
}

TEST_CASE("IHSLEffect: offsets start at zero, round-trip, and null pointers write nothing") {
    ComInit com;
    ComPtr<IBaseFilter> f = CreateTintwell();
    ComPtr<IHSLEffect> fx;
    REQUIRE(f->QueryInterface(IID_IHSLEffect, fx.PutVoid()) == S_OK);
    int h = -1, s = -1, l = -1;
    REQUIRE(fx->GetHSL(&h, &s, &l) == S_OK);
    CHECK((h == 0 && s == 0 && l == 0));
    CHECK(fx->SetHSL(-180, 100, -100) == S_OK);
    CHECK(fx->SetHSL(1000, -5000, 77) == S_OK);  // any integers are kept
    REQUIRE(fx->GetHSL(&h, &s, &l) == S_OK);
    CHECK((h == 1000 && s == -5000 && l == 77));

    for (int missing = 0; missing < 3; ++missing) {
        INFO("null pointer " << missing);
        int v[3] = {11, 22, 33};
        int* p[3] = {&v[0], &v[1], &v[2]};
        p[missing] = nullptr;
        CHECK(fx->GetHSL(p[0], p[1], p[2]) == E_POINTER);
        CHECK((v[0] == 11 && v[1] == 22 && v[2] == 33));
    }
    IUnknown* u = nullptr;
    REQUIRE(fx->QueryInterface(IID_IBaseFilter, (void**)&u) == S_OK);
    CHECK(u == static_cast<IUnknown*>(f.Get()));
    u->Release();
}

TEST_CASE("IHSLEffect slots: GetHSL then SetHSL after the three of IUnknown") {
    ComInit com;
    ComPtr<IBaseFilter> f = CreateTintwell();
    ComPtr<IHSLEffect> fx;
    REQUIRE(f->QueryInterface(IID_IHSLEffect, fx.PutVoid()) == S_OK);
    // Call through the table as a client built from the interface's layout would.
    typedef HRESULT(STDMETHODCALLTYPE * GetFn)(IHSLEffect*, int*, int*, int*);
    typedef HRESULT(STDMETHODCALLTYPE * SetFn)(IHSLEffect*, int, int, int);
    void** vtbl = *reinterpret_cast<void***>(fx.Get());
    REQUIRE(((SetFn)vtbl[4])(fx.Get(), 12, -34, 56) == S_OK);
    int h = 0, s = 0, l = 0;
    REQUIRE(((GetFn)vtbl[3])(fx.Get(), &h, &s, &l) == S_OK);
    CHECK((h == 12 && s == -34 && l == 56));
}

TEST_CASE("aggregation and the non-delegating QueryInterface") {
    ComInit com;
    Direct d;
    CHECK(d.f->NonDelegatingQueryInterface(IID_IHSLEffect, nullptr) == E_POINTER);
    IUnknown* u = nullptr;
    IUnknown* outer = reinterpret_cast<IUnknown*>(0x1);  // never called: the request must fail first
    CHECK(CoCreateInstance(CLSID_TintwellFilter, outer, CLSCTX_INPROC_SERVER, IID_IBaseFilter, (void**)&u) ==
          CLASS_E_NOAGGREGATION);
    CHECK(u == nullptr);
}

TEST_CASE("input type checks: RGB24 video only, and only with a VIDEOINFOHEADER format") {
    ComInit com;
    Direct d;
    struct Case { GUID major, sub, format; HRESULT hr; };
    const Case cases[] = {
        {MEDIATYPE_Video, MEDIASUBTYPE_RGB24, FORMAT_VideoInfo, S_OK},
        {MEDIATYPE_Video, MEDIASUBTYPE_RGB32, FORMAT_VideoInfo, E_FAIL},
        {MEDIATYPE_Video, MEDIASUBTYPE_YUY2, FORMAT_VideoInfo, E_FAIL},
        {MEDIATYPE_Audio, MEDIASUBTYPE_RGB24, FORMAT_VideoInfo, E_FAIL},
        {MEDIATYPE_Video, MEDIASUBTYPE_RGB24, FORMAT_VideoInfo2, E_INVALIDARG},
        {MEDIATYPE_Video, MEDIASUBTYPE_RGB24, FORMAT_None, E_INVALIDARG},
        {MEDIATYPE_Video, MEDIASUBTYPE_RGB32, FORMAT_None, E_FAIL},
    };
    TestSourceConfig cfg;
    ComPtr<IBaseFilter> src = MakeSource(cfg);
    ComPtr<IPin> srcOut = PinById(src.Get(), L"Out");
    ComPtr<IBaseFilter> f = CreateTintwell();
    ComPtr<IPin> in = PinById(f.Get(), L"In");
    for (const Case& c : cases) {
        dsb::MediaType mt;
        REQUIRE(TestSource::MakeMediaType(cfg, &mt) == S_OK);
        mt.majortype = c.major;
        mt.subtype = c.sub;
        mt.formattype = c.format;
        CHECK(d.f->CheckInputType(&mt) == c.hr);
        // Through COM: the connection is refused with the same code.
        CHECK(in->QueryAccept(&mt) == (c.hr == S_OK ? S_OK : S_FALSE));
        const HRESULT hr = in->ReceiveConnection(srcOut.Get(), &mt);
        CHECK(hr == c.hr);
        if (hr == S_OK) CHECK(in->Disconnect() == S_OK);
    }
}

TEST_CASE("GetMediaType and DecideBufferSize need a connected input") {
    ComInit com;
    Direct d;
    dsb::MediaType mt;
    CHECK(d.f->GetMediaType(0, &mt) == E_UNEXPECTED);
    CHECK(d.f->GetMediaType(-1, &mt) == E_UNEXPECTED);
    StingyAllocator a;
    ALLOCATOR_PROPERTIES p = {};
    CHECK(d.f->DecideBufferSize(&a, &p) == E_UNEXPECTED);
    // The output pin offers nothing while the input is unconnected.
    ComPtr<IEnumMediaTypes> e;
    REQUIRE(d.f->Output()->EnumMediaTypes(e.Put()) == S_OK);
    AM_MEDIA_TYPE* t = nullptr;
    ULONG n = 5;
    CHECK(e->Next(1, &t, &n) == S_FALSE);
    CHECK(n == 0);
}

TEST_CASE("connected: one output type equal to the input's, buffers as upstream's, exact grants only") {
    ComInit com;
    Direct d;
    TestSourceConfig cfg;
    cfg.bufferPadding = 30;
    ComPtr<IBaseFilter> src = MakeSource(cfg);
    ComPtr<IPin> srcOut = PinById(src.Get(), L"Out");
    REQUIRE(srcOut->Connect(d.f->Input(), nullptr) == S_OK);

    dsb::MediaType offered, expected;
    REQUIRE(TestSource::MakeMediaType(cfg, &expected) == S_OK);
    REQUIRE(d.f->GetMediaType(0, &offered) == S_OK);
    CHECK(dsb::MediaTypesEqual(&offered, &expected));
    dsb::MediaType more;
    CHECK(d.f->GetMediaType(1, &more) == VFW_S_NO_MORE_ITEMS);
    CHECK(d.f->GetMediaType(-1, &more) == E_INVALIDARG);

    // CheckTransform: only the identical type.
    CHECK(d.f->CheckTransform(&expected, &offered) == S_OK);
    ((VIDEOINFOHEADER*)offered.pbFormat)->bmiHeader.biHeight = -cfg.height;
    CHECK(d.f->CheckTransform(&expected, &offered) == E_FAIL);
    dsb::MediaType other;
    other.Set(&expected);
    other.subtype = MEDIASUBTYPE_RGB32;
    CHECK(d.f->CheckTransform(&expected, &other) == E_FAIL);

    ALLOCATOR_PROPERTIES upstream = {};
    REQUIRE(d.f->Input()->Allocator());
    REQUIRE(d.f->Input()->Allocator()->GetProperties(&upstream) == S_OK);
    struct Grant { LONG lessBuffers, lessSize, lessAlign; HRESULT hr; };
    const Grant grants[] = {{0, 0, 0, S_OK}, {1, 0, 0, E_FAIL}, {0, 1, 0, E_FAIL}, {0, 0, 1, E_FAIL}};
    for (const Grant& g : grants) {
        StingyAllocator a;
        a.lessBuffers = g.lessBuffers;
        a.lessSize = g.lessSize;
        a.lessAlign = g.lessAlign;
        ALLOCATOR_PROPERTIES p = {};
        CHECK(d.f->DecideBufferSize(&a, &p) == g.hr);
        CHECK(a.asked.cBuffers == upstream.cBuffers);
        CHECK(a.asked.cbBuffer == upstream.cbBuffer);
        CHECK(a.asked.cbBuffer == TestSource::FrameBytes(cfg) + cfg.bufferPadding);
    }
    // A real allocator grants what was asked.
    ComPtr<IMemAllocator> real;
    REQUIRE(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                             real.PutVoid()) == S_OK);
    ALLOCATOR_PROPERTIES p = {};
    CHECK(d.f->DecideBufferSize(real.Get(), &p) == S_OK);
    REQUIRE(srcOut->Disconnect() == S_OK);
    REQUIRE(d.f->Input()->Disconnect() == S_OK);
}

TEST_CASE("sample properties are copied in order, and a failed copy writes no pixels") {
    ComInit com;
    Direct d;
    const LONG size = 30;  // 10 pixels

    SECTION("all properties present: seven steps in order") {
        FakeSample in(size), out(size);
        in.timeHr = S_OK;
        in.t0 = 1000;
        in.t1 = 2000;
        in.mediaTimeHr = S_OK;
        in.m0 = 7;
        in.m1 = 8;
        in.syncHr = S_OK;
        in.prerollHr = S_FALSE;
        in.discHr = S_OK;
        in.actual = 21;
        TestSourceConfig cfg;
        dsb::MediaType mt;
        TestSource::MakeMediaType(cfg, &mt);
        in.type = &mt;
        REQUIRE(TintwellFilter::CopySampleProperties(&in, &out) == S_OK);
        const std::vector<std::string> order = {"time", "mediatime", "sync+", "type", "preroll-", "disc+", "length"};
        CHECK(out.calls == order);
        CHECK((out.t0 == 1000 && out.t1 == 2000 && out.m0 == 7 && out.m1 == 8 && out.actual == 21));
        CHECK(dsb::MediaTypesEqual(&out.typeSet, &mt));
    }
    SECTION("no times and no media type: times skipped, a null type is set") {
        FakeSample in(size), out(size);
        in.actual = 3;
        REQUIRE(TintwellFilter::CopySampleProperties(&in, &out) == S_OK);
        const std::vector<std::string> order = {"sync-", "type", "preroll-", "disc-", "length"};
        CHECK(out.calls == order);
        CHECK(out.typeSetNull);
    }
    SECTION("a start time without a stop time is carried") {
        FakeSample in(size), out(size);
        in.timeHr = VFW_S_NO_STOP_TIME;
        in.t0 = 5;
        REQUIRE(TintwellFilter::CopySampleProperties(&in, &out) == S_OK);
        CHECK(out.timeHr == VFW_S_NO_STOP_TIME);
        CHECK(out.t0 == 5);
    }
    SECTION("a flag query answering neither S_OK nor S_FALSE fails the transform") {
        for (int which = 0; which < 4; ++which) {
            INFO("case " << which);
            FakeSample in(size), out(size);
            in.actual = size;
            for (auto& b : in.buf) b = 0x40;
            REQUIRE(d.f->SetHSL(10, 10, 10) == S_OK);
            HRESULT expect = E_UNEXPECTED;
            if (which == 0) in.syncHr = E_FAIL;
            if (which == 1) in.prerollHr = E_NOTIMPL;
            if (which == 2) in.discHr = 2;  // an unexpected success code
            if (which == 3) {
                out.setLengthHr = VFW_E_BUFFER_OVERFLOW;
                expect = VFW_E_BUFFER_OVERFLOW;
            }
            CHECK(d.f->Transform(&in, &out) == expect);
            CHECK(out.buf == std::vector<BYTE>(size, 0xEE));
        }
    }
}

TEST_CASE("pixels: zero offsets copy the data length, others transform the whole buffer") {
    ComInit com;
    Direct d;
    std::vector<BYTE> src(32);
    for (size_t i = 0; i < src.size(); ++i) src[i] = (BYTE)(i * 37 + 11);

    SECTION("all zero: exactly the actual data length is copied") {
        FakeSample in(32), out(32);
        in.buf = src;
        in.actual = 13;
        REQUIRE(d.f->Transform(&in, &out) == S_OK);
        CHECK(std::vector<BYTE>(out.buf.begin(), out.buf.begin() + 13) ==
              std::vector<BYTE>(src.begin(), src.begin() + 13));
        CHECK(out.buf[13] == 0xEE);
        CHECK(out.actual == 13);
    }
    SECTION("non-zero: buffer size / 3 pixels, whatever the data length") {
        FakeSample in(32), out(32);
        in.buf = src;
        in.actual = 3;
        const hsl::Offsets o = {45, -20, 12};
        REQUIRE(d.f->SetHSL(o.hue, o.saturation, o.lightness) == S_OK);
        REQUIRE(d.f->Transform(&in, &out) == S_OK);
        std::vector<BYTE> want(30);
        hsl::ShiftPixelsReference(src.data(), want.data(), 10, o);
        CHECK(std::vector<BYTE>(out.buf.begin(), out.buf.begin() + 30) == want);
        CHECK(out.buf[30] == 0xEE);  // the partial pixel is left alone
        CHECK(out.buf[31] == 0xEE);
    }
    SECTION("an output buffer smaller than the input is never overrun") {
        FakeSample in(32), out(12);
        in.buf = src;
        in.actual = 12;
        REQUIRE(d.f->SetHSL(90, 0, 0) == S_OK);
        REQUIRE(d.f->Transform(&in, &out) == S_OK);
        std::vector<BYTE> want(12);
        hsl::ShiftPixelsReference(src.data(), want.data(), 4, {90, 0, 0});
        CHECK(out.buf == want);
    }
    SECTION("neither the copy nor the transform reaches past either buffer") {
        // The buffers end at an inaccessible page: a byte too many faults.
        const hsl::Offsets none = {0, 0, 0}, some = {90, 10, -10};
        struct Row { LONG inSize, actual, outSize; };
        const Row rows[] = {
            {32, 32, 12},  // output smaller than the data
            {32, 32, 13},  // ... not a whole number of pixels
            {12, 32, 32},  // data length claimed beyond the input buffer
            {13, 13, 32},
            {32, 31, 32},
        };
        for (const hsl::Offsets& o : {none, some}) {
            for (const Row& r : rows) {
                INFO("in " << r.inSize << " actual " << r.actual << " out " << r.outSize << " offsets "
                           << o.hue << "," << o.saturation << "," << o.lightness);
                GuardedBytes inMem(r.inSize), outMem(r.outSize);
                REQUIRE(inMem.data());
                REQUIRE(outMem.data());
                for (LONG i = 0; i < r.inSize; ++i) inMem.data()[i] = src[i];
                FakeSample in(0), out(0);
                inMem.attach(in);
                outMem.attach(out);
                in.actual = r.actual;
                REQUIRE(d.f->SetHSL(o.hue, o.saturation, o.lightness) == S_OK);
                REQUIRE(d.f->Transform(&in, &out) == S_OK);
                const LONG n = (std::min)(r.inSize, r.outSize);
                if (o.IsZero()) {
                    const LONG copied = (std::min)(n, r.actual);
                    CHECK(std::equal(src.begin(), src.begin() + copied, outMem.data()));
                } else {
                    std::vector<BYTE> want(size_t(n / 3 * 3));
                    hsl::ShiftPixelsReference(src.data(), want.data(), size_t(n / 3), o);
                    CHECK(std::equal(want.begin(), want.end(), outMem.data()));
                }
            }
        }
    }
    SECTION("buffers of fewer than 3 bytes write nothing") {
        FakeSample in(2), out(2);
        in.actual = 2;
        REQUIRE(d.f->SetHSL(90, 0, 0) == S_OK);
        REQUIRE(d.f->Transform(&in, &out) == S_OK);
        CHECK(out.buf == std::vector<BYTE>(2, 0xEE));
    }
}

TEST_CASE("DllCanUnloadNow answers S_FALSE while an object lives") {
    ComInit com;
    HMODULE m = LoadLibraryW(L"Tintwell.ax");
    REQUIRE(m);
    typedef HRESULT(WINAPI * CanUnload)(void);
    CanUnload canUnload = (CanUnload)GetProcAddress(m, "DllCanUnloadNow");
    REQUIRE(canUnload);
    {
        ComPtr<IBaseFilter> f = CreateTintwell();
        CHECK(canUnload() == S_FALSE);
    }
    CoFreeUnusedLibraries();
    CHECK(canUnload() == S_OK);
    FreeLibrary(m);
}
