// Small helpers for the filter tests: a counted pointer, wide paths of the
// generated clips, a sample-grabber callback that records what arrives, and
// a graph of source -> grabbers -> null renderers.
#pragma once
#include <windows.h>
#include <dshow.h>
#include <qedit.h>
#include <uuids.h>
#include <cmath>
#include <mutex>
#include <string>
#include <vector>

#include "clips.h"

template <class T>
class Ptr {
public:
    Ptr() = default;
    ~Ptr() { reset(); }
    Ptr(const Ptr&) = delete;
    Ptr& operator=(const Ptr&) = delete;
    T** out() { reset(); return &p_; }
    void reset() { if (p_) p_->Release(); p_ = nullptr; }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    template <class U> HRESULT as(REFIID iid, Ptr<U>& dst) const { return p_->QueryInterface(iid, (void**)dst.out()); }
private:
    T* p_ = nullptr;
};

// Windows form (Z:\...) of a clip's Unix path.
inline std::u16string WinPath(const std::string& unixPath) {
    std::u16string w = u"Z:";
    for (char c : unixPath) w += c == '/' ? u'\\' : char16_t(c);
    return w;
}
inline const WCHAR* W(const std::u16string& s) { return reinterpret_cast<const WCHAR*>(s.c_str()); }

struct Arrival {
    REFERENCE_TIME start, stop;
    HRESULT timeResult;
    long length;
    int generation;
    bool discontinuity;
};

// Records every sample's times; keeps a copy of the first one's data.
class Recorder : public ISampleGrabberCB {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ISampleGrabberCB)) {
            *ppv = this;
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample* s) override {
        Arrival a{};
        a.timeResult = s->GetTime(&a.start, &a.stop);
        a.length = s->GetActualDataLength();
        a.discontinuity = s->IsDiscontinuity() == S_OK;
        std::lock_guard<std::mutex> l(m);
        a.generation = generation;
        if (arrivals.empty()) {
            BYTE* p = nullptr;
            s->GetPointer(&p);
            first.assign(p, p + a.length);
        }
        if (a.generation == generation && keepAll) {
            BYTE* p = nullptr;
            s->GetPointer(&p);
            all.insert(all.end(), p, p + a.length);
        }
        arrivals.push_back(a);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE*, LONG) override { return S_OK; }

    std::vector<Arrival> snapshot() {
        std::lock_guard<std::mutex> l(m);
        return arrivals;
    }
    void nextGeneration() {
        std::lock_guard<std::mutex> l(m);
        ++generation;
    }
    std::mutex m;
    std::vector<Arrival> arrivals;
    std::vector<BYTE> first, all;
    bool keepAll = false;
    int generation = 0;
};

inline HRESULT MakeGrabber(IGraphBuilder* g, bool video, Recorder* rec, const WCHAR* name, Ptr<IBaseFilter>& filter,
                           Ptr<ISampleGrabber>& grabber) {
    HRESULT hr = CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                  (void**)filter.out());
    if (FAILED(hr)) return hr;
    filter.as(IID_ISampleGrabber, grabber);
    AM_MEDIA_TYPE mt = {};
    mt.majortype = video ? MEDIATYPE_Video : MEDIATYPE_Audio;
    mt.subtype = video ? MEDIASUBTYPE_RGB24 : MEDIASUBTYPE_PCM;
    mt.formattype = video ? FORMAT_VideoInfo : FORMAT_WaveFormatEx;
    hr = grabber->SetMediaType(&mt);
    if (FAILED(hr)) return hr;
    grabber->SetBufferSamples(FALSE);
    grabber->SetOneShot(FALSE);
    grabber->SetCallback(rec, 0);
    return g->AddFilter(filter.get(), name);
}

inline IPin* FindPin(IBaseFilter* f, PIN_DIRECTION want, bool unconnected, const GUID* major = nullptr) {
    Ptr<IEnumPins> e;
    if (FAILED(f->EnumPins(e.out()))) return nullptr;
    IPin* p = nullptr;
    while (e->Next(1, &p, nullptr) == S_OK) {
        PIN_DIRECTION d;
        p->QueryDirection(&d);
        IPin* peer = nullptr;
        bool connected = p->ConnectedTo(&peer) == S_OK;
        if (peer) peer->Release();
        bool typeOk = true;
        if (major) {
            typeOk = false;
            Ptr<IEnumMediaTypes> em;
            AM_MEDIA_TYPE* mt = nullptr;
            if (SUCCEEDED(p->EnumMediaTypes(em.out())) && em->Next(1, &mt, nullptr) == S_OK) {
                typeOk = IsEqualGUID(mt->majortype, *major);
                CoTaskMemFree(mt->pbFormat);
                if (mt->pUnk) mt->pUnk->Release();
                CoTaskMemFree(mt);
            }
        }
        if (d == want && (!unconnected || !connected) && typeOk) return p;
        p->Release();
    }
    return nullptr;
}

inline std::vector<std::u16string> FilterNames(IGraphBuilder* g) {
    std::vector<std::u16string> names;
    Ptr<IEnumFilters> e;
    g->EnumFilters(e.out());
    IBaseFilter* f = nullptr;
    while (e->Next(1, &f, nullptr) == S_OK) {
        FILTER_INFO fi = {};
        f->QueryFilterInfo(&fi);
        names.push_back(reinterpret_cast<const char16_t*>(fi.achName));
        if (fi.pGraph) fi.pGraph->Release();
        f->Release();
    }
    return names;
}

inline std::string Narrow(const std::u16string& s) {
    std::string n;
    for (char16_t c : s) n += c < 128 ? char(c) : '?';
    return n;
}

// Waits for EC_COMPLETE (or an error event); returns the event code, 0 on
// time-out.
inline LONG WaitForCompletion(IGraphBuilder* g, DWORD timeoutMs) {
    Ptr<IMediaEvent> ev;
    g->QueryInterface(IID_IMediaEvent, (void**)ev.out());
    DWORD until = GetTickCount() + timeoutMs;
    while (GetTickCount() < until) {
        LONG code;
        LONG_PTR p1, p2;
        if (ev->GetEvent(&code, &p1, &p2, 50) == S_OK) {
            ev->FreeEventParams(code, p1, p2);
            if (code == EC_COMPLETE || code == EC_ERRORABORT || code == EC_USERABORT) return code;
        }
    }
    return 0;
}
