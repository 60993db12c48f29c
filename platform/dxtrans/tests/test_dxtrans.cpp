// Transform surfaces: factory contract, sample pointers, lock time-outs
// across threads, GDI drawing through DC locks, premultiplied over.
#include <catch2/catch.hpp>

#include "dxtrans.h"

#include <vfw.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

struct ComInit
{
    ComInit() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
    ~ComInit() { CoUninitialize(); }
};

template <class T> struct Ptr
{
    T *p = nullptr;
    Ptr() = default;
    Ptr(const Ptr &) = delete;
    ~Ptr() { reset(); }
    void reset()
    {
        if (p) p->Release();
        p = nullptr;
    }
    T *operator->() const { return p; }
    void **out() { reset(); return reinterpret_cast<void **>(&p); }
    T **pp() { reset(); return &p; }
};

ULONG RefCount(IUnknown *u)
{
    u->AddRef();
    return u->Release();
}

DDSURFACEDESC Desc(DWORD w, DWORD h)
{
    DDSURFACEDESC d = {};
    d.dwSize = sizeof(d);
    d.dwFlags = DDSD_WIDTH | DDSD_HEIGHT;
    d.dwWidth = w;
    d.dwHeight = h;
    d.ddsCaps.dwCaps = 0x80000;
    return d;
}

struct Fixture
{
    ComInit com;
    Ptr<IDXSurfaceFactory> factory;
    Fixture()
    {
        Ptr<IUnknown> unk;
        REQUIRE(DXCreateTransformFactory(&unk.p) == S_OK);
        Ptr<IDXTransformFactory> tf;
        REQUIRE(unk->QueryInterface(IID_IDXTransformFactory, tf.out()) == S_OK);
        REQUIRE(tf->QueryService(SID_SDXSurfaceFactory, IID_IDXSurfaceFactory, factory.out()) == S_OK);
    }
    IDXSurface *Make(DWORD w, DWORD h)
    {
        DDSURFACEDESC d = Desc(w, h);
        IDXSurface *s = nullptr;
        REQUIRE(factory->CreateSurface(nullptr, &d, &DDPF_ARGB32, nullptr, 0, nullptr, IID_IDXSurface,
                                       reinterpret_cast<void **>(&s)) == S_OK);
        return s;
    }
};

// Independent over: exact rational form, rounded half up, clamped.
uint32_t RefOver(uint32_t dst, uint32_t src)
{
    const unsigned a = src >> 24;
    uint32_t out = 0;
    for (int sh = 0; sh < 32; sh += 8)
    {
        unsigned s = (src >> sh) & 0xFF, d = (dst >> sh) & 0xFF;
        unsigned scaled = (d * (255 - a) * 2 + 255) / 510; // round(d*(255-a)/255)
        unsigned v = s + scaled;
        out |= (v > 255 ? 255u : v) << sh;
    }
    return out;
}

uint32_t RefPremult(uint32_t s)
{
    unsigned a = s >> 24;
    uint32_t out = a << 24;
    for (int sh = 0; sh < 24; sh += 8) out |= ((((s >> sh) & 0xFF) * a * 2 + 255) / 510) << sh;
    return out;
}

} // namespace

TEST_CASE("transform factory answers its interfaces and the surface factory", "[dxtrans][com]")
{
    ComInit com;
    Ptr<IUnknown> unk;
    REQUIRE(DXCreateTransformFactory(&unk.p) == S_OK);
    REQUIRE(RefCount(unk.p) == 1);

    Ptr<IDXTransformFactory> tf;
    Ptr<IServiceProvider> sp;
    Ptr<IDXSurfaceFactory> sf1, sf2;
    Ptr<IUnknown> other;
    CHECK(unk->QueryInterface(IID_IDXTransformFactory, tf.out()) == S_OK);
    CHECK(unk->QueryInterface(IID_IServiceProvider, sp.out()) == S_OK);
    CHECK(unk->QueryInterface(IID_IDXSurfaceFactory, sf1.out()) == S_OK);
    CHECK(tf->QueryService(SID_SDXSurfaceFactory, IID_IDXSurfaceFactory, sf2.out()) == S_OK);
    CHECK(unk->QueryInterface(IID_IDXSurface, other.out()) == E_NOINTERFACE);
    CHECK(other.p == nullptr);
    CHECK(tf->QueryService(IID_IDXSurface, IID_IUnknown, other.out()) == E_NOINTERFACE);

    // Every interface leads back to one identity.
    Ptr<IUnknown> id1, id2;
    REQUIRE(sf1->QueryInterface(IID_IUnknown, id1.out()) == S_OK);
    REQUIRE(tf->QueryInterface(IID_IUnknown, id2.out()) == S_OK);
    CHECK(id1.p == id2.p);
    id1.reset();
    id2.reset();
    tf.reset();
    sp.reset();
    sf1.reset();
    sf2.reset();
    CHECK(RefCount(unk.p) == 1);
}

