// LiveSource: the capture pin's extra interfaces and live pacing.
#include "capdevs.h"

#include <algorithm>
#include <new>

namespace capdevs {

dsb::TraceChannel ch = {"capdevs", -1};

// IKsPropertySet (declared with the sound headers; defined here as used).
static const GUID IID_IKsPropertySet_Corv = {0x31efac30, 0x515c, 0x11d0, {0xa9, 0xaa, 0x00, 0xaa, 0x00, 0x61, 0xbe, 0x93}};

struct IKsPropertySetCorv : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Set(REFGUID set, DWORD id, void* instance, DWORD instanceLen, void* data,
                                          DWORD dataLen) = 0;
    virtual HRESULT STDMETHODCALLTYPE Get(REFGUID set, DWORD id, void* instance, DWORD instanceLen, void* data,
                                          DWORD dataLen, DWORD* returned) = 0;
    virtual HRESULT STDMETHODCALLTYPE QuerySupported(REFGUID set, DWORD id, DWORD* support) = 0;
};

// Both interfaces live with the filter and count on the pin.
class LiveSource::PinExtras : public IKsPropertySetCorv, public IAMStreamConfig {
public:
    explicit PinExtras(LiveSource* f) : f_(f) {}
    virtual ~PinExtras() {}
    IPin* pin = nullptr;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override { return pin->QueryInterface(riid, ppv); }
    ULONG STDMETHODCALLTYPE AddRef() override { return pin->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return pin->Release(); }

