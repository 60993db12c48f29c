// hsldemo: runs the Tintwell filter in a real DirectShow graph on a generated
// colour-bar clip and prints what it did.
//
//   generated clip (RGB24) -> Tintwell -> sample grabber -> null renderer
#include <windows.h>
#include <dshow.h>
#include <qedit.h>
#include <cstdio>
#include <vector>
#include "dshowbase/test_source.h"
#include "hsl_pixel.h"
#include "ihsleffect.h"

namespace {

const int kWidth = 320, kHeight = 240, kFrames = 50;
const hsl::Offsets kOffsets = {60, 20, -10};

struct Grab : public ISampleGrabberCB {
    CRITICAL_SECTION cs;
    int frames = 0, mismatches = 0;
    LONG bytes = 0;
    REFERENCE_TIME firstStart = -1, lastStop = -1;
    unsigned long long checksum = 14695981039346656037ull;  // FNV-1a over all output bytes
    std::vector<BYTE> firstFrame;
    dsb::TestSourceConfig cfg;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        *ppv = (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ISampleGrabberCB)) ? this : nullptr;
        return *ppv ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE*, LONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample* s) override {
        BYTE* p = nullptr;
        s->GetPointer(&p);
        const LONG n = s->GetActualDataLength();
        REFERENCE_TIME t0 = 0, t1 = 0;
        const bool timed = s->GetTime(&t0, &t1) == S_OK;
        // What the formulas give for this frame.
        std::vector<BYTE> in(n), want(n);
        LONGLONG m0 = 0, m1 = 0;
        s->GetMediaTime(&m0, &m1);
        dsb::TestSource::RenderFrame(cfg, (int)m0, in.data());
        hsl::ShiftPixelsReference(in.data(), want.data(), n / 3, kOffsets);
        EnterCriticalSection(&cs);
        if (frames == 0) firstFrame.assign(p, p + n);
        ++frames;
        bytes += n;
        if (memcmp(p, want.data(), n) != 0) ++mismatches;
        for (LONG i = 0; i < n; ++i) checksum = (checksum ^ p[i]) * 1099511628211ull;
        if (timed) {
            if (firstStart < 0) firstStart = t0;
            lastStop = t1;
        }
        LeaveCriticalSection(&cs);
        return S_OK;
    }
};