TEST_CASE("CoCreateInstance finds the factory once its class is registered in process", "[dxtrans][com]")
{
    ComInit com;
    DWORD cookie = 0;
    REQUIRE(DXRegisterTransformFactoryClass(&cookie) == S_OK);
    Ptr<IDXTransformFactory> tf;
    CHECK(CoCreateInstance(CLSID_DXTransformFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IDXTransformFactory,
                           tf.out()) == S_OK);
    CHECK(tf.p != nullptr);
    tf.reset();
    CHECK(DXRevokeTransformFactoryClass(cookie) == S_OK);

    Ptr<IClassFactory> cf;
    CHECK(DXTransGetClassObject(CLSID_DXTransformFactory, IID_IClassFactory, cf.out()) == S_OK);
    Ptr<IUnknown> unk;
    CHECK(cf->CreateInstance(nullptr, IID_IDXSurfaceFactory, unk.out()) == S_OK);
    IUnknown *outer = unk.p;
    CHECK(cf->CreateInstance(outer, IID_IUnknown, reinterpret_cast<void **>(&outer)) == CLASS_E_NOAGGREGATION);
    CHECK(DXTransGetClassObject(IID_IDXSurface, IID_IClassFactory, cf.out()) == CLASS_E_CLASSNOTAVAILABLE);
}

TEST_CASE("surface factory creates ARGB32 surfaces of the asked size and refuses bad requests", "[dxtrans][surface]")
{
    Fixture f;
    Ptr<IDXSurface> s;
    s.p = f.Make(320, 240);
    DXBNDS b;
    REQUIRE(s->GetBounds(&b) == S_OK);
    CHECK(b.eType == DXBT_DISCRETE);
    CHECK(b.u.D[0].Min == 0);
    CHECK(b.u.D[0].Max == 320);
    CHECK(b.u.D[1].Max == 240);
    GUID fmt;
    DXSAMPLEFORMATENUM e;
    CHECK(s->GetPixelFormat(&fmt, &e) == S_OK);
    CHECK(IsEqualGUID(fmt, DDPF_ARGB32));
    CHECK(e == DXPF_ARGB32);
    CHECK(RefCount(s.p) == 1);

    // Sizes from bounds instead of a description.
    DXBNDS nb = {};
    nb.eType = DXBT_DISCRETE;
    nb.u.D[0].Max = 37;
    nb.u.D[1].Max = 29;
    Ptr<IDXSurface> s2;
    REQUIRE(f.factory->CreateSurface(nullptr, nullptr, &DDPF_ARGB32, &nb, 0, nullptr, IID_IDXSurface, s2.out()) == S_OK);
    REQUIRE(s2->GetBounds(&b) == S_OK);
    CHECK(b.u.D[0].Max == 37);
    CHECK(b.u.D[1].Max == 29);

    struct Bad
    {
        const char *what;
        DWORD w, h, flags;
        const GUID *fmt;
        HRESULT hr;
    } cases[] = {
        {"zero width", 0, 10, DDSD_WIDTH | DDSD_HEIGHT, &DDPF_ARGB32, E_INVALIDARG},
        {"zero height", 10, 0, DDSD_WIDTH | DDSD_HEIGHT, &DDPF_ARGB32, E_INVALIDARG},
        {"huge", 100000, 100000, DDSD_WIDTH | DDSD_HEIGHT, &DDPF_ARGB32, E_INVALIDARG},
        {"no size flags", 10, 10, 0, &DDPF_ARGB32, E_INVALIDARG},
        {"other format", 10, 10, DDSD_WIDTH | DDSD_HEIGHT, &IID_IDXSurface, E_INVALIDARG},
    };
    for (const Bad &c : cases)
    {
        INFO(c.what);
        DDSURFACEDESC d = Desc(c.w, c.h);
        d.dwFlags = c.flags;
        void *out = reinterpret_cast<void *>(1);
        CHECK(f.factory->CreateSurface(nullptr, &d, c.fmt, nullptr, 0, nullptr, IID_IDXSurface, &out) == c.hr);
        CHECK(out == nullptr);
    }
    DDSURFACEDESC d = Desc(4, 4);
    void *out = nullptr;
    CHECK(f.factory->CreateSurface(nullptr, &d, &DDPF_ARGB32, nullptr, 0, s.p, IID_IDXSurface, &out) ==
          CLASS_E_NOAGGREGATION);
    CHECK(f.factory->CreateSurface(nullptr, &d, &DDPF_ARGB32, nullptr, 0, nullptr, IID_IDXSurface, nullptr) == E_POINTER);
}

