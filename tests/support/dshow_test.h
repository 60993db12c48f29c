// Helpers for tests that build DirectShow graphs (header-only).
#pragma once
#include <windows.h>
#include <dshow.h>
#include <qedit.h>
#include <evcode.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace corvtest {

// COM for the calling thread, multithreaded apartment.
struct ComInit {
    HRESULT hr;
    ComInit() : hr(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComInit() {
        if (SUCCEEDED(hr)) CoUninitialize();
    }
};

// Minimal owning interface pointer.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    explicit ComPtr(T* p) : p_(p) {}  // takes the reference
    ComPtr(const ComPtr& o) : p_(o.p_) {
        if (p_) p_->AddRef();
    }
    ~ComPtr() { Reset(); }
    ComPtr& operator=(const ComPtr& o) {
        if (o.p_) o.p_->AddRef();
        Reset();
        p_ = o.p_;
        return *this;
    }
    void Reset() {
        if (p_) p_->Release();
        p_ = nullptr;
    }
    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    T** Put() {
        Reset();
        return &p_;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    explicit operator bool() const { return p_ != nullptr; }
    T* Detach() {
        T* p = p_;
        p_ = nullptr;
        return p;
    }

private:
    T* p_ = nullptr;
};

// Reference count of |u| as seen by an AddRef/Release pair.
inline ULONG RefCount(IUnknown* u) {
    u->AddRef();
    return u->Release();
}

// The first pin of |f| with direction |dir| that is (not) connected.
inline ComPtr<IPin> FindPin(IBaseFilter* f, PIN_DIRECTION dir, bool wantConnected = false) {
    ComPtr<IEnumPins> e;
    ComPtr<IPin> result;
    if (FAILED(f->EnumPins(e.Put()))) return result;
    IPin* p = nullptr;
    while (e->Next(1, &p, nullptr) == S_OK) {
        ComPtr<IPin> pin(p);
        PIN_DIRECTION d;
        pin->QueryDirection(&d);
        ComPtr<IPin> peer;
        const bool connected = SUCCEEDED(pin->ConnectedTo(peer.Put()));
        if (d == dir && connected == wantConnected) return pin;
    }
    return result;
}

// Connects the first free output of |a| to the first free input of |b|.
inline HRESULT ConnectFilters(IGraphBuilder* g, IBaseFilter* a, IBaseFilter* b, const AM_MEDIA_TYPE* mt = nullptr) {
    ComPtr<IPin> out = FindPin(a, PINDIR_OUTPUT), in = FindPin(b, PINDIR_INPUT);
    if (!out || !in) return E_FAIL;
    return g->ConnectDirect(out.Get(), in.Get(), mt);
}

// Waits for |code| on the graph's event queue; returns true when seen.
inline bool WaitForEvent(IGraphBuilder* g, LONG code, DWORD timeoutMs, LONG_PTR* lastParam1 = nullptr) {
    ComPtr<IMediaEvent> ev;
    if (FAILED(g->QueryInterface(IID_IMediaEvent, ev.PutVoid()))) return false;
    const DWORD end = GetTickCount() + timeoutMs;
    for (;;) {
        LONG c;
        LONG_PTR p1, p2;
        const DWORD now = GetTickCount();
        const DWORD wait = (LONG)(end - now) > 0 ? end - now : 0;
        const HRESULT hr = ev->GetEvent(&c, &p1, &p2, wait > 50 ? 50 : wait);
        if (hr == E_ABORT && wait > 0) continue;  // nothing yet: keep waiting
        if (FAILED(hr)) return false;
        ev->FreeEventParams(c, p1, p2);
        if (lastParam1) *lastParam1 = p1;
        if (c == code) return true;
    }
}

// One sample seen by the grabber callback.
struct Grabbed {
    std::vector<BYTE> data;  // actual data length bytes
    LONG size = 0;           // buffer size
    HRESULT timeHr = E_FAIL;
    REFERENCE_TIME t0 = 0, t1 = 0;
    HRESULT mediaTimeHr = E_FAIL;
    LONGLONG m0 = 0, m1 = 0;
    bool sync = false, discontinuity = false, preroll = false;
};

// ISampleGrabberCB that records every sample (SampleCB).  Lives on the
// test's stack: its reference count is fixed.
class Collector : public ISampleGrabberCB {
public:
    Collector() { InitializeCriticalSection(&cs_); }
    ~Collector() { DeleteCriticalSection(&cs_); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ISampleGrabberCB)) {
            *ppv = static_cast<ISampleGrabberCB*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SampleCB(double time, IMediaSample* s) override {
        (void)time;
        Grabbed g;
        BYTE* p = nullptr;
        s->GetPointer(&p);
        const LONG len = s->GetActualDataLength();
        g.size = s->GetSize();
        if (p && len > 0) g.data.assign(p, p + len);
        g.timeHr = s->GetTime(&g.t0, &g.t1);
        g.mediaTimeHr = s->GetMediaTime(&g.m0, &g.m1);
        g.sync = s->IsSyncPoint() == S_OK;
        g.discontinuity = s->IsDiscontinuity() == S_OK;
        g.preroll = s->IsPreroll() == S_OK;
        EnterCriticalSection(&cs_);
        frames_.push_back(std::move(g));
        LeaveCriticalSection(&cs_);
        if (onSample) onSample(this, frames_.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE*, LONG) override { return S_OK; }

    std::vector<Grabbed> Frames() {
        EnterCriticalSection(&cs_);
        std::vector<Grabbed> f = frames_;
        LeaveCriticalSection(&cs_);
        return f;
    }
    size_t Count() {
        EnterCriticalSection(&cs_);
        const size_t n = frames_.size();
        LeaveCriticalSection(&cs_);
        return n;
    }
    void Clear() {
        EnterCriticalSection(&cs_);
        frames_.clear();
        LeaveCriticalSection(&cs_);
    }
    // Optional hook on the streaming thread after each sample.
    void (*onSample)(Collector*, size_t) = nullptr;
    void* context = nullptr;

private:
    CRITICAL_SECTION cs_;
    std::vector<Grabbed> frames_;
};

// Waits until |c| has at least |n| frames.
inline bool WaitForFrames(Collector& c, size_t n, DWORD timeoutMs) {
    const DWORD end = GetTickCount() + timeoutMs;
    while (c.Count() < n) {
        if ((LONG)(GetTickCount() - end) > 0) return false;
        Sleep(2);
    }
    return true;
}

// A graph: filter graph manager + sample grabber (callback) + null renderer.
struct GrabberGraph {
    ComPtr<IGraphBuilder> graph;
    ComPtr<IBaseFilter> grabberFilter, nullRenderer;
    ComPtr<ISampleGrabber> grabber;
    ComPtr<IMediaControl> control;
    HRESULT hr = E_FAIL;

    GrabberGraph() {
        hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, graph.PutVoid());
        if (SUCCEEDED(hr))
            hr = CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                  grabberFilter.PutVoid());
        if (SUCCEEDED(hr))
            hr = CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                  nullRenderer.PutVoid());
        if (SUCCEEDED(hr)) hr = grabberFilter->QueryInterface(IID_ISampleGrabber, grabber.PutVoid());
        if (SUCCEEDED(hr)) hr = graph->QueryInterface(IID_IMediaControl, control.PutVoid());
        if (SUCCEEDED(hr)) hr = graph->AddFilter(grabberFilter.Get(), L"Grabber");
        if (SUCCEEDED(hr)) hr = graph->AddFilter(nullRenderer.Get(), L"Null");
    }
    // Connects grabber -> null renderer and sets the callback.
    HRESULT FinishWith(Collector* c) {
        HRESULT r = ConnectFilters(graph.Get(), grabberFilter.Get(), nullRenderer.Get());
        if (SUCCEEDED(r)) r = grabber->SetCallback(c, 0);
        return r;
    }
    ~GrabberGraph() {
        if (control) control->Stop();
    }
};

}  // namespace corvtest