    // IKsPropertySet: the pin's category is "capture".
    HRESULT STDMETHODCALLTYPE Set(REFGUID, DWORD, void*, DWORD, void*, DWORD) override { return E_PROP_ID_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE Get(REFGUID set, DWORD id, void*, DWORD, void* data, DWORD dataLen,
                                  DWORD* returned) override {
        if (!IsEqualGUID(set, AMPROPSETID_Pin)) return E_PROP_SET_UNSUPPORTED;
        if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
        if (!data) return E_POINTER;
        if (dataLen < sizeof(GUID)) return E_UNEXPECTED;
        *static_cast<GUID*>(data) = PIN_CATEGORY_CAPTURE;
        if (returned) *returned = sizeof(GUID);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QuerySupported(REFGUID set, DWORD id, DWORD* support) override {
        if (!IsEqualGUID(set, AMPROPSETID_Pin)) return E_PROP_SET_UNSUPPORTED;
        if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
        if (support) *support = KSPROPERTY_SUPPORT_GET;
        return S_OK;
    }

    // IAMStreamConfig
    HRESULT STDMETHODCALLTYPE SetFormat(AM_MEDIA_TYPE* mt) override {
        if (!mt) return E_POINTER;
        return f_->SetCurrent(mt);
    }
    HRESULT STDMETHODCALLTYPE GetFormat(AM_MEDIA_TYPE** out) override {
        if (!out) return E_POINTER;
        dsb::AutoLock l(f_->formatLock_);
        *out = dsb::CreateMediaType(&f_->current_);
        return *out ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE GetNumberOfCapabilities(int* count, int* size) override {
        if (!count || !size) return E_POINTER;
        *count = f_->FormatCount();
        *size = f_->CapsSize();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetStreamCaps(int index, AM_MEDIA_TYPE** mt, BYTE* caps) override {
        if (!mt || !caps) return E_POINTER;
        if (index < 0) return E_INVALIDARG;
        if (index >= f_->FormatCount()) return S_FALSE;
        AM_MEDIA_TYPE t = {};
        HRESULT hr = f_->MakeFormat(index, &t);
        if (FAILED(hr)) return hr;
        *mt = dsb::CreateMediaType(&t);
        dsb::FreeMediaType(&t);
        if (!*mt) return E_OUTOFMEMORY;
        f_->MakeCaps(index, caps);
        return S_OK;
    }

private:
    LiveSource* f_;
};

LiveSource::LiveSource(const CLSID& clsid, IUnknown* outer) : dsb::SourceFilter(clsid, outer) {
    halt_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

LiveSource::~LiveSource() {
    delete extras_;
    dsb::FreeMediaType(&current_);
    if (halt_) CloseHandle(halt_);
}

HRESULT LiveSource::Init(const WCHAR* pinName) {
    dsb::OutputPin* pin = nullptr;
    HRESULT hr = AddStream(pinName, &pin);
    if (FAILED(hr)) return hr;
    extras_ = new (std::nothrow) PinExtras(this);
    if (!extras_) return E_OUTOFMEMORY;
    extras_->pin = pin;
    AM_MEDIA_TYPE t = {};
    hr = MakeFormat(0, &t);
    if (SUCCEEDED(hr)) hr = dsb::CopyMediaType(&current_, &t);
    dsb::FreeMediaType(&t);
    return hr;
}

HRESULT LiveSource::SetCurrent(const AM_MEDIA_TYPE* mt) {
    for (int i = 0; i < FormatCount(); i++) {
        AM_MEDIA_TYPE t = {};
        if (FAILED(MakeFormat(i, &t))) continue;
        const bool same = IsEqualGUID(t.majortype, mt->majortype) && IsEqualGUID(t.subtype, mt->subtype) &&
                          IsEqualGUID(t.formattype, mt->formattype) && t.cbFormat <= mt->cbFormat && mt->pbFormat &&
                          (IsEqualGUID(t.formattype, FORMAT_VideoInfo)
                               ? !memcmp(&reinterpret_cast<VIDEOINFOHEADER*>(t.pbFormat)->bmiHeader,
                                         &reinterpret_cast<VIDEOINFOHEADER*>(mt->pbFormat)->bmiHeader,
                                         sizeof(BITMAPINFOHEADER))
                               : !memcmp(t.pbFormat, mt->pbFormat, t.cbFormat));
        if (same) {
            dsb::AutoLock l(formatLock_);
            dsb::FreeMediaType(&current_);
            HRESULT hr = dsb::CopyMediaType(&current_, &t);
            dsb::FreeMediaType(&t);
            return hr;
        }
        dsb::FreeMediaType(&t);
    }
    return VFW_E_INVALIDMEDIATYPE;
}

HRESULT LiveSource::GetMediaType(int, int pos, AM_MEDIA_TYPE* mt) {
    // The chosen format first, then the others.
    if (pos < 0) return E_INVALIDARG;
    if (pos == 0) {
        dsb::AutoLock l(formatLock_);
        return dsb::CopyMediaType(mt, &current_);
    }
    if (pos > FormatCount()) return VFW_S_NO_MORE_ITEMS;
    return MakeFormat(pos - 1, mt);
}

HRESULT LiveSource::CheckMediaType(int, const AM_MEDIA_TYPE* mt) {
    for (int i = 0; i < FormatCount(); i++) {
        AM_MEDIA_TYPE t = {};
        if (FAILED(MakeFormat(i, &t))) continue;
        const bool ok = IsEqualGUID(t.majortype, mt->majortype) && IsEqualGUID(t.subtype, mt->subtype) &&
                        IsEqualGUID(t.formattype, mt->formattype) && mt->pbFormat && mt->cbFormat >= t.cbFormat &&
                        (IsEqualGUID(t.formattype, FORMAT_VideoInfo)
                             ? reinterpret_cast<VIDEOINFOHEADER*>(t.pbFormat)->bmiHeader.biWidth ==
                                       reinterpret_cast<VIDEOINFOHEADER*>(mt->pbFormat)->bmiHeader.biWidth &&
                                   reinterpret_cast<VIDEOINFOHEADER*>(t.pbFormat)->bmiHeader.biHeight ==
                                       reinterpret_cast<VIDEOINFOHEADER*>(mt->pbFormat)->bmiHeader.biHeight
                             : !memcmp(t.pbFormat, mt->pbFormat, t.cbFormat));
        dsb::FreeMediaType(&t);
        if (ok) return S_OK;
    }
    return VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT LiveSource::PinCompleteConnect(dsb::Pin* pin, IPin* peer) {
    HRESULT hr = SetCurrent(&pin->CurrentType());
    if (FAILED(hr)) return hr;
    return dsb::SourceFilter::PinCompleteConnect(pin, peer);
}

HRESULT LiveSource::DecideBufferSize(int, IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) {
    ALLOCATOR_PROPERTIES want = *props, got;
    want.cbBuffer = std::max(want.cbBuffer, SampleBytes());
    want.cBuffers = std::max(want.cBuffers, (LONG)4);
    want.cbAlign = std::max(want.cbAlign, (LONG)1);
    HRESULT hr = alloc->SetProperties(&want, &got);
    if (FAILED(hr)) return hr;
    return got.cbBuffer < want.cbBuffer ? E_FAIL : S_OK;
}

HRESULT LiveSource::PinQueryInterface(dsb::Pin* pin, REFIID riid, void** ppv) {
    if (extras_ && pin == extras_->pin) {
        if (IsEqualIID(riid, IID_IKsPropertySet_Corv)) {
            *ppv = static_cast<IKsPropertySetCorv*>(extras_);
            pin->AddRef();
            return S_OK;
        }
        if (IsEqualIID(riid, IID_IAMStreamConfig)) {
            *ppv = static_cast<IAMStreamConfig*>(extras_);
            pin->AddRef();
            return S_OK;
        }
        // A live source cannot seek.
        if (IsEqualIID(riid, IID_IMediaSeeking)) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
    }
    return dsb::SourceFilter::PinQueryInterface(pin, riid, ppv);
}

HRESULT STDMETHODCALLTYPE LiveSource::Stop() {
    SetEvent(halt_);
    return dsb::SourceFilter::Stop();
}

HRESULT STDMETHODCALLTYPE LiveSource::Pause() {
    ResetEvent(halt_);
    if (State() == State_Stopped) {
        fresh_ = true;
        made_ = 0;   // each run counts its pictures from 0
    }
    return dsb::SourceFilter::Pause();
}

HRESULT STDMETHODCALLTYPE LiveSource::GetState(DWORD timeoutMs, FILTER_STATE* state) {
    HRESULT hr = dsb::SourceFilter::GetState(timeoutMs, state);
    if (SUCCEEDED(hr) && state && *state == State_Paused) return VFW_S_CANT_CUE;
    return hr;
}

HRESULT LiveSource::OnThreadStart(int) {
    return S_OK;
}

// Waits until the graph runs and the next sample is due on its clock (or
// by the tick count without a clock); S_FALSE once stopped.
HRESULT LiveSource::FillSample(int, IMediaSample* sample) {
    DSB_TRACE(ch, "fill: state %d clock %p halted %d", (int)State(), (void*)Clock(), (int)(WaitForSingleObject(halt_, 0) == WAIT_OBJECT_0));
    const REFERENCE_TIME period = SampleDuration();
    REFERENCE_TIME streamTime = 0, stamp = 0;
    for (;;) {
        if (WaitForSingleObject(halt_, 0) == WAIT_OBJECT_0) return S_FALSE;
        if (State() == State_Running) {
            IReferenceClock* clock = Clock();
            REFERENCE_TIME now = 0;
            if (clock && SUCCEEDED(clock->GetTime(&now))) {
                streamTime = now - StartTime();
                const REFERENCE_TIME due = fresh_ ? 0 : nextDue_;
                if (streamTime >= due) {
                    // On the grid of periods from the run's first sample,
                    // unless more than a period late.
                    stamp = fresh_ || streamTime - due >= period ? streamTime : due;
                    break;
                }
                const DWORD wait = (DWORD)std::min((due - streamTime) / 10000 + 1, (REFERENCE_TIME)20);
                if (WaitForSingleObject(halt_, wait) == WAIT_OBJECT_0) return S_FALSE;
                continue;
            }
            // No clock: pace by the tick count.
            const DWORD tick = GetTickCount();
            if (fresh_ || tick - lastTick_ >= (DWORD)(period / 10000)) {
                lastTick_ = tick;
                streamTime = stamp = (REFERENCE_TIME)made_ * period;
                break;
            }
        }
        if (WaitForSingleObject(halt_, 5) == WAIT_OBJECT_0) return S_FALSE;
    }
    BYTE* data = nullptr;
    HRESULT hr = sample->GetPointer(&data);
    if (FAILED(hr)) return hr;
    LONG actual = 0;
    hr = Render(made_, data, sample->GetSize(), &actual);
    if (FAILED(hr)) return hr;
    sample->SetActualDataLength(actual);
    REFERENCE_TIME start = stamp, stop = stamp + period;
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(TRUE);
    sample->SetDiscontinuity(fresh_);
    // The next sample is due one period after this one was due (or made,
    // when the graph ran late).
    nextDue_ = stamp + period;
    fresh_ = false;
    InterlockedIncrement64(&made_);
    return S_OK;
}

}  // namespace capdevs