TEST_CASE("sample pointers read and write rows and points without leaving the row", "[dxtrans][pointer]")
{
    Fixture f;
    Ptr<IDXSurface> s;
    s.p = f.Make(7, 5);
    {
        Ptr<IDXARGBReadWritePtr> rw;
        REQUIRE(s->LockSurface(nullptr, INFINITE, DXLOCKF_READWRITE, IID_IDXARGBReadWritePtr, rw.out(), nullptr) == S_OK);
        std::vector<DXSAMPLE> row(7);
        for (ULONG y = 0; y < 5; ++y)
        {
            for (ULONG x = 0; x < 7; ++x) row[x] = DXSAMPLE(0xFF000000u | (y << 8) | x);
            rw->MoveToRow(y);
            rw->PackAndMove(row.data(), 7);
        }
        // A write past the end of a row is clipped to the row.
        rw->MoveToXY(5, 1);
        DXSAMPLE over[4] = {0x11111111u, 0x22222222u, 0x33333333u, 0x44444444u};
        rw->PackAndMove(over, 4);
        DXNATIVETYPEINFO info;
        CHECK(rw->GetNativeType(&info) == DXPF_ARGB32);
        CHECK(info.lPitch == 7 * 4);
        const DWORD *px = reinterpret_cast<const DWORD *>(info.pFirstByte);
        CHECK(px[1 * 7 + 5] == 0x11111111u);
        CHECK(px[1 * 7 + 6] == 0x22222222u);
        CHECK(px[2 * 7 + 0] == 0xFF000200u); // next row untouched
    }
    Ptr<IDXARGBReadPtr> rd;
    REQUIRE(s->LockSurface(nullptr, 100, DXLOCKF_READ, IID_IDXARGBReadPtr, rd.out(), nullptr) == S_OK);
    Ptr<IDXARGBReadWritePtr> no;
    CHECK(rd->QueryInterface(IID_IDXARGBReadWritePtr, no.out()) == E_NOINTERFACE);
    DXSAMPLE buf[9];
    for (auto &b : buf) b = DXSAMPLE(0xDEADBEEFu);
    rd->MoveToXY(3, 4);
    CHECK(rd->Unpack(buf, 9, TRUE) == buf);
    CHECK(DWORD(buf[0]) == 0xFF000403u);
    CHECK(DWORD(buf[3]) == 0xFF000406u);
    CHECK(DWORD(buf[4]) == 0xDEADBEEFu); // only 4 samples left in the row
    rd->MoveToRow(0);
    rd->Move(2);
    DXPMSAMPLE pm[1];
    rd->UnpackPremult(pm, 1, FALSE);
    CHECK(DWORD(pm[0]) == 0xFF000002u);

    // Sub-rectangle locks address samples relative to their corner.
    Ptr<IDXARGBReadPtr> sub;
    DXBNDS b = {};
    b.eType = DXBT_DISCRETE;
    b.u.D[0] = {2, 5};
    b.u.D[1] = {3, 5};
    REQUIRE(s->LockSurface(&b, 100, DXLOCKF_READ, IID_IDXARGBReadPtr, sub.out(), nullptr) == S_OK);
    sub->MoveToRow(1);
    sub->Unpack(buf, 5, FALSE);
    CHECK(DWORD(buf[0]) == 0xFF000402u);
    CHECK(DWORD(buf[2]) == 0xFF000404u);
    b.u.D[0] = {2, 8};
    CHECK(s->LockSurface(&b, 100, DXLOCKF_READ, IID_IDXARGBReadPtr, sub.out(), nullptr) == E_INVALIDARG);
    CHECK(s->LockSurface(nullptr, 100, DXLOCKF_READ, IID_IDXARGBReadWritePtr, sub.out(), nullptr) == E_NOINTERFACE);
    CHECK(s->LockSurface(nullptr, 100, 0x100, IID_IDXARGBReadPtr, sub.out(), nullptr) == E_INVALIDARG);
}

