// The frame clock's way of running a pattern: lock the programme and
// selected surfaces for reading and the output for writing, hand the routine
// the locked rows (first byte and pitch), release.  The picture that lands in
// the output surface is the one the routine draws into plain buffers.
#include <catch2/catch.hpp>

#include "dxtrans.h"
#include "transitions.h"

#include <vector>

namespace {

template <class T> T *Locked(IDXSurface *s, DWORD flags, REFIID iid)
{
    T *p = nullptr;
    REQUIRE(s->LockSurface(nullptr, 33, flags, iid, reinterpret_cast<void **>(&p), nullptr) == S_OK);
    return p;
}

struct Surfaces
{
    IDXSurfaceFactory *factory = nullptr;
    IDXSurface *a = nullptr, *b = nullptr, *out = nullptr;
    static const int W = 64, H = 48;
    std::vector<uint32_t> pa, pb;
    Surfaces() : pa(W * H), pb(W * H)
    {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        IUnknown *unk = nullptr;
        REQUIRE(DXCreateTransformFactory(&unk) == S_OK);
        REQUIRE(unk->QueryInterface(IID_IDXSurfaceFactory, reinterpret_cast<void **>(&factory)) == S_OK);
        unk->Release();
        a = Make();
        b = Make();
        out = Make();
        for (int i = 0; i < W * H; ++i)
        {
            pa[i] = 0xFF000000u | uint32_t(i * 2654435761u >> 8);
            pb[i] = uint32_t(i * 40503u + 977u);
        }
        Fill(a, pa);
        Fill(b, pb);
    }
    ~Surfaces()
    {
        a->Release();
        b->Release();
        out->Release();
        factory->Release();
        CoUninitialize();
    }
    IDXSurface *Make()
    {
        DDSURFACEDESC d = {};
        d.dwSize = sizeof(d);
        d.dwFlags = DDSD_WIDTH | DDSD_HEIGHT;
        d.dwWidth = W;
        d.dwHeight = H;
        IDXSurface *s = nullptr;
        REQUIRE(factory->CreateSurface(nullptr, &d, &DDPF_ARGB32, nullptr, 0, nullptr, IID_IDXSurface,
                                       reinterpret_cast<void **>(&s)) == S_OK);
        return s;
    }
    void Fill(IDXSurface *s, const std::vector<uint32_t> &px)
    {
        auto *rw = Locked<IDXARGBReadWritePtr>(s, DXLOCKF_READWRITE, IID_IDXARGBReadWritePtr);
        for (int y = 0; y < H; ++y)
        {
            rw->MoveToRow(ULONG(y));
            rw->PackAndMove(reinterpret_cast<const DXSAMPLE *>(&px[size_t(y) * W]), W);
        }
        rw->Release();
    }
    std::vector<uint32_t> Read(IDXSurface *s)
    {
        std::vector<uint32_t> px(W * H);
        auto *rd = Locked<IDXARGBReadPtr>(s, DXLOCKF_READ, IID_IDXARGBReadPtr);
        for (int y = 0; y < H; ++y)
        {
            rd->MoveToRow(ULONG(y));
            rd->Unpack(reinterpret_cast<DXSAMPLE *>(&px[size_t(y) * W]), W, FALSE);
        }
        rd->Release();
        return px;
    }
};

// One tick's compose with a routine, the way the frame clock does it.
void Compose(IDXSurface *programme, IDXSurface *selected, IDXSurface *output, int index, uint32_t elapsed)
{
    auto *ra = Locked<IDXARGBReadPtr>(programme, DXLOCKF_READ, IID_IDXARGBReadPtr);
    auto *rb = Locked<IDXARGBReadPtr>(selected, DXLOCKF_READ, IID_IDXARGBReadPtr);
    auto *wo = Locked<IDXARGBReadWritePtr>(output, DXLOCKF_READWRITE, IID_IDXARGBReadWritePtr);
    DXNATIVETYPEINFO ia, ib, io;
    ra->GetNativeType(&ia);
    rb->GetNativeType(&ib);
    wo->GetNativeType(&io);
    volatile int32_t composing = 1;
    TransitionFrame f = {ia.pFirstByte, ia.lPitch, ib.pFirstByte, ib.lPitch, io.pFirstByte, io.lPitch,
                         elapsed, 1000, Surfaces::W, Surfaces::H, 1, &composing};
    TransitionEffects[index].routine(f);
    wo->Release();
    rb->Release();
    ra->Release();
}

} // namespace

TEST_CASE("a pattern drawn on locked surface rows equals the pattern on plain buffers", "[transitions][surfaces]")
{
    Surfaces s;
    for (int index : {1, 13, 20, 34, 39})
    {
        INFO(TransitionEffects[index].name);
        Compose(s.a, s.b, s.out, index, 500);
        std::vector<uint32_t> want(Surfaces::W * Surfaces::H);
        TransitionFrame f = {reinterpret_cast<const uint8_t *>(s.pa.data()), Surfaces::W * 4,
                             reinterpret_cast<const uint8_t *>(s.pb.data()), Surfaces::W * 4,
                             reinterpret_cast<uint8_t *>(want.data()), Surfaces::W * 4,
                             500, 1000, Surfaces::W, Surfaces::H, 1, nullptr};
        TransitionEffects[index].routine(f);
        CHECK(s.Read(s.out) == want);
    }
}

TEST_CASE("the programme and the selected source may be the same surface", "[transitions][surfaces]")
{
    Surfaces s;
    Compose(s.a, s.a, s.out, 20, 500); // two read locks of one surface on one thread
    CHECK(s.Read(s.out) == s.pa);      // a cross dissolve of a picture with itself
}