#define CHECK_HR(expr)                                                              \
    do {                                                                            \
        hr = (expr);                                                                \
        if (FAILED(hr)) {                                                           \
            printf("hsldemo: %s failed: 0x%08lx\n", #expr, (unsigned long)hr);     \
            return 1;                                                               \
        }                                                                           \
    } while (0)

IPin* FirstPin(IBaseFilter* f, PIN_DIRECTION dir) {
    IEnumPins* e = nullptr;
    IPin* p = nullptr;
    if (FAILED(f->EnumPins(&e))) return nullptr;
    while (e->Next(1, &p, nullptr) == S_OK) {
        PIN_DIRECTION d;
        p->QueryDirection(&d);
        if (d == dir) break;
        p->Release();
        p = nullptr;
    }
    e->Release();
    return p;
}

HRESULT Connect(IGraphBuilder* g, IBaseFilter* a, IBaseFilter* b) {
    IPin* out = FirstPin(a, PINDIR_OUTPUT);
    IPin* in = FirstPin(b, PINDIR_INPUT);
    HRESULT hr = (out && in) ? g->ConnectDirect(out, in, nullptr) : E_FAIL;
    if (out) out->Release();
    if (in) in->Release();
    return hr;
}

int Run() {
    HRESULT hr;
    Grab grab;
    InitializeCriticalSection(&grab.cs);
    grab.cfg.width = kWidth;
    grab.cfg.height = kHeight;
    grab.cfg.frameCount = kFrames;
    grab.cfg.frameDuration = 400000;  // 25 frames per second
    grab.cfg.pattern = dsb::TestSourceConfig::ColourBars;

    IGraphBuilder* graph = nullptr;
    IBaseFilter *tint = nullptr, *grabberFilter = nullptr, *nullRenderer = nullptr;
    ISampleGrabber* grabber = nullptr;
    IHSLEffect* fx = nullptr;
    IMediaControl* control = nullptr;
    IMediaEvent* events = nullptr;
    dsb::TestSource* source = nullptr;

    CHECK_HR(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, (void**)&graph));
    CHECK_HR(dsb::TestSource::Create(grab.cfg, &source));
    CHECK_HR(CoCreateInstance(CLSID_TintwellFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, (void**)&tint));
    CHECK_HR(CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                              (void**)&grabberFilter));
    CHECK_HR(CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                              (void**)&nullRenderer));
    CHECK_HR(graph->AddFilter(static_cast<IBaseFilter*>(source), L"Colour bars"));
    CHECK_HR(graph->AddFilter(tint, L"Tintwell Filter"));
    CHECK_HR(graph->AddFilter(grabberFilter, L"Sample Grabber"));
    CHECK_HR(graph->AddFilter(nullRenderer, L"Null Renderer"));
    CHECK_HR(Connect(graph, static_cast<IBaseFilter*>(source), tint));
    CHECK_HR(Connect(graph, tint, grabberFilter));
    CHECK_HR(Connect(graph, grabberFilter, nullRenderer));
    CHECK_HR(grabberFilter->QueryInterface(IID_ISampleGrabber, (void**)&grabber));
    CHECK_HR(grabber->SetCallback(&grab, 0));
    CHECK_HR(tint->QueryInterface(IID_IHSLEffect, (void**)&fx));
    CHECK_HR(fx->SetHSL(kOffsets.hue, kOffsets.saturation, kOffsets.lightness));
    int h = 0, s = 0, l = 0;
    CHECK_HR(fx->GetHSL(&h, &s, &l));
    printf("graph: colour bars %dx%d RGB24, %d frames at 25 fps -> Tintwell Filter -> Sample Grabber -> Null Renderer\n",
           kWidth, kHeight, kFrames);
    printf("offsets: hue %+d, saturation %+d, lightness %+d\n", h, s, l);

    CHECK_HR(graph->QueryInterface(IID_IMediaControl, (void**)&control));
    CHECK_HR(graph->QueryInterface(IID_IMediaEvent, (void**)&events));
    const DWORD started = GetTickCount();
    CHECK_HR(control->Run());
    LONG code = 0;
    hr = events->WaitForCompletion(20000, &code);
    control->Stop();
    const DWORD elapsed = GetTickCount() - started;

    EnterCriticalSection(&grab.cs);
    printf("ran %lu ms, completion 0x%08lx (event %ld)\n", (unsigned long)elapsed, (unsigned long)hr, (long)code);
    printf("frames: %d, bytes %ld (%ld per frame), stream time %.3f s .. %.3f s\n", grab.frames, (long)grab.bytes,
           grab.frames ? (long)(grab.bytes / grab.frames) : 0L, grab.firstStart / 1e7, grab.lastStop / 1e7);
    // A few pixels of the first frame, before and after, as (red, green, blue).
    if (!grab.firstFrame.empty()) {
        std::vector<BYTE> before(dsb::TestSource::FrameBytes(grab.cfg));
        dsb::TestSource::RenderFrame(grab.cfg, 0, before.data());
        for (int bar = 0; bar < 8; ++bar) {
            const size_t at = ((size_t)(kHeight / 2) * kWidth + bar * kWidth / 8 + kWidth / 16) * 3;
            printf("  bar %d: (%3d,%3d,%3d) -> (%3d,%3d,%3d)\n", bar, before[at + 2], before[at + 1], before[at],
                   grab.firstFrame[at + 2], grab.firstFrame[at + 1], grab.firstFrame[at]);
        }
    }
    printf("output checksum (FNV-1a 64): %016llx\n", grab.checksum);
    printf("frames equal to the reference transform: %d of %d\n", grab.frames - grab.mismatches, grab.frames);
    const bool ok = grab.frames == kFrames && grab.mismatches == 0 && code == EC_COMPLETE;
    LeaveCriticalSection(&grab.cs);

    grabber->SetCallback(nullptr, 0);
    events->Release();
    control->Release();
    fx->Release();
    grabber->Release();
    nullRenderer->Release();
    grabberFilter->Release();
    tint->Release();
    static_cast<IBaseFilter*>(source)->Release();
    graph->Release();
    printf("%s\n", ok ? "hsldemo: OK" : "hsldemo: FAILED");
    return ok ? 0 : 1;
}

}  // namespace

int main() {
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 1;
    const int rc = Run();
    CoUninitialize();
    return rc;
}