namespace {
struct Holder
{
    IDXSurface *surface;
    DWORD flags;
    bool dc;
    HANDLE locked, release, done;
    HRESULT hr = E_FAIL;
};

DWORD WINAPI HoldLock(void *arg)
{
    Holder *h = static_cast<Holder *>(arg);
    IUnknown *lock = nullptr;
    if (h->dc)
        h->hr = h->surface->LockSurfaceDC(nullptr, INFINITE, h->flags, reinterpret_cast<IDXDCLock **>(&lock));
    else
        h->hr = h->surface->LockSurface(nullptr, INFINITE, h->flags, IID_IDXARGBReadPtr,
                                        reinterpret_cast<void **>(&lock), nullptr);
    SetEvent(h->locked);
    WaitForSingleObject(h->release, INFINITE);
    if (lock) lock->Release();
    SetEvent(h->done);
    return 0;
}
} // namespace

TEST_CASE("a lock held by another thread times out with E_ABORT; shared reads go through", "[dxtrans][lock]")
{
    Fixture f;
    Ptr<IDXSurface> s;
    s.p = f.Make(64, 48);

    struct Case
    {
        const char *what;
        DWORD heldFlags;
        bool heldDC;
        DWORD askFlags;
        bool askDC;
        bool blocks;
    } cases[] = {
        {"write held, read asked", DXLOCKF_READWRITE, false, DXLOCKF_READ, false, true},
        {"write held, write asked", DXLOCKF_READWRITE, false, DXLOCKF_READWRITE, false, true},
        {"read held, write asked", DXLOCKF_READ, false, DXLOCKF_READWRITE, false, true},
        {"read held, read asked", DXLOCKF_READ, false, DXLOCKF_READ, false, false},
        {"read DC held, read DC asked", DXLOCKF_READ, true, DXLOCKF_READ, true, true},
        {"read DC held, read asked", DXLOCKF_READ, true, DXLOCKF_READ, false, false},
        {"write DC held, read asked", DXLOCKF_READWRITE, true, DXLOCKF_READ, false, true},
        {"read held, write DC asked", DXLOCKF_READ, false, DXLOCKF_READWRITE, true, true},
    };
    for (const Case &c : cases)
    {
        INFO(c.what);
        Holder h{s.p, c.heldFlags, c.heldDC, CreateEventW(nullptr, TRUE, FALSE, nullptr),
                 CreateEventW(nullptr, TRUE, FALSE, nullptr), CreateEventW(nullptr, TRUE, FALSE, nullptr)};
        HANDLE t = CreateThread(nullptr, 0, HoldLock, &h, 0, nullptr);
        REQUIRE(WaitForSingleObject(h.locked, 5000) == WAIT_OBJECT_0);
        REQUIRE(h.hr == S_OK);

        IUnknown *lock = nullptr;
        const DWORD t0 = GetTickCount();
        HRESULT hr = c.askDC ? s->LockSurfaceDC(nullptr, 60, c.askFlags, reinterpret_cast<IDXDCLock **>(&lock))
                             : s->LockSurface(nullptr, 60, c.askFlags, IID_IDXARGBReadPtr,
                                              reinterpret_cast<void **>(&lock), nullptr);
        const DWORD spent = GetTickCount() - t0;
        if (c.blocks)
        {
            CHECK(hr == E_ABORT);
            CHECK(lock == nullptr);
            CHECK(spent >= 50);
            CHECK(spent < 1000);
            // A zero time-out on a sample lock that conflicts fails at once.
            hr = s->LockSurface(nullptr, 0, c.askFlags, IID_IDXARGBReadPtr,
                                reinterpret_cast<void **>(&lock), nullptr);
            if (c.askFlags == DXLOCKF_READWRITE || c.heldFlags == DXLOCKF_READWRITE) CHECK(hr == E_ABORT);
            if (lock) lock->Release();
            lock = nullptr;
        }
        else
        {
            CHECK(hr == S_OK);
            if (lock) lock->Release();
            lock = nullptr;
        }
        SetEvent(h.release);
        REQUIRE(WaitForSingleObject(h.done, 5000) == WAIT_OBJECT_0);
        // Once released, the same request succeeds.
        hr = c.askDC ? s->LockSurfaceDC(nullptr, 60, c.askFlags, reinterpret_cast<IDXDCLock **>(&lock))
                     : s->LockSurface(nullptr, 60, c.askFlags, IID_IDXARGBReadPtr, reinterpret_cast<void **>(&lock),
                                      nullptr);
        CHECK(hr == S_OK);
        if (lock) lock->Release();
        WaitForSingleObject(t, 5000);
        CloseHandle(t);
        CloseHandle(h.locked);
        CloseHandle(h.release);
        CloseHandle(h.done);
    }
}

namespace {
struct Releaser
{
    IUnknown *lock;
    DWORD after;
};
struct Waiter
{
    IDXSurface *s;
    HRESULT hr;
    DWORD spent;
};
DWORD WINAPI WaitForLock(void *a)
{
    Waiter *w = static_cast<Waiter *>(a);
    IUnknown *l = nullptr;
    DWORD t0 = GetTickCount();
    w->hr = w->s->LockSurface(nullptr, 2000, DXLOCKF_READWRITE, IID_IDXARGBReadWritePtr, reinterpret_cast<void **>(&l),
                              nullptr);
    w->spent = GetTickCount() - t0;
    if (l) l->Release();
    return 0;
}
DWORD WINAPI ReleaseLater(void *arg)
{
    Releaser *r = static_cast<Releaser *>(arg);
    Sleep(r->after);
    r->lock->Release();
    return 0;
}
} // namespace

TEST_CASE("a waiting lock is granted when the holder lets go within the time-out", "[dxtrans][lock]")
{
    Fixture f;
    Ptr<IDXSurface> s;
    s.p = f.Make(16, 16);
    IUnknown *held = nullptr;
    REQUIRE(s->LockSurface(nullptr, INFINITE, DXLOCKF_READWRITE, IID_IDXARGBReadWritePtr,
                           reinterpret_cast<void **>(&held), nullptr) == S_OK);
    Releaser r{held, 50};
    HANDLE t = CreateThread(nullptr, 0, ReleaseLater, &r, 0, nullptr);
    // The holder is this thread (which would be let in again), so wait from a third one.
    Waiter w{s.p, E_FAIL, 0};
    HANDLE wt = CreateThread(nullptr, 0, WaitForLock, &w, 0, nullptr);
    REQUIRE(WaitForSingleObject(wt, 5000) == WAIT_OBJECT_0);
    WaitForSingleObject(t, 5000);
    CHECK(w.hr == S_OK);
    CHECK(w.spent >= 30);
    CHECK(w.spent < 1500);
    CloseHandle(t);
    CloseHandle(wt);
}

TEST_CASE("GDI drawing through a DC lock lands in the samples", "[dxtrans][dc]")
{
    Fixture f;
    Ptr<IDXSurface> s;
    s.p = f.Make(40, 30);

    // A 2x2 24-bit bottom-up picture: red, green on top; blue, white below.
    const BYTE pixels[2][8] = {{0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0},   // bottom row: blue, white
                               {0, 0, 0xFF, 0, 0xFF, 0, 0, 0}};       // top row: red, green
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof(bmi.bmiHeader);
    bmi.bmiHeader.biWidth = 2;
    bmi.bmiHeader.biHeight = 2;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 24;
    bmi.bmiHeader.biCompression = BI_RGB;
    {
        Ptr<IDXDCLock> dc;
        REQUIRE(s->LockSurfaceDC(nullptr, 33, DXLOCKF_READWRITE, dc.pp()) == S_OK);
        REQUIRE(dc->GetDC() != nullptr);
        SetStretchBltMode(dc->GetDC(), COLORONCOLOR);
    }
    {
        // The DC keeps its state from one lock to the next.
        Ptr<IDXDCLock> dc;
        REQUIRE(s->LockSurface(nullptr, 33, DXLOCKF_READWRITE, IID_IDXDCLock, dc.out(), nullptr) == S_OK);
        CHECK(GetStretchBltMode(dc->GetDC()) == COLORONCOLOR);
        CHECK(StretchDIBits(dc->GetDC(), 0, 0, 40, 30, 0, 0, 2, 2, pixels, &bmi, DIB_RGB_COLORS, SRCCOPY) != 0);
    }
    Ptr<IDXARGBReadPtr> rd;
    REQUIRE(s->LockSurface(nullptr, 33, DXLOCKF_READ, IID_IDXARGBReadPtr, rd.out(), nullptr) == S_OK);
    struct Probe
    {
        ULONG x, y;
        DWORD rgb;
    } probes[] = {{5, 5, 0xFF0000}, {35, 5, 0x00FF00}, {5, 25, 0x0000FF}, {35, 25, 0xFFFFFF}, {19, 14, 0xFF0000}, {20, 15, 0xFFFFFF}};
    for (const Probe &p : probes)
    {
        INFO("x " << p.x << " y " << p.y);
        DXSAMPLE v;
        rd->MoveToXY(p.x, p.y);
        rd->Unpack(&v, 1, FALSE);
        CHECK((DWORD(v) & 0xFFFFFF) == p.rgb);
    }
}

TEST_CASE("premultiplied over matches the reference arithmetic", "[dxtrans][over]")
{
    struct Case
    {
        uint32_t dst, src, expect;
    } cases[] = {
        {0xFF102030u, 0xFF405060u, 0xFF405060u}, // opaque source replaces
        {0xFF102030u, 0x00000000u, 0xFF102030u}, // transparent black keeps
        {0xFFFFFFFFu, 0x80000000u, 0xFF7F7F7Fu}, // half black over white
        {0x00FF8000u, 0x80402010u, 0x80BF6010u}, // over a picture with alpha 0
        {0xFFFFFFFFu, 0x40FFFFFFu, 0xFFFFFFFFu}, // bad premultiplied input saturates
    };
    for (const Case &c : cases)
    {
        INFO(std::hex << c.dst << " " << c.src);
        CHECK(RefOver(c.dst, c.src) == c.expect);
        DXPMSAMPLE d(c.dst), s(c.src);
        DXOverArray(&d, &s, 1);
        CHECK(DWORD(d) == c.expect);
    }

    std::mt19937 rng(7);
    std::vector<DXPMSAMPLE> dst(4096), src(4096), cst(4096);
    for (size_t i = 0; i < dst.size(); ++i)
    {
        dst[i] = DXPMSAMPLE(RefPremult(rng()));
        src[i] = DXPMSAMPLE(RefPremult(rng()));
        cst[i] = dst[i];
    }
    std::vector<DXPMSAMPLE> got = dst;
    DXOverArray(got.data(), src.data(), ULONG(got.size()));
    size_t bad = 0;
    for (size_t i = 0; i < got.size(); ++i) bad += DWORD(got[i]) != RefOver(dst[i], src[i]);
    CHECK(bad == 0);

    const DXPMSAMPLE k(RefPremult(0x9933CC66u));
    DXConstOverArray(cst.data(), k, ULONG(cst.size()));
    bad = 0;
    for (size_t i = 0; i < cst.size(); ++i) bad += DWORD(cst[i]) != RefOver(dst[i], k);
    CHECK(bad == 0);

    // Premultiplying straight samples.
    for (uint32_t v : {0x80FF8040u, 0x00FFFFFFu, 0xFF123456u, 0x01FFFFFFu})
        CHECK(DWORD(DXPreMultSample(DXSAMPLE(v))) == RefPremult(v));
}

TEST_CASE("over and fill through a read-write pointer blend the stored samples", "[dxtrans][over]")
{
    Fixture f;
    Ptr<IDXSurface> s;
    s.p = f.Make(8, 2);
    Ptr<IDXARGBReadWritePtr> rw;
    REQUIRE(s->LockSurface(nullptr, 33, DXLOCKF_READWRITE, IID_IDXARGBReadWritePtr, rw.out(), nullptr) == S_OK);
    rw->FillRect(nullptr, DXPMSAMPLE(0x00C08040u), FALSE); // a GDI-like picture: alpha 0
    DXPMSAMPLE layer[3] = {0xFF0000FFu, 0x80400000u, 0x00000000u};
    rw->MoveToXY(6, 0);
    rw->OverArrayAndMove(nullptr, layer, 3); // clipped to 2 samples
    rw->MoveToRow(1);
    rw->FillAndMove(nullptr, DXPMSAMPLE(0x80000000u), 8, TRUE);
    DXSAMPLE row[8];
    rw->MoveToRow(0);
    rw->Unpack(row, 8, FALSE);
    CHECK(DWORD(row[5]) == 0x00C08040u);
    CHECK(DWORD(row[6]) == 0xFF0000FFu);
    CHECK(DWORD(row[7]) == RefOver(0x00C08040u, 0x80400000u));
    rw->MoveToRow(1);
    rw->Unpack(row, 8, FALSE);
    for (auto &v : row) CHECK(DWORD(v) == RefOver(0x00C08040u, 0x80000000u));
}

TEST_CASE("DrawDibDraw through a DC lock lands in the samples", "[dxtrans][dc]")
{
    Fixture f;
    Ptr<IDXSurface> s;
    s.p = f.Make(32, 24);
    // 4x2 24-bit bottom-up picture: bottom row blue, top row yellow.
    BYTE bits[2][12];
    for (int x = 0; x < 4; ++x)
    {
        bits[0][x * 3 + 0] = 0xFF, bits[0][x * 3 + 1] = 0, bits[0][x * 3 + 2] = 0;    // blue
        bits[1][x * 3 + 0] = 0, bits[1][x * 3 + 1] = 0xFF, bits[1][x * 3 + 2] = 0xFF; // yellow
    }
    BITMAPINFOHEADER bih = {};
    bih.biSize = sizeof(bih);
    bih.biWidth = 4;
    bih.biHeight = 2;
    bih.biPlanes = 1;
    bih.biBitCount = 24;
    bih.biCompression = BI_RGB;
    HDRAWDIB dd = DrawDibOpen();
    REQUIRE(dd != nullptr);
    {
        Ptr<IDXDCLock> dc;
        REQUIRE(s->LockSurfaceDC(nullptr, 33, DXLOCKF_READWRITE, dc.pp()) == S_OK);
        CHECK(DrawDibDraw(dd, dc->GetDC(), 0, 0, 32, 24, &bih, bits, 0, 0, 4, 2, 0));
    }
    DrawDibClose(dd);
    Ptr<IDXARGBReadPtr> rd;
    REQUIRE(s->LockSurface(nullptr, 33, DXLOCKF_READ, IID_IDXARGBReadPtr, rd.out(), nullptr) == S_OK);
    DXSAMPLE top, bottom;
    rd->MoveToXY(10, 3);
    rd->Unpack(&top, 1, FALSE);
    rd->MoveToXY(20, 20);
    rd->Unpack(&bottom, 1, FALSE);
    CHECK((DWORD(top) & 0xFFFFFF) == 0xFFFF00u);
    CHECK((DWORD(bottom) & 0xFFFFFF) == 0x0000FFu);
}

namespace {
// Writers fill the whole surface with one value per lock (through sample
// pointers or GDI); readers check that what they see under their lock is one
// value throughout.  A torn picture means two holders overlapped.
struct Soak
{
    IDXSurface *s;
    volatile LONG stop = 0;
    volatile LONG torn = 0, granted = 0, timeouts = 0;
};

struct SoakArg
{
    Soak *soak;
    int id;
    bool writer;
};

bool Uniform(const DWORD *px, LONG pitch, int w, int h, DWORD mask)
{
    const DWORD first = px[0] & mask;
    for (int y = 0; y < h; ++y)
    {
        const DWORD *row = reinterpret_cast<const DWORD *>(reinterpret_cast<const BYTE *>(px) + LONG_PTR(y) * pitch);
        for (int x = 0; x < w; ++x)
            if ((row[x] & mask) != first) return false;
    }
    return true;
}

DWORD WINAPI SoakThread(void *p)
{
    SoakArg *arg = static_cast<SoakArg *>(p);
    Soak *k = arg->soak;
    const int W = 48, H = 32;
    std::vector<DXSAMPLE> row(W);
    DWORD n = 0;
    HBITMAP copyBmp = nullptr;
    HDC copyDc = nullptr;
    DWORD *copyBits = nullptr;
    if (!arg->writer)
    {
        BITMAPINFO bmi = {};
        bmi.bmiHeader.biSize = sizeof(bmi.bmiHeader);
        bmi.bmiHeader.biWidth = W;
        bmi.bmiHeader.biHeight = -H;
        bmi.bmiHeader.biPlanes = 1;
        bmi.bmiHeader.biBitCount = 32;
        copyBmp = CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, reinterpret_cast<void **>(&copyBits), nullptr, 0);
        copyDc = CreateCompatibleDC(nullptr);
        SelectObject(copyDc, copyBmp);
    }
    while (!k->stop)
    {
        ++n;
        const bool viaDC = (n % 3) == 0;
        if (viaDC)
        {
            IDXDCLock *dc = nullptr;
            HRESULT hr = k->s->LockSurfaceDC(nullptr, 33, arg->writer ? DXLOCKF_READWRITE : DXLOCKF_READ, &dc);
            if (hr == E_ABORT)
            {
                InterlockedIncrement(&k->timeouts);
                continue;
            }
            if (FAILED(hr)) break;
            InterlockedIncrement(&k->granted);
            if (arg->writer)
            {
                HBRUSH br = CreateSolidBrush(RGB(arg->id * 40, n & 0xFF, (n >> 8) & 0xFF));
                RECT rc = {0, 0, W, H};
                FillRect(dc->GetDC(), &rc, br);
                DeleteObject(br);
            }
            else
            {
                BitBlt(copyDc, 0, 0, W, H, dc->GetDC(), 0, 0, SRCCOPY);
                GdiFlush();
                if (!Uniform(copyBits, W * 4, W, H, 0xFFFFFF)) InterlockedIncrement(&k->torn);
            }
            dc->Release();
        }
        else
        {
            IDXARGBReadWritePtr *ptr = nullptr;
            HRESULT hr = k->s->LockSurface(nullptr, 33, arg->writer ? DXLOCKF_READWRITE : DXLOCKF_READ,
                                           arg->writer ? IID_IDXARGBReadWritePtr : IID_IDXARGBReadPtr,
                                           reinterpret_cast<void **>(&ptr), nullptr);
            if (hr == E_ABORT)
            {
                InterlockedIncrement(&k->timeouts);
                continue;
            }
            if (FAILED(hr)) break;
            InterlockedIncrement(&k->granted);
            if (arg->writer)
            {
                const DXSAMPLE v(0xFF000000u | (DWORD(arg->id) << 16) | (n & 0xFFFF));
                for (int y = 0; y < H; ++y)
                {
                    for (auto &r : row) r = v;
                    ptr->MoveToRow(ULONG(y));
                    ptr->PackAndMove(row.data(), W);
                }
            }
            else
            {
                DXNATIVETYPEINFO info;
                ptr->GetNativeType(&info);
                if (!Uniform(reinterpret_cast<const DWORD *>(info.pFirstByte), info.lPitch, W, H, 0xFFFFFF))
                    InterlockedIncrement(&k->torn);
            }
            ptr->Release();
        }
    }
    if (copyDc) DeleteDC(copyDc);
    if (copyBmp) DeleteObject(copyBmp);
    return 0;
}
} // namespace

TEST_CASE("concurrent writers, readers and DC users never overlap on a surface", "[dxtrans][lock][soak]")
{
    Fixture f;
    Soak k;
    k.s = f.Make(48, 32);
    SoakArg args[8];
    HANDLE threads[8];
    for (int i = 0; i < 8; ++i)
    {
        args[i] = SoakArg{&k, i, i < 3};
        threads[i] = CreateThread(nullptr, 0, SoakThread, &args[i], 0, nullptr);
    }
    Sleep(1500);
    k.stop = 1;
    CHECK(WaitForMultipleObjects(8, threads, TRUE, 10000) == WAIT_OBJECT_0);
    for (HANDLE t : threads) CloseHandle(t);
    INFO("granted " << k.granted << " timed out " << k.timeouts);
    CHECK(k.torn == 0);
    CHECK(k.granted > 100);
    // Every lock was released: an exclusive lock is granted at once.
    IUnknown *lock = nullptr;
    CHECK(k.s->LockSurface(nullptr, 0, DXLOCKF_READWRITE, IID_IDXARGBReadWritePtr, reinterpret_cast<void **>(&lock),
                           nullptr) == S_OK);
    if (lock) lock->Release();
    CHECK(RefCount(k.s) == 1);
    k.s->Release();
}
